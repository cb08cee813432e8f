#pragma once
// Test harness: every test gets a fresh application directory (database file,
// INI file), its own registry hive, a fixed clock, a message-box recorder with
// scripted answers and a modal-show seam. The destructor resets every seam.
//
// The suite database runs on the engine named by KOLVANE_TEST_ENGINE: SQLite
// (the default: the file Kolvane.mdb in the application directory) or
// "postgresql": a database of its own on the server given by KOLVANE_TEST_PG
// (a libpq connection text, "host=127.0.0.1 port=... user=postgres"), created
// when first needed, named in the [Database] section of the test's Tavrel.ini
// so that the data module and the program connect to it, and dropped by the
// destructor.
#include "db/Query.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <functional>

class QDialog;

namespace TestSupport {

struct Message
{
    QString text;
    QString caption;
    int flags = 0;
};

// For tests of what exists only on SQLite (file messages, locking, triggers).
#define SKIP_ON_POSTGRESQL(why)                                                                                        \
    do {                                                                                                               \
        if (TestSupport::TestEnv::engine() == Db::Engine::PostgreSQL)                                                  \
            QSKIP(why);                                                                                                \
    } while (false)

class TestEnv
{
public:
    // The engine of the suite database (KOLVANE_TEST_ENGINE).
    static Db::Engine engine();
    // The clock stands at `now` (default: 2026-03-15 09:30:00).
    explicit TestEnv(const QDateTime& now = QDateTime(QDate(2026, 3, 15), QTime(9, 30)));
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString appDir() const; // ends in '/'
    QString dbPath() const; // appDir + "Kolvane.mdb" (SQLite)
    QString iniPath() const; // appDir + "Tavrel.ini"
    QString registryPath() const; // the HKEY_CURRENT_USER stand-in
    void setNow(const QDateTime& now);

    // Message boxes shown so far; answers are taken from the front of `answers`
    // (IDOK for an OK box and IDNO for a question when it is empty).
    QList<Message> messages;
    QList<int> answers;
    QStringList messageTexts() const;

    // Modal shows: each call takes the next handler (acting on the dialog as a
    // person would and returning its modal result); without one, Cancel.
    void onNextModal(std::function<int(QDialog*)> handler);
    QStringList modalShown; // objectName of every dialog shown modally
    int pendingModalHandlers() const { return static_cast<int>(m_modalHandlers.size()); }

    // Suite database with every table; `demo` adds the demonstration rows.
    void createDatabase(bool demo = false);
    // A second connection on the same database, for arranging and checking rows.
    // On PostgreSQL the first call creates the (empty) database.
    QSqlDatabase db();
    // The database file (SQLite) or the database's name on the server.
    QString databaseName() const;
    // One more connection on the test's database, as another workstation would
    // open it, under a name of the caller's (who removes it when done).
    QSqlDatabase openConnection(const QString& connectionName);
    // PostgreSQL: the server ends the session behind `connection` at once, as
    // when the server is restarted or the link breaks.
    void terminateSession(const QSqlDatabase& connection);
    void exec(const QString& sql, const QVariantList& values = {});
    QVariant scalar(const QString& sql, const QVariantList& values = {});
    // Creates the data module (MainDM) on the database; false when it set bQuited.
    bool createDataModule();
    void destroyDataModule();

private:
    void writeDatabaseSection();
    void dropServerDatabase();

    QTemporaryDir m_dir;
    QDateTime m_now;
    QString m_connection;
    QString m_serverDatabase; // PostgreSQL: the database created for this test
    QList<std::function<int(QDialog*)>> m_modalHandlers;
};

// Rows of the suite's tables, for arranging a test.
// An operator (flags as the columns hold them; `access`: the rights text).
void addUser(TestEnv& env, const QString& id, const QString& name, const QVariant& password, int isNew = 0,
    const QVariant& isStop = 0, const QVariant& access = {});
// A period of its month, from the first to the last day; `name` empty: the
// name a new period gets.
void addPeriod(TestEnv& env, const QString& ym, const QString& name = {});
// A schedule row with the given day columns.
void addScheme(TestEnv& env, const QString& ym, const QString& emp, const QString& shift, const QVariant& start,
    const QMap<int, QString>& days = {});

} // namespace TestSupport
