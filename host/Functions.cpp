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

QString trimText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace Functions
