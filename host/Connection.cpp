#include "host/Connection.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/AccessFile.h"
#include "host/Prjconst.h"
#include "platform/IniFile.h"
#include "platform/System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <arpa/inet.h>

namespace Mainmodule {

QString ConnectionSettings::describe() const
{
    if (driver == u"QSQLITE")
        return QDir::toNativeSeparators(file);
    QString server = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port > 0)
        server += u':' + QString::number(port);
    return (user.isEmpty() ? QString() : user + u'@') + server + u'/' + database;
}

namespace {

// A value for a libpq connection text, quoted as libpq reads it.
QString libpqQuoted(const QString& value)
{
    QString quoted = value;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + quoted + u'\'';
}

// A password in a file others can read is known to them: the operator is told
// (the data module shows it), and standard error says it for the admin tool.
QString readableByOthers(const QString& path)
{
    if (!(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther)))
        return {};
    const QString warning = QCoreApplication::translate("Mainmodule",
        "警告：%1 中写有数据库密码，而其他用户也能读取这个文件。"
        "请执行 chmod 600 %1，或改用 libpq 的口令文件（~/.pgpass）保存密码。")
                                .arg(QDir::toNativeSeparators(path));
    qWarning("%s", qUtf8Printable(warning));
    return warning;
}

} // namespace

ConnectionSettings readConnectionSettings(const QString& appDir)
{
    const QString path = appDir + QStringLiteral("Tavrel.ini");
    if (QFile file(path); file.exists() && !file.open(QIODevice::ReadOnly))
        throw Db::Error(QCoreApplication::translate("Mainmodule",
            "无法读取配置文件 %1，因此不知道该使用哪个数据库：%2\n\n"
            "请系统管理员让您能读取这个文件（例如把您加入一卡通的用户组），然后再试。")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
    const Platform::IniFile ini(path);
    const QString section = QStringLiteral("Database");
    auto get = [&](const char16_t* key) { return ini.readString(section, QString::fromUtf16(key)); };

    ConnectionSettings s;
    const QString driver = get(u"Driver").toLower();
    if (driver == u"qpsql" || driver == u"postgresql" || driver == u"postgres" || driver == u"psql") {
        s.driver = QStringLiteral("QPSQL");
        s.host = get(u"Host");
        if (s.host.isEmpty())
            s.host = QStringLiteral("localhost");
        s.port = get(u"Port").toInt();
        if (s.port <= 0)
            s.port = 5432;
        s.database = get(u"Database");
        s.user = get(u"User");
        // Without a password the connection is left to libpq's password file.
        s.password = get(u"Password");
        s.hasPassword = !s.password.isEmpty();
        if (s.hasPassword)
            s.warning = readableByOthers(path);
        // TLS, as libpq takes it: "sslmode=verify-full" with the authority's
        // certificate in "sslrootcert" accepts only a server whose certificate
        // it signed for that host name. Relative files are in the suite directory.
        QStringList tls;
        for (const char16_t* key : { u"sslmode", u"sslrootcert", u"sslcert", u"sslkey" }) {
            QString value = get(key);
            if (!value.isEmpty() && key != std::u16string_view(u"sslmode") && QDir::isRelativePath(value))
                value = appDir + value;
            if (!value.isEmpty())
                tls << QString::fromUtf16(key) + u'=' + libpqQuoted(value);
        }
        s.options = tls.join(u' ');
        return s;
    }
    s.driver = QStringLiteral("QSQLITE");
    QString file = get(u"Database");
    if (file.isEmpty())
        file = QStringLiteral("Kolvane.mdb");
    s.file = QDir::isAbsolutePath(file) ? file : appDir + file;
    return s;
}

ConnectionSettings serverSettings(const QString& connectionText)
{
    ConnectionSettings s;
    s.driver = QStringLiteral("QPSQL");
    QStringList extra;
    const QString text = connectionText;
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && text.at(i).isSpace())
            ++i;
    };
    auto failed = [](const QString& why) -> ConnectionSettings { throw Db::Error(why); };
    skipSpace();
    QString previousKey;
    while (i < text.size()) {
        const qsizetype keyStart = i;
        while (i < text.size() && !text.at(i).isSpace() && text.at(i) != u'=')
            ++i;
        const QString key = text.mid(keyStart, i - keyStart);
        skipSpace();
        // Words after an unquoted password are part of it: never repeat them.
        if ((key.isEmpty() || i >= text.size() || text.at(i) != u'=') && previousKey == u"password")
            return failed(
                QCoreApplication::translate("Mainmodule", "密码中有空格时，请用单引号把密码括起来（password='...'）"));
        if (key.isEmpty() || i >= text.size() || text.at(i) != u'=')
            return failed(QCoreApplication::translate("Mainmodule", "连接参数“%1”后面缺少“=”").arg(key));
        previousKey = key;
        ++i;
        skipSpace();
        QString value;
        if (i < text.size() && text.at(i) == u'\'') {
            ++i;
            bool closed = false;
            while (i < text.size()) {
                const QChar c = text.at(i++);
                if (c == u'\\' && i < text.size()) {
                    value += text.at(i++);
                } else if (c == u'\'') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                return failed(QCoreApplication::translate("Mainmodule", "连接参数“%1”的值缺少结尾的单引号").arg(key));
        } else {
            while (i < text.size() && !text.at(i).isSpace()) {
                const QChar c = text.at(i++);
                if (c == u'\\' && i < text.size())
                    value += text.at(i++);
                else
                    value += c;
            }
        }
        skipSpace();
        if (key == u"host") {
            s.host = value;
        } else if (key == u"port") {
            bool ok = false;
            s.port = value.toInt(&ok);
            if (!ok || s.port <= 0 || s.port > 65535)
                return failed(QCoreApplication::translate("Mainmodule", "端口“%1”不正确").arg(value));
        } else if (key == u"dbname") {
            s.database = value;
        } else if (key == u"user") {
            s.user = value;
        } else if (key == u"password") {
            s.password = value;
            s.hasPassword = true;
        } else {
            // Handed to libpq, which quotes the same way.
            extra << key + u'=' + libpqQuoted(value);
        }
    }
    s.options = extra.join(u' ');
    return s;
}

namespace {

bool lockedError(const QSqlError& error)
{
    const QString native = error.nativeErrorCode();
    return native == u"5" || native == u"6" || error.text().contains(u"locked", Qt::CaseInsensitive);
}

// The admin tool's command that creates the database the program looked for: the
// tool beside the executable by its full path unless that is the one on PATH, and
// no file name for the suite directory's own database.
QString createCommand(const QString& verb, const QString& file)
{
    const QString dir = QCoreApplication::applicationDirPath();
    QString tool = QStringLiteral("kolvane-db");
    const QString beside = dir + u'/' + tool;
    if (QFileInfo(beside).isExecutable() && QStandardPaths::findExecutable(tool) != beside)
        tool = beside;
    QString command = tool + u' ' + verb;
    if (QFileInfo(file) != QFileInfo(Platform::suiteDirectory() + QStringLiteral("Kolvane.mdb")))
        command += QStringLiteral(" \"%1\"").arg(file);
    return command;
}

QString openSqlite(const ConnectionSettings& s, QSqlDatabase& db)
{
    const QString where = QDir::toNativeSeparators(s.file);
    const QFileInfo info(s.file);
    if (!info.exists())
        return QCoreApplication::translate("Mainmodule",
            "找不到数据库文件：\n%1\n\n建立演示数据库，请执行：\n    %2\n"
            "建立空数据库（操作员 admin，密码 admin），请执行：\n    %3\n\n"
            "也可以在 Tavrel.ini 的 [Database] 中指定其他数据库。")
            .arg(where, createCommand(QStringLiteral("demo"), s.file), createCommand(QStringLiteral("init"), s.file));
    if (!info.isFile())
        return QCoreApplication::translate("Mainmodule", "数据库路径不是文件：\n%1").arg(where);
    QFile file(s.file);
    if (!file.open(QIODevice::ReadOnly))
        return QCoreApplication::translate("Mainmodule", "没有权限读取数据库文件：\n%1\n\n%2")
            .arg(where, file.errorString());
    const QByteArray header = file.read(20);
    file.close();
    if (AccessFile::isAccessHeader(header)) {
        // A site's database from the Windows suite, copied in: it stays as it
        // is; the import makes a database of this system from it.
        const QString aside = info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-access.")
            + (info.suffix().isEmpty() ? QStringLiteral("mdb") : info.suffix()));
        return QCoreApplication::translate("Mainmodule",
            "数据库文件是 Windows 版一卡通系统的 Access 数据库，本程序不能直接打开它：\n%1\n\n"
            "文件没有被改动。请把它改名保存，再导入为本系统的数据库：\n    mv \"%1\" \"%2\"\n    %3")
            .arg(where, QDir::toNativeSeparators(aside),
                createCommand(QStringLiteral("import \"%1\"").arg(QDir::toNativeSeparators(aside)), s.file));
    }
    if (header.left(16) != QByteArrayLiteral("SQLite format 3\0"))
        return QCoreApplication::translate(
            "Mainmodule", "数据库文件不是本系统使用的 SQLite 数据库（可能是旧版的 Access 数据库文件或已损坏）：\n%1")
            .arg(where);
    if (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable())
        return QCoreApplication::translate("Mainmodule",
            "没有权限写入数据库文件或其所在的目录：\n%1\n\n"
            "目录属于 kolvane 组时，请管理员把您加入该组，重新登录桌面后再试。")
            .arg(where);

    // mode=rw: never create a file that is not there.
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString() + QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(Db::sqliteBusyTimeoutMs));
    if (!db.open())
        return QCoreApplication::translate("Mainmodule", "无法打开数据库文件：\n%1\n\n%2")
            .arg(where, db.lastError().text());

    QSqlQuery check(db);
    if (!check.exec(Db::sqlSuiteTablesSqlite)) {
        const QSqlError error = check.lastError();
        db.close();
        if (lockedError(error))
            return QCoreApplication::translate("Mainmodule", "数据库文件正被其他程序锁定，请稍后再试：\n%1").arg(where);
        return QCoreApplication::translate("Mainmodule", "无法读取数据库文件：\n%1\n\n%2").arg(where, error.text());
    }
    if (!check.next() || check.value(0).toInt() < 2) {
        check.finish();
        db.close();
        return QCoreApplication::translate("Mainmodule", "数据库文件中没有一卡通系统的数据表（Users、Accounts）：\n%1")
            .arg(where);
    }
    check.finish();
    // Write-ahead log with NORMAL sync: every committed row survives a crash of the
    // program, and committing one row at a time stays cheap.
    for (const QString& pragma : Db::sqlSessionPragmasSqlite) {
        QSqlQuery q(db);
        if (!q.exec(pragma)) {
            const QSqlError error = q.lastError();
            q.finish();
            db.close();
            if (lockedError(error))
                return QCoreApplication::translate("Mainmodule", "数据库文件正被其他程序锁定，请稍后再试：\n%1")
                    .arg(where);
            return QCoreApplication::translate("Mainmodule", "无法设置数据库文件：\n%1\n\n%2").arg(where, error.text());
        }
    }
    return {};
}

bool containsAny(const QString& text, std::initializer_list<const char16_t*> signs)
{
    for (const char16_t* sign : signs) {
        if (text.contains(QString::fromUtf16(sign), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// libpq's messages come in the language of the workstation (connection) or of
// the server (refusals): both English and Chinese are recognised.
QString postgresOpenMessage(const ConnectionSettings& s, const QString& error)
{
    const QString where = s.describe();
    if (containsAny(error, { u"no password supplied" }))
        return s.hasPassword
            ? QCoreApplication::translate("Mainmodule", "数据库服务器拒绝登录，用户名或密码不正确：\n%1\n\n%2")
                  .arg(where, error)
            : QCoreApplication::translate("Mainmodule",
                "数据库服务器要求密码，但 Tavrel.ini 的 [Database] 中没有 Password，"
                "口令文件（~/.pgpass 或 PGPASSFILE）中也没有这个用户的密码：\n%1\n\n%2")
                  .arg(where, error);
    if (containsAny(error, { u"password authentication failed", u"authentication failed", u"认证失败" }))
        return QCoreApplication::translate("Mainmodule", "数据库服务器拒绝登录，用户名或密码不正确：\n%1\n\n%2")
            .arg(where, error);
    if (containsAny(error, { u"does not exist", u"不存在" }))
        return QCoreApplication::translate("Mainmodule", "数据库服务器上没有这个数据库或用户：\n%1\n\n%2")
            .arg(where, error);
    // The server answered but refused (no pg_hba.conf entry, too many
    // connections, starting up...).
    if (containsAny(error, { u"FATAL", u"致命错误" }))
        return QCoreApplication::translate("Mainmodule", "数据库服务器拒绝连接：\n%1\n\n%2").arg(where, error);
    return QCoreApplication::translate(
        "Mainmodule", "无法连接数据库服务器，请检查服务器是否已启动，以及服务器的地址和端口是否正确：\n%1\n\n%2")
        .arg(where, error);
}

// Whether every host a connection may go to is this machine: a Unix socket
// (no host, or a directory), "localhost" or a loopback address. Host lists
// ("db1,db2") count only when all of them are.
bool onThisMachine(const QString& hosts)
{
    const QString listed = hosts.isEmpty() ? qEnvironmentVariable("PGHOST") : hosts;
    for (const QString& entry : listed.split(u',')) {
        const QString host = entry.trimmed();
        if (host.isEmpty() || host.startsWith(u'/') || host.startsWith(u'@')
            || host.compare(u"localhost", Qt::CaseInsensitive) == 0)
            continue;
        const QByteArray text = host.toLatin1();
        in_addr v4 {};
        in6_addr v6 {};
        if (::inet_pton(AF_INET, text.constData(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127)
            continue;
        if (::inet_pton(AF_INET6, text.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6))
            continue;
        return false;
    }
    return true;
}

// The TLS settings a connection gets unless it names its own: a server on
// another machine is reached only encrypted, and only when its certificate
// checks against the authority's (sslrootcert, else libpq's
// ~/.postgresql/root.crt) for the name it is reached by.
QString defaultTls(const ConnectionSettings& s)
{
    if (s.options.contains(QStringLiteral("sslmode=")) || qEnvironmentVariableIsSet("PGSSLMODE")
        || onThisMachine(s.host))
        return {};
    return QStringLiteral("sslmode=verify-full");
}

bool tlsFailure(const QString& error)
{
    return containsAny(error, { u"SSL", u"certificate", u"证书" });
}

QString openPostgres(const ConnectionSettings& s, QSqlDatabase& db, bool requireSuiteTables)
{
    if (!s.host.isEmpty())
        db.setHostName(s.host);
    if (s.port > 0)
        db.setPort(s.port);
    db.setDatabaseName(s.database);
    db.setUserName(s.user);
    if (s.hasPassword)
        db.setPassword(s.password);
    QString options = QStringLiteral("connect_timeout=5 application_name=kolvane");
    if (!s.options.isEmpty())
        options += u' ' + s.options;
    if (const QString tls = defaultTls(s); !tls.isEmpty())
        options += u' ' + tls;
    db.setConnectOptions(options);
    if (!db.open()) {
        const QString error = db.lastError().text().trimmed();
        if (tlsFailure(error))
            return QCoreApplication::translate("Mainmodule",
                "无法连接数据库服务器 %1：没有与它建立经过验证的加密连接。服务器不提供加密连接，"
                "或者它的证书不能用本机所信任的证书颁发机构验证。\n\n"
                "请把签发服务器证书的机构证书安装为 ~/.postgresql/root.crt，或者在 Tavrel.ini 的 [Database] "
                "中用 sslrootcert= 指定它（相对路径在一卡通目录中）。只在可信的网络上，"
                "才可以在 [Database] 中写 sslmode=disable，不加密连接。\n\n%2")
                .arg(s.describe(), error);
        return postgresOpenMessage(s, error);
    }
    Db::prepareSession(db);
    if (!requireSuiteTables)
        return {};

    const QString where = s.describe();
    QSqlQuery check(db);
    if (!check.exec(Db::sqlSuiteTablesPg)) {
        const QString error = check.lastError().text().trimmed();
        check.finish();
        db.close();
        return QCoreApplication::translate("Mainmodule", "无法读取数据库：\n%1\n\n%2").arg(where, error);
    }
    const bool found = check.next() && check.value(0).toInt() >= 2;
    check.finish();
    if (!found) {
        db.close();
        return QCoreApplication::translate(
            "Mainmodule", "数据库中没有一卡通系统的数据表（Users、Accounts）：\n%1\n\n请用 kolvane-db 建立数据库。")
            .arg(where);
    }
    return {};
}

} // namespace

void openConnection(const ConnectionSettings& settings, const QString& connectionName, bool requireSuiteTables)
{
    if (!QSqlDatabase::isDriverAvailable(settings.driver))
        throw Db::Error(QCoreApplication::translate("Mainmodule", "缺少数据库驱动 %1，请安装对应的 Qt 数据库驱动。")
                            .arg(settings.driver));
    QString message;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(settings.driver, connectionName);
        message
            = settings.driver == u"QPSQL" ? openPostgres(settings, db, requireSuiteTables) : openSqlite(settings, db);
    }
    if (!message.isEmpty()) {
        QSqlDatabase::removeDatabase(connectionName);
        throw Db::Error(message);
    }
}

} // namespace Mainmodule
