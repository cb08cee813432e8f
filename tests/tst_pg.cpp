// The suite database on a PostgreSQL server: connection messages, a session
// or a server lost in the middle of work, and the admin tool.
#include "TestSupport.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/AccountDataset.h"
#include "host/Mainmodule.h"
#include "periods/Rollover.h"
#include "platform/IniFile.h"
#include "signin/ui/Login.h"

#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using TestSupport::TestEnv;

namespace {

// A loopback port where nothing listens (free a moment ago).
int closedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

QString serverText()
{
    return qEnvironmentVariable("KOLVANE_TEST_PG");
}

// A connection to the server's maintenance database, for roles.
class ServerAdmin
{
public:
    ServerAdmin()
    {
        Mainmodule::ConnectionSettings s = Mainmodule::serverSettings(serverText());
        s.database = QStringLiteral("postgres");
        try {
            Mainmodule::openConnection(s, name, false);
        } catch (const Db::Error& error) {
            m_message = QString::fromUtf8(error.what());
        }
    }
    ~ServerAdmin()
    {
        for (const QString& database : m_databases) {
            try {
                exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
            } catch (const std::exception& e) {
                qWarning("%s", e.what());
            }
        }
        for (const QString& role : m_roles) {
            try {
                exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
            } catch (const std::exception& e) {
                qWarning("%s", e.what());
            }
        }
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QString message() const { return m_message; }
    void exec(const QString& sql) { Db::Query(QSqlDatabase::database(name, false), sql).exec(); }
    // A login role with a password, dropped at the end (after the test's database).
    QString addRole(const QString& password)
    {
        const QString role = QStringLiteral("kolvane_role_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        // CREATE ROLE takes no parameters: the password is a fixed test text.
        exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(role, password));
        m_roles << role;
        return role;
    }
    // An empty database, dropped at the end.
    QString addDatabase()
    {
        const QString database = QStringLiteral("kolvane_empty_") + QUuid::createUuid().toString(QUuid::Id128);
        exec(QStringLiteral("CREATE DATABASE %1").arg(database));
        m_databases << database;
        return database;
    }

private:
    static inline const QString name = QStringLiteral("server-admin");
    QString m_message;
    QStringList m_roles;
    QStringList m_databases;
};

struct ProcessResult
{
    int code = -1;
    QString out;
    QString err;
};

ProcessResult run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForFinished(60000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString binDir()
{
    return qEnvironmentVariable("KOLVANE_BIN_DIR") + u'/';
}

// The server's connection text for one database.
QString onDatabase(const QString& database)
{
    return serverText() + QStringLiteral(" dbname=") + database;
}

int suiteTables(const QSqlDatabase& db)
{
    Db::Query q(db,
        QStringLiteral("SELECT count(*) AS n FROM information_schema.tables WHERE table_schema = "
                       "'public' AND table_name IN ('users', 'accounts', 'scheme', 'employee', "
                       "'shifts_rule', 'oplog')"));
    return q.open().value(QStringLiteral("n")).toInt();
}

void appendMarch(AccountDataset* ds)
{
    ds->append();
    ds->setFieldValue(QStringLiteral("ym"), QStringLiteral("2027-03"));
    ds->setFieldValue(QStringLiteral("account_name"), QStringLiteral("2027-03月帐套"));
    ds->setFieldValue(QStringLiteral("begin_date"), QDate(2027, 3, 1));
    ds->setFieldValue(QStringLiteral("end_date"), QDate(2027, 3, 31));
}

// Ends the data module's session after a number of old-month rows.
class CutAfter : public Rollover::RolloverProgress
{
public:
    CutAfter(TestEnv& env, int rows)
        : m_env(env)
        , m_rows(rows)
    {
    }
    void advance(int position) override
    {
        if (position == m_rows)
            m_env.terminateSession(Mainmodule::MainDM->connection());
    }

private:
    TestEnv& m_env;
    int m_rows;
};

} // namespace

class TestPg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dataModuleConnectionMessages();
    void lostSessionIsReportedAndTheNextOperationReconnects();
    void lostSessionDuringRollover();
    void serverStoppedDuringWork();
    void adminToolCreatesOnServer();
    void verifiedServerOverTls();
};

void TestPg::initTestCase()
{
    if (TestEnv::engine() != Db::Engine::PostgreSQL)
        QSKIP("runs with KOLVANE_TEST_ENGINE=postgresql");
    QVERIFY2(!serverText().isEmpty(), "KOLVANE_TEST_PG names no server");
}

void TestPg::dataModuleConnectionMessages()
{
    ServerAdmin server;
    QVERIFY2(server.message().isEmpty(), qPrintable(server.message()));
    const QString role = server.addRole(QStringLiteral("geheim"));
    {
        TestEnv env;
        env.createDatabase();
        env.exec(QStringLiteral("GRANT ALL ON ALL TABLES IN SCHEMA public TO %1").arg(role));
        const QString emptyDb = server.addDatabase();

        const Mainmodule::ConnectionSettings settings = Mainmodule::readConnectionSettings(env.appDir());
        const QString passFile = env.appDir() + QStringLiteral("pgpass");
        qputenv("PGPASSFILE", passFile.toUtf8());
        const auto unsetPassFile = qScopeGuard([] { qunsetenv("PGPASSFILE"); });

        Platform::IniFile ini(env.iniPath());
        QFile::setPermissions(env.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
        const auto attempt = [&](const QString& database, const QString& user, const QString& password, int port) {
            const QString section = QStringLiteral("Database");
            ini.writeString(section, QStringLiteral("Database"), database);
            ini.writeString(section, QStringLiteral("User"), user);
            ini.writeString(section, QStringLiteral("Password"), password);
            ini.writeString(section, QStringLiteral("Port"), QString::number(port));
            env.messages.clear();
            return env.createDataModule();
        };
        const auto refused = [&](const QString& expected) {
            QVERIFY(Mainmodule::bQuited);
            QCOMPARE(env.messages.size(), 1);
            QVERIFY2(env.messages[0].text.contains(expected), qPrintable(env.messages[0].text));
            QCOMPARE(env.messages[0].flags, 16);
        };

        QVERIFY2(attempt(env.databaseName(), role, QStringLiteral("geheim"), settings.port),
            qPrintable(env.messageTexts().join(u'\n')));
        QVERIFY(env.messages.isEmpty());
        QCOMPARE(Db::Query(Mainmodule::db(), Db::sqlAllUsers).open().rowCount(), 0);

        QVERIFY(!attempt(env.databaseName(), role, QStringLiteral("Geheim"), settings.port));
        refused(QStringLiteral("用户名或密码不正确"));
        QVERIFY(!env.messages[0].text.contains(QStringLiteral("Geheim")));
        QVERIFY(env.messages[0].text.contains(
            QStringLiteral("%1@%2:%3/%4").arg(role, settings.host).arg(settings.port).arg(env.databaseName())));

        // No password in Tavrel.ini: libpq's password file decides.
        QVERIFY(!attempt(env.databaseName(), role, QString(), settings.port));
        refused(QStringLiteral("没有 Password"));
        QFile pass(passFile);
        QVERIFY(pass.open(QIODevice::WriteOnly));
        pass.write(QStringLiteral("%1:%2:*:%3:geheim\n").arg(settings.host).arg(settings.port).arg(role).toUtf8());
        pass.close();
        pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(attempt(env.databaseName(), role, QString(), settings.port));

        QVERIFY(!attempt(QStringLiteral("kolvane_no_such_db"), role, QStringLiteral("geheim"), settings.port));
        refused(QStringLiteral("没有这个数据库"));

        QVERIFY(!attempt(emptyDb, settings.user, QString(), settings.port));
        refused(QStringLiteral("没有一卡通系统的数据表"));

        // A port where nothing listens: the server is down or unreachable.
        QVERIFY(!attempt(env.databaseName(), role, QStringLiteral("geheim"), closedPort()));
        refused(QStringLiteral("无法连接数据库服务器"));

        // A password others can read: the operator is told, and works on.
        QFile::setPermissions(env.iniPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QVERIFY(attempt(env.databaseName(), role, QStringLiteral("geheim"), settings.port));
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(env.messages[0].flags, 48);
        QVERIFY2(env.messages[0].text.contains(u"chmod 600"), qPrintable(env.messages[0].text));
        QVERIFY(!env.messages[0].text.contains(u"geheim"));
        // A Tavrel.ini the operator may not read is an error, not another database.
        QFile::setPermissions(env.iniPath(), QFile::WriteOwner);
        if (!QFile(env.iniPath()).open(QIODevice::ReadOnly)) { // root reads anything
            QVERIFY(!attempt(env.databaseName(), role, QStringLiteral("geheim"), settings.port));
            refused(QStringLiteral("无法读取配置文件"));
        }
        QFile::setPermissions(env.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
        env.destroyDataModule();
    }
}

void TestPg::lostSessionIsReportedAndTheNextOperationReconnects()
{
    TestEnv env;
    env.createDatabase(true);
    QVERIFY(env.createDataModule());
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    ds->open();
    const int periods = ds->recordCount();

    // Sign-in: the session ends between two statements.
    QSqlDatabase db = Mainmodule::db();
    env.terminateSession(db);
    try {
        Db::Query user(db, Db::sqlUserByName);
        user.bind(Db::cUsername, QStringLiteral("admin"));
        user.open();
        QFAIL("the statement ran on a lost session");
    } catch (const Db::Error& e) {
        QVERIFY(e.connectionLost());
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("与数据库服务器的连接已中断")), e.what());
    }
    // The operator tries again: the data module opens the connection anew.
    QCOMPARE(Db::Query(Mainmodule::db(), Db::sqlAllUsers).open().rowCount(), 5);

    // Saving a period: nothing stored, the row stays pending, and a second
    // save once the connection is back stores it once.
    appendMarch(ds);
    env.terminateSession(Mainmodule::db());
    QVERIFY_THROWS_EXCEPTION(Db::Error, ds->post());
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2027-03'")).toInt(), 0);
    try {
        ds->post(); // the driver has given the connection up by now
        QFAIL("posted on a lost connection");
    } catch (const Db::Error& e) {
        QVERIFY(e.connectionLost());
    }
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(ds->recordCount(), periods + 1);
    QVERIFY(ds->locate(QStringLiteral("2027-03"), Qt::CaseSensitive));
    Mainmodule::db();
    ds->post();
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2027-03"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2027-03'")).toInt(), 1);

    // Deleting a period: nothing deleted, the dataset as before.
    env.terminateSession(Mainmodule::db());
    QVERIFY_THROWS_EXCEPTION(Db::Error, ds->remove());
    QCOMPARE(ds->recordCount(), periods + 1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts")).toInt(), periods + 1);

    // The operation log entry: an error the caller may swallow, no crash.
    Db::Query log(Mainmodule::MainDM->connection(), Db::sqlInsertOpLog);
    log.bind(QStringLiteral("opTime"), QDateTime(QDate(2026, 3, 15), QTime(9, 30)));
    QVERIFY_THROWS_EXCEPTION(Db::Error, log.exec());
    // The sign-in's own entry, when the session ended after the operator's checks, is written once all the same.
    TFrmLogin login(nullptr);
    env.terminateSession(Mainmodule::db());
    login.WriteOpLog(QStringLiteral("after the session ended"));
    QCOMPARE(
        env.scalar(QStringLiteral("SELECT count(*) FROM OpLog WHERE BeWrite = 'after the session ended'")).toInt(), 1);
}

// The session ends while the new month's schedules are written: the run ends
// with the lost connection, and the period itself is not stored.
void TestPg::lostSessionDuringRollover()
{
    TestEnv env(QDateTime(QDate(2027, 2, 10), QTime(9, 0)));
    env.createDatabase(true); // periods 2027-01 and 2027-02, January's schedules
    env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2027-02'"));
    QVERIFY(env.createDataModule());
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    ds->open();
    ds->append();
    ds->setFieldValue(QStringLiteral("ym"), QStringLiteral("2027-02"));
    ds->setFieldValue(QStringLiteral("begin_date"), QDate(2027, 2, 1));
    ds->setFieldValue(QStringLiteral("end_date"), QDate(2027, 2, 28));

    CutAfter cut(env, 10);
    bool lost = false;
    try {
        const Rollover::RolloverReport report
            = Rollover::runAutoScheme(Mainmodule::db(), *MonthKey::fromKey(QStringLiteral("2027-02")),
                QDateTime(QDate(2027, 2, 1), QTime()), QDateTime(QDate(2027, 2, 28), QTime()), &cut);
        qInfo("run ended normally: %lld failures", qlonglong(report.failures.size()));
    } catch (const Db::Error& e) {
        lost = e.connectionLost();
    }
    // What the dialog does next: store the period. It must not.
    QVERIFY_THROWS_EXCEPTION(Db::Error, ds->post());
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2027-02'")).toInt(), 0);
    // The run should stop at the first statement that finds the connection
    // gone, rather than list every later employee as failed.
    QVERIFY2(lost, "the roll-over did not end with the lost connection");
}

void TestPg::serverStoppedDuringWork()
{
    const QString scripts = qEnvironmentVariable("KOLVANE_SOURCE_DIR") + QStringLiteral("/scripts/");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Run as root, the server runs as another user, who must reach its directory.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ExeGroup);
    const QString serverDir = dir.filePath(QStringLiteral("server"));
    ProcessResult started = run(scripts + QStringLiteral("pg-start.sh"), { serverDir });
    const auto stop = qScopeGuard([&] { run(scripts + QStringLiteral("pg-stop.sh"), { serverDir }); });
    QVERIFY2(started.code == 0, qPrintable(started.err));
    const QString own = started.out.trimmed();

    const Mainmodule::ConnectionSettings server = Mainmodule::serverSettings(own);
    const ProcessResult demo
        = run(binDir() + QStringLiteral("kolvane-db"), { QStringLiteral("demo"), QStringLiteral("--server"), own });
    QVERIFY2(demo.code == 0, qPrintable(demo.err));

    TestEnv env;
    Platform::IniFile ini(env.iniPath());
    const QString section = QStringLiteral("Database");
    ini.writeString(section, QStringLiteral("Driver"), QStringLiteral("QPSQL"));
    ini.writeString(section, QStringLiteral("Host"), server.host);
    ini.writeString(section, QStringLiteral("Port"), QString::number(server.port));
    ini.writeString(section, QStringLiteral("Database"), QStringLiteral("postgres"));
    ini.writeString(section, QStringLiteral("User"), server.user);
    QVERIFY(env.createDataModule());
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    ds->open();
    appendMarch(ds);

    QCOMPARE(run(scripts + QStringLiteral("pg-stop.sh"), { serverDir }).code, 0);
    try {
        Db::Query(Mainmodule::db(), Db::sqlAllUsers).open();
        QFAIL("a statement ran without a server");
    } catch (const Db::Error& e) {
        QVERIFY(e.connectionLost());
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            ds->post();
            QFAIL("a period was stored without a server");
        } catch (const Db::Error& e) {
            QVERIFY(e.connectionLost());
        }
    }
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    // Reconnecting fails too, with the same kind of message.
    try {
        Mainmodule::db();
        QFAIL("reconnected without a server");
    } catch (const Db::Error& e) {
        QVERIFY(e.connectionLost());
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("重新连接也没有成功")), e.what());
    }
}

void TestPg::adminToolCreatesOnServer()
{
    const QString tool = binDir() + QStringLiteral("kolvane-db");
    const auto create = [&](const QString& command, const QString& connection) {
        return run(tool, { command, QStringLiteral("--server"), connection });
    };

    TestEnv env;
    QSqlDatabase db = env.db(); // an empty database
    ProcessResult r = create(QStringLiteral("init"), onDatabase(env.databaseName()));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(env.databaseName()));
    QCOMPARE(suiteTables(db), 6);
    Db::Query admin(db, Db::sqlUserByName);
    admin.bind(Db::cUsername, QStringLiteral("admin"));
    QCOMPARE(admin.open().text(QStringLiteral("IsNew")), QStringLiteral("1"));
    // The program signs in against it.
    QVERIFY(env.createDataModule());
    env.destroyDataModule();

    // Never over a database that has the suite's tables.
    r = create(QStringLiteral("demo"), onDatabase(env.databaseName()));
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains(QStringLiteral("已经有一卡通系统的数据表")), qPrintable(r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Users")).toInt(), 1);

    // A failure half-way leaves nothing: an index of that name is in the way
    // once the first table has been made.
    TestEnv other;
    other.exec(QStringLiteral("CREATE TABLE unrelated (x INTEGER)"));
    other.exec(QStringLiteral("CREATE INDEX users_username ON unrelated (x)"));
    r = create(QStringLiteral("demo"), onDatabase(other.databaseName()));
    QCOMPARE(r.code, 4);
    QVERIFY2(r.err.contains(QStringLiteral("users_username")), qPrintable(r.err));
    QCOMPARE(suiteTables(other.db()), 0);

    QCOMPARE(create(QStringLiteral("init"), QStringLiteral("port=nope")).code, 2);
    r = create(QStringLiteral("init"), QStringLiteral("host=127.0.0.1 port=%1 user=postgres").arg(closedPort()));
    QCOMPARE(r.code, 5);
    QVERIFY2(r.err.contains(QStringLiteral("无法连接数据库服务器")), qPrintable(r.err));
    QCOMPARE(run(tool, { QStringLiteral("init"), QStringLiteral("--server") }).code, 2);
    // The words of an unquoted password with a space are never repeated.
    r = create(QStringLiteral("init"), QStringLiteral("user=x password=open sesame"));
    QCOMPARE(r.code, 2);
    QVERIFY2(!r.err.contains(QStringLiteral("sesame")), qPrintable(r.err));
}

void TestPg::verifiedServerOverTls()
{
    // A server of its own, whose certificate an authority made for this test signed.
    const QString scripts = qEnvironmentVariable("KOLVANE_SOURCE_DIR") + QStringLiteral("/scripts/");
    QTemporaryDir dir;
    const ProcessResult started
        = run(QStringLiteral("bash"), { scripts + QStringLiteral("pg-start.sh"), QStringLiteral("--tls"), dir.path() });
    QVERIFY2(started.code == 0, qPrintable(started.err));
    const auto stop = qScopeGuard([&] {
        run(QStringLiteral("bash"), { scripts + QStringLiteral("pg-stop.sh"), dir.path() });
    });
    const int port = Mainmodule::serverSettings(started.out.trimmed()).port;

    TestEnv env;
    QVERIFY(QFile::copy(dir.filePath(QStringLiteral("tls/ca.crt")), env.appDir() + QStringLiteral("ca.crt")));
    Platform::IniFile ini(env.iniPath());
    const QString section = QStringLiteral("Database");
    const QList<std::pair<const char*, QString>> keys
        = { { "Driver", QStringLiteral("QPSQL") }, { "Host", QStringLiteral("localhost") },
              { "Port", QString::number(port) }, { "Database", QStringLiteral("postgres") },
              { "User", QStringLiteral("postgres") }, { "Password", QStringLiteral("unused-secret") },
              { "sslmode", QStringLiteral("verify-full") }, { "sslrootcert", QStringLiteral("ca.crt") } };
    for (const auto& [key, value] : keys)
        ini.writeString(section, QString::fromLatin1(key), value);
    QFile::setPermissions(env.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
    const QString name = QStringLiteral("tls");
    const auto connect = [&] {
        try {
            Mainmodule::openConnection(Mainmodule::readConnectionSettings(env.appDir()), name, false);
        } catch (const Db::Error& error) {
            return QString::fromUtf8(error.what());
        }
        const QString ssl = Db::Query(QSqlDatabase::database(name, false),
            QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"))
                                .open()
                                .text(QStringLiteral("ssl"));
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        return ssl;
    };
    QCOMPARE(connect(), QStringLiteral("true"));

    // An authority that did not sign the server's certificate: no connection.
    ini.writeString(section, QStringLiteral("sslrootcert"), dir.filePath(QStringLiteral("tls/other-ca.crt")));
    const QString message = connect();
    QVERIFY2(message.startsWith(QStringLiteral("无法连接数据库服务器")), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("postgres@localhost:%1/postgres").arg(port)));
    QVERIFY(!message.contains(QStringLiteral("unused-secret")));

    // A server on another machine (a name that is not this machine's, reached
    // through hostaddr) is verified without being told to: with the authority,
    // encrypted; without it, or without TLS at all, refused with the way out.
    const QByteArray home = qgetenv("HOME");
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });
    qputenv("HOME", dir.path().toUtf8()); // no ~/.postgresql/root.crt
    const auto remote = [&](int serverPort, const QString& more) {
        const QString text = QStringLiteral("host=db.kolvane.test hostaddr=127.0.0.1 port=%1 dbname=postgres "
                                            "user=postgres %2")
                                 .arg(serverPort)
                                 .arg(more);
        try {
            Mainmodule::openConnection(Mainmodule::serverSettings(text), name, false);
        } catch (const Db::Error& error) {
            return error.message();
        }
        const QString ssl = Db::Query(QSqlDatabase::database(name, false),
            QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"))
                                .open()
                                .text(QStringLiteral("ssl"));
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        return ssl;
    };
    QCOMPARE(remote(port, QStringLiteral("sslrootcert=") + dir.filePath(QStringLiteral("tls/ca.crt"))),
        QStringLiteral("true"));
    const int plainPort = Mainmodule::serverSettings(qEnvironmentVariable("KOLVANE_TEST_PG")).port;
    for (const QString& refused : { remote(port, {}), remote(plainPort, {}) }) {
        QVERIFY2(refused.startsWith(QStringLiteral("无法连接数据库服务器 postgres@db.kolvane.test:")), qPrintable(refused));
        QVERIFY2(refused.contains(u"sslrootcert=") && refused.contains(u"sslmode=disable"), qPrintable(refused));
    }
    QCOMPARE(remote(plainPort, QStringLiteral("sslmode=disable")), QStringLiteral("false"));
}

QTEST_MAIN(TestPg)
#include "tst_pg.moc"
