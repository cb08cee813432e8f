#pragma once
// The account periods as stored in Accounts.
#include <QSqlDatabase>
#include <QString>

namespace Periods {

// Whether Accounts holds a period with the month key `ym` ("yyyy-mm"), compared
// as stored. Throws Db::Error.
bool exists(const QSqlDatabase& db, const QString& ym);

} // namespace Periods
