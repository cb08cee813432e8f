#include "periods/CycleShift.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"

#include <QCoreApplication>

namespace CycleShift {

namespace {

// Slot numbers looked up without text: every slot of a cycle of up to 64 months.
constexpr qint64 denseSlots = 31 * 64;

QString trimmedValue(QStringView text)
{
    const QStringView value = Functions::trimmedView(text);
    // A present but empty value is empty text, not null: it is written as such.
    return value.isEmpty() ? QStringLiteral("") : value.toString();
}

// Sunday = 1 ... Saturday = 7.
qint64 weekdayOf(const QDate& date)
{
    return date.dayOfWeek() % 7 + 1;
}

// a mod (n * per), the remainder of truncating division. When n * per does not
// fit in 64 bits it is larger than any day count, and the remainder is a itself.
qint64 cycleRemainder(qint64 a, qint64 n, qint64 per)
{
    qint64 length = 0;
    if (__builtin_mul_overflow(n, per, &length))
        return a;
    return a % length;
}

} // namespace

Unit unitOf(const QString& text)
{
    if (text.compare(u"day", Qt::CaseInsensitive) == 0)
        return Unit::Day;
    if (text.compare(u"week", Qt::CaseInsensitive) == 0)
        return Unit::Week;
    if (text.compare(u"month", Qt::CaseInsensitive) == 0)
        return Unit::Month;
    return Unit::None;
}

SlotList::SlotList(const QString& text)
{
    Functions::forEachListEntry(text, [this](QStringView key, QStringView value) {
        const QString name = key.toString().toCaseFolded();
        if (!m_values.contains(name))
            m_values.insert(name, trimmedValue(value));
        return true;
    });
    // Names written exactly as a slot number is; "01" or "+1" never equal one.
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        bool ok = false;
        const qint64 slot = it.key().toLongLong(&ok);
        if (!ok || slot < 1 || slot > denseSlots || QString::number(slot) != it.key())
            continue;
        if (m_bySlot.size() <= slot)
            m_bySlot.resize(slot + 1);
        m_bySlot[slot] = it.value();
    }
}

QString SlotList::value(qint64 slot) const
{
    if (slot >= 1 && slot < m_bySlot.size())
        return m_bySlot.at(slot);
    if (slot >= 1 && slot <= denseSlots)
        return {};
    return value(QString::number(slot));
}

QString SlotList::value(const QString& name) const
{
    return m_values.value(name.toCaseFolded());
}

ShiftRule ShiftRule::fromValues(const QString& id, const QVariant& cycle, const QString& unit, const QString& slots)
{
    ShiftRule rule;
    rule.id = id;
    bool ok = false;
    const qint64 n = cycle.toString().trimmed().toLongLong(&ok);
    rule.cycle = ok ? n : 0;
    rule.unit = unitOf(unit);
    rule.unitText = unit;
    rule.slots = SlotList(slots);
    return rule;
}

qint64 slotOf(const ShiftRule& rule, const QDateTime& anchor, const QDate& day)
{
    if (rule.cycle == 0)
        throw Error(QCoreApplication::translate("CycleShift", "轮班规则“%1”的周期长度为 0").arg(rule.id));
    if (!anchor.isValid() || !day.isValid())
        throw Error(QCoreApplication::translate("CycleShift", "轮班起始日期无效"));
    const QDate start = anchor.date();
    const qint64 t = start.daysTo(day);
    switch (rule.unit) {
    case Unit::Day:
        if (t < 0)
            return 0;
        return cycleRemainder(t, rule.cycle, 1) + 1;
    case Unit::Week: {
        const qint64 sinceSunday = t + weekdayOf(start) - 1;
        if (sinceSunday < 0)
            return 0;
        return cycleRemainder(sinceSunday, rule.cycle, 7) + 1;
    }
    case Unit::Month: {
        const qint64 months = (qint64(day.year()) * 12 + day.month()) - (qint64(start.year()) * 12 + start.month());
        if (months < 0)
            return 0;
        const qint64 k = months % rule.cycle; // months is small: no overflow below
        return 31 * k + day.day();
    }
    case Unit::None:
        break;
    }
    return 0;
}

QString codeOf(const ShiftRule& rule, const QDateTime& anchor, const QDate& day)
{
    if (rule.unit == Unit::None) {
        // No slot can be computed: only a line with an empty name answers.
        const QString code = rule.slots.value(QString());
        return code.isNull() ? QStringLiteral("") : code;
    }
    const qint64 slot = slotOf(rule, anchor, day);
    if (slot <= 0)
        return QStringLiteral("");
    const QString code = rule.slots.value(slot);
    return code.isNull() ? QStringLiteral("") : code;
}

void ShiftRules::load(const QSqlDatabase& db)
{
    Db::Query q(db, Db::sqlShiftRules);
    q.open();
    for (const QString& column : { Db::cShiftId, Db::cShiftsCyc, Db::cShiftsCycUnit, Db::cShifts })
        if (!q.hasColumn(column))
            throw Db::Error(QCoreApplication::translate("CycleShift", "轮班规则表缺少字段“%1”").arg(column));
    m_rules.clear();
    for (const Db::Row& row : q.rows())
        add(ShiftRule::fromValues(
            row.text(Db::cShiftId), row.value(Db::cShiftsCyc), row.text(Db::cShiftsCycUnit), row.text(Db::cShifts)));
}

void ShiftRules::add(const ShiftRule& rule)
{
    const QString key = rule.id.toCaseFolded();
    if (!m_rules.contains(key))
        m_rules.insert(key, rule);
}

const ShiftRule* ShiftRules::find(const QString& id) const
{
    const auto it = m_rules.constFind(id.toCaseFolded());
    return it == m_rules.cend() ? nullptr : &it.value();
}

bool ShiftRules::GetCycleShift(const QString& ruleId, const QDateTime& anchor, const QDate& day, QString& code) const
{
    code = QString();
    const ShiftRule* rule = find(ruleId);
    if (!rule)
        return false;
    code = codeOf(*rule, anchor, day);
    return true;
}

} // namespace CycleShift
