#include "host/Schema.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "signin/PasswordHash.h"

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
        columns << Db::sqlCreateSchemeDay.arg(Db::quotedName(db, Db::dayColumn(day)));
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
    Db::Query q(db, Db::sqlInsertRow.arg(table, names.join(u','), markers.join(u',')));
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

    run(db, Db::sqlCreateUsers.arg(key));
    run(db, Db::sqlCreateUsersIndex);
    run(db, Db::sqlCreateAccounts.arg(key, dateTime));
    run(db, Db::sqlCreateEmployee.arg(key, dateTime));
    run(db, Db::sqlCreateShiftsRule.arg(key));
    run(db, Db::sqlCreateScheme.arg(key, dateTime, dayColumns(db)));
    run(db, Db::sqlCreateOpLog.arg(serial, dateTime));
}

void addInitialOperator(const QSqlDatabase& db)
{
    insert(db, QStringLiteral("Users"),
        { QStringLiteral("User_id"), QStringLiteral("username"), QStringLiteral("password"), QStringLiteral("isNew"),
            QStringLiteral("IsStop"), QStringLiteral("Access") },
        { QStringLiteral("1"), QStringLiteral("admin"), PasswordHash::make(QStringLiteral("admin")), 1, 0,
            QStringLiteral("ActAccount=5\r\nActOperator=1\r\nActImport=1") });
}

} // namespace Schema
