#include "signin/Operators.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "signin/PasswordHash.h"

namespace Operators {

namespace {

std::optional<Operator> read(const QSqlDatabase& db, const QString& statement, const QString& name)
{
    Db::Query user(db, statement);
    user.bind(Db::cUsername, name);
    if (user.open().isEmpty())
        return std::nullopt;
    return Operator { user.text(Db::cUserId), user.text(Db::cUsername), user.text(Db::cPassword),
        Functions::GetBoolean(user.text(Db::cIsStop)), Functions::GetBoolean(user.text(Db::cIsNew)),
        user.value(Db::cUserId), user.value(Db::cPassword) };
}

} // namespace

QStringList names(const QSqlDatabase& db)
{
    QStringList all;
    Db::Query users(db, Db::sqlAllUsers);
    for (const Db::Row& row : users.open().rows())
        all << row.text(Db::cUsername);
    return all;
}

std::optional<Operator> find(const QSqlDatabase& db, const QString& name)
{
    return read(db, Db::sqlUserByName, name);
}

std::optional<Operator> findActive(const QSqlDatabase& db, const QString& name)
{
    return read(db, Db::sqlActiveUserByName, name);
}

bool passwordMatches(const QString& stored, const QString& typed)
{
    return PasswordHash::matches(stored, Functions::trimText(typed));
}

QStringList storedAsText(const QSqlDatabase& db)
{
    QStringList plain;
    for (const QString& name : names(db)) {
        const std::optional<Operator> op = find(db, name);
        if (op && !op->password.isEmpty() && !PasswordHash::isHash(op->password) && !plain.contains(name))
            plain << name;
    }
    return plain;
}

bool hashWidthMissing(const QSqlDatabase& db)
{
    const int width = Db::columnLength(db, Db::tUsers, Db::cPassword);
    return width > 0 && width < PasswordHash::storedLength;
}

QString storedForm(const QSqlDatabase& db, const QString& password)
{
    return hashWidthMissing(db) ? password : PasswordHash::make(password);
}

QString hashStoredText(const QSqlDatabase& db, const Operator& op, const QString& typed)
{
    if (PasswordHash::isHash(op.password) || hashWidthMissing(db))
        return op.password;
    const QString hash = PasswordHash::make(Functions::trimText(typed));
    Db::Query rehash(db, Db::sqlRehashPassword);
    rehash.bind(QStringLiteral("password"), hash);
    rehash.bind(QStringLiteral("username"), op.name);
    rehash.bind(QStringLiteral("userId"), op.storedId);
    rehash.bind(QStringLiteral("userIdNull"), op.storedId.isNull() ? 1 : 0);
    rehash.bind(QStringLiteral("oldPassword"), op.storedPassword);
    rehash.bind(QStringLiteral("oldPasswordNull"), op.storedPassword.isNull() ? 1 : 0);
    return rehash.open().isEmpty() ? op.password : hash;
}

bool changePassword(const QSqlDatabase& db, const Operator& op, const QString& newPassword)
{
    Db::Query change(db, Db::sqlChangePassword);
    change.bind(QStringLiteral("password"), storedForm(db, newPassword));
    change.bind(QStringLiteral("isNew"), false);
    change.bind(QStringLiteral("username"), op.name);
    change.bind(QStringLiteral("userId"), op.storedId);
    change.bind(QStringLiteral("userIdNull"), op.storedId.isNull() ? 1 : 0);
    change.bind(QStringLiteral("oldPassword"), op.storedPassword);
    change.bind(QStringLiteral("oldPasswordNull"), op.storedPassword.isNull() ? 1 : 0);
    return !change.open().isEmpty();
}

} // namespace Operators
