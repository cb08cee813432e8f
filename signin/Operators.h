#pragma once
// The operators of the Users table as the sign-in and the password change read
// them, and the one place where a typed password is compared with the stored one.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace Operators {

// An operator's row as read.
struct Operator
{
    QString id;
    QString name;
    QString password; // a NULL password reads as empty text
    bool stopped = false;
    bool isNew = false; // must change the password before signing in
    // The id and the password as the engine gave them (a number stays a
    // number), by which the password change finds the row again.
    QVariant storedId;
    QVariant storedPassword;
};

// Every operator's name, in the order the table gives them; empty when no
// operator is defined. Throws Db::Error.
QStringList names(const QSqlDatabase& db);

// The first operator of that name; none when no row has it. Throws Db::Error.
std::optional<Operator> find(const QSqlDatabase& db, const QString& name);
// The same among the operators not stopped.
std::optional<Operator> findActive(const QSqlDatabase& db, const QString& name);

// Whether a typed password opens an operator's stored password: the typed text
// is trimmed, then checked against the stored hash, or compared exactly, case
// and all, with a password still stored as text.
bool passwordMatches(const QString& stored, const QString& typed);

// What a new password is stored as: its salted hash, or the text itself where
// the password column is declared too narrow for the hash (hashWidthMissing()
// says so). Throws Db::Error, or Platform::Failure when the hash cannot be made.
QString storedForm(const QSqlDatabase& db, const QString& password);
// The operators whose password is still kept as text (not empty), in the
// order of names(). Throws Db::Error.
QStringList storedAsText(const QSqlDatabase& db);
// Whether the password column is declared narrower than a hash.
bool hashWidthMissing(const QSqlDatabase& db);

// After a right password: an operator whose password is still stored as text
// gets its hash instead, where the column takes it. Returns the value stored
// now. Throws Db::Error.
QString hashStoredText(const QSqlDatabase& db, const Operator& op, const QString& typed);

// Stores a new password (as storedForm() gives it) and clears the new-operator flag, in one write of the
// row `op` was read from: found again by its name, id and the password it held,
// so that another row of the same name keeps its own. False when that write
// reached no row (the row changed or went away since). Throws Db::Error when
// the database refuses the write.
bool changePassword(const QSqlDatabase& db, const Operator& op, const QString& newPassword);

} // namespace Operators
