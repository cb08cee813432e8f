#include "periods/Rollover.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "host/Prjconst.h"
#include "periods/CycleShift.h"

#include <QGuiApplication>
#include <QHash>
#include <QProgressBar>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <array>
#include <unordered_map>
#include <vector>

namespace Rollover {

namespace {

// "yyyy-mm" after trimming: exactly 7 characters with a "-" somewhere.
bool hasYmShape(const QString& trimmed)
{
    return trimmed.size() == 7 && trimmed.contains(u'-');
}

// Year from characters 1-4, month from 6-7; false unless they name a month.
bool parseYm(const QString& ym, int& year, int& month)
{
    const QString t = ym.trimmed();
    if (!hasYmShape(t))
        return false;
    bool yearOk = false;
    bool monthOk = false;
    year = t.left(4).toInt(&yearOk);
    month = t.mid(5, 2).toInt(&monthOk);
    return yearOk && monthOk && year >= 1 && month >= 1 && month <= 12 && QDate(year, month, 1).isValid();
}

[[noreturn]] void queryFailed(const QSqlDatabase& db, const QSqlQuery& q, const QString& what, const QString& sql)
{
    if (Db::isConnectionLost(db, q.lastError()))
        throw Db::errorFor(what, db, q.lastError());
    throw Db::Error(QStringLiteral("%1：%2\n%3").arg(what, q.lastError().text(), sql).toStdString());
}

int columnOf(const QSqlRecord& record, const QString& name, const QString& sql)
{
    const int index = record.indexOf(name);
    if (index < 0)
        throw Db::Error(QStringLiteral("字段“%1”不存在（%2）").arg(name, sql).toStdString());
    return index;
}

// What the database said, in one line, for the operator's list.
QString refusal(const QSqlError& error)
{
    QString detail = error.databaseText().trimmed();
    if (detail.isEmpty())
        detail = error.text().trimmed();
    return QStringLiteral("数据库拒绝保存：%1").arg(detail.section(u'\n', 0, 0));
}

bool isEmptyValue(const QVariant& v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty());
}

// What the run keeps of an old-month row: a few dozen bytes, the texts shared
// between rows that hold the same rule or anchor.
struct OldRow
{
    QString empId;
    QString shiftId;
    QVariant start; // as read; empty: a fixed shift
    QDate leave; // invalid: no leave date
    QString badLeave; // a leave date that is not a date, as read
};

// Interns texts so that rows holding the same value share one copy.
class TextPool
{
public:
    QString operator()(const QString& text)
    {
        const auto it = m_texts.constFind(text);
        if (it != m_texts.cend())
            return *it;
        m_texts.insert(text);
        return text;
    }

private:
    QSet<QString> m_texts;
};

constexpr quint64 startBit = 1;
constexpr quint64 dayBit(int day)
{
    return quint64(1) << day;
}

class Run
{
public:
    Run(const QSqlDatabase& db, const QString& ym, int year, int month, const QDateTime& begin, const QDateTime& end)
        : m_db(db)
        , m_ym(ym)
        , m_year(year)
        , m_month(month)
        , m_monthDays(Functions::DaysPerMonth(year, month))
        , m_begin(begin.date())
        , m_endDay(qMin(Functions::ExtractDay(end), m_monthDays))
    {
    }

    std::vector<OldRow> readOldRows(const QString& previousYm);
    void readRules() { m_rules.load(m_db); }
    void readNewMonthKeys();
    // Writes one employee's row; false with the reason when it was abandoned.
    bool WriteEmpScheme(const OldRow& row, QString& reason);

private:
    struct Statement
    {
        QSqlQuery query;
        QString error; // the engine refused to prepare it
    };
    Statement& statement(bool insert, quint64 columns);
    bool execute(bool insert, quint64 columns, const QVariant& shiftId, const QVariant& start,
        const std::array<QString, 32>& days, const QString& empId, QString& reason);

    QSqlDatabase m_db;
    QString m_ym;
    int m_year;
    int m_month;
    int m_monthDays;
    QDate m_begin;
    int m_endDay;
    CycleShift::ShiftRules m_rules;
    QSet<QString> m_newMonthRows; // emp_id of every row the new month holds
    std::unordered_map<quint64, Statement> m_inserts;
    std::unordered_map<quint64, Statement> m_updates;
};

std::vector<OldRow> Run::readOldRows(const QString& previousYm)
{
    const QString& sql = Db::sqlOldMonthSchemes;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        queryFailed(m_db, q, QStringLiteral("无法读取上月排班"), sql);
    q.bindValue(0, previousYm);
    if (!q.exec())
        queryFailed(m_db, q, QStringLiteral("无法读取上月排班"), sql);
    const QSqlRecord record = q.record();
    const int empId = columnOf(record, Db::cEmpId, sql);
    const int shiftId = columnOf(record, Db::cShiftId, sql);
    const int start = columnOf(record, Db::cStartDate, sql);
    const int leave = columnOf(record, Db::cLeaveDate, sql);

    std::vector<OldRow> rows;
    TextPool pool;
    while (q.next()) {
        OldRow row;
        row.empId = q.value(empId).toString();
        row.shiftId = pool(q.value(shiftId).toString());
        QVariant anchor = q.value(start);
        if (anchor.typeId() == QMetaType::QString)
            anchor = pool(anchor.toString());
        row.start = anchor;
        const QVariant left = q.value(leave);
        if (!isEmptyValue(left)) {
            row.leave = Db::toDateTime(left).date();
            if (!row.leave.isValid())
                row.badLeave = left.toString();
        }
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        queryFailed(m_db, q, QStringLiteral("无法读取上月排班"), sql);
    // Nothing stays open on the connection while the rows are written.
    q.finish();
    rows.shrink_to_fit();
    return rows;
}

void Run::readNewMonthKeys()
{
    const QString& sql = Db::sqlNewMonthSchemes;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        queryFailed(m_db, q, QStringLiteral("无法读取本月排班"), sql);
    q.bindValue(QStringLiteral(":YM"), m_ym);
    if (!q.exec())
        queryFailed(m_db, q, QStringLiteral("无法读取本月排班"), sql);
    const int empId = columnOf(q.record(), Db::cEmpId, sql);
    while (q.next())
        m_newMonthRows.insert(q.value(empId).toString());
    if (q.lastError().isValid())
        queryFailed(m_db, q, QStringLiteral("无法读取本月排班"), sql);
    q.finish();
}

// One prepared INSERT or UPDATE for each set of columns written, reused for
// every employee that writes the same set.
Run::Statement& Run::statement(bool insert, quint64 columns)
{
    auto& cache = insert ? m_inserts : m_updates;
    const auto found = cache.find(columns);
    if (found != cache.end())
        return found->second;

    QSqlDriver* driver = m_db.driver();
    QStringList names = { Db::cShiftId };
    if (columns & startBit)
        names << Db::cStartDate;
    for (int day = 1; day <= 31; ++day)
        if (columns & dayBit(day))
            names << driver->escapeIdentifier(Db::dayColumn(day), QSqlDriver::FieldName);
    QString sql;
    if (insert) {
        names.prepend(Db::cEmpId);
        names.prepend(Db::cSchemeYm);
        QStringList markers;
        markers.fill(QStringLiteral("?"), names.size());
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(Db::tScheme, names.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")));
    } else {
        sql = QStringLiteral("UPDATE %1 SET %2=? WHERE %3=? AND %4=?")
                  .arg(Db::tScheme, names.join(QStringLiteral("=?, ")), Db::cSchemeYm, Db::cEmpId);
    }
    Statement& s = cache.try_emplace(columns, Statement { QSqlQuery(m_db), QString() }).first->second;
    if (!s.query.prepare(sql)) {
        const QSqlError error = s.query.lastError();
        if (Db::isConnectionLost(m_db, error)) {
            cache.erase(columns);
            throw Db::errorFor(QStringLiteral("无法保存排班"), m_db, error);
        }
        s.error = refusal(error);
    }
    return s;
}

bool Run::execute(bool insert, quint64 columns, const QVariant& shiftId, const QVariant& start,
    const std::array<QString, 32>& days, const QString& empId, QString& reason)
{
    Statement& s = statement(insert, columns);
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
    q.bindValue(at++, shiftId);
    if (columns & startBit)
        q.bindValue(at++, start);
    for (int day = 1; day <= 31; ++day)
        if (columns & dayBit(day))
            q.bindValue(at++, days[day]);
    if (!insert) {
        q.bindValue(at++, m_ym);
        q.bindValue(at++, empId);
    }
    if (!q.exec()) {
        // A lost connection ends the run: every later employee would fail the same way.
        if (Db::isConnectionLost(m_db, q.lastError()))
            throw Db::errorFor(QStringLiteral("无法保存员工 %1 的排班").arg(empId), m_db, q.lastError());
        reason = refusal(q.lastError());
        return false;
    }
    return true;
}

bool Run::WriteEmpScheme(const OldRow& row, QString& reason)
{
    std::array<QString, 32> days;
    quint64 columns = 0;
    QVariant start;
    if (isEmptyValue(row.start)) {
        // Fixed shift: the shift itself on every day up to the period's last day.
        for (int day = 1; day <= m_endDay; ++day) {
            days[day] = row.shiftId;
            columns |= dayBit(day);
        }
    } else {
        const QDateTime anchor = Db::toDateTime(row.start);
        if (!anchor.isValid()) {
            reason = QStringLiteral("轮班起始日期“%1”不是有效的日期").arg(row.start.toString());
            return false;
        }
        if (const CycleShift::ShiftRule* rule = m_rules.find(row.shiftId)) {
            try {
                for (int day = 1; day <= m_monthDays; ++day) {
                    const QDate date(m_year, m_month, day);
                    if (m_begin > date)
                        continue;
                    days[day] = CycleShift::codeOf(*rule, anchor, date);
                    columns |= dayBit(day);
                }
            } catch (const CycleShift::Error& e) {
                reason = QString::fromUtf8(e.what());
                return false;
            }
        }
        start = Db::toDbValue(row.start);
        columns |= startBit;
    }

    const QVariant shiftId = row.shiftId;
    if (m_newMonthRows.contains(row.empId)) {
        if (!execute(false, columns, shiftId, start, days, row.empId, reason))
            return false;
        if (statement(false, columns).query.numRowsAffected() > 0)
            return true;
        // The row went away since the new month was read: store it anew.
    }
    if (!execute(true, columns, shiftId, start, days, row.empId, reason))
        return false;
    m_newMonthRows.insert(row.empId);
    return true;
}

// Calls finish() on every way out once the run is busy.
class FinishGuard
{
public:
    explicit FinishGuard(RolloverProgress* progress)
        : m_progress(progress)
    {
        m_progress->busy();
    }
    ~FinishGuard() { m_progress->finish(); }
    FinishGuard(const FinishGuard&) = delete;
    FinishGuard& operator=(const FinishGuard&) = delete;

private:
    RolloverProgress* m_progress;
};

} // namespace

QString PrevYm(const QString& ym)
{
    int year = 0;
    int month = 0;
    if (!parseYm(ym, year, month))
        return {};
    return Functions::IncMonth(QDate(year, month, 1), -1).toString(QStringLiteral("yyyy-MM"));
}

bool PrevAccountExists(const QSqlDatabase& db, const QString& ym)
{
    Db::Query q(db, Db::sqlAccountByYm);
    q.bind(Db::cYm, ym);
    return q.open().rowCount() > 0;
}

bool carriedOver(const QDate& leaveDate, const QDateTime& begin)
{
    return !leaveDate.isValid() || leaveDate >= begin.date();
}

RolloverReport runAutoScheme(const QSqlDatabase& db, const QString& ymText, const QDateTime& begin,
    const QDateTime& end, RolloverProgress* progress)
{
    RolloverReport report;
    RolloverProgress silent;
    if (!progress)
        progress = &silent;

    // Without a month key there is no previous month and nothing to do; a key of
    // the right shape that names no month is the operator's mistake.
    if (!hasYmShape(ymText.trimmed()))
        return report;
    int year = 0;
    int month = 0;
    if (!parseYm(ymText, year, month))
        throw InputError(Prjconst::_ErrorAccount.toStdString());
    report.previousYm = PrevYm(ymText);
    if (!PrevAccountExists(db, report.previousYm))
        return report;
    if (!begin.isValid() || !end.isValid())
        throw InputError(
            QStringLiteral("帐套的开始日期和结束日期不能为空，无法按上月排班生成本月排班。").toStdString());
    report.ran = true;

    FinishGuard guard(progress);
    Run run(db, ymText, year, month, begin, end);
    const std::vector<OldRow> rows = run.readOldRows(report.previousYm);
    report.oldRows = static_cast<int>(rows.size());
    if (rows.empty())
        return report;
    run.readRules();
    run.readNewMonthKeys();

    progress->start(report.oldRows);
    QSet<QString> failed;
    QSet<QString> stored;
    auto fail = [&](const QString& empId, const QString& reason) {
        if (!failed.contains(empId)) {
            failed.insert(empId);
            report.failures.append({ empId, reason });
        }
    };
    int done = 0;
    for (const OldRow& row : rows) {
        if (!row.badLeave.isNull()) {
            fail(row.empId, QStringLiteral("离职日期“%1”不是有效的日期").arg(row.badLeave));
        } else if (carriedOver(row.leave, begin)) {
            ++report.carried;
            QString reason;
            if (run.WriteEmpScheme(row, reason)) {
                ++report.written;
                stored.insert(row.empId);
            } else {
                fail(row.empId, reason);
            }
        }
        progress->advance(++done);
    }
    // An employee with several old rows has a schedule once any of them was
    // stored: only those left without one are listed.
    report.failures.removeIf([&stored](const Failure& f) { return stored.contains(f.empId); });
    return report;
}

QString failureMessage(const RolloverReport& report, int listed)
{
    const int count = static_cast<int>(report.failures.size());
    if (count == 0)
        return {};
    QStringList lines;
    lines << QStringLiteral("以下 %1 名员工的本月排班未能生成：").arg(count);
    for (int i = 0; i < count && i < listed; ++i) {
        const Failure& f = report.failures.at(i);
        lines << QStringLiteral("%1：%2").arg(f.empId, f.reason);
    }
    if (count > listed)
        lines << QStringLiteral("……以及其他 %1 名员工").arg(count - listed);
    lines << QString()
          << QStringLiteral("其他员工的排班已经生成。请检查以上员工的排班和轮班规则，再为他们安排本月排班。");
    return lines.join(u'\n');
}

GaugeProgress::GaugeProgress(QProgressBar* gauge, int repaintMs)
    : m_gauge(gauge)
    , m_repaintMs(repaintMs)
{
}

GaugeProgress::~GaugeProgress()
{
    if (m_busy)
        finish();
}

void GaugeProgress::busy()
{
    if (m_busy)
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_busy = true;
}

void GaugeProgress::start(int maximum)
{
    if (!m_gauge)
        return;
    m_gauge->setUpdatesEnabled(true);
    m_gauge->setRange(0, maximum);
    m_gauge->setValue(0);
    m_gauge->show();
    repaintGauge();
}

void GaugeProgress::advance(int position)
{
    if (!m_gauge)
        return;
    // The value follows every row; painting it is what costs, so that happens
    // only every few milliseconds and on the last row.
    m_gauge->setValue(position);
    if (position >= m_gauge->maximum() || m_sinceRepaint.hasExpired(m_repaintMs))
        repaintGauge();
}

void GaugeProgress::repaintGauge()
{
    m_gauge->setUpdatesEnabled(true);
    m_gauge->repaint();
    m_gauge->setUpdatesEnabled(false); // setValue() paints nothing until the next time
    ++m_repaints;
    m_sinceRepaint.start();
}

void GaugeProgress::finish()
{
    if (m_gauge) {
        m_gauge->setUpdatesEnabled(true);
        m_gauge->hide();
    }
    if (m_busy) {
        // Back to the normal cursor: the run's wait cursor is taken away.
        QGuiApplication::restoreOverrideCursor();
        m_busy = false;
    }
}

} // namespace Rollover
