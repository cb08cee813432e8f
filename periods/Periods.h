#pragma once
// The account periods as stored in Accounts.
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

namespace Periods {

// Whether Accounts holds a period with the month key `ym` ("yyyy-mm"), compared
// as stored. Throws Db::Error.
bool exists(const QSqlDatabase& db, const QString& ym);
// Whether Accounts holds the period `ym` with this name and these dates, as a
// save of them whose answer was lost would have left it. Throws Db::Error.
bool storedAs(
    const QSqlDatabase& db, const QString& ym, const QString& name, const QDateTime& begin, const QDateTime& end);

} // namespace Periods
