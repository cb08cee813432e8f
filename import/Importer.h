#pragma once
// Writes the tables of an import source into a suite database: the suite's
// own tables (Users, Accounts, Scheme, Employee, Shifts_Rule, OpLog) into the
// suite's schema, every other table with its own name, columns and keys.
#include "import/ImportSource.h"

#include <QSqlDatabase>
#include <functional>

namespace Import {

// What became of one table.
struct TableReport
{
    QString source; // the table's name in the source
    QString target; // its name in the database written
    bool suiteTable = false;
    qint64 read = 0;
    qint64 written = 0;
    qint64 catalogue = -1; // the row count the source states; -1: unknown
    qint64 damaged = 0; // rows that could not be read
    QStringList keptKeys; // "主键 (ID)", ...
    QStringList droppedKeys; // the same, with the reason
    QStringList unreadable; // "name（why）"
    QString linkedTo; // a linked table: where its rows are kept (nothing is read)
};

// Called while a table is read: its name and the rows so far (at its start and
// every kProgressRows rows, often enough for a window to stay responsive);
// `done` once at its end.
inline constexpr qint64 kProgressRows = 500;
using Progress = std::function<void(const QString& table, qint64 rows, bool done)>;

// The suite's name for a source table ("users" -> "Users"), or empty text for
// a table of the suite's other modules.
QString suiteTableName(const QString& name);

// Reads every table of `source` (and reports its linked tables); with a `target`, an open connection inside a
// transaction the caller commits, writes them. A database that receives any of
// the suite's tables gets the suite's whole schema. Throws ReadError or
// Db::Error; then the caller rolls back.
QList<TableReport> importAll(Source& source, const QSqlDatabase* target, const Progress& progress = {});

// Whether the reports are of linked tables alone: a file that holds no data.
bool onlyLinks(const QList<TableReport>& reports);

// The summary for the operator, one block per table.
QString summary(const QList<TableReport>& reports, bool written);
// Whether a report states something the operator must look at: rows the
// catalogue counts but that were not read, columns or keys left behind.
bool hasWarnings(const QList<TableReport>& reports);

} // namespace Import
