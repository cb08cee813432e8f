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
    QString host; // one host, or several for a primary and its standbys: "db1,db2"
    int port = 0; // the first port
    QString ports; // with several ports, all of them as libpq takes them ("5432,5433"); else empty
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
// dbname=... user=... [password=...]"; values may be single-quoted. Or the
// same as a URI: "postgres://user@db1:5432,db2:5432/dbname?target_session_attrs=read-write".
// Hosts and ports may be lists, as libpq takes them. Keys other than these
// five go to libpq as they stand; a missing one is left to libpq
// (environment, defaults). Throws Db::Error, naming no value, when the text
// does not parse.
ConnectionSettings serverSettings(const QString& connectionText);

// Opens a connection under the given name. When it fails, throws Db::Error
// with a message for the operator naming what failed and where; nothing is
// created or changed then. With `requireSuiteTables`, a database without the
// suite's tables counts as a failure.
void openConnection(const ConnectionSettings& settings, const QString& connectionName, bool requireSuiteTables = true);

// Closes a PostgreSQL connection that the server ended while it stood idle
// between operations (a restart, a primary gone and its standby promoted), so
// that it is opened anew, to whichever server now takes writes, before the
// next operation rather than failing its first statement. True when it did.
bool closeIfEnded(QSqlDatabase& db);

} // namespace Mainmodule
