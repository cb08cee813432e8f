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

namespace {

const QString actOperator = QStringLiteral("ActOperator");
const QString actImport = QStringLiteral("ActImport");

// The decimal value of a line; 0 when missing or not a decimal number.
int decimalValue(const QString& access, const QString& name)
{
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    const QString value = listValue(access, name);
    if (!decimal.match(value).hasMatch())
        return 0;
    bool ok = false;
    const int number = value.toInt(&ok, 10);
    return ok ? number : 0;
}

} // namespace

int actAccountRights(const QString& access)
{
    return decimalValue(access, QStringLiteral("ActAccount"));
}

Rights rightsIn(const QString& access)
{
    Rights rights;
    rights.account = actAccountRights(access);
    if (listValue(access, actOperator).isNull() && listValue(access, actImport).isNull()) {
        const bool both = (rights.account & (RightCreate | RightDelete)) == (RightCreate | RightDelete);
        rights.manageOperators = rights.importData = both;
    } else {
        rights.manageOperators = decimalValue(access, actOperator) == 1;
        rights.importData = decimalValue(access, actImport) == 1;
    }
    return rights;
}

QString withRights(const QString& access, const Rights& rights)
{
    QString text = withListValue(access, QStringLiteral("ActAccount"), QString::number(rights.account));
    text = withListValue(text, actOperator, rights.manageOperators ? QStringLiteral("1") : QStringLiteral("0"));
    return withListValue(text, actImport, rights.importData ? QStringLiteral("1") : QStringLiteral("0"));
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

std::optional<Rights> operatorRights(const QSqlDatabase& db, const QString& userName)
{
    Db::Query user(db, Db::sqlUserAccess);
    user.bind(Db::cUsername, userName);
    if (user.open().isEmpty())
        return std::nullopt;
    return rightsIn(user.row(0).text(Db::cAccess));
}

} // namespace AccountRules
