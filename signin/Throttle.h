#pragma once
// Slows down someone guessing passwords: wrong passwords are counted per user
// name in the suite database, so that the count holds on every workstation and
// across restarts. Five in a row lock the name for 30 seconds; each further one
// doubles the wait, up to 15 minutes. A right password clears the count.
//
// A database where the count cannot be kept (the table cannot be created, a
// read-only file, no rights on the server) signs operators in without it.
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
