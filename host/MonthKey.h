#pragma once
// The key of an attendance month, "yyyy-mm": Accounts.ym and Scheme.YM.
//
// Every month key of the program is made here, from a date or from a text,
// and written here: a MonthKey always names a real month and always reads as
// four-digit year, hyphen, two-digit month.
#include <QDate>
#include <QString>
#include <optional>

class MonthKey
{
public:
    // No month at all.
    MonthKey() = default;

    // The month of any day of it.
    static MonthKey of(const QDate& anyDay);
    // A month as an operator types it, trimmed of the codes 0 to 32: six
    // characters with the year in the first four and a one-digit month in the
    // sixth ("2026-3", "202603"), or seven with a two-digit month after a
    // separator that is neither letter nor digit ("2026-03", "2026/03").
    // Year 1 to 9999, month 1 to 12, ASCII digits only. Nothing for any other text.
    static std::optional<MonthKey> parse(const QString& text);
    // A key as stored: exactly "yyyy-mm" once trimmed; nothing for a text that
    // parse() would first have to rewrite ("2026-3", "2026/03").
    static std::optional<MonthKey> fromKey(const QString& text);

    bool isNull() const { return !m_first.isValid(); }
    // "yyyy-mm"; empty for no month.
    QString text() const;
    int year() const { return m_first.year(); }
    int month() const { return m_first.month(); }
    int days() const { return m_first.daysInMonth(); }
    QDate first() const { return m_first; }
    QDate last() const;
    // The month before; no month before January of the year 1.
    MonthKey previous() const;

    bool operator==(const MonthKey&) const = default;

private:
    explicit MonthKey(const QDate& first)
        : m_first(first)
    {
    }

    QDate m_first;
};
