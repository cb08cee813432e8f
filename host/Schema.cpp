#include "host/Schema.h"

#include "db/Query.h"

#include <QSqlDriver>
#include <QStringList>

namespace Schema {

namespace {

void run(const QSqlDatabase& db, const QString& sql)
{
    Db::Query(db, sql).exec();
}

QString dayColumns(const QSqlDatabase& db)
{
    QStringList columns;
    for (int day = 1; day <= 31; ++day)
        columns << db.driver()->escapeIdentifier(QString::number(day), QSqlDriver::FieldName)
                + QStringLiteral(" VARCHAR(20)");
    return columns.join(QStringLiteral(", "));
}

void insert(const QSqlDatabase& db, const QString& table, const QStringList& columns, const QVariantList& values)
{
    QStringList markers;
    for (int i = 0; i < columns.size(); ++i)
        markers << QStringLiteral(":p%1").arg(i);
    QStringList names;
    for (const QString& c : columns)
        names << Db::quotedName(db, c);
    Db::Query q(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(u','), markers.join(u',')));
    for (int i = 0; i < values.size(); ++i)
        q.bind(markers.at(i), values.at(i));
    q.exec();
}

QString ymOf(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM"));
}

void addPeriod(const QSqlDatabase& db, const QDate& first)
{
    const QString ym = ymOf(first);
    insert(db, QStringLiteral("Accounts"),
        { QStringLiteral("ym"), QStringLiteral("account_name"), QStringLiteral("begin_date"),
            QStringLiteral("end_date") },
        { ym, ym + QStringLiteral("月帐套"), first.startOfDay(), first.addMonths(1).addDays(-1).startOfDay() });
}

} // namespace

void create(const QSqlDatabase& db)
{
    const bool pg = Db::engineOf(db) == Db::Engine::PostgreSQL;
    const QString dateTime = pg ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME");
    const QString serial
        = pg ? QStringLiteral("SERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    // Text keys compare byte by byte on both engines.
    const QString key = pg ? QStringLiteral(" COLLATE \"C\"") : QString();

    run(db,
        QStringLiteral("CREATE TABLE Users (User_id VARCHAR(20), username VARCHAR(50)%1 NOT NULL, "
                       "password VARCHAR(50), isNew INTEGER DEFAULT 0 NOT NULL, IsStop INTEGER DEFAULT 0, "
                       "Access TEXT)")
            .arg(key));
    run(db, QStringLiteral("CREATE INDEX Users_username ON Users (username)"));
    run(db,
        QStringLiteral("CREATE TABLE Accounts (ym VARCHAR(7)%1 PRIMARY KEY, account_name VARCHAR(50), "
                       "begin_date %2, end_date %2)")
            .arg(key, dateTime));
    run(db,
        QStringLiteral("CREATE TABLE Employee (emp_id VARCHAR(20)%1 PRIMARY KEY, emp_name VARCHAR(50), "
                       "leave_date %2)")
            .arg(key, dateTime));
    run(db,
        QStringLiteral("CREATE TABLE Shifts_Rule (shift_id VARCHAR(20)%1 PRIMARY KEY, shift_name VARCHAR(50), "
                       "shifts_cyc INTEGER, shifts_cyc_unit VARCHAR(10), shifts TEXT)")
            .arg(key));
    run(db,
        QStringLiteral("CREATE TABLE Scheme (YM VARCHAR(7)%1 NOT NULL, emp_id VARCHAR(20)%1 NOT NULL, "
                       "shift_id VARCHAR(20), start_date %2, %3, PRIMARY KEY (YM, emp_id))")
            .arg(key, dateTime, dayColumns(db)));
    run(db,
        QStringLiteral("CREATE TABLE OpLog (id %1, opTime %2, BeWrite VARCHAR(255), opUser VARCHAR(255), "
                       "opComPuter VARCHAR(255))")
            .arg(serial, dateTime));
}

void addInitialOperator(const QSqlDatabase& db)
{
    insert(db, QStringLiteral("Users"),
        { QStringLiteral("User_id"), QStringLiteral("username"), QStringLiteral("password"), QStringLiteral("isNew"),
            QStringLiteral("IsStop"), QStringLiteral("Access") },
        { QStringLiteral("1"), QStringLiteral("admin"), QStringLiteral("admin"), 1, 0,
            QStringLiteral("ActAccount=5") });
}

void fillDemo(const QSqlDatabase& db, const QDate& today)
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
        { u"1", u"admin", u"admin", 0, 0, u"ActAccount=5\r\nActEmployee=7" },
        { u"2", u"张三", u"1234", 0, 0, u"ActEmployee=1\r\nActAccount=1" },
        { u"3", u"李四", u"1234", 0, 1, u"ActAccount=5" },
        { u"4", u"王五", u"1234", 1, 0, u"ActAccount=1" },
        { u"5", u"赵六", u"1234", 0, 0, u"ActEmployee=1" },
    };
    for (const Operator& o : operators)
        insert(db, QStringLiteral("Users"), userColumns,
            { QString::fromUtf16(o.id), QString::fromUtf16(o.name), QString::fromUtf16(o.password), o.isNew, o.isStop,
                QString::fromUtf16(o.access) });

    const QDate thisMonth(today.year(), today.month(), 1);
    const QDate lastMonth = thisMonth.addMonths(-1);
    addPeriod(db, lastMonth);
    addPeriod(db, thisMonth);

    const QStringList ruleColumns = { QStringLiteral("shift_id"), QStringLiteral("shift_name"),
        QStringLiteral("shifts_cyc"), QStringLiteral("shifts_cyc_unit"), QStringLiteral("shifts") };
    insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-DAY3"), QStringLiteral("三班倒"), 3, QStringLiteral("day"),
            QStringLiteral("1=早班\r\n2=中班\r\n3=夜班") });
    insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-WEEK1"), QStringLiteral("周末休息"), 1, QStringLiteral("week"),
            QStringLiteral("1=休息\r\n2=白班\r\n3=白班\r\n4=白班\r\n5=白班\r\n6=白班\r\n7=休息") });
    insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-WEEK2"), QStringLiteral("两周轮换"), 2, QStringLiteral("Week"),
            QStringLiteral("1=休息\r\n2=早班\r\n3=早班\r\n4=早班\r\n5=早班\r\n6=早班\r\n7=休息\r\n"
                           "8=休息\r\n9=中班\r\n10=中班\r\n11=中班\r\n12=中班\r\n13=中班\r\n14=休息") });
    QStringList monthSlots;
    for (int d = 1; d <= 31; ++d)
        monthSlots << QStringLiteral("%1=%2").arg(d).arg(
            d <= 15 ? QStringLiteral("上半月班") : QStringLiteral("下半月班"));
    insert(db, QStringLiteral("Shifts_Rule"), ruleColumns,
        { QStringLiteral("R-MONTH1"), QStringLiteral("半月轮换"), 1, QStringLiteral("month"),
            monthSlots.join(QStringLiteral("\r\n")) });

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
    const QString lastYm = ymOf(lastMonth);
    const int lastMonthDays = lastMonth.daysInMonth();

    for (int i = 1; i <= 36; ++i) {
        const QString empId = QStringLiteral("E%1").arg(i, 3, 10, QLatin1Char('0'));
        QVariant leave;
        if (i == 34) // left before last month: not carried over
            leave = lastMonth.addDays(-10).startOfDay();
        else if (i == 35) // leaves during this month: carried over
            leave = thisMonth.addDays(14).startOfDay();
        else if (i == 36) // left during last month: not carried over
            leave = lastMonth.addDays(19).startOfDay();
        insert(db, QStringLiteral("Employee"),
            { QStringLiteral("emp_id"), QStringLiteral("emp_name"), QStringLiteral("leave_date") },
            { empId, surnames.at(i % surnames.size()) + given.at((i / surnames.size()) % given.size()), leave });

        QVariantList row = { lastYm, empId };
        if (i % 2 == 1) { // fixed shift
            const QString code = fixed[i % 3];
            row << code << QVariant();
            for (int day = 1; day <= 31; ++day)
                row << (day <= lastMonthDays ? QVariant(code) : QVariant());
        } else { // rotation anchored some time ago
            row << rules[(i / 2) % 4] << lastMonth.addMonths(-(i % 5)).addDays(i % 7).startOfDay();
            for (int day = 1; day <= 31; ++day)
                row << QVariant();
        }
        insert(db, QStringLiteral("Scheme"), schemeColumns, row);
    }
}

} // namespace Schema
