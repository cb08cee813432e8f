#pragma once
// The rows of a demonstration database.
#include <QDate>
#include <QSqlDatabase>

namespace Demo {

// Operators, last month's and this month's periods, employees, shift rules and
// last month's schedules, relative to `today`, in a database of empty tables.
// Throws Db::Error.
void fill(const QSqlDatabase& db, const QDate& today);

} // namespace Demo
