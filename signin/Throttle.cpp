#include "signin/Throttle.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Prjconst.h"
#include "platform/System.h"

#include <QCoreApplication>

namespace Throttle {

namespace {

// The clock of the lock, as an expression of the statement: the server's on
// PostgreSQL (workstations' clocks differ), this machine's on SQLite.
QString clock(const QSqlDatabase& db)
{
    if (Db::engineOf(db) == Db::Engine::PostgreSQL)
        return QStringLiteral("CAST(FLOOR(EXTRACT(EPOCH FROM now())) AS BIGINT)");
    return QString::number(Platform::now().toSecsSinceEpoch());
}

// A failure of the count refuses the sign-in: a guard that cannot be kept
// must not let guesses through. A lost connection is reported as it is.
template <class Run> auto guarded(Run run)
{
    try {
        return run();
    } catch (const Db::Error& e) {
        if (e.connectionLost())
            throw;
        throw Db::Error(QCoreApplication::translate("Throttle",
                            "无法读写输错密码的记录，为安全起见，现在不能登录或修改密码。\n"
                            "请系统管理员检查数据库（表 LoginFailures 及其权限）。\n\n%1")
                            .arg(e.message()),
            e.kind());
    }
}

// The name the count is kept under: the operator's as Users spells it.
QString key(const QSqlDatabase& db, const QString& userName)
{
    Db::Query q(db, Db::sqlOperatorSpelling);
    q.bind(Db::cUsername, userName);
    q.open();
    const QString spelled = q.isEmpty() ? QString() : q.text(Db::cUsername);
    return spelled.isEmpty() ? userName : spelled;
}

bool tableExists(const QSqlDatabase& db)
{
    for (const QString& table : db.tables(QSql::TableType(QSql::Tables | QSql::Views))) {
        if (table.section(u'.', -1).compare(u"LoginFailures", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

int secondsLocked(const QSqlDatabase& db, const QString& userName)
{
    return guarded([&] {
        // Before the first failure the table may not exist yet: no lock then,
        // once the table is there to count the next one.
        if (!tableExists(db)) {
            Db::Query(db, Db::sqlCreateLoginFailures).exec();
            return 0;
        }
        const QString name = key(db, userName);
        if (Db::engineOf(db) == Db::Engine::SQLite) {
            Db::Query rebase(db, Db::sqlRebaseLoginFailure.arg(clock(db)));
            rebase.bind(Db::cUsername, name);
            rebase.exec();
        }
        Db::Query q(db, Db::sqlLoginLockWait.arg(clock(db)));
        q.bind(Db::cUsername, name);
        q.open();
        return q.isEmpty() ? 0 : q.value(QStringLiteral("wait")).toInt();
    });
}

void countFailure(const QSqlDatabase& db, const QString& userName)
{
    guarded([&] {
        // Where the user may not create it, an administrator may have.
        if (!tableExists(db))
            Db::Query(db, Db::sqlCreateLoginFailures).exec();
        Db::Query q(db, Db::sqlCountLoginFailure.arg(clock(db)));
        q.bind(Db::cUsername, key(db, userName));
        q.exec();
    });
}

void clear(const QSqlDatabase& db, const QString& userName)
{
    guarded([&] {
        if (!tableExists(db))
            return;
        Db::Query q(db, Db::sqlClearLoginFailures);
        q.bind(Db::cUsername, key(db, userName));
        q.exec();
    });
}

QString lockedMessage(int seconds)
{
    const QString wait = seconds < 60 ? Prjconst::_WaitSeconds.arg(seconds)
                                      : Prjconst::_WaitMinutes.arg(seconds / 60).arg(seconds % 60);
    return Prjconst::_msgUserLocked.arg(wait);
}

} // namespace Throttle
