#include "db/Query.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QTimeZone>
#include <sqlite3.h>

namespace Db {

Engine engineOf(const QSqlDatabase& db)
{
    const QString driver = db.driverName();
    if (driver == u"QSQLITE")
        return Engine::SQLite;
    if (driver == u"QPSQL")
        return Engine::PostgreSQL;
    return Engine::Other;
}

Error::Error(const QString& message, Kind kind)
    : Platform::Failure(message)
    , m_kind(kind)
{
}

bool isConnectionLost(const QSqlDatabase& db, const QSqlError& error)
{
    if (!db.isOpen())
        return true;
    const QString code = error.nativeErrorCode();
    // SQLSTATE class 08 (connection exception), 57P01-57P03 (server shut down or
    // restarting).
    if (code.startsWith(u"08") || code == u"57P01" || code == u"57P02" || code == u"57P03")
        return true;
    // libpq reports a broken link without a SQLSTATE, in English or in Chinese.
    const QString text = error.databaseText();
    for (const char16_t* sign : { u"server closed the connection", u"no connection to the server",
             u"terminating connection", u"could not receive data from server", u"could not send data to server",
             u"服务器意外地关闭了联接", u"没有到服务器的联接", u"中断联接" }) {
        if (text.contains(QString::fromUtf16(sign), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isDuplicateKey(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    // PostgreSQL: SQLSTATE 23505. SQLite: SQLITE_CONSTRAINT (19), or its
    // extended codes for a unique or primary key (2067, 1555).
    if (code == u"23505" || code == u"2067" || code == u"1555")
        return true;
    return code == u"19" && error.databaseText().contains(u"UNIQUE", Qt::CaseInsensitive);
}

void inTransaction(const QSqlDatabase& db, const std::function<void()>& work)
{
    QSqlDatabase session = db;
    if (!session.transaction())
        throw errorFor(QCoreApplication::translate("Tool", "无法开始事务"), session, session.lastError());
    try {
        work();
    } catch (...) {
        session.rollback();
        throw;
    }
    if (!session.commit()) {
        const Error error
            = errorFor(QCoreApplication::translate("Tool", "无法提交"), session, session.lastError());
        session.rollback();
        throw error;
    }
}

Error errorFor(const QString& failed, QSqlDatabase db, const QSqlError& error)
{
    const QString detail = error.text().trimmed();
    if (isConnectionLost(db, error)) {
        // A session the server has ended is closed at once (the driver would
        // do so only at the next statement), so that the data module opens a
        // fresh one for the next operation. The operator is told what became
        // of the operation, not the driver's words.
        if (db.isOpen())
            db.close();
        return Error(QCoreApplication::translate("Db::Query",
                         "与数据库服务器的连接已中断（%1）。\n请检查数据库服务器和网络，然后再试一次。")
                         .arg(failed),
            Error::Kind::ConnectionLost);
    }
    if (isDuplicateKey(error))
        return Error(
            QCoreApplication::translate("Db::Query", "%1：数据库中已有相同关键字的记录。\n\n%2").arg(failed, detail),
            Error::Kind::DuplicateKey);
    return Error(QCoreApplication::translate("Db::Query", "%1：%2").arg(failed, detail), Error::Kind::Failed);
}

StorageFailure sqliteStorageFailure(int resultCode)
{
    switch (resultCode & 0xff) {
    case SQLITE_FULL:
        return StorageFailure::Full;
    case SQLITE_READONLY:
        return StorageFailure::ReadOnly;
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
        return StorageFailure::Broken;
    default:
        return StorageFailure::None;
    }
}

StorageFailure pgStorageFailure(const QByteArray& sqlState)
{
    // Class 53: insufficient resources (53100 disk full); 25006: a read-only
    // transaction (a standby, default_transaction_read_only); class 58 and
    // XX001/XX002: input/output errors and damaged data on the server.
    if (sqlState.startsWith("53"))
        return StorageFailure::Full;
    if (sqlState == "25006")
        return StorageFailure::ReadOnly;
    if (sqlState.startsWith("58") || sqlState == "XX001" || sqlState == "XX002")
        return StorageFailure::Broken;
    return StorageFailure::None;
}

Error storageError(StorageFailure failure, Engine engine, const QString& place, const QString& detail)
{
    const bool server = engine == Engine::PostgreSQL;
    QString what;
    switch (failure) {
    case StorageFailure::Full:
        what = server ? QCoreApplication::translate("Db::Query",
                   "数据库服务器 %1 的资源不足（磁盘空间已满或内存不足），无法继续保存。\n"
                   "请在服务器上腾出空间后再试一次。")
                      : QCoreApplication::translate("Db::Query",
                          "数据库所在的磁盘已满，无法继续保存。\n请在目录 %1 所在的磁盘上腾出空间后再试一次。");
        break;
    case StorageFailure::ReadOnly:
        what = server
            ? QCoreApplication::translate(
                "Db::Query", "数据库服务器 %1 只允许读取，无法继续保存。\n请让管理员确认这个数据库可以写入后再试一次。")
            : QCoreApplication::translate("Db::Query",
                "数据库文件不能写入，无法继续保存。\n请确认目录 %1 中的数据库文件和目录本身可以写入后再试一次。");
        break;
    case StorageFailure::Broken:
    case StorageFailure::None:
        what = server ? QCoreApplication::translate(
                   "Db::Query", "数据库服务器 %1 读写数据时出错，无法继续保存。\n请让管理员检查服务器后再试一次。")
                      : QCoreApplication::translate(
                          "Db::Query", "读写数据库文件时出错，无法继续保存。\n请检查目录 %1 所在的磁盘后再试一次。");
        break;
    }
    return Error(what.arg(place) + QStringLiteral("\n\n") + detail, Error::Kind::StorageFailed);
}

QString dateTimeText(const QDateTime& value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime toDateTime(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        // A driver may attach UTC or an offset to a TIMESTAMP without zone: the
        // fields as read are the wall-clock time that was written.
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid() || dt.timeSpec() == Qt::LocalTime)
            return dt;
        return QDateTime(dt.date(), dt.time());
    }
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    default:
        break;
    }
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return {};
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(text.left(10), Qt::ISODate);
        if (d.isValid() && text.size() == 10)
            dt = d.startOfDay();
    }
    if (dt.isValid() && dt.timeSpec() != Qt::LocalTime) // "...Z" or an offset: keep the wall-clock time
        dt = QDateTime(dt.date(), dt.time());
    return dt;
}

QVariant toDbValue(const QVariant& value)
{
    if (value.isNull())
        return value;
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return dateTimeText(value.toDateTime());
    case QMetaType::QDate:
        return dateTimeText(value.toDate().startOfDay());
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    default:
        return value;
    }
}

QString storedName(const QSqlDatabase& db, const QString& name)
{
    if (engineOf(db) != Engine::PostgreSQL)
        return name;
    // The server folds A-Z only in a UTF8 database: "Ärzte" stays as it is.
    QString folded = name;
    for (QChar& c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(char16_t(c.unicode() + 32));
    }
    return folded;
}

QString quotedName(const QSqlDatabase& db, const QString& name)
{
    return db.driver()->escapeIdentifier(storedName(db, name), QSqlDriver::FieldName);
}

int columnLength(const QSqlDatabase& db, const QString& table, const QString& column)
{
    if (engineOf(db) != Engine::SQLite) {
        const QSqlField field = db.record(storedName(db, table)).field(storedName(db, column));
        return field.isValid() && field.length() > 0 ? field.length() : 0;
    }
    static const QRegularExpression length(QStringLiteral("\\((\\d+)\\)"));
    Query info(db, QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(db, table)));
    for (const Row& row : info.open().rows()) {
        if (row.text(QStringLiteral("name")).compare(column, Qt::CaseInsensitive) != 0)
            continue;
        const QRegularExpressionMatch m = length.match(row.text(QStringLiteral("type")));
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }
    return 0;
}

void prepareSession(QSqlDatabase& db)
{
    if (engineOf(db) != Engine::PostgreSQL || !db.isOpen())
        return;
    // TIMESTAMP columns hold wall-clock time. Qt turns a bound QDateTime into
    // UTC, which the server turns back with the session's zone: make that the
    // machine's own, by name, or by today's offset when the server does not
    // know the name.
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT set_config('TimeZone', ?, false)"));
    q.bindValue(0, QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    if (q.exec())
        return;
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    const QString sign = offset < 0 ? QStringLiteral("-") : QStringLiteral("+");
    QSqlQuery fallback(db);
    fallback.exec(QStringLiteral("SET TIME ZONE INTERVAL '%1%2:%3' HOUR TO MINUTE")
                      .arg(sign)
                      .arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0'))
                      .arg(qAbs(offset) % 3600 / 60, 2, 10, QLatin1Char('0')));
}

bool reopen(QSqlDatabase& db)
{
    if (db.isOpen())
        return true;
    if (!db.open())
        return false;
    prepareSession(db);
    return true;
}

Query::Query(const QSqlDatabase& db, const QString& sql)
    : m_db(db)
    , m_query(db)
    , m_sql(sql)
{
    m_query.setForwardOnly(true);
    // PostgreSQL prepares only queries and row changes, not BEGIN or CREATE:
    // a statement without markers runs as it stands.
    m_direct = engineOf(db) == Engine::PostgreSQL && !sql.contains(u':') && !sql.contains(u'?');
    // A statement the engine refuses is reported when it is run, as every other failure.
    m_prepared = m_direct || m_query.prepare(sql);
}

void Query::bind(const QString& name, const QVariant& value)
{
    const QString marker = name.startsWith(u':') ? name : u':' + name;
    m_query.bindValue(marker, toDbValue(value));
}

void Query::bindInOrder(const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i)
        m_query.bindValue(i, toDbValue(values.at(i)));
}

bool Query::run()
{
    if (!m_prepared)
        return false;
    return m_direct ? m_query.exec(m_sql) : m_query.exec();
}

Query& Query::open()
{
    if (!run())
        fail(QCoreApplication::translate("Db::Query", "无法查询数据库"));
    m_columns = m_query.record();
    m_rows.clear();
    const int count = m_columns.count();
    while (m_query.next()) {
        QVector<QVariant> row(count);
        for (int i = 0; i < count; ++i) {
            QVariant v = m_query.value(i);
            // Date-times as SQLite gives them: the canonical text.
            if (v.typeId() == QMetaType::QDateTime && !v.isNull())
                v = dateTimeText(toDateTime(v));
            row[i] = std::move(v);
        }
        m_rows.append(std::move(row));
    }
    if (m_query.lastError().isValid())
        fail(QCoreApplication::translate("Db::Query", "无法读取查询结果"));
    m_query.finish();
    return *this;
}

void Query::exec()
{
    if (!run())
        fail(QCoreApplication::translate("Db::Query", "无法执行数据库语句"));
    m_query.finish();
}

QList<Row> Query::rows() const
{
    QList<Row> all;
    all.reserve(rowCount());
    for (int i = 0; i < rowCount(); ++i)
        all.append(Row(this, i));
    return all;
}

int Query::columnIndex(const QString& name) const
{
    const int index = m_columns.indexOf(name);
    if (index < 0)
        throw Error(QCoreApplication::translate("Db::Query", "字段“%1”不存在（%2）").arg(name, m_sql));
    return index;
}

QVariant Query::valueAt(int row, const QString& name) const
{
    const int index = columnIndex(name);
    if (row < 0 || row >= m_rows.size())
        return {};
    return m_rows.at(row).at(index);
}

QVariant Row::value(const QString& name) const
{
    return m_query->valueAt(m_index, name);
}

QString Row::text(const QString& name) const
{
    const QVariant v = value(name);
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)
        return dateTimeText(toDateTime(v));
    return v.isNull() ? QString() : v.toString();
}

QDateTime Row::dateTime(const QString& name) const
{
    return toDateTime(value(name));
}

void Query::fail(const QString& what) const
{
    const Error error = errorFor(what, m_db, m_query.lastError());
    if (error.connectionLost())
        throw error;
    throw Error(Platform::messageOf(error) + u'\n' + m_sql, error.kind());
}

void forEachRow(const QSqlDatabase& db, const QString& sql, const QVariantList& values, const QStringList& columns,
    const std::function<void(const QVariant* values)>& row, const QString& failure)
{
    const auto failed = [&](const QString& what, const QSqlError& error) {
        const Error e = errorFor(what, db, error);
        if (e.connectionLost())
            throw e;
        throw Error(Platform::messageOf(e) + u'\n' + sql, e.kind());
    };
    const QString what = failure.isEmpty() ? QCoreApplication::translate("Db::Query", "无法查询数据库") : failure;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        failed(what, q.lastError());
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, toDbValue(values.at(i)));
    if (!q.exec())
        failed(what, q.lastError());
    const QSqlRecord record = q.record();
    std::vector<int> index;
    for (const QString& name : columns) {
        index.push_back(record.indexOf(name));
        if (index.back() < 0)
            throw Error(QCoreApplication::translate("Db::Query", "字段“%1”不存在（%2）").arg(name, sql));
    }
    std::vector<QVariant> current(index.size());
    while (q.next()) {
        for (size_t i = 0; i < index.size(); ++i)
            current[i] = q.value(index[i]);
        row(current.data());
    }
    if (q.lastError().isValid())
        failed(
            failure.isEmpty() ? QCoreApplication::translate("Db::Query", "无法读取查询结果") : failure, q.lastError());
    q.finish();
}

} // namespace Db
