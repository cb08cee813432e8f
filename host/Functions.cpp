#include "host/Functions.h"

#include "platform/System.h"

#include <stdexcept>

namespace Functions {

QDate IncMonth(const QDate& date, int months)
{
    return date.addMonths(months);
}

QDateTime IncMonth(const QDateTime& date, int months)
{
    return date.addMonths(months);
}

int DaysPerMonth(int year, int month)
{
    if (month < 1 || month > 12)
        throw std::invalid_argument("month out of range");
    return QDate(year, month, 1).daysInMonth();
}

int ExtractDay(const QDate& date)
{
    return date.day();
}

int ExtractDay(const QDateTime& date)
{
    return date.date().day();
}

bool GetBoolean(const QString& text)
{
    const QString t = text.trimmed();
    return t == u"1" || t == u"-1" || t.compare(u"true", Qt::CaseInsensitive) == 0;
}

QString GetOSVersion()
{
    return Platform::GetOSVersion();
}

QStringView trimmedView(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString trimText(const QString& text)
{
    const QStringView kept = trimmedView(text);
    return text.mid(kept.data() - text.constData(), kept.size());
}

void forEachListEntry(QStringView lines, const std::function<bool(QStringView name, QStringView value)>& visit)
{
    const qsizetype size = lines.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype stop = start;
        while (stop < size && lines.at(stop) != u'\r' && lines.at(stop) != u'\n')
            ++stop;
        const QStringView line = lines.mid(start, stop - start);
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && !visit(line.left(eq), line.mid(eq + 1)))
            return;
        const bool crlf = stop + 1 < size && lines.at(stop) == u'\r' && lines.at(stop + 1) == u'\n';
        start = stop + (crlf ? 2 : 1);
    }
}

} // namespace Functions
