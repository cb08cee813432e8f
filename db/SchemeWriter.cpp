#include "db/SchemeWriter.h"

#include "db/Query.h"
#include "db/Statements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <deque>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Db {

namespace {

// What the database said, in one line, for the operator's list.
QString refusal(const QSqlError& error)
{
    QString detail = error.databaseText().trimmed();
    if (detail.isEmpty())
        detail = error.text().trimmed();
    return QCoreApplication::translate("Db", "数据库拒绝保存：%1").arg(detail.section(u'\n', 0, 0));
}

constexpr quint64 startBit = 1;

// The columns a row writes, as one number: bit 0 the start date, bit d day d.
quint64 columnSet(const SchemeRow& row)
{
    return (row.days & ~startBit) | (row.writeStart ? startBit : 0);
}

// The names of the columns a set writes after the key, quoted as the engine needs.
QStringList columnNames(const QSqlDatabase& db, quint64 set)
{
    QStringList names = { cShiftId };
    if (set & startBit)
        names << cStartDate;
    for (int day = 1; day <= 31; ++day)
        if (set & (quint64(1) << day))
            names << quotedName(db, dayColumn(day));
    return names;
}

// The values of those columns, in the same order.
QVariantList columnValues(const SchemeRow& row)
{
    QVariantList values = { row.shiftId };
    if (row.writeStart)
        values << toDbValue(row.start);
    for (int day = 1; day <= 31; ++day)
        if (row.days & (quint64(1) << day))
            values << row.codes[day];
    return values;
}

// Through Qt SQL: one prepared UPDATE and INSERT for each set of columns, the
// update first and the insert only when it found no row.
class QtWriter : public SchemeWriter
{
public:
    QtWriter(const QSqlDatabase& db, const QString& ym, Outcome outcome)
        : m_db(db)
        , m_ym(ym)
        , m_outcome(std::move(outcome))
    {
    }

    void write(const SchemeRow& row) override
    {
        const quint64 set = columnSet(row);
        const QVariantList values = columnValues(row);
        QString reason;
        Statement& update = statement(false, set);
        if (run(update, values, row.empId, false, reason) && update.query.numRowsAffected() <= 0)
            run(statement(true, set), values, row.empId, true, reason);
        m_outcome(row.empId, reason);
    }

    void finish() override { }

private:
    struct Statement
    {
        QSqlQuery query;
        QString error; // the engine refused to prepare it
    };

    Statement& statement(bool insert, quint64 set)
    {
        auto& cache = insert ? m_inserts : m_updates;
        const auto found = cache.find(set);
        if (found != cache.end())
            return found->second;
        QStringList names = columnNames(m_db, set);
        QString sql;
        if (insert) {
            names.prepend(cEmpId);
            names.prepend(cSchemeYm);
            QStringList markers;
            markers.fill(QStringLiteral("?"), names.size());
            sql = sqlInsertSchemeRow.arg(names.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")));
        } else {
            sql = sqlUpdateSchemeRow.arg(names.join(QStringLiteral("=?, ")) + QStringLiteral("=?"));
        }
        Statement& s = cache.try_emplace(set, Statement { QSqlQuery(m_db), QString() }).first->second;
        if (!s.query.prepare(sql)) {
            const QSqlError error = s.query.lastError();
            if (isConnectionLost(m_db, error)) {
                cache.erase(set);
                throw errorFor(QCoreApplication::translate("Db", "无法保存排班"), m_db, error);
            }
            s.error = refusal(error);
        }
        return s;
    }

    bool run(Statement& s, const QVariantList& values, const QString& empId, bool insert, QString& reason)
    {
        if (!s.error.isEmpty()) {
            reason = s.error;
            return false;
        }
        QSqlQuery& q = s.query;
        int at = 0;
        if (insert) {
            q.bindValue(at++, m_ym);
            q.bindValue(at++, empId);
        }
        for (const QVariant& v : values)
            q.bindValue(at++, v);
        if (!insert) {
            q.bindValue(at++, m_ym);
            q.bindValue(at++, empId);
        }
        if (q.exec())
            return true;
        // A lost connection ends the run: every later employee would fail the same way.
        if (isConnectionLost(m_db, q.lastError()))
            throw errorFor(QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(empId), m_db, q.lastError());
        reason = refusal(q.lastError());
        return false;
    }

    QSqlDatabase m_db;
    QString m_ym;
    Outcome m_outcome;
    std::unordered_map<quint64, Statement> m_inserts;
    std::unordered_map<quint64, Statement> m_updates;
};

// The connection behind Qt's driver, when the driver is the one named.
template <typename Handle> Handle* nativeHandle(const QSqlDatabase& db, const char* typeName)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), typeName) != 0)
        return nullptr;
    return *static_cast<Handle* const*>(handle.constData());
}

// The texts of a row's values after the key, in the order of columnNames(),
// as UTF-8; null for a null value. A month's rows hold few different codes:
// each is converted once.
class Utf8Values
{
public:
    std::vector<QByteArray> operator()(const SchemeRow& row)
    {
        std::vector<QByteArray> texts;
        texts.reserve(33);
        texts.push_back(utf8(row.shiftId));
        if (row.writeStart) {
            const QVariant start = toDbValue(row.start);
            texts.push_back(start.isNull() ? QByteArray() : start.toString().toUtf8());
        }
        for (int day = 1; day <= 31; ++day)
            if (row.days & (quint64(1) << day))
                texts.push_back(utf8(row.codes[day]));
        return texts;
    }

private:
    QByteArray utf8(const QString& text)
    {
        if (text.isNull())
            return {};
        const auto found = m_known.constFind(text);
        if (found != m_known.cend())
            return *found;
        if (m_known.size() > 4096)
            m_known.clear();
        return *m_known.insert(text, text.toUtf8());
    }

    QHash<QString, QByteArray> m_known;
};

// --- SQLite ------------------------------------------------------------------

// The data module's busy timeout, given back to the connection afterwards.
constexpr int sqliteBusyTimeoutMs = 3000;
// How long a row waits for another workstation's write before the run gives up.
constexpr qint64 sqliteGiveUpMs = 120 * 1000;

// Through SQLite's own API on the data module's connection. Each row is one
// statement, and SQLite runs a writing statement whole under the file's write
// lock: no other workstation can store the row between the look-up and the
// insert. With a unique key on (YM, emp_id) the statement is an insert that
// updates the row it meets; without one it inserts only when the month lacks
// the row, and a row that is there is then updated. Other workstations' rows
// come between, so two runs of one month interleave row by row.
class SqliteWriter : public SchemeWriter
{
public:
    SqliteWriter(const QSqlDatabase& db, sqlite3* handle, const QString& ym, Outcome outcome, Waiting waiting)
        : m_db(db)
        , m_handle(handle)
        , m_ym(ym.toUtf8())
        , m_outcome(std::move(outcome))
        , m_waiting(std::move(waiting))
    {
        // Short waits: the other workstation holds the file for one row at a time.
        sqlite3_busy_handler(m_handle, &SqliteWriter::busy, this);
        m_keyed = hasMonthKey();
    }

    ~SqliteWriter() override
    {
        for (auto& [set, s] : m_sets) {
            sqlite3_finalize(s.update);
            sqlite3_finalize(s.insert);
        }
        sqlite3_busy_timeout(m_handle, sqliteBusyTimeoutMs);
    }

    void write(const SchemeRow& row) override
    {
        Statements& s = statements(columnSet(row));
        if (!s.error.isEmpty()) {
            m_outcome(row.empId, s.error);
            return;
        }
        const std::vector<QByteArray> values = m_utf8(row);
        const QByteArray empId = row.empId.toUtf8();
        QString reason;
        // A row deleted between a failed insert and the update is inserted anew.
        for (int attempt = 0; attempt < 3 && reason.isEmpty(); ++attempt) {
            int at = 1;
            bind(s.insert, at++, m_ym);
            bind(s.insert, at++, empId);
            for (const QByteArray& v : values)
                bind(s.insert, at++, v);
            if (!m_keyed) {
                bind(s.insert, at++, m_ym);
                bind(s.insert, at++, empId);
            }
            if (!run(s.insert, row.empId, &reason) || m_keyed || sqlite3_changes(m_handle) > 0)
                break;
            at = 1;
            for (const QByteArray& v : values)
                bind(s.update, at++, v);
            bind(s.update, at++, m_ym);
            bind(s.update, at++, empId);
            if (!run(s.update, row.empId, &reason) || sqlite3_changes(m_handle) > 0)
                break;
        }
        m_outcome(row.empId, reason);
    }

    void finish() override { }

private:
    struct Statements
    {
        sqlite3_stmt* update = nullptr;
        sqlite3_stmt* insert = nullptr;
        QString error; // the engine refused to prepare them
    };

    static int busy(void* self, int count) { return static_cast<SqliteWriter*>(self)->wait(count); }

    int wait(int count)
    {
        if (count == 0)
            m_waitingFor.start();
        if (m_waitingFor.hasExpired(sqliteGiveUpMs))
            return 0;
        if (m_waiting && (!m_lastShown.isValid() || m_lastShown.hasExpired(200))) {
            m_lastShown.start();
            try {
                m_waiting();
            } catch (...) {
                // Showing the wait must not end it.
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(count < 100 ? 50 : 500));
        return 1;
    }

    sqlite3_stmt* prepare(const QString& sql)
    {
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v3(
                m_handle, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
            != SQLITE_OK) {
            sqlite3_finalize(statement);
            return nullptr;
        }
        return statement;
    }

    Statements& statements(quint64 set)
    {
        const auto found = m_sets.find(set);
        if (found != m_sets.end())
            return found->second;
        Statements& s = m_sets[set];
        QStringList names = columnNames(m_db, set);
        QStringList excluded;
        for (const QString& name : names)
            excluded << name + QStringLiteral("=excluded.") + name;
        const QString update = sqlUpdateSchemeRow.arg(names.join(QStringLiteral("=?, ")) + QStringLiteral("=?"));
        names.prepend(cEmpId);
        names.prepend(cSchemeYm);
        QStringList markers;
        markers.fill(QStringLiteral("?"), names.size());
        const QString columns = names.join(QStringLiteral(", "));
        if (m_keyed) {
            s.insert = prepare(sqlUpsertSchemeRowSqlite.arg(columns, markers.join(u", "), excluded.join(u", ")));
        } else {
            s.insert = prepare(sqlInsertMissingSchemeRow.arg(columns, markers.join(u", ")));
            if (s.insert)
                s.update = prepare(update);
        }
        if (!s.insert || (!m_keyed && !s.update))
            s.error = refusal();
        return s;
    }

    // Whether a unique index without condition holds exactly (YM, emp_id).
    bool hasMonthKey()
    {
        bool keyed = false;
        sqlite3_stmt* list = prepare(sqlSchemeIndexesSqlite);
        while (list && !keyed && sqlite3_step(list) == SQLITE_ROW) {
            const bool unique = sqlite3_column_int(list, 2) != 0;
            const bool partial = sqlite3_column_int(list, 4) != 0;
            if (!unique || partial)
                continue;
            const QString index = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list, 1)));
            sqlite3_stmt* info
                = prepare(sqlIndexColumnsSqlite.arg(m_db.driver()->escapeIdentifier(index, QSqlDriver::TableName)));
            QStringList columns;
            while (info && sqlite3_step(info) == SQLITE_ROW)
                columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info, 2))).toLower();
            sqlite3_finalize(info);
            columns.sort();
            keyed = columns == QStringList { cEmpId.toLower(), cSchemeYm.toLower() };
        }
        sqlite3_finalize(list);
        return keyed;
    }

    // The text stays where it is until the statement has run and been reset.
    void bind(sqlite3_stmt* statement, int at, const QByteArray& text)
    {
        if (text.isNull())
            sqlite3_bind_null(statement, at);
        else
            sqlite3_bind_text(statement, at, text.constData(), int(text.size()), SQLITE_STATIC);
    }

    // Runs a statement to its end. A refusal goes into `reason` (false); a
    // file still held by another workstation after a long wait ends the run.
    bool run(sqlite3_stmt* statement, const QString& empId, QString* reason = nullptr)
    {
        const int rc = sqlite3_step(statement);
        const QString refused = rc == SQLITE_DONE || rc == SQLITE_ROW ? QString() : refusal();
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            throw Error(QCoreApplication::translate(
                "Db", "无法保存员工 %1 的排班：数据库文件一直被其他工作站占用，请稍后再试。")
                            .arg(empId)
                            .toStdString());
        if (refused.isEmpty())
            return true;
        if (!reason)
            throw Error(
                QCoreApplication::translate("Db", "无法保存员工 %1 的排班：%2").arg(empId, refused).toStdString());
        *reason = refused;
        return false;
    }

    QString refusal() const
    {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(m_handle)).trimmed();
        return QCoreApplication::translate("Db", "数据库拒绝保存：%1").arg(detail.section(u'\n', 0, 0));
    }

    QSqlDatabase m_db;
    sqlite3* m_handle;
    QByteArray m_ym;
    Outcome m_outcome;
    Waiting m_waiting;
    bool m_keyed = false; // the table has a unique key on (YM, emp_id)
    Utf8Values m_utf8;
    std::unordered_map<quint64, Statements> m_sets;
    QElapsedTimer m_waitingFor;
    QElapsedTimer m_lastShown;
};

// --- PostgreSQL --------------------------------------------------------------

// The first number of the month lock: "KOLV".
constexpr const char* rolloverLockId = "1263488086";
// Rows sent ahead of their results.
constexpr size_t pipelineWindow = 512;

std::atomic<int> statementCounter { 0 };

// Through libpq's pipeline mode on the data module's connection: every row is
// one statement (update, else insert) followed by a sync, so it is its own
// transaction, committed by the server as it comes; the rows are sent without
// waiting for the results, which are read as they arrive. One roll-over of a
// month runs at a time across workstations (a session lock on the month), so
// that no other one can insert an employee's row between this one's look-up
// and its insert, whatever keys the table has.
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
        if (!PQenterPipelineMode(m_conn)) {
            if (PQstatus(m_conn) != CONNECTION_OK)
                lost(QString());
            const QString message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
            release();
            throw Error(QCoreApplication::translate("Db", "无法保存排班：%1").arg(message).toStdString());
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
        const QByteArray& name = statement(set);
        const std::vector<QByteArray> values = m_utf8(row);
        const QByteArray empId = row.empId.toUtf8();
        std::vector<const char*> params = { m_ym.constData(), empId.constData() };
        for (const QByteArray& v : values)
            params.push_back(v.isNull() ? nullptr : v.constData());
        if (!PQsendQueryPrepared(m_conn, name.constData(), int(params.size()), params.data(), nullptr, nullptr, 0)
            || !PQpipelineSync(m_conn))
            lost(row.empId);
        m_pending.push_back({ set, row.empId, false });
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
        quint64 set;
        QString empId; // empty for the preparation of a statement
        bool prepare;
    };

    void lockMonth(const Waiting& waiting)
    {
        const char* params[] = { rolloverLockId, m_ym.constData() };
        const QByteArray sql = sqlTryLockMonthPg.toUtf8();
        for (;;) {
            PGresult* r = PQexecParams(m_conn, sql.constData(), 2, nullptr, params, nullptr, nullptr, 0);
            const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
            const bool locked = ok && PQntuples(r) == 1 && qstrcmp(PQgetvalue(r, 0, 0), "t") == 0;
            const QString message = ok ? QString() : errorText(r);
            PQclear(r);
            if (!ok) {
                if (PQstatus(m_conn) != CONNECTION_OK)
                    lost(QString());
                throw Error(QCoreApplication::translate("Db", "无法保存排班：%1").arg(message).toStdString());
            }
            if (locked)
                break;
            // Another workstation is writing this month: its rows come first,
            // and this run updates them afterwards.
            if (waiting)
                waiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        m_locked = true;
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

    const QByteArray& statement(quint64 set)
    {
        const auto found = m_names.find(set);
        if (found != m_names.end())
            return found->second;
        const QStringList names = columnNames(m_db, set);
        QStringList settings;
        QStringList markers;
        for (int i = 0; i < names.size(); ++i) {
            markers << QStringLiteral("$%1").arg(i + 3);
            settings << names.at(i) + u'=' + markers.last();
        }
        const QByteArray sql = sqlWriteSchemeRowPg
                                   .arg(settings.join(QStringLiteral(", ")), names.join(QStringLiteral(", ")),
                                       markers.join(QStringLiteral(", ")))
                                   .toUtf8();
        const QByteArray name = m_prefix + QByteArray::number(set, 16);
        if (!PQsendPrepare(m_conn, name.constData(), sql.constData(), int(names.size()) + 2, nullptr)
            || !PQpipelineSync(m_conn))
            lost(QString());
        m_pending.push_back({ set, QString(), true });
        return m_names.emplace(set, name).first->second;
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
    // connection has nothing more to give.
    bool readOne(const Outcome* outcome)
    {
        const Pending p = m_pending.front();
        m_pending.pop_front();
        QString refusal;
        bool any = false;
        while (PGresult* r = PQgetResult(m_conn)) {
            any = true;
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_FATAL_ERROR && refusal.isEmpty()) {
                const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                if (outcome
                    && (PQstatus(m_conn) != CONNECTION_OK || state.startsWith("08") || state.startsWith("57P"))) {
                    const QString text = errorText(r);
                    PQclear(r);
                    lost(p.empId, text, QString::fromLatin1(state));
                }
                refusal = QCoreApplication::translate("Db", "数据库拒绝保存：%1").arg(errorText(r));
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
        if (p.prepare) {
            if (!refusal.isEmpty())
                m_prepareErrors[p.set] = refusal;
        } else if (outcome) {
            const auto failedPrepare = m_prepareErrors.find(p.set);
            (*outcome)(p.empId, failedPrepare != m_prepareErrors.end() ? failedPrepare->second : refusal);
        }
        return true;
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
        const QString what = empId.isEmpty() ? QCoreApplication::translate("Db", "无法保存排班")
                                             : QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(empId);
        throw errorFor(what, m_db, QSqlError(what, text, QSqlError::ConnectionError, state));
    }

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
};

} // namespace

std::unique_ptr<SchemeWriter> SchemeWriter::open(
    const QSqlDatabase& db, const QString& ym, Outcome outcome, Waiting waiting)
{
    if (engineOf(db) == Engine::SQLite) {
        if (sqlite3* handle = nativeHandle<sqlite3>(db, "sqlite3*"))
            return std::make_unique<SqliteWriter>(db, handle, ym, std::move(outcome), std::move(waiting));
    } else if (engineOf(db) == Engine::PostgreSQL) {
        if (PGconn* conn = nativeHandle<PGconn>(db, "pg_conn*"))
            return std::make_unique<PgWriter>(db, conn, ym, std::move(outcome), std::move(waiting));
    }
    return std::make_unique<QtWriter>(db, ym, std::move(outcome));
}

} // namespace Db
