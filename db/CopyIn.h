#pragma once
// Rows streamed into one table of a PostgreSQL server by one COPY … FROM STDIN
// on the connection's session, in its open transaction: the rows go without a
// round trip each, and the server answers once, at the end.
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariantList>
#include <memory>

struct pg_conn;

namespace Db {

class CopyIn
{
public:
    // A copy of `columns` (quoted) into `table` (quoted) on a PostgreSQL
    // connection through libpq; null on any other, and null with `error` set
    // when the server does not start it.
    static std::unique_ptr<CopyIn> start(
        const QSqlDatabase& db, const QString& table, const QStringList& columns, QSqlError* error);
    // A copy not finished ends as failed: none of its rows stays.
    ~CopyIn();
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    // One row, a value per column (null or invalid: NULL; a byte array: bytes;
    // anything else as its text). False when the connection failed (lastError()).
    bool add(const QVariantList& values);
    // Ends the copy; false when the server refused it (lastError(), and
    // refusedRow(), the row it names: 1 for the first, 0 for none).
    bool finish();
    QSqlError lastError() const { return m_error; }
    qint64 refusedRow() const { return m_refusedRow; }

private:
    explicit CopyIn(pg_conn* conn);
    bool send();
    QSqlError libpqError(const char* what) const;

    pg_conn* m_conn;
    QSqlError m_error;
    qint64 m_refusedRow = 0;
    QByteArray m_pending; // rows not handed to libpq yet
    bool m_open = true;
};

} // namespace Db
