// kolvane-db roster: a month's roster as the main window exports it, as CSV
// on standard output or as a workbook.
#include "formats/xlsx/Workbook.h"
#include "host/roster/Roster.h"
#include "host/roster/RosterSheet.h"
#include "periods/Periods.h"
#include "platform/Failure.h"
#include "tools/Command.h"
#include "tools/Database.h"

#include <QFile>

namespace Tool {

namespace {

class RosterCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(Tool)
public:
    QString name() const override { return QStringLiteral("roster"); }
    QString summary() const override { return tr("把一个月的排班表写成 CSV 或 Excel 工作簿"); }
    QString usage() const override
    {
        return tr("用法：\n"
                  "  kolvane-db roster [--xlsx 工作簿] 文件 月份\n"
                  "  kolvane-db roster [--xlsx 工作簿] --db 文件 月份\n"
                  "  kolvane-db roster [--xlsx 工作簿] --server 连接参数 月份\n"
                  "把该月（yyyy-mm）帐套的排班表以 CSV 写到标准输出，与主窗口导出的相同；用 --xlsx 时写成\n"
                  "Excel 工作簿（班次颜色、星期、图例和每日人数）。\n"
                  "\n"
                  "退出码：0 成功；2 用法错误；4 没有该月的帐套或读取失败；5 无法打开数据库。\n");
    }
    int run(const QStringList& args) override;

private:
    static int write(const QSqlDatabase& db, const QString& ym, const QString& workbook);
};

int RosterCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    const QCommandLineOption xlsx(QStringLiteral("xlsx"), QString(), QStringLiteral("workbook"));
    parser.addOption(xlsx);
    if (const std::optional<int> code = parse(parser, args))
        return *code;
    QStringList positional = parser.positionalArguments();
    const QStringList workbooks = parser.values(xlsx);
    if (positional.isEmpty() || positional.size() > 2 || workbooks.size() > 1
        || (!workbooks.isEmpty() && (workbooks.first().isEmpty() || workbooks.first().startsWith(u'-'))))
        return usageError();
    const QString ym = positional.takeLast();
    // The file alone, as "--db FILE", or "--server TEXT".
    const std::optional<Mainmodule::ConnectionSettings> settings = database.named(parser, positional);
    if (!settings)
        return Usage;
    if (settings->driver.isEmpty())
        return usageError();
    const std::optional<MonthKey> key = month(ym);
    if (!key)
        return Usage;
    return withDatabase(*settings, [&](const QSqlDatabase& db) { return write(db, key->text(), workbooks.value(0)); });
}

int RosterCommand::write(const QSqlDatabase& db, const QString& ym, const QString& workbook)
{
    try {
        if (!Periods::exists(db, ym))
            return fail(tr("没有 %1 的帐套").arg(ym), Refused);
        const Roster::Month month = Roster::Month::read(db, ym);
        if (!workbook.isEmpty()) {
            Workbook::Writer::writeRoster(workbook, Roster::sheet(month));
            return Done;
        }
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            throw Platform::Failure(tr("无法写标准输出"));
        month.writeCsv(out);
        if (!out.flush())
            throw Platform::Failure(out.errorString());
    } catch (const std::exception& e) {
        return fail(tr("无法读出 %1 的排班表：%2").arg(ym, Platform::messageOf(e)), Refused);
    }
    return Done;
}

} // namespace

std::unique_ptr<Command> makeRosterCommand()
{
    return std::make_unique<RosterCommand>();
}

} // namespace Tool
