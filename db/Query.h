#pragma once
// One query object per operation on the data module's connection: run, read,
// freed. Values go in as bound parameters; results are read whole so that the
// row count is exact on every engine and no reader is left open while the
// caller writes.
#include "platform/Failure.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <QVector>
#include <functional>
#include <stdexcept>

namespace Db {

enum class Engine
{
    SQLite,
    PostgreSQL,
    Other
};
Engine engineOf(const QSqlDatabase& db);

// A statement the engine refused, a missing column, a lost connection.
class Error : public Platform::Failure
{
public:
    enum class Kind
    {
        Failed, // refused statement, missing table or column, ...
        ConnectionLost, // the server went away; the operation did not complete
        DuplicateKey, // a unique key (such as the month of a period) is taken
        StorageFailed, // the database cannot store anything: full, read-only, I/O error
    };
    explicit Error(const QString& message, Kind kind = Kind::Failed);

    Kind kind() const { return m_kind; }
    bool connectionLost() const { return m_kind == Kind::ConnectionLost; }

private:
    Kind m_kind = Kind::Failed;
};

// The engine library's own connection under Qt's driver (sqlite3*, pg_conn*),
// named by its type; null when the driver holds none of that type.
template <typename Handle> Handle* nativeHandle(const QSqlDatabase& db, const char* typeName)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), typeName) != 0)
        return nullptr;
    return *static_cast<Handle* const*>(handle.constData());
}

// Whether a failure means the connection to the server is gone: the server
// ended the session, the link broke, or the driver has closed the connection.
bool isConnectionLost(const QSqlDatabase& db, const QSqlError& error);
// Whether a failure is a unique-key violation.
bool isDuplicateKey(const QSqlError& error);
// The error for a failed operation, with a message for the operator: `failed`
// says what could not be done ("无法保存帐套"), the engine's text follows.
// When the connection is lost, closes it: Mainmodule::db() opens it again.
Error errorFor(const QString& failed, QSqlDatabase db, const QSqlError& error);
// Runs `work` in a transaction: committed when it returns, rolled back when it
// throws. Throws Db::Error when the transaction cannot begin or commit.
void inTransaction(const QSqlDatabase& db, const std::function<void()>& work);

// What keeps the database itself from storing anything, whichever row is written.
enum class StorageFailure
{
    None,
    Full, // the disk or the server has no room left
    ReadOnly, // the file or the server takes no writes
    Broken, // an input/output error or a damaged file
};
// SQLite: the result code of a call (extended or primary).
StorageFailure sqliteStorageFailure(int resultCode);
// PostgreSQL: the SQLSTATE of a failure.
StorageFailure pgStorageFailure(const QByteArray& sqlState);
// The error for such a failure: what happened (`detail`, the engine's words)
// and what to do, with `place` the directory of the database file (SQLite) or
// the server's host (PostgreSQL).
Error storageError(StorageFailure failure, Engine engine, const QString& place, const QString& detail);

// Canonical text of a date-time as SQLite stores it: "yyyy-MM-dd HH:mm:ss".
QString dateTimeText(const QDateTime& value);
// A date-time read from either engine (text in any ISO form, QDate, QDateTime),
// as local wall-clock time: the date and time of day that were written, whatever
// zone the driver attached. Null, empty or unparseable values give an invalid
// QDateTime.
QDateTime toDateTime(const QVariant& value);
// A value prepared for binding: dates as canonical text, booleans as 0/1.
QVariant toDbValue(const QVariant& value);

// A table or column name as the engine stores an unquoted name: PostgreSQL
// folds the letters A-Z to lower case. Use it where Qt quotes the name (QSqlTableModel::
// setTable, QSqlDatabase::record).
QString storedName(const QSqlDatabase& db, const QString& name);
// The same, quoted for a statement: day columns "1" to "31" need it.
QString quotedName(const QSqlDatabase& db, const QString& name);
// The length a text column is declared with ("VARCHAR(20)": 20); 0 when
// unknown or unbounded. SQLite keeps the declared length without enforcing
// it; the suite's other engines enforce it, so it is kept to everywhere.
int columnLength(const QSqlDatabase& db, const QString& table, const QString& column);

// Session settings every connection needs; call after each open. On
// PostgreSQL the session time zone becomes the machine's, so that a QDateTime
// bound without conversion keeps its wall-clock time in a TIMESTAMP column.
void prepareSession(QSqlDatabase& db);
// Opens again a connection the driver closed after losing the server, with
// the same settings. False when it cannot (the reason in db.lastError()).
bool reopen(QSqlDatabase& db);

// Runs `sql` with `values` bound in the order of its markers and calls `row`
// with the values of `columns` (names, any case) for every row, in order,
// without keeping the rows: for results too large to hold whole. Throws
// Db::Error, saying `failure` (default: the query failed) and why; nothing
// stays open on the connection afterwards.
void forEachRow(const QSqlDatabase& db, const QString& sql, const QVariantList& values, const QStringList& columns,
    const std::function<void(const QVariant* values)>& row, const QString& failure = QString());

class Query;

// One row of a result that Query has read. Fields by name without regard to
// case; an unknown column throws. Date-times read as their canonical text on
// every engine.
class Row
{
public:
    QVariant value(const QString& name) const;
    QString text(const QString& name) const;
    QDateTime dateTime(const QString& name) const;

private:
    friend class Query;
    Row(const Query* query, int index)
        : m_query(query)
        , m_index(index)
    {
    }
    const Query* m_query;
    int m_index;
};

class Query
{
public:
    Query(const QSqlDatabase& db, const QString& sql);

    void bind(const QString& name, const QVariant& value);
    // Values for "?" markers, in their order.
    void bindInOrder(const QVariantList& values);

    // Runs a statement that returns rows and reads them all. Throws Db::Error.
    Query& open();
    // Runs a statement without a result. Throws Db::Error.
    void exec();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QSqlRecord& columns() const { return m_columns; }
    bool hasColumn(const QString& name) const { return m_columns.indexOf(name) >= 0; }

    // Every row, in order: for (const Db::Row& row : query.rows()). There is
    // no cursor to move.
    QList<Row> rows() const;
    Row row(int index) const { return Row(this, index); }

    // Fields of the first row, the one most statements look up; a result
    // without rows reads as null / empty text. An unknown column throws.
    QVariant value(const QString& name) const { return row(0).value(name); }
    QString text(const QString& name) const { return row(0).text(name); }
    QDateTime dateTime(const QString& name) const { return row(0).dateTime(name); }

    QSqlQuery& sqlQuery() { return m_query; }

private:
    friend class Row;
    bool run();
    QVariant valueAt(int row, const QString& name) const;
    int columnIndex(const QString& name) const;
    [[noreturn]] void fail(const QString& what) const;

    QSqlDatabase m_db;
    QSqlQuery m_query;
    QString m_sql;
    QSqlRecord m_columns;
    QVector<QVector<QVariant>> m_rows;
    bool m_prepared = false;
    bool m_direct = false;
};

} // namespace Db
