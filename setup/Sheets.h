#pragma once
// The tables planners keep in spreadsheets: employees, shift rules and a
// month's schedules, as CSV files with a header line. The admin tool and the
// program's windows both read and write them here, with the same checks and
// the same messages.
//
// An import is two steps. check() reads the whole file and compares every row
// with the database: the plan says which rows would be added, changed (old →
// new) or left alone, and names every bad row with its line, column and
// reason. Nothing is written until apply(), which a plan with a bad row
// refuses: employees and rules in one transaction, a month's schedules through
// the schedule writer, one row per employee, as the roll-over writes them.
#include "host/MonthKey.h"
#include "platform/Failure.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSqlDatabase;

namespace Setup {

enum class SheetKind
{
    Employees,
    Rules,
    Schedule
};

// A sheet as text: its header line and its rows.
struct Table
{
    QStringList header;
    QList<QStringList> rows;
};

// The sheet of the database's employees, rules, or schedules of month `ym`
// (which must have its period). Throws Platform::Failure or Db::Error.
Table exportSheet(const QSqlDatabase& db, SheetKind kind, const MonthKey& ym = {});
// Its name as a workbook's sheet.
QString sheetName(SheetKind kind, const MonthKey& ym = {});
// Writes the table as CSV to `path` (standard output when empty). Throws
// Platform::Failure.
void writeCsv(const Table& table, const QString& path);

// A file an import cannot use at all: unreadable, empty, or without its id
// column (badFile); or a month without its period.
class Unusable : public Platform::Failure
{
public:
    Unusable(const QString& message, bool inFile)
        : Platform::Failure(message)
        , badFile(inFile)
    {
    }
    bool badFile;
};

// A bad cell, or a bad row when `column` is empty.
struct Problem
{
    int line = 0; // of the file, the header being line 1
    QString column;
    QString reason;
};

// A row of the file that is not bad, and what it does.
struct PlannedRow
{
    enum class Kind
    {
        Added,
        Changed,
        Unchanged
    };
    Kind kind = Kind::Unchanged;
    int line = 0;
    QString id;
    QString text; // what the row adds or changes; empty when unchanged
};

class SheetPlan
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    // Called every few hundred rows while a file is checked: rows done, rows in all.
    using Progress = std::function<void(qsizetype done, qsizetype total)>;

    // Reads `path` ("-": standard input) and checks it whole against the
    // database; `ym` is the month of a schedule. Writes nothing. Throws
    // Unusable, or Db::Error when the database cannot be read.
    static std::unique_ptr<SheetPlan> check(const QSqlDatabase& db, SheetKind kind, const QString& path,
        const MonthKey& ym = {}, const Progress& progress = {});
    virtual ~SheetPlan();
    SheetPlan(const SheetPlan&) = delete;
    SheetPlan& operator=(const SheetPlan&) = delete;

    const QString& path() const { return m_path; }
    const QList<PlannedRow>& rows() const { return m_rows; }
    const QList<Problem>& problems() const { return m_problems; }
    // Named columns of the header that nothing reads.
    const QStringList& unread() const { return m_unread; }
    int added() const { return m_added; }
    int changed() const { return m_changed; }
    int unchanged() const { return m_same; }

    // The problems for the operator: the file, and the first 20 of them.
    QString problemText() const;
    // "Added n rows, changed m, k unchanged", as done or (dryRun) as planned.
    QString summary(bool dryRun) const;
    // Writes what the plan adds and changes. What the database refused, for
    // the operator; empty when every change is stored. Throws Db::Error when
    // nothing could be stored, Platform::Failure for a plan with problems.
    QString apply();

protected:
    SheetPlan() = default;
    virtual QString write() = 0;

    QString m_path;
    QList<PlannedRow> m_rows;
    QList<Problem> m_problems;
    QStringList m_unread;
    int m_added = 0;
    int m_changed = 0;
    int m_same = 0;
};

} // namespace Setup
