// kolvane-db user list|add|stop|start|reset|rights|unlock: the operators of
// the Users table, without SQL.
#include "db/Query.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "periods/AccountRules.h"
#include "platform/System.h"
#include "signin/Throttle.h"
#include "tools/Setup.h"

#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace Setup {

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

class Users
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    static int run(const Mainmodule::ConnectionSettings& settings, QStringList args);

private:
    struct Options
    {
        QString name;
        QString id;
        bool create = false;
        bool remove = false;
        bool force = false;
    };

    static QList<Operator> load(const QSqlDatabase& db);
    static std::optional<QString> readPassword(QString& error);
    static QString usage();
    static int list(const QSqlDatabase& db);
    static int add(const QSqlDatabase& db, const Options& o);
    static int change(const QSqlDatabase& db, const QString& command, const Options& o);
    // Refuses a change that leaves no operator who may create periods.
    static bool keepsCreator(const QList<Operator>& before, const QList<Operator>& after, bool force);
};

QString Users::usage()
{
    return tr("用法：kolvane-db user list|add|stop|start|reset|rights|unlock ……（见 kolvane-db --help）");
}

QList<Operator> Users::load(const QSqlDatabase& db)
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
std::optional<QString> Users::readPassword(QString& error)
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

int Users::run(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    if (args.isEmpty())
        return Tool::fail(usage(), Usage);
    const QString command = args.takeFirst();
    static const QStringList commands = { QStringLiteral("list"), QStringLiteral("add"), QStringLiteral("stop"),
        QStringLiteral("start"), QStringLiteral("reset"), QStringLiteral("rights"), QStringLiteral("unlock") };
    if (!commands.contains(command))
        return Tool::fail(usage(), Usage);

    Options o;
    QStringList names;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool rightsAllowed = command == u"add" || command == u"rights";
        if (a == u"--id" && command == u"add" && i + 1 < args.size()) {
            o.id = Functions::trimText(args.at(++i));
        } else if (a == u"--create-periods" && rightsAllowed) {
            o.create = true;
        } else if (a == u"--delete-periods" && rightsAllowed) {
            o.remove = true;
        } else if (a == u"--force" && (command == u"stop" || command == u"rights")) {
            o.force = true;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return Tool::fail(tr("%1 不认识选项 %2").arg(QStringLiteral("user ") + command, a), Usage);
        } else {
            names << a;
        }
    }
    if (command == u"list") {
        if (!names.isEmpty())
            return Tool::fail(usage(), Usage);
        return Tool::withDatabase(settings, [](const QSqlDatabase& db) { return list(db); });
    }
    if (names.size() != 1)
        return Tool::fail(tr("user %1 需要一个操作员名称").arg(command), Usage);
    // Names are compared as the sign-in compares them: trimmed.
    o.name = Functions::trimText(names.first());
    if (o.name.isEmpty())
        return Tool::fail(tr("操作员名称不能为空"), Usage);
    if (command == u"add")
        return Tool::withDatabase(settings, [&](const QSqlDatabase& db) { return add(db, o); });
    return Tool::withDatabase(settings, [&](const QSqlDatabase& db) { return change(db, command, o); });
}

int Users::list(const QSqlDatabase& db)
{
    QTextStream out(stdout);
    out << tr("操作员") << '\t' << tr("编号") << '\t' << tr("停用") << '\t' << tr("须改密码") << '\t' << tr("新建帐套")
        << '\t' << tr("删除帐套") << '\t' << tr("锁定至") << '\n';
    const QDateTime now = Platform::now();
    for (const Operator& o : load(db)) {
        const int wait = Throttle::secondsLocked(db, o.name);
        out << o.name << '\t' << o.id << '\t' << Tool::yesNo(o.stopped) << '\t' << Tool::yesNo(o.isNew) << '\t'
            << Tool::yesNo(o.rights & AccountRules::RightCreate) << '\t'
            << Tool::yesNo(o.rights & AccountRules::RightDelete) << '\t'
            << (wait > 0 ? now.addSecs(wait).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString()) << '\n';
    }
    return Done;
}

int Users::add(const QSqlDatabase& db, const Options& o)
{
    const QList<Operator> all = load(db);
    qint64 highest = 0;
    for (const Operator& other : all) {
        if (Functions::trimText(other.name) == o.name)
            return Tool::fail(tr("操作员“%1”已经存在").arg(o.name), Refused);
        if (!o.id.isEmpty() && other.id == o.id)
            return Tool::fail(tr("编号 %1 已经属于操作员“%2”").arg(o.id, other.name), Refused);
        bool numeric = false;
        const qint64 n = other.id.toLongLong(&numeric);
        if (numeric)
            highest = qMax(highest, n);
    }
    const QString id = o.id.isEmpty() ? QString::number(highest + 1) : o.id;
    const int nameLength = Tool::columnLength(db, Db::tUsers, Db::cUsername);
    if (nameLength > 0 && o.name.size() > nameLength)
        return Tool::fail(tr("操作员名称“%1”超过 %2 个字符").arg(o.name).arg(nameLength), Refused);
    const int idLength = Tool::columnLength(db, Db::tUsers, Db::cUserId);
    if (idLength > 0 && id.size() > idLength)
        return Tool::fail(tr("编号“%1”超过 %2 个字符").arg(id).arg(idLength), Refused);

    QString error;
    const std::optional<QString> password = readPassword(error);
    if (!password)
        return Tool::fail(error, Refused);
    const int rights = (o.create ? AccountRules::RightCreate : 0) | (o.remove ? AccountRules::RightDelete : 0);
    Db::Query insert(db, Db::sqlSetupAddUser);
    insert.bind(QStringLiteral("userId"), id);
    insert.bind(Db::cUsername, o.name);
    insert.bind(Db::cPassword, *password);
    insert.bind(QStringLiteral("access"),
        AccountRules::withListValue(QString(), QStringLiteral("ActAccount"), QString::number(rights)));
    insert.exec();
    Tool::say(tr("已添加操作员“%1”（编号 %2），首次登录时须修改密码。").arg(o.name, id));
    return Done;
}

bool Users::keepsCreator(const QList<Operator>& before, const QList<Operator>& after, bool force)
{
    const auto creators = [](const QList<Operator>& all) {
        return std::count_if(all.begin(), all.end(), [](const Operator& o) { return o.createsPeriods(); });
    };
    if (creators(before) == 0 || creators(after) > 0)
        return true;
    if (force) {
        Tool::fail(tr("警告：已没有能新建帐套的操作员。"), Done);
        return true;
    }
    Tool::fail(tr("这是最后一个能新建帐套的操作员，改动后就没有人能新建帐套了。确要如此，请加 --force。"), Refused);
    return false;
}

int Users::change(const QSqlDatabase& db, const QString& command, const Options& o)
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
        return Tool::fail(tr("没有操作员“%1”").arg(o.name), Refused);
    if (matches > 1)
        return Tool::fail(tr("有 %1 个操作员都叫“%2”，无法确定要改哪一个").arg(matches).arg(o.name), Refused);
    QList<Operator> after = before;
    Operator& target = after[at];

    if (command == u"unlock") {
        const int wait = Throttle::secondsLocked(db, o.name);
        Throttle::clear(db, o.name);
        // The sign-in treats the count as a guard and ignores its failures; here
        // a count that stays is a failure.
        if (wait > 0 && Throttle::secondsLocked(db, o.name) > 0)
            return Tool::fail(
                tr("无法解除操作员“%1”的锁定：数据库拒绝删除 LoginFailures 中的记录").arg(o.name), Refused);
        Tool::say(wait > 0 ? tr("已解除操作员“%1”的锁定。").arg(o.name)
                           : tr("操作员“%1”没有被锁定；输错密码的次数已清零。").arg(o.name));
        return Done;
    }
    if (command == u"reset") {
        QString error;
        const std::optional<QString> password = readPassword(error);
        if (!password)
            return Tool::fail(error, Refused);
        Db::Query q(db, Db::sqlSetupResetPassword);
        q.bind(Db::cPassword, *password);
        q.bind(Db::cUsername, o.name);
        q.exec();
        Tool::say(tr("已为操作员“%1”设置新的首次登录密码，下次登录时须修改密码。").arg(o.name));
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
        Tool::say(target.stopped ? tr("已停用操作员“%1”。").arg(o.name) : tr("已启用操作员“%1”。").arg(o.name));
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
    Tool::say(tr("操作员“%1”：新建帐套 %2，删除帐套 %3。").arg(o.name, Tool::yesNo(o.create), Tool::yesNo(o.remove)));
    return Done;
}

} // namespace

int userCommand(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    return Users::run(settings, args);
}

} // namespace Setup
