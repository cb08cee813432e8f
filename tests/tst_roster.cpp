// The month's roster: what is read, counted, coloured and exported, and the
// main window that shows it.
#include "TestSupport.h"

#include "host/ui/Main.h"
#include "host/Mainmodule.h"
#include "host/Varunit.h"
#include "host/roster/Roster.h"
#include "host/roster/ui/RosterModel.h"
#include "host/roster/ui/RosterView.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

#include <set>

using namespace Qt::Literals::StringLiterals;
using Roster::Month;
using TestSupport::TestEnv;

namespace {

// February 2026: 28 days, the 1st a Sunday.
const QString kYm = QStringLiteral("2026-02");

void addRow(TestEnv& env, const QString& ym, const QString& emp, const QString& shift, const QVariant& start,
    const QMap<int, QString>& days)
{
    TestSupport::addScheme(env, ym, emp, shift, start, days);
}

QMap<int, QString> every(const QString& code, int days = 31)
{
    QMap<int, QString> map;
    for (int day = 1; day <= days; ++day)
        map[day] = code;
    return map;
}

// Four employees in February, one of them without an Employee row, rows
// inserted out of order; a March row that must not show.
void fillFebruary(TestEnv& env)
{
    env.createDatabase();
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES (?, ?), (?, ?), (?, ?)"),
        { kYm, QStringLiteral("2026年2月"), QStringLiteral("2026-03"), QStringLiteral("2026年3月"),
            QStringLiteral("2026-04"), QStringLiteral("2026年4月") });
    env.exec(QStringLiteral("INSERT INTO Employee (emp_id, emp_name) VALUES (?, ?), (?, ?), (?, ?)"),
        { QStringLiteral("E02"), QStringLiteral("李四"), QStringLiteral("E01"), QStringLiteral("张三"),
            QStringLiteral("E04"), QStringLiteral("王五") });
    // Days 29 to 31 hold left-overs that February has no room for.
    addRow(env, kYm, QStringLiteral("E04"), QStringLiteral("早班"), {}, every(QStringLiteral("早班")));
    QMap<int, QString> rotation = { { 1, QStringLiteral("夜班") }, { 2, QStringLiteral("休息") },
        { 3, QStringLiteral("A,\"B\"") }, { 4, QStringLiteral(" 中班 ") }, { 5, QStringLiteral("夜班") } };
    addRow(env, kYm, QStringLiteral("E02"), QStringLiteral("R1"), QDateTime(QDate(2026, 1, 5), QTime(0, 0)), rotation);
    addRow(env, kYm, QStringLiteral("E03"), QStringLiteral("中班"), {}, every(QStringLiteral("中班"), 28));
    addRow(env, kYm, QStringLiteral("E01"), QStringLiteral("早班"), {}, every(QStringLiteral("早班"), 28));
    addRow(env, QStringLiteral("2026-03"), QStringLiteral("E09"), QStringLiteral("白班"), {},
        every(QStringLiteral("白班")));
}

QByteArray csvOf(const Month& month)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    month.writeCsv(buffer);
    return buffer.data();
}

Roster::Rgb colourOf(const Month& month, const QString& code)
{
    return month.colour(static_cast<Month::Code>(month.codes().indexOf(code)));
}

} // namespace

class TestRoster : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void readCountColourExport();
    void mainWindow();
};

void TestRoster::cleanup()
{
    delete Main::FrmMain;
    Main::FrmMain = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void TestRoster::readCountColourExport()
{
    TestEnv env;
    fillFebruary(env);
    const Month month = Month::read(env.db(), kYm);

    // Employee order, names where Employee has them, only February's days.
    QCOMPARE(month.rowCount(), 4);
    QCOMPARE(month.days(), 28);
    QCOMPARE(Roster::weekdayName(month.date(1)), QStringLiteral("日"));
    QStringList ids, names;
    for (int row = 0; row < month.rowCount(); ++row) {
        ids << month.empId(row);
        names << month.name(row);
    }
    QCOMPARE(ids, QStringList({ u"E01"_s, u"E02"_s, u"E03"_s, u"E04"_s }));
    QCOMPARE(names, QStringList({ u"张三"_s, u"李四"_s, QString(), u"王五"_s }));
    QCOMPARE(month.code(1, 4), QStringLiteral("中班")); // blanks around a code do not make another code
    QCOMPARE(month.code(1, 6), QString());
    QCOMPARE(month.anchor(1), QDate(2026, 1, 5));
    QVERIFY(month.describe(1).contains(QStringLiteral("R1")));

    // Coverage: per day and code, empty cells included; every cell counted once.
    const auto code = [&](const QString& text) { return static_cast<Month::Code>(month.codes().indexOf(text)); };
    QCOMPARE(month.count(code(QStringLiteral("早班")), 1), 2);
    QCOMPARE(month.count(code(QStringLiteral("中班")), 4), 2);
    QCOMPARE(month.count(code(QStringLiteral("夜班")), 1), 1);
    QCOMPARE(month.count(0, 1), 0);
    QCOMPARE(month.count(0, 6), 1);
    QCOMPARE(month.total(0), 23);
    int cells = 0;
    for (Month::Code c = 0; c < month.codes().size(); ++c)
        cells += month.total(c);
    QCOMPARE(cells, 4 * 28);
    QStringList legend;
    for (const Month::Code c : month.legend())
        legend << month.codes()[c];
    QCOMPARE(legend, QStringList({ u"A,\"B\""_s, u"中班"_s, u"休息"_s, u"夜班"_s, u"早班"_s }));
    QCOMPARE(month.filter(QStringLiteral("夜")), std::vector<int>({ 1 }));
    QCOMPARE(month.filter(QStringLiteral("e0")).size(), size_t(4));
    QCOMPARE(month.filter(QStringLiteral("张三")), std::vector<int>({ 0 }));

    // Codes holding control characters, the day separator among them, show
    // as visible pictures; the month still loads, each day in its place.
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES ('2026-06', '6')"));
    addRow(env, QStringLiteral("2026-06"), QStringLiteral("C1"), QStringLiteral("x"), {},
        { { 1, u"A\u001FB"_s }, { 2, QStringLiteral("早班") }, { 3, u"C\u0001"_s } });
    addRow(env, QStringLiteral("2026-06"), QStringLiteral("C2"), QStringLiteral("x"), {},
        every(QStringLiteral("早班"), 30));
    const Month june = Month::read(env.db(), QStringLiteral("2026-06"));
    QCOMPARE(june.rowCount(), 2);
    QCOMPARE(june.code(0, 1), u"A\u241FB"_s);
    QCOMPARE(june.code(0, 2), QStringLiteral("早班"));
    QCOMPARE(june.code(0, 3), QStringLiteral("C\u2401"));
    QCOMPARE(june.code(0, 4), QString());
    QCOMPARE(june.code(1, 30), QStringLiteral("早班"));
    QCOMPARE(june.count(static_cast<Month::Code>(june.codes().indexOf(QStringLiteral("早班"))), 2), 2);

    // A dozen codes get a dozen colours, and the same colours whatever order
    // the rows and codes come in.
    const auto letter = [](int i) { return QStringLiteral("班") + QChar(static_cast<char16_t>(u'甲' + i)); };
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES ('2026-05', '5')"));
    for (int i = 0; i < 12; ++i) {
        const QString emp = QStringLiteral("F%1").arg(i, 2, 10, QLatin1Char('0'));
        addRow(env, QStringLiteral("2026-03"), emp, QStringLiteral("x"), {},
            { { 1, letter(11 - i) }, { 2, QStringLiteral("早班") } });
        addRow(env, QStringLiteral("2026-05"), emp, QStringLiteral("x"), {},
            { { 3, QStringLiteral("早班") }, { 4, letter(i) } });
    }
    addRow(env, QStringLiteral("2026-05"), QStringLiteral("E09"), QStringLiteral("白班"), {},
        { { 9, QStringLiteral("白班") } });
    const Month march = Month::read(env.db(), QStringLiteral("2026-03"));
    const Month may = Month::read(env.db(), QStringLiteral("2026-05"));
    QCOMPARE(march.legend().size(), size_t(14)); // twelve, 早班 and 白班
    std::set<Roster::Rgb> colours;
    for (const Month::Code c : march.legend()) {
        QVERIFY(march.colour(c) != 0);
        colours.insert(march.colour(c));
        QCOMPARE(march.colour(c), colourOf(may, march.codes()[c]));
    }
    QCOMPARE(colours.size(), size_t(14));

    // CSV: byte-order mark, header, quoting, CRLF; the admin tool writes the same bytes.
    const QByteArray csv = csvOf(month);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = csv.split('\n');
    QCOMPARE(lines.size(), 6); // header, four rows, nothing after the last CRLF
    QVERIFY(
        lines[0].startsWith(QStringLiteral("\uFEFF员工编号,姓名,班次或规则,起始日期,2026-02-01,2026-02-02,").toUtf8()));
    QVERIFY(lines[0].endsWith(",2026-02-28\r"));
    QVERIFY(
        lines[2].startsWith(QStringLiteral("E02,李四,R1,2026-01-05,夜班,休息,\"A,\"\"B\"\"\",中班,夜班,,").toUtf8()));
    QVERIFY(lines[3].startsWith("E03,,"));
    QCOMPARE(lines[4].count(','), 31);

    QProcess tool;
    QStringList args = { QStringLiteral("roster") };
    if (TestEnv::engine() == Db::Engine::PostgreSQL)
        args << QStringLiteral("--server")
             << qEnvironmentVariable("KOLVANE_TEST_PG") + QStringLiteral(" dbname=") + env.databaseName();
    else
        args << env.dbPath();
    tool.start(qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db"), args + QStringList { kYm });
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(tool.readAllStandardOutput(), csv);
    // A month without a period is an error for a script, not an empty file.
    tool.start(tool.program(), args + QStringList { QStringLiteral("2025-01") });
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 4);
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

void TestRoster::mainWindow()
{
    TestEnv env(QDateTime(QDate(2026, 2, 10), QTime(9, 0)));
    fillFebruary(env);
    QVERIFY(env.createDataModule());
    Varunit::User_name = QStringLiteral("admin");
    Varunit::Account
        = { kYm, QStringLiteral("2026年2月"), QDate(2026, 2, 1).startOfDay(), QDate(2026, 2, 28).startOfDay() };

    auto* window = new Main::TFrmMain;
    Main::FrmMain = window;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    Roster::Model* model = window->rosterModel();
    QVERIFY(window->notice().isEmpty());
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(model->columnCount(), 2 + 28);
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("1\n日"));
    QCOMPARE(model->headerData(8, Qt::Horizontal).toString(), QStringLiteral("7\n六"));
    QCOMPARE(model->todayColumn(), 2 + 9);
    QCOMPARE(model->data(model->index(1, 2 + 2)).toString(), QStringLiteral("A,\"B\""));
    QVERIFY(model->data(model->index(1, 0), Qt::ToolTipRole).toString().contains(QStringLiteral("2026-01-05")));

    // Ctrl+F, typing, Escape: the rows narrow and come back.
    QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), window->filterEdit());
    QTest::keyClicks(window->filterEdit(), QStringLiteral("e04"));
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("E04"));
    QTest::keyClick(window->filterEdit(), Qt::Key_Escape);
    QCOMPARE(model->rowCount(), 4);

    // F5 reads the period again.
    addRow(env, kYm, QStringLiteral("E05"), QStringLiteral("白班"), {}, every(QStringLiteral("白班"), 28));
    QTest::keyClick(window, Qt::Key_F5);
    QCOMPARE(model->rowCount(), 5);

    // CSV, PDF and Excel through the save dialog: whole files, the same CSV as the month's.
    const QString csvPath = env.appDir() + QStringLiteral("roster.csv");
    const QString pdfPath = env.appDir() + QStringLiteral("roster.pdf");
    const QString xlsxPath = env.appDir() + QStringLiteral("roster.xlsx");
    for (const QString& path : { csvPath, pdfPath, xlsxPath })
        env.onNextModal([path](QDialog* dialog) {
            static_cast<QFileDialog*>(dialog)->selectFile(path);
            return int(QDialog::Accepted);
        });
    window->exportCsv();
    window->printToPdf();
    window->exportWorkbook();
    QFile xlsx(xlsxPath);
    QVERIFY(xlsx.open(QIODevice::ReadOnly));
    QVERIFY(xlsx.readAll().startsWith("PK"));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), csvOf(Month::read(env.db(), kYm)));
    QFile pdf(pdfPath);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.readAll().startsWith("%PDF"));
    QCOMPARE(QDir(env.appDir()).entryList({ QStringLiteral("roster*") }, QDir::Files).size(), 3);
    QVERIFY(env.messages.isEmpty());
    delete window;
    Main::FrmMain = nullptr;

    // An empty period says so, with nothing to print.
    Varunit::Account.Ym = QStringLiteral("2026-04");
    window = new Main::TFrmMain;
    QVERIFY(window->notice().contains(QStringLiteral("没有排班记录")));
    for (QAction* action : window->findChildren<QAction*>())
        QVERIFY2(action->shortcut() != QKeySequence(QKeySequence::Print) || !action->isEnabled(),
            qPrintable(action->text()));
    delete window;

    // A hundred thousand employees: every count of the coverage shows whole.
    env.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                            "INSERT INTO Scheme (YM, emp_id, shift_id, %1) "
                            "SELECT '2026-04', 'N' || CAST(i AS TEXT), 'x', '早班' FROM n")
                 .arg(Db::quotedName(env.db(), QStringLiteral("1"))));
    window = new Main::TFrmMain;
    Roster::FrozenTableView* coverage = window->coverageView();
    const QAbstractItemView* measure = coverage; // the table's own width for a column's contents
    QCOMPARE(coverage->model()->data(coverage->model()->index(1, 2 + 1)).toInt(), 100000); // day 2's empty cells
    for (int column = 2; column < coverage->model()->columnCount(); ++column)
        QVERIFY2(measure->sizeHintForColumn(column) <= coverage->columnWidth(column),
            qPrintable(QStringLiteral("day %1: column %2 px, its counts need %3 px")
                           .arg(column - 1)
                           .arg(coverage->columnWidth(column))
                           .arg(measure->sizeHintForColumn(column))));
    delete window;

    // A read the database refuses is reported, and no grid pretends to be the roster.
    env.exec(QStringLiteral("DROP TABLE Scheme"));
    Varunit::Account.Ym = kYm;
    window = new Main::TFrmMain;
    QCOMPARE(env.messages.size(), 1);
    QCOMPARE(env.messages[0].flags, 16);
    QVERIFY(env.messages[0].text.contains(QStringLiteral("无法读取排班表")));
    QVERIFY(window->notice().contains(QStringLiteral("无法读取")));
    QCOMPARE(window->rosterModel()->rowCount(), 0);
    delete window;
}

QTEST_MAIN(TestRoster)
#include "tst_roster.moc"
