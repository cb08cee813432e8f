#pragma once
// One query object per operation on the data module's connection: run, read,
// freed. Values go in as bound parameters; results are read whole so that the
// row count is exact on every engine and no reader is left open while the
// caller writes.
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <QVector>
#include <stdexcept>

namespace Db {

enum class Engine { SQLite, PostgreSQL, Other };
Engine engineOf(const QSqlDatabase& db);

// A statement the engine refused, a missing column, a lost connection.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Canonical text of a date-time as SQLite stores it: "yyyy-MM-dd HH:mm:ss".
QString dateTimeText(const QDateTime& value);
// A date-time read from either engine (text in any ISO form, QDate, QDateTime).
// Null, empty or unparseable values give an invalid QDateTime.
QDateTime toDateTime(const QVariant& value);
// A value prepared for binding: dates as canonical text, booleans as 0/1.
QVariant toDbValue(const QVariant& value);
// The statement text as the engine needs it (same results on every engine).
QString adaptStatement(const QString& sql, Engine engine);

class Query
{
public:
    Query(const QSqlDatabase& db, const QString& sql);

    void bind(const QString& name, const QVariant& value);

    // Runs a statement that returns rows and reads them all. Throws Db::Error.
    Query& open();
    // Runs a statement without a result. Throws Db::Error.
    void exec();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QSqlRecord& columns() const { return m_columns; }
    bool hasColumn(const QString& name) const { return m_columns.indexOf(name) >= 0; }

    // Row cursor; open() leaves it on the first row.
    int at() const { return m_at; }
    bool next();
    void seek(int row) { m_at = row; }

    // Fields of the current row, by name without regard to case. A result
    // without rows reads as null / empty text; an unknown column throws.
    QVariant value(const QString& name) const;
    QString text(const QString& name) const;
    QDateTime dateTime(const QString& name) const;

    QSqlQuery& sqlQuery() { return m_query; }

private:
    int columnIndex(const QString& name) const;
    [[noreturn]] void fail(const QString& what) const;

    QSqlQuery m_query;
    QString m_sql;
    QSqlRecord m_columns;
    QVector<QVector<QVariant>> m_rows;
    int m_at = 0;
    bool m_prepared = false;
};

} // namespace Db
