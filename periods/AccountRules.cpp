#include "periods/AccountRules.h"

#include "host/Functions.h"
#include "host/Prjconst.h"

#include <QRegularExpression>

namespace AccountRules {

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

QString monthKey(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM"));
}

std::optional<QDate> parseMonth(const QString& text)
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
    return QDate(y, m, 1);
}

std::optional<QString> normaliseMonthKey(const QString& text)
{
    const std::optional<QDate> first = parseMonth(text);
    if (!first)
        return std::nullopt;
    return monthKey(*first);
}

Period periodOf(const QDate& anyDayOfMonth)
{
    const QDate first(anyDayOfMonth.year(), anyDayOfMonth.month(), 1);
    const QString ym = monthKey(first);
    return { ym, ym + Prjconst::_AccountStr, first, Functions::IncMonth(first, 1).addDays(-1) };
}

QString listValue(const QString& lines, const QString& name)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString& line : lines.split(lineBreak)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return {};
}

int actAccountRights(const QString& access)
{
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    const QString value = listValue(access, QStringLiteral("ActAccount"));
    if (!decimal.match(value).hasMatch())
        return 0;
    bool ok = false;
    const int bits = value.toInt(&ok, 10);
    return ok ? bits : 0;
}

} // namespace AccountRules
