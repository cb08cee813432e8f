#include "db/Query.h"

#include <QSqlDriver>
#include <QSqlError>

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

QString dateTimeText(const QDateTime& value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime toDateTime(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
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

QString adaptStatement(const QString& sql, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return sql;
    // SQLite sorts NULLs last in a descending key, PostgreSQL first: ask for
    // SQLite's order so the schedule roll-over walks rows alike on both.
    QString adapted = sql;
    adapted.replace(QStringLiteral("S.start_date DESC"), QStringLiteral("S.start_date DESC NULLS LAST"));
    return adapted;
}

Query::Query(const QSqlDatabase& db, const QString& sql)
    : m_query(db)
    , m_sql(sql)
{
    m_query.setForwardOnly(true);
    // A statement the engine refuses is reported when it is run, as every other failure.
    m_prepared = m_query.prepare(adaptStatement(sql, engineOf(db)));
}

void Query::bind(const QString& name, const QVariant& value)
{
    const QString marker = name.startsWith(u':') ? name : u':' + name;
    m_query.bindValue(marker, toDbValue(value));
}

Query& Query::open()
{
    if (!m_prepared || !m_query.exec())
        fail(QStringLiteral("open"));
    m_columns = m_query.record();
    m_rows.clear();
    const int count = m_columns.count();
    while (m_query.next()) {
        QVector<QVariant> row(count);
        for (int i = 0; i < count; ++i)
            row[i] = m_query.value(i);
        m_rows.append(std::move(row));
    }
    if (m_query.lastError().isValid())
        fail(QStringLiteral("read"));
    m_query.finish();
    m_at = 0;
    return *this;
}

void Query::exec()
{
    if (!m_prepared || !m_query.exec())
        fail(QStringLiteral("exec"));
    m_query.finish();
}

bool Query::next()
{
    if (m_at < m_rows.size())
        ++m_at;
    return m_at < m_rows.size();
}

int Query::columnIndex(const QString& name) const
{
    const int index = m_columns.indexOf(name);
    if (index < 0)
        throw Error(QStringLiteral("字段“%1”不存在（%2）").arg(name, m_sql).toStdString());
    return index;
}

QVariant Query::value(const QString& name) const
{
    const int index = columnIndex(name);
    if (m_at < 0 || m_at >= m_rows.size())
        return {};
    return m_rows.at(m_at).at(index);
}

QString Query::text(const QString& name) const
{
    const QVariant v = value(name);
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)
        return dateTimeText(toDateTime(v));
    return v.isNull() ? QString() : v.toString();
}

QDateTime Query::dateTime(const QString& name) const
{
    return toDateTime(value(name));
}

void Query::fail(const QString& what) const
{
    const QSqlError error = m_query.lastError();
    throw Error(QStringLiteral("数据库操作失败（%1）：%2\n%3").arg(what, error.text(), m_sql).toStdString());
}

} // namespace Db
