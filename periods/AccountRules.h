#pragma once
// Rules of the account-period dialog that need no widget: the month key
// ("yyyy-mm") as the operator types it, the period it stands for, and the
// operator's rights read from the Users.Access text.
#include <QDate>
#include <QString>
#include <optional>

namespace AccountRules {

// Rights bits of the "ActAccount" value.
enum : int
{
    RightCreate = 1,
    RightDelete = 4
};

// "yyyy-mm" of a date's month.
QString monthKey(const QDate& date);

// First day of the month an operator typed, or nothing when the text is not a month.
// The text is trimmed (codes 0 to 32). Accepted: six characters with the year in the
// first four and a one-digit month in the sixth ("2026-3", "202603"); seven characters
// with a two-digit month after a separator that is neither letter nor digit
// ("2026-03", "2026/03", "2026.03"). Year 1 to 9999, month 1 to 12, ASCII digits only.
std::optional<QDate> parseMonth(const QString& text);

// The month key to store for a typed text ("2026/3" gives "2026-03"), or nothing.
std::optional<QString> normaliseMonthKey(const QString& text);

// A period filled in from its month: name is the key followed by the period suffix,
// from the first to the last day of the month.
struct Period
{
    QString ym;
    QString name;
    QDate begin;
    QDate end;
};
Period periodOf(const QDate& anyDayOfMonth);

// Value of the first "name=value" line whose name equals `name` without regard to
// case (not trimmed). Lines end in CR, LF or CR LF; the first '=' splits a line.
// A missing name gives a null text.
QString listValue(const QString& lines, const QString& name);

// The "ActAccount" bits of a Users.Access text; a missing or non-decimal value is 0.
int actAccountRights(const QString& access);

} // namespace AccountRules
