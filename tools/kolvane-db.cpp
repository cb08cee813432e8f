// kolvane-db: creates an empty suite database or a demonstration one, in a
// SQLite file or on a PostgreSQL server; imports an Access database; sets up
// a site's operators, employees, shift rules and schedules. One verb a run,
// each a Command (tools/Command.h).
#include "import/SandboxedSource.h"
#include "platform/System.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTextStream>

namespace {

class HelpCommand : public Tool::Command
{
    Q_DECLARE_TR_FUNCTIONS(Tool)
public:
    explicit HelpCommand(const Tool::Commands& all)
        : m_all(all)
    {
    }

    QString name() const override { return QStringLiteral("help"); }
    QString summary() const override { return tr("显示命令的用法"); }
    QString usage() const override
    {
        return tr("用法：\n"
                  "  kolvane-db help              列出命令和退出码\n"
                  "  kolvane-db help 命令         显示该命令的用法（与“kolvane-db 命令 --help”相同）\n");
    }

    int run(const QStringList& args) override
    {
        QCommandLineParser parser;
        if (const std::optional<int> code = parse(parser, args))
            return *code;
        const QStringList verbs = parser.positionalArguments();
        if (verbs.isEmpty()) {
            QTextStream(stdout) << overview();
            return Tool::Done;
        }
        const Command* verb = find(verbs.first());
        if (verbs.size() > 1 || !verb)
            return usageError(verb ? QString() : tr("没有命令 %1").arg(verbs.first()));
        QTextStream(stdout) << verb->usage();
        return Tool::Done;
    }

    Command* find(const QString& name) const
    {
        for (const auto& command : m_all) {
            if (command->name() == name)
                return command.get();
        }
        return nullptr;
    }

    // The verbs, what every one of them shares, and the exit codes.
    QString overview() const
    {
        QString verbs;
        for (const auto& command : m_all)
            verbs += QStringLiteral("  %1  %2\n").arg(command->name(), -8).arg(command->summary());
        return tr("用法：kolvane-db 命令 [参数……]\n"
                  "\n"
                  "命令：\n"
                  "%1"
                  "\n"
                  "“kolvane-db help 命令”或“kolvane-db 命令 --help”显示该命令的用法。\n"
                  "\n"
                  "数据库：用 --db 文件（SQLite）或 --server 连接参数（PostgreSQL）指定。user、export 及导入员工、\n"
                  "班次规则、排班表时，都不写则用一卡通目录中 Tavrel.ini 所指的数据库（默认为其中的 Kolvane.mdb）。\n"
                  "连接参数的写法与 libpq 相同，例如：\n"
                  "  \"host=127.0.0.1 port=5432 dbname=kolvane user=kolvane\"\n"
                  "未写的参数取 libpq 的默认值和环境变量（PGHOST、PGPORT……）。密码不能写在连接参数中：\n"
                  "请用口令文件 ~/.pgpass 或环境变量 PGPASSWORD。\n"
                  "一卡通目录：环境变量 KOLVANE_HOME 所指的目录，未设置时为安装时确定的目录\n"
                  "（软件包：/var/lib/kolvane）或本程序所在的目录。\n"
                  "\n"
                  "退出码：\n"
                  "  0  成功\n"
                  "  2  用法错误\n"
                  "  3  文件或一卡通数据表已存在，或服务器上的数据库字符集不是 UTF8\n"
                  "  4  失败或被拒绝（如没有该月的帐套），原因见错误信息\n"
                  "  5  无法打开数据库或 Access 文件，或无法连接服务器\n"
                  "  6  导入文件无法读取或有错误的行，数据库没有改动\n")
            .arg(verbs);
    }

private:
    const Tool::Commands& m_all;
};

} // namespace

int main(int argc, char** argv)
{
    // The Access reader of an import runs in a process of its own.
    if (const std::optional<int> code = Import::runReaderChild(argc, argv))
        return *code;
    QCoreApplication app(argc, argv);
    Platform::installTranslations(QLocale::system());
    Tool::Commands commands;
    commands.push_back(Tool::makeCreateCommand(false));
    commands.push_back(Tool::makeCreateCommand(true));
    commands.push_back(Tool::makeRosterCommand());
    commands.push_back(Tool::makeImportCommand());
    commands.push_back(Tool::makeExportCommand());
    commands.push_back(Tool::makeUserCommand());
    auto help = std::make_unique<HelpCommand>(commands);
    const HelpCommand& overview = *help;
    commands.push_back(std::move(help));

    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help")) {
        QTextStream(stdout) << overview.overview();
        return Tool::Done;
    }
    if (!args.isEmpty()) {
        if (Tool::Command* command = overview.find(args[0]))
            return command->run(args.mid(1));
        Tool::fail(QCoreApplication::translate("Tool", "没有命令 %1").arg(args[0]), Tool::Usage);
    }
    QTextStream(stderr) << overview.overview();
    return Tool::Usage;
}
