#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
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

QString decoded(const QByteArray& content)
{
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.trimmed();
}

std::optional<QString> sectionName(const QByteArray& content)
{
    const QString text = decoded(content);
    if (!text.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    return text.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

bool isKeyLine(const QByteArray& content, const QString& key)
{
    const QString text = decoded(content);
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

Location locate(const QList<Line>& lines, const QString& section, const QString& key)
{
    Location at;
    const QString wantedKey = key.trimmed();
    const QString wantedSection = section.trimmed();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i].content)) {
            if (at.header >= 0) {
                at.end = i;
                break;
            }
            if (name->compare(wantedSection, Qt::CaseInsensitive) == 0)
                at.header = i;
        } else if (at.header >= 0 && at.keyLine < 0 && isKeyLine(lines[i].content, wantedKey)) {
            at.keyLine = i;
        }
    }
    if (at.header >= 0 && at.end < 0)
        at.end = lines.size();
    return at;
}

[[noreturn]] void fail(const QString& path, const QString& why)
{
    throw std::runtime_error(
        QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), why).toStdString());
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
    const QList<Line> lines = splitLines(file.readAll());
    const Location at = locate(lines, section, key);
    if (at.keyLine < 0)
        return QString();
    const QByteArray& content = lines[at.keyLine].content;
    return QString::fromUtf8(content.mid(content.indexOf('=') + 1)).trimmed();
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    QByteArray data;
    QFile existing(m_path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            fail(m_path, existing.errorString());
        data = existing.readAll();
        existing.close();
    }

    QList<Line> lines = splitLines(data);
    // New lines follow the file's own line ending.
    QByteArray eol = "\n";
    for (const Line& line : lines) {
        if (!line.eol.isEmpty()) {
            eol = line.eol;
            break;
        }
    }

    const Location at = locate(lines, section, key);
    const QByteArray newValue = value.toUtf8();
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
        const Line keyLine { key.trimmed().toUtf8() + '=' + newValue, eol };
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
            lines.append(Line { '[' + section.trimmed().toUtf8() + ']', eol });
            lines.append(keyLine);
        }
    }

    QByteArray out;
    out.reserve(data.size() + newValue.size() + 64);
    for (const Line& line : lines)
        out += line.content + line.eol;

    // commit() does not notice a failed flush of the last buffered bytes (a full
    // disk), so flush here first: on failure the old file stays in place.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        fail(m_path, file.errorString());
    if (file.write(out) != out.size() || !file.flush())
        fail(m_path, file.errorString());
    if (!file.commit())
        fail(m_path, file.errorString());
}

} // namespace Platform
