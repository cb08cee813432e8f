#include "host/Mainmodule.h"

#include "db/Query.h"
#include "host/AccountDataset.h"
#include "host/Prjconst.h"
#include "platform/System.h"

#include <QSqlError>

namespace Mainmodule {

TMainDM* MainDM = nullptr;
bool bQuited = false;

TMainDM::TMainDM(QObject* owner)
    : QObject(owner)
{
    setObjectName(QStringLiteral("MainDM"));
    try {
        const ConnectionSettings settings = readConnectionSettings(Platform::suiteDirectory());
        m_settingsWarning = settings.warning;
        openConnection(settings, connectionName);
    } catch (const Db::Error& error) {
        bQuited = true;
        m_openError = Platform::messageOf(error);
        return;
    }
    m_connected = true;
    bQuited = false;
    m_accountData = new AccountDataset(connection(), this);
}

TMainDM::~TMainDM()
{
    delete m_accountData;
    m_accountData = nullptr;
    if (m_connected) {
        closeConnection();
        QSqlDatabase::removeDatabase(connectionName);
    }
    if (MainDM == this)
        MainDM = nullptr;
}

bool TMainDM::hasConnection() const
{
    return m_connected;
}

QSqlDatabase TMainDM::connection() const
{
    return QSqlDatabase::database(connectionName, false);
}

void TMainDM::closeConnection()
{
    if (!m_connected)
        return;
    m_closed = true;
    QSqlDatabase db = connection();
    if (db.isOpen())
        db.close();
}

QSqlDatabase db()
{
    if (!MainDM || !MainDM->hasConnection())
        throw Db::Error(QCoreApplication::translate("Mainmodule", "没有数据库连接"));
    QSqlDatabase connection = MainDM->connection();
    // A session the server ended since the last operation is opened anew
    // here, before the operation's first statement finds it gone.
    if (connection.isOpen() && !closeIfEnded(connection))
        return connection;
    if (MainDM->isClosed())
        throw Db::Error(QCoreApplication::translate("Mainmodule", "数据库连接已关闭"));
    // The driver closes a connection whose server went away: try once to open
    // it again, so that the operation the operator retries can succeed.
    // The operator hears what became of the operation; the driver's words go
    // to standard error for whoever looks after the server.
    if (!Db::reopen(connection)) {
        qWarning("%s", qUtf8Printable(connection.lastError().text().trimmed()));
        throw Db::Error(QCoreApplication::translate("Mainmodule",
                            "与数据库服务器的连接已中断，重新连接也没有成功，这次操作没有完成。\n"
                            "请检查数据库服务器和网络，然后再试一次；主服务器刚停止时，"
                            "备用服务器接替它需要一点时间。"),
            Db::Error::Kind::ConnectionLost);
    }
    return connection;
}

} // namespace Mainmodule
