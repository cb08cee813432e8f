#include "periods/Periods.h"

#include "db/Query.h"
#include "db/Statements.h"

namespace Periods {

bool exists(const QSqlDatabase& db, const QString& ym)
{
    Db::Query period(db, Db::sqlAccountByYm);
    period.bind(Db::cYm, ym);
    return !period.open().isEmpty();
}

bool storedAs(
    const QSqlDatabase& db, const QString& ym, const QString& name, const QDateTime& begin, const QDateTime& end)
{
    Db::Query period(db, Db::sqlAccountByYm);
    period.bind(Db::cYm, ym);
    for (const Db::Row& row : period.open().rows()) {
        if (row.text(Db::cAccountName) == name && row.dateTime(Db::cBeginDate) == begin
            && row.dateTime(Db::cEndDate) == end)
            return true;
    }
    return false;
}

} // namespace Periods
