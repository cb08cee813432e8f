#include "import/SandboxedSource.h"

#include "import/AccessSource.h"
#include "platform/System.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocale>
#include <QThread>
#include <QtEndian>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace Import {

// The catalogue as it goes over the pipe.
static QDataStream& operator<<(QDataStream& s, const Column& c)
{
    return s << c.name << qint32(c.kind) << qint32(c.length) << qint32(c.precision) << qint32(c.scale) << c.problem;
}

static QDataStream& operator>>(QDataStream& s, Column& c)
{
    qint32 kind = 0;
    s >> c.name >> kind >> c.length >> c.precision >> c.scale >> c.problem;
    c.kind = kind >= 0 && kind <= qint32(Kind::Unreadable) ? Kind(kind) : Kind::Unreadable;
    return s;
}

static QDataStream& operator<<(QDataStream& s, const Index& i)
{
    return s << i.name << i.columns << i.primary;
}

static QDataStream& operator>>(QDataStream& s, Index& i)
{
    return s >> i.name >> i.columns >> i.primary;
}

static QDataStream& operator<<(QDataStream& s, const Table& t)
{
    return s << t.name << t.columns << t.uniqueKeys << t.keysUnreadable << t.catalogueRows;
}

static QDataStream& operator>>(QDataStream& s, Table& t)
{
    return s >> t.name >> t.columns >> t.uniqueKeys >> t.keysUnreadable >> t.catalogueRows;
}

static QDataStream& operator<<(QDataStream& s, const Link& l)
{
    return s << l.name << l.foreignName << l.database << l.connect;
}

static QDataStream& operator>>(QDataStream& s, Link& l)
{
    return s >> l.name >> l.foreignName >> l.database >> l.connect;
}

namespace {

const char kReaderArgument[] = "--kolvane-access-reader";
// The reader's address space: enough for any real file, well short of what
// a stated length of a damaged one would make libmdb reserve.
constexpr rlim_t kReaderMemory = rlim_t(1) << 30;
// A frame longer than this is not the reader's.
constexpr quint32 kLongestFrame = 1u << 30;

// What the reader hands over, one frame each: a 32-bit big-endian length,
// then a tag and its values in a QDataStream.
enum Tag : quint8
{
    Catalogue = 'H', // format, Jet 3, code page, tables, links
    Row = 'R', // the values of one row
    End = 'E', // the end of a table: the rows that could not be read
    Failed = 'X', // the message of a ReadError; the table (or the file) ends here
};

class Writer
{
public:
    explicit Writer(QFile& out)
        : m_out(out)
    {
    }

    template <class... Values> void send(Tag tag, const Values&... values)
    {
        QByteArray payload;
        {
            QDataStream s(&payload, QIODevice::WriteOnly);
            s.setVersion(QDataStream::Qt_6_0);
            s << quint8(tag);
            ((s << values), ...);
        }
        const quint32 size = qToBigEndian(quint32(payload.size()));
        m_out.write(reinterpret_cast<const char*>(&size), sizeof size);
        m_out.write(payload);
        if (tag != Row)
            m_out.flush();
    }

private:
    QFile& m_out;
};

// The address sanitizer reserves terabytes of address space up front: no
// limit on it there.
#if defined(__SANITIZE_ADDRESS__)
#define KOLVANE_NO_MEMORY_LIMIT
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KOLVANE_NO_MEMORY_LIMIT
#endif
#endif

void limitMemory()
{
#ifndef KOLVANE_NO_MEMORY_LIMIT
    const rlimit limit { kReaderMemory, kReaderMemory };
    setrlimit(RLIMIT_AS, &limit);
#endif
}

// For tests: a reader that crashes or hangs at the first row it reads.
void plantedFault()
{
    const QByteArray fault = qgetenv("KOLVANE_TEST_READER_FAULT");
    if (fault == "crash")
        std::abort();
    if (fault == "hang") {
        for (;;)
            QThread::sleep(1);
    }
}

// The reader: the catalogue first, then the rows of each table the parent
// asks for by its place in the catalogue, one number a line, until its
// standard input ends.
int serve(const QString& path, int codePage, QFile& in, Writer& out)
{
    std::unique_ptr<AccessSource> source;
    QList<Table> tables;
    try {
        source = std::make_unique<AccessSource>(path, codePage);
        tables = source->tables();
        out.send(Catalogue, source->format(), source->isJet3(), qint32(source->codePage()), tables, source->links());
    } catch (const ReadError& e) {
        out.send(Failed, Platform::messageOf(e));
        return 1;
    }
    for (;;) {
        const QByteArray line = in.readLine();
        bool ok = false;
        const int index = line.trimmed().toInt(&ok);
        if (!ok || index < 0 || index >= tables.size())
            return 0;
        try {
            bool first = true;
            const qint64 damaged = source->readRows(tables.at(index), [&](const QVariantList& values) {
                if (std::exchange(first, false))
                    plantedFault();
                out.send(Row, values);
            });
            out.send(End, damaged);
        } catch (const ReadError& e) {
            out.send(Failed, Platform::messageOf(e));
        }
    }
}

} // namespace

std::optional<int> runReaderChild(int argc, char** argv)
{
    if (argc < 2 || qstrcmp(argv[1], kReaderArgument) != 0)
        return std::nullopt;
    if (argc != 4)
        return 2;
    limitMemory();
    QCoreApplication app(argc, argv);
    Platform::installTranslations(QLocale::system());
    // The frames go out on what was standard output; whatever libmdb prints
    // there goes with its other words, to standard error.
    QFile out;
    if (!out.open(::dup(STDOUT_FILENO), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return 1;
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 1;
    Writer writer(out);
    return serve(QFile::decodeName(argv[2]), QByteArray(argv[3]).toInt(), in, writer);
}

SandboxedSource::SandboxedSource(const QString& path, int codePage, const QString& program)
    : m_path(path)
{
    m_process.setProgram(program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
    m_process.setArguments({ QString::fromLatin1(kReaderArgument), path, QString::number(codePage) });
    m_process.start();
    if (!m_process.waitForStarted())
        throw ReadError(QCoreApplication::translate("Import", "无法启动 Access 文件的读取程序 %1：%2")
                            .arg(m_process.program(), m_process.errorString()));
    QDataStream s(nextFrame());
    s.setVersion(QDataStream::Qt_6_0);
    quint8 tag = 0;
    s >> tag;
    if (tag == Failed) {
        QString message;
        s >> message;
        stop();
        throw ReadError(message);
    }
    qint32 page = 0;
    s >> m_format >> m_jet3 >> page >> m_tables >> m_links;
    m_codePage = page;
    if (tag != Catalogue || s.status() != QDataStream::Ok)
        failed(QCoreApplication::translate("Import", "读取程序交来的内容无法识别"));
}

SandboxedSource::~SandboxedSource()
{
    stop();
}

void SandboxedSource::stop()
{
    // The end of its input ends the reader.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(1000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

qint64 SandboxedSource::readRows(const Table& table, const std::function<void(const QVariantList&)>& row)
{
    // The rest of a table whose reading was given up (the writer threw).
    while (m_inTable) {
        const QByteArray frame = nextFrame();
        m_inTable = frame.size() > 0 && quint8(frame.at(0)) == Row;
    }
    const auto found = std::find_if(
        m_tables.cbegin(), m_tables.cend(), [&](const Table& t) { return t.name == table.name; });
    if (found == m_tables.cend())
        throw ReadError(QCoreApplication::translate("Import", "Access 数据库中没有表 %1").arg(printable(table.name)));
    m_reading = table.name;
    m_process.write(QByteArray::number(found - m_tables.cbegin()) + '\n');
    m_inTable = true;
    QVariantList values;
    for (;;) {
        QDataStream s(nextFrame());
        s.setVersion(QDataStream::Qt_6_0);
        quint8 tag = 0;
        s >> tag;
        if (tag == Row) {
            s >> values;
            if (s.status() != QDataStream::Ok || values.size() != table.columns.size())
                failed(QCoreApplication::translate("Import", "读取程序交来的内容无法识别"));
            row(values);
            continue;
        }
        m_inTable = false;
        if (tag == End) {
            qint64 damaged = 0;
            s >> damaged;
            return damaged;
        }
        QString message;
        s >> message;
        if (tag != Failed || s.status() != QDataStream::Ok)
            failed(QCoreApplication::translate("Import", "读取程序交来的内容无法识别"));
        throw ReadError(message);
    }
}

// The next frame from the reader; the reader is ended, and the import with
// it, when it ends or stays silent longer than the watchdog allows.
QByteArray SandboxedSource::nextFrame()
{
    QDeadlineTimer idle(kWatchdogMs);
    for (;;) {
        const qsizetype held = m_buffer.size() - m_taken;
        if (held >= 4) {
            const quint32 size = qFromBigEndian<quint32>(m_buffer.constData() + m_taken);
            if (size > kLongestFrame)
                failed(QCoreApplication::translate("Import", "读取程序交来的内容无法识别"));
            if (quint64(held) - 4 >= size) {
                const QByteArray frame = m_buffer.mid(m_taken + 4, qsizetype(size));
                m_taken += qsizetype(size) + 4;
                return frame;
            }
        }
        m_buffer.remove(0, std::exchange(m_taken, 0));
        const bool more = m_process.waitForReadyRead(int(qMin<qint64>(idle.remainingTime(), 250)));
        takeWarnings();
        const QByteArray data = m_process.readAllStandardOutput();
        if (!data.isEmpty()) {
            m_buffer += data;
            idle.setRemainingTime(kWatchdogMs);
        } else if (!more && m_process.state() == QProcess::NotRunning) {
            failed(m_process.exitStatus() == QProcess::CrashExit
                    ? QCoreApplication::translate("Import", "读取程序异常终止")
                    : QCoreApplication::translate("Import", "读取程序提前结束（退出码 %1）").arg(m_process.exitCode()));
        } else if (idle.hasExpired()) {
            failed(QCoreApplication::translate("Import", "读取程序 %1 秒没有进展，已被停止").arg(kWatchdogMs / 1000));
        }
    }
}

void SandboxedSource::failed(const QString& why)
{
    m_process.kill();
    m_process.waitForFinished();
    takeWarnings();
    const QString where = m_reading.isEmpty()
        ? QCoreApplication::translate("Import", "正在读取目录")
        : QCoreApplication::translate("Import", "正在读取表 %1").arg(printable(m_reading));
    throw DamagedFile(QCoreApplication::translate("Import", "该文件已损坏，或不是 Access 数据库：%1（%2：%3）")
                          .arg(printable(m_path), where, why));
}

// The reader's standard error, counted a line at a time; the first few
// lines are kept, every other one only counted.
void SandboxedSource::takeWarnings()
{
    const QByteArray data = m_process.readAllStandardError();
    for (qsizetype start = 0; start < data.size();) {
        qsizetype end = data.indexOf('\n', start);
        const bool whole = end >= 0;
        if (!whole)
            end = data.size();
        if (m_warnings.size() < kWarningsKept && m_partialWarning.size() < 200)
            m_partialWarning += data.mid(start, qMin<qsizetype>(end - start, 200));
        if (whole) {
            ++m_warningCount;
            if (m_warnings.size() < kWarningsKept)
                m_warnings << printable(QString::fromUtf8(m_partialWarning).trimmed().left(200));
            m_partialWarning.clear();
        }
        start = end + 1;
    }
}

} // namespace Import
