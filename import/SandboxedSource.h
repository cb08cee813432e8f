#pragma once
// The Access reader in a process of its own. libmdb is C that believes what a
// file says: a damaged file can make it crash, loop for ever or reserve
// memory by the gigabyte. The reader runs in a child process (this same
// program, started with a hidden argument) under a memory limit; it hands the
// tables and rows over a pipe, and a child that crashes or makes no progress
// for a while ends the import with a message naming the file and the table.
#include "import/ImportSource.h"

#include <QProcess>
#include <optional>

namespace Import {

// The reader ended abnormally while reading the file: it crashed, went past
// its memory limit, or stopped making progress.
class DamagedFile : public ReadError
{
public:
    using ReadError::ReadError;
};

class SandboxedSource : public Source
{
public:
    // How long the reader may go without handing over anything.
    static constexpr int kWatchdogMs = 10000;
    // How many of the reader's own warnings (libmdb's) are kept to be shown.
    static constexpr int kWarningsKept = 3;

    // Starts the reader on `path` and takes its catalogue: `program` (by
    // default this program) with the hidden argument. `codePage` as for
    // AccessSource. Throws ReadError (a file that is not an Access file or
    // cannot be opened) or DamagedFile.
    SandboxedSource(const QString& path, int codePage, const QString& program = {});
    ~SandboxedSource() override;
    SandboxedSource(const SandboxedSource&) = delete;
    SandboxedSource& operator=(const SandboxedSource&) = delete;

    QString format() const { return m_format; }
    bool isJet3() const { return m_jet3; }
    int codePage() const { return m_codePage; }

    QList<Table> tables() override { return m_tables; }
    QList<Link> links() override { return m_links; }
    qint64 readRows(const Table& table, const std::function<void(const QVariantList& values)>& row) override;

    // The lines the reader wrote on its standard error, and the first few.
    qint64 warningCount() const { return m_warningCount; }
    QStringList warnings() const { return m_warnings; }

private:
    QByteArray nextFrame();
    void stop();
    [[noreturn]] void failed(const QString& why);
    void takeWarnings();

    QString m_path;
    QProcess m_process;
    QByteArray m_buffer;
    qsizetype m_taken = 0; // the frames of m_buffer handed on already
    QString m_format;
    bool m_jet3 = false;
    int m_codePage = 0;
    QList<Table> m_tables;
    QList<Link> m_links;
    QString m_reading; // the table being read, for the message when the reader fails
    bool m_inTable = false; // rows of a table not yet taken to its end
    qint64 m_warningCount = 0;
    QStringList m_warnings;
    QByteArray m_partialWarning;
};

// The reader's side: when argv[1] is the hidden argument, reads the Access
// file named after it as the parent asks and returns the exit code; nothing
// otherwise. Every program that imports calls it first thing in main().
std::optional<int> runReaderChild(int argc, char** argv);

} // namespace Import
