#pragma once
// Managing the operators of the Users table: the rules that the admin tool and
// the operators dialog both follow, the writes, and one OpLog row for every
// change, written in the same transaction as the change.
#include "periods/AccountRules.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace OperatorAdmin {

// An operator as listed.
struct Entry
{
    QString name;
    QString id;
    bool stopped = false;
    bool isNew = false; // must change the password at the next sign-in
    QString access;
    AccountRules::Rights rights;
    QDateTime lockedUntil; // invalid when not locked after wrong passwords
};
// Every operator, by name and id. Throws Db::Error.
QList<Entry> load(const QSqlDatabase& db);

// Who makes a change: `who` is written as the OpLog row's operator;
// `operatorName` is the signed-in operator making it (empty for the admin
// tool), who may not stop themself.
struct Actor
{
    QString who;
    QString operatorName;
};

// The outcome of a check or a change.
struct Result
{
    bool done = false;
    QString message; // what was done, or why not
    QString warning; // done with `force`: what nobody may do any more
    bool forcible = false; // refused only for leaving nobody with a right: `force` overrides
};

struct NewOperator
{
    QString name; // trimmed, as the sign-in compares names
    QString id; // empty: one more than the highest numeric id
    AccountRules::Rights rights;
};

// Checks a new operator before a password is asked for: the name trimmed and
// not taken, the id free, both within their columns; fills in the id.
// Throws Db::Error.
Result checkNew(const QSqlDatabase& db, NewOperator& op);
// The refusal when no row, or more than one, has the name `name`.
Result checkOne(const QSqlDatabase& db, const QString& name);
// Why a password typed twice cannot be stored (empty, or the two differ once
// trimmed); empty text when it can.
QString passwordProblem(const QString& typed, const QString& again);

// The changes. Each stores what the operator does and refuses what the rules
// forbid: a password is stored trimmed as its hash and must be changed at the
// next sign-in; the last operator (not stopped) who may create periods or
// manage operators is neither stopped nor loses that right unless `force`; an
// operator does not stop themself; a signed-in operator who may not manage
// operators (not stopped) changes nothing; a name two rows share is refused. Rights
// set the two period bits of "ActAccount" as given and keep its other bits.
// Throws Db::Error.
Result add(const QSqlDatabase& db, const Actor& actor, NewOperator op, const QString& password);
Result setStopped(const QSqlDatabase& db, const Actor& actor, const QString& name, bool stop, bool force = false);
Result resetPassword(const QSqlDatabase& db, const Actor& actor, const QString& name, const QString& password);
Result setRights(const QSqlDatabase& db, const Actor& actor, const QString& name, const AccountRules::Rights& rights,
    bool force = false);
Result unlock(const QSqlDatabase& db, const Actor& actor, const QString& name);

} // namespace OperatorAdmin
