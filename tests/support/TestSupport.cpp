#include "TestSupport.h"

#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/Pubfunctions.h"
#include "host/Schema.h"
#include "host/Varunit.h"
#include "platform/MessageBox.h"
#include "platform/ModalShow.h"
#include "platform/Registry.h"
#include "platform/System.h"

#include <QApplication>
#include <QDialog>
#include <QSqlError>
#include <QUuid>
#include <stdexcept>

namespace TestSupport {

TestEnv::TestEnv(const QDateTime& now)
    : m_now(now)
    , m_connection(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary directory");
    Platform::setExeDirectory(appDir());
    Platform::setRegistryFilePath(m_dir.filePath(QStringLiteral("config/kolvane/registry.ini")));
    Platform::setClock([this] { return m_now; });
    Platform::setAnsiCodePage(936);
    Platform::setComputerName(QStringLiteral("TESTPC"));
    Platform::setOSVersion(QStringLiteral("Debian GNU/Linux 12"));
    Platform::clearLocaleInfoCalls();
    Platform::setMessageBoxHandler([this](const QString& text, const QString& caption, int flags) {
        messages.append({text, caption, flags});
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
    Platform::setMessageBoxHandler({});
    Platform::setModalHandler({});
    Platform::setClock({});
    Platform::setAnsiCodePage(0);
    Platform::setComputerName(QString());
    Platform::setOSVersion(QString());
    Platform::setExeDirectory(QString());
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
    Db::Query(database, QStringLiteral("BEGIN")).exec();
    Schema::create(database);
    if (demo)
        Schema::fillDemo(database, m_now.date());
    Db::Query(database, QStringLiteral("COMMIT")).exec();
}

QSqlDatabase TestEnv::db()
{
    if (QSqlDatabase::contains(m_connection))
        return QSqlDatabase::database(m_connection);
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(dbPath());
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!database.open())
        throw std::runtime_error(database.lastError().text().toStdString());
    return database;
}

void TestEnv::exec(const QString& sql, const QVariantList& values)
{
    Db::Query q(db(), sql);
    for (int i = 0; i < values.size(); ++i)
        q.sqlQuery().bindValue(i, Db::toDbValue(values.at(i)));
    q.exec();
}

QVariant TestEnv::scalar(const QString& sql, const QVariantList& values)
{
    Db::Query q(db(), sql);
    for (int i = 0; i < values.size(); ++i)
        q.sqlQuery().bindValue(i, Db::toDbValue(values.at(i)));
    q.open();
    if (q.isEmpty())
        return {};
    return q.value(q.columns().fieldName(0));
}

bool TestEnv::createDataModule()
{
    destroyDataModule();
    Mainmodule::bQuited = false;
    Mainmodule::MainDM = new Mainmodule::TMainDM(nullptr);
    return !Mainmodule::bQuited;
}

void TestEnv::destroyDataModule()
{
    delete Mainmodule::MainDM;
    Mainmodule::MainDM = nullptr;
}

} // namespace TestSupport
