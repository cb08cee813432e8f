// Shift cycle positions: slots by unit, days before the cycle starts, the slot
// list look-up and the rules read from the database.
#include "TestSupport.h"

#include "periods/CycleShift.h"

#include <QtTest>
#include <limits>

using namespace CycleShift;

namespace {

ShiftRule rule(qint64 n, const QString& unit, const QString& slots = QString(), const QString& id = QStringLiteral("R"))
{
    return ShiftRule::fromValues(id, n, unit, slots);
}

QDateTime at(int y, int m, int d, int h = 0, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

// Slot lines "1=S1" ... "count=S<count>".
QString numberedSlots(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("%1=S%1").arg(i);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

class TestCycleShift : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void weekSlotsSundayFirst();
    void daySlotsAndDaysBeforeTheAnchor();
    void monthSlotsAcrossYears();
    void unitsAndRuleIds();
    void slotListLookUp();
    void cycleLengthZeroAndExtremes();
    void rulesReadFromTheDatabase();
};

void TestCycleShift::weekSlotsSundayFirst()
{
    const ShiftRule two = rule(2, QStringLiteral("week"), numberedSlots(14));
    const QDateTime wednesday = at(2024, 5, 1);
    QCOMPARE(wednesday.date().dayOfWeek(), 3);
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 5, 1)), 4); // the anchor: its weekday
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 5, 5)), 8); // next Sunday opens week two
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 5, 11)), 14);
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 5, 12)), 1); // and the cycle starts again
    QCOMPARE(codeOf(two, wednesday, QDate(2024, 5, 12)), QStringLiteral("S1"));

    // Days of the anchor's own week before the anchor keep their slots; the
    // week before it has none.
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 4, 28)), 1); // Sunday of the anchor's week
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 4, 30)), 3);
    QCOMPARE(slotOf(two, wednesday, QDate(2024, 4, 27)), 0);
    QCOMPARE(codeOf(two, wednesday, QDate(2024, 4, 27)), QStringLiteral(""));

    // An anchor on a Sunday and on a Saturday.
    const ShiftRule one = rule(1, QStringLiteral("Week"), numberedSlots(7));
    QCOMPARE(slotOf(one, at(2024, 5, 5), QDate(2024, 5, 5)), 1);
    QCOMPARE(slotOf(one, at(2024, 5, 4), QDate(2024, 5, 4)), 7);
    QCOMPARE(slotOf(one, at(2024, 5, 4), QDate(2024, 5, 5)), 1);
    // Every Monday gets slot 2, however far from the anchor, in both directions of the year.
    for (const QDate& monday : { QDate(2024, 12, 30), QDate(2025, 1, 6), QDate(2031, 3, 3) })
        QCOMPARE(codeOf(one, at(2024, 5, 4), monday), QStringLiteral("S2"));

    // A time of day on the anchor does not shift the weekdays.
    QCOMPARE(slotOf(two, at(2024, 5, 1, 18, 30), QDate(2024, 5, 2)), 5);
    QCOMPARE(slotOf(two, at(2024, 5, 1, 18, 30), QDate(2024, 5, 5)), 8);
}

void TestCycleShift::daySlotsAndDaysBeforeTheAnchor()
{
    const ShiftRule three = rule(3, QStringLiteral("day"), QStringLiteral("1=早班\r\n2=中班\r\n3=夜班\r\n0=X\r\n-1=Y"));
    const QDateTime anchor = at(2024, 5, 1);
    const QStringList expected = { QStringLiteral("早班"), QStringLiteral("中班"), QStringLiteral("夜班"),
        QStringLiteral("早班"), QStringLiteral("中班") };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(codeOf(three, anchor, QDate(2024, 5, 1 + i)), expected.at(i));
    QCOMPARE(slotOf(three, anchor, QDate(2024, 5, 31)), 1); // t = 30
    // Before the anchor the rotation has not started: no code, even where a
    // line would match a slot 0 or -1.
    for (int back = 1; back <= 4; ++back) {
        QCOMPARE(slotOf(three, anchor, QDate(2024, 5, 1).addDays(-back)), 0);
        QCOMPARE(codeOf(three, anchor, QDate(2024, 5, 1).addDays(-back)), QStringLiteral(""));
    }
    // The anchor's date is slot 1 whatever its time of day, and each date after
    // it moves one slot on.
    for (const QTime& time : { QTime(0, 0), QTime(8, 0), QTime(23, 59, 59) }) {
        const QDateTime timed(QDate(2024, 5, 1), time);
        QCOMPARE(slotOf(three, timed, QDate(2024, 5, 1)), 1);
        QCOMPARE(slotOf(three, timed, QDate(2024, 5, 2)), 2);
        QCOMPARE(slotOf(three, timed, QDate(2024, 5, 4)), 1);
        QCOMPARE(slotOf(three, timed, QDate(2024, 4, 30)), 0);
    }
    // Over a long time: 2024-05-01 + 3000 days.
    QCOMPARE(slotOf(three, anchor, QDate(2024, 5, 1).addDays(3000)), 3000 % 3 + 1);
}

void TestCycleShift::monthSlotsAcrossYears()
{
    const ShiftRule one = rule(1, QStringLiteral("MONTH"), numberedSlots(31));
    const QDateTime anchor = at(2024, 3, 15, 9, 0);
    QCOMPARE(slotOf(one, anchor, QDate(2024, 3, 15)), 15);
    QCOMPARE(slotOf(one, anchor, QDate(2024, 3, 1)), 1); // the anchor's month, before the anchor
    QCOMPARE(slotOf(one, anchor, QDate(2024, 4, 30)), 30);
    QCOMPARE(slotOf(one, anchor, QDate(2025, 1, 31)), 31);
    QCOMPARE(slotOf(one, anchor, QDate(2025, 2, 28)), 28);
    QCOMPARE(slotOf(one, anchor, QDate(2024, 2, 29)), 0); // before the anchor's month
    QCOMPARE(codeOf(one, anchor, QDate(2024, 2, 29)), QStringLiteral(""));

    // Two months, anchored in November: November and January are month 0,
    // December and February month 1.
    const ShiftRule two = rule(2, QStringLiteral("month"), numberedSlots(62));
    const QDateTime november = at(2023, 11, 20);
    QCOMPARE(slotOf(two, november, QDate(2023, 11, 5)), 5);
    QCOMPARE(slotOf(two, november, QDate(2023, 12, 1)), 32);
    QCOMPARE(slotOf(two, november, QDate(2023, 12, 31)), 62);
    QCOMPARE(slotOf(two, november, QDate(2024, 1, 1)), 1);
    QCOMPARE(slotOf(two, november, QDate(2024, 2, 10)), 41);
    QCOMPARE(codeOf(two, november, QDate(2024, 2, 10)), QStringLiteral("S41"));
    QCOMPARE(slotOf(two, november, QDate(2025, 12, 25)), 31 + 25); // 25 months on
    QCOMPARE(slotOf(two, november, QDate(2023, 10, 31)), 0);

    // Three months: the place in the cycle counts calendar months, not days.
    const ShiftRule three = rule(3, QStringLiteral("month"), numberedSlots(93));
    QCOMPARE(slotOf(three, at(2024, 1, 31), QDate(2024, 2, 1)), 32);
    QCOMPARE(slotOf(three, at(2024, 1, 31), QDate(2024, 3, 31)), 93);
    QCOMPARE(slotOf(three, at(2024, 1, 31), QDate(2024, 4, 1)), 1);
}

void TestCycleShift::unitsAndRuleIds()
{
    QCOMPARE(unitOf(QStringLiteral("DAY")), Unit::Day);
    QCOMPARE(unitOf(QStringLiteral("wEEk")), Unit::Week);
    QCOMPARE(unitOf(QStringLiteral("Month")), Unit::Month);
    for (const char16_t* other : { u"days", u" day", u"", u"月", u"weekly" })
        QCOMPARE(unitOf(QString::fromUtf16(other)), Unit::None);

    // No unit, no slot: only a line with an empty name gives a code, and a
    // cycle length of 0 is no error.
    const QDate day(2024, 5, 3);
    QCOMPARE(codeOf(rule(3, QStringLiteral("days"), QStringLiteral("1=A\r\n= 全天 ")), at(2024, 5, 1), day),
        QStringLiteral("全天"));
    QCOMPARE(
        codeOf(rule(0, QStringLiteral("days"), QStringLiteral("1=A\r\n3=C")), at(2024, 5, 1), day), QStringLiteral(""));

    ShiftRules rules;
    rules.add(rule(3, QStringLiteral("day"), QStringLiteral("1=A\n2=B\n3=C"), QStringLiteral("Night-Shift")));
    rules.add(rule(2, QStringLiteral("day"), QStringLiteral("1=X\n2=Y"), QStringLiteral("NIGHT-SHIFT")));
    rules.add(rule(1, QStringLiteral("day"), QStringLiteral("1=Z"), QStringLiteral("早班组")));
    QCOMPARE(rules.size(), 2); // ids differing in case are one rule: the first one read
    QString code = QStringLiteral("stale");
    QVERIFY(rules.GetCycleShift(QStringLiteral("night-shift"), at(2024, 5, 1), QDate(2024, 5, 3), code));
    QCOMPARE(code, QStringLiteral("C"));
    QVERIFY(rules.GetCycleShift(QStringLiteral("早班组"), at(2024, 5, 1), QDate(2024, 5, 3), code));
    QCOMPARE(code, QStringLiteral("Z"));
    QVERIFY(!rules.GetCycleShift(QStringLiteral("night"), at(2024, 5, 1), QDate(2024, 5, 3), code));
    QVERIFY(code.isEmpty());
    QVERIFY(!rules.GetCycleShift(QStringLiteral("Night-Shift "), at(2024, 5, 1), QDate(2024, 5, 3), code));
}

void TestCycleShift::slotListLookUp()
{
    const SlotList list(QStringLiteral(" 1=blank before\r2 =blank after\n3= C3 \t\r\n"
                                       "4=a=b\r\n\r\n5=\r\nno equals sign\n6=first\n6=second\n"
                                       "Key=upper\nx\u00a0=nbsp\n7=\u00a0夜班\u3000\x01"));
    QVERIFY(list.value(1).isNull()); // the name is not trimmed
    QVERIFY(list.value(2).isNull());
    QCOMPARE(list.value(QStringLiteral(" 1")), QStringLiteral("blank before"));
    QCOMPARE(list.value(3), QStringLiteral("C3"));
    QCOMPARE(list.value(4), QStringLiteral("a=b")); // the first '=' splits
    QVERIFY(!list.value(5).isNull());
    QCOMPARE(list.value(5), QStringLiteral(""));
    QCOMPARE(list.value(6), QStringLiteral("first"));
    QCOMPARE(list.value(QStringLiteral("kEY")), QStringLiteral("upper"));
    QCOMPARE(list.value(QStringLiteral("x\u00a0")), QStringLiteral("nbsp"));
    // Blanks and control characters are trimmed from the code; other spaces are part of it.
    QCOMPARE(list.value(7), QStringLiteral("\u00a0夜班\u3000"));
    QVERIFY(list.value(QStringLiteral("no equals sign")).isNull());

    // Only the number as written in decimal names a slot, large slots included.
    const SlotList numbers(QStringLiteral("01=zero-one\n+2=plus\n3=three\n3000=far\n-1=minus"));
    QVERIFY(numbers.value(1).isNull());
    QVERIFY(numbers.value(2).isNull());
    QCOMPARE(numbers.value(3), QStringLiteral("three"));
    QCOMPARE(numbers.value(3000), QStringLiteral("far"));
    QCOMPARE(numbers.value(-1), QStringLiteral("minus"));
    QVERIFY(numbers.value(4).isNull());
    QCOMPARE(numbers.value(QStringLiteral("01")), QStringLiteral("zero-one"));

    // An empty list, or a slot without an entry: found, with an empty code.
    ShiftRules rules;
    rules.add(rule(3, QStringLiteral("day"), QString(), QStringLiteral("EMPTY")));
    rules.add(rule(3, QStringLiteral("day"), QStringLiteral("1=A"), QStringLiteral("SPARSE")));
    QString code;
    QVERIFY(rules.GetCycleShift(QStringLiteral("empty"), at(2024, 5, 1), QDate(2024, 5, 1), code));
    QVERIFY(code.isEmpty());
    QVERIFY(rules.GetCycleShift(QStringLiteral("sparse"), at(2024, 5, 1), QDate(2024, 5, 2), code));
    QVERIFY(code.isEmpty());
    QVERIFY(!code.isNull()); // written as an empty value
}

void TestCycleShift::cycleLengthZeroAndExtremes()
{
    for (const char16_t* unit : { u"day", u"Week", u"MONTH" }) {
        QVERIFY_THROWS_EXCEPTION(Error, slotOf(rule(0, QString::fromUtf16(unit)), at(2024, 5, 1), QDate(2024, 5, 2)));
        // An empty length reads as 0, and fails even before the anchor.
        const ShiftRule empty = ShiftRule::fromValues(QStringLiteral("E"), QVariant(), QString::fromUtf16(unit), {});
        QCOMPARE(empty.cycle, 0);
        QVERIFY_THROWS_EXCEPTION(Error, codeOf(empty, at(2024, 5, 1), QDate(2020, 1, 1)));
    }

    QVERIFY_THROWS_EXCEPTION(Error, codeOf(rule(3, QStringLiteral("day")), QDateTime(), QDate(2024, 5, 2)));
    QCOMPARE(ShiftRule::fromValues(QStringLiteral("E"), QStringLiteral("abc"), QStringLiteral("day"), {}).cycle, 0);
    QCOMPARE(ShiftRule::fromValues(QStringLiteral("E"), QStringLiteral(" 4 "), QStringLiteral("day"), {}).cycle, 4);

    // Lengths beyond any day count do not overflow: the count itself is the place.
    const qint64 huge = std::numeric_limits<qint64>::max();
    QCOMPARE(slotOf(rule(huge, QStringLiteral("week")), at(2024, 5, 1), QDate(2024, 5, 1)), 4);
    QCOMPARE(slotOf(rule(huge, QStringLiteral("month")), at(2024, 5, 1), QDate(2034, 5, 1)), 31 * 120 + 1);
    QCOMPARE(slotOf(rule(huge, QStringLiteral("day")), at(2024, 5, 1), QDate(2024, 5, 11)), 11);
    QCOMPARE(
        slotOf(rule(std::numeric_limits<qint64>::min(), QStringLiteral("week")), at(2024, 5, 1), QDate(2024, 5, 11)),
        14);
    // A negative length counts as its size.
    QCOMPARE(slotOf(rule(-3, QStringLiteral("day")), at(2024, 5, 1), QDate(2024, 5, 4)), 1);
    QCOMPARE(slotOf(rule(-2, QStringLiteral("month")), at(2024, 5, 1), QDate(2024, 6, 3)), 34);
}

void TestCycleShift::rulesReadFromTheDatabase()
{
    TestSupport::TestEnv env;
    env.createDatabase();
    const QString insert = QStringLiteral(
        "INSERT INTO Shifts_Rule (shift_id, shift_name, shifts_cyc, shifts_cyc_unit, shifts) VALUES (?,?,?,?,?)");
    env.exec(insert, { QStringLiteral("W-2"), QStringLiteral("两周"), 2, QStringLiteral("Week"), numberedSlots(14) });
    env.exec(insert,
        { QStringLiteral("NULL-LEN"), QStringLiteral("无周期"), QVariant(), QStringLiteral("day"),
            QStringLiteral("1=A") });
    env.exec(insert, { QStringLiteral("NO-SLOTS"), QStringLiteral("空"), 3, QStringLiteral("day"), QVariant() });

    ShiftRules rules;
    rules.load(env.db());
    QCOMPARE(rules.size(), 3);
    QString code;
    QVERIFY(rules.GetCycleShift(QStringLiteral("w-2"), at(2024, 5, 1), QDate(2024, 5, 5), code));
    QCOMPARE(code, QStringLiteral("S8"));
    QVERIFY(rules.GetCycleShift(QStringLiteral("NO-SLOTS"), at(2024, 5, 1), QDate(2024, 5, 5), code));
    QVERIFY(code.isEmpty());
    QVERIFY_THROWS_EXCEPTION(
        Error, rules.GetCycleShift(QStringLiteral("null-len"), at(2024, 5, 1), QDate(2024, 5, 5), code));
}

QTEST_GUILESS_MAIN(TestCycleShift)
#include "tst_cycleshift.moc"
