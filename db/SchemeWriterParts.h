#pragma once
// What the schedule writers share: the columns a row writes, the texts for the
// operator, how long a writer waits for another workstation. For db/ alone.
#include "db/Query.h"
#include "db/SchemeWriter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

struct sqlite3;
struct pg_conn;

namespace Db::Scheme {

// How long a writer waits for another workstation (SQLite: the file's write
// lock, PostgreSQL: the month's lock) before the run gives up. Tests shorten it.
inline std::atomic<int> giveUpMs { 120 * 1000 };

inline constexpr quint64 startBit = 1;

// The columns a row writes, as one number: bit 0 the start date, bit d day d.
inline quint64 columnSet(const SchemeRow& row)
{
    return (row.days & ~startBit) | (row.writeStart ? startBit : 0);
}

// The names of the columns a set writes after the key, quoted as the engine needs.
QStringList columnNames(const QSqlDatabase& db, quint64 set);

// What could not be saved, the month's schedule or one employee's (`empId`),
// and why (`detail`, when there is one): the message that ends a run.
QString cannotSave(const QString& empId, const QString& detail = QString());
// The run ends: another workstation kept the database for longer than giveUpMs.
Error heldTooLong(const QString& empId);
// A row the database refused, with the first line of its words, for the operator's list.
QString refusal(const QString& detail);

// The texts of a row's values after the key, in the order of columnNames(),
// as UTF-8; null for a null value. A month's rows hold few different codes:
// each is converted once.
class Utf8Values
{
public:
    std::vector<QByteArray> operator()(const SchemeRow& row);

private:
    QByteArray utf8(const QString& text);

    QHash<QString, QByteArray> m_known;
};

// Shows the operator that the writer waits for another workstation, every
// 200 ms at most; showing the wait never ends it.
class WaitNotice
{
public:
    explicit WaitNotice(SchemeWriter::Waiting waiting)
        : m_waiting(std::move(waiting))
    {
    }
    void operator()();

private:
    SchemeWriter::Waiting m_waiting;
    QElapsedTimer m_lastShown;
};

// The writers, one per way to the database.
std::unique_ptr<SchemeWriter> qtWriter(const QSqlDatabase& db, const QString& ym, SchemeWriter::Outcome outcome);
std::unique_ptr<SchemeWriter> sqliteWriter(const QSqlDatabase& db, ::sqlite3* handle, const QString& ym,
    SchemeWriter::Outcome outcome, SchemeWriter::Waiting waiting);
std::unique_ptr<SchemeWriter> pgWriter(const QSqlDatabase& db, ::pg_conn* conn, const QString& ym,
    SchemeWriter::Outcome outcome, SchemeWriter::Waiting waiting);

} // namespace Db::Scheme
