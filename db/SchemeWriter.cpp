#include "db/SchemeWriter.h"

#include "db/Query.h"
#include "db/Statements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <deque>
#include <libpq-fe.h>
#include <limits>
#include <optional>
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

// How long a row waits for another workstation's write before the run gives up.
constexpr qint64 sqliteGiveUpMs = 120 * 1000;

// Through SQLite's own API on the data module's connection (whose busy timeout
// it gives back afterwards), each row its own
// transaction.
//
// With a unique key on (YM, emp_id) a row is one insert that updates the row
// it meets. Without one, looking a row up by (YM, emp_id) would scan the whole
// table for every employee, so the month's rows are read once, with their
// rowids, and each row is then updated by its rowid or inserted. The look-up
// stays right with other workstations writing the same file: every row is
// written under the file's write lock (BEGIN IMMEDIATE), and when the file
// changed since this writer last looked (PRAGMA data_version), the rows added
// since are read first. A row that is gone or moved (its rowid finds nothing)
// is looked up by its key, the slow way, for that row alone. Other
// workstations' rows come between, so two runs of one month interleave row by
// row.
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
        endTransaction(false);
        for (auto& [set, s] : m_sets) {
            sqlite3_finalize(s.write);
            sqlite3_finalize(s.updateAt);
            sqlite3_finalize(s.updateByKey);
        }
        for (sqlite3_stmt* statement : { m_begin, m_commit, m_rollback, m_monthRows, m_lastRowid })
            sqlite3_finalize(statement);
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
        if (m_keyed) {
            bindRow(s.write, 1, values, empId, true);
            run(s.write, row.empId, &reason);
        } else {
            writeUnkeyed(s, values, empId, row.empId, &reason);
        }
        m_outcome(row.empId, reason);
    }

    void finish() override { }

private:
    struct Statements
    {
        sqlite3_stmt* write = nullptr; // keyed: the upsert; else the plain insert
        sqlite3_stmt* updateAt = nullptr; // by rowid
        sqlite3_stmt* updateByKey = nullptr;
        QString error; // the engine refused to prepare them
    };

    // Where an employee's row of the month is: its rowid, or, when the month
    // holds it more than once or it moved, only its key.
    struct Place
    {
        sqlite3_int64 rowid = 0;
        bool byKey = false;
    };

    void writeUnkeyed(Statements& s, const std::vector<QByteArray>& values, const QByteArray& empId, const QString& emp,
        QString* reason)
    {
        if (!m_begin) {
            m_begin = prepare(sqlBeginImmediateSqlite);
            m_commit = prepare(sqlCommit);
            m_rollback = prepare(sqlRollback);
            m_monthRows = prepare(sqlSchemeRowidsSqlite);
            m_lastRowid = prepare(sqlLastSchemeRowidSqlite);
            if (!m_begin || !m_commit || !m_rollback || !m_monthRows || !m_lastRowid)
                fail(emp);
        }
        run(m_begin, emp);
        std::optional<Place> stored;
        try {
            catchUp(emp);
            const auto found = m_rows.find(empId);
            if (found == m_rows.end()) {
                bindRow(s.write, 1, values, empId, true);
                if (run(s.write, emp, reason))
                    stored = Place { sqlite3_last_insert_rowid(m_handle), false };
            } else {
                bool done = false;
                if (!found->second.byKey) {
                    const int at = bindRow(s.updateAt, 1, values, empId, false);
                    sqlite3_bind_int64(s.updateAt, at, found->second.rowid);
                    done = run(s.updateAt, emp, reason) && sqlite3_changes(m_handle) > 0;
                    if (done)
                        stored = found->second;
                }
                if (!done && reason->isEmpty()) {
                    // Gone or moved since it was read, or held twice: found by its
                    // key, and inserted anew when it is no longer there.
                    bindRow(s.updateByKey, 1, values, empId, false);
                    if (run(s.updateByKey, emp, reason)) {
                        if (sqlite3_changes(m_handle) > 0) {
                            stored = Place { 0, true };
                        } else {
                            bindRow(s.write, 1, values, empId, true);
                            if (run(s.write, emp, reason))
                                stored = Place { sqlite3_last_insert_rowid(m_handle), false };
                        }
                    }
                }
            }
            endTransaction(stored.has_value(), emp);
            if (stored
                && sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &m_lastVersion) != SQLITE_OK)
                m_versionSeen = false;
        } catch (...) {
            endTransaction(false);
            throw;
        }
        if (stored) {
            m_rows[empId] = *stored;
            if (!stored->byKey)
                m_seenUpTo = std::max(m_seenUpTo, stored->rowid);
        }
    }

    // Reads the month's rows added since this writer last looked, when the
    // file has changed since this writer's last commit; the first time, all
    // of them. The pager counts every change of the file, this connection's
    // own commits included, and notices another connection's when the
    // transaction begins.
    void catchUp(const QString& emp)
    {
        unsigned int version = 0;
        if (sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
            m_versionSeen = false;
        else if (m_versionSeen && version == m_lastVersion)
            return;
        const sqlite3_int64 after = m_versionSeen ? m_seenUpTo : std::numeric_limits<sqlite3_int64>::min();
        m_versionSeen = true;
        m_lastVersion = version;
        sqlite3_bind_int64(m_monthRows, 1, after);
        bind(m_monthRows, 2, m_ym);
        int rc;
        while ((rc = sqlite3_step(m_monthRows)) == SQLITE_ROW) {
            const sqlite3_int64 rowid = sqlite3_column_int64(m_monthRows, 0);
            const QByteArray key = keyText(m_monthRows, 1);
            if (key.isNull())
                continue;
            const auto [it, added] = m_rows.try_emplace(key, Place { rowid, false });
            if (!added && it->second.rowid != rowid)
                it->second.byKey = true;
        }
        sqlite3_reset(m_monthRows);
        if (rc != SQLITE_DONE)
            fail(emp, rc);
        // Rows of other months added meanwhile are not read again either.
        if (run(m_lastRowid, emp, nullptr, false))
            m_seenUpTo = std::max(m_seenUpTo, sqlite3_column_int64(m_lastRowid, 0));
        sqlite3_reset(m_lastRowid);
    }

    // An employee id as the old-month rows give it: Qt's driver reads a number
    // as a number, so 7 and 7.0 are both "7".
    static QByteArray keyText(sqlite3_stmt* statement, int column)
    {
        switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QByteArray::number(sqlite3_column_int64(statement, column));
        case SQLITE_FLOAT:
            return QString::number(sqlite3_column_double(statement, column), 'g', QLocale::FloatingPointShortest)
                .toUtf8();
        default:
            return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                sqlite3_column_bytes(statement, column));
        }
    }

    // COMMIT when `commit`, else ROLLBACK of whatever transaction is open.
    void endTransaction(bool commit, const QString& emp = QString())
    {
        if (sqlite3_get_autocommit(m_handle))
            return;
        if (commit) {
            run(m_commit, emp);
            return;
        }
        sqlite3_step(m_rollback);
        sqlite3_reset(m_rollback);
    }

    // Binds the month, the employee and the values: for an insert the key
    // first, for an update the key last. Returns the next marker's number.
    int bindRow(
        sqlite3_stmt* statement, int at, const std::vector<QByteArray>& values, const QByteArray& empId, bool keyFirst)
    {
        if (keyFirst) {
            bind(statement, at++, m_ym);
            bind(statement, at++, empId);
        }
        for (const QByteArray& v : values)
            bind(statement, at++, v);
        if (!keyFirst) {
            bind(statement, at++, m_ym);
            bind(statement, at++, empId);
        }
        return at;
    }

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
            // A file that cannot be read ends the run; a statement the table
            // refuses (a missing column) belongs to the rows that need it.
            if (sqliteStorageFailure(sqlite3_extended_errcode(m_handle)) != StorageFailure::None)
                fail(QString());
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
        const QString settings = names.join(QStringLiteral("=?, ")) + QStringLiteral("=?");
        names.prepend(cEmpId);
        names.prepend(cSchemeYm);
        QStringList markers;
        markers.fill(QStringLiteral("?"), names.size());
        const QString columns = names.join(QStringLiteral(", "));
        if (m_keyed) {
            s.write = prepare(sqlUpsertSchemeRowSqlite.arg(columns, markers.join(u", "), excluded.join(u", ")));
        } else {
            s.write = prepare(sqlInsertSchemeRow.arg(columns, markers.join(u", ")));
            if (s.write)
                s.updateAt = prepare(sqlUpdateSchemeRowAtSqlite.arg(settings));
            if (s.updateAt)
                s.updateByKey = prepare(sqlUpdateSchemeRow.arg(settings));
        }
        if (!s.write || (!m_keyed && !s.updateByKey))
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

    // Runs a statement: to its end, or to its first row when not `reset` (the
    // caller reads the row and resets it). A refusal of the row goes into
    // `reason` (false); without `reason` it ends the run, as do a file still
    // held by another workstation after a long wait and a failure of the
    // database itself.
    bool run(sqlite3_stmt* statement, const QString& empId, QString* reason = nullptr, bool reset = true)
    {
        const int rc = sqlite3_step(statement);
        const bool ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
        if (!ok || reset) {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
        if (ok)
            return true;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED || !reason
            || sqliteStorageFailure(sqlite3_extended_errcode(m_handle)) != StorageFailure::None)
            fail(empId, rc);
        *reason = refusal();
        return false;
    }

    // Ends the run with the error the connection holds.
    [[noreturn]] void fail(const QString& empId, int rc = SQLITE_ERROR)
    {
        const QString what = empId.isEmpty() ? QCoreApplication::translate("Db", "无法保存排班")
                                             : QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(empId);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            throw Error(
                QCoreApplication::translate("Db", "%1：数据库文件一直被其他工作站占用，请稍后再试。").arg(what));
        const QString detail = QString::fromUtf8(sqlite3_errmsg(m_handle)).trimmed();
        const StorageFailure failure = sqliteStorageFailure(sqlite3_extended_errcode(m_handle));
        if (failure != StorageFailure::None) {
            const char* file = sqlite3_db_filename(m_handle, "main");
            const QString directory = file && *file ? QFileInfo(QString::fromUtf8(file)).absolutePath()
                                                    : QFileInfo(m_db.databaseName()).absolutePath();
            throw storageError(failure, Engine::SQLite, QDir::toNativeSeparators(directory),
                QStringLiteral("%1：%2").arg(what, detail));
        }
        throw Error(QStringLiteral("%1：%2").arg(what, detail));
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
    // Without a key: the month's rows as far as this writer knows them.
    std::unordered_map<QByteArray, Place> m_rows;
    sqlite3_int64 m_seenUpTo = std::numeric_limits<sqlite3_int64>::min(); // the highest rowid read
    unsigned int m_lastVersion = 0; // the file's version after this writer's last commit
    bool m_versionSeen = false;
    sqlite3_stmt* m_begin = nullptr;
    sqlite3_stmt* m_commit = nullptr;
    sqlite3_stmt* m_rollback = nullptr;
    sqlite3_stmt* m_monthRows = nullptr;
    sqlite3_stmt* m_lastRowid = nullptr;
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
            throw Error(QCoreApplication::translate("Db", "无法保存排班：%1").arg(message));
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
                throw Error(QCoreApplication::translate("Db", "无法保存排班：%1").arg(message));
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

    // The month's rows and their places, read once under the month's lock.
    void readMonth()
    {
        const char* params[] = { m_ym.constData() };
        PGresult* r
            = PQexecParams(m_conn, sqlSchemePlacesPg.toUtf8().constData(), 1, nullptr, params, nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            const QString message = errorText(r);
            const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            PQclear(r);
            if (PQstatus(m_conn) != CONNECTION_OK)
                lost(QString());
            if (pgStorageFailure(state) != StorageFailure::None)
                throw storageError(pgStorageFailure(state), Engine::PostgreSQL, server(),
                    QCoreApplication::translate("Db", "无法保存排班：%1").arg(message));
            throw Error(QCoreApplication::translate("Db", "无法保存排班：%1").arg(message));
        }
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
        QString refusal;
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
            if (status == PGRES_FATAL_ERROR && refusal.isEmpty()) {
                const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                if (outcome
                    && (PQstatus(m_conn) != CONNECTION_OK || state.startsWith("08") || state.startsWith("57P"))) {
                    const QString text = errorText(r);
                    PQclear(r);
                    lost(p.empId, text, QString::fromLatin1(state));
                }
                storage = pgStorageFailure(state);
                storageText = errorText(r);
                refusal = QCoreApplication::translate("Db", "数据库拒绝保存：%1").arg(storageText);
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
        if (outcome && storage != StorageFailure::None) {
            const QString what = p.empId.isEmpty()
                ? QCoreApplication::translate("Db", "无法保存排班")
                : QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(p.empId);
            throw storageError(storage, Engine::PostgreSQL, server(), QStringLiteral("%1：%2").arg(what, storageText));
        }
        if (p.prepare) {
            if (!refusal.isEmpty())
                m_prepareErrors[p.slot] = refusal;
        } else if (outcome) {
            // A statement the server would not prepare says why better than its run.
            const auto failedPrepare = m_prepareErrors.find(p.slot);
            const QString reason = failedPrepare != m_prepareErrors.end() ? failedPrepare->second : refusal;
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
        const QString what = empId.isEmpty() ? QCoreApplication::translate("Db", "无法保存排班")
                                             : QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(empId);
        throw errorFor(what, m_db, QSqlError(what, text, QSqlError::ConnectionError, state));
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
