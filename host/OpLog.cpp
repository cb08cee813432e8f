#include "host/OpLog.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Mainmodule.h"
#include "platform/System.h"

namespace OpLog {

namespace {

void bind(Db::Query& q, const Entry& entry)
{
    q.bind(QStringLiteral("opTime"), entry.time);
    q.bind(QStringLiteral("BeWrite"), entry.text);
    q.bind(QStringLiteral("opUser"), entry.user);
    q.bind(QStringLiteral("opComputer"), entry.computer);
}

} // namespace

Entry::Entry(const QString& what, const QString& who)
    : time(Platform::now())
    , text(what.left(255))
    , user(who.left(255))
    , computer(Platform::GetComputerName().left(15))
{
}

void insert(const QSqlDatabase& db, const Entry& entry)
{
    Db::Query q(db, Db::sqlInsertOpLog);
    bind(q, entry);
    q.exec();
}

bool isStored(const QSqlDatabase& db, const Entry& entry)
{
    Db::Query q(db, Db::sqlOpLogEntryCount);
    bind(q, entry);
    return q.open().value(QStringLiteral("n")).toInt() > 0;
}

void write(const QString& text, const QString& user)
{
    const Entry entry(text, user);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            const QSqlDatabase db = Mainmodule::db();
            if (attempt == 0 || !isStored(db, entry))
                insert(db, entry);
            return;
        } catch (const Db::Error& error) {
            if (!error.connectionLost())
                return;
        } catch (...) {
            return;
        }
    }
}

} // namespace OpLog
