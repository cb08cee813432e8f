// The schedule writer through Qt SQL, for engines without a writer of their own.
#include "db/SchemeWriterParts.h"
#include "db/Statements.h"

#include <QSqlQuery>
#include <unordered_map>

namespace Db::Scheme {

namespace {

// The values of a row's columns after the key, in the order of columnNames().
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

// What the database said.
QString detailOf(const QSqlError& error)
{
    const QString detail = error.databaseText().trimmed();
    return detail.isEmpty() ? error.text() : detail;
}

// One prepared UPDATE and INSERT for each set of columns, the update first and
// the insert only when it found no row.
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
                throw errorFor(cannotSave(QString()), m_db, error);
            }
            s.error = refusal(detailOf(error));
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
            throw errorFor(cannotSave(empId), m_db, q.lastError());
        reason = refusal(detailOf(q.lastError()));
        return false;
    }

    QSqlDatabase m_db;
    QString m_ym;
    Outcome m_outcome;
    std::unordered_map<quint64, Statement> m_inserts;
    std::unordered_map<quint64, Statement> m_updates;
};

} // namespace

std::unique_ptr<SchemeWriter> qtWriter(const QSqlDatabase& db, const QString& ym, SchemeWriter::Outcome outcome)
{
    return std::make_unique<QtWriter>(db, ym, std::move(outcome));
}

} // namespace Db::Scheme
