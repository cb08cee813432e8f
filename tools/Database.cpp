#include "tools/Database.h"

#include "db/Query.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "platform/System.h"

#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QTextStream>
#include <unistd.h>

namespace Tool {

namespace {

const QString connectionName = QStringLiteral("kolvane-db");

// Temporary files of a run that was killed (they may hold a whole database,
// passwords included): ours, untouched for ten minutes, so not another run's
// that is still writing. Each is removed and said on standard error.
void removeLeftovers(const QString& dir, const QString& name)
{
    const QString pattern = QStringLiteral(".%1.*.part").arg(name);
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-600);
    for (const QFileInfo& info : QDir(dir).entryInfoList({ pattern }, QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (info.ownerId() != ::geteuid() || info.lastModified() > stale)
            continue;
        if (QFile::remove(info.filePath()))
            QTextStream(stderr) << QCoreApplication::translate("Tool", "已删除上次中断时留下的临时文件：%1")
                                       .arg(info.filePath())
                                << '\n';
    }
}

// Why a server's database cannot take the suite's tables; empty when it can.
QString unfitServer(const QSqlDatabase& db, const QString& where)
{
    const QString encoding = Db::Query(db, Db::sqlDatabaseEncodingPg).open().text(QStringLiteral("name"));
    if (encoding != u"UTF8")
        return QCoreApplication::translate("Tool",
            "数据库 %1 的字符集是 %2，一卡通系统需要 UTF8。请这样建立数据库：\n"
            "  createdb -E UTF8 -T template0 数据库名")
            .arg(where, encoding);
    QStringList existing;
    Db::Query tables(db, Db::sqlSuiteTableNamesPg);
    for (const Db::Row& row : tables.open().rows())
        existing << row.text(QStringLiteral("table_name"));
    if (!existing.isEmpty())
        return QCoreApplication::translate("Tool", "数据库 %1 中已经有一卡通系统的数据表（%2），不会改动。")
            .arg(where, existing.join(QCoreApplication::translate("Tool", "、")));
    return {};
}

} // namespace

int fail(const QString& message, int code)
{
    QTextStream(stderr) << "kolvane-db: " << message << '\n';
    return code;
}

void say(const QString& message)
{
    QTextStream(stdout) << message << '\n';
}

DatabaseOptions::DatabaseOptions(QCommandLineParser& parser)
    : m_db(QStringLiteral("db"), QString(), QStringLiteral("file"))
    , m_server(QStringLiteral("server"), QString(), QStringLiteral("text"))
{
    parser.addOption(m_db);
    parser.addOption(m_server);
}

std::optional<Mainmodule::ConnectionSettings> DatabaseOptions::named(
    const QCommandLineParser& parser, const QStringList& files) const
{
    const QStringList all = parser.values(m_db) + files;
    const QStringList servers = parser.values(m_server);
    if (all.size() + servers.size() > 1) {
        fail(tr("只能用 --server 或 --db 指定一个数据库"), Usage);
        return std::nullopt;
    }
    Mainmodule::ConnectionSettings settings;
    if (!all.isEmpty()) {
        if (all.first().isEmpty()) {
            fail(tr("数据库文件名不能为空"), Usage);
            return std::nullopt;
        }
        settings.driver = QStringLiteral("QSQLITE");
        settings.file = all.first();
    } else if (!servers.isEmpty()) {
        try {
            settings = Mainmodule::serverSettings(servers.first());
        } catch (const Db::Error& e) {
            fail(tr("连接参数不正确：%1").arg(Platform::messageOf(e)), Usage);
            return std::nullopt;
        }
        // A command line is visible to every user of the machine (ps).
        if (settings.hasPassword) {
            fail(tr("--server 的连接参数中不能写密码（password=…）：命令行会被本机的其他用户看到。"
                    "请把密码写入 libpq 的口令文件 ~/.pgpass（权限 600），或设置环境变量 PGPASSWORD。"),
                Usage);
            return std::nullopt;
        }
    }
    return settings;
}

std::optional<Mainmodule::ConnectionSettings> DatabaseOptions::orSuite(const QCommandLineParser& parser) const
{
    std::optional<Mainmodule::ConnectionSettings> settings = named(parser);
    if (settings && settings->driver.isEmpty())
        *settings = Mainmodule::readConnectionSettings(Platform::suiteDirectory());
    return settings;
}

int withDatabase(const Mainmodule::ConnectionSettings& given, const std::function<int(const QSqlDatabase&)>& work)
{
    Mainmodule::ConnectionSettings settings = given;
    if (settings.driver == u"QSQLITE")
        settings.file = QFileInfo(settings.file).absoluteFilePath();
    try {
        Mainmodule::openConnection(settings, connectionName);
    } catch (const Db::Error& e) {
        QSqlDatabase::removeDatabase(connectionName);
        return fail(Platform::messageOf(e), CannotOpen);
    }
    int code = Done;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        try {
            code = work(db);
        } catch (const std::exception& e) {
            code = fail(Platform::messageOf(e), Refused);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return code;
}

int buildFile(const QString& path, const Fill& fill, const QString& failed)
{
    if (const int code = checkNewFile(path); code != Done)
        return code;
    if (const QString error = Import::buildNewFile(path, fill); !error.isEmpty())
        return fail(failed.arg(path, error), Refused);
    return Done;
}

int checkNewFile(const QString& path)
{
    // A link planted under the name counts as a file, even when it points nowhere.
    if (const QFileInfo existing(path); existing.exists() || existing.isSymLink())
        return fail(QCoreApplication::translate("Tool", "文件已存在，不会覆盖：%1").arg(path), Exists);
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!dir.isDir())
        return fail(QCoreApplication::translate("Tool", "目录不存在：%1").arg(dir.filePath()), Refused);
    if (!dir.isWritable())
        return fail(QCoreApplication::translate("Tool",
                        "没有权限在目录 %1 中建立文件。该目录属于 kolvane 组时，请管理员把您加入该组"
                        "（adduser 用户名 kolvane），重新登录后再试。")
                        .arg(dir.filePath()),
            Refused);
    removeLeftovers(dir.filePath(), QFileInfo(path).fileName());
    return Done;
}

int buildOnServer(const Mainmodule::ConnectionSettings& settings, const Fill& fill, const QString& failed)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(QCoreApplication::translate(
                        "Tool", "缺少 PostgreSQL 数据库驱动（Qt 的 QPSQL，Debian 软件包 libqt6sql6-psql）"),
            CannotOpen);
    try {
        Mainmodule::openConnection(settings, connectionName, false);
    } catch (const Db::Error& e) {
        return fail(Platform::messageOf(e), CannotOpen);
    }
    const QString where = settings.describe();
    int code = Done;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        try {
            if (const QString unfit = unfitServer(db, where); !unfit.isEmpty())
                code = fail(unfit, Exists);
            else
                // PostgreSQL undoes the new tables too when anything fails.
                Db::inTransaction(db, [&] { fill(db); });
        } catch (const std::exception& e) {
            code = fail(failed.arg(where, Platform::messageOf(e)), Refused);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return code;
}

} // namespace Tool
