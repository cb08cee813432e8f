#pragma once
// The suite's tables, and the rows of a new or a demonstration database.
#include <QDate>
#include <QSqlDatabase>

namespace Schema {

// Creates every table and index the shell uses. Throws Db::Error.
void create(const QSqlDatabase& db);
// The one operator of a new database: "admin", password "admin", must change the
// password at the first sign-in, may create and delete periods.
void addInitialOperator(const QSqlDatabase& db);
// Operators, last month's and this month's periods, employees, shift rules and
// last month's schedules, relative to `today`.
void fillDemo(const QSqlDatabase& db, const QDate& today);

} // namespace Schema
