// kolvane-db import: an Access database into a new suite database, or a
// spreadsheet of employees, shift rules or a month's schedules into the suite
// database (tools/SetupSheets.cpp).
#include "host/AccessFile.h"
#include "import/SandboxedSource.h"
#include "import/Importer.h"
#include "import/NewDatabase.h"
#include "platform/System.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QTextStream>

namespace Tool {

namespace {

using namespace Import;

Progress progressLine()
{
    return [](const QString& table, qint64 rows, bool done) {
        // A line every 10000 rows is enough on a terminal.
        if (!done && rows % 10000 != 0)
            return;
        QTextStream err(stderr);
        const QString name = printable(table);
        if (done)
            err << QCoreApplication::translate("Import", "%1：已读 %2 行，完成").arg(name).arg(rows) << '\n';
        else if (rows == 0)
            err << QCoreApplication::translate("Import", "%1：正在读取……").arg(name) << '\n';
        else
            err << QCoreApplication::translate("Import", "%1：已读 %2 行").arg(name).arg(rows) << '\n';
    };
}

void printSummary(const QList<TableReport>& reports, bool written)
{
    QTextStream out(stdout);
    out << summary(reports, written);
    if (hasWarnings(reports))
        out << QCoreApplication::translate("Import", "有需要注意的地方，见上。") << '\n';
}

class ImportCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(Import)
public:
    ImportCommand()
        : m_codePage(QStringLiteral("code-page"), QString(), QStringLiteral("n"))
        , m_check(QStringLiteral("check"), QString())
        , m_dryRun(QStringLiteral("dry-run"), QString())
    {
    }

    QString name() const override { return QStringLiteral("import"); }
    QString summary() const override { return tr("导入 Access 数据库，或员工、班次规则、排班表的 CSV 文件"); }
    QString usage() const override;
    int run(const QStringList& args) override;

private:
    int importSheets(const QCommandLineParser& parser, const DatabaseOptions& database, QStringList positional) const;
    int importAccess(
        const QCommandLineParser& parser, const DatabaseOptions& database, const QStringList& positional) const;
    static std::unique_ptr<SandboxedSource> open(const QString& path, int codePage, int& code);
    static int write(SandboxedSource& source, const Mainmodule::ConnectionSettings& target);
    static int read(SandboxedSource& source, const Mainmodule::ConnectionSettings& target, bool check);

    QCommandLineOption m_codePage;
    QCommandLineOption m_check;
    QCommandLineOption m_dryRun;
};

QString ImportCommand::usage() const
{
    return tr("用法：\n"
              "  kolvane-db import [--code-page 代码页] [--check] Access文件 [文件 | --db 文件]\n"
              "  kolvane-db import --server 连接参数 [--code-page 代码页] Access文件\n"
              "  kolvane-db import employees|rules [--dry-run] 文件 [--db 文件 | --server 连接参数]\n"
              "  kolvane-db import schedule 月份 [--dry-run] 文件 [--db 文件 | --server 连接参数]\n"
              "\n"
              "Access 数据库（.mdb、.accdb）的全部数据表导入新的数据库文件（默认为一卡通目录中的 Kolvane.mdb，\n"
              "已存在的文件不会被覆盖），或导入 PostgreSQL 服务器上没有一卡通数据表的数据库。\n"
              "  --code-page 代码页  Access 97 文件的代码页（默认取文件头中的；中文 Windows 为 936）\n"
              "  --check             只读取并报告，不写入\n"
              "\n"
              "员工、班次规则和该月（yyyy-mm）的排班表：CSV 文件，第一行为列名；文件为 - 时读标准输入。\n"
              "文件中有一行出错时，数据库不做任何改动。\n"
              "  --dry-run           只列出将有的改动，不写入\n"
              "\n"
              "退出码（Access 文件）：0 成功；2 用法错误；3 目标已存在或已有一卡通数据表；4 写入失败，\n"
              "或文件只有链接表；5 无法打开 Access 文件或连接服务器；6 Access 文件已损坏，无法读完。\n"
              "退出码（CSV 文件）：0 成功；2 用法错误；4 被拒绝或失败；5 无法打开数据库；\n"
              "6 导入文件无法读取或有错误的行。\n");
}

int ImportCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    parser.addOptions({ m_codePage, m_check, m_dryRun });
    if (const std::optional<int> code = parse(parser, args))
        return *code;
    const QStringList positional = parser.positionalArguments();
    // "import employees|rules|schedule"; any other import reads an Access file.
    static const QStringList sheets
        = { QStringLiteral("employees"), QStringLiteral("rules"), QStringLiteral("schedule") };
    const bool sheet = sheets.contains(positional.value(0));
    for (const QCommandLineOption* option : sheet ? QList { &m_codePage, &m_check } : QList { &m_dryRun }) {
        if (parser.isSet(*option))
            return usageError(unknown(*option));
    }
    return sheet ? importSheets(parser, database, positional) : importAccess(parser, database, positional);
}

int ImportCommand::importSheets(
    const QCommandLineParser& parser, const DatabaseOptions& database, QStringList positional) const
{
    const QString kind = positional.takeFirst();
    std::optional<MonthKey> ym;
    if (kind == u"schedule") {
        if (positional.isEmpty())
            return usageError();
        if (!(ym = month(positional.takeFirst())))
            return Usage;
    }
    if (positional.size() != 1)
        return usageError();
    const std::optional<Mainmodule::ConnectionSettings> settings = database.orSuite(parser);
    if (!settings)
        return Usage;
    return importSheet(*settings, kind, ym, positional.first(), parser.isSet(m_dryRun));
}

int ImportCommand::importAccess(
    const QCommandLineParser& parser, const DatabaseOptions& database, const QStringList& positional) const
{
    int codePage = 0;
    for (const QString& value : parser.values(m_codePage)) {
        bool ok = false;
        codePage = value.toInt(&ok);
        if (!ok || codePage <= 0 || codePage > 65535)
            return fail(tr("代码页不正确：%1").arg(value), Usage);
    }
    const bool check = parser.isSet(m_check);
    if (positional.isEmpty() || positional.size() > 2 || (positional.size() == 2 && check))
        return usageError();
    // The target: a new file (named alone or by --db) or a server.
    const std::optional<Mainmodule::ConnectionSettings> target = database.named(parser, positional.mid(1));
    if (!target)
        return Usage;
    const QString& path = positional.first();
    int code = Done;
    const std::unique_ptr<SandboxedSource> source = open(path, codePage, code);
    if (!source)
        return code;
    code = read(*source, *target, check);
    // The reader's own words, counted: a damaged file can make it say the
    // same thing a million times.
    if (source->warningCount() > 0)
        QTextStream(stderr) << tr("读取时 libmdb 有 %1 条警告，例如：%2")
                                   .arg(source->warningCount())
                                   .arg(source->warnings().join(QStringLiteral(" | ")))
                            << '\n';
    return code;
}

int ImportCommand::read(SandboxedSource& source, const Mainmodule::ConnectionSettings& target, bool check)
{
    try {
        if (check) {
            const QList<TableReport> reports = importAll(source, nullptr, progressLine());
            printSummary(reports, false);
            return Done;
        }
        return write(source, target);
    } catch (const std::exception& e) {
        return fail(Platform::messageOf(e), BadFile);
    }
}

// Opens the Access file and says what it is; nothing after saying why it
// cannot (exit 5, or 6 for a file that makes the reader fail).
std::unique_ptr<SandboxedSource> ImportCommand::open(const QString& path, int codePage, int& code)
{
    QTextStream err(stderr);
    if (const QString lock = AccessFile::lockFileBeside(path); !lock.isEmpty())
        err << tr("警告：%1 旁边有锁定文件 %2，Access 或一卡通系统可能仍在使用它；"
                  "请先关闭所有使用它的程序，否则读到的数据可能不完整。")
                   .arg(path, lock)
            << '\n';
    std::unique_ptr<SandboxedSource> source;
    try {
        source = std::make_unique<SandboxedSource>(path, codePage);
    } catch (const DamagedFile& e) {
        code = fail(Platform::messageOf(e), BadFile);
        return nullptr;
    } catch (const ReadError& e) {
        code = fail(Platform::messageOf(e), CannotOpen);
        return nullptr;
    }
    if (codePage > 0 && !source->isJet3())
        err << tr("注意：--code-page 只用于 Access 97 文件；这个文件的文本是 Unicode，不需要代码页。") << '\n';
    QString described = source->format();
    if (source->isJet3())
        described += tr("，代码页 %1").arg(source->codePage());
    err << tr("读取 %1（%2）").arg(printable(path), described) << '\n';
    return source;
}

// Every table into a new file, or a server's database, whole or not at all;
// nothing from a file that only links to others.
int ImportCommand::write(SandboxedSource& source, const Mainmodule::ConnectionSettings& target)
{
    if (source.tables().isEmpty() && !source.links().isEmpty()) {
        printSummary(importAll(source, nullptr), false);
        return fail(tr("该文件只有链接表，数据在上面列出的文件或数据源中；请导入那些文件本身。"), Refused);
    }
    QList<TableReport> reports;
    bool damaged = false;
    QString where;
    int code = Done;
    if (target.driver == u"QPSQL") {
        where = target.describe();
        code = buildOnServer(
            target,
            [&](const QSqlDatabase& db) {
                try {
                    reports = importAll(source, &db, progressLine());
                } catch (const ReadError&) {
                    damaged = true;
                    throw;
                }
            },
            tr("导入失败，%1 没有改动：%2"));
    } else {
        where = target.driver.isEmpty() ? Platform::suiteDirectory() + QStringLiteral("Kolvane.mdb") : target.file;
        if ((code = checkNewFile(where)) == Done) {
            const FileImport result = importToNewFile(source, where, progressLine());
            reports = result.reports;
            damaged = result.damaged;
            if (!result.error.isEmpty())
                code = fail(tr("导入失败，没有建立 %1：%2").arg(where, result.error), Refused);
        }
    }
    if (code == Done) {
        printSummary(reports, true);
        say(tr("已导入到：%1").arg(where));
    }
    return code == Refused && damaged ? BadFile : code;
}

} // namespace

std::unique_ptr<Command> makeImportCommand()
{
    return std::make_unique<ImportCommand>();
}

} // namespace Tool
