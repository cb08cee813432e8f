#pragma once
// The admin tool's verbs. Each reads what follows it on the command line with
// QCommandLineParser and has its own usage, which "kolvane-db VERB --help" and
// "kolvane-db help VERB" show.
#include "host/Connection.h"
#include "host/MonthKey.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace Tool {

class Command
{
    Q_DECLARE_TR_FUNCTIONS(Tool)
public:
    virtual ~Command() = default;
    // The verb as typed: "init", "user", ...
    virtual QString name() const = 0;
    // What the verb does, in a few words, for the list of verbs.
    virtual QString summary() const = 0;
    // Its forms, options and exit codes, each line ended.
    virtual QString usage() const = 0;
    // Runs the verb on the arguments after it; the exit code.
    virtual int run(const QStringList& args) = 0;

protected:
    // Parses `args` with the options of `parser`, and -h/--help. Nothing when
    // the verb is to go on; otherwise the exit code: 0 after showing the usage
    // for --help, 2 after saying what is wrong.
    std::optional<int> parse(QCommandLineParser& parser, const QStringList& args) const;
    // `message`, when there is one, and the usage on standard error; exit 2.
    int usageError(const QString& message = {}) const;
    // "未知选项 --force".
    static QString unknown(const QCommandLineOption& option);
    // The month "yyyy-mm" an argument names; nothing after saying it names none.
    static std::optional<MonthKey> month(const QString& text);
};

using Commands = std::vector<std::unique_ptr<Command>>;

// The verbs, each from its own file.
std::unique_ptr<Command> makeCreateCommand(bool demo); // "init", or "demo"
std::unique_ptr<Command> makeRosterCommand();
std::unique_ptr<Command> makeImportCommand();
std::unique_ptr<Command> makeExportCommand();
std::unique_ptr<Command> makeUserCommand();

// "import employees|rules|schedule": reads `file` ("-": standard input) as
// `kind`, the schedules of month `ym`, and writes it into the database.
int importSheet(const Mainmodule::ConnectionSettings& settings, const QString& kind, const std::optional<MonthKey>& ym,
    const QString& file, bool dryRun);

} // namespace Tool
