#include "platform/IniFile.h"

#include "platform/Failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#include <stdexcept>

namespace Platform {

namespace {

// The file is edited line by line as bytes so that every line the write does not
// touch keeps its exact bytes, including its own line ending.
struct Line
{
    QByteArray content;
    QByteArray eol;
};

QList<Line> splitLines(const QByteArray& data)
{
    QList<Line> lines;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype nl = data.indexOf('\n', pos);
        const qsizetype end = nl < 0 ? data.size() : nl + 1;
        Line line { data.mid(pos, end - pos), {} };
        for (const char* eol : { "\r\n", "\n" }) {
            if (line.content.endsWith(eol)) {
                line.eol = eol;
                line.content.chop(line.eol.size());
                break;
            }
        }
        lines.append(line);
        pos = end;
    }
    return lines;
}

// Files written on a Chinese Windows are in its code page: GB18030, of which GBK
// and GB2312 are subsets. A file that is not valid UTF-8 is taken to be one. In
// both encodings a multi-byte character never holds the bytes of '\n', '=', ';'
// or '#', so lines and key separators are found in the bytes; but ']' can be the
// second byte of a GBK character, so section names are read from decoded text.
class Codec
{
public:
    explicit Codec(const QByteArray& data)
    {
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString decoded = utf8(data);
        m_name = utf8.hasError() ? "GB18030" : "UTF-8";
    }
    QString decode(const QByteArray& bytes) const
    {
        QStringDecoder decoder(m_name);
        return decoder(bytes);
    }
    QByteArray encode(const QString& text) const
    {
        QStringEncoder encoder(m_name);
        return encoder(text);
    }

private:
    const char* m_name;
};

QString decoded(const Codec& codec, const QByteArray& content)
{
    QString text = codec.decode(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.trimmed();
}

std::optional<QString> sectionName(const Codec& codec, const QByteArray& content)
{
    const QString text = decoded(codec, content);
    if (!text.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    return text.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

bool isKeyLine(const Codec& codec, const QByteArray& content, const QString& key)
{
    const QString text = decoded(codec, content);
    if (text.startsWith(QLatin1Char(';')) || text.startsWith(QLatin1Char('#')))
        return false;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    return eq >= 0 && text.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

// Where a section and its key sit: indexes into the line list, -1 when absent.
struct Location
{
    qsizetype header = -1;
    qsizetype end = -1; // one past the section's last line
    qsizetype keyLine = -1;
};

Location locate(const Codec& codec, const QList<Line>& lines, const QString& section, const QString& key)
{
    Location at;
    const QString wantedKey = key.trimmed();
    const QString wantedSection = section.trimmed();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(codec, lines[i].content)) {
            if (at.header >= 0) {
                at.end = i;
                break;
            }
            if (name->compare(wantedSection, Qt::CaseInsensitive) == 0)
                at.header = i;
        } else if (at.header >= 0 && at.keyLine < 0 && isKeyLine(codec, lines[i].content, wantedKey)) {
            at.keyLine = i;
        }
    }
    if (at.header >= 0 && at.end < 0)
        at.end = lines.size();
    return at;
}

[[noreturn]] void fail(const QString& path, const QString& why)
{
    throw Platform::Failure(QCoreApplication::translate("Platform::IniFile", "无法写入配置文件 %1：%2")
                                .arg(QDir::toNativeSeparators(path), why));
}

// The file's bytes; a missing file is empty. Throws when it exists but cannot be read.
QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        fail(path, file.errorString());
    return file.readAll();
}

QByteArray withValue(const QByteArray& data, const QString& section, const QString& key, const QString& value)
{
    const Codec codec(data);
    QList<Line> lines = splitLines(data);
    // New lines follow the file's own line ending.
    QByteArray eol = "\n";
    for (const Line& line : lines) {
        if (!line.eol.isEmpty()) {
            eol = line.eol;
            break;
        }
    }

    const Location at = locate(codec, lines, section, key);
    const QByteArray newValue = codec.encode(value);
    if (at.keyLine >= 0) {
        // Keep the key as spelt in the file and the spacing after '='.
        QByteArray& content = lines[at.keyLine].content;
        const qsizetype valueStart = content.indexOf('=') + 1;
        const QByteArray oldValue = content.mid(valueStart);
        qsizetype lead = 0;
        while (lead < oldValue.size() && (oldValue[lead] == ' ' || oldValue[lead] == '\t'))
            ++lead;
        if (lead == oldValue.size())
            lead = 0;
        content = content.left(valueStart + lead) + newValue;
    } else {
        const Line keyLine { codec.encode(key.trimmed()) + '=' + newValue, eol };
        if (at.header >= 0) {
            qsizetype last = at.end - 1;
            while (last > at.header && lines[last].content.trimmed().isEmpty())
                --last;
            if (lines[last].eol.isEmpty())
                lines[last].eol = eol;
            lines.insert(last + 1, keyLine);
        } else {
            if (!lines.isEmpty() && lines.last().eol.isEmpty())
                lines.last().eol = eol;
            lines.append(Line { '[' + codec.encode(section.trimmed()) + ']', eol });
            lines.append(keyLine);
        }
    }

    QByteArray out;
    out.reserve(data.size() + newValue.size() + 64);
    for (const Line& line : lines)
        out += line.content + line.eol;
    return out;
}

} // namespace

IniFile::IniFile(const QString& path)
    : m_path(path)
{
}

QString IniFile::readString(const QString& section, const QString& key) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray data = file.readAll();
    const Codec codec(data);
    const QList<Line> lines = splitLines(data);
    const Location at = locate(codec, lines, section, key);
    if (at.keyLine < 0)
        return QString();
    const QByteArray& content = lines[at.keyLine].content;
    return codec.decode(content.mid(content.indexOf('=') + 1)).trimmed();
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    // Writers of this program take turns through a lock file beside it; when the
    // lock cannot be had (a directory that takes no new file, a stuck writer) the
    // write goes ahead. Other programs do not know the lock: just before the new
    // file replaces the old one, the old one is read again, and when it has changed
    // the edit starts again from its new content, so that their lines are kept.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(5000);
    for (int attempt = 1;; ++attempt) {
        const QByteArray data = contents(m_path);
        const QByteArray out = withValue(data, section, key, value);

        // commit() does not notice a failed flush of the last buffered bytes (a full
        // disk), so flush here first: on failure the old file stays in place.
        // An existing file keeps the mode its owner gave it (QSaveFile copies it);
        // a new one is for its owner and the suite's group, never for others.
        const bool existed = QFileInfo::exists(m_path);
        QSaveFile file(m_path);
        if (!file.open(QIODevice::WriteOnly))
            fail(m_path, file.errorString());
        if (!existed)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
        if (file.write(out) != out.size() || !file.flush())
            fail(m_path, file.errorString());
        if (attempt < 5 && contents(m_path) != data) {
            file.cancelWriting();
            continue;
        }
        if (!file.commit())
            fail(m_path, file.errorString());
        return;
    }
}

} // namespace Platform
