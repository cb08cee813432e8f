#pragma once
// The suite's tables, and the rows of a new database.
#include <QDate>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

namespace Schema {

// Creates every table and index the shell uses. Throws Db::Error.
void create(const QSqlDatabase& db);
// The one operator of a new database: "admin", password "admin", must change the
// password at the first sign-in, may create and delete periods.
void addInitialOperator(const QSqlDatabase& db);
// One row of `table` with `values` for `columns`, bound. Throws Db::Error.
void insert(const QSqlDatabase& db, const QString& table, const QStringList& columns, const QVariantList& values);

} // namespace Schema
