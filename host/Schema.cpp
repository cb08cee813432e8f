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

} // namespace

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

} // namespace Schema
