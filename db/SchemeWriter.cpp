#include "db/SchemeWriter.h"

#include "db/SchemeWriterParts.h"
#include "db/Statements.h"

#include <QCoreApplication>
#include <QSqlDriver>

namespace Db {

namespace Scheme {

QStringList columnNames(const QSqlDatabase& db, quint64 set)
{
    QStringList names = { cShiftId };
    if (set & startBit)
        names << cStartDate;
    for (int day = 1; day <= 31; ++day)
        if (set & (quint64(1) << day))
            names << quotedName(db, dayColumn(day));
    return names;
}

QString cannotSave(const QString& empId, const QString& detail)
{
    const QString what = empId.isEmpty() ? QCoreApplication::translate("Db", "无法保存排班")
                                         : QCoreApplication::translate("Db", "无法保存员工 %1 的排班").arg(empId);
    return detail.isEmpty() ? what : QCoreApplication::translate("Db", "%1：%2").arg(what, detail);
}

Error heldTooLong(const QString& empId)
{
    return Error(
        QCoreApplication::translate("Db", "%1：数据库文件一直被其他工作站占用，请稍后再试。").arg(cannotSave(empId)));
}

QString refusal(const QString& detail)
{
    return QCoreApplication::translate("Db", "数据库拒绝保存：%1").arg(detail.trimmed().section(u'\n', 0, 0));
}

std::vector<QByteArray> Utf8Values::operator()(const SchemeRow& row)
{
    std::vector<QByteArray> texts;
    texts.reserve(33);
    texts.push_back(utf8(row.shiftId));
    if (row.writeStart) {
        const QVariant start = toDbValue(row.start);
        texts.push_back(start.isNull() ? QByteArray() : start.toString().toUtf8());
    }
    for (int day = 1; day <= 31; ++day)
        if (row.days & (quint64(1) << day))
            texts.push_back(utf8(row.codes[day]));
    return texts;
}

QByteArray Utf8Values::utf8(const QString& text)
{
    if (text.isNull())
        return {};
    const auto found = m_known.constFind(text);
    if (found != m_known.cend())
        return *found;
    if (m_known.size() > 4096)
        m_known.clear();
    return *m_known.insert(text, text.toUtf8());
}

void WaitNotice::operator()()
{
    if (!m_waiting || (m_lastShown.isValid() && !m_lastShown.hasExpired(200)))
        return;
    m_lastShown.start();
    try {
        m_waiting();
    } catch (...) {
        // Showing the wait must not end it.
    }
}

} // namespace Scheme

// SQLite and PostgreSQL are written through their own libraries, past Qt's
// driver, on the driver's connection; any other engine through Qt SQL.
std::unique_ptr<SchemeWriter> SchemeWriter::open(
    const QSqlDatabase& db, const QString& ym, Outcome outcome, Waiting waiting)
{
    if (engineOf(db) == Engine::SQLite) {
        if (sqlite3* handle = nativeHandle<sqlite3>(db, "sqlite3*"))
            return Scheme::sqliteWriter(db, handle, ym, std::move(outcome), std::move(waiting));
    } else if (engineOf(db) == Engine::PostgreSQL) {
        if (pg_conn* conn = nativeHandle<pg_conn>(db, "pg_conn*"))
            return Scheme::pgWriter(db, conn, ym, std::move(outcome), std::move(waiting));
    }
    return Scheme::qtWriter(db, ym, std::move(outcome));
}

} // namespace Db
