#pragma once
// Shift cycle position: which shift code a rotation rule of Shifts_Rule gives
// one calendar day, counted from the employee's anchor date.
//
// The rules are read once into memory (ShiftRules); each rule's slot list is
// parsed once, so that asking for a day costs a few integer operations and one
// hash look-up.
#include "platform/Failure.h"
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace CycleShift {

// A rule that cannot place a day: a cycle length of 0 for a real unit, or an
// anchor that is not a date. The text is for the operator.
class Error : public Platform::Failure
{
public:
    using Platform::Failure::Failure;
};

enum class Unit
{
    Day,
    Week,
    Month,
    None
};

// "day", "week" or "month" in any letter case; anything else is no unit.
Unit unitOf(const QString& text);

// name=value lines (CR, LF or CR LF): the value of the first line whose name,
// the text before the first '=', equals the key without regard to case. The
// name is not trimmed; the value is trimmed of blanks and control characters.
class SlotList
{
public:
    SlotList() = default;
    explicit SlotList(const QString& text);

    // Null text when no line has the name.
    QString value(const QString& name) const;
    // The line named by the slot number in decimal.
    QString value(qint64 slot) const;
    bool isEmpty() const { return m_values.isEmpty(); }

private:
    QHash<QString, QString> m_values; // case-folded name -> trimmed value
    // The same values for the names "1", "2", ... (a decimal is its own case
    // fold), so that a day's look-up needs no text.
    QList<QString> m_bySlot;
};

struct ShiftRule
{
    QString id;
    qint64 cycle = 0; // n, counted in units
    Unit unit = Unit::None;
    QString unitText;
    SlotList slots;

    // From the columns as read: an empty or non-numeric cycle length is 0.
    static ShiftRule fromValues(const QString& id, const QVariant& cycle, const QString& unit, const QString& slots);
};

// The slot of `day` in the rule's cycle anchored at `anchor`; 0 when the day
// comes before the cycle starts (the anchor day for "day", the Sunday on or
// before it for "week", the first of its month for "month"). Days are counted
// between calendar dates: the anchor's time of day does not move the cycle.
// Not meaningful for Unit::None. Throws Error for a cycle length of 0.
qint64 slotOf(const ShiftRule& rule, const QDateTime& anchor, const QDate& day);

// The shift code the rule gives `day`: empty before the cycle starts or when
// the slot list has no entry; for an unknown unit, the value of a line with an
// empty name. Throws Error for a cycle length of 0 or an invalid anchor.
QString codeOf(const ShiftRule& rule, const QDateTime& anchor, const QDate& day);

// Every rule of Shifts_Rule, keyed by id without regard to case. Of two rules
// whose ids differ only in case the first one read is used.
class ShiftRules
{
public:
    // Reads the whole table once. Throws Db::Error.
    void load(const QSqlDatabase& db);
    void add(const ShiftRule& rule);

    const ShiftRule* find(const QString& id) const;
    int size() const { return static_cast<int>(m_rules.size()); }

    // Found: whether a rule has that id (code left empty when not). Throws Error
    // as codeOf does.
    bool GetCycleShift(const QString& ruleId, const QDateTime& anchor, const QDate& day, QString& code) const;

private:
    QHash<QString, ShiftRule> m_rules;
};

} // namespace CycleShift
