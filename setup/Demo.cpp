// The demonstration database: operators, last month's and this month's
// periods, employees, shift rules and last month's schedules.
#include "setup/Demo.h"

#include "db/SchemeWriter.h"
#include "host/MonthKey.h"
#include "host/Schema.h"
#include "periods/CycleShift.h"
#include "periods/Rollover.h"
#include "signin/PasswordHash.h"

#include <QStringList>

namespace Demo {

namespace {

void addPeriod(const QSqlDatabase& db, const MonthKey& month)
{
    Schema::insert(db, QStringLiteral("Accounts"),
        { QStringLiteral("ym"), QStringLiteral("account_name"), QStringLiteral("begin_date"),
            QStringLiteral("end_date") },
        { month.text(), month.text() + QStringLiteral("月帐套"), month.first().startOfDay(),
            month.last().startOfDay() });
}

void addOperators(const QSqlDatabase& db)
{
    const QStringList userColumns = { QStringLiteral("User_id"), QStringLiteral("username"), QStringLiteral("password"),
        QStringLiteral("isNew"), QStringLiteral("IsStop"), QStringLiteral("Access") };
    struct Operator
    {
        const char16_t* id;
        const char16_t* name;
        const char16_t* password;
        int isNew;
        int isStop;
        const char16_t* access;
    };
    const Operator operators[] = {
        { u"1", u"admin", u"admin", 0, 0, u"ActAccount=5\r\nActEmployee=7\r\nActOperator=1\r\nActImport=1" },
        { u"2", u"张三", u"1234", 0, 0, u"ActEmployee=1\r\nActAccount=1" },
        { u"3", u"李四", u"1234", 0, 1, u"ActAccount=5" },
        { u"4", u"王五", u"1234", 1, 0, u"ActAccount=1" },
        { u"5", u"赵六", u"1234", 0, 0, u"ActEmployee=1" },
    };
    for (const Operator& o : operators)
        Schema::insert(db, QStringLiteral("Users"), userColumns,
            { QString::fromUtf16(o.id), QString::fromUtf16(o.name), PasswordHash::make(QString::fromUtf16(o.password)),
                o.isNew, o.isStop,
                QString::fromUtf16(o.access) });
}

void addRules(const QSqlDatabase& db)
{
    const QStringList ruleColumns = { QStringLiteral("shift_id"), QStringLiteral("shift_name"),
        QStringLiteral("shifts_cyc"), QStringLiteral("shifts_cyc_unit"), QStringLiteral("shifts") };
    Schema::insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-DAY3"), QStringLiteral("三班倒"), 3, QStringLiteral("day"),
            QStringLiteral("1=早班\r\n2=中班\r\n3=夜班") });
    Schema::insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-WEEK1"), QStringLiteral("周末休息"), 1, QStringLiteral("week"),
            QStringLiteral("1=休息\r\n2=白班\r\n3=白班\r\n4=白班\r\n5=白班\r\n6=白班\r\n7=休息") });
    Schema::insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-WEEK2"), QStringLiteral("两周轮换"), 2, QStringLiteral("Week"),
            QStringLiteral("1=休息\r\n2=早班\r\n3=早班\r\n4=早班\r\n5=早班\r\n6=早班\r\n7=休息\r\n"
                           "8=休息\r\n9=中班\r\n10=中班\r\n11=中班\r\n12=中班\r\n13=中班\r\n14=休息") });
    QStringList monthSlots;
    for (int d = 1; d <= 31; ++d)
        monthSlots << QStringLiteral("%1=%2").arg(d).arg(
            d <= 15 ? QStringLiteral("上半月班") : QStringLiteral("下半月班"));
    Schema::insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-MONTH1"), QStringLiteral("半月轮换"), 1, QStringLiteral("month"),
            monthSlots.join(QStringLiteral("\r\n")) });
}

// 36 employees, half on a fixed shift and half on a rotation, with last
// month's schedules as a roll-over into it would have written them.
void addEmployees(const QSqlDatabase& db, const MonthKey& thisMonth)
{
    const MonthKey lastMonth = thisMonth.previous();
    const QStringList surnames = { QStringLiteral("陈"), QStringLiteral("林"), QStringLiteral("黄"),
        QStringLiteral("周"), QStringLiteral("吴"), QStringLiteral("郑") };
    const QStringList given = { QStringLiteral("伟"), QStringLiteral("芳"), QStringLiteral("娜"), QStringLiteral("敏"),
        QStringLiteral("静"), QStringLiteral("磊") };
    const QString rules[] = { QStringLiteral("R-DAY3"), QStringLiteral("R-WEEK1"), QStringLiteral("R-WEEK2"),
        QStringLiteral("R-MONTH1") };
    const QString fixed[] = { QStringLiteral("白班"), QStringLiteral("早班"), QStringLiteral("中班") };

    QStringList schemeColumns
        = { QStringLiteral("YM"), QStringLiteral("emp_id"), QStringLiteral("shift_id"), QStringLiteral("start_date") };
    for (int day = 1; day <= 31; ++day)
        schemeColumns << QString::number(day);
    CycleShift::ShiftRules shiftRules;
    shiftRules.load(db);

    for (int i = 1; i <= 36; ++i) {
        const QString empId = QStringLiteral("E%1").arg(i, 3, 10, QLatin1Char('0'));
        QVariant leave;
        if (i == 34) // left before last month: not carried over
            leave = lastMonth.first().addDays(-10).startOfDay();
        else if (i == 35) // leaves during this month: carried over
            leave = thisMonth.first().addDays(14).startOfDay();
        else if (i == 36) // left during last month: not carried over
            leave = lastMonth.first().addDays(19).startOfDay();
        Schema::insert(db, QStringLiteral("Employee"),
            { QStringLiteral("emp_id"), QStringLiteral("emp_name"), QStringLiteral("leave_date") },
            { empId, surnames.at(i % surnames.size()) + given.at((i / surnames.size()) % given.size()), leave });

        const bool fixedShift = i % 2 == 1;
        const QString shift = fixedShift ? fixed[i % 3] : rules[(i / 2) % 4];
        // A rotation anchored some time ago.
        const QVariant start
            = fixedShift ? QVariant() : QVariant(lastMonth.first().addMonths(-(i % 5)).addDays(i % 7).startOfDay());
        const Db::SchemeRow scheme
            = Rollover::schemeRow(empId, shift, start, lastMonth, lastMonth.first(), lastMonth.last(), shiftRules);
        QVariantList row = { lastMonth.text(), empId, shift, start };
        for (int day = 1; day <= 31; ++day)
            row << (scheme.days & (quint64(1) << day) ? QVariant(scheme.codes[day]) : QVariant());
        Schema::insert(db, QStringLiteral("Scheme"), schemeColumns, row);
    }
}

} // namespace

void fill(const QSqlDatabase& db, const QDate& today)
{
    addOperators(db);
    const MonthKey thisMonth = MonthKey::of(today);
    addPeriod(db, thisMonth.previous());
    addPeriod(db, thisMonth);
    addRules(db);
    addEmployees(db, thisMonth);
}

} // namespace Demo
