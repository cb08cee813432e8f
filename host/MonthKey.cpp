#include "host/MonthKey.h"

#include "host/Functions.h"

namespace {

// A run of ASCII digits as a number; -1 when it is empty or holds anything else.
int digits(QStringView text)
{
    if (text.isEmpty())
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

MonthKey MonthKey::of(const QDate& anyDay)
{
    if (!anyDay.isValid())
        return {};
    return MonthKey(QDate(anyDay.year(), anyDay.month(), 1));
}

std::optional<MonthKey> MonthKey::parse(const QString& text)
{
    const QString t = Functions::trimText(text);
    QStringView month;
    if (t.size() == 6) {
        month = QStringView(t).mid(5, 1);
    } else if (t.size() == 7) {
        // A digit or letter in the separator's place would make "2026103" or
        // "2026x03" a month; only separators are taken, and stored as '-'.
        if (t.at(4).isLetterOrNumber())
            return std::nullopt;
        month = QStringView(t).mid(5, 2);
    } else {
        return std::nullopt;
    }
    const int y = digits(QStringView(t).left(4));
    const int m = digits(month);
    if (y < 1 || y > 9999 || m < 1 || m > 12)
        return std::nullopt;
    return MonthKey(QDate(y, m, 1));
}

std::optional<MonthKey> MonthKey::fromKey(const QString& text)
{
    const QString t = Functions::trimText(text);
    const std::optional<MonthKey> key = parse(t);
    if (!key || key->text() != t)
        return std::nullopt;
    return key;
}

QString MonthKey::text() const
{
    if (isNull())
        return {};
    return QStringLiteral("%1-%2").arg(year(), 4, 10, QLatin1Char('0')).arg(month(), 2, 10, QLatin1Char('0'));
}

QDate MonthKey::last() const
{
    if (isNull())
        return {};
    return QDate(year(), month(), days());
}

MonthKey MonthKey::previous() const
{
    if (isNull() || (year() == 1 && month() == 1))
        return {};
    return MonthKey(m_first.addMonths(-1));
}
