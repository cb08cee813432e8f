#pragma once
// Rules of the account-period dialog that need no widget: the period a month
// key stands for, and the operator's rights read from and written to the
// Users.Access text (the one place that knows its lines).
#include "host/MonthKey.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace Db {
class Row;
}

namespace AccountRules {

// Rights bits of the "ActAccount" value.
enum : int
{
    RightCreate = 1,
    RightDelete = 4
};

// A period filled in from its month: name is the key followed by the period suffix,
// from the first to the last day of the month.
struct Period
{
    QString ym;
    QString name;
    QDate begin;
    QDate end;
};
Period periodOf(const MonthKey& month);

// Value of the first "name=value" line whose name equals `name` without regard to
// case (not trimmed). Lines end in CR, LF or CR LF; the first '=' splits a line.
// A missing name gives a null text.
QString listValue(const QString& lines, const QString& name);
// The same lines with the value of that first line replaced by `value`, every
// other character kept; without such a line, "name=value" added as the last
// line, ended like the others.
QString withListValue(const QString& lines, const QString& name, const QString& value);

// The "ActAccount" bits of a Users.Access text; a missing or non-decimal value is 0.
int actAccountRights(const QString& access);
// The "ActAccount" bits of an operator's Users row, read from its Access text.
int rightsOf(const Db::Row& user);
// The same of the operator named `userName`; none when no row has the name.
// Throws Db::Error.
std::optional<int> rightsOf(const QSqlDatabase& db, const QString& userName);

// An operator's rights: the "ActAccount" bits, and the lines "ActOperator"
// (value 1: may manage operators) and "ActImport" (value 1: may import data).
struct Rights
{
    int account = 0;
    bool manageOperators = false;
    bool importData = false;

    bool operator==(const Rights&) const = default;
};
// The rights an Access text gives. A text with neither "ActOperator" nor
// "ActImport" (written before those rights existed) gives both to an operator
// with both period rights, so that an older database keeps an administrator.
Rights rightsIn(const QString& access);
// The same text with the three lines set to `rights` (added where missing),
// every other line and character kept.
QString withRights(const QString& access, const Rights& rights);
// The rights of the operator named `userName`; none when no row has the name.
// Throws Db::Error.
std::optional<Rights> operatorRights(const QSqlDatabase& db, const QString& userName);

} // namespace AccountRules
