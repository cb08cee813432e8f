#pragma once
// Opening the suite database: where it lives (section [Database] of
// "Tavrel.ini", or a libpq connection text for the admin tool), the checks of
// an SQLite file before it is used, and the connection itself. The data module
// and the admin tool use it; failures are Db::Error with the operator's message.
#include <QSqlDatabase>
#include <QString>

namespace Mainmodule {

// Where the suite database lives, from section [Database] of "Tavrel.ini" beside
// the executable. Without the section: the SQLite file "Kolvane.mdb" there.
struct ConnectionSettings
{
    QString driver; // "QSQLITE" or "QPSQL"
    QString file; // SQLite: full path of the database file
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;
    bool hasPassword = false; // empty: left to libpq's password file
    QString options; // further libpq settings ("sslmode=require ...")
    QString warning; // for the operator, once: a password others can read

    QString describe() const; // for messages: the file, or user@host:port/database
};
// Throws Db::Error when "Tavrel.ini" is there but cannot be read: the program
// must not quietly take another database.
ConnectionSettings readConnectionSettings(const QString& appDir);
// A PostgreSQL server from a libpq connection text: "host=... port=...
// dbname=... user=... [password=...]"; values may be single-quoted. Keys
// other than these five go to libpq as they stand; a missing one is left to
// libpq (environment, defaults). Throws Db::Error, naming no value, when the
// text does not parse.
ConnectionSettings serverSettings(const QString& connectionText);

// Opens a connection under the given name. When it fails, throws Db::Error
// with a message for the operator naming what failed and where; nothing is
// created or changed then. With `requireSuiteTables`, a database without the
// suite's tables counts as a failure.
void openConnection(const ConnectionSettings& settings, const QString& connectionName, bool requireSuiteTables = true);

} // namespace Mainmodule
