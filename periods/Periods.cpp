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

} // namespace Periods
