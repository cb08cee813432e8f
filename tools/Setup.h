#pragma once
// The admin tool's site set-up: operators ("user ..."), and employees, shift
// rules and a month's schedules as spreadsheets ("export ...", "import ...").
#include "host/Connection.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

namespace Setup {

enum Exit : int
{
    Done = 0,
    Usage = 2,
    Refused = 4, // the database says no, or the change is refused
    CannotOpen = 5, // the database cannot be opened
    BadFile = 6, // an input file that cannot be read or has bad rows
};

// Whether `command` is one of the set-up commands.
bool handles(const QStringList& args);
// Runs "user|export|import ..." (args[0] is the command) and returns the exit code.
int run(QStringList args);

class Tool
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    // Says `message` on standard error and returns `code`.
    static int fail(const QString& message, int code);
    static void say(const QString& message);
    // Takes "--server TEXT" and "--db FILE" out of `args`; without either, the
    // database of the suite directory's Tavrel.ini (by default its
    // Kolvane.mdb). False, with the reason in `error`, for a bad option.
    static bool takeDatabase(QStringList& args, Mainmodule::ConnectionSettings& settings, QString& error);
    // Opens the database, runs `work` on it and closes it again.
    static int withDatabase(
        const Mainmodule::ConnectionSettings& settings, const std::function<int(const QSqlDatabase&)>& work);
    // The length a text column is declared with; 0 when unknown or unbounded.
    static int columnLength(const QSqlDatabase& db, const QString& table, const QString& column);
    // "是" or "否".
    static QString yesNo(bool value);
};

// The commands, once their database is chosen.
int userCommand(const Mainmodule::ConnectionSettings& settings, QStringList args);
int exportCommand(const Mainmodule::ConnectionSettings& settings, QStringList args);
int importCommand(const Mainmodule::ConnectionSettings& settings, QStringList args);

} // namespace Setup
