#include "periods/AccountRules.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "host/Prjconst.h"

#include <QRegularExpression>

namespace AccountRules {

Period periodOf(const MonthKey& month)
{
    const QString ym = month.text();
    return { ym, ym + Prjconst::_AccountStr, month.first(), month.last() };
}

namespace {

// Where the value of the first "name=value" line named `name` lies in `lines`:
// from `begin` to `end`; begin is -1 when no line has the name.
struct Entry
{
    qsizetype begin = -1;
    qsizetype end = -1;
};

Entry findEntry(const QString& lines, const QString& name)
{
    Entry found;
    Functions::forEachListEntry(lines, [&](QStringView key, QStringView value) {
        if (key.compare(name, Qt::CaseInsensitive) != 0)
            return true;
        found.begin = value.data() - lines.constData();
        found.end = found.begin + value.size();
        return false;
    });
    return found;
}

} // namespace

QString listValue(const QString& lines, const QString& name)
{
    const Entry entry = findEntry(lines, name);
    return entry.begin < 0 ? QString() : lines.mid(entry.begin, entry.end - entry.begin);
}

QString withListValue(const QString& lines, const QString& name, const QString& value)
{
    const Entry entry = findEntry(lines, name);
    if (entry.begin >= 0)
        return lines.left(entry.begin) + value + lines.mid(entry.end);
    if (lines.isEmpty())
        return name + u'=' + value;
    // A new last line, ended as the text ends its other lines.
    const QString lineBreak = lines.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n")
        : lines.contains(u'\n')                                      ? QStringLiteral("\n")
        : lines.contains(u'\r')                                      ? QStringLiteral("\r")
                                                                     : QStringLiteral("\r\n");
    const bool ended = lines.endsWith(u'\n') || lines.endsWith(u'\r');
    return lines + (ended ? QString() : lineBreak) + name + u'=' + value;
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

int rightsOf(const Db::Row& user)
{
    return actAccountRights(user.text(Db::cAccess));
}

std::optional<int> rightsOf(const QSqlDatabase& db, const QString& userName)
{
    Db::Query user(db, Db::sqlUserAccess);
    user.bind(Db::cUsername, userName);
    if (user.open().isEmpty())
        return std::nullopt;
    return rightsOf(user.row(0));
}

} // namespace AccountRules
