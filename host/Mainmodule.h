#pragma once
// The suite's data module: the database connection and the account-period
// dataset. Creating it connects; when that fails it sets bQuited so the
// program ends, and keeps the reason for the operator (openError()).
#include "host/Connection.h"

#include <QObject>
#include <QSqlDatabase>

class AccountDataset;

namespace Mainmodule {

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
    // Why the connection could not be opened; empty when it was.
    QString openError() const { return m_openError; }
    // What the operator should know about the connection's settings; empty
    // when nothing.
    QString settingsWarning() const { return m_settingsWarning; }
    AccountDataset* accountData() const { return m_accountData; }

    static inline const QString connectionName = QStringLiteral("MainDM");

private:
    AccountDataset* m_accountData = nullptr;
    bool m_connected = false;
    bool m_closed = false;
    QString m_openError;
    QString m_settingsWarning;
};

extern TMainDM* MainDM;
extern bool bQuited;

// The data module's connection; throws Db::Error when there is none. A
// connection the server dropped is opened again here, at the start of the
// next operation, never in the middle of one.
QSqlDatabase db();

} // namespace Mainmodule
