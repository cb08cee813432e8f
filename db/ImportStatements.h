#pragma once
// Statement texts of the import of an Access database (kolvane-db import):
// tables, columns and keys made from the file's own definitions. Names are
// filled in quoted (quotedIdentifier); values are always bound.
#include <QString>

namespace Db {

// A name as a quoted identifier of either engine.
inline QString quotedIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// %1 the table, %2 the column definitions ("name type, ...").
inline const QString sqlImportCreateTable = QStringLiteral("CREATE TABLE %1 (%2)");
// %1 the table, %2 the column, %3 its type.
inline const QString sqlImportAddColumn = QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3");
// %1 the table, %2 the columns, %3 as many "?".
inline const QString sqlImportInsert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)");
// %1 the index, %2 the table, %3 the columns.
inline const QString sqlImportUniqueIndex = QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)");
// PostgreSQL: %1 the table, %2 the columns.
inline const QString sqlImportPrimaryKeyPg = QStringLiteral("ALTER TABLE %1 ADD PRIMARY KEY (%2)");
// A key that the rows break must not end the transaction: each is tried
// inside a savepoint.
inline const QString sqlSavepoint = QStringLiteral("SAVEPOINT kolvane_import");
inline const QString sqlRollbackToSavepoint = QStringLiteral("ROLLBACK TO SAVEPOINT kolvane_import");
inline const QString sqlReleaseSavepoint = QStringLiteral("RELEASE SAVEPOINT kolvane_import");
// PostgreSQL: OpLog's serial goes on after the ids the import wrote.
inline const QString sqlImportOpLogSerialPg = QStringLiteral(
    "SELECT setval(pg_get_serial_sequence('oplog', 'id'), COALESCE((SELECT MAX(id) FROM OpLog), 0) + 1, false)");
// A suite table whose rows break its keys is imported without them: on
// PostgreSQL its key constraints and NOT NULLs are dropped (%1 the table,
// %2 the constraint or column; :table the table's stored name) ...
inline const QString sqlImportKeyConstraintsPg = QStringLiteral(
    "SELECT constraint_name AS name FROM information_schema.table_constraints WHERE table_schema = ANY "
    "(current_schemas(false)) AND table_name = :table AND constraint_type IN ('PRIMARY KEY', 'UNIQUE')");
inline const QString sqlImportNotNullColumnsPg = QStringLiteral(
    "SELECT column_name AS name FROM information_schema.columns WHERE table_schema = ANY (current_schemas(false)) "
    "AND table_name = :table AND is_nullable = 'NO'");
inline const QString sqlImportDropConstraintPg = QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT %2");
inline const QString sqlImportDropNotNullPg = QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 DROP NOT NULL");
// ... and on SQLite the table is made again from its columns (%1 the table),
// with its other indexes.
inline const QString sqlImportColumnsSqlite = QStringLiteral("PRAGMA table_info(%1)");
inline const QString sqlImportIndexesSqlite
    = QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = :table AND sql IS NOT NULL");
inline const QString sqlImportRenameTable = QStringLiteral("ALTER TABLE %1 RENAME TO %2");
inline const QString sqlImportDropTable = QStringLiteral("DROP TABLE %1");

// SQLite: the new file is built under a temporary name and synced once it is
// complete, before it is moved into place; while it is built, its rollback
// journal stays in memory and nothing waits for the disk.
inline const QString sqlImportFastBuildSqlite[]
    = { QStringLiteral("PRAGMA journal_mode=MEMORY"), QStringLiteral("PRAGMA synchronous=OFF") };

// Column types for the kinds of value an Access file holds: SQLite, PostgreSQL.
// SQLite has no exact decimal type: currency and decimals are kept as their
// exact text (a NUMERIC column would round them to 15 digits).
struct ImportTypes
{
    const char16_t* boolean;
    const char16_t* integer;
    const char16_t* currency;
    const char16_t* decimal; // %1 precision, %2 scale
    const char16_t* single;
    const char16_t* doubleType;
    const char16_t* dateTime;
    const char16_t* text; // %1 length
    const char16_t* memo;
    const char16_t* binary;
};
inline constexpr ImportTypes importTypesSqlite { u"BOOLEAN", u"INTEGER", u"TEXT", u"TEXT", u"REAL", u"REAL",
    u"DATETIME", u"VARCHAR(%1)", u"TEXT", u"BLOB" };
inline constexpr ImportTypes importTypesPg { u"BOOLEAN", u"INTEGER", u"NUMERIC(19,4)", u"NUMERIC(%1,%2)", u"REAL",
    u"DOUBLE PRECISION", u"TIMESTAMP", u"VARCHAR(%1)", u"TEXT", u"BYTEA" };

} // namespace Db
