// Schedule roll-over on a fixture database: which rows are written, with which
// days, what is kept, what is reported, and how progress is shown.
#include "TestSupport.h"

#include "db/Query.h"
#include "db/SchemeWriterParts.h"
#include "host/Mainmodule.h"
#include "periods/Periods.h"
#include "periods/Rollover.h"
#include "periods/ui/Gauge.h"

#include <QApplication>
#include <QProgressBar>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>
#include <fcntl.h>
#include <latch>
#include <unistd.h>

using TestSupport::TestEnv;
using namespace Rollover;

namespace {

const QString kNull = QStringLiteral("<null>");

QDateTime day(int y, int m, int d, int h = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, 0));
}

// Records what the engine tells the dialog.
class Recorder : public RolloverProgress
{
public:
    void busy() override { calls << QStringLiteral("busy"); }
    void waiting() override { ++waits; }
    void start(int maximum) override { calls << QStringLiteral("start %1").arg(maximum); }
    void advance(int position) override
    {
        ++advances;
        last = position;
    }
    void finish() override { calls << QStringLiteral("finish"); }

    QStringList calls;
    int waits = 0;
    int advances = 0;
    int last = 0;
};

// A database with the periods 2023-12 (and 2023-01), shift rules and helpers
// to add employees and last month's schedules.
class Fixture
{
public:
    Fixture()
    {
        env.createDatabase();
        addPeriod(QStringLiteral("2023-12"));
        addRule(QStringLiteral("D3"), 3, QStringLiteral("day"), QStringLiteral("1=早班\r\n2=中班\r\n3=夜班"));
        addRule(QStringLiteral("ZERO"), 0, QStringLiteral("day"), QStringLiteral("1=A"));
        addRule(QStringLiteral("W1"), 1, QStringLiteral("week"),
            QStringLiteral("1=休息\n2=白班\n3=白班\n4=白班\n5=白班\n6=白班\n7=休息"));
        addRule(QStringLiteral("M1"), 1, QStringLiteral("Month"), QStringLiteral("1=月初\n5=\n31=月末"));
    }

    void addPeriod(const QString& ym)
    {
        env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES (?, ?)"), { ym, ym });
    }
    void addRule(const QString& id, const QVariant& n, const QString& unit, const QString& slots)
    {
        env.exec(QStringLiteral("INSERT INTO Shifts_Rule (shift_id, shifts_cyc, shifts_cyc_unit, shifts) "
                                "VALUES (?,?,?,?)"),
            { id, n, unit, slots });
    }
    // An employee with last month's row; its day columns hold "old", which must never be copied.
    void addEmployee(const QString& emp, const QString& shift, const QVariant& start = {}, const QVariant& leave = {},
        const QString& ym = QStringLiteral("2023-12"))
    {
        if (env.scalar(QStringLiteral("SELECT count(*) FROM Employee WHERE emp_id=?"), { emp }).toInt() == 0)
            env.exec(QStringLiteral("INSERT INTO Employee (emp_id, leave_date) VALUES (?, ?)"), { emp, leave });
        env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id, start_date, \"1\", \"31\") "
                                "VALUES (?,?,?,?,'old','old')"),
            { ym, emp, shift, start });
    }

    RolloverReport run(const QString& ym = QStringLiteral("2024-01"), const QDateTime& begin = day(2024, 1, 1),
        const QDateTime& end = day(2024, 1, 31), RolloverProgress* progress = nullptr)
    {
        return runAutoScheme(env.db(), MonthKey::fromKey(ym).value_or(MonthKey()), begin, end, progress);
    }

    // The 31 day columns of a row ("<null>" for NULL), or an empty list without a row.
    QStringList days(const QString& emp, const QString& ym = QStringLiteral("2024-01"))
    {
        Db::Query q(env.db(), QStringLiteral("SELECT * FROM Scheme WHERE YM=:ym AND emp_id=:emp"));
        q.bind(QStringLiteral("ym"), ym);
        q.bind(QStringLiteral("emp"), emp);
        if (q.open().isEmpty())
            return {};
        QStringList values;
        for (int d = 1; d <= 31; ++d) {
            const QVariant v = q.value(QString::number(d));
            values << (v.isNull() ? kNull : v.toString());
        }
        return values;
    }
    QVariant column(const QString& emp, const QString& name, const QString& ym = QStringLiteral("2024-01"))
    {
        return env.scalar(QStringLiteral("SELECT %1 FROM Scheme WHERE YM=? AND emp_id=?").arg(name), { ym, emp });
    }
    int rows(const QString& ym = QStringLiteral("2024-01"))
    {
        return env.scalar(QStringLiteral("SELECT count(*) FROM Scheme WHERE YM=?"), { ym }).toInt();
    }

    TestEnv env;
};

bool onSqlite(TestEnv& env)
{
    return Db::engineOf(env.db()) == Db::Engine::SQLite;
}

// A schedule table as the suite's other tools make it: no key, no index.
void makeSchemeKeyless(TestEnv& env)
{
    env.exec(QStringLiteral("DROP TABLE Scheme"));
    QStringList dayColumns;
    for (int d = 1; d <= 31; ++d)
        dayColumns << QStringLiteral("\"%1\" VARCHAR(20)").arg(d);
    env.exec(QStringLiteral("CREATE TABLE Scheme (YM VARCHAR(7), emp_id VARCHAR(20), shift_id VARCHAR(20), "
                            "start_date %1, %2)")
                 .arg(onSqlite(env) ? QStringLiteral("DATETIME") : QStringLiteral("TIMESTAMP"),
                     dayColumns.join(QStringLiteral(", "))));
}

QDateTime dateOf(const QVariant& value)
{
    return Db::toDateTime(value);
}

QStringList repeated(const QString& value, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << value;
    return list;
}

} // namespace

class TestRollover : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void previousMonthAndWhenNothingRuns();
    void fixedShifts();
    void rotations();
    void failuresAreReportedAndTheRunGoesOn();
    void existingRowsAreEditedInPlace();
    void leaveDates();
    void progressAndGauge();
    void twoWorkstationsRollTheSameMonth();
    void aMonthHeldTooLongEndsTheRun();
    void aDatabaseThatCannotStoreEndsTheRunOnce();
    void rowsAreSavedInBatchesAndInTurn();
};

void TestRollover::previousMonthAndWhenNothingRuns()
{
    QCOMPARE(PrevYm(QStringLiteral("2024-01")), QStringLiteral("2023-12"));
    QCOMPARE(PrevYm(QStringLiteral(" 2026-03 ")), QStringLiteral("2026-02"));
    QCOMPARE(PrevYm(QStringLiteral("2024-12")), QStringLiteral("2024-11"));
    for (const char16_t* bad : { u"", u"2024-1", u"2024/03", u"2024-013", u"2024-13", u"abcd-01" })
        QVERIFY2(PrevYm(QString::fromUtf16(bad)).isEmpty(), qPrintable(QString::fromUtf16(bad)));

    Fixture f;
    f.addEmployee(QStringLiteral("E1"), QStringLiteral("白班"));
    f.addEmployee(QStringLiteral("E2"), QStringLiteral("白班"), {}, {}, QStringLiteral("2024-01"));
    QVERIFY(Periods::exists(f.env.db(), MonthKey::of(QDate(2023, 12, 1)).text()));
    QVERIFY(!Periods::exists(f.env.db(), MonthKey::of(QDate(2024, 1, 1)).text()));

    // No period for the previous month, though it has rows; no month key at all:
    // nothing is written, no cursor, no gauge.
    Recorder progress;
    for (const char16_t* ym : { u"2024-02", u"", u"2024/01", u"2024-1" }) {
        const RolloverReport report = f.run(QString::fromUtf16(ym), day(2024, 2, 1), day(2024, 2, 29), &progress);
        QVERIFY(!report.ran);
    }
    QVERIFY(progress.calls.isEmpty());
    QCOMPARE(f.rows(QStringLiteral("2024-02")), 0);

    // A month key of the right shape naming no month (no such key can be
    // made), or a period without dates: refused before anything is written.
    QVERIFY(!MonthKey::parse(QStringLiteral("2024-13")));
    QVERIFY(!MonthKey::parse(QStringLiteral("2024-0x")));
    QVERIFY_THROWS_EXCEPTION(InputError, f.run(QStringLiteral("2024-01"), QDateTime(), day(2024, 1, 31)));
    QVERIFY_THROWS_EXCEPTION(InputError, f.run(QStringLiteral("2024-01"), day(2024, 1, 1), QDateTime()));
    QCOMPARE(f.rows(), 1);

    // The previous month has a period but no rows.
    f.addPeriod(QStringLiteral("2024-01"));
    f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2024-01'"));
    const RolloverReport none = f.run(QStringLiteral("2024-02"), day(2024, 2, 1), day(2024, 2, 29), &progress);
    QVERIFY(none.ran);
    QCOMPARE(none.oldRows, 0);
    QCOMPARE(progress.calls, QStringList({ QStringLiteral("busy"), QStringLiteral("finish") }));

    // 2024-01 reads 2023-12: E1 is carried over into the new month, as the key is typed.
    const RolloverReport report = f.run(QStringLiteral("2024-01"));
    QCOMPARE(report.previousYm, QStringLiteral("2023-12"));
    QCOMPARE(report.written, 1);
    QCOMPARE(f.days(QStringLiteral("E1")), repeated(QStringLiteral("白班"), 31));
}

void TestRollover::fixedShifts()
{
    Fixture f;
    f.addPeriod(QStringLiteral("2023-01"));
    f.addEmployee(QStringLiteral("F1"), QStringLiteral("白班"));
    f.addEmployee(QStringLiteral("F1"), QStringLiteral("夜班"), {}, {}, QStringLiteral("2023-01"));

    // The default period: every day of January.
    QCOMPARE(f.run().written, 1);
    QCOMPARE(f.days(QStringLiteral("F1")), repeated(QStringLiteral("白班"), 31));
    QCOMPARE(f.column(QStringLiteral("F1"), QStringLiteral("shift_id")).toString(), QStringLiteral("白班"));
    QVERIFY(f.column(QStringLiteral("F1"), QStringLiteral("start_date")).isNull());

    // February of a common year: 29 to 31 stay unset.
    f.run(QStringLiteral("2023-02"), day(2023, 2, 1), day(2023, 2, 28));
    QCOMPARE(f.days(QStringLiteral("F1"), QStringLiteral("2023-02")),
        repeated(QStringLiteral("夜班"), 28) + repeated(kNull, 3));

    // The end date moved to the 5th of the next month: days 1 to 5 only.
    f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2024-01'"));
    f.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 2, 5));
    QCOMPARE(f.days(QStringLiteral("F1")), repeated(QStringLiteral("白班"), 5) + repeated(kNull, 26));

    // An end date in a longer month than the new one writes no day the month lacks.
    f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2023-02'"));
    f.run(QStringLiteral("2023-02"), day(2023, 2, 1), day(2023, 3, 31));
    QCOMPARE(f.days(QStringLiteral("F1"), QStringLiteral("2023-02")),
        repeated(QStringLiteral("夜班"), 28) + repeated(kNull, 3));
}

void TestRollover::rotations()
{
    Fixture f;
    // Anchors with a time of day and in another case of the rule id; the
    // anchor is copied as stored.
    f.addEmployee(QStringLiteral("R1"), QStringLiteral("d3"), QStringLiteral("2023-12-30 08:15:00"));
    f.addEmployee(QStringLiteral("R2"), QStringLiteral("W1"), day(2023, 11, 1));
    f.addEmployee(QStringLiteral("R3"), QStringLiteral("M1"), day(2024, 1, 15));
    f.addEmployee(QStringLiteral("R4"), QStringLiteral("NO-SUCH-RULE"), day(2023, 6, 1));

    // Begin date moved to the 10th, end date early: days 10 to 31 are written anyway.
    const RolloverReport report = f.run(QStringLiteral("2024-01"), day(2024, 1, 10), day(2024, 1, 20));
    QCOMPARE(report.written, 4);
    QVERIFY(report.failures.isEmpty());

    // D3 from 2023-12-30: 2024-01-10 is day 11 of the rotation, slot (11 mod 3) + 1 = 3.
    const QStringList cycle = { QStringLiteral("早班"), QStringLiteral("中班"), QStringLiteral("夜班") };
    QStringList expected = repeated(kNull, 9);
    for (int d = 10; d <= 31; ++d)
        expected << cycle.at((d + 1) % 3);
    QCOMPARE(f.days(QStringLiteral("R1")), expected);
    QCOMPARE(dateOf(f.column(QStringLiteral("R1"), QStringLiteral("start_date"))),
        day(2023, 12, 30).addSecs(8 * 3600 + 900));
    if (onSqlite(f.env)) // copied as stored
        QCOMPARE(f.column(QStringLiteral("R1"), QStringLiteral("start_date")).toString(),
            QStringLiteral("2023-12-30 08:15:00"));
    QCOMPARE(f.column(QStringLiteral("R1"), QStringLiteral("shift_id")).toString(), QStringLiteral("d3"));

    // W1: Sundays and Saturdays off. 2024-01-13 is a Saturday, 2024-01-14 a Sunday.
    const QStringList week = f.days(QStringLiteral("R2"));
    QCOMPARE(week.at(12), QStringLiteral("休息"));
    QCOMPARE(week.at(13), QStringLiteral("休息"));
    QCOMPARE(week.at(14), QStringLiteral("白班"));
    QCOMPARE(week.at(8), kNull);

    // M1 anchored inside the new month: the month's own days keep their slots;
    // slot 5 exists but is empty and is written as an empty value.
    const QStringList month = f.days(QStringLiteral("R3"));
    QCOMPARE(month.at(0), kNull); // before the begin date
    QCOMPARE(month.at(10), QStringLiteral("")); // slot 11: no entry
    QCOMPARE(month.at(30), QStringLiteral("月末"));

    // An unknown rule: shift_id and start_date are written, no day column.
    QCOMPARE(f.days(QStringLiteral("R4")), repeated(kNull, 31));
    QCOMPARE(f.column(QStringLiteral("R4"), QStringLiteral("shift_id")).toString(), QStringLiteral("NO-SUCH-RULE"));
    QCOMPARE(dateOf(f.column(QStringLiteral("R4"), QStringLiteral("start_date"))), day(2023, 6, 1));

    // Days before the anchor have no code.
    f.addEmployee(QStringLiteral("R5"), QStringLiteral("D3"), day(2024, 1, 20));
    f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2024-01'"));
    f.run();
    const QStringList late = f.days(QStringLiteral("R5"));
    QCOMPARE(late.mid(0, 19), repeated(QStringLiteral(""), 19));
    QCOMPARE(late.at(19), QStringLiteral("早班"));
}

void TestRollover::failuresAreReportedAndTheRunGoesOn()
{
    Fixture f;
    f.addEmployee(QStringLiteral("A1"), QStringLiteral("白班"));
    f.addEmployee(QStringLiteral("A2"), QStringLiteral("zero"), day(2023, 12, 1));
    f.addEmployee(QStringLiteral("A3"), QStringLiteral("D3"), day(2023, 12, 1));
    f.addEmployee(QStringLiteral("A4"), QStringLiteral("白班"));
    // Only SQLite keeps a text that is no date in a date column.
    const bool badDates = onSqlite(f.env);
    if (badDates)
        f.addEmployee(QStringLiteral("A5"), QStringLiteral("D3"), QStringLiteral("not a date"));
    // The database refuses A4's row: A1 has taken its shift in the new month.
    f.env.exec(QStringLiteral("CREATE UNIQUE INDEX one_per_shift ON Scheme (shift_id) WHERE YM = '2024-01'"));

    const RolloverReport report = f.run();
    QCOMPARE(report.oldRows, badDates ? 5 : 4);
    QCOMPARE(report.written, 2);
    QCOMPARE(f.rows(), 2);
    QVERIFY(f.days(QStringLiteral("A2")).isEmpty());
    QCOMPARE(f.days(QStringLiteral("A3")).at(0), QStringLiteral("中班")); // 31 days after the anchor: slot 2
    QStringList ids;
    for (const Failure& failure : report.failures)
        ids << failure.empId;
    ids.sort();
    QStringList expected = { QStringLiteral("A2"), QStringLiteral("A4") };
    if (badDates)
        expected << QStringLiteral("A5");
    QCOMPARE(ids, expected);

    const QString message = failureMessage(report);
    QVERIFY(message.contains(QStringLiteral("%1 名员工").arg(expected.size())));
    QVERIFY(message.contains(QStringLiteral("A2：轮班规则“ZERO”的周期长度为 0")));
    QVERIFY(message.contains(QStringLiteral("A4：数据库拒绝保存")));
    if (badDates)
        QVERIFY(message.contains(QStringLiteral("A5：轮班起始日期“not a date”不是有效的日期")));
    QVERIFY(!message.contains(QStringLiteral("以及其他")));
    QVERIFY(failureMessage(RolloverReport()).isEmpty());

    // Many failures: the first twenty are named, then how many more.
    RolloverReport many;
    for (int i = 1; i <= 23; ++i)
        many.failures.append({ QStringLiteral("X%1").arg(i), QStringLiteral("原因") });
    const QString long_ = failureMessage(many);
    QVERIFY(long_.contains(QStringLiteral("23 名员工")));
    QVERIFY(long_.contains(QStringLiteral("X20：")));
    QVERIFY(!long_.contains(QStringLiteral("X21：")));
    QVERIFY(long_.contains(QStringLiteral("以及其他 3 名员工")));

    // A schedule table without a key may hold two rows of one employee: the
    // first met cannot be continued, the second is stored, and the employee
    // has a schedule, so is not listed.
    {
        Fixture h;
        h.env.exec(QStringLiteral("CREATE TABLE keyless AS SELECT * FROM Scheme WHERE 1=0"));
        h.env.exec(QStringLiteral("DROP TABLE Scheme"));
        h.env.exec(QStringLiteral("ALTER TABLE keyless RENAME TO Scheme"));
        h.addEmployee(QStringLiteral("C1"), QStringLiteral("zero"), day(2023, 12, 2));
        h.addEmployee(QStringLiteral("C1"), QStringLiteral("夜班"));
        h.addEmployee(QStringLiteral("C2"), QStringLiteral("zero"), day(2023, 12, 2));
        const RolloverReport twice = h.run();
        QCOMPARE(twice.written, 1);
        QCOMPARE(twice.failures.size(), 1);
        QCOMPARE(twice.failures.at(0).empId, QStringLiteral("C2"));
    }

    // A schedule table without the column of day 31: rows that write it are
    // refused; the others are stored.
    Fixture g;
    g.addEmployee(QStringLiteral("B1"), QStringLiteral("白班"));
    g.addEmployee(QStringLiteral("B2"), QStringLiteral("白班"), {}, {}, QStringLiteral("2023-11"));
    g.env.exec(QStringLiteral("ALTER TABLE Scheme DROP COLUMN \"31\""));
    const RolloverReport lacking = g.run();
    QCOMPARE(lacking.failures.size(), 1);
    QVERIFY(lacking.failures.at(0).reason.contains(QStringLiteral("31")));
    g.addPeriod(QStringLiteral("2023-11"));
    g.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2023-12'"));
    QCOMPARE(g.run(QStringLiteral("2023-12"), day(2023, 12, 1), day(2023, 12, 30)).written, 1);
}

void TestRollover::existingRowsAreEditedInPlace()
{
    Fixture f;
    f.addEmployee(QStringLiteral("K1"), QStringLiteral("白班"));
    f.addEmployee(QStringLiteral("K2"), QStringLiteral("D3"), day(2024, 1, 1));
    // The new month already has K1's and K2's rows, with other values.
    f.env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id, start_date, \"1\", \"31\") "
                              "VALUES ('2024-01', 'K1', 'x', '2020-01-01 00:00:00', 'x', 'x')"));
    f.env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id, \"5\") VALUES ('2024-01', 'K2', 'x', 'x')"));

    const RolloverReport report = f.run(QStringLiteral("2024-01"), day(2024, 1, 3), day(2024, 1, 20));
    QCOMPARE(report.written, 2);
    QCOMPARE(f.rows(), 2);
    // Fixed shift: days 1 to 20 rewritten, 21 to 31 and start_date kept.
    const QStringList k1 = f.days(QStringLiteral("K1"));
    QCOMPARE(k1.mid(0, 20), repeated(QStringLiteral("白班"), 20));
    QCOMPARE(k1.at(30), QStringLiteral("x"));
    QCOMPARE(dateOf(f.column(QStringLiteral("K1"), QStringLiteral("start_date"))), day(2020, 1, 1));
    // Rotation: days 1 and 2 keep their (unset) values, start_date replaced.
    const QStringList k2 = f.days(QStringLiteral("K2"));
    QCOMPARE(k2.at(0), kNull);
    QCOMPARE(k2.at(4), QStringLiteral("中班"));
    QCOMPARE(dateOf(f.column(QStringLiteral("K2"), QStringLiteral("start_date"))), day(2024, 1, 1));

    // Running again changes nothing in the count.
    f.run(QStringLiteral("2024-01"), day(2024, 1, 3), day(2024, 1, 20));
    QCOMPARE(f.rows(), 2);

    // Two old rows for one employee (a table without a key allows it): both
    // apply to one new row in query order, rotation first (start_date
    // descending), then the fixed shift, which wins where it writes.
    Fixture g;
    makeSchemeKeyless(g.env);
    g.addEmployee(QStringLiteral("T1"), QStringLiteral("白班"));
    g.addEmployee(QStringLiteral("T1"), QStringLiteral("D3"), day(2024, 1, 1));
    const RolloverReport twice = g.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 1, 20));
    QCOMPARE(twice.oldRows, 2);
    QCOMPARE(twice.written, 2);
    QCOMPARE(g.rows(), 1);
    const QStringList t1 = g.days(QStringLiteral("T1"));
    QCOMPARE(t1.mid(0, 20), repeated(QStringLiteral("白班"), 20));
    QCOMPARE(t1.at(20), QStringLiteral("夜班")); // day 21: slot (20 mod 3) + 1
    QCOMPARE(g.column(QStringLiteral("T1"), QStringLiteral("shift_id")).toString(), QStringLiteral("白班"));
    QCOMPARE(dateOf(g.column(QStringLiteral("T1"), QStringLiteral("start_date"))), day(2024, 1, 1));

    // A row of the new month that another program moves while the run goes
    // (written anew after a row of its own, so at another place than the run
    // read): still edited in place, never a second row.
    Fixture h;
    makeSchemeKeyless(h.env);
    for (const char16_t* emp : { u"M1", u"M2", u"M3" }) {
        h.addEmployee(QString::fromUtf16(emp), QStringLiteral("白班"));
        h.env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, \"31\") VALUES ('2024-01', ?, 'x')"),
            { QString::fromUtf16(emp) });
    }
    QSqlDatabase other = h.env.openConnection(QStringLiteral("other-program"));
    class Mover : public RolloverProgress
    {
    public:
        explicit Mover(QSqlDatabase db)
            : m_db(std::move(db))
        {
        }
        void advance(int position) override
        {
            if (position != 1)
                return;
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id) VALUES ('2030-01', 'Z')"));
            q.exec(QStringLiteral("DELETE FROM Scheme WHERE YM='2024-01' AND emp_id='M3'"));
            q.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, \"31\") VALUES ('2024-01', 'M3', 'moved')"));
        }

    private:
        QSqlDatabase m_db;
    } mover(other);
    const RolloverReport moved = h.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 1, 20), &mover);
    QCOMPARE(moved.written, 3);
    QCOMPARE(h.rows(), 3);
    QCOMPARE(h.days(QStringLiteral("M3")).mid(0, 20), repeated(QStringLiteral("白班"), 20));
    QCOMPARE(h.days(QStringLiteral("M3")).at(30), QStringLiteral("moved"));
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other-program"));
}

void TestRollover::leaveDates()
{
    QVERIFY(carriedOver(QDate(), day(2024, 1, 1)));
    QVERIFY(carriedOver(QDate(2024, 1, 1), day(2024, 1, 1, 9)));
    QVERIFY(!carriedOver(QDate(2023, 12, 31), day(2024, 1, 1)));

    Fixture f;
    f.addEmployee(QStringLiteral("L1"), QStringLiteral("白班"), {}, day(2023, 12, 20)); // before
    f.addEmployee(QStringLiteral("L2"), QStringLiteral("白班"), {}, day(2023, 12, 31, 18)); // the evening before
    f.addEmployee(QStringLiteral("L3"), QStringLiteral("白班"), {}, day(2024, 1, 1)); // on the first day
    f.addEmployee(QStringLiteral("L4"), QStringLiteral("白班"), {}, day(2024, 1, 15)); // during
    f.addEmployee(QStringLiteral("L5"), QStringLiteral("白班"), {}, day(2024, 3, 1)); // after
    const bool badDates = onSqlite(f.env); // only SQLite keeps these in a date column
    if (badDates) {
        f.addEmployee(QStringLiteral("L6"), QStringLiteral("白班"), {}, QStringLiteral("")); // empty text
        f.addEmployee(QStringLiteral("L7"), QStringLiteral("白班"), {}, QStringLiteral("someday"));
    }
    // A schedule without an Employee row is not carried over.
    f.env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id) VALUES ('2023-12', 'NOBODY', 'x')"));

    Recorder progress;
    const RolloverReport report = f.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 1, 31), &progress);
    const int oldRows = badDates ? 7 : 5;
    QCOMPARE(report.oldRows, oldRows);
    QCOMPARE(report.carried, badDates ? 4 : 3);
    QCOMPARE(report.written, report.carried);
    QStringList stored;
    Db::Query q(f.env.db(), QStringLiteral("SELECT emp_id FROM Scheme WHERE YM='2024-01' ORDER BY emp_id"));
    q.open();
    for (const Db::Row& row : q.rows())
        stored << row.text(QStringLiteral("emp_id"));
    QStringList expected = { QStringLiteral("L3"), QStringLiteral("L4"), QStringLiteral("L5") };
    if (badDates) {
        expected << QStringLiteral("L6");
        QCOMPARE(report.failures.size(), 1);
        QCOMPARE(report.failures.at(0).empId, QStringLiteral("L7"));
    }
    QCOMPARE(stored, expected);
    // Every old row advances the gauge, carried over or not.
    QCOMPARE(progress.advances, oldRows);
    QCOMPARE(progress.last, oldRows);
}

void TestRollover::progressAndGauge()
{
    Fixture f;
    for (int i = 1; i <= 5; ++i)
        f.addEmployee(QStringLiteral("P%1").arg(i), QStringLiteral("白班"), {}, i == 5 ? day(2023, 1, 1) : QVariant());
    QVERIFY(f.env.createDataModule());

    // The dialog's gauge and cursor, on the data module's connection.
    QWidget dialog;
    QProgressBar* gauge = new QProgressBar(&dialog);
    gauge->hide();
    dialog.show();
    QList<int> values;
    connect(gauge, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
    {
        GaugeProgress progress(gauge, 0);
        const RolloverReport report = runAutoScheme(Mainmodule::db(), *MonthKey::fromKey(QStringLiteral("2024-01")),
            day(2024, 1, 1), day(2024, 1, 31), &progress);
        QCOMPARE(report.written, 4);
        QCOMPARE(gauge->maximum(), 5);
        QCOMPARE(gauge->value(), 5);
        QVERIFY(gauge->isHidden());
        QVERIFY(gauge->updatesEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(progress.repaints() >= 2);
    }
    QCOMPARE(values, QList<int>({ 0, 1, 2, 3, 4, 5 }));

    // A second run starts again at 0 and repaints at a bounded rate.
    values.clear();
    {
        GaugeProgress progress(gauge, 60 * 1000);
        runAutoScheme(Mainmodule::db(), *MonthKey::fromKey(QStringLiteral("2024-01")), day(2024, 1, 1),
            day(2024, 1, 31), &progress);
        QCOMPARE(progress.repaints(), 2); // at the start and on the last row
    }
    QCOMPARE(values, QList<int>({ 0, 1, 2, 3, 4, 5 }));

    // An error that ends the run still hides the gauge and resets the cursor,
    // and reaches the caller; the engine calls finish() once.
    f.env.destroyDataModule();
    f.env.exec(QStringLiteral("DROP TABLE Shifts_Rule"));
    Recorder recorder;
    QVERIFY_THROWS_EXCEPTION(Db::Error, f.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 1, 31), &recorder));
    QCOMPARE(recorder.calls, QStringList({ QStringLiteral("busy"), QStringLiteral("finish") }));
    {
        GaugeProgress progress(gauge);
        QVERIFY_THROWS_EXCEPTION(Db::Error,
            runAutoScheme(f.env.db(), *MonthKey::fromKey(QStringLiteral("2024-01")), day(2024, 1, 1), day(2024, 1, 31),
                &progress));
        QVERIFY(gauge->isHidden());
        QVERIFY(!QApplication::overrideCursor());
    }
    // Old rows present, normal run: the engine's calls in order.
    Fixture g;
    g.addEmployee(QStringLiteral("Q1"), QStringLiteral("白班"));
    g.addEmployee(QStringLiteral("Q2"), QStringLiteral("白班"));
    Recorder order;
    g.run(QStringLiteral("2024-01"), day(2024, 1, 1), day(2024, 1, 31), &order);
    QCOMPARE(order.calls, QStringList({ QStringLiteral("busy"), QStringLiteral("start 2"), QStringLiteral("finish") }));
    QCOMPARE(order.advances, 2);
}

// Two workstations save the same new month at once, each on its own connection,
// on a schedule table with and without a key on (YM, emp_id): every employee
// gets one row, and neither reports an employee whose row is there as failed.
void TestRollover::twoWorkstationsRollTheSameMonth()
{
    const int employees = 400;
    for (const bool keyed : { true, false }) {
        Fixture f;
        if (!keyed)
            makeSchemeKeyless(f.env);
        if (onSqlite(f.env)) // as the data module opens the file
            f.env.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        f.env.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < employees; ++i) {
            const QString emp = QStringLiteral("W%1").arg(i, 4, 10, QLatin1Char('0'));
            if (i % 2)
                f.addEmployee(emp, QStringLiteral("D3"), day(2023, 12, 1));
            else
                f.addEmployee(emp, QStringLiteral("白班"));
        }
        f.env.exec(QStringLiteral("COMMIT"));

        struct Workstation
        {
            QString name;
            RolloverReport report;
            QString error;
        };
        Workstation stations[] = { { QStringLiteral("ws-a"), {}, {} }, { QStringLiteral("ws-b"), {}, {} } };
        std::latch together(2);
        QList<QThread*> threads;
        for (Workstation& w : stations) {
            QSqlDatabase db = f.env.openConnection(w.name);
            QThread* thread = QThread::create([&w, db, &together, main = QThread::currentThread()] {
                together.arrive_and_wait();
                try {
                    w.report = runAutoScheme(
                        db, *MonthKey::fromKey(QStringLiteral("2024-01")), day(2024, 1, 1), day(2024, 1, 31));
                } catch (const std::exception& e) {
                    w.error = QString::fromUtf8(e.what());
                }
                db.driver()->moveToThread(main);
            });
            db.driver()->moveToThread(thread);
            threads << thread;
        }
        for (QThread* t : threads)
            t->start();
        for (QThread* t : threads) {
            QVERIFY(t->wait(120 * 1000));
            delete t;
        }
        for (const Workstation& w : stations) {
            QSqlDatabase::removeDatabase(w.name);
            QVERIFY2(w.error.isEmpty(), qPrintable(w.error));
            QVERIFY2(w.report.failures.isEmpty(), qPrintable(failureMessage(w.report)));
            QCOMPARE(w.report.written, employees);
        }
        QCOMPARE(f.rows(), employees);
        QCOMPARE(f.env.scalar(QStringLiteral("SELECT count(DISTINCT emp_id) FROM Scheme WHERE YM='2024-01'")).toInt(),
            employees);
        QCOMPARE(f.days(QStringLiteral("W0000")), repeated(QStringLiteral("白班"), 31));
        QCOMPARE(f.days(QStringLiteral("W0001")).at(0), QStringLiteral("中班")); // 31 days after the anchor
    }
}

// Another workstation keeps the month (SQLite: a write of the file in
// progress; PostgreSQL: a roll-over of the month) for longer than a run waits:
// the run ends with one message that says so, the operator saw the wait
// meanwhile, nothing was stored. Once the month is free it is written, the
// session's lock timeout is as it was and no lock of the month is left behind.
void TestRollover::aMonthHeldTooLongEndsTheRun()
{
    const int giveUp = Db::Scheme::giveUpMs;
    const auto restore = qScopeGuard([giveUp] { Db::Scheme::giveUpMs = giveUp; });
    Db::Scheme::giveUpMs = 300;
    const QString ym = QStringLiteral("2024-01");
    for (const bool keyed : { true, false }) {
        Fixture f;
        if (!keyed)
            makeSchemeKeyless(f.env);
        for (int i = 0; i < 5; ++i)
            f.addEmployee(QStringLiteral("H%1").arg(i), QStringLiteral("白班"));
        const bool sqlite = onSqlite(f.env);
        const QString name = QStringLiteral("other-workstation");
        {
            QSqlDatabase other = f.env.openConnection(name);
            std::unique_ptr<Db::SchemeWriter> holder;
            if (sqlite)
                QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
            else
                holder = Db::SchemeWriter::open(other, ym, [](const QString&, const QString&) {});

            Recorder progress;
            QElapsedTimer took;
            took.start();
            QString message;
            try {
                f.run(ym, day(2024, 1, 1), day(2024, 1, 31), &progress);
            } catch (const Db::Error& e) {
                message = QString::fromUtf8(e.what());
            }
            QVERIFY2(message.contains(QStringLiteral("一直被其他工作站占用")), qPrintable(message));
            QVERIFY2(took.elapsed() < 30 * 1000, qPrintable(QString::number(took.elapsed())));
            QVERIFY(progress.waits > 0);
            QCOMPARE(progress.calls.last(), QStringLiteral("finish"));
            QCOMPARE(f.rows(), 0);

            if (sqlite)
                QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));
            holder.reset();
            const RolloverReport again = f.run();
            QVERIFY2(again.failures.isEmpty(), qPrintable(failureMessage(again)));
            QCOMPARE(again.written, 5);
            QCOMPARE(f.rows(), 5);
            if (!sqlite) {
                QCOMPARE(f.env.scalar(QStringLiteral("SHOW lock_timeout")).toString(), QStringLiteral("0"));
                holder = Db::SchemeWriter::open(other, ym, [](const QString&, const QString&) {});
                holder.reset();
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
}

// The database itself stops taking rows part-way (SQLite: the file may grow no
// further; PostgreSQL: the session takes no writes): the run ends at once with
// one message that says so and what to do, not a list of every employee; the
// rows stored so far stay, and a second run completes the month, one row each.
void TestRollover::aDatabaseThatCannotStoreEndsTheRunOnce()
{
    const int employees = 300;
    for (const bool keyed : { true, false }) {
        Fixture f;
        if (!keyed)
            makeSchemeKeyless(f.env);
        f.env.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < employees; ++i)
            f.addEmployee(QStringLiteral("F%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("白班"));
        f.env.exec(QStringLiteral("COMMIT"));
        const bool sqlite = onSqlite(f.env);
        if (sqlite)
            f.env.exec(QStringLiteral("PRAGMA max_page_count=%1")
                           .arg(f.env.scalar(QStringLiteral("PRAGMA page_count")).toInt() + 4));
        else
            f.env.exec(QStringLiteral("SET default_transaction_read_only = on"));

        QString message;
        try {
            f.run();
        } catch (const Db::Error& e) {
            QCOMPARE(e.kind(), Db::Error::Kind::StorageFailed);
            message = QString::fromUtf8(e.what());
        }
        QVERIFY2(!message.isEmpty(), "the run reported success");
        if (sqlite) {
            QVERIFY2(message.contains(QStringLiteral("磁盘已满")), qPrintable(message));
            QVERIFY2(message.contains(QDir::toNativeSeparators(QFileInfo(f.env.db().databaseName()).absolutePath())),
                qPrintable(message));
            const int stored = f.rows();
            QVERIFY2(stored > 0 && stored < employees, qPrintable(QString::number(stored)));
            f.env.exec(QStringLiteral("PRAGMA max_page_count=1000000"));
        } else {
            QVERIFY2(message.contains(QStringLiteral("只允许读取")), qPrintable(message));
            f.env.exec(QStringLiteral("RESET default_transaction_read_only"));
        }
        QVERIFY2(message.contains(QStringLiteral("再次保存")), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("名员工")), qPrintable(message));

        const RolloverReport again = f.run();
        QVERIFY2(again.failures.isEmpty(), qPrintable(failureMessage(again)));
        QCOMPARE(again.written, employees);
        QCOMPARE(f.rows(), employees);
        QCOMPARE(f.env.scalar(QStringLiteral("SELECT count(DISTINCT emp_id) FROM Scheme WHERE YM='2024-01'")).toInt(),
            employees);
    }
}

// Rows go to the database in batches. A row is reported stored only once
// another connection sees it; a refusal that takes the whole transaction with
// it (SQLite: a trigger's RAISE(ROLLBACK)) costs that row alone. On SQLite the
// workstations take turns through a file beside the database: a workstation
// that keeps its turn too long ends the run with the message of a file held
// too long, and where that file cannot be had the rows are still saved.
void TestRollover::rowsAreSavedInBatchesAndInTurn()
{
    const int employees = 300;
    const QString ym = QStringLiteral("2024-01");
    for (const bool keyed : { true, false }) {
        Fixture f;
        if (!keyed)
            makeSchemeKeyless(f.env);
        const bool sqlite = onSqlite(f.env);
        QSqlDatabase other = f.env.openConnection(QStringLiteral("reader"));
        QStringList reported;
        int unseen = 0;
        {
            const auto writer = Db::SchemeWriter::open(f.env.db(), ym, [&](const QString& emp, const QString& refusal) {
                QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
                reported << emp;
                QSqlQuery q(other);
                q.prepare(QStringLiteral("SELECT count(*) FROM Scheme WHERE YM=? AND emp_id=?"));
                q.addBindValue(ym);
                q.addBindValue(emp);
                if (!q.exec() || !q.next() || q.value(0).toInt() != 1)
                    ++unseen;
            });
            Db::SchemeRow row;
            row.shiftId = QStringLiteral("白班");
            row.days = quint64(1) << 1;
            row.codes[1] = row.shiftId;
            for (int i = 0; i < employees; ++i) {
                row.empId = QStringLiteral("B%1").arg(i, 3, 10, QLatin1Char('0'));
                writer->write(row);
            }
            writer->finish();
        }
        QCOMPARE(unseen, 0);
        QCOMPARE(reported.size(), employees);
        QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        if (!sqlite)
            continue;

        f.addEmployee(QStringLiteral("R1"), QStringLiteral("白班"));
        f.addEmployee(QStringLiteral("R2"), QStringLiteral("白班"));
        f.addEmployee(QStringLiteral("R3"), QStringLiteral("白班"));
        f.env.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Scheme WHEN NEW.emp_id = 'R2' "
                                  "BEGIN SELECT RAISE(ROLLBACK, 'R2 refused'); END"));
        const RolloverReport refused = f.run();
        QCOMPARE(refused.written, 2);
        QCOMPARE(refused.failures.size(), 1);
        QCOMPARE(refused.failures.at(0).empId, QStringLiteral("R2"));
        QCOMPARE(f.days(QStringLiteral("R1")).at(0), QStringLiteral("白班"));
        QCOMPARE(f.days(QStringLiteral("R3")).at(0), QStringLiteral("白班"));
        f.env.exec(QStringLiteral("DROP TRIGGER refuse"));

        // Another workstation keeps its turn.
        const int giveUp = Db::Scheme::giveUpMs;
        const auto restore = qScopeGuard([giveUp] { Db::Scheme::giveUpMs = giveUp; });
        Db::Scheme::giveUpMs = 300;
        const QByteArray turns = QFile::encodeName(f.env.db().databaseName()) + "-writers";
        const int holder = ::open(turns.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        struct flock turn {};
        turn.l_type = F_WRLCK;
        turn.l_whence = SEEK_SET;
        turn.l_len = 1;
        QCOMPARE(::fcntl(holder, F_OFD_SETLK, &turn), 0);
        f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM=?"), { ym });
        Recorder progress;
        QString message;
        try {
            f.run(ym, day(2024, 1, 1), day(2024, 1, 31), &progress);
        } catch (const Db::Error& e) {
            message = QString::fromUtf8(e.what());
        }
        QVERIFY2(message.contains(QStringLiteral("一直被其他工作站占用")), qPrintable(message));
        QVERIFY(progress.waits > 0);
        QCOMPARE(f.rows(), 0);
        ::close(holder);
        QCOMPARE(f.run().written, 3);

        // No file for the turns: the rows are saved all the same.
        f.env.exec(QStringLiteral("DELETE FROM Scheme WHERE YM=?"), { ym });
        QVERIFY(QFile::remove(QFile::decodeName(turns)));
        QVERIFY(QDir().mkdir(QFile::decodeName(turns)));
        QCOMPARE(f.run().written, 3);
        QCOMPARE(f.rows(), 3);
    }
}

QTEST_MAIN(TestRollover)
#include "tst_rollover.moc"
