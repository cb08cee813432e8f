#pragma once
// Rules of the account-period dialog that need no widget: the period a month
// key stands for, and the operator's rights read from the Users.Access text.
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

} // namespace AccountRules
