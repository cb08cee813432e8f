// The schedule writer through libpq's pipeline mode.
#include "db/SchemeWriterParts.h"
#include "db/Statements.h"

#include <QCoreApplication>
#include <atomic>
#include <deque>
#include <libpq-fe.h>
#include <poll.h>
#include <unordered_map>

namespace Db::Scheme {

namespace {

// The first number of the month lock: "KOLV".
constexpr const char* rolloverLockId = "1263488086";
// Rows sent ahead of their results.
constexpr size_t pipelineWindow = 512;

std::atomic<int> statementCounter { 0 };

// Through libpq's pipeline mode on the data module's connection: every row is
// one statement followed by a sync, so it is its own transaction, committed by
// the server as it comes; the rows are sent without waiting for the results,
// which are read as they arrive. One roll-over of a month runs at a time
// across workstations (a session lock on the month), so that no other one can
// insert an employee's row between this one's look-up and its insert,
// whatever keys the table has.
//
// Under that lock the month's rows are read once, with their places (ctid):
// a row the month holds is updated at its place, any other is inserted. Looking
// each row up by (YM, emp_id) instead would scan the whole table for every
// employee where the table has no index on them. Every write returns the
// row's new place (an update moves it); a row that is no longer at its place
// (another program changed it) is looked up by its key for that row alone.
class PgWriter : public SchemeWriter
{
public:
    PgWriter(const QSqlDatabase& db, PGconn* conn, const QString& ym, Outcome outcome, Waiting waiting)
        : m_db(db)
        , m_conn(conn)
        , m_ym(ym.toUtf8())
        , m_outcome(std::move(outcome))
        , m_prefix(QStringLiteral("kolvane_scheme_%1_").arg(++statementCounter).toUtf8())
    {
        lockMonth(waiting);
        try {
            readMonth();
        } catch (...) {
            release();
            throw;
        }
        if (!PQenterPipelineMode(m_conn)) {
            if (PQstatus(m_conn) != CONNECTION_OK)
                lost(QString());
            const QString message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
            release();
            throw Error(cannotSave(QString(), message));
        }
    }

    ~PgWriter() override
    {
        // Left by an error: the results still due are dropped, the statements
        // and the lock given back, as far as the connection still works.
        if (!m_conn)
            return;
        while (!m_pending.empty() && PQstatus(m_conn) == CONNECTION_OK) {
            if (!readOne(nullptr))
                break;
        }
        release();
    }

    void write(const SchemeRow& row) override
    {
        const quint64 set = columnSet(row);
        const QByteArray empId = row.empId.toUtf8();
        // The place of a row written a moment ago comes with its result.
        while (m_inFlight.contains(empId))
            readOne(&m_outcome);
        const auto found = m_places.find(empId);
        const bool known = found != m_places.end();
        const QByteArray place = known ? found->second : QByteArray();
        const quint64 slot = set << 1 | (known ? 1 : 0);
        const QByteArray& name = statement(slot);
        const std::vector<QByteArray> values = m_utf8(row);
        std::vector<const char*> params = { m_ym.constData(), empId.constData() };
        for (const QByteArray& v : values)
            params.push_back(v.isNull() ? nullptr : v.constData());
        if (known)
            params.push_back(place.constData());
        if (!PQsendQueryPrepared(m_conn, name.constData(), int(params.size()), params.data(), nullptr, nullptr, 0)
            || !PQpipelineSync(m_conn))
            lost(row.empId);
        m_pending.push_back({ slot, row.empId, empId, false });
        ++m_inFlight[empId];
        while (m_pending.size() > pipelineWindow || (!m_pending.empty() && ready()))
            readOne(&m_outcome);
    }

    void finish() override
    {
        while (!m_pending.empty())
            readOne(&m_outcome);
        release();
    }

private:
    struct Pending
    {
        quint64 slot; // the statement, as statement() names it
        QString empId; // empty for the preparation of a statement
        QByteArray key; // the employee as sent
        bool prepare;
    };

    // Waits for the month's lock, for giveUpMs at most (the server's lock
    // timeout, set for this statement alone), and shows the operator the wait:
    // another workstation is writing this month, its rows come first and this
    // run updates them afterwards.
    void lockMonth(const Waiting& waiting)
    {
        const QByteArray giveUp = QByteArray::number(giveUpMs.load());
        const char* params[] = { rolloverLockId, m_ym.constData(), giveUp.constData() };
        if (!PQsendQueryParams(m_conn, sqlLockMonthPg.toUtf8().constData(), 3, nullptr, params, nullptr, nullptr, 0))
            lost(QString());
        WaitNotice notice(waiting);
        pollfd socket { PQsocket(m_conn), POLLIN, 0 };
        while (!ready()) {
            if (poll(&socket, 1, 100) == 0)
                notice();
        }
        PGresult* r = PQgetResult(m_conn);
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            fail(r);
        PQclear(r);
        while ((r = PQgetResult(m_conn)))
            PQclear(r);
        m_locked = true;
    }

    // The month's rows and their places, read once under the month's lock.
    void readMonth()
    {
        const char* params[] = { m_ym.constData() };
        PGresult* r
            = PQexecParams(m_conn, sqlSchemePlacesPg.toUtf8().constData(), 1, nullptr, params, nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            fail(r);
        const int rows = PQntuples(r);
        m_places.reserve(size_t(rows));
        for (int i = 0; i < rows; ++i) {
            if (PQgetisnull(r, i, 1))
                continue;
            const QByteArray key(PQgetvalue(r, i, 1), PQgetlength(r, i, 1));
            const auto [it, added] = m_places.try_emplace(key, QByteArray(PQgetvalue(r, i, 0)));
            // Held twice: found by its key, and both are updated.
            if (!added)
                it->second = noPlace;
        }
        PQclear(r);
    }

    // Ends the run with the failure of a statement outside the pipeline.
    [[noreturn]] void fail(PGresult* r)
    {
        const QString message = errorText(r);
        const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        PQclear(r);
        while ((r = PQgetResult(m_conn)))
            PQclear(r);
        if (PQstatus(m_conn) != CONNECTION_OK)
            lost(QString());
        if (state == "55P03") // the lock was not free in time
            throw heldTooLong(QString());
        if (pgStorageFailure(state) != StorageFailure::None)
            throw storageError(pgStorageFailure(state), Engine::PostgreSQL, server(), cannotSave(QString(), message));
        throw Error(cannotSave(QString(), message));
    }

    // Gives back the statements and the month lock; the connection leaves
    // pipeline mode for Qt's driver.
    void release()
    {
        if (!m_conn)
            return;
        PQexitPipelineMode(m_conn);
        for (const auto& [set, name] : m_names) {
            const QByteArray sql = sqlDeallocatePg.arg(QString::fromUtf8(name)).toUtf8();
            PQclear(PQexec(m_conn, sql.constData()));
        }
        m_names.clear();
        if (m_locked) {
            const char* params[] = { rolloverLockId, m_ym.constData() };
            PQclear(
                PQexecParams(m_conn, sqlUnlockMonthPg.toUtf8().constData(), 2, nullptr, params, nullptr, nullptr, 0));
            m_locked = false;
        }
        m_conn = nullptr;
    }

    // The statement that writes a set of columns: an update at a known place
    // (with the look-up by key behind it), or an insert.
    // `slot`: the set of columns, shifted left, and 1 for the update.
    const QByteArray& statement(quint64 slot)
    {
        const quint64 set = slot >> 1;
        const bool atPlace = slot & 1;
        const auto found = m_names.find(slot);
        if (found != m_names.end())
            return found->second;
        const QStringList names = columnNames(m_db, set);
        QStringList settings;
        QStringList markers;
        for (int i = 0; i < names.size(); ++i) {
            markers << QStringLiteral("$%1").arg(i + 3);
            settings << names.at(i) + u'=' + markers.last();
        }
        const QString columns = names.join(QStringLiteral(", "));
        const QString values = markers.join(QStringLiteral(", "));
        const QByteArray sql = (atPlace ? sqlWriteSchemeRowAtPg.arg(settings.join(QStringLiteral(", ")), columns,
                                    values, QStringLiteral("$%1").arg(names.size() + 3))
                                        : sqlInsertSchemeRowPg.arg(columns, values))
                                   .toUtf8();
        const QByteArray name = m_prefix + QByteArray::number(slot, 16);
        if (!PQsendPrepare(m_conn, name.constData(), sql.constData(), int(names.size()) + (atPlace ? 3 : 2), nullptr)
            || !PQpipelineSync(m_conn))
            lost(QString());
        m_pending.push_back({ slot, QString(), QByteArray(), true });
        return m_names.emplace(slot, name).first->second;
    }

    // Whether a result can be read without waiting for the server.
    bool ready()
    {
        if (!PQconsumeInput(m_conn))
            lost(QString());
        return !PQisBusy(m_conn);
    }

    // Reads the results of the oldest statement sent and its sync; reports a
    // row's outcome through `outcome` (none: dropped). False when the
    // connection has nothing more to give. A failure of the server itself
    // (no room, read-only, an I/O error) ends the run once the statement's
    // results are read.
    bool readOne(const Outcome* outcome)
    {
        const Pending p = m_pending.front();
        m_pending.pop_front();
        if (!p.prepare) {
            const auto flight = m_inFlight.find(p.key);
            if (flight != m_inFlight.end() && --flight->second <= 0)
                m_inFlight.erase(flight);
        }
        QString refused;
        QByteArray place;
        StorageFailure storage = StorageFailure::None;
        QString storageText;
        bool any = false;
        while (PGresult* r = PQgetResult(m_conn)) {
            any = true;
            const ExecStatusType status = PQresultStatus(r);
            // Several rows of the employee (a table without a key) are found by key.
            if (status == PGRES_TUPLES_OK && PQntuples(r) > 0)
                place = PQntuples(r) == 1 ? QByteArray(PQgetvalue(r, 0, 0)) : noPlace;
            if (status == PGRES_FATAL_ERROR && refused.isEmpty()) {
                const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                if (outcome
                    && (PQstatus(m_conn) != CONNECTION_OK || state.startsWith("08") || state.startsWith("57P"))) {
                    const QString text = errorText(r);
                    PQclear(r);
                    lost(p.empId, text, QString::fromLatin1(state));
                }
                storage = pgStorageFailure(state);
                storageText = errorText(r);
                refused = refusal(storageText);
            }
            PQclear(r);
        }
        // The sync that ends the statement's transaction.
        PGresult* sync = PQgetResult(m_conn);
        const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
        PQclear(sync);
        if (!any || !synced) {
            if (outcome)
                lost(p.empId);
            return false;
        }
        if (outcome && storage != StorageFailure::None)
            throw storageError(storage, Engine::PostgreSQL, server(), cannotSave(p.empId, storageText));
        if (p.prepare) {
            if (!refused.isEmpty())
                m_prepareErrors[p.slot] = refused;
        } else if (outcome) {
            // A statement the server would not prepare says why better than its run.
            const auto failedPrepare = m_prepareErrors.find(p.slot);
            const QString reason = failedPrepare != m_prepareErrors.end() ? failedPrepare->second : refused;
            if (reason.isEmpty() && !place.isEmpty())
                m_places[p.key] = place;
            (*outcome)(p.empId, reason);
        }
        return true;
    }

    QString server() const
    {
        const char* host = PQhost(m_conn);
        return host && *host ? QString::fromUtf8(host) : m_db.hostName();
    }

    static QString errorText(const PGresult* r)
    {
        QString text = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)).trimmed();
        if (text.isEmpty())
            text = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        return text.section(u'\n', 0, 0);
    }

    // The connection is gone: the run ends, the data module opens a new one
    // for the next operation.
    [[noreturn]] void lost(const QString& empId, QString text = QString(), QString state = QString())
    {
        if (text.isEmpty())
            text = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        if (state.isEmpty() || !(state.startsWith(u"08") || state.startsWith(u"57P")))
            state = QStringLiteral("08006");
        m_conn = nullptr; // closed with the database below
        m_pending.clear();
        const QString what = cannotSave(empId);
        const Error error = errorFor(what, m_db, QSqlError(what, text, QSqlError::ConnectionError, state));
        // Each row is its own transaction: those the server confirmed are
        // stored, and the next run updates them in place.
        throw Error(Platform::messageOf(error) + QStringLiteral("\n\n")
                + QCoreApplication::translate("Db",
                    "已经保存的排班保留不变，其余的没有保存。连接恢复后请再次保存，"
                    "系统会补全这个月的排班，每名员工仍只有一行。"),
            error.kind());
    }

    // A place that finds no row: the row is looked up by its key.
    inline static const QByteArray noPlace = QByteArrayLiteral("(0,0)");

    QSqlDatabase m_db;
    PGconn* m_conn;
    QByteArray m_ym;
    Outcome m_outcome;
    QByteArray m_prefix;
    bool m_locked = false;
    Utf8Values m_utf8;
    std::unordered_map<quint64, QByteArray> m_names;
    std::unordered_map<quint64, QString> m_prepareErrors;
    std::deque<Pending> m_pending;
    // The month's rows by employee, and the employees whose write is still
    // due: their place comes with its result.
    std::unordered_map<QByteArray, QByteArray> m_places;
    std::unordered_map<QByteArray, int> m_inFlight;
};

} // namespace

std::unique_ptr<SchemeWriter> pgWriter(const QSqlDatabase& db, PGconn* conn, const QString& ym,
    SchemeWriter::Outcome outcome, SchemeWriter::Waiting waiting)
{
    return std::make_unique<PgWriter>(db, conn, ym, std::move(outcome), std::move(waiting));
}

} // namespace Db::Scheme
