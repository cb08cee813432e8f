// kolvane-db user list|add|stop|start|reset|rights|unlock: the operators of
// the Users table, without SQL, by the rules the operators dialog follows.
#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "periods/AccountRules.h"
#include "platform/System.h"
#include "signin/OperatorAdmin.h"
#include "signin/Operators.h"
#include "signin/PasswordHash.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QTextStream>

#include <csignal>
#include <iostream>
#include <optional>
#include <pwd.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace Tool {

namespace {

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
        , m_manage(QStringLiteral("manage-operators"), QString())
        , m_import(QStringLiteral("import-data"), QString())
        , m_force(QStringLiteral("force"), QString())
    {
    }

    QString name() const override { return QStringLiteral("user"); }
    QString summary() const override { return tr("操作员：列出、添加、停用、启用、新密码、权限、解除锁定"); }
    QString usage() const override;
    int run(const QStringList& args) override;

private:
    struct Options
    {
        QString name;
        QString id;
        AccountRules::Rights rights;
        bool force = false;
    };

    // Exit 2, after saying which, for an option given that `command` does not take.
    std::optional<int> refuseOptions(const QCommandLineParser& parser, const QString& command) const;
    static std::optional<QString> readPassword(QString& error);
    static int list(const QSqlDatabase& db);
    static int add(const QSqlDatabase& db, const Options& o);
    static int change(const QSqlDatabase& db, const QString& command, const Options& o);
    // The exit code of a change, after saying how it went.
    static int report(const OperatorAdmin::Result& result);
    static QString yesNo(bool value) { return value ? tr("是") : tr("否"); }

    QCommandLineOption m_id;
    QCommandLineOption m_create;
    QCommandLineOption m_remove;
    QCommandLineOption m_manage;
    QCommandLineOption m_import;
    QCommandLineOption m_force;
};

QString UserCommand::usage() const
{
    return tr("用法：\n"
              "  kolvane-db user list                          列出操作员：编号、停用、须改密码、帐套权限、锁定至\n"
              "  kolvane-db user add 名称 [--id 编号] [--create-periods] [--delete-periods]\n"
              "                      [--manage-operators] [--import-data]\n"
              "                                                新操作员，首次登录时须修改密码\n"
              "  kolvane-db user stop 名称 [--force]           停用操作员\n"
              "  kolvane-db user start 名称                    启用操作员\n"
              "  kolvane-db user reset 名称                    新的首次登录密码，下次登录时须修改\n"
              "  kolvane-db user rights 名称 [--create-periods] [--delete-periods]\n"
              "                      [--manage-operators] [--import-data] [--force]\n"
              "                                                新建、删除帐套，管理操作员，导入数据的权限\n"
              "                                                （未写的权限被取消）\n"
              "  kolvane-db user unlock 名称                   解除输错密码后的锁定\n"
              "每个命令都可以加 --db 文件 或 --server 连接参数；都不写时，用一卡通目录中 Tavrel.ini 所指的数据库。\n"
              "首次登录密码在终端上输入两次，不回显；不是终端时从标准输入读一行。\n"
              "停用操作员或改动权限后若没有人能新建帐套或管理操作员，须加 --force。\n"
              "每次改动都记入操作日志（OpLog），操作者记为“kolvane-db:”加本机用户名。\n"
              "\n"
              "退出码：0 成功；2 用法错误；4 被拒绝或失败；5 无法打开数据库。\n");
}

// Who the operation log names for the tool's changes: the local account.
OperatorAdmin::Actor toolActor()
{
    const passwd* account = getpwuid(getuid());
    const QString user = account ? QString::fromLocal8Bit(account->pw_name) : qEnvironmentVariable("USER");
    return { QStringLiteral("kolvane-db:") + user, QString() };
}

// Typed twice without echo at a terminal; one line of standard input otherwise.
std::optional<QString> UserCommand::readPassword(QString& error)
{
    QString typed[2];
    if (!isatty(STDIN_FILENO)) {
        const std::optional<QString> line = readLine();
        if (!line) {
            error = tr("标准输入中没有密码");
            return std::nullopt;
        }
        typed[0] = typed[1] = *line;
    } else {
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
    }
    error = OperatorAdmin::passwordProblem(typed[0], typed[1]);
    if (!error.isEmpty())
        return std::nullopt;
    return Functions::trimText(typed[0]);
}

int UserCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    parser.addOptions({ m_id, m_create, m_remove, m_manage, m_import, m_force });
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
    o.rights.account = (parser.isSet(m_create) ? AccountRules::RightCreate : 0)
        | (parser.isSet(m_remove) ? AccountRules::RightDelete : 0);
    o.rights.manageOperators = parser.isSet(m_manage);
    o.rights.importData = parser.isSet(m_import);
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
    const QStringList addOrRights = { QStringLiteral("add"), QStringLiteral("rights") };
    const QList<std::pair<const QCommandLineOption*, QStringList>> takenBy = {
        { &m_id, { QStringLiteral("add") } },
        { &m_create, addOrRights },
        { &m_remove, addOrRights },
        { &m_manage, addOrRights },
        { &m_import, addOrRights },
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
    for (const OperatorAdmin::Entry& o : OperatorAdmin::load(db)) {
        out << o.name << '\t' << o.id << '\t' << yesNo(o.stopped) << '\t' << yesNo(o.isNew) << '\t'
            << yesNo(o.rights.account & AccountRules::RightCreate) << '\t'
            << yesNo(o.rights.account & AccountRules::RightDelete) << '\t'
            << o.lockedUntil.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << '\n';
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

int UserCommand::report(const OperatorAdmin::Result& result)
{
    if (!result.done)
        return fail(result.forcible ? tr("%1确要如此，请加 --force。").arg(result.message) : result.message, Refused);
    if (!result.warning.isEmpty())
        fail(result.warning, Done);
    say(result.message);
    return Done;
}

int UserCommand::add(const QSqlDatabase& db, const Options& o)
{
    OperatorAdmin::NewOperator op { o.name, o.id, o.rights };
    // Refused before the password is asked for.
    if (const OperatorAdmin::Result check = OperatorAdmin::checkNew(db, op); !check.done)
        return report(check);
    QString error;
    const std::optional<QString> password = readPassword(error);
    if (!password)
        return fail(error, Refused);
    return report(OperatorAdmin::add(db, toolActor(), op, *password));
}

int UserCommand::change(const QSqlDatabase& db, const QString& command, const Options& o)
{
    if (const OperatorAdmin::Result check = OperatorAdmin::checkOne(db, o.name); !check.done)
        return report(check);
    if (command == u"unlock")
        return report(OperatorAdmin::unlock(db, toolActor(), o.name));
    if (command == u"reset") {
        QString error;
        const std::optional<QString> password = readPassword(error);
        if (!password)
            return fail(error, Refused);
        return report(OperatorAdmin::resetPassword(db, toolActor(), o.name, *password));
    }
    if (command == u"stop" || command == u"start")
        return report(OperatorAdmin::setStopped(db, toolActor(), o.name, command == u"stop", o.force));
    return report(OperatorAdmin::setRights(db, toolActor(), o.name, o.rights, o.force));
}

} // namespace

std::unique_ptr<Command> makeUserCommand()
{
    return std::make_unique<UserCommand>();
}

} // namespace Tool
