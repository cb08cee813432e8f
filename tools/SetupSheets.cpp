// kolvane-db export|import employees|rules|schedule: the tables planners keep
// in spreadsheets, as CSV files with a header line (setup/Sheets does the
// work, for the program's windows too).
#include "formats/xlsx/Workbook.h"
#include "host/MonthKey.h"
#include "setup/Sheets.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QTextStream>

namespace Tool {

namespace {

// "employees", "rules" or "schedule", as the command line names them.
Setup::SheetKind kindOf(const QString& kind)
{
    return kind == u"employees" ? Setup::SheetKind::Employees
        : kind == u"rules"      ? Setup::SheetKind::Rules
                                : Setup::SheetKind::Schedule;
}

class ExportCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    QString name() const override { return QStringLiteral("export"); }
    QString summary() const override { return tr("把员工、班次规则或一个月的排班表写成 CSV 文件或 Excel 工作簿"); }
    QString usage() const override
    {
        return tr("用法：\n"
                  "  kolvane-db export employees|rules [输出文件 | --xlsx 工作簿] [--db 文件 | --server 连接参数]\n"
                  "  kolvane-db export schedule 月份 [输出文件 | --xlsx 工作簿] [--db 文件 | --server 连接参数]\n"
                  "把员工、班次规则或该月（yyyy-mm）的排班表写成 CSV 文件（UTF-8，第一行为列名），不写输出文件时\n"
                  "写到标准输出；用 --xlsx 时写成 Excel 工作簿。不写 --db 和 --server 时，用一卡通目录中\n"
                  "Tavrel.ini 所指的数据库。\n"
                  "\n"
                  "退出码：0 成功；2 用法错误；4 失败（如没有该月的帐套）；5 无法打开数据库。\n");
    }
    int run(const QStringList& args) override;

private:
    static int write(const QSqlDatabase& db, const QString& kind, const std::optional<MonthKey>& ym, const QString& out,
        const QString& workbook);
};

int ExportCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    const QCommandLineOption xlsx(QStringLiteral("xlsx"), QString(), QStringLiteral("workbook"));
    parser.addOption(xlsx);
    if (const std::optional<int> code = parse(parser, args))
        return *code;
    QStringList positional = parser.positionalArguments();
    const QStringList workbooks = parser.values(xlsx);
    if (positional.isEmpty() || workbooks.size() > 1 || (!workbooks.isEmpty() && workbooks.first().isEmpty()))
        return usageError();
    const QString kind = positional.takeFirst();
    std::optional<MonthKey> ym;
    if (kind == u"schedule") {
        if (positional.isEmpty())
            return usageError();
        if (!(ym = month(positional.takeFirst())))
            return Usage;
    } else if (kind != u"employees" && kind != u"rules") {
        return usageError();
    }
    // An output file, or a workbook: not both.
    if (positional.size() > 1
        || (!positional.isEmpty() && (positional.first().startsWith(u'-') || !workbooks.isEmpty())))
        return usageError();
    const std::optional<Mainmodule::ConnectionSettings> settings = database.orSuite(parser);
    if (!settings)
        return Usage;
    return withDatabase(*settings,
        [&](const QSqlDatabase& db) { return write(db, kind, ym, positional.value(0), workbooks.value(0)); });
}

int ExportCommand::write(const QSqlDatabase& db, const QString& kind, const std::optional<MonthKey>& ym,
    const QString& out, const QString& workbook)
{
    const Setup::SheetKind sheet = kindOf(kind);
    const MonthKey month = ym.value_or(MonthKey());
    const Setup::Table table = Setup::exportSheet(db, sheet, month);
    if (workbook.isEmpty())
        Setup::writeCsv(table, out);
    else
        Workbook::Writer::writeTable(workbook, Setup::sheetName(sheet, month), table.header, table.rows);
    return Done;
}

// Checks the whole file, then writes unless `dryRun`; says what was added,
// changed and left alone.
int runImport(const QSqlDatabase& db, Setup::SheetKind kind, const MonthKey& ym, const QString& file, bool dryRun)
{
    std::unique_ptr<Setup::SheetPlan> plan;
    try {
        plan = Setup::SheetPlan::check(db, kind, file, ym);
    } catch (const Setup::Unusable& e) {
        return fail(e.message(), e.badFile ? BadFile : Refused);
    }
    if (!plan->unread().isEmpty())
        fail(QCoreApplication::translate("Setup", "没有读取这些列：%1")
                 .arg(plan->unread().join(QCoreApplication::translate("Setup", "、"))),
            Done);
    if (!plan->problems().isEmpty())
        return fail(plan->problemText(), BadFile);
    const QString refused = dryRun ? QString() : plan->apply();
    QTextStream out(stdout);
    for (const Setup::PlannedRow& row : plan->rows())
        if (row.kind != Setup::PlannedRow::Kind::Unchanged)
            out << row.text << '\n';
    out << plan->summary(dryRun) << '\n';
    return refused.isEmpty() ? Done : fail(refused, Refused);
}

} // namespace

std::unique_ptr<Command> makeExportCommand()
{
    return std::make_unique<ExportCommand>();
}

int importSheet(const Mainmodule::ConnectionSettings& settings, const QString& kind, const std::optional<MonthKey>& ym,
    const QString& file, bool dryRun)
{
    const Setup::SheetKind sheet = kindOf(kind);
    return withDatabase(
        settings, [&](const QSqlDatabase& db) { return runImport(db, sheet, ym.value_or(MonthKey()), file, dryRun); });
}

} // namespace Tool
