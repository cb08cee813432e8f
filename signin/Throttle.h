#pragma once
// Slows down someone guessing passwords: wrong passwords are counted per user
// name in the suite database, so that the count holds on every workstation and
// across restarts. Five in a row lock the name for 30 seconds; each further one
// doubles the wait, up to 15 minutes; failures more than 15 minutes apart
// start the count again. A right password clears the count. Names are counted
// as the Users table compares them: "ADMIN" counts for "admin" where the
// column ignores letter case.
//
// The count is a condition of signing in: where it cannot be read or kept (the
// table cannot be created, a read-only file, no rights on the server) each
// function throws Db::Error with a message that says so, and the sign-in stops.
#include <QSqlDatabase>
#include <QString>

namespace Throttle {

// Whole seconds the name must still wait before its password is compared
// again; 0 when it may try now.
int secondsLocked(const QSqlDatabase& db, const QString& userName);
// A wrong password for the name.
void countFailure(const QSqlDatabase& db, const QString& userName);
// A right password for the name: the count starts again.
void clear(const QSqlDatabase& db, const QString& userName);

// The operator's message for a locked name: how long to wait.
QString lockedMessage(int seconds);

} // namespace Throttle
