#pragma once
// Every table, column and statement text the shell uses, in one place.
//
// Values typed by a person are never spliced into statement text: the user-name
// and month-key look-ups carry a bound marker where a quoted literal would be.
#include <QString>

namespace Db {

// Tables
inline const QString tUsers = QStringLiteral("Users");
inline const QString tAccounts = QStringLiteral("Accounts");
inline const QString tScheme = QStringLiteral("Scheme");
inline const QString tEmployee = QStringLiteral("Employee");
inline const QString tShiftsRule = QStringLiteral("Shifts_Rule");
inline const QString tOpLog = QStringLiteral("OpLog");

// Users
inline const QString cUsername = QStringLiteral("username");
inline const QString cPassword = QStringLiteral("password");
inline const QString cIsNew = QStringLiteral("isNew");
inline const QString cIsStop = QStringLiteral("IsStop");
inline const QString cUserId = QStringLiteral("User_id");
inline const QString cAccess = QStringLiteral("Access");

// Accounts
inline const QString cYm = QStringLiteral("ym");
inline const QString cAccountName = QStringLiteral("account_name");
inline const QString cBeginDate = QStringLiteral("begin_date");
inline const QString cEndDate = QStringLiteral("end_date");

// Scheme (plus the day columns "1" to "31")
inline const QString cSchemeYm = QStringLiteral("YM");
inline const QString cEmpId = QStringLiteral("emp_id");
inline const QString cShiftId = QStringLiteral("shift_id");
inline const QString cStartDate = QStringLiteral("start_date");
inline QString dayColumn(int day)
{
    return QString::number(day);
}

// Employee
inline const QString cLeaveDate = QStringLiteral("leave_date");

// Shifts_Rule
inline const QString cShiftsCyc = QStringLiteral("shifts_cyc");
inline const QString cShiftsCycUnit = QStringLiteral("shifts_cyc_unit");
inline const QString cShifts = QStringLiteral("shifts");

// OpLog
inline const QString cOpTime = QStringLiteral("opTime");
inline const QString cBeWrite = QStringLiteral("BeWrite");
inline const QString cOpUser = QStringLiteral("opUser");
inline const QString cOpComputer = QStringLiteral("opComPuter");

// Statements. ":name" markers are bound by Query.
// Is any operator defined; every user name for the login list.
inline const QString sqlAllUsers = QStringLiteral("select * from Users");
// The operator's row by name (sign-in, password change).
inline const QString sqlUserByName = QStringLiteral("select * from Users where username=:username");
// The operator's row, only when not stopped (before the account-period dialog).
inline const QString sqlActiveUserByName = QStringLiteral("select * from Users where username=:username and IsStop=0 ");
// The password change: the new password and the new-operator flag cleared, in
// one write of the operator's row as read by sqlUserByName, found again by name,
// id and the password it held, so that another row of the same name keeps its
// own. The id and the old password are bound as they were read (a number stays
// a number), and each column is compared as it stands so that the engine
// converts the bound value to the column's type: wrapping the column (COALESCE,
// a cast) would lose that, and an INTEGER id would never match its text. A NULL
// id or password is matched by the ":...Null" flags. It returns the rows it
// changed (SQLite 3.35 and PostgreSQL both know RETURNING), so that a write
// that reached no row can be told from success.
inline const QString sqlChangePassword
    = QStringLiteral("UPDATE Users SET password=:password, isNew=:isNew WHERE username=:username "
                     "AND (User_id=:userId OR (User_id IS NULL AND :userIdNull=1)) "
                     "AND (password=:oldPassword OR (password IS NULL AND :oldPasswordNull=1)) RETURNING username");
// A password kept as text replaced by its hash after a right password, in
// the row it was read from, unless that row changed meanwhile.
inline const QString sqlRehashPassword
    = QStringLiteral("UPDATE Users SET password=:password WHERE username=:username "
                     "AND (User_id=:userId OR (User_id IS NULL AND :userIdNull=1)) "
                     "AND (password=:oldPassword OR (password IS NULL AND :oldPasswordNull=1)) RETURNING username");
// The operator's rights.
inline const QString sqlUserAccess = QStringLiteral("select Access from Users where username=:username");
// Does a period exist for a month key.
inline const QString sqlAccountByYm = QStringLiteral("SELECT * FROM Accounts WHERE ym=:ym");
// Last month's schedule rows with the employee's leave date: the newest anchor
// first, fixed shifts (no anchor) last, on every engine.
inline const QString sqlOldMonthSchemes
    = QStringLiteral("SELECT S.*, E.leave_date FROM Scheme S, Employee E WHERE S.emp_id = E.emp_id AND YM = :ym "
                     "ORDER BY CASE WHEN S.start_date IS NULL THEN 1 ELSE 0 END, S.start_date DESC, E.emp_id");
// The new month's schedule rows.
inline const QString sqlNewMonthSchemes = QStringLiteral("SELECT * FROM Scheme WHERE YM=:YM");
// The shift rules, read whole.
inline const QString sqlShiftRules = QStringLiteral("SELECT * FROM Shifts_Rule");
// One operation log entry.
inline const QString sqlInsertOpLog = QStringLiteral(
    "INSERT INTO OpLog (opTime, BeWrite, opUser, opComPuter) VALUES (:opTime, :BeWrite, :opUser, :opComputer)");
// Whether that entry is there already: a write whose answer was lost may have been stored.
inline const QString sqlOpLogEntryCount = QStringLiteral(
    "SELECT COUNT(*) AS n FROM OpLog WHERE opTime = :opTime AND BeWrite = :BeWrite "
    "AND COALESCE(opUser, '') = COALESCE(:opUser, '') AND opComPuter = :opComputer");
// PostgreSQL: whether the session takes no writes (a standby, or a server made read-only).
inline const QString sqlReadOnlyPg = QStringLiteral("SHOW transaction_read_only");

// Repeated wrong passwords, counted per operator in a table of the shell's own
// (created when first needed), shared by every workstation. Times are whole
// seconds since 1970 (UTC); %1 stands for the clock: the server's on
// PostgreSQL, the workstation's on SQLite.
inline const QString sqlCreateLoginFailures
    = QStringLiteral("CREATE TABLE IF NOT EXISTS LoginFailures (username VARCHAR(255) NOT NULL PRIMARY KEY, "
                     "failures INTEGER NOT NULL, last_failure BIGINT NOT NULL, locked_until BIGINT)");
// The name as the Users table spells it, found the way the database compares
// names (a column that ignores letter case finds "admin" for "ADMIN"); NULL
// for a name no operator has.
inline const QString sqlOperatorSpelling
    = QStringLiteral("SELECT MIN(username) AS username FROM Users WHERE username=:username");
// Seconds the name must still wait; no row when it may try.
inline const QString sqlLoginLockWait = QStringLiteral(
    "SELECT locked_until - %1 AS wait FROM LoginFailures WHERE username=:username AND locked_until > %1");
// A clock set back behind the last failure (a workstation's, on SQLite): the
// lock starts again from now with the length it had, rather than lasting
// until the clock catches up.
inline const QString sqlRebaseLoginFailure = QStringLiteral(
    "UPDATE LoginFailures SET locked_until = CASE WHEN locked_until IS NULL THEN NULL "
    "WHEN locked_until - last_failure > 900 THEN %1 + 900 ELSE %1 + locked_until - last_failure END, "
    "last_failure = %1 WHERE username=:username AND last_failure > %1");
// One more failure, counted in one statement whatever other workstations do at
// the same moment. Failures more than the longest lock (15 minutes) before
// this one are forgotten. The fifth failure in a row locks the name for 30
// seconds, each further one doubles the wait, up to 15 minutes.
inline const QString sqlCountLoginFailure = QStringLiteral(
    "INSERT INTO LoginFailures (username, failures, last_failure, locked_until) VALUES (:username, 1, %1, NULL) "
    "ON CONFLICT (username) DO UPDATE SET "
    "failures = CASE WHEN %1 - LoginFailures.last_failure > 900 THEN 1 ELSE LoginFailures.failures + 1 END, "
    "last_failure = %1, "
    "locked_until = CASE WHEN %1 - LoginFailures.last_failure > 900 OR LoginFailures.failures + 1 < 5 THEN NULL "
    "WHEN LoginFailures.failures + 1 >= 10 THEN %1 + 900 "
    "ELSE %1 + (30 << (LoginFailures.failures + 1 - 5)) END");
inline const QString sqlClearLoginFailures = QStringLiteral("DELETE FROM LoginFailures WHERE username=:username");

// The main window's roster and the admin tool's export: one month's schedule
// rows in employee order, with the employee's name (a name look-up, so that an
// id held twice in Employee does not show a row twice) and the month's days as
// one text, the codes joined by sqlRosterDaySeparator (one value a row reads
// many times faster than one a day). %1: sqlRosterName, or NULL where Employee
// has no name column; %2: sqlRosterDay for each day, joined by
// " || '<separator>' || "; %1 in sqlRosterDay: the day column, quoted.
inline const QString cEmpName = QStringLiteral("emp_name");
inline const QString sqlRosterName
    = QStringLiteral("(SELECT MIN(E.emp_name) FROM Employee E WHERE E.emp_id = S.emp_id)");
inline const QString sqlRosterDay = QStringLiteral("COALESCE(CAST(S.%1 AS VARCHAR(255)), '')");
inline constexpr char16_t sqlRosterDaySeparator = u'\x1F';
inline const QString sqlRoster = QStringLiteral("SELECT S.emp_id, S.shift_id, S.start_date, %1 AS emp_name, %2 AS days "
                                                "FROM Scheme S WHERE S.YM = :ym ORDER BY S.emp_id");

// Schedule roll-over: last month's rows as sqlOldMonthSchemes gives them, with only
// the columns the roll-over reads, so that neither engine sorts or sends the
// day columns.
inline const QString sqlOldMonthSchemeKeys
    = QStringLiteral("SELECT S.emp_id, S.shift_id, S.start_date, E.leave_date FROM Scheme S, Employee E "
                     "WHERE S.emp_id = E.emp_id AND YM = :ym "
                     "ORDER BY CASE WHEN S.start_date IS NULL THEN 1 ELSE 0 END, S.start_date DESC, E.emp_id");
// Schedule roll-over: one employee's row of a month. %1 is a list of
// "column=?" settings, %2 the column names, %3 as many markers; the markers of
// the key come last in the update.
inline const QString sqlUpdateSchemeRow = QStringLiteral("UPDATE Scheme SET %1 WHERE YM=? AND emp_id=?");
inline const QString sqlInsertSchemeRow = QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2)");
// The same on PostgreSQL, for a pipeline: $1 the month, $2 the employee, %1
// the settings ("column=$3, ..."), %2 the other column names, %3 their
// markers; each returns the place (ctid) of the row it wrote. A row the month
// holds is updated at its place (%4, the last marker); where that finds
// nothing it is looked up by its key, and inserted when it is not there.
inline const QString sqlInsertSchemeRowPg
    = QStringLiteral("INSERT INTO Scheme (YM, emp_id, %1) VALUES ($1, $2, %2) RETURNING ctid");
inline const QString sqlWriteSchemeRowAtPg = QStringLiteral(
    "WITH a AS (UPDATE Scheme SET %1 WHERE ctid=%4::tid AND YM=$1 AND emp_id=$2 RETURNING ctid), "
    "k AS (UPDATE Scheme SET %1 WHERE YM=$1 AND emp_id=$2 AND NOT EXISTS (SELECT 1 FROM a) RETURNING ctid), "
    "i AS (INSERT INTO Scheme (YM, emp_id, %2) SELECT $1, $2, %3 "
    "WHERE NOT EXISTS (SELECT 1 FROM a) AND NOT EXISTS (SELECT 1 FROM k) RETURNING ctid) "
    "SELECT ctid FROM a UNION ALL SELECT ctid FROM k UNION ALL SELECT ctid FROM i");
// The month's rows and their places.
inline const QString sqlSchemePlacesPg = QStringLiteral("SELECT ctid, emp_id FROM Scheme WHERE YM=$1");
// One roll-over of a month at a time across workstations: a session lock on
// the pair (roll-over, the month key's hash); $1 the roll-over's number, $2 the
// key. It waits $3 milliseconds at most: the lock timeout is set first (the
// sub-select runs before the lock is asked for) and holds for this statement's
// transaction alone.
inline const QString sqlLockMonthPg = QStringLiteral("SELECT pg_advisory_lock($1::int4, hashtext($2)) "
                                                     "FROM (SELECT set_config('lock_timeout', $3, true)) AS waiting");
inline const QString sqlUnlockMonthPg = QStringLiteral("SELECT pg_advisory_unlock($1::int4, hashtext($2))");
inline const QString sqlDeallocatePg = QStringLiteral("DEALLOCATE %1");
// With a unique key on (YM, emp_id): %1 every column name, %2 as many
// markers, %3 "column=excluded.column" for every column after the key.
inline const QString sqlUpsertSchemeRowSqlite
    = QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2) ON CONFLICT (YM, emp_id) DO UPDATE SET %3");
// The unique keys of Scheme on SQLite: the indexes, then the columns of one (%1).
inline const QString sqlSchemeIndexesSqlite = QStringLiteral("PRAGMA index_list(Scheme)");
inline const QString sqlIndexColumnsSqlite = QStringLiteral("PRAGMA index_info(%1)");
// Without that key, each row is written in a transaction of its own under the
// file's write lock, by the rowid that one read of the month's rows found:
// %1 the settings, then the key and the rowid.
inline const QString sqlUpdateSchemeRowAtSqlite
    = QStringLiteral("UPDATE Scheme SET %1 WHERE YM=? AND emp_id=? AND rowid=?");
// The month's rows after a rowid ($1), the month $2; the highest rowid of the table.
inline const QString sqlSchemeRowidsSqlite
    = QStringLiteral("SELECT rowid, emp_id FROM Scheme WHERE rowid > ? AND YM = ?");
inline const QString sqlLastSchemeRowidSqlite = QStringLiteral("SELECT max(rowid) FROM Scheme");
inline const QString sqlBeginImmediateSqlite = QStringLiteral("BEGIN IMMEDIATE");
inline const QString sqlCommit = QStringLiteral("COMMIT");
inline const QString sqlRollback = QStringLiteral("ROLLBACK");

// Opening the suite database: are the suite's tables there (their number, by
// lower-case name), and the session's settings on SQLite.
inline const QString sqlSuiteTablesSqlite
    = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND lower(name) IN ('users','accounts')");
inline const QString sqlSuiteTablesPg
    = QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = ANY "
                     "(current_schemas(false)) AND lower(table_name) IN ('users', 'accounts')");
inline const QString sqlSessionPragmasSqlite[]
    = { QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL") };
// How long a statement waits for another workstation's write lock on SQLite.
inline constexpr int sqliteBusyTimeoutMs = 3000;
// The admin tool on a server: which of the six tables exist, and the database's encoding.
inline const QString sqlSuiteTableNamesPg
    = QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = ANY "
                     "(current_schemas(false)) AND lower(table_name) IN "
                     "('users', 'accounts', 'scheme', 'employee', 'shifts_rule', 'oplog') "
                     "ORDER BY table_name");
inline const QString sqlDatabaseEncodingPg = QStringLiteral(
    "SELECT pg_encoding_to_char(encoding) AS name FROM pg_database WHERE datname = current_database()");

// The suite's tables as a new database gets them. %1: the text key's collation
// (byte by byte on PostgreSQL), %2: the date-time type, %3: the day columns
// (sqlCreateSchemeDay each), %1 in sqlCreateOpLog: its serial key.
inline const QString sqlCreateUsers
    = QStringLiteral("CREATE TABLE Users (User_id VARCHAR(20), username VARCHAR(50)%1 NOT NULL, "
                     "password VARCHAR(50), isNew INTEGER DEFAULT 0 NOT NULL, IsStop INTEGER DEFAULT 0, "
                     "Access TEXT)");
inline const QString sqlCreateUsersIndex = QStringLiteral("CREATE INDEX Users_username ON Users (username)");
inline const QString sqlCreateAccounts = QStringLiteral(
    "CREATE TABLE Accounts (ym VARCHAR(7)%1 PRIMARY KEY, account_name VARCHAR(50), begin_date %2, end_date %2)");
inline const QString sqlCreateEmployee
    = QStringLiteral("CREATE TABLE Employee (emp_id VARCHAR(20)%1 PRIMARY KEY, emp_name VARCHAR(50), leave_date %2)");
inline const QString sqlCreateShiftsRule
    = QStringLiteral("CREATE TABLE Shifts_Rule (shift_id VARCHAR(20)%1 PRIMARY KEY, shift_name VARCHAR(50), "
                     "shifts_cyc INTEGER, shifts_cyc_unit VARCHAR(10), shifts TEXT)");
inline const QString sqlCreateScheme
    = QStringLiteral("CREATE TABLE Scheme (YM VARCHAR(7)%1 NOT NULL, emp_id VARCHAR(20)%1 NOT NULL, "
                     "shift_id VARCHAR(20), start_date %2, %3, PRIMARY KEY (YM, emp_id))");
inline const QString sqlCreateSchemeDay = QStringLiteral("%1 VARCHAR(20)");
inline const QString sqlCreateOpLog = QStringLiteral(
    "CREATE TABLE OpLog (id %1, opTime %2, BeWrite VARCHAR(255), opUser VARCHAR(255), opComPuter VARCHAR(255))");
// One row of a table: %1 the table, %2 the columns, %3 as many markers.
inline const QString sqlInsertRow = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)");

} // namespace Db
