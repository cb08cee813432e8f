#pragma once
// The suite's data module: the database connection and the account-period
// dataset. Creating it connects; when that fails it tells the operator once and
// sets bQuited so the program ends.
#include <QObject>
#include <QSqlDatabase>

class AccountDataset;

namespace Mainmodule {

// Where the suite database lives, from section [Database] of "Tavrel.ini" beside
// the executable. Without the section: the SQLite file "Kolvane.mdb" there.
struct ConnectionSettings
{
    QString driver; // "QSQLITE" or "QPSQL"
    QString file; // SQLite: full path of the database file
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;
    bool hasPassword = false; // empty: left to libpq's password file
    QString options; // further libpq settings ("sslmode=require ...")

    QString describe() const; // for messages: the file, or user@host:port/database
};
ConnectionSettings readConnectionSettings(const QString& appDir);
// A PostgreSQL server from a libpq connection text: "host=... port=...
// dbname=... user=... [password=...]"; values may be single-quoted. Keys
// other than these five go to libpq as they stand; a missing one is left to
// libpq (environment, defaults). Sets `error` and returns empty settings when
// the text does not parse.
ConnectionSettings serverSettings(const QString& connectionText, QString* error);

// Opens a connection under the given name. Returns an empty text on success, or
// a message for the operator naming what failed and where. Nothing is created
// or changed when it fails. With `requireSuiteTables`, a database without the
// suite's tables counts as a failure.
QString openConnection(
    const ConnectionSettings& settings, const QString& connectionName, bool requireSuiteTables = true);

class TMainDM : public QObject
{
    Q_OBJECT
public:
    explicit TMainDM(QObject* owner = nullptr);
    ~TMainDM() override;

    bool hasConnection() const;
    QSqlDatabase connection() const;
    // Closes the connection for good: db() reports it closed from then on.
    void closeConnection();
    bool isClosed() const { return m_closed; }
    AccountDataset* accountData() const { return m_accountData; }

    static inline const QString connectionName = QStringLiteral("MainDM");

private:
    AccountDataset* m_accountData = nullptr;
    bool m_connected = false;
    bool m_closed = false;
};

extern TMainDM* MainDM;
extern bool bQuited;

// The data module's connection; throws Db::Error when there is none. A
// connection the server dropped is opened again here, at the start of the
// next operation, never in the middle of one.
QSqlDatabase db();

} // namespace Mainmodule
