#include "formats/Csv.h"

#include "platform/Failure.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <stdexcept>

namespace Csv {

namespace {

// Quotes, at least `quotes` of them, and then a character that starts a formula.
bool formulaAfterQuotes(const QString& text, qsizetype quotes)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u'\'')
        ++i;
    return i >= quotes && i < text.size() && QStringView(u"=+-@\t\r").contains(text.at(i));
}

} // namespace

QString guard(const QString& text)
{
    return formulaAfterQuotes(text, 0) ? u'\'' + text : text;
}

QString unguard(const QString& text)
{
    return formulaAfterQuotes(text, 1) ? text.mid(1) : text;
}

std::optional<QString> Reader::decode(const QByteArray& bytes, QString* encoding)
{
    const auto decoded = [&](QStringDecoder& decoder, const char* name) -> std::optional<QString> {
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        if (encoding)
            *encoding = QString::fromLatin1(name);
        return text;
    };
    // A byte-order mark says it; otherwise text that is valid UTF-8 is taken
    // as UTF-8 (GB18030 text of Chinese characters almost never is).
    const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes);
    if (marked && (*marked == QStringConverter::Utf16LE || *marked == QStringConverter::Utf16BE)) {
        QStringDecoder utf16(*marked);
        return decoded(utf16, "UTF-16");
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    if (std::optional<QString> text = decoded(utf8, "UTF-8"))
        return text;
    QStringDecoder gb18030("GB18030");
    if (!gb18030.isValid())
        return std::nullopt;
    return decoded(gb18030, "GB18030");
}

QChar Reader::separatorOf(const QString& text)
{
    qsizetype counts[3] = { 0, 0, 0 };
    const QChar candidates[3] = { u',', u';', u'\t' };
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
        for (int i = 0; i < 3 && !quoted; ++i)
            counts[i] += c == candidates[i] ? 1 : 0;
    }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best])
            best = i;
    return candidates[best];
}

QList<QStringList> Reader::parse(const QString& text, QChar separator)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false; // the record has begun
    const auto take = [&] {
        record << unguard(field);
        field.clear();
    };
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (i + 1 < size && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == u'"' && field.isEmpty()) {
            // Only a quote that opens a field quotes it; one inside a field is text.
            quoted = true;
            any = true;
        } else if (c == separator) {
            take();
            any = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
                ++i;
            take();
            records << record;
            record.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        take();
        records << record;
    }
    return records;
}

Table Reader::readFile(const QString& path)
{
    QFile file(path);
    if (path == u"-" ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly))
        throw Platform::Failure(tr("无法读取文件 %1：%2").arg(path, file.errorString()));
    // A file over the limit is refused by its size; standard input as it comes.
    const auto tooLarge = [&] {
        return Platform::Failure(
            tr("文件 %1 超过 %2 MB，不是员工或排班的表格，没有读取。").arg(path).arg(kMaxFileBytes / 1000 / 1000));
    };
    if (!file.isSequential() && file.size() > kMaxFileBytes)
        throw tooLarge();
    QByteArray bytes;
    for (QByteArray chunk; !(chunk = file.read(1 << 20)).isEmpty();) {
        bytes += chunk;
        if (bytes.size() > kMaxFileBytes)
            throw tooLarge();
    }
    Table table;
    const std::optional<QString> text = decode(bytes, &table.encoding);
    if (!text)
        throw Platform::Failure(tr("文件 %1 既不是 UTF-8 也不是 GB18030 编码的文本，无法读取。").arg(path));
    table.separator = separatorOf(*text);
    table.records = parse(*text, table.separator);
    return table;
}

QDate parseDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        "\\A\\s*(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})(?:[ T]\\d{1,2}:\\d{2}(?::\\d{2}(?:\\.\\d+)?)?)?\\s*\\z"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
}

Writer::Writer(const QString& path)
    : m_path(path)
{
    if (path.isEmpty()) {
        auto* out = new QFile;
        if (!out->open(stdout, QIODevice::WriteOnly)) {
            delete out;
            throw Platform::Failure(tr("无法写标准输出"));
        }
        m_out = out;
    } else {
        // Written under a temporary name and put in place whole.
        auto* out = new QSaveFile(path);
        if (!out->open(QIODevice::WriteOnly)) {
            const QString why = out->errorString();
            delete out;
            throw Platform::Failure(tr("无法写文件 %1：%2").arg(path, why));
        }
        m_out = out;
    }
    m_text = QChar(0xFEFF);
}

Writer::~Writer()
{
    if (auto* save = qobject_cast<QSaveFile*>(m_out))
        save->cancelWriting();
    delete m_out;
}

QString Writer::field(const QString& cell)
{
    const QString text = guard(cell);
    const bool quote = text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r')
        || text.contains(u';') || text.contains(u'\t')
        || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString Writer::line(const QStringList& fields)
{
    QString text;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            text += u',';
        text += field(fields.at(i));
    }
    return text + QStringLiteral("\r\n");
}

void Writer::record(const QStringList& fields)
{
    m_text += line(fields);
    if (m_text.size() > 64 * 1024)
        flush();
}

void Writer::flush()
{
    const QByteArray bytes = m_text.toUtf8();
    m_text.clear();
    if (m_out->write(bytes) != bytes.size())
        throw Platform::Failure(
            tr("无法写文件 %1：%2").arg(m_path.isEmpty() ? tr("标准输出") : m_path, m_out->errorString()));
}

void Writer::finish()
{
    flush();
    if (auto* save = qobject_cast<QSaveFile*>(m_out)) {
        if (!save->commit())
            throw Platform::Failure(tr("无法写文件 %1：%2").arg(m_path, save->errorString()));
    } else if (auto* file = qobject_cast<QFile*>(m_out); file && !file->flush()) {
        throw Platform::Failure(tr("无法写标准输出"));
    }
}

} // namespace Csv
