#include "periods/AccountRules.h"

#include "host/Prjconst.h"

#include <QRegularExpression>

namespace AccountRules {

Period periodOf(const MonthKey& month)
{
    const QString ym = month.text();
    return { ym, ym + Prjconst::_AccountStr, month.first(), month.last() };
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
