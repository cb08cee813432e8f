#pragma once
// What the admin tool's commands share: their exit codes and messages, the
// database a command names, transactions, and new databases that are made
// whole or not at all.
#include "host/Connection.h"
#include "import/NewDatabase.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <functional>
#include <optional>

namespace Tool {

enum Exit : int
{
    Done = 0,
    Usage = 2,
    Exists = 3, // the file or the suite's tables exist already, or the server's database is not UTF8
    Refused = 4, // the database says no, the change is refused, or the work failed
    CannotOpen = 5, // the database, the server or the Access file cannot be opened
    BadFile = 6, // an input file that cannot be read or has bad rows
};

// Says "kolvane-db: `message`" on standard error and returns `code`.
int fail(const QString& message, int code);
// Says `message` on standard output.
void say(const QString& message);

// The options "--db FILE" and "--server TEXT" that name a command's database.
class DatabaseOptions
{
    Q_DECLARE_TR_FUNCTIONS(Tool)
public:
    // Adds the options to `parser`.
    explicit DatabaseOptions(QCommandLineParser& parser);
    // The database named: a file (by --db, or among `files`, the file names
    // given without the option where a command takes one) or a server;
    // settings with an empty driver when none is named. The file's name is
    // kept as given. Nothing, after saying why (exit 2), when two are named,
    // a file name is empty or the connection text does not parse.
    std::optional<Mainmodule::ConnectionSettings> named(
        const QCommandLineParser& parser, const QStringList& files = {}) const;
    // The same, and without either option the database of the suite
    // directory's Tavrel.ini (by default its Kolvane.mdb).
    std::optional<Mainmodule::ConnectionSettings> orSuite(const QCommandLineParser& parser) const;

private:
    QCommandLineOption m_db;
    QCommandLineOption m_server;
};

// Opens the database (which must have the suite's tables), runs `work` on
// it and closes it again. Exit 5 when it cannot be opened, 4 with the reason
// when `work` throws; otherwise what `work` returns.
int withDatabase(const Mainmodule::ConnectionSettings& settings, const std::function<int(const QSqlDatabase&)>& work);

// Fills a new database, inside the transaction that makes it. Throws.
using Fill = Import::Fill;
// A new SQLite file at `path`: made under a name of its own in the same
// directory, filled, written to the disk and only then given its name, never
// over an existing file; removed when anything fails. `failed` says so, with
// the path in %1 and the reason in %2. Exit 3 when the file exists, 4 when it
// cannot be made.
int buildFile(const QString& path, const Fill& fill, const QString& failed);
// Whether a new SQLite file can be made at `path` (see buildFile): Done, or
// the exit code after saying why not. Removes a killed run's temporary files.
int checkNewFile(const QString& path);
// The same on a server: into a UTF8 database without the suite's tables, in
// one transaction; `failed` with the server in %1. Exit 3 for a database
// that is not UTF8 or has the suite's tables, 4 when filling fails, 5 when
// the server cannot be reached.
int buildOnServer(const Mainmodule::ConnectionSettings& settings, const Fill& fill, const QString& failed);

} // namespace Tool
