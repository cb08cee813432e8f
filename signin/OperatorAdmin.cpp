#include "signin/OperatorAdmin.h"

#include "db/Query.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "host/OpLog.h"
#include "platform/System.h"
#include "signin/Operators.h"
#include "signin/Throttle.h"

#include <QCoreApplication>

#include <algorithm>
#include <functional>

namespace OperatorAdmin {

namespace {

using AccountRules::Rights;

class Admin
{
    Q_DECLARE_TR_FUNCTIONS(OperatorAdmin)
public:
    static Result refused(const QString& message) { return { false, message, {}, false }; }
    static Result done(const QString& message) { return { true, message, {}, false }; }
    static QString yesNo(bool value) { return value ? tr("是") : tr("否"); }

    // The one row named `name`; a refusal when none or several are.
    static std::optional<qsizetype> findOne(const QList<Entry>& all, const QString& name, Result& refusal);
    // A change from `before` to `after` that leaves nobody (not stopped) who
    // may create periods, or manage operators, where somebody could.
    static Result keepsAdministrators(const QList<Entry>& before, const QList<Entry>& after, bool force);
    // Runs `work` and, when it has done its change, writes the OpLog row
    // `what`, in one transaction.
    static Result recorded(const QSqlDatabase& db, const Actor& actor, const QString& what,
        const std::function<Result()>& work);
};

bool createsPeriods(const Entry& e)
{
    return !e.stopped && (e.rights.account & AccountRules::RightCreate);
}

bool managesOperators(const Entry& e)
{
    return !e.stopped && e.rights.manageOperators;
}

std::optional<qsizetype> Admin::findOne(const QList<Entry>& all, const QString& name, Result& refusal)
{
    std::optional<qsizetype> at;
    int matches = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all.at(i).name == name) {
            at = i;
            ++matches;
        }
    }
    if (matches == 0)
        refusal = refused(tr("没有操作员“%1”").arg(name));
    if (matches > 1)
        refusal = refused(tr("有 %1 个操作员都叫“%2”，无法确定要改哪一个").arg(matches).arg(name));
    return matches == 1 ? at : std::nullopt;
}

Result Admin::keepsAdministrators(const QList<Entry>& before, const QList<Entry>& after, bool force)
{
    const auto lost = [&](bool (*has)(const Entry&)) {
        return std::any_of(before.begin(), before.end(), has) && std::none_of(after.begin(), after.end(), has);
    };
    Result result = done(QString());
    const auto check = [&](bool (*has)(const Entry&), const QString& last, const QString& warning) {
        if (!lost(has))
            return;
        if (force)
            result.warning += warning;
        else if (result.done)
            result = { false, last, {}, true };
    };
    check(createsPeriods, tr("这是最后一个能新建帐套的操作员，改动后就没有人能新建帐套了。"),
        tr("警告：已没有能新建帐套的操作员。"));
    check(managesOperators, tr("这是最后一个能管理操作员的操作员，改动后就没有人能管理操作员了。"),
        tr("警告：已没有能管理操作员的操作员。"));
    return result;
}

Result Admin::recorded(
    const QSqlDatabase& db, const Actor& actor, const QString& what, const std::function<Result()>& work)
{
    QSqlDatabase session = db;
    if (!session.transaction())
        throw Db::errorFor(tr("无法开始事务"), session, session.lastError());
    Result result;
    try {
        // A signed-in operator may have lost the right, or been stopped, since the menu was shown.
        const QList<Entry> all = actor.operatorName.isEmpty() ? QList<Entry>() : load(db);
        const bool allowed = actor.operatorName.isEmpty() || std::any_of(all.begin(), all.end(), [&](const Entry& e) {
            return e.name == actor.operatorName && managesOperators(e);
        });
        result = allowed ? work() : refused(tr("操作员“%1”不能管理操作员").arg(actor.operatorName));
        if (result.done)
            OpLog::insert(db, OpLog::Entry(what, actor.who));
    } catch (...) {
        session.rollback();
        throw;
    }
    if (!session.commit()) {
        const Db::Error error = Db::errorFor(tr("无法保存"), session, session.lastError());
        session.rollback();
        throw error;
    }
    return result;
}

// The OpLog text of a change: what was done to which operator. Kept in
// Chinese whatever the language of the session, as the sign-in's row is.
QString logText(const QString& what, const QString& name)
{
    return QStringLiteral("操作员管理：%1“%2”").arg(what, name);
}

} // namespace

QList<Entry> load(const QSqlDatabase& db)
{
    QList<Entry> all;
    Db::Query q(db, Db::sqlSetupUsers);
    const QDateTime now = Platform::now();
    for (const Db::Row& row : q.open().rows()) {
        Entry e;
        e.name = row.text(Db::cUsername);
        e.id = row.text(Db::cUserId);
        e.stopped = Functions::GetBoolean(row.text(Db::cIsStop));
        e.isNew = Functions::GetBoolean(row.text(Db::cIsNew));
        e.access = row.text(Db::cAccess);
        e.rights = AccountRules::rightsIn(e.access);
        if (const int wait = Throttle::secondsLocked(db, e.name); wait > 0)
            e.lockedUntil = now.addSecs(wait);
        all << e;
    }
    return all;
}

Result checkNew(const QSqlDatabase& db, NewOperator& op)
{
    op.name = Functions::trimText(op.name);
    op.id = Functions::trimText(op.id);
    if (op.name.isEmpty())
        return Admin::refused(Admin::tr("操作员名称不能为空"));
    qint64 highest = 0;
    for (const Entry& other : load(db)) {
        if (Functions::trimText(other.name) == op.name)
            return Admin::refused(Admin::tr("操作员“%1”已经存在").arg(op.name));
        if (!op.id.isEmpty() && other.id == op.id)
            return Admin::refused(Admin::tr("编号 %1 已经属于操作员“%2”").arg(op.id, other.name));
        bool numeric = false;
        const qint64 n = other.id.toLongLong(&numeric);
        if (numeric)
            highest = qMax(highest, n);
    }
    if (op.id.isEmpty())
        op.id = QString::number(highest + 1);
    const int nameLength = Db::columnLength(db, Db::tUsers, Db::cUsername);
    if (nameLength > 0 && op.name.size() > nameLength)
        return Admin::refused(Admin::tr("操作员名称“%1”超过 %2 个字符").arg(op.name).arg(nameLength));
    const int idLength = Db::columnLength(db, Db::tUsers, Db::cUserId);
    if (idLength > 0 && op.id.size() > idLength)
        return Admin::refused(Admin::tr("编号“%1”超过 %2 个字符").arg(op.id).arg(idLength));
    return Admin::done(QString());
}

Result checkOne(const QSqlDatabase& db, const QString& name)
{
    Result result = Admin::done(QString());
    Admin::findOne(load(db), name, result);
    return result;
}

QString passwordProblem(const QString& typed, const QString& again)
{
    // The sign-in compares the typed password trimmed with the stored one.
    const QString password = Functions::trimText(typed);
    if (password != Functions::trimText(again))
        return Admin::tr("两次输入的密码不一致");
    if (password.isEmpty())
        return Admin::tr("密码不能为空");
    return QString();
}

Result add(const QSqlDatabase& db, const Actor& actor, NewOperator op, const QString& password)
{
    return Admin::recorded(db, actor, logText(QStringLiteral("新增"), Functions::trimText(op.name)), [&] {
        if (Result check = checkNew(db, op); !check.done)
            return check;
        if (const QString problem = passwordProblem(password, password); !problem.isEmpty())
            return Admin::refused(problem);
        Db::Query insert(db, Db::sqlSetupAddUser);
        insert.bind(QStringLiteral("userId"), op.id);
        insert.bind(Db::cUsername, op.name);
        insert.bind(Db::cPassword, Operators::storedForm(db, Functions::trimText(password)));
        insert.bind(QStringLiteral("access"), AccountRules::withRights(QString(), op.rights));
        insert.exec();
        return Admin::done(Admin::tr("已添加操作员“%1”（编号 %2），首次登录时须修改密码。").arg(op.name, op.id));
    });
}

Result setStopped(const QSqlDatabase& db, const Actor& actor, const QString& name, bool stop, bool force)
{
    return Admin::recorded(db, actor, logText(stop ? QStringLiteral("停用") : QStringLiteral("启用"), name), [&] {
        const QList<Entry> before = load(db);
        Result result;
        const std::optional<qsizetype> at = Admin::findOne(before, name, result);
        if (!at)
            return result;
        if (stop && !actor.operatorName.isEmpty() && Functions::trimText(actor.operatorName) == Functions::trimText(name))
            return Admin::refused(Admin::tr("不能停用自己"));
        QList<Entry> after = before;
        after[*at].stopped = stop;
        result = Admin::keepsAdministrators(before, after, force);
        if (!result.done)
            return result;
        Db::Query q(db, Db::sqlSetupStopUser);
        q.bind(QStringLiteral("stop"), stop ? 1 : 0);
        q.bind(Db::cUsername, name);
        q.exec();
        result.message = stop ? Admin::tr("已停用操作员“%1”。").arg(name) : Admin::tr("已启用操作员“%1”。").arg(name);
        return result;
    });
}

Result resetPassword(const QSqlDatabase& db, const Actor& actor, const QString& name, const QString& password)
{
    return Admin::recorded(db, actor, logText(QStringLiteral("重设密码"), name), [&] {
        Result result;
        if (!Admin::findOne(load(db), name, result))
            return result;
        if (const QString problem = passwordProblem(password, password); !problem.isEmpty())
            return Admin::refused(problem);
        Db::Query q(db, Db::sqlSetupResetPassword);
        q.bind(Db::cPassword, Operators::storedForm(db, Functions::trimText(password)));
        q.bind(Db::cUsername, name);
        q.exec();
        return Admin::done(Admin::tr("已为操作员“%1”设置新的首次登录密码，下次登录时须修改密码。").arg(name));
    });
}

Result setRights(
    const QSqlDatabase& db, const Actor& actor, const QString& name, const AccountRules::Rights& rights, bool force)
{
    const auto yes = [](bool value) { return value ? QStringLiteral("是") : QStringLiteral("否"); };
    const QString what = logText(QStringLiteral("权限"), name)
        + QStringLiteral("：新建帐套 %1，删除帐套 %2，管理操作员 %3，导入数据 %4")
              .arg(yes(rights.account & AccountRules::RightCreate), yes(rights.account & AccountRules::RightDelete),
                  yes(rights.manageOperators), yes(rights.importData));
    return Admin::recorded(db, actor, what, [&] {
        const QList<Entry> before = load(db);
        Result result;
        const std::optional<qsizetype> at = Admin::findOne(before, name, result);
        if (!at)
            return result;
        QList<Entry> after = before;
        const int periodBits = AccountRules::RightCreate | AccountRules::RightDelete;
        after[*at].rights = rights;
        after[*at].rights.account = (before.at(*at).rights.account & ~periodBits) | (rights.account & periodBits);
        result = Admin::keepsAdministrators(before, after, force);
        if (!result.done)
            return result;
        Db::Query q(db, Db::sqlSetupUserAccess);
        q.bind(QStringLiteral("rights"), AccountRules::withRights(before.at(*at).access, after.at(*at).rights));
        q.bind(Db::cUsername, name);
        q.exec();
        result.message = Admin::tr("操作员“%1”：新建帐套 %2，删除帐套 %3，管理操作员 %4，导入数据 %5。")
                             .arg(name, Admin::yesNo(rights.account & AccountRules::RightCreate),
                                 Admin::yesNo(rights.account & AccountRules::RightDelete),
                                 Admin::yesNo(rights.manageOperators), Admin::yesNo(rights.importData));
        return result;
    });
}

Result unlock(const QSqlDatabase& db, const Actor& actor, const QString& name)
{
    return Admin::recorded(db, actor, logText(QStringLiteral("解锁"), name), [&] {
        Result result;
        if (!Admin::findOne(load(db), name, result))
            return result;
        const int wait = Throttle::secondsLocked(db, name);
        Throttle::clear(db, name);
        // The sign-in treats the count as a guard and ignores its failures;
        // here a count that stays is a failure.
        if (wait > 0 && Throttle::secondsLocked(db, name) > 0)
            return Admin::refused(
                Admin::tr("无法解除操作员“%1”的锁定：数据库拒绝删除 LoginFailures 中的记录").arg(name));
        return Admin::done(wait > 0 ? Admin::tr("已解除操作员“%1”的锁定。").arg(name)
                                    : Admin::tr("操作员“%1”没有被锁定；输错密码的次数已清零。").arg(name));
    });
}

} // namespace OperatorAdmin
