// The schedule roll-over against what writing its rows costs at the least.
//
// For N employees (half fixed shifts, half rotations over "day", "week" and
// "month" rules), the roll-over of 2024-12 into 2025-01:
//
// Each runs on two schemas (the second argument): the project's own, with a
// unique key on Scheme (YM, emp_id), and the suite's bare table list, as other
// tools of the suite and imported databases have it: no key, no index, and
// other column types (1).
//
// BM_RolloverSqlite: on one SQLite file opened as the data module opens it
// (WAL, synchronous=NORMAL). The time is the run's; the floor is the same
// new-month rows inserted one by one through sqlite3 itself, each committed on
// its own, on the same connection; run/floor is their ratio. Each is timed up
// to the checkpoint that copies its pages from the log into the file. heap_B/emp: the
// heap the run takes beyond what was in use before it (peak while it works).
//
// BM_RolloverSqliteProcesses: N workstation programs (this program, started
// again as N processes, each with its own connection and the roll-over's
// progress callback) save the same month on one file at once, against the
// same N saves one after the other; together/one-by-one is their ratio,
// alone_s the first save alone.
//
// BM_RolloverServer (needs KOLVANE_BENCH_PG, a libpq connection text of a
// server where a database may be created): the same run on PostgreSQL over
// loopback and through a relay that adds 2.5 ms each way (5 ms round trip).
// The time is the relayed run's; pg-5ms/pg-loopback is the ratio of the two,
// copy_s the floor of one COPY of the same rows over loopback.
#include "bench/DelayRelay.h"
#include "bench/PgCopy.h"
#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/Schema.h"
#include "periods/Rollover.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
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

int scalar(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        throw std::runtime_error(q.lastError().text().toStdString());
    return q.value(0).toInt();
}

Rollover::RolloverReport rollOver(const QSqlDatabase& db, Rollover::RolloverProgress* progress = nullptr)
{
    return Rollover::runAutoScheme(db, *MonthKey::fromKey(kNewYm), QDateTime(QDate(2025, 1, 1), QTime(0, 0)),
        QDateTime(QDate(2025, 1, 31), QTime(0, 0)), progress);
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

// Wall-clock and CPU time of one timed part.
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

// The suite's tables with neither keys nor indexes, and types as a plain tool
// writes them.
void createBare(const QSqlDatabase& db)
{
    const bool pg = Db::engineOf(db) == Db::Engine::PostgreSQL;
    const QString dateTime = pg ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME");
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << db.driver()->escapeIdentifier(QString::number(d), QSqlDriver::FieldName) + QStringLiteral(" TEXT");
    for (const QString& sql :
        { QStringLiteral("CREATE TABLE Users (User_id TEXT, username TEXT, password TEXT, isNew SMALLINT, "
                         "IsStop SMALLINT, Access TEXT)"),
            QStringLiteral("CREATE TABLE Accounts (ym CHAR(7), account_name TEXT, begin_date %1, end_date %1)")
                .arg(dateTime),
            QStringLiteral("CREATE TABLE Employee (emp_id TEXT, emp_name TEXT, leave_date %1)").arg(dateTime),
            QStringLiteral("CREATE TABLE Shifts_Rule (shift_id TEXT, shifts_cyc INTEGER, shifts_cyc_unit TEXT, "
                           "shifts TEXT)"),
            QStringLiteral("CREATE TABLE Scheme (YM CHAR(7), emp_id TEXT, shift_id TEXT, start_date %1, %2)")
                .arg(dateTime, days.join(QStringLiteral(", "))),
            QStringLiteral("CREATE TABLE OpLog (opTime %1, BeWrite TEXT, opUser TEXT, opComPuter TEXT)")
                .arg(dateTime) })
        exec(db, sql);
}

// Last month's period, three rules, N employees and their rows.
void fill(const QSqlDatabase& db, int employees, bool bare)
{
    exec(db, QStringLiteral("BEGIN"));
    if (bare)
        createBare(db);
    else
        Schema::create(db);
    exec(db,
        QStringLiteral("INSERT INTO Accounts (ym, account_name, begin_date, end_date) VALUES "
                       "('%1', '%1月帐套', '2024-12-01 00:00:00', '2024-12-31 00:00:00')")
            .arg(kOldYm));
    QStringList week;
    for (int slot = 1; slot <= 14; ++slot)
        week << QStringLiteral("%1=%2").arg(slot).arg(slot % 7 <= 1 ? QStringLiteral("休息") : QStringLiteral("白班"));
    QStringList month;
    for (int slot = 1; slot <= 62; ++slot)
        month << QStringLiteral("%1=%2").arg(slot).arg(slot <= 31 ? QStringLiteral("早班") : QStringLiteral("夜班"));
    const QString rules[][3] = {
        { QStringLiteral("R-DAY3"), QStringLiteral("3"), QStringLiteral("day") },
        { QStringLiteral("R-WEEK2"), QStringLiteral("2"), QStringLiteral("week") },
        { QStringLiteral("R-MONTH2"), QStringLiteral("2"), QStringLiteral("month") },
    };
    const QString slots[] = { QStringLiteral("1=早班\r\n2=中班\r\n3=夜班"), week.join(QStringLiteral("\r\n")),
        month.join(QStringLiteral("\r\n")) };
    for (int i = 0; i < 3; ++i) {
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("INSERT INTO Shifts_Rule (shift_id, shifts_cyc, shifts_cyc_unit, shifts) VALUES (?,?,?,?)"));
        q.addBindValue(rules[i][0]);
        q.addBindValue(rules[i][1].toInt());
        q.addBindValue(rules[i][2]);
        q.addBindValue(slots[i]);
        if (!q.exec())
            throw std::runtime_error(q.lastError().text().toStdString());
    }

    QSqlQuery employee(db);
    employee.prepare(QStringLiteral("INSERT INTO Employee (emp_id, emp_name) VALUES (?, ?)"));
    QStringList columns
        = { QStringLiteral("YM"), QStringLiteral("emp_id"), QStringLiteral("shift_id"), QStringLiteral("start_date") };
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

// The new month's rows as the run wrote them, as text (null stays null), in
// the order of last month's rows.
struct Rows
{
    QStringList columns; // quoted for a statement
    std::vector<std::vector<QByteArray>> values;
};

Rows newMonthRows(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql
        = QStringLiteral("SELECT * FROM Scheme S WHERE YM='%1' "
                         "ORDER BY CASE WHEN S.start_date IS NULL THEN 1 ELSE 0 END, S.start_date DESC, emp_id")
              .arg(kNewYm);
    if (!q.exec(sql))
        throw std::runtime_error(q.lastError().text().toStdString());
    Rows rows;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        rows.columns << db.driver()->escapeIdentifier(record.fieldName(i), QSqlDriver::FieldName);
    while (q.next()) {
        std::vector<QByteArray> row;
        for (int i = 0; i < record.count(); ++i) {
            const QVariant v = q.value(i);
            row.push_back(v.isNull() ? QByteArray() : Db::toDbValue(v).toString().toUtf8());
        }
        rows.values.push_back(std::move(row));
    }
    return rows;
}

template <typename Handle> Handle* handleOf(const QSqlDatabase& db, const char* type)
{
    const QVariant h = db.driver()->handle();
    if (qstrcmp(h.typeName(), type) != 0)
        throw std::runtime_error("not the expected driver");
    return *static_cast<Handle* const*>(h.constData());
}

// The floor on SQLite: one prepared INSERT through sqlite3, each row committed on its own.
void insertDirectly(const QSqlDatabase& db, const Rows& rows)
{
    sqlite3* handle = handleOf<sqlite3>(db, "sqlite3*");
    QStringList markers;
    markers.fill(QStringLiteral("?"), rows.columns.size());
    const QByteArray sql = QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2)")
                               .arg(rows.columns.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")))
                               .toUtf8();
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(handle, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(handle));
    for (const auto& row : rows.values) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (row[i].isNull())
                sqlite3_bind_null(insert, int(i) + 1);
            else
                sqlite3_bind_text(insert, int(i) + 1, row[i].constData(), int(row[i].size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            throw std::runtime_error(sqlite3_errmsg(handle));
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

// The floor on PostgreSQL: one COPY of all rows.
void copyRows(const QSqlDatabase& db, const Rows& rows)
{
    QByteArray data;
    for (const auto& row : rows.values) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i)
                data += '\t';
            data += row[i].isNull() ? QByteArray("\\N") : row[i];
        }
        data += '\n';
    }
    copyText(handleOf<PGconn>(db, "pg_conn*"),
        QStringLiteral("COPY Scheme (%1) FROM STDIN").arg(rows.columns.join(u',')).toUtf8(), data);
}

class SqliteFixture
{
public:
    SqliteFixture(int employees, bool bare)
        : m_connection(QStringLiteral("bench-sqlite-%1-%2").arg(employees).arg(bare))
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary directory");
        const QString file = m_dir.filePath(QStringLiteral("Kolvane.mdb"));
        {
            QSqlDatabase setup = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-setup"));
            setup.setDatabaseName(file);
            if (!setup.open())
                throw std::runtime_error("cannot create the database");
            fill(setup, employees, bare);
            setup.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-setup"));

        Mainmodule::ConnectionSettings settings;
        settings.driver = QStringLiteral("QSQLITE");
        settings.file = file;
        Mainmodule::openConnection(settings, m_connection);
        // One untimed run first, so that every repetition finds the caches of
        // the engine and of the file system in the same state; its rows are
        // what the floor writes.
        rollOver(db());
        rows = newMonthRows(db());
    }
    ~SqliteFixture() { QSqlDatabase::removeDatabase(m_connection); }

    QSqlDatabase db() const { return QSqlDatabase::database(m_connection, false); }
    QString file() const { return m_dir.filePath(QStringLiteral("Kolvane.mdb")); }

    void clearNewMonth()
    {
        exec(db(), QStringLiteral("DELETE FROM Scheme WHERE YM='%1'").arg(kNewYm));
        exec(db(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    // The pages a run wrote, copied from the log into the file as the next
    // checkpoint would: a run of 100,000 rows passes several automatic
    // checkpoints, a run of 10,000 none, and each must pay for its own.
    void writeHome() { exec(db(), QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")); }

    Rows rows;
    int repetitions = 0;

private:
    QTemporaryDir m_dir;
    QString m_connection;
};

// A database of its own on the server, reached over loopback and through the relay.
class ServerFixture
{
public:
    ServerFixture(const QString& server, int employees, bool bare)
        : m_name(QStringLiteral("kolvane_bench_%1_%2").arg(employees).arg(bare))
    {
        m_settings = Mainmodule::serverSettings(server);
        {
            Mainmodule::ConnectionSettings admin = m_settings;
            admin.database = QStringLiteral("postgres");
            Mainmodule::openConnection(admin, QStringLiteral("bench-admin"), false);
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench-admin"), false);
            exec(db, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name));
            exec(db, QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8' TEMPLATE template0").arg(m_name));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
        m_settings.database = m_name;
        open(m_settings, loopbackName());
        fill(loopback(), employees, bare);
        exec(loopback(), QStringLiteral("VACUUM ANALYZE"));

        m_relay
            = std::make_unique<DelayRelay>(m_settings.host.isEmpty() ? QStringLiteral("127.0.0.1") : m_settings.host,
                m_settings.port > 0 ? m_settings.port : 5432);
        Mainmodule::ConnectionSettings relayed = m_settings;
        relayed.host = QStringLiteral("127.0.0.1");
        relayed.port = m_relay->port();
        open(relayed, relayName());
        rollOver(loopback());
    }
    ~ServerFixture()
    {
        QSqlDatabase::removeDatabase(loopbackName());
        QSqlDatabase::removeDatabase(relayName());
    }

    QSqlDatabase loopback() const { return QSqlDatabase::database(loopbackName(), false); }
    QSqlDatabase relayed() const { return QSqlDatabase::database(relayName(), false); }

    void clearNewMonth()
    {
        exec(loopback(), QStringLiteral("DELETE FROM Scheme WHERE YM='%1'").arg(kNewYm));
        exec(loopback(), QStringLiteral("VACUUM Scheme"));
    }

private:
    QString loopbackName() const { return m_name + QStringLiteral("-loopback"); }
    QString relayName() const { return m_name + QStringLiteral("-relay"); }
    static void open(const Mainmodule::ConnectionSettings& settings, const QString& name)
    {
        Mainmodule::openConnection(settings, name, false);
    }

    QString m_name;
    Mainmodule::ConnectionSettings m_settings;
    std::unique_ptr<DelayRelay> m_relay;
};

// Fixtures live from their first benchmark to the end of main(), while Qt's
// SQL drivers are still there.
template <typename Fixture> std::map<std::pair<int, bool>, std::unique_ptr<Fixture>>& fixtures()
{
    static std::map<std::pair<int, bool>, std::unique_ptr<Fixture>> all;
    return all;
}

// The fixture of a benchmark's arguments (employees, bare schema); one at a
// time, so that a large one does not keep its memory through the next.
template <typename Fixture, typename... Args> Fixture& fixture(const benchmark::State& state, Args... args)
{
    const std::pair<int, bool> key { static_cast<int>(state.range(0)), state.range(1) != 0 };
    auto& all = fixtures<Fixture>();
    for (auto it = all.begin(); it != all.end();)
        it = it->first == key ? std::next(it) : all.erase(it);
    auto& slot = all[key];
    if (!slot)
        slot = std::make_unique<Fixture>(args..., key.first, key.second);
    return *slot;
}

bool wroteAll(benchmark::State& state, const Rollover::RolloverReport& report, int employees)
{
    if (report.written == employees && report.failures.isEmpty())
        return true;
    state.SkipWithError("the run did not write every employee");
    return false;
}

void BM_RolloverSqlite(benchmark::State& state)
{
    const int employees = static_cast<int>(state.range(0));
    SqliteFixture& f = fixture<SqliteFixture>(state);
    for (auto _ : state) {
        // The floor goes first in every other repetition, so that a machine
        // busy with something else weighs on both alike.
        const bool floorFirst = f.repetitions++ % 2 == 1;
        double floor = 0;
        double floorCpu = 0;
        const auto measureFloor = [&] {
            f.clearNewMonth();
            Stopwatch timer;
            insertDirectly(f.db(), f.rows);
            f.writeHome();
            floor = timer.wall();
            floorCpu = timer.cpu();
        };
        if (floorFirst)
            measureFloor();
        f.clearNewMonth();
        HeapProbe probe;
        const size_t before = heapInUse();
        Stopwatch timer;
        const Rollover::RolloverReport report = rollOver(f.db(), &probe);
        f.writeHome();
        const double run = timer.wall();
        const double runCpu = timer.cpu();
        if (!wroteAll(state, report, employees))
            return;
        if (!floorFirst)
            measureFloor();

        state.SetIterationTime(run);
        state.counters["floor_s"] = floor;
        state.counters["run/floor"] = run / floor;
        state.counters["cpu:run/floor"] = runCpu / floorCpu;
        state.counters["heap_B/emp"] = double(probe.peak > before ? probe.peak - before : 0) / employees;
    }
}

// The argument that makes this program a workstation that saves the month.
const char* const kWorkstation = "--save-as-workstation";

// Counts the rows as the roll-over reports them, as the gauge would show them.
class Counter : public Rollover::RolloverProgress
{
public:
    void advance(int position) override { last = position; }
    int last = 0;
};

// A workstation program: opens the file as the data module does, says
// "ready", saves the month once told "go", and prints how many rows it stored.
int workstation(const QString& file)
{
    Mainmodule::ConnectionSettings settings;
    settings.driver = QStringLiteral("QSQLITE");
    settings.file = file;
    Mainmodule::openConnection(settings, QStringLiteral("workstation"));
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    if (!std::getline(std::cin, go))
        return 1;
    Counter counter;
    const Rollover::RolloverReport report
        = rollOver(QSqlDatabase::database(QStringLiteral("workstation"), false), &counter);
    std::printf("%d %d %d\n", report.written, int(report.failures.size()), counter.last);
    return 0;
}

// Workstation programs on one file, started and ready to save.
class Workstations
{
public:
    Workstations(const QString& file, int count)
    {
        for (int i = 0; i < count; ++i) {
            auto& p = m_programs.emplace_back(std::make_unique<QProcess>());
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p->start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(kWorkstation), file });
        }
        for (auto& p : m_programs)
            while (!p->canReadLine())
                if (!p->waitForReadyRead(60 * 1000))
                    throw std::runtime_error("a workstation program did not start");
        for (auto& p : m_programs)
            p->readLine();
    }

    // Tells all to save and waits for them; false when one did not store every employee.
    bool save(int employees)
    {
        for (auto& p : m_programs)
            p->write("go\n");
        for (auto& p : m_programs)
            p->closeWriteChannel();
        bool all = true;
        for (auto& p : m_programs) {
            p->waitForFinished(-1);
            const QList<QByteArray> out = p->readAllStandardOutput().trimmed().split(' ');
            all = all && p->exitCode() == 0 && out.size() == 3 && out[0].toInt() == employees && out[1].toInt() == 0;
        }
        return all;
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

// CPU seconds of the child processes ended so far.
double childrenCpu()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall-clock and CPU seconds of workstation programs saving the month on a
// cleared month: `programs` at once, or `programs` one after the other.
// False (and the state skipped) when one did not store every employee.
bool saveMonth(benchmark::State& state, SqliteFixture& f, int programs, bool atOnce, double* wall, double* cpu,
    double* first = nullptr)
{
    const int employees = static_cast<int>(state.range(0));
    f.clearNewMonth();
    *wall = 0;
    const double cpuBefore = childrenCpu();
    for (int i = 0; i < (atOnce ? 1 : programs); ++i) {
        Workstations group(f.file(), atOnce ? programs : 1);
        Stopwatch timer;
        const bool ok = group.save(employees);
        if (first && i == 0)
            *first = timer.wall();
        *wall += timer.wall();
        if (!ok) {
            state.SkipWithError("a workstation did not store every employee");
            return false;
        }
    }
    *cpu = childrenCpu() - cpuBefore;
    if (scalar(f.db(), QStringLiteral("SELECT count(*) - count(DISTINCT emp_id) FROM Scheme WHERE YM='%1'").arg(kNewYm))
        != 0) {
        state.SkipWithError("an employee has two rows");
        return false;
    }
    return true;
}

void BM_RolloverSqliteProcesses(benchmark::State& state)
{
    const int programs = static_cast<int>(state.range(2));
    SqliteFixture& f = fixture<SqliteFixture>(state);
    for (auto _ : state) {
        // Together first in every other repetition, so that a machine busy
        // with something else weighs on both alike.
        const bool togetherFirst = f.repetitions++ % 2 == 1;
        double together = 0;
        double togetherCpu = 0;
        double oneByOne = 0;
        double oneByOneCpu = 0;
        double alone = 0;
        if (togetherFirst && !saveMonth(state, f, programs, true, &together, &togetherCpu))
            return;
        if (!saveMonth(state, f, programs, false, &oneByOne, &oneByOneCpu, &alone))
            return;
        if (!togetherFirst && !saveMonth(state, f, programs, true, &together, &togetherCpu))
            return;
        state.SetIterationTime(together);
        state.counters["alone_s"] = alone;
        state.counters["together/one-by-one"] = together / oneByOne;
        state.counters["cpu:together/one-by-one"] = togetherCpu / oneByOneCpu;
    }
}

void BM_RolloverServer(benchmark::State& state)
{
    const QString server = qEnvironmentVariable("KOLVANE_BENCH_PG");
    if (server.isEmpty()) {
        state.SkipWithError("KOLVANE_BENCH_PG names no PostgreSQL server");
        return;
    }
    const int employees = static_cast<int>(state.range(0));
    ServerFixture& f = fixture<ServerFixture>(state, server);
    for (auto _ : state) {
        f.clearNewMonth();
        Stopwatch timer;
        Rollover::RolloverReport report = rollOver(f.loopback());
        const double loopback = timer.wall();
        if (!wroteAll(state, report, employees))
            return;
        f.clearNewMonth();
        timer.restart();
        report = rollOver(f.relayed());
        const double relayed = timer.wall();
        if (!wroteAll(state, report, employees))
            return;

        const Rows rows = newMonthRows(f.loopback());
        f.clearNewMonth();
        timer.restart();
        copyRows(f.loopback(), rows);
        const double copy = timer.wall();

        state.SetIterationTime(relayed);
        state.counters["loopback_s"] = loopback;
        state.counters["copy_s"] = copy;
        state.counters["pg-5ms/pg-loopback"] = relayed / loopback;
        state.counters["pg-loopback/copy"] = loopback / copy;
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

// One timed run a repetition, the manual time, min/median/max only.
benchmark::internal::Benchmark* repeated(benchmark::internal::Benchmark* b, int repetitions)
{
    return b->Iterations(1)
        ->Repetitions(repetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", minOf)
        ->ComputeStatistics("max", maxOf)
        ->ReportAggregatesOnly(true);
}

// Second argument: 0 the project's schema, 1 the bare table list.
BENCHMARK(BM_RolloverSqlite)->ArgsProduct({ { 1000, 10000 }, { 0, 1 } })->Apply([](auto* b) { repeated(b, 9); });
BENCHMARK(BM_RolloverSqlite)->ArgsProduct({ { 100000 }, { 0, 1 } })->Apply([](auto* b) { repeated(b, 3); });
// Third argument: how many workstation programs.
BENCHMARK(BM_RolloverSqliteProcesses)->ArgsProduct({ { 30000 }, { 0, 1 }, { 2, 4 } })->Apply([](auto* b) {
    repeated(b, 7);
});
BENCHMARK(BM_RolloverServer)->ArgsProduct({ { 1000, 10000 }, { 0, 1 } })->Apply([](auto* b) { repeated(b, 9); });
BENCHMARK(BM_RolloverServer)->ArgsProduct({ { 100000 }, { 0, 1 } })->Apply([](auto* b) { repeated(b, 3); });

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kWorkstation) == 0)
        return workstation(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixtures<SqliteFixture>().clear();
    fixtures<ServerFixture>().clear();
    return 0;
}
