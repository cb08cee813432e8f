#pragma once
// Date and flag helpers of the suite.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <functional>

namespace Functions {

// The same day `months` months later, clamped to the end of a shorter month.
QDate IncMonth(const QDate& date, int months);
QDateTime IncMonth(const QDateTime& date, int months);
// Days in a month, 28 to 31. Throws std::invalid_argument for a month outside 1..12.
int DaysPerMonth(int year, int month);
int ExtractDay(const QDate& date);
int ExtractDay(const QDateTime& date);
// A flag column read as text: "1", "-1", "true" (any case) are true; empty, "0",
// "false" and anything else false.
bool GetBoolean(const QString& text);
QString GetOSVersion();
// A text typed by an operator without the characters 0 to 32 at both ends.
// (QString::trimmed() removes Unicode white space instead, and keeps control codes.)
QString trimText(const QString& text);
// The same bounds, as a view into the text.
QStringView trimmedView(QStringView text);

// The "name=value" lines of a text list (Users.Access, Shifts_Rule.shifts), in
// order, as views into `lines`: the name before the line's first '=', the value
// after it, neither trimmed. Lines end in CR, LF or CR LF; lines without '='
// are skipped. `visit` returns false to stop.
void forEachListEntry(QStringView lines, const std::function<bool(QStringView name, QStringView value)>& visit);

} // namespace Functions
