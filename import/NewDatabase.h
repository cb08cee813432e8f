#pragma once
// A new SQLite suite database built from an Access file, whole or not at all:
// written under a temporary name beside its target, in one transaction,
// synced to disk, and only then put in place. kolvane-db's import and the
// start-up's offer both go through here.
#include "import/Importer.h"

#include <functional>

namespace Import {

using Fill = std::function<void(const QSqlDatabase& db)>;
// Puts the finished temporary file in place; the reason when it cannot.
using Place = std::function<QString(const QString& temp)>;

// Builds a new SQLite file for `target` in its directory: a temporary file of
// its own (owner and group only), filled by `fill` in one transaction and
// synced, then placed by `place` (by default renamed to `target`, never over
// a file that is there). Empty text when done; otherwise the reason, and the
// temporary file is gone.
QString buildNewFile(const QString& target, const Fill& fill, const Place& place = {});

struct FileImport
{
    QList<TableReport> reports;
    QString error; // empty: the database is in place
    bool damaged = false; // the source failed while being read
    bool cancelled = false; // `cancelled` said so; nothing was written
};

// Every table of `source` into a new database for `target` (see
// buildNewFile). `cancelled` is asked with each progress report; once it says
// yes the import stops and nothing is kept.
FileImport importToNewFile(Source& source, const QString& target, const Progress& progress = {},
    const std::function<bool()>& cancelled = {}, const Place& place = {});

// Renames `from` to `to` unless something, a link included, stands at `to`:
// never over a file and never through a link (QFile::rename copies through a
// dangling one). False when it did not rename.
bool renameNoReplace(const QString& from, const QString& to);

} // namespace Import
