#pragma once
// Writing one employee's row of a month at a time, each row committed on its own.
//
// Several workstations may write the same month at once. The writer keeps one
// row per (YM, emp_id) whatever keys the database has, and its cost grows with
// the number of rows alone: the month's rows are read once, each row is then
// updated where it is or inserted, under a lock that keeps another writer from
// storing the same employee's row in between, and a row another workstation
// stored meanwhile is updated in place. A database that cannot store at all
// (full, read-only, failing) ends the run with Db::Error of kind StorageFailed.
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>

namespace Db {

// One employee's schedule row of a month, as far as it is written: `shiftId`
// always, `start` when `writeStart`, day column d when bit d of `days` is set.
struct SchemeRow
{
    QString empId;
    QString shiftId;
    bool writeStart = false;
    QVariant start;
    quint64 days = 0;
    std::array<QString, 32> codes; // codes[d] for day d
};

class SchemeWriter
{
public:
    // Called with the employee and, when the database refused the row, its
    // reason in one line for the operator (empty: stored).
    using Outcome = std::function<void(const QString& empId, const QString& refusal)>;
    // Called now and then while the writer waits for another workstation.
    using Waiting = std::function<void()>;

    // A writer of `ym`'s rows on the connection. Throws Db::Error.
    static std::unique_ptr<SchemeWriter> open(
        const QSqlDatabase& db, const QString& ym, Outcome outcome, Waiting waiting = {});
    virtual ~SchemeWriter() = default;

    // Writes one row; its outcome may be reported later, but always before
    // finish() returns and in the order the rows were written. A lost
    // connection throws Db::Error.
    virtual void write(const SchemeRow& row) = 0;
    // Waits for the outcome of every row written.
    virtual void finish() = 0;

protected:
    SchemeWriter() = default;
};

} // namespace Db
