#include "TestSupport.h"

#include "db/Query.h"
#include "host/ui/DataModule.h"
#include "host/MonthKey.h"
#include "host/Prjconst.h"
#include "host/Pubfunctions.h"
#include "host/Schema.h"
#include "host/Varunit.h"
#include "setup/Demo.h"
#include "platform/IniFile.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "platform/Registry.h"
#include "platform/System.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <libpq-fe.h>
#include <QUuid>
#include <stdexcept>

namespace TestSupport {

namespace {

const QString adminConnection = QStringLiteral("kolvane-test-admin");

[[noreturn]] void failSetup(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

// The server of the PostgreSQL runs, from KOLVANE_TEST_PG.
Mainmodule::ConnectionSettings serverSettings()
{
    const QString text = qEnvironmentVariable("KOLVANE_TEST_PG");
    if (text.trimmed().isEmpty())
        failSetup(QStringLiteral("KOLVANE_TEST_ENGINE=postgresql, but KOLVANE_TEST_PG names no server "
                                 "(scripts/test.sh starts one; scripts/pg-start.sh DIR prints the text to use)"));
    return Mainmodule::serverSettings(text);
}

QSqlDatabase connectServer(const QString& database, const QString& connectionName)
{
    Mainmodule::ConnectionSettings settings = serverSettings();
    settings.database = database;
    Mainmodule::openConnection(settings, connectionName, false);
    return QSqlDatabase::database(connectionName, false);
}

// One connection per test program for creating and dropping databases.
QSqlDatabase admin()
{
    if (QSqlDatabase::contains(adminConnection)) {
        QSqlDatabase db = QSqlDatabase::database(adminConnection, false);
        if (Db::reopen(db))
            return db;
        QSqlDatabase::removeDatabase(adminConnection);
    }
    QString database = serverSettings().database;
    return connectServer(database.isEmpty() ? QStringLiteral("postgres") : database, adminConnection);
}

// Databases of finished tests. Dropping one right away would wait for the
// server to finish the sessions just closed (it checks every 100 ms), so they
// go when the next test starts, or when the program ends.
QStringList& databasesToDrop()
{
    static QStringList names;
    return names;
}

void dropFinishedDatabases()
{
    QStringList& names = databasesToDrop();
    while (!names.isEmpty()) {
        const QString name = names.takeFirst();
        try {
            // FORCE ends the sessions a test left open.
            Db::Query(admin(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name)).exec();
        } catch (const std::exception& e) {
            qWarning("could not drop the test database %s: %s", qPrintable(name), e.what());
        }
    }
}

} // namespace

Db::Engine TestEnv::engine()
{
    const QString name = qEnvironmentVariable("KOLVANE_TEST_ENGINE").trimmed().toLower();
    if (name == u"postgresql" || name == u"postgres" || name == u"pg" || name == u"qpsql")
        return Db::Engine::PostgreSQL;
    return Db::Engine::SQLite;
}

TestEnv::TestEnv(const QDateTime& now)
    : m_now(now)
    , m_connection(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary directory");
    if (engine() == Db::Engine::PostgreSQL)
        dropFinishedDatabases();
    Platform::setSuiteDirectory(appDir());
    Platform::setRegistryFilePath(m_dir.filePath(QStringLiteral("config/kolvane/registry.ini")));
    Platform::setClock([this] { return m_now; });
    Platform::setAnsiCodePage(936);
    Platform::setComputerName(QStringLiteral("TESTPC"));
    Platform::setOSVersion(QStringLiteral("Debian GNU/Linux 12"));
    Platform::clearLocaleInfoCalls();
    Platform::setMessageBoxHandler([this](const QString& text, const QString& caption, int flags) {
        messages.append({ text, caption, flags });
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (flags & 0x0F) == Platform::MB_YESNO ? int(Platform::IDNO) : int(Platform::IDOK);
    });
    Platform::setModalHandler([this](QDialog* dialog) {
        modalShown.append(dialog->objectName());
        if (m_modalHandlers.isEmpty())
            return int(Platform::mrCancel);
        return m_modalHandlers.takeFirst()(dialog);
    });
    Varunit::reset();
    Pubfunctions::freeDllsCalls = 0;
    Pubfunctions::freeFormCalls = 0;
    Pubfunctions::EventCallBack = nullptr;
    Mainmodule::bQuited = false;
}

TestEnv::~TestEnv()
{
    destroyDataModule();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    dropServerDatabase();
    Platform::setMessageBoxHandler({});
    Platform::setModalHandler({});
    Platform::setClock({});
    Platform::setAnsiCodePage(0);
    Platform::setComputerName(QString());
    Platform::setOSVersion(QString());
    Platform::setSuiteDirectory(QString());
    Platform::setRegistryFilePath(QString());
    Varunit::reset();
}

QString TestEnv::appDir() const
{
    return m_dir.path() + u'/';
}

QString TestEnv::dbPath() const
{
    return appDir() + QStringLiteral("Kolvane.mdb");
}

QString TestEnv::iniPath() const
{
    return appDir() + QStringLiteral("Tavrel.ini");
}

QString TestEnv::registryPath() const
{
    return Platform::registryFilePath();
}

void TestEnv::setNow(const QDateTime& now)
{
    m_now = now;
}

QStringList TestEnv::messageTexts() const
{
    QStringList texts;
    for (const Message& m : messages)
        texts << m.text;
    return texts;
}

void TestEnv::onNextModal(std::function<int(QDialog*)> handler)
{
    m_modalHandlers.append(std::move(handler));
}

void TestEnv::createDatabase(bool demo)
{
    QSqlDatabase database = db();
    if (!database.transaction())
        failSetup(database.lastError().text());
    Schema::create(database);
    if (demo)
        Demo::fill(database, m_now.date());
    if (!database.commit())
        failSetup(database.lastError().text());
}

QSqlDatabase TestEnv::db()
{
    if (QSqlDatabase::contains(m_connection))
        return QSqlDatabase::database(m_connection);
    if (engine() == Db::Engine::PostgreSQL) {
        if (m_serverDatabase.isEmpty()) {
            const QString name = QStringLiteral("kolvane_test_") + QUuid::createUuid().toString(QUuid::Id128);
            // FILE_COPY: a small database is copied faster than written to the log.
            Db::Query(admin(),
                QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' STRATEGY FILE_COPY").arg(name))
                .exec();
            m_serverDatabase = name;
            writeDatabaseSection();
        }
        return connectServer(m_serverDatabase, m_connection);
    }
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(dbPath());
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!database.open())
        throw std::runtime_error(database.lastError().text().toStdString());
    return database;
}

QString TestEnv::databaseName() const
{
    return engine() == Db::Engine::PostgreSQL ? m_serverDatabase : dbPath();
}

QSqlDatabase TestEnv::openConnection(const QString& connectionName)
{
    db();
    if (engine() == Db::Engine::PostgreSQL)
        return connectServer(m_serverDatabase, connectionName);
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    database.setDatabaseName(dbPath());
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!database.open())
        failSetup(database.lastError().text());
    return database;
}

void TestEnv::terminateSession(const QSqlDatabase& connection)
{
    if (engine() != Db::Engine::PostgreSQL)
        failSetup(QStringLiteral("terminateSession needs PostgreSQL"));
    // The session's process, from libpq itself: the connection may be in the
    // middle of a pipeline, where it can run no other statement.
    const QVariant handle = connection.driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0)
        failSetup(QStringLiteral("terminateSession needs a PostgreSQL connection"));
    const int pid = PQbackendPID(*static_cast<PGconn* const*>(handle.constData()));
    // Waits (up to 5 s) until the session has ended.
    Db::Query end(admin(), QStringLiteral("SELECT pg_terminate_backend(:pid, 5000) AS done"));
    end.bind(QStringLiteral("pid"), pid);
    if (end.open().text(QStringLiteral("done")) != u"true")
        failSetup(QStringLiteral("the server did not end the session"));
}

void TestEnv::writeDatabaseSection()
{
    if (m_serverDatabase.isEmpty())
        return;
    const Mainmodule::ConnectionSettings server = serverSettings();
    QList<std::pair<QString, QString>> keys
        = { { QStringLiteral("Driver"), QStringLiteral("QPSQL") }, { QStringLiteral("Host"), server.host },
              { QStringLiteral("Port"), server.port > 0 ? QString::number(server.port) : QString() },
              { QStringLiteral("Database"), m_serverDatabase }, { QStringLiteral("User"), server.user } };
    if (server.hasPassword)
        keys.append({ QStringLiteral("Password"), server.password });
    QFile file(iniPath());
    if (!file.exists()) {
        // The usual case, written at once (each IniFile write replaces the file).
        QString text = QStringLiteral("[Database]\r\n");
        for (const auto& [key, value] : keys)
            text += key + u'=' + value + QStringLiteral("\r\n");
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            failSetup(QStringLiteral("cannot write %1").arg(iniPath()));
        return;
    }
    Platform::IniFile ini(iniPath());
    for (const auto& [key, value] : keys)
        ini.writeString(QStringLiteral("Database"), key, value);
}

void TestEnv::dropServerDatabase()
{
    if (m_serverDatabase.isEmpty())
        return;
    static const bool atExit = [] {
        qAddPostRoutine(dropFinishedDatabases);
        return true;
    }();
    Q_UNUSED(atExit);
    databasesToDrop().append(m_serverDatabase);
    m_serverDatabase.clear();
}

void TestEnv::exec(const QString& sql, const QVariantList& values)
{
    Db::Query q(db(), sql);
    q.bindInOrder(values);
    q.exec();
}

QVariant TestEnv::scalar(const QString& sql, const QVariantList& values)
{
    Db::Query q(db(), sql);
    q.bindInOrder(values);
    q.open();
    if (q.isEmpty())
        return {};
    return q.value(q.columns().fieldName(0));
}

bool TestEnv::createDataModule()
{
    destroyDataModule();
    // A test may have rewritten Tavrel.ini since the database was made; a
    // [Database] section it wrote itself stays as it is.
    if (Platform::IniFile(iniPath()).readString(QStringLiteral("Database"), QStringLiteral("Driver")).isEmpty())
        writeDatabaseSection();
    Mainmodule::bQuited = false;
    Mainmodule::createDataModule(nullptr);
    return !Mainmodule::bQuited;
}

void TestEnv::destroyDataModule()
{
    delete Mainmodule::MainDM;
    Mainmodule::MainDM = nullptr;
}

void addUser(TestEnv& env, const QString& id, const QString& name, const QVariant& password, int isNew,
    const QVariant& isStop, const QVariant& access)
{
    Schema::insert(env.db(), QStringLiteral("Users"),
        { QStringLiteral("User_id"), QStringLiteral("username"), QStringLiteral("password"), QStringLiteral("isNew"),
            QStringLiteral("IsStop"), QStringLiteral("Access") },
        { id, name, password, isNew, isStop, access });
}

void addPeriod(TestEnv& env, const QString& ym, const QString& name)
{
    const MonthKey month = MonthKey::fromKey(ym).value();
    Schema::insert(env.db(), QStringLiteral("Accounts"),
        { QStringLiteral("ym"), QStringLiteral("account_name"), QStringLiteral("begin_date"),
            QStringLiteral("end_date") },
        { ym, name.isEmpty() ? ym + Prjconst::_AccountStr : name, month.first().startOfDay(),
            month.last().startOfDay() });
}

void addScheme(TestEnv& env, const QString& ym, const QString& emp, const QString& shift, const QVariant& start,
    const QMap<int, QString>& days)
{
    QStringList columns
        = { QStringLiteral("YM"), QStringLiteral("emp_id"), QStringLiteral("shift_id"), QStringLiteral("start_date") };
    QVariantList values = { ym, emp, shift, start };
    for (auto it = days.begin(); it != days.end(); ++it) {
        columns << QString::number(it.key());
        values << it.value();
    }
    Schema::insert(env.db(), QStringLiteral("Scheme"), columns, values);
}

} // namespace TestSupport
