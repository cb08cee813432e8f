// A primary with a synchronous standby on this machine: the primary is killed
// while the program works, the standby promoted, and the program goes on on
// the new primary with nothing lost and nothing doubled.
#include "TestSupport.h"

#include "db/Query.h"
#include "host/AccountDataset.h"
#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/Prjconst.h"
#include "periods/Rollover.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "signin/ui/Login.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>
#include <csignal>
#include <libpq-fe.h>

using TestSupport::TestEnv;

namespace {

const QString scripts = qEnvironmentVariable("KOLVANE_SOURCE_DIR") + QStringLiteral("/scripts/");

// A server started by scripts/pg-start.sh in a directory of its own.
struct Server
{
    QString dir;
    QString conninfo;
    int port = 0;
};

Server start(const QString& dir, const QString& primaryDir = QString())
{
    QProcess p;
    QStringList args;
    if (!primaryDir.isEmpty())
        args << QStringLiteral("--standby-of") << primaryDir;
    p.start(scripts + QStringLiteral("pg-start.sh"), args << dir);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        throw std::runtime_error("pg-start.sh failed: " + p.readAllStandardError().toStdString());
    Server s { dir, QString::fromUtf8(p.readAllStandardOutput()).trimmed() };
    s.port = Mainmodule::serverSettings(s.conninfo).port;
    return s;
}

void stop(const Server& s)
{
    QProcess::execute(scripts + QStringLiteral("pg-stop.sh"), { s.dir });
}

// The primary dies at once (kill -9) and its standby takes over: promoted,
// and waited for until it takes writes.
void switchOver(const Server& from, const Server& to)
{
    QFile pidFile(from.dir + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        throw std::runtime_error("no postmaster.pid");
    ::kill(pid_t(pidFile.readLine().trimmed().toInt()), SIGKILL);
    const QByteArray gone = from.conninfo.toUtf8() + " connect_timeout=2";
    for (int i = 0; i < 100 && PQping(gone.constData()) != PQPING_NO_RESPONSE; ++i)
        QThread::msleep(100);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("promote"));
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(to.port);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open() || Db::Query(db, QStringLiteral("SELECT pg_promote(true, 60) AS done")).open().text(
                              QStringLiteral("done")) != u"true")
            throw std::runtime_error("the standby was not promoted");
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("promote"));
}

// A look at the database on one server, past the program's connection.
QVariant scalarOn(const Server& s, const QString& database, const QString& sql)
{
    QVariant value;
    {
        Mainmodule::ConnectionSettings settings = Mainmodule::serverSettings(s.conninfo);
        settings.database = database;
        Mainmodule::openConnection(settings, QStringLiteral("check"), false);
        value = Db::Query(QSqlDatabase::database(QStringLiteral("check"), false), sql).open().row(0).value(
            QStringLiteral("v"));
        QSqlDatabase::database(QStringLiteral("check"), false).close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return value;
}

int serverPort()
{
    return Db::Query(Mainmodule::db(), QStringLiteral("SELECT inet_server_port() AS port"))
        .open()
        .value(QStringLiteral("port"))
        .toInt();
}

// Tavrel.ini names the servers, a standby first.
void listServers(TestEnv& env, const Server& first, const Server& second)
{
    Platform::IniFile ini(env.iniPath());
    const QString section = QStringLiteral("Database");
    ini.writeString(section, QStringLiteral("Host"), QStringLiteral("127.0.0.1, 127.0.0.1"));
    ini.writeString(section, QStringLiteral("Port"), QStringLiteral("%1,%2").arg(first.port).arg(second.port));
}

// Cuts the connection's server once the run has written `rows` rows.
class SwitchAfter : public Rollover::RolloverProgress
{
public:
    SwitchAfter(const Server& from, const Server& to, int rows)
        : m_from(from)
        , m_to(to)
        , m_rows(rows)
    {
    }
    void advance(int position) override
    {
        if (position == m_rows)
            switchOver(m_from, m_to);
    }

private:
    const Server& m_from;
    const Server& m_to;
    int m_rows;
};

} // namespace

class TestFailover : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rolloverAndSignInSurviveTheSwitch();
};

void TestFailover::rolloverAndSignInSurviveTheSwitch()
{
    if (TestEnv::engine() != Db::Engine::PostgreSQL)
        QSKIP("needs PostgreSQL");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Run as root, the servers run as another user, who must reach their directories.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ExeGroup);
    const Server a = start(dir.filePath(QStringLiteral("a")));
    const auto stopA = qScopeGuard([&] { stop(a); });
    const Server b = start(dir.filePath(QStringLiteral("b")), a.dir);
    const auto stopB = qScopeGuard([&] { stop(b); });
    qputenv("KOLVANE_TEST_PG", a.conninfo.toUtf8());

    // February is rolled over from January's schedules.
    TestEnv env(QDateTime(QDate(2027, 2, 10), QTime(9, 0)));
    env.createDatabase(true);
    env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2027-02'"));
    const int employees
        = env.scalar(QStringLiteral("SELECT count(DISTINCT emp_id) FROM Scheme WHERE ym='2027-01'")).toInt();
    QVERIFY(employees > 10);
    const QString database = env.databaseName();
    QStringList messages;
    Platform::setMessageBoxHandler([&messages](const QString& text, const QString&, int) {
        messages << text;
        return int(Platform::IDOK);
    });

    // A connection left on the standby (a site that lists it alone and asks
    // for any server): the sign-in's log entry is not lost without a word.
    Platform::IniFile ini(env.iniPath());
    ini.writeString(QStringLiteral("Database"), QStringLiteral("Port"), QString::number(b.port));
    ini.writeString(QStringLiteral("Database"), QStringLiteral("target_session_attrs"), QStringLiteral("any"));
    QVERIFY(env.createDataModule());
    QCOMPARE(serverPort(), b.port);
    {
        TFrmLogin onStandby;
        QVERIFY(!onStandby.WriteOpLog(QStringLiteral("on a standby")));
    }
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.first().contains(QStringLiteral("只允许读取")), qPrintable(messages.first()));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM OpLog WHERE BeWrite = 'on a standby'")).toInt(), 0);
    messages.clear();
    env.destroyDataModule();

    // The standby is listed first: the program works on the primary all the same.
    ini.writeString(QStringLiteral("Database"), QStringLiteral("target_session_attrs"), QStringLiteral("read-write"));
    listServers(env, b, a);
    QVERIFY(env.createDataModule());
    QCOMPARE(serverPort(), a.port);

    // The primary dies in the middle of the roll-over: the run ends with one
    // message in the operator's words, and no period is stored.
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    ds->open();
    ds->append();
    ds->setFieldValue(QStringLiteral("ym"), QStringLiteral("2027-02"));
    ds->setFieldValue(QStringLiteral("begin_date"), QDate(2027, 2, 1));
    ds->setFieldValue(QStringLiteral("end_date"), QDate(2027, 2, 28));
    const MonthKey february = *MonthKey::fromKey(QStringLiteral("2027-02"));
    const QDateTime begin(QDate(2027, 2, 1), QTime());
    const QDateTime end(QDate(2027, 2, 28), QTime());
    SwitchAfter cut(a, b, 10);
    try {
        Rollover::runAutoScheme(Mainmodule::db(), february, begin, end, &cut);
        QFAIL("the roll-over went on without its server");
    } catch (const Db::Error& e) {
        QVERIFY(e.connectionLost());
        const QString message = Platform::messageOf(e);
        QVERIFY2(message.startsWith(QStringLiteral("与数据库服务器的连接已中断")), qPrintable(message));
        for (const char* driverOrStatement : { "QPSQL", "Scheme", "server", "$1" })
            QVERIFY2(!message.contains(QLatin1String(driverOrStatement)), qPrintable(message));
    }
    QCOMPARE(scalarOn(b, database, QStringLiteral("SELECT count(*) AS v FROM Accounts WHERE ym='2027-02'")).toInt(), 0);

    // Save again: the month is completed on the new primary, one row per employee.
    const Rollover::RolloverReport report = Rollover::runAutoScheme(Mainmodule::db(), february, begin, end);
    QCOMPARE(serverPort(), b.port);
    QVERIFY(report.failures.isEmpty());
    ds->post();
    const QString perEmployee
        = QStringLiteral("SELECT count(*) AS v FROM Scheme WHERE ym='2027-02' GROUP BY emp_id ORDER BY 1 DESC LIMIT 1");
    QCOMPARE(scalarOn(b, database, perEmployee).toInt(), 1);
    QCOMPARE(scalarOn(b, database, QStringLiteral("SELECT count(*) AS v FROM Scheme WHERE ym='2027-02'")).toInt(),
        report.carried);
    QCOMPARE(scalarOn(b, database, QStringLiteral("SELECT count(*) AS v FROM Accounts WHERE ym='2027-02'")).toInt(), 1);

    // The site gets a new standby, listed first. The new primary dies between
    // the operator's checks and the sign-in's log entry: the sign-in completes
    // on the next primary, with its entry written there once.
    const Server c = start(dir.filePath(QStringLiteral("c")), b.dir);
    const auto stopC = qScopeGuard([&] { stop(c); });
    env.destroyDataModule();
    listServers(env, c, b);
    QVERIFY(env.createDataModule());
    QCOMPARE(serverPort(), b.port);
    {
        Platform::RegistryKey key(Prjconst::UserKey, true);
        key.writeString(QStringLiteral("Ym"), QStringLiteral("2027-01"));
    }
    TFrmLogin login;
    login.findChild<QComboBox*>(QStringLiteral("edUserName"))->setEditText(QStringLiteral("admin"));
    login.findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(QStringLiteral("admin"));
    // A month other than this one is asked about: the switch happens then.
    Platform::setMessageBoxHandler([&](const QString& text, const QString&, int flags) {
        if ((flags & 0x0F) == Platform::MB_YESNO) {
            switchOver(b, c);
            return int(Platform::IDYES);
        }
        messages << text;
        return int(Platform::IDOK);
    });
    login.btnOkClick();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'\n')));
    QVERIFY(login.result() == Platform::mrOk);
    QCOMPARE(serverPort(), c.port);
    const QString entries = QStringLiteral("SELECT count(*) AS v FROM OpLog WHERE BeWrite = '%1'")
                                .arg(Prjconst::_IntoModule.arg(QStringLiteral("登录身份验证")));
    QCOMPARE(scalarOn(c, database, entries).toInt(), 1);
}

QTEST_MAIN(TestFailover)
#include "tst_failover.moc"
