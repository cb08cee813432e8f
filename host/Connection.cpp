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
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <arpa/inet.h>
#include <libpq-fe.h>
#include <optional>
#include <poll.h>

namespace Mainmodule {

QString ConnectionSettings::describe() const
{
    if (driver == u"QSQLITE")
        return QDir::toNativeSeparators(file);
    QString server = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (!ports.isEmpty())
        server += u':' + ports;
    else if (port > 0)
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

// A host list as libpq takes it: "db1, db2" is "db1,db2".
QString hostList(const QString& text)
{
    QStringList hosts = text.split(u',');
    for (QString& host : hosts)
        host = host.trimmed();
    return hosts.join(u',');
}

// A port, or a list of them as libpq takes it: one for every host of
// `s.host` ("5432,5433"), an empty entry for libpq's default. Sets the first
// port and, for a list, the whole list; false when the text is no such thing.
bool takePorts(ConnectionSettings& s, const QString& text)
{
    const QStringList entries = text.split(u',');
    const qsizetype hosts = s.host.isEmpty() ? 1 : s.host.split(u',').size();
    if (entries.size() > 1 && entries.size() != hosts)
        return false;
    QStringList ports;
    for (const QString& entry : entries) {
        bool ok = false;
        const int port = entry.trimmed().toInt(&ok);
        if (entry.trimmed().isEmpty() && entries.size() > 1) {
            ports << QString();
            continue;
        }
        if (!ok || port <= 0 || port > 65535)
            return false;
        ports << QString::number(port);
    }
    s.port = ports.first().toInt();
    s.ports = ports.size() > 1 ? ports.join(u',') : QString();
    return true;
}

QString badPort(const QString& text)
{
    return QCoreApplication::translate("Mainmodule",
        "端口“%1”不正确：应当是一个端口号，或者为每台服务器各写一个端口号，按服务器的顺序用逗号隔开（例如 5432,5432）。")
        .arg(text);
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
        s.host = hostList(get(u"Host"));
        if (s.host.isEmpty())
            s.host = QStringLiteral("localhost");
        // A port that is not one must not quietly become another.
        s.port = 5432;
        if (const QString ports = get(u"Port"); !ports.isEmpty() && !takePorts(s, ports))
            throw Db::Error(QCoreApplication::translate("Mainmodule", "配置文件 %1 的 [Database] 中：%2")
                                .arg(QDir::toNativeSeparators(path), badPort(ports)));
        s.database = get(u"Database");
        s.user = get(u"User");
        // Without a password the connection is left to libpq's password file.
        s.password = get(u"Password");
        s.hasPassword = !s.password.isEmpty();
        if (s.hasPassword)
            s.warning = readableByOthers(path);
        // TLS, as libpq takes it: "sslmode=verify-full" with the authority's
        // certificate in "sslrootcert" accepts only a server whose certificate
        // it signed for that host name. Relative files are in the suite
        // directory. With several servers, which of them to use.
        QStringList options;
        for (const char16_t* key :
            { u"sslmode", u"sslrootcert", u"sslcert", u"sslkey", u"target_session_attrs" }) {
            QString value = get(key);
            if (!value.isEmpty() && key != std::u16string_view(u"sslmode")
                && key != std::u16string_view(u"target_session_attrs") && QDir::isRelativePath(value))
                value = appDir + value;
            if (!value.isEmpty())
                options << QString::fromUtf16(key) + u'=' + libpqQuoted(value);
        }
        s.options = options.join(u' ');
        return s;
    }
    s.driver = QStringLiteral("QSQLITE");
    QString file = get(u"Database");
    if (file.isEmpty())
        file = QStringLiteral("Kolvane.mdb");
    s.file = QDir::isAbsolutePath(file) ? file : appDir + file;
    return s;
}

namespace {

using Pairs = QList<std::pair<QString, QString>>;

// The keys and values of a connection text in libpq's "key=value" form.
Pairs keywordPairs(const QString& text)
{
    Pairs pairs;
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && text.at(i).isSpace())
            ++i;
    };
    auto failed = [](const QString& why) -> Pairs { throw Db::Error(why); };
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
        pairs.append({ key, value });
    }
    return pairs;
}

// The keys and values of a connection URI ("postgres://..."), as libpq reads
// it. libpq's own complaint may repeat the URI, password and all: it is not
// shown.
Pairs uriPairs(const QString& text)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        throw Db::Error(QCoreApplication::translate("Mainmodule",
            "连接 URI 的写法不正确，应当是 postgres://用户@主机:端口,主机:端口/数据库?参数=值"));
    Pairs pairs;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val)
            pairs.append({ QString::fromUtf8(option->keyword), QString::fromUtf8(option->val) });
    }
    PQconninfoFree(options);
    return pairs;
}

} // namespace

ConnectionSettings serverSettings(const QString& connectionText)
{
    ConnectionSettings s;
    s.driver = QStringLiteral("QPSQL");
    const QString text = connectionText.trimmed();
    const bool uri = text.startsWith(u"postgres://") || text.startsWith(u"postgresql://");
    QStringList extra;
    std::optional<QString> ports;
    for (const auto& [key, value] : uri ? uriPairs(text) : keywordPairs(text)) {
        if (key == u"host") {
            s.host = hostList(value);
        } else if (key == u"port") {
            ports = value;
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
    if (ports && !takePorts(s, *ports))
        throw Db::Error(badPort(*ports));
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
    // Every server listed is a standby: none takes writes, or none yet while
    // a standby is being promoted.
    if (containsAny(error, { u"read-only", u"只读" }))
        return QCoreApplication::translate("Mainmodule",
            "列出的数据库服务器都只能读取（都是备用服务器），现在没有可以写入的主服务器：\n%1\n\n"
            "主服务器刚停止时，备用服务器接替它需要一点时间，请稍后再试。\n\n%2")
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
    if (s.port > 0 && s.ports.isEmpty())
        db.setPort(s.port);
    db.setDatabaseName(s.database);
    db.setUserName(s.user);
    if (s.hasPassword)
        db.setPassword(s.password);
    QString options = QStringLiteral("connect_timeout=5 application_name=kolvane");
    if (!s.ports.isEmpty())
        options += QStringLiteral(" port=") + libpqQuoted(s.ports);
    // Of several servers (a primary and its standbys) only the one that takes
    // writes, whichever it is now, unless the settings say otherwise.
    if ((s.host.contains(u',') || !s.ports.isEmpty()) && !s.options.contains(QStringLiteral("target_session_attrs=")))
        options += QStringLiteral(" target_session_attrs=read-write");
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

bool closeIfEnded(QSqlDatabase& db)
{
    if (Db::engineOf(db) != Db::Engine::PostgreSQL || !db.isOpen())
        return false;
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return false;
    PGconn* conn = *static_cast<PGconn* const*>(handle.constData());
    bool ended = !conn || PQstatus(conn) != CONNECTION_OK;
    // Idle between operations, a session has nothing to read unless the
    // server said goodbye or the link closed.
    if (!ended && PQtransactionStatus(conn) == PQTRANS_IDLE) {
        pollfd socket { PQsocket(conn), POLLIN, 0 };
        ended = ::poll(&socket, 1, 0) > 0 && (!PQconsumeInput(conn) || PQstatus(conn) != CONNECTION_OK);
    }
    if (ended)
        db.close();
    return ended;
}

} // namespace Mainmodule
