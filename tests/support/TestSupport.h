#pragma once
// Test harness: every test gets a fresh application directory (database file,
// INI file), its own registry hive, a fixed clock, a message-box recorder with
// scripted answers and a modal-show seam. The destructor resets every seam.
#include <QDateTime>
#include <QList>
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

class TestEnv
{
public:
    // The clock stands at `now` (default: 2026-03-15 09:30:00).
    explicit TestEnv(const QDateTime& now = QDateTime(QDate(2026, 3, 15), QTime(9, 30)));
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString appDir() const;       // ends in '/'
    QString dbPath() const;       // appDir + "Kolvane.mdb"
    QString iniPath() const;      // appDir + "Tavrel.ini"
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
    QSqlDatabase db();
    void exec(const QString& sql, const QVariantList& values = {});
    QVariant scalar(const QString& sql, const QVariantList& values = {});
    // Creates the data module (MainDM) on the database; false when it set bQuited.
    bool createDataModule();
    void destroyDataModule();

private:
    QTemporaryDir m_dir;
    QDateTime m_now;
    QString m_connection;
    QList<std::function<int(QDialog*)>> m_modalHandlers;
};

} // namespace TestSupport
