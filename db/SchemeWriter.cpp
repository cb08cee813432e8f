#include "db/SchemeWriter.h"

#include "db/Query.h"
#include "db/Statements.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <unordered_map>
#include <vector>

namespace Db {

namespace {

[[noreturn]] void failed(const QString& what, const QSqlDatabase& db, const QSqlError& error, const QString& sql)
{
    const Error e = errorFor(what, db, error);
    throw Error(QString::fromUtf8(e.what()) + u'\n' + sql, e.kind());
}

// What the database said, in one line, for the operator's list.
QString refusal(const QSqlError& error)
{
    QString detail = error.databaseText().trimmed();
    if (detail.isEmpty())
        detail = error.text().trimmed();
    return QStringLiteral("数据库拒绝保存：%1").arg(detail.section(u'\n', 0, 0));
}

constexpr quint64 startBit = 1;

// The columns a row writes, as one number: bit 0 the start date, bit d day d.
quint64 columnSet(const SchemeRow& row)
{
    return (row.days & ~startBit) | (row.writeStart ? startBit : 0);
}

// The names of the columns a set writes after the key, quoted as the engine needs.
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

// The values of those columns, in the same order.
QVariantList columnValues(const SchemeRow& row)
{
    QVariantList values = { row.shiftId };
    if (row.writeStart)
        values << toDbValue(row.start);
    for (int day = 1; day <= 31; ++day)
        if (row.days & (quint64(1) << day))
            values << row.codes[day];
    return values;
}

// Through Qt SQL: one prepared UPDATE and INSERT for each set of columns, the
// update first and the insert only when it found no row.
class QtWriter : public SchemeWriter
{
public:
    QtWriter(const QSqlDatabase& db, const QString& ym, Outcome outcome)
        : m_db(db)
        , m_ym(ym)
        , m_outcome(std::move(outcome))
    {
    }

    void write(const SchemeRow& row) override
    {
        const quint64 set = columnSet(row);
        const QVariantList values = columnValues(row);
        QString reason;
        Statement& update = statement(false, set);
        if (run(update, values, row.empId, false, reason) && update.query.numRowsAffected() <= 0)
            run(statement(true, set), values, row.empId, true, reason);
        m_outcome(row.empId, reason);
    }

    void finish() override { }

private:
    struct Statement
    {
        QSqlQuery query;
        QString error; // the engine refused to prepare it
    };

    Statement& statement(bool insert, quint64 set)
    {
        auto& cache = insert ? m_inserts : m_updates;
        const auto found = cache.find(set);
        if (found != cache.end())
            return found->second;
        QStringList names = columnNames(m_db, set);
        QString sql;
        if (insert) {
            names.prepend(cEmpId);
            names.prepend(cSchemeYm);
            QStringList markers;
            markers.fill(QStringLiteral("?"), names.size());
            sql = sqlInsertSchemeRow.arg(names.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")));
        } else {
            sql = sqlUpdateSchemeRow.arg(names.join(QStringLiteral("=?, ")) + QStringLiteral("=?"));
        }
        Statement& s = cache.try_emplace(set, Statement { QSqlQuery(m_db), QString() }).first->second;
        if (!s.query.prepare(sql)) {
            const QSqlError error = s.query.lastError();
            if (isConnectionLost(m_db, error)) {
                cache.erase(set);
                throw errorFor(QStringLiteral("无法保存排班"), m_db, error);
            }
            s.error = refusal(error);
        }
        return s;
    }

    bool run(Statement& s, const QVariantList& values, const QString& empId, bool insert, QString& reason)
    {
        if (!s.error.isEmpty()) {
            reason = s.error;
            return false;
        }
        QSqlQuery& q = s.query;
        int at = 0;
        if (insert) {
            q.bindValue(at++, m_ym);
            q.bindValue(at++, empId);
        }
        for (const QVariant& v : values)
            q.bindValue(at++, v);
        if (!insert) {
            q.bindValue(at++, m_ym);
            q.bindValue(at++, empId);
        }
        if (q.exec())
            return true;
        // A lost connection ends the run: every later employee would fail the same way.
        if (isConnectionLost(m_db, q.lastError()))
            throw errorFor(QStringLiteral("无法保存员工 %1 的排班").arg(empId), m_db, q.lastError());
        reason = refusal(q.lastError());
        return false;
    }

    QSqlDatabase m_db;
    QString m_ym;
    Outcome m_outcome;
    std::unordered_map<quint64, Statement> m_inserts;
    std::unordered_map<quint64, Statement> m_updates;
};

} // namespace

void forEachRow(const QSqlDatabase& db, const QString& sql, const QVariantList& values, const QStringList& columns,
    const std::function<void(const QVariant* values)>& row)
{
    const QString what = QStringLiteral("无法查询数据库");
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(adaptStatement(sql, engineOf(db))))
        failed(what, db, q.lastError(), sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, toDbValue(values.at(i)));
    if (!q.exec())
        failed(what, db, q.lastError(), sql);
    const QSqlRecord record = q.record();
    std::vector<int> index;
    for (const QString& name : columns) {
        index.push_back(record.indexOf(name));
        if (index.back() < 0)
            throw Error(QStringLiteral("字段“%1”不存在（%2）").arg(name, sql).toStdString());
    }
    std::vector<QVariant> current(index.size());
    while (q.next()) {
        for (size_t i = 0; i < index.size(); ++i)
            current[i] = q.value(index[i]);
        row(current.data());
    }
    if (q.lastError().isValid())
        failed(QStringLiteral("无法读取查询结果"), db, q.lastError(), sql);
    q.finish();
}

std::unique_ptr<SchemeWriter> SchemeWriter::open(
    const QSqlDatabase& db, const QString& ym, Outcome outcome, Waiting /*waiting*/)
{
    return std::make_unique<QtWriter>(db, ym, std::move(outcome));
}

} // namespace Db
