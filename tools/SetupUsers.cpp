// kolvane-db user list|add|stop|start|reset|rights|unlock: the operators of
// the Users table, without SQL.
#include "db/Query.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "periods/AccountRules.h"
#include "platform/System.h"
#include "signin/Operators.h"
#include "signin/PasswordHash.h"
#include "signin/Throttle.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace Tool {

namespace {

struct Operator
{
    QString name;
    QString id;
    bool stopped = false;
    bool isNew = false;
    QString access;
    int rights = 0; // the ActAccount bits

    bool createsPeriods() const { return !stopped && (rights & AccountRules::RightCreate); }
};

// The terminal's settings while a password is typed without echo, put back
// when the program is interrupted meanwhile.
termios savedTerminal;

extern "C" void restoreTerminal(int signal)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<QString> readLine()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

class UserCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    UserCommand()
        : m_id(QStringLiteral("id"), QString(), QStringLiteral("id"))
        , m_create(QStringLiteral("create-periods"), QString())
        , m_remove(QStringLiteral("delete-periods"), QString())
        , m_force(QStringLiteral("force"), QString())
    {
    }

    QString name() const override { return QStringLiteral("user"); }
    QString summary() const override { return tr("操作员：列出、添加、停用、启用、新密码、帐套权限、解除锁定"); }
    QString usage() const override;
    int run(const QStringList& args) override;

private:
    struct Options
    {
        QString name;
        QString id;
        bool create = false;
        bool remove = false;
        bool force = false;
    };

    // Exit 2, after saying which, for an option given that `command` does not take.
    std::optional<int> refuseOptions(const QCommandLineParser& parser, const QString& command) const;
    static QList<Operator> load(const QSqlDatabase& db);
    static std::optional<QString> readPassword(QString& error);
    static int list(const QSqlDatabase& db);
    static int add(const QSqlDatabase& db, const Options& o);
    static int change(const QSqlDatabase& db, const QString& command, const Options& o);
    // Refuses a change that leaves no operator who may create periods.
    static bool keepsCreator(const QList<Operator>& before, const QList<Operator>& after, bool force);
    static QString yesNo(bool value) { return value ? tr("是") : tr("否"); }

    QCommandLineOption m_id;
    QCommandLineOption m_create;
    QCommandLineOption m_remove;
    QCommandLineOption m_force;
};

QString UserCommand::usage() const
{
    return tr("用法：\n"
              "  kolvane-db user list                          列出操作员：编号、停用、须改密码、帐套权限、锁定至\n"
              "  kolvane-db user add 名称 [--id 编号] [--create-periods] [--delete-periods]\n"
              "                                                新操作员，首次登录时须修改密码\n"
              "  kolvane-db user stop 名称 [--force]           停用操作员\n"
              "  kolvane-db user start 名称                    启用操作员\n"
              "  kolvane-db user reset 名称                    新的首次登录密码，下次登录时须修改\n"
              "  kolvane-db user rights 名称 [--create-periods] [--delete-periods] [--force]\n"
              "                                                新建、删除帐套的权限（未写的权限被取消）\n"
              "  kolvane-db user unlock 名称                   解除输错密码后的锁定\n"
              "每个命令都可以加 --db 文件 或 --server 连接参数；都不写时，用一卡通目录中 Tavrel.ini 所指的数据库。\n"
              "首次登录密码在终端上输入两次，不回显；不是终端时从标准输入读一行。\n"
              "停用操作员或改动权限后若没有人能新建帐套，须加 --force。\n"
              "\n"
              "退出码：0 成功；2 用法错误；4 被拒绝或失败；5 无法打开数据库。\n");
}

QList<Operator> UserCommand::load(const QSqlDatabase& db)
{
    QList<Operator> all;
    Db::Query q(db, Db::sqlSetupUsers);
    for (const Db::Row& row : q.open().rows()) {
        Operator o;
        o.name = row.text(Db::cUsername);
        o.id = row.text(Db::cUserId);
        o.stopped = Functions::GetBoolean(row.text(Db::cIsStop));
        o.isNew = Functions::GetBoolean(row.text(Db::cIsNew));
        o.access = row.text(Db::cAccess);
        o.rights = AccountRules::rightsOf(row);
        all << o;
    }
    return all;
}

// Typed twice without echo at a terminal; one line of standard input otherwise.
std::optional<QString> UserCommand::readPassword(QString& error)
{
    std::optional<QString> first;
    if (!isatty(STDIN_FILENO)) {
        first = readLine();
        if (!first)
            error = tr("标准输入中没有密码");
    } else {
        QString typed[2];
        for (int i = 0; i < 2; ++i) {
            QTextStream(stderr) << (i == 0 ? tr("首次登录密码：") : tr("再输入一次：")) << Qt::flush;
            tcgetattr(STDIN_FILENO, &savedTerminal);
            termios quiet = savedTerminal;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            std::signal(SIGINT, restoreTerminal);
            std::signal(SIGTERM, restoreTerminal);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
            const std::optional<QString> line = readLine();
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            QTextStream(stderr) << '\n';
            if (!line) {
                error = tr("没有输入密码");
                return std::nullopt;
            }
            typed[i] = *line;
        }
        if (Functions::trimText(typed[0]) != Functions::trimText(typed[1])) {
            error = tr("两次输入的密码不一致");
            return std::nullopt;
        }
        first = typed[0];
    }
    if (!first)
        return std::nullopt;
    // The sign-in compares the typed password trimmed with the stored one.
    const QString password = Functions::trimText(*first);
    if (password.isEmpty()) {
        error = tr("密码不能为空");
        return std::nullopt;
    }
    return password;
}

int UserCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    parser.addOptions({ m_id, m_create, m_remove, m_force });
    if (const std::optional<int> code = parse(parser, args))
        return *code;
    QStringList names = parser.positionalArguments();
    static const QStringList commands = { QStringLiteral("list"), QStringLiteral("add"), QStringLiteral("stop"),
        QStringLiteral("start"), QStringLiteral("reset"), QStringLiteral("rights"), QStringLiteral("unlock") };
    if (names.isEmpty() || !commands.contains(names.first()))
        return usageError();
    const QString command = names.takeFirst();
    if (const std::optional<int> code = refuseOptions(parser, command))
        return *code;
    if (command == u"list" ? !names.isEmpty() : names.size() != 1)
        return usageError(command == u"list" ? QString() : tr("user %1 需要一个操作员名称").arg(command));
    const std::optional<Mainmodule::ConnectionSettings> settings = database.orSuite(parser);
    if (!settings)
        return Usage;
    if (command == u"list")
        return withDatabase(*settings, [](const QSqlDatabase& db) { return list(db); });
    Options o;
    o.id = Functions::trimText(parser.value(m_id));
    o.create = parser.isSet(m_create);
    o.remove = parser.isSet(m_remove);
    o.force = parser.isSet(m_force);
    // Names are compared as the sign-in compares them: trimmed.
    o.name = Functions::trimText(names.first());
    if (o.name.isEmpty())
        return fail(tr("操作员名称不能为空"), Usage);
    if (command == u"add")
        return withDatabase(*settings, [&](const QSqlDatabase& db) { return add(db, o); });
    return withDatabase(*settings, [&](const QSqlDatabase& db) { return change(db, command, o); });
}

std::optional<int> UserCommand::refuseOptions(const QCommandLineParser& parser, const QString& command) const
{
    const QList<std::pair<const QCommandLineOption*, QStringList>> takenBy = {
        { &m_id, { QStringLiteral("add") } },
        { &m_create, { QStringLiteral("add"), QStringLiteral("rights") } },
        { &m_remove, { QStringLiteral("add"), QStringLiteral("rights") } },
        { &m_force, { QStringLiteral("stop"), QStringLiteral("rights") } },
    };
    for (const auto& [option, commands] : takenBy) {
        if (parser.isSet(*option) && !commands.contains(command))
            return usageError(
                tr("%1 不认识选项 %2")
                    .arg(QStringLiteral("user ") + command, QStringLiteral("--") + option->names().first()));
    }
    return std::nullopt;
}

int UserCommand::list(const QSqlDatabase& db)
{
    QTextStream out(stdout);
    out << tr("操作员") << '\t' << tr("编号") << '\t' << tr("停用") << '\t' << tr("须改密码") << '\t' << tr("新建帐套")
        << '\t' << tr("删除帐套") << '\t' << tr("锁定至") << '\n';
    const QDateTime now = Platform::now();
    for (const Operator& o : load(db)) {
        const int wait = Throttle::secondsLocked(db, o.name);
        out << o.name << '\t' << o.id << '\t' << yesNo(o.stopped) << '\t' << yesNo(o.isNew) << '\t'
            << yesNo(o.rights & AccountRules::RightCreate) << '\t' << yesNo(o.rights & AccountRules::RightDelete)
            << '\t' << (wait > 0 ? now.addSecs(wait).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString())
            << '\n';
    }
    out.flush();
    // Passwords still kept as text: said on standard error, so that the table
    // stays one line an operator.
    if (const QStringList plain = Operators::storedAsText(db); !plain.isEmpty()) {
        QString note = tr("以下操作员的密码仍以明文保存：%1。").arg(plain.join(tr("、")));
        if (Operators::hashWidthMissing(db))
            note += tr("Users 表的 password 列宽 %1 个字符，保存加密的密码需要至少 %2 个字符；"
                       "加宽该列后，操作员下次登录时密码即被加密保存。")
                        .arg(Db::columnLength(db, Db::tUsers, Db::cPassword))
                        .arg(PasswordHash::storedLength);
        else
            note += tr("这些操作员下次登录成功时，密码即被加密保存。");
        QTextStream(stderr) << note << '\n';
    }
    return Done;
}

int UserCommand::add(const QSqlDatabase& db, const Options& o)
{
    const QList<Operator> all = load(db);
    qint64 highest = 0;
    for (const Operator& other : all) {
        if (Functions::trimText(other.name) == o.name)
            return fail(tr("操作员“%1”已经存在").arg(o.name), Refused);
        if (!o.id.isEmpty() && other.id == o.id)
            return fail(tr("编号 %1 已经属于操作员“%2”").arg(o.id, other.name), Refused);
        bool numeric = false;
        const qint64 n = other.id.toLongLong(&numeric);
        if (numeric)
            highest = qMax(highest, n);
    }
    const QString id = o.id.isEmpty() ? QString::number(highest + 1) : o.id;
    const int nameLength = Db::columnLength(db, Db::tUsers, Db::cUsername);
    if (nameLength > 0 && o.name.size() > nameLength)
        return fail(tr("操作员名称“%1”超过 %2 个字符").arg(o.name).arg(nameLength), Refused);
    const int idLength = Db::columnLength(db, Db::tUsers, Db::cUserId);
    if (idLength > 0 && id.size() > idLength)
        return fail(tr("编号“%1”超过 %2 个字符").arg(id).arg(idLength), Refused);

    QString error;
    const std::optional<QString> password = readPassword(error);
    if (!password)
        return fail(error, Refused);
    const int rights = (o.create ? AccountRules::RightCreate : 0) | (o.remove ? AccountRules::RightDelete : 0);
    Db::Query insert(db, Db::sqlSetupAddUser);
    insert.bind(QStringLiteral("userId"), id);
    insert.bind(Db::cUsername, o.name);
    insert.bind(Db::cPassword, Operators::storedForm(db, *password));
    insert.bind(QStringLiteral("access"),
        AccountRules::withListValue(QString(), QStringLiteral("ActAccount"), QString::number(rights)));
    insert.exec();
    say(tr("已添加操作员“%1”（编号 %2），首次登录时须修改密码。").arg(o.name, id));
    return Done;
}

bool UserCommand::keepsCreator(const QList<Operator>& before, const QList<Operator>& after, bool force)
{
    const auto creators = [](const QList<Operator>& all) {
        return std::count_if(all.begin(), all.end(), [](const Operator& o) { return o.createsPeriods(); });
    };
    if (creators(before) == 0 || creators(after) > 0)
        return true;
    if (force) {
        fail(tr("警告：已没有能新建帐套的操作员。"), Done);
        return true;
    }
    fail(tr("这是最后一个能新建帐套的操作员，改动后就没有人能新建帐套了。确要如此，请加 --force。"), Refused);
    return false;
}

int UserCommand::change(const QSqlDatabase& db, const QString& command, const Options& o)
{
    const QList<Operator> before = load(db);
    qsizetype at = -1;
    int matches = 0;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (before.at(i).name == o.name) {
            at = i;
            ++matches;
        }
    }
    if (matches == 0)
        return fail(tr("没有操作员“%1”").arg(o.name), Refused);
    if (matches > 1)
        return fail(tr("有 %1 个操作员都叫“%2”，无法确定要改哪一个").arg(matches).arg(o.name), Refused);
    QList<Operator> after = before;
    Operator& target = after[at];

    if (command == u"unlock") {
        const int wait = Throttle::secondsLocked(db, o.name);
        Throttle::clear(db, o.name);
        // The sign-in treats the count as a guard and ignores its failures; here
        // a count that stays is a failure.
        if (wait > 0 && Throttle::secondsLocked(db, o.name) > 0)
            return fail(tr("无法解除操作员“%1”的锁定：数据库拒绝删除 LoginFailures 中的记录").arg(o.name), Refused);
        say(wait > 0 ? tr("已解除操作员“%1”的锁定。").arg(o.name)
                     : tr("操作员“%1”没有被锁定；输错密码的次数已清零。").arg(o.name));
        return Done;
    }
    if (command == u"reset") {
        QString error;
        const std::optional<QString> password = readPassword(error);
        if (!password)
            return fail(error, Refused);
        Db::Query q(db, Db::sqlSetupResetPassword);
        q.bind(Db::cPassword, Operators::storedForm(db, *password));
        q.bind(Db::cUsername, o.name);
        q.exec();
        say(tr("已为操作员“%1”设置新的首次登录密码，下次登录时须修改密码。").arg(o.name));
        return Done;
    }
    if (command == u"stop" || command == u"start") {
        target.stopped = command == u"stop";
        if (!keepsCreator(before, after, o.force))
            return Refused;
        Db::Query q(db, Db::sqlSetupStopUser);
        q.bind(QStringLiteral("stop"), target.stopped ? 1 : 0);
        q.bind(Db::cUsername, o.name);
        q.exec();
        say(target.stopped ? tr("已停用操作员“%1”。").arg(o.name) : tr("已启用操作员“%1”。").arg(o.name));
        return Done;
    }
    // rights: the two period bits as given; other bits of the value, and every
    // other line of Access, stay as they are.
    const int periodBits = AccountRules::RightCreate | AccountRules::RightDelete;
    target.rights = (target.rights & ~periodBits) | (o.create ? AccountRules::RightCreate : 0)
        | (o.remove ? AccountRules::RightDelete : 0);
    if (!keepsCreator(before, after, o.force))
        return Refused;
    Db::Query q(db, Db::sqlSetupUserAccess);
    q.bind(QStringLiteral("rights"),
        AccountRules::withListValue(target.access, QStringLiteral("ActAccount"), QString::number(target.rights)));
    q.bind(Db::cUsername, o.name);
    q.exec();
    say(tr("操作员“%1”：新建帐套 %2，删除帐套 %3。").arg(o.name, yesNo(o.create), yesNo(o.remove)));
    return Done;
}

} // namespace

std::unique_ptr<Command> makeUserCommand()
{
    return std::make_unique<UserCommand>();
}

} // namespace Tool
