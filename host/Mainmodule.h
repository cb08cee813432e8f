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
    QString file;   // SQLite: full path of the database file
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;
    bool hasPassword = false; // empty: left to libpq's password file

    QString describe() const; // for messages: the file, or user@host:port/database
};
ConnectionSettings readConnectionSettings(const QString& appDir);

// Opens a connection under the given name. Returns an empty text on success, or
// a message for the operator naming what failed and where. Nothing is created
// or changed when it fails.
QString openConnection(const ConnectionSettings& settings, const QString& connectionName);

class TMainDM : public QObject
{
    Q_OBJECT
public:
    explicit TMainDM(QObject* owner = nullptr);
    ~TMainDM() override;

    bool hasConnection() const;
    QSqlDatabase connection() const;
    void closeConnection();
    AccountDataset* accountData() const { return m_accountData; }

    static inline const QString connectionName = QStringLiteral("MainDM");

private:
    AccountDataset* m_accountData = nullptr;
    bool m_connected = false;
};

extern TMainDM* MainDM;
extern bool bQuited;

// The data module's connection; throws Db::Error when there is none.
QSqlDatabase db();

} // namespace Mainmodule
