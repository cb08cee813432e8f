// The import of an Access database against what an administrator would run
// otherwise, and its memory as the rows grow.
//
//   BM_ImportVsMdbExport  `kolvane-db import FILE NEW` of the largest sample
//                         (and of the one with the most rows) against
//                         `mdb-export FILE TABLE` of each of its tables, both as
//                         processes, in turn within one run. The time is the
//                         import's; counters: mdb_export_ms, and ratio (import /
//                         mdb-export), which should not be above 1.
//   BM_StreamedRows/N     N generated rows of ten columns through the import's
//                         writer into a new SQLite file; counter peak_rss_mb, the
//                         process's high-water mark from just before the run:
//                         flat as N grows.
//   BM_ImportServer/N     the same N rows imported into a PostgreSQL server
//                         (KOLVANE_BENCH_PG, a libpq connection text of a server
//                         where a database may be created) over loopback and
//                         through a relay that adds a 5 ms round trip, and one
//                         COPY of the same rows as text over loopback (the
//                         floor). The time is the relayed import's; counters
//                         5ms/loopback and loopback/copy, each within 2;
//                         1,000,000 rows too with KOLVANE_BENCH_MILLION=1.
//   BM_SheetImportServer/N/C an employees' sheet of N rows written by the
//                         import (its check before not counted) into the
//                         suite's Employee table, where C of every 10 ids are
//                         already there under another name (0: a site's first
//                         import; 5: half the rows changed): over loopback, through the 5 ms
//                         relay, and one COPY of the same rows over loopback
//                         into an empty table like Employee, with its key (the
//                         floor). Counters as BM_ImportServer's.
#include "bench/DelayRelay.h"
#include "bench/PgCopy.h"
#include "host/Connection.h"
#include "host/Schema.h"
#include "import/Importer.h"
#include "setup/Sheets.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <memory>
#include <stdexcept>

namespace {

QString samplesDir()
{
    return qEnvironmentVariable("KOLVANE_ACCESS_SAMPLES", QStringLiteral(KOLVANE_ACCESS_SAMPLES)) + u'/';
}

// Runs a program to its end; its output is dropped. Milliseconds it took.
double runProcess(const QString& program, const QStringList& args, QByteArray* output = nullptr)
{
    QProcess p;
    if (!output)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QStringLiteral("%1 failed").arg(program).toStdString());
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (output)
        *output = p.readAllStandardOutput();
    return ms;
}

void BM_ImportVsMdbExport(benchmark::State& state, const QString& file)
{
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/kolvane-db");
    QByteArray list;
    runProcess(QStringLiteral("mdb-tables"), { QStringLiteral("-1"), file }, &list);
    const QStringList tables = QString::fromUtf8(list).split(u'\n', Qt::SkipEmptyParts);
    QTemporaryDir dir;
    double importMs = 0;
    double exportMs = 0;
    int round = 0;
    for (auto _ : state) {
        const QString target = dir.filePath(QStringLiteral("import-%1.mdb").arg(++round));
        const double import = runProcess(tool, { QStringLiteral("import"), file, target });
        double exported = 0;
        for (const QString& table : tables)
            exported += runProcess(QStringLiteral("mdb-export"), { file, table });
        QFile::remove(target);
        state.SetIterationTime(import / 1000.0);
        importMs += import;
        exportMs += exported;
    }
    state.counters["tables"] = double(tables.size());
    state.counters["mdb_export_ms"] = benchmark::Counter(exportMs, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = exportMs > 0 ? importMs / exportMs : 0;
}

// Rows made up one at a time, never held: ten columns of the usual kinds.
class GeneratedSource : public Import::Source
{
public:
    explicit GeneratedSource(qint64 rows)
        : m_rows(rows)
    {
    }
    QList<Import::Table> tables() override
    {
        using Import::Kind;
        Import::Table t;
        t.name = QStringLiteral("Punches");
        t.catalogueRows = m_rows;
        t.columns = { { QStringLiteral("id"), Kind::Integer, 0, 0, 0, {} },
            { QStringLiteral("emp_id"), Kind::Text, 20, 0, 0, {} },
            { QStringLiteral("card_time"), Kind::DateTime, 0, 0, 0, {} },
            { QStringLiteral("amount"), Kind::Currency, 0, 0, 0, {} },
            { QStringLiteral("rate"), Kind::Double, 0, 0, 0, {} },
            { QStringLiteral("valid"), Kind::Boolean, 0, 0, 0, {} },
            { QStringLiteral("note"), Kind::Memo, 0, 0, 0, {} }, { QStringLiteral("place"), Kind::Text, 50, 0, 0, {} },
            { QStringLiteral("reader"), Kind::Integer, 0, 0, 0, {} },
            { QStringLiteral("photo"), Kind::Binary, 0, 0, 0, {} } };
        t.uniqueKeys = { { QStringLiteral("PrimaryKey"), { QStringLiteral("id") }, true } };
        return { t };
    }
    qint64 readRows(const Import::Table&, const std::function<void(const QVariantList&)>& row) override
    {
        const QDateTime start(QDate(2026, 1, 1), QTime(8, 0), Qt::UTC);
        const QByteArray photo(64, 'x');
        for (qint64 i = 0; i < m_rows; ++i) {
            row({ QVariant(int(i)), QVariant(QStringLiteral("E%1").arg(i % 5000, 5, 10, QLatin1Char('0'))),
                QVariant(start.addSecs(i * 37)), QVariant(QStringLiteral("%1.25").arg(i % 1000)),
                QVariant(double(i) / 7.0), QVariant(i % 3 != 0),
                QVariant(QStringLiteral("备注 %1 ").arg(i).repeated(4)), QVariant(QStringLiteral("一号门")),
                QVariant(int(i % 16)), QVariant(photo) });
        }
        return 0;
    }

private:
    qint64 m_rows;
};

// The process's resident high-water mark, and its reset (Linux).
double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void BM_StreamedRows(benchmark::State& state)
{
    const qint64 rows = state.range(0);
    QTemporaryDir dir;
    int round = 0;
    double peak = 0;
    for (auto _ : state) {
        GeneratedSource source(rows);
        const QString connection = QStringLiteral("bench-import");
        resetPeakRss();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(dir.filePath(QStringLiteral("rows-%1.mdb").arg(++round)));
            if (!db.open() || !db.transaction())
                throw std::runtime_error(db.lastError().text().toStdString());
            Import::importAll(source, &db);
            if (!db.commit())
                throw std::runtime_error(db.lastError().text().toStdString());
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        peak = std::max(peak, peakRssMb());
        QFile::remove(dir.filePath(QStringLiteral("rows-%1.mdb").arg(round)));
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["peak_rss_mb"] = peak;
}

void exec(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw std::runtime_error(q.lastError().text().toStdString());
}

// A database of its own on the server, reached over loopback and through the relay.
class ServerTarget
{
public:
    explicit ServerTarget(const QString& server)
    {
        Mainmodule::ConnectionSettings settings = Mainmodule::serverSettings(server);
        {
            Mainmodule::ConnectionSettings admin = settings;
            admin.database = QStringLiteral("postgres");
            Mainmodule::openConnection(admin, QStringLiteral("bench-admin"), false);
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench-admin"), false);
            exec(db, QStringLiteral("DROP DATABASE IF EXISTS kolvane_bench_import"));
            exec(db, QStringLiteral("CREATE DATABASE kolvane_bench_import ENCODING 'UTF8' TEMPLATE template0"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
        settings.database = QStringLiteral("kolvane_bench_import");
        Mainmodule::openConnection(settings, QStringLiteral("bench-loopback"), false);
        m_relay = std::make_unique<DelayRelay>(settings.host.isEmpty() ? QStringLiteral("127.0.0.1") : settings.host,
            settings.port > 0 ? settings.port : 5432);
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = m_relay->port();
        Mainmodule::openConnection(settings, QStringLiteral("bench-relayed"), false);
    }
    ~ServerTarget()
    {
        QSqlDatabase::removeDatabase(QStringLiteral("bench-loopback"));
        QSqlDatabase::removeDatabase(QStringLiteral("bench-relayed"));
    }

    static QSqlDatabase loopback() { return QSqlDatabase::database(QStringLiteral("bench-loopback"), false); }
    static QSqlDatabase relayed() { return QSqlDatabase::database(QStringLiteral("bench-relayed"), false); }

    // Seconds to import the rows in one transaction, into a table made anew.
    static double import(const QSqlDatabase& db, qint64 rows)
    {
        exec(loopback(), QStringLiteral("DROP TABLE IF EXISTS punches"));
        GeneratedSource source(rows);
        QSqlDatabase target = db;
        QElapsedTimer timer;
        timer.start();
        if (!target.transaction())
            throw std::runtime_error(target.lastError().text().toStdString());
        Import::importAll(source, &target);
        if (!target.commit())
            throw std::runtime_error(target.lastError().text().toStdString());
        return double(timer.nsecsElapsed()) / 1e9;
    }

    // Seconds for one COPY of the same rows as text into a table of the
    // imported one's columns.
    static double copy(qint64 rows)
    {
        return timedCopy(QStringLiteral("punches_copy"), QStringLiteral("(LIKE punches)"), [rows] {
            const QDateTime start(QDate(2026, 1, 1), QTime(8, 0), Qt::UTC);
            const QByteArray photo = "\\\\x" + QByteArray(64, 'x').toHex();
            QByteArray data;
            for (qint64 i = 0; i < rows; ++i) {
                data += QByteArray::number(i) + '\t'
                    + QStringLiteral("E%1").arg(i % 5000, 5, 10, QLatin1Char('0')).toUtf8() + '\t'
                    + start.addSecs(i * 37).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() + '\t'
                    + QByteArray::number(i % 1000) + ".25\t"
                    + QByteArray::number(double(i) / 7.0, 'g', QLocale::FloatingPointShortest) + '\t'
                    + (i % 3 != 0 ? 't' : 'f') + '\t' + QStringLiteral("备注 %1 ").arg(i).repeated(4).toUtf8() + '\t'
                    + QStringLiteral("一号门").toUtf8() + '\t' + QByteArray::number(i % 16) + '\t' + photo + '\n';
            }
            return data;
        });
    }

    // An employees' sheet of `rows` rows, and the database it goes into.
    static void makeSheet(const QString& path, qint64 rows)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the sheet");
        QByteArray data = QStringLiteral("员工编号,姓名,离职日期\r\n").toUtf8();
        for (qint64 i = 0; i < rows; ++i)
            data += QStringLiteral("E%1,员工%2,%3\r\n")
                        .arg(i, 7, 10, QLatin1Char('0'))
                        .arg(i)
                        .arg(i % 10 == 0 ? QStringLiteral("2026-06-30") : QString())
                        .toUtf8();
        file.write(data);
        exec(loopback(), QStringLiteral("DROP TABLE IF EXISTS Users, Accounts, Scheme, Employee, Shifts_Rule, OpLog"));
        Schema::create(loopback());
    }

    // Seconds to write the sheet's rows, `changed` of every 10 of them there
    // already under another name.
    static double sheet(const QSqlDatabase& db, const QString& path, qint64 rows, qint64 changed)
    {
        exec(loopback(), QStringLiteral("TRUNCATE Employee"));
        exec(loopback(),
            QStringLiteral("INSERT INTO Employee (emp_id, emp_name) SELECT 'E' || lpad(g::text, 7, '0'), '旧名' "
                           "FROM generate_series(0, %1) g WHERE mod(g, 10) < %2")
                .arg(rows - 1)
                .arg(changed));
        exec(loopback(), QStringLiteral("VACUUM ANALYZE Employee"));
        const std::unique_ptr<Setup::SheetPlan> plan = Setup::SheetPlan::check(db, Setup::SheetKind::Employees, path);
        if (!plan->problems().isEmpty() || plan->added() + plan->changed() != rows)
            throw std::runtime_error("the sheet is not as made");
        QElapsedTimer timer;
        timer.start();
        plan->apply();
        return double(timer.nsecsElapsed()) / 1e9;
    }

    // Seconds for one COPY of the sheet's rows as text into an empty table of
    // Employee's columns and key.
    static double copySheet(qint64 rows)
    {
        return timedCopy(QStringLiteral("employee_copy"), QStringLiteral("(LIKE Employee INCLUDING ALL)"), [rows] {
            QByteArray data;
            for (qint64 i = 0; i < rows; ++i)
                data += QStringLiteral("E%1\t员工%2\t%3\n")
                            .arg(i, 7, 10, QLatin1Char('0'))
                            .arg(i)
                            .arg(i % 10 == 0 ? QStringLiteral("2026-06-30 00:00:00") : QStringLiteral("\\N"))
                            .toUtf8();
            return data;
        });
    }

private:
    // Seconds to send the rows' text, made before, as one COPY over loopback
    // into `table`, made anew as `shape`: the server's part alone.
    template <class Make> static double timedCopy(const QString& table, const QString& shape, Make make)
    {
        QSqlDatabase db = loopback();
        exec(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
        exec(db, QStringLiteral("CREATE TABLE %1 %2").arg(table, shape));
        PGconn* conn = *static_cast<PGconn* const*>(db.driver()->handle().constData());
        const QByteArray data = make();
        QElapsedTimer timer;
        timer.start();
        copyText(conn, QStringLiteral("COPY %1 FROM STDIN").arg(table).toUtf8(), data);
        return double(timer.nsecsElapsed()) / 1e9;
    }

    std::unique_ptr<DelayRelay> m_relay;
};

// Lives from the first server benchmark to the end of main(), while Qt's SQL drivers are still there.
std::unique_ptr<ServerTarget>& serverTarget()
{
    static std::unique_ptr<ServerTarget> target;
    return target;
}

// The server's target, made once; false (and the benchmark skipped) without a server.
bool haveServer(benchmark::State& state)
{
    const QString server = qEnvironmentVariable("KOLVANE_BENCH_PG");
    if (server.isEmpty()) {
        state.SkipWithError("KOLVANE_BENCH_PG names no PostgreSQL server");
        return false;
    }
    if (!serverTarget())
        serverTarget() = std::make_unique<ServerTarget>(server);
    return true;
}

// `write` (seconds to write the rows on a connection) over loopback and through
// the relay, against `floor` (seconds for one COPY of them over loopback).
template <class Write, class Floor> void againstCopy(benchmark::State& state, Write write, Floor floor)
{
    for (auto _ : state) {
        const double loopback = write(ServerTarget::loopback());
        const double copy = floor();
        const double relayed = write(ServerTarget::relayed());
        state.SetIterationTime(relayed);
        state.counters["loopback_s"] = loopback;
        state.counters["copy_s"] = copy;
        state.counters["5ms/loopback"] = relayed / loopback;
        state.counters["loopback/copy"] = loopback / copy;
    }
}

void BM_ImportServer(benchmark::State& state)
{
    const qint64 rows = state.range(0);
    if (haveServer(state))
        againstCopy(
            state, [&](const QSqlDatabase& db) { return ServerTarget::import(db, rows); },
            [&] { return ServerTarget::copy(rows); });
}

void BM_SheetImportServer(benchmark::State& state)
{
    const qint64 rows = state.range(0);
    const qint64 changed = state.range(1);
    if (!haveServer(state))
        return;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("employees.csv"));
    ServerTarget::makeSheet(path, rows);
    againstCopy(
        state, [&](const QSqlDatabase& db) { return ServerTarget::sheet(db, path, rows, changed); },
        [&] { return ServerTarget::copySheet(rows); });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The largest sample, and the one with the most rows.
    QStringList files;
    const QFileInfoList samples
        = QDir(samplesDir())
              .entryInfoList({ QStringLiteral("*.mdb"), QStringLiteral("*.accdb") }, QDir::Files, QDir::Size);
    if (!samples.isEmpty())
        files << samples.first().absoluteFilePath();
    if (QFileInfo::exists(samplesDir() + QStringLiteral("testIndexCodesV1997.mdb")))
        files << samplesDir() + QStringLiteral("testIndexCodesV1997.mdb");
    for (const QString& file : files) {
        benchmark::RegisterBenchmark(("BM_ImportVsMdbExport/" + QFileInfo(file).fileName().toStdString()).c_str(),
            [file](benchmark::State& state) { BM_ImportVsMdbExport(state, file); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    }
    benchmark::RegisterBenchmark("BM_StreamedRows", BM_StreamedRows)
        ->Arg(10000)
        ->Arg(100000)
        ->Arg(400000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    // 1,000,000 rows when asked for: KOLVANE_BENCH_MILLION=1.
    auto* server = benchmark::RegisterBenchmark("BM_ImportServer", BM_ImportServer)->Arg(100000);
    if (qEnvironmentVariableIntValue("KOLVANE_BENCH_MILLION"))
        server->Arg(1000000);
    auto* sheet = benchmark::RegisterBenchmark("BM_SheetImportServer", BM_SheetImportServer)
                      ->Args({ 100000, 0 })
                      ->Args({ 100000, 5 });
    if (qEnvironmentVariableIntValue("KOLVANE_BENCH_MILLION"))
        sheet->Args({ 1000000, 0 })->Args({ 1000000, 5 });
    for (auto* b : { server, sheet })
        b->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    serverTarget().reset();
    return 0;
}
