#include "signin/Throttle.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Prjconst.h"
#include "platform/System.h"

namespace Throttle {

namespace {

// The clock of the lock, as an expression of the statement: the server's on
// PostgreSQL (workstations' clocks differ), this machine's on SQLite.
QString clock(const QSqlDatabase& db)
{
    if (Db::engineOf(db) == Db::Engine::PostgreSQL)
        return QStringLiteral("CAST(FLOOR(EXTRACT(EPOCH FROM now())) AS BIGINT)");
    return QString::number(Platform::now().toSecsSinceEpoch());
}

// The count is a guard, not a condition of signing in: a statement the
// database refuses leaves the sign-in as it would be without it. A lost
// connection is reported, as for every other statement.
template <class Run> void tolerant(Run run)
{
    try {
        run();
    } catch (const Db::Error& e) {
        if (e.connectionLost())
            throw;
    }
}

} // namespace

int secondsLocked(const QSqlDatabase& db, const QString& userName)
{
    int wait = 0;
    // Before the first failure the table may not exist yet: no lock then.
    tolerant([&] {
        Db::Query q(db, Db::sqlLoginLockWait.arg(clock(db)));
        q.bind(Db::cUsername, userName);
        q.open();
        wait = q.isEmpty() ? 0 : q.value(QStringLiteral("wait")).toInt();
    });
    return wait;
}

void countFailure(const QSqlDatabase& db, const QString& userName)
{
    // Where the user may not create it, an administrator may have.
    tolerant([&] { Db::Query(db, Db::sqlCreateLoginFailures).exec(); });
    tolerant([&] {
        Db::Query q(db, Db::sqlCountLoginFailure.arg(clock(db)));
        q.bind(Db::cUsername, userName);
        q.exec();
    });
}

void clear(const QSqlDatabase& db, const QString& userName)
{
    tolerant([&] {
        Db::Query q(db, Db::sqlClearLoginFailures);
        q.bind(Db::cUsername, userName);
        q.exec();
    });
}

QString lockedMessage(int seconds)
{
    const QString wait = seconds < 60 ? Prjconst::_WaitSeconds.arg(seconds)
                                      : Prjconst::_WaitMinutes.arg(seconds / 60).arg(seconds % 60);
    return Prjconst::_msgUserLocked.arg(wait);
}

} // namespace Throttle
