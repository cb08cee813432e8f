// The schedule writer through SQLite's own API.
#include "db/SchemeWriterParts.h"
#include "db/Statements.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDriver>
#include <cerrno>
#include <chrono>
#include <limits>
#include <optional>
#include <sqlite3.h>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Db::Scheme {

namespace {

// A batch: the rows a writer gathers, this many at most and for this long at
// most, before it writes them in one transaction.
constexpr size_t batchRows = 1000;
constexpr int batchMs = 50;
// How long a writer waits for its turn before it shows the operator the wait:
// waiting for the batches of a few other workstations is the normal course.
constexpr int quietWaitMs = 250;

// Whose turn it is to write the file. The schedule writers of all
// workstations take turns through locks on a file beside the database
// ("<file>-writers"), a batch of rows at a time: byte 0 is the turn, a shared
// lock on byte 1 says that a writer waits for it. A writer that gives up its
// turn while another waits lets that one take it before it asks again, so the
// workstations alternate, where the one that just wrote would otherwise take
// the file again at once. The locks belong to the open file, not to the
// process (two writers of one program take turns too), and the system drops
// them with a killed program. Where the file cannot be had (a directory that
// is not writable, a database in memory, locks the file system refuses), the
// writers rely on the database's own lock alone.
class Turn
{
public:
    explicit Turn(const char* database)
    {
        if (!database || !*database)
            return;
        struct stat info
        {
        };
        const mode_t mode = ::stat(database, &info) == 0 ? (info.st_mode & 0666) : 0660;
        // Only a plain file of that name: a link planted there is not followed.
        const QByteArray path = QByteArray(database) + "-writers";
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (m_fd >= 0)
            ::fchmod(m_fd, mode); // as the database, whatever the umask: all its writers share the file
        else if (errno == EEXIST)
            m_fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Turn()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

    // Waits for the turn, giveUpMs at most (false: not had).
    bool take(WaitNotice& notice)
    {
        if (m_held || lock(F_WRLCK, 0))
            return m_held = true;
        lock(F_RDLCK, 1);
        QElapsedTimer waited;
        waited.start();
        while (!lock(F_WRLCK, 0)) {
            if (waited.hasExpired(giveUpMs)) {
                lock(F_UNLCK, 1);
                return false;
            }
            if (waited.hasExpired(quietWaitMs))
                notice();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        lock(F_UNLCK, 1);
        return m_held = true;
    }

    // Ends the turn; a writer that waits for it has a few milliseconds to take it.
    void give()
    {
        if (!m_held)
            return;
        m_held = false;
        lock(F_UNLCK, 0);
        QElapsedTimer handing;
        handing.start();
        while (heldByOther(1) && !heldByOther(0) && !handing.hasExpired(5))
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }

private:
    // Sets or clears a lock of one byte without waiting; true when it is set.
    // A lock the system cannot give at all ends the taking of turns.
    bool lock(short type, off_t at)
    {
        if (m_fd < 0)
            return true;
        struct flock range
        {
        };
        range.l_type = type;
        range.l_whence = SEEK_SET;
        range.l_start = at;
        range.l_len = 1;
        if (::fcntl(m_fd, F_OFD_SETLK, &range) == 0)
            return true;
        if (errno == EAGAIN || errno == EACCES || errno == EINTR)
            return false;
        ::close(m_fd);
        m_fd = -1;
        return true;
    }

    // Whether another writer holds a lock on the byte.
    bool heldByOther(off_t at) const
    {
        if (m_fd < 0)
            return false;
        struct flock range
        {
        };
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = at;
        range.l_len = 1;
        return ::fcntl(m_fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    }

    int m_fd = -1;
    bool m_held = false;
};

// On the data module's connection (whose busy timeout it gives back
// afterwards). The rows are gathered into batches, and each batch is written
// in one transaction, in turn with the other workstations (Turn): the file is
// held only while a batch is written, never while the caller works. The
// outcome of a batch's rows is reported once it is committed, so a row
// reported as stored is in the file. Each row is still decided on its own: a
// row the database refuses is left out, the others of its batch stay. A batch
// waits for another program's write for giveUpMs at most, then the run ends.
//
// With a unique key on (YM, emp_id) a row is one insert that updates the row
// it meets. Without one, looking a row up by (YM, emp_id) would scan the whole
// table for every employee, so the month's rows are read once, with their
// rowids, and each row is then updated by its rowid or inserted. The look-up
// stays right with other workstations writing the same file: every batch is
// written under the file's write lock (BEGIN IMMEDIATE), and when the file
// changed since this writer last looked (PRAGMA data_version), the rows added
// since are read first. A row that is gone or moved (its rowid finds nothing)
// is looked up by its key, the slow way, for that row alone. Two runs of one
// month interleave batch by batch.
class SqliteWriter : public SchemeWriter
{
public:
    SqliteWriter(const QSqlDatabase& db, sqlite3* handle, const QString& ym, Outcome outcome, Waiting waiting)
        : m_db(db)
        , m_handle(handle)
        , m_ym(ym.toUtf8())
        , m_outcome(std::move(outcome))
        , m_waiting(std::move(waiting))
        , m_turn(sqlite3_db_filename(handle, "main"))
    {
        // Short waits: another program holds the file for a batch at a time.
        sqlite3_busy_handler(m_handle, &SqliteWriter::busy, this);
        m_keyed = hasMonthKey();
    }

    ~SqliteWriter() override
    {
        rollback();
        m_turn.give();
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
        if (m_batch.empty())
            m_batchAge.start();
        m_batch.push_back({ row, QString() });
        if (m_batch.size() >= batchRows || m_batchAge.hasExpired(batchMs))
            flush();
    }

    void finish() override { flush(); }

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

    // A row of the batch and its outcome (empty: stored).
    struct Pending
    {
        SchemeRow row;
        QString refusal;
    };

    // Writes the batch in one transaction, in turn, and reports its rows.
    void flush()
    {
        if (m_batch.empty())
            return;
        m_decided = 0;
        try {
            begin(m_batch.front().row.empId);
            for (size_t done = 0; done < m_batch.size(); ++done) {
                Pending& p = m_batch[done];
                p.refusal = store(p.row);
                // A refusal that took the whole transaction with it (a
                // conflict clause of ROLLBACK): the rows before are written again.
                if (!p.refusal.isEmpty() && sqlite3_get_autocommit(m_handle))
                    rewrite(done, p.row.empId);
                m_decided = done + 1;
            }
            run(m_commit, QString());
            committed();
        } catch (...) {
            keepWhatWasStored();
            throw;
        }
        report();
    }

    // Takes the turn and the file's write lock; without a key, catches up
    // with the rows other workstations added.
    void begin(const QString& emp)
    {
        if (!m_begin) {
            m_begin = prepare(sqlBeginImmediateSqlite);
            m_commit = prepare(sqlCommit);
            m_rollback = prepare(sqlRollback);
            if (!m_keyed) {
                m_monthRows = prepare(sqlSchemeRowidsSqlite);
                m_lastRowid = prepare(sqlLastSchemeRowidSqlite);
            }
            if (!m_begin || !m_commit || !m_rollback || (!m_keyed && (!m_monthRows || !m_lastRowid)))
                fail(emp);
        }
        if (!m_turn.take(m_waiting))
            throw heldTooLong(emp);
        run(m_begin, emp);
        m_open = true;
        if (!m_keyed)
            catchUp(emp);
    }

    void committed()
    {
        m_open = false;
        if (sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &m_lastVersion) != SQLITE_OK)
            m_versionSeen = false;
        m_turn.give();
    }

    void report()
    {
        std::vector<Pending> batch;
        batch.swap(m_batch);
        for (const Pending& p : batch)
            m_outcome(p.row.empId, p.refusal);
    }

    // The transaction is gone: the first `count` rows of the batch that were
    // stored are written anew in another.
    void rewrite(size_t count, const QString& emp)
    {
        m_open = false;
        m_decided = 0;
        forget();
        begin(emp);
        for (size_t i = 0; i < count; ++i) {
            Pending& p = m_batch[i];
            if (p.refusal.isEmpty()) {
                p.refusal = store(p.row);
                if (!p.refusal.isEmpty() && sqlite3_get_autocommit(m_handle))
                    return rewrite(count, emp);
            }
            m_decided = i + 1;
        }
    }

    // The run ends within the batch: the rows decided in the open transaction
    // are committed and reported (written anew when the failure took the
    // transaction with it), the rest are not. Without an open transaction
    // (a new one could not begin) none is.
    void keepWhatWasStored() noexcept
    {
        try {
            if (m_open && sqlite3_get_autocommit(m_handle))
                rewrite(m_decided, QString());
            if (!m_open)
                m_decided = 0;
            else {
                run(m_commit, QString());
                committed();
            }
            m_batch.resize(m_decided);
        } catch (...) {
            rollback();
            m_open = false;
            forget();
            m_batch.clear();
        }
        m_turn.give();
        try {
            report();
        } catch (...) {
            // The run's own error is the one to tell.
        }
    }

    // This writer's knowledge of the month's rows is no longer sure.
    void forget()
    {
        m_rows.clear();
        m_seenUpTo = std::numeric_limits<sqlite3_int64>::min();
        m_versionSeen = false;
    }

    // Writes one row in the open transaction; returns the database's refusal.
    QString store(const SchemeRow& row)
    {
        Statements& s = statements(columnSet(row));
        if (!s.error.isEmpty())
            return s.error;
        const std::vector<QByteArray> values = m_utf8(row);
        const QByteArray empId = row.empId.toUtf8();
        QString reason;
        if (m_keyed) {
            bindRow(s.write, 1, values, empId, true);
            run(s.write, row.empId, &reason);
            return reason;
        }
        const std::optional<Place> stored = storeUnkeyed(s, values, empId, row.empId, &reason);
        if (stored) {
            m_rows[empId] = *stored;
            if (!stored->byKey)
                m_seenUpTo = std::max(m_seenUpTo, stored->rowid);
        }
        return reason;
    }

    std::optional<Place> storeUnkeyed(Statements& s, const std::vector<QByteArray>& values, const QByteArray& empId,
        const QString& emp, QString* reason)
    {
        const auto found = m_rows.find(empId);
        if (found == m_rows.end()) {
            bindRow(s.write, 1, values, empId, true);
            if (run(s.write, emp, reason))
                return Place { sqlite3_last_insert_rowid(m_handle), false };
            return std::nullopt;
        }
        if (!found->second.byKey) {
            const int at = bindRow(s.updateAt, 1, values, empId, false);
            sqlite3_bind_int64(s.updateAt, at, found->second.rowid);
            if (!run(s.updateAt, emp, reason))
                return std::nullopt;
            if (sqlite3_changes(m_handle) > 0)
                return found->second;
        }
        // Gone or moved since it was read, or held twice: found by its key,
        // and inserted anew when it is no longer there.
        bindRow(s.updateByKey, 1, values, empId, false);
        if (!run(s.updateByKey, emp, reason))
            return std::nullopt;
        if (sqlite3_changes(m_handle) > 0)
            return Place { 0, true };
        bindRow(s.write, 1, values, empId, true);
        if (run(s.write, emp, reason))
            return Place { sqlite3_last_insert_rowid(m_handle), false };
        return std::nullopt;
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

    // ROLLBACK of whatever transaction is open.
    void rollback()
    {
        if (sqlite3_get_autocommit(m_handle) || !m_rollback)
            return;
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
        if (m_waitingFor.hasExpired(giveUpMs))
            return 0;
        m_waiting();
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
            s.error = refused();
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
        *reason = refused();
        return false;
    }

    // Ends the run with the error the connection holds.
    [[noreturn]] void fail(const QString& empId, int rc = SQLITE_ERROR)
    {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            throw heldTooLong(empId);
        const QString detail = QString::fromUtf8(sqlite3_errmsg(m_handle)).trimmed();
        const StorageFailure failure = sqliteStorageFailure(sqlite3_extended_errcode(m_handle));
        if (failure != StorageFailure::None) {
            const char* file = sqlite3_db_filename(m_handle, "main");
            const QString directory = file && *file ? QFileInfo(QString::fromUtf8(file)).absolutePath()
                                                    : QFileInfo(m_db.databaseName()).absolutePath();
            throw storageError(failure, Engine::SQLite, QDir::toNativeSeparators(directory), cannotSave(empId, detail));
        }
        throw Error(cannotSave(empId, detail));
    }

    QString refused() const { return refusal(QString::fromUtf8(sqlite3_errmsg(m_handle))); }

    QSqlDatabase m_db;
    sqlite3* m_handle;
    QByteArray m_ym;
    Outcome m_outcome;
    WaitNotice m_waiting;
    Turn m_turn;
    bool m_open = false; // a batch's transaction is open
    size_t m_decided = 0; // the batch's first rows, stored in it or refused
    std::vector<Pending> m_batch; // rows not reported yet
    QElapsedTimer m_batchAge;
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
};

} // namespace

std::unique_ptr<SchemeWriter> sqliteWriter(const QSqlDatabase& db, sqlite3* handle, const QString& ym,
    SchemeWriter::Outcome outcome, SchemeWriter::Waiting waiting)
{
    return std::make_unique<SqliteWriter>(db, handle, ym, std::move(outcome), std::move(waiting));
}

} // namespace Db::Scheme
