// The schedule roll-over against what writing its rows costs at the least.
//
// For N employees (half fixed shifts, half rotations over "day", "week" and
// "month" rules) each repetition times, on one SQLite database opened as the
// data module opens it (WAL, synchronous=NORMAL):
//   run     the whole roll-over of 2024-12 into 2025-01;
//   floorA  the same new-month rows inserted one by one, each committed on its own;
//   floorB  the same rows inserted by one prepared INSERT inside one transaction.
// The reported time is the run's; the counters give both floors, the ratios
// run/floorA and run/floorB of wall-clock time and of this thread's CPU time,
// and the heap the run takes beyond what was in use before it (peak, sampled
// while it works), per employee.
#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/Schema.h"
#include "periods/Rollover.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const QString kOldYm = QStringLiteral("2024-12");
const QString kNewYm = QStringLiteral("2025-01");

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void exec(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw std::runtime_error(q.lastError().text().toStdString());
}

// Samples the heap while the run works.
class HeapProbe : public Rollover::RolloverProgress
{
public:
    void busy() override { sample(); }
    void start(int) override { sample(); }
    void advance(int position) override
    {
        if (position % 64 == 0)
            sample();
    }
    void finish() override { sample(); }
    void sample() { peak = std::max(peak, heapInUse()); }

    size_t peak = 0;
};

class Fixture
{
public:
    explicit Fixture(int employees)
        : m_connection(QStringLiteral("bench-%1").arg(employees))
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary directory");
        const QString file = m_dir.filePath(QStringLiteral("Kolvane.mdb"));
        {
            QSqlDatabase setup = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-setup"));
            setup.setDatabaseName(file);
            if (!setup.open())
                throw std::runtime_error("cannot create the database");
            fill(setup, employees);
            setup.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-setup"));

        Mainmodule::ConnectionSettings settings;
        settings.driver = QStringLiteral("QSQLITE");
        settings.file = file;
        const QString message = Mainmodule::openConnection(settings, m_connection);
        if (!message.isEmpty())
            throw std::runtime_error(message.toStdString());
    }
    ~Fixture() { QSqlDatabase::removeDatabase(m_connection); }

    QSqlDatabase db() const { return QSqlDatabase::database(m_connection, false); }

    void clearNewMonth()
    {
        exec(db(), QStringLiteral("DELETE FROM Scheme WHERE YM='%1'").arg(kNewYm));
        exec(db(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }

    std::vector<QVariantList> newMonthRows(QStringList& columns)
    {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        // In the order the run wrote them: the order of last month's rows.
        if (!q.exec(QStringLiteral("SELECT * FROM Scheme WHERE YM='%1' ORDER BY start_date DESC, emp_id").arg(kNewYm)))
            throw std::runtime_error(q.lastError().text().toStdString());
        const QSqlRecord record = q.record();
        columns.clear();
        for (int i = 0; i < record.count(); ++i)
            columns << record.fieldName(i);
        std::vector<QVariantList> rows;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < record.count(); ++i)
                row << q.value(i);
            rows.push_back(row);
        }
        return rows;
    }

    // Inserts the rows with one prepared statement; inside one transaction or
    // each committed on its own.
    void insertRows(const QStringList& columns, const std::vector<QVariantList>& rows, bool oneTransaction)
    {
        QSqlDatabase database = db();
        QStringList names;
        for (const QString& c : columns)
            names << database.driver()->escapeIdentifier(c, QSqlDriver::FieldName);
        QStringList markers;
        markers.fill(QStringLiteral("?"), columns.size());
        QSqlQuery q(database);
        if (!q.prepare(QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2)")
                           .arg(names.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")))))
            throw std::runtime_error(q.lastError().text().toStdString());
        if (oneTransaction && !database.transaction())
            throw std::runtime_error("no transaction");
        for (const QVariantList& row : rows) {
            for (int i = 0; i < row.size(); ++i)
                q.bindValue(i, row.at(i));
            if (!q.exec())
                throw std::runtime_error(q.lastError().text().toStdString());
        }
        if (oneTransaction && !database.commit())
            throw std::runtime_error("commit failed");
    }

private:
    static void fill(const QSqlDatabase& db, int employees)
    {
        exec(db, QStringLiteral("BEGIN"));
        Schema::create(db);
        exec(db,
            QStringLiteral("INSERT INTO Accounts (ym, account_name, begin_date, end_date) VALUES "
                           "('%1', '%1月帐套', '2024-12-01 00:00:00', '2024-12-31 00:00:00')")
                .arg(kOldYm));
        QStringList week;
        for (int slot = 1; slot <= 14; ++slot)
            week << QStringLiteral("%1=%2").arg(slot).arg(
                slot % 7 <= 1 ? QStringLiteral("休息") : QStringLiteral("白班"));
        QStringList month;
        for (int slot = 1; slot <= 62; ++slot)
            month << QStringLiteral("%1=%2").arg(slot).arg(
                slot <= 31 ? QStringLiteral("早班") : QStringLiteral("夜班"));
        const QString rules[][3] = {
            { QStringLiteral("R-DAY3"), QStringLiteral("3"), QStringLiteral("day") },
            { QStringLiteral("R-WEEK2"), QStringLiteral("2"), QStringLiteral("week") },
            { QStringLiteral("R-MONTH2"), QStringLiteral("2"), QStringLiteral("month") },
        };
        const QString slots[] = { QStringLiteral("1=早班\r\n2=中班\r\n3=夜班"), week.join(QStringLiteral("\r\n")),
            month.join(QStringLiteral("\r\n")) };
        for (int i = 0; i < 3; ++i) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral(
                "INSERT INTO Shifts_Rule (shift_id, shifts_cyc, shifts_cyc_unit, shifts) VALUES (?,?,?,?)"));
            q.addBindValue(rules[i][0]);
            q.addBindValue(rules[i][1].toInt());
            q.addBindValue(rules[i][2]);
            q.addBindValue(slots[i]);
            if (!q.exec())
                throw std::runtime_error(q.lastError().text().toStdString());
        }

        QSqlQuery employee(db);
        employee.prepare(QStringLiteral("INSERT INTO Employee (emp_id, emp_name) VALUES (?, ?)"));
        QStringList columns = { QStringLiteral("YM"), QStringLiteral("emp_id"), QStringLiteral("shift_id"),
            QStringLiteral("start_date") };
        QStringList markers = { QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?") };
        for (int d = 1; d <= 31; ++d) {
            columns << db.driver()->escapeIdentifier(QString::number(d), QSqlDriver::FieldName);
            markers << QStringLiteral("?");
        }
        QSqlQuery scheme(db);
        scheme.prepare(QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2)")
                           .arg(columns.join(QStringLiteral(", ")), markers.join(QStringLiteral(", "))));
        const QString fixed[] = { QStringLiteral("白班"), QStringLiteral("早班"), QStringLiteral("中班") };
        for (int i = 0; i < employees; ++i) {
            const QString emp = QStringLiteral("E%1").arg(i, 7, 10, QLatin1Char('0'));
            employee.bindValue(0, emp);
            employee.bindValue(1, QStringLiteral("员工%1").arg(i));
            if (!employee.exec())
                throw std::runtime_error(employee.lastError().text().toStdString());
            scheme.bindValue(0, kOldYm);
            scheme.bindValue(1, emp);
            QString code;
            if (i % 2 == 0) {
                code = fixed[(i / 2) % 3];
                scheme.bindValue(2, code);
                scheme.bindValue(3, QVariant());
            } else {
                code = QStringLiteral("早班");
                scheme.bindValue(2, rules[(i / 2) % 3][0]);
                scheme.bindValue(3, Db::dateTimeText(QDate(2024, 1 + i % 12, 1 + i % 28).startOfDay()));
            }
            for (int d = 1; d <= 31; ++d)
                scheme.bindValue(3 + d, code);
            if (!scheme.exec())
                throw std::runtime_error(scheme.lastError().text().toStdString());
        }
        exec(db, QStringLiteral("COMMIT"));
    }

    QTemporaryDir m_dir;
    QString m_connection;
};

Fixture& fixture(int employees)
{
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& slot = fixtures[employees];
    if (!slot) {
        slot = std::make_unique<Fixture>(employees);
        // One untimed run first, so that every repetition finds the caches of
        // the engine and of the file system in the same state.
        Rollover::runAutoScheme(slot->db(), *MonthKey::fromKey(kNewYm), QDateTime(QDate(2025, 1, 1), QTime(0, 0)),
            QDateTime(QDate(2025, 1, 31), QTime(0, 0)));
    }
    return *slot;
}

// Wall-clock and CPU time of one timed part. The machine may be shared: the
// CPU time of this thread (user and system) does not count waiting for a core.
class Stopwatch
{
public:
    Stopwatch() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = cpuNow();
    }
    double wall() const { return double(m_wall.nsecsElapsed()) / 1e9; }
    double cpu() const { return cpuNow() - m_cpu; }

private:
    static double cpuNow()
    {
        timespec ts {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

void BM_Rollover(benchmark::State& state)
{
    const int employees = static_cast<int>(state.range(0));
    Fixture& f = fixture(employees);
    for (auto _ : state) {
        f.clearNewMonth();
        HeapProbe probe;
        const size_t before = heapInUse();
        Stopwatch timer;
        const Rollover::RolloverReport report = Rollover::runAutoScheme(f.db(), *MonthKey::fromKey(kNewYm),
            QDateTime(QDate(2025, 1, 1), QTime(0, 0)), QDateTime(QDate(2025, 1, 31), QTime(0, 0)), &probe);
        const double run = timer.wall();
        const double runCpu = timer.cpu();
        if (report.written != employees || !report.failures.isEmpty()) {
            state.SkipWithError("the run did not write every employee");
            return;
        }

        QStringList columns;
        const std::vector<QVariantList> rows = f.newMonthRows(columns);
        f.clearNewMonth();
        timer.restart();
        f.insertRows(columns, rows, false);
        const double floorA = timer.wall();
        const double floorACpu = timer.cpu();
        f.clearNewMonth();
        timer.restart();
        f.insertRows(columns, rows, true);
        const double floorB = timer.wall();
        const double floorBCpu = timer.cpu();

        state.SetIterationTime(run);
        state.counters["floorA_s"] = floorA;
        state.counters["floorB_s"] = floorB;
        state.counters["run/floorA"] = run / floorA;
        state.counters["run/floorB"] = run / floorB;
        state.counters["cpu:run/floorA"] = runCpu / floorACpu;
        state.counters["cpu:run/floorB"] = runCpu / floorBCpu;
        state.counters["heap_B/emp"] = double(probe.peak > before ? probe.peak - before : 0) / employees;
    }
}

double minOf(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

double maxOf(const std::vector<double>& v)
{
    return *std::max_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_Rollover)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", minOf)
    ->ComputeStatistics("max", maxOf)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
