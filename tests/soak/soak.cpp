// soak: many workstations on one PostgreSQL server for a bounded time.
//
//   soak [--workers N] [--seconds S]      the driver (needs KOLVANE_TEST_PG)
//   soak --worker I --ini FILE ...        one workstation (started by the driver)
//
// The driver prepares one database (the demonstration data, a few hundred more
// employees with last month's and this month's schedules, an operator of each
// workstation's own and new operators who must change their passwords),
// records the server's connection count, starts the workstations, ends a few
// of their server sessions on the way, and at the end checks the database and
// the workstations' records. Exit code 0 only when every check holds; 77 when
// there is no server to run on (outside CI).
#include "Soak.h"
#include "TestSupport.h"

#include "db/Query.h"
#include "periods/Rollover.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>

using TestSupport::TestEnv;

namespace {

void say(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

struct DriverOptions
{
    int workers = 20;
    int seconds = 60;
    int opLimitMs = 30000;
    int kills = -1; // -1: one per five workstations, at least three
    bool keepLogs = false;
    bool withoutSchemeKey = false; // as on databases other tools of the suite made
};

QVariant scalar(const QSqlDatabase& db, const QString& sql)
{
    Db::Query q(db, sql);
    q.open();
    return q.isEmpty() ? QVariant() : q.value(q.columns().fieldName(0));
}

int clientConnections(const QSqlDatabase& db)
{
    return scalar(db, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend'"))
        .toInt();
}

// Employees E1001... with last month's schedules, fixed shifts and rotations
// alike; this month's are then made by the roll-over itself.
void prepare(TestEnv& env, const DriverOptions& options, const QDate& today)
{
    env.createDatabase(true);
    QSqlDatabase db = env.db();
    const QDate thisMonth(today.year(), today.month(), 1);
    const QDate lastMonth = thisMonth.addMonths(-1);
    const QString lastYm = lastMonth.toString(QStringLiteral("yyyy-MM"));
    const QString rules[] = { QStringLiteral("R-DAY3"), QStringLiteral("R-WEEK1"), QStringLiteral("R-WEEK2"),
        QStringLiteral("R-MONTH1") };
    QStringList dayColumns;
    QStringList dayMarkers;
    for (int day = 1; day <= 31; ++day) {
        dayColumns << Db::quotedName(db, QString::number(day));
        dayMarkers << QStringLiteral("?");
    }
    if (!db.transaction())
        qFatal("no transaction");
    for (int i = 1001; i <= 1300; ++i) {
        const QString empId = QStringLiteral("E%1").arg(i);
        env.exec(QStringLiteral("INSERT INTO Employee (emp_id, emp_name) VALUES (?, ?)"),
            { empId, QStringLiteral("职员%1").arg(i) });
        QVariantList row { lastYm, empId };
        if (i % 2) {
            row << QStringLiteral("白班") << QVariant();
            for (int day = 1; day <= 31; ++day)
                row << (day <= lastMonth.daysInMonth() ? QVariant(QStringLiteral("白班")) : QVariant());
        } else {
            row << rules[(i / 2) % 4] << lastMonth.addDays(-(i % 40)).startOfDay();
            for (int day = 1; day <= 31; ++day)
                row << QVariant();
        }
        env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id, start_date, %1) VALUES (?, ?, ?, ?, %2)")
                     .arg(dayColumns.join(u','), dayMarkers.join(u',')),
            row);
    }
    const QString users = QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop, Access) "
                                         "VALUES (?, ?, ?, ?, 0, ?)");
    for (int w = 1; w <= options.workers; ++w) {
        env.exec(users,
            { QStringLiteral("%1").arg(1000 + w), Soak::ownOperator(w), Soak::ownPassword(w), 0,
                QStringLiteral("ActAccount=5") });
        for (int n = 1; n <= Soak::newOperatorsPerWorker; ++n)
            env.exec(users,
                { QStringLiteral("%1").arg(100000 + w * 100 + n), Soak::newOperator(w, n), Soak::newOperatorPassword, 1,
                    QStringLiteral("ActAccount=1") });
    }
    if (options.withoutSchemeKey)
        env.exec(QStringLiteral("ALTER TABLE Scheme DROP CONSTRAINT scheme_pkey"));
    if (!db.commit())
        qFatal("commit failed");
    // This month's schedules, from last month's, as the period dialog makes them.
    const Rollover::RolloverReport report = Rollover::runAutoScheme(
        db, MonthKey::of(thisMonth), thisMonth.startOfDay(), thisMonth.addMonths(1).addDays(-1).startOfDay());
    if (!report.failures.isEmpty())
        qFatal("preparing this month's schedules failed");
    say(QStringLiteral("prepared: %1 employees, %2 schedules this month, %3 operators")
            .arg(scalar(db, QStringLiteral("SELECT count(*) FROM Employee")).toInt())
            .arg(report.written)
            .arg(scalar(db, QStringLiteral("SELECT count(*) FROM Users")).toInt()));
}

// Ends one workstation's server session at random, as a restarted server or a broken link would.
bool endOneSession(const QSqlDatabase& db, QRandomGenerator& random, QString* which)
{
    Db::Query sessions(db,
        QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
                       "application_name = 'kolvane' AND pid <> pg_backend_pid()"));
    sessions.open();
    if (sessions.isEmpty())
        return false;
    const int pid
        = sessions.row(static_cast<int>(random.bounded(sessions.rowCount()))).value(QStringLiteral("pid")).toInt();
    Db::Query end(db, QStringLiteral("SELECT pg_terminate_backend(:pid) AS done"));
    end.bind(QStringLiteral("pid"), pid);
    end.open();
    *which = QString::number(pid);
    return end.text(QStringLiteral("done")) == u"true";
}

struct Totals
{
    QMap<QString, Soak::KindStats> kinds;
    QMap<QString, int> messages;
    QStringList unclear, unexpected, hung;
    QMap<QString, int> signIns; // by computer
};

void add(Totals& totals, const QJsonObject& result)
{
    totals.signIns[result.value(QStringLiteral("computer")).toString()]
        += result.value(QStringLiteral("signIns")).toInt();
    const QJsonObject kinds = result.value(QStringLiteral("kinds")).toObject();
    for (auto it = kinds.begin(); it != kinds.end(); ++it) {
        const QJsonObject k = it.value().toObject();
        Soak::KindStats& s = totals.kinds[it.key()];
        s.ops += k.value(QStringLiteral("ops")).toInt();
        s.refusals += k.value(QStringLiteral("refusals")).toInt();
        const qint64 slowest = k.value(QStringLiteral("slowestMs")).toInteger();
        if (slowest > s.slowestMs) {
            s.slowestMs = slowest;
            s.slowestWhere = k.value(QStringLiteral("slowestWhere")).toString();
        }
        const QJsonObject outcomes = k.value(QStringLiteral("outcomes")).toObject();
        for (auto o = outcomes.begin(); o != outcomes.end(); ++o)
            s.outcomes[o.key()] += o.value().toInt();
    }
    const QJsonObject messages = result.value(QStringLiteral("messages")).toObject();
    for (auto it = messages.begin(); it != messages.end(); ++it)
        totals.messages[it.key()] += it.value().toInt();
    for (const QJsonValue v : result.value(QStringLiteral("unclear")).toArray())
        totals.unclear << v.toString();
    for (const QJsonValue v : result.value(QStringLiteral("unexpected")).toArray())
        totals.unexpected << result.value(QStringLiteral("computer")).toString() + QStringLiteral(": ") + v.toString();
    for (const QJsonValue v : result.value(QStringLiteral("hung")).toArray())
        totals.hung << result.value(QStringLiteral("computer")).toString() + QStringLiteral(": ") + v.toString();
}

int runDriver(const DriverOptions& options)
{
    if (qEnvironmentVariable("KOLVANE_TEST_PG").trimmed().isEmpty()) {
        if (qEnvironmentVariable("CI") == u"true") {
            say(QStringLiteral("soak: KOLVANE_TEST_PG names no PostgreSQL server"));
            return 1;
        }
        say(QStringLiteral("skipped: KOLVANE_TEST_PG is not set (scripts/soak.sh starts a server)"));
        return 77;
    }
    qputenv("KOLVANE_TEST_ENGINE", "postgresql");
    const QDate today = QDate::currentDate();
    TestEnv env(QDateTime(today, QTime(9, 0)));
    prepare(env, options, today);
    QSqlDatabase db = env.db();

    QTemporaryDir work;
    work.setAutoRemove(!options.keepLogs);
    const int connectionsBefore = clientConnections(db);
    say(QStringLiteral("%1 workstations for %2 s; contested months %3; server connections before: %4; logs in %5")
            .arg(options.workers)
            .arg(options.seconds)
            .arg(Soak::contestedMonths(today).join(u' '))
            .arg(connectionsBefore)
            .arg(work.path()));

    QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    std::vector<std::unique_ptr<QProcess>> workers;
    for (int w = 1; w <= options.workers; ++w) {
        auto p = std::make_unique<QProcess>();
        p->setProgram(QCoreApplication::applicationFilePath());
        p->setArguments({ QStringLiteral("--worker"), QString::number(w), QStringLiteral("--ini"), env.iniPath(),
            QStringLiteral("--today"), today.toString(Qt::ISODate), QStringLiteral("--seconds"),
            QString::number(options.seconds), QStringLiteral("--op-limit"), QString::number(options.opLimitMs),
            QStringLiteral("--result"), work.filePath(QStringLiteral("w%1.json").arg(w)), QStringLiteral("--seed"),
            QString::number(random.generate()) });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p->setProcessEnvironment(environment);
        p->setStandardOutputFile(work.filePath(QStringLiteral("w%1.log").arg(w)));
        p->setStandardErrorFile(work.filePath(QStringLiteral("w%1.err").arg(w)));
        p->start();
        workers.push_back(std::move(p));
    }

    // A few sessions ended on the way, spread over the run.
    const int kills = options.kills >= 0 ? options.kills : std::max(3, options.workers / 5);
    QList<qint64> killAt;
    for (int i = 1; i <= kills; ++i)
        killAt << qint64(options.seconds) * 1000 * i / (kills + 1);
    int killed = 0;
    // The last operation may begin just before the end: it has the hung limit and a margin to finish.
    const qint64 deadline = qint64(options.seconds) * 1000 + options.opLimitMs + 30000;
    QElapsedTimer clock;
    clock.start();
    QStringList failures;
    for (;;) {
        QCoreApplication::processEvents();
        bool running = false;
        for (const auto& p : workers)
            running = running || p->state() != QProcess::NotRunning;
        if (!running)
            break;
        if (!killAt.isEmpty() && clock.elapsed() >= killAt.first()) {
            killAt.removeFirst();
            QString pid;
            if (endOneSession(db, random, &pid)) {
                ++killed;
                say(QStringLiteral("%1 s: ended server session %2").arg(clock.elapsed() / 1000).arg(pid));
            }
        }
        if (clock.elapsed() > deadline) {
            for (int w = 1; w <= options.workers; ++w) {
                QProcess* p = workers.at(w - 1).get();
                if (p->state() != QProcess::NotRunning) {
                    failures << QStringLiteral("workstation %1 still running %2 s after its end: killed (hung)")
                                    .arg(Soak::computerName(w))
                                    .arg((clock.elapsed() - qint64(options.seconds) * 1000) / 1000);
                    p->kill();
                    p->waitForFinished(5000);
                }
            }
            break;
        }
        QThread::msleep(200);
    }

    Totals totals;
    for (int w = 1; w <= options.workers; ++w) {
        QProcess* p = workers.at(w - 1).get();
        if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0)
            failures << QStringLiteral("workstation %1 ended with status %2, exit code %3 (see its log)")
                            .arg(Soak::computerName(w))
                            .arg(p->exitStatus())
                            .arg(p->exitCode());
        QFile file(work.filePath(QStringLiteral("w%1.json").arg(w)));
        if (!file.open(QIODevice::ReadOnly)) {
            failures << QStringLiteral("workstation %1 left no record").arg(Soak::computerName(w));
            continue;
        }
        add(totals, QJsonDocument::fromJson(file.readAll()).object());
    }
    workers.clear();

    // Figures.
    say(QStringLiteral("\nsessions ended by the server: %1").arg(killed));
    say(QStringLiteral("%1 %2 %3 %4  outcomes")
            .arg(QStringLiteral("kind"), -38)
            .arg(QStringLiteral("ops"), 6)
            .arg(QStringLiteral("refused"), 8)
            .arg(QStringLiteral("slowest"), 9));
    for (auto it = totals.kinds.cbegin(); it != totals.kinds.cend(); ++it) {
        QStringList outcomes;
        for (auto o = it->outcomes.cbegin(); o != it->outcomes.cend(); ++o)
            outcomes << QStringLiteral("%1 ×%2").arg(o.key()).arg(o.value());
        say(QStringLiteral("%1 %2 %3 %4  %5")
                .arg(it.key(), -38)
                .arg(it->ops, 6)
                .arg(it->refusals, 8)
                .arg(QStringLiteral("%1 ms").arg(it->slowestMs), 9)
                .arg(outcomes.join(QStringLiteral("; "))));
    }
    // Two roll-overs of one month at once: the second lists as failed the
    // employees whose rows the first has written.
    int failureLists = 0;
    for (const Soak::KindStats& k : std::as_const(totals.kinds)) {
        for (auto o = k.outcomes.cbegin(); o != k.outcomes.cend(); ++o) {
            if (o.key().contains(u"listed failed employees"))
                failureLists += o.value();
        }
    }
    if (failureLists > 0)
        say(QStringLiteral("\nfinding: %1 roll-overs listed employees as failed whose rows another workstation's "
                           "roll-over of the same month had written")
                .arg(failureLists));
    say(QStringLiteral("\nmessages shown:"));
    for (auto it = totals.messages.cbegin(); it != totals.messages.cend(); ++it)
        say(QStringLiteral("  %1 ×%2").arg(it.key()).arg(it.value()));

    // Checks.
    const int duplicatePeriods
        = scalar(db, QStringLiteral("SELECT count(*) FROM (SELECT ym FROM Accounts GROUP BY ym HAVING count(*) > 1) d"))
              .toInt();
    if (duplicatePeriods > 0)
        failures << QStringLiteral("%1 months have more than one period").arg(duplicatePeriods);
    const int duplicateSchedules = scalar(db,
        QStringLiteral(
            "SELECT count(*) FROM (SELECT YM, emp_id FROM Scheme GROUP BY YM, emp_id HAVING count(*) > 1) d"))
                                       .toInt();
    if (duplicateSchedules > 0)
        failures << QStringLiteral("%1 (month, employee) pairs have more than one schedule").arg(duplicateSchedules);

    Db::Query logged(db, QStringLiteral("SELECT opComPuter AS computer, count(*) AS n FROM OpLog GROUP BY opComPuter"));
    logged.open();
    QMap<QString, int> logRows;
    for (const Db::Row& row : logged.rows())
        logRows[row.text(QStringLiteral("computer"))] = row.value(QStringLiteral("n")).toInt();
    int signIns = 0;
    for (auto it = totals.signIns.cbegin(); it != totals.signIns.cend(); ++it) {
        signIns += it.value();
        if (logRows.value(it.key()) != it.value())
            failures << QStringLiteral("%1: %2 sign-ins completed, %3 OpLog rows")
                            .arg(it.key())
                            .arg(it.value())
                            .arg(logRows.value(it.key()));
    }
    say(QStringLiteral("\ncompleted sign-ins: %1; OpLog rows of the workstations: %2")
            .arg(signIns)
            .arg(scalar(db, QStringLiteral("SELECT count(*) FROM OpLog WHERE opComPuter LIKE 'SOAK-%'")).toInt()));
    if (signIns == 0 || totals.kinds.value(QStringLiteral("period create")).ops == 0)
        failures << QStringLiteral("the workstations completed no sign-in or created no period");
    for (const QString& u : std::as_const(totals.unclear))
        failures << QStringLiteral("unclear message: ") + u;
    for (const QString& u : std::as_const(totals.unexpected))
        failures << QStringLiteral("unexpected outcome: ") + u;
    for (const QString& h : std::as_const(totals.hung))
        failures << QStringLiteral("hung: ") + h;

    // Sessions of ended processes leave the server within moments.
    int connectionsAfter = clientConnections(db);
    for (int i = 0; i < 100 && connectionsAfter > connectionsBefore; ++i) {
        QThread::msleep(100);
        connectionsAfter = clientConnections(db);
    }
    say(QStringLiteral("server connections after: %1 (before: %2)").arg(connectionsAfter).arg(connectionsBefore));
    if (connectionsAfter != connectionsBefore)
        failures
            << QStringLiteral("server connections: %1 before, %2 after").arg(connectionsBefore).arg(connectionsAfter);

    if (failures.isEmpty()) {
        say(QStringLiteral("\nsoak: every check holds"));
        return 0;
    }
    work.setAutoRemove(false);
    say(QStringLiteral("\nsoak: %1 checks failed (workstation logs kept in %2):")
            .arg(failures.size())
            .arg(work.path()));
    const int shown = std::min<int>(static_cast<int>(failures.size()), 40);
    for (int i = 0; i < shown; ++i)
        say(QStringLiteral("  ") + failures.at(i));
    if (failures.size() > shown)
        say(QStringLiteral("  ... and %1 more").arg(failures.size() - shown));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Many workstations on one PostgreSQL server (KOLVANE_TEST_PG)."));
    parser.addHelpOption();
    const QCommandLineOption workersOption(
        QStringLiteral("workers"), QStringLiteral("Workstations."), QStringLiteral("n"), QStringLiteral("20"));
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("Length of the run."), QStringLiteral("s"), QStringLiteral("60"));
    const QCommandLineOption opLimitOption(QStringLiteral("op-limit"),
        QStringLiteral("Milliseconds after which an operation counts as hung."), QStringLiteral("ms"),
        QStringLiteral("30000"));
    const QCommandLineOption killsOption(QStringLiteral("kills"),
        QStringLiteral("Server sessions to end during the run (default: workers/5, at least 3)."), QStringLiteral("n"),
        QStringLiteral("-1"));
    const QCommandLineOption noKeyOption(QStringLiteral("without-scheme-key"),
        QStringLiteral("Drop the unique key of Scheme (YM, emp_id), as databases made by other tools may lack it."));
    const QCommandLineOption keepOption(QStringLiteral("keep-logs"), QStringLiteral("Keep the workstations' logs."));
    const QCommandLineOption workerOption(
        QStringLiteral("worker"), QStringLiteral("Run as workstation i."), QStringLiteral("i"));
    const QCommandLineOption iniOption(
        QStringLiteral("ini"), QStringLiteral("Worker: Tavrel.ini to use."), QStringLiteral("file"));
    const QCommandLineOption todayOption(
        QStringLiteral("today"), QStringLiteral("Worker: the date."), QStringLiteral("yyyy-mm-dd"));
    const QCommandLineOption resultOption(
        QStringLiteral("result"), QStringLiteral("Worker: result file."), QStringLiteral("file"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Worker: random seed."), QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({ workersOption, secondsOption, opLimitOption, killsOption, noKeyOption, keepOption, workerOption,
        iniOption, todayOption, resultOption, seedOption });
    parser.process(app);

    if (parser.isSet(workerOption)) {
        Soak::WorkerOptions w;
        w.index = parser.value(workerOption).toInt();
        w.iniFile = parser.value(iniOption);
        w.today = QDate::fromString(parser.value(todayOption), Qt::ISODate);
        w.seconds = parser.value(secondsOption).toInt();
        w.opLimitMs = parser.value(opLimitOption).toInt();
        w.resultFile = parser.value(resultOption);
        w.seed = parser.value(seedOption).toUInt();
        return Soak::runWorker(w);
    }
    DriverOptions d;
    d.workers = std::max(1, parser.value(workersOption).toInt());
    d.seconds = std::max(1, parser.value(secondsOption).toInt());
    d.opLimitMs = std::max(1000, parser.value(opLimitOption).toInt());
    d.kills = parser.value(killsOption).toInt();
    d.keepLogs = parser.isSet(keepOption);
    d.withoutSchemeKey = parser.isSet(noKeyOption);
    try {
        return runDriver(d);
    } catch (const std::exception& e) {
        say(QStringLiteral("soak: %1").arg(QString::fromUtf8(e.what())));
        return 1;
    }
}
