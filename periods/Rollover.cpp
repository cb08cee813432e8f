#include "periods/Rollover.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "periods/CycleShift.h"
#include "periods/Periods.h"

#include <QCoreApplication>
#include <QSet>
#include <QStringList>
#include <vector>

namespace Rollover {

namespace {

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

std::vector<OldRow> readOldRows(const QSqlDatabase& db, const MonthKey& previous)
{
    std::vector<OldRow> rows;
    TextPool pool;
    Db::forEachRow(db, Db::sqlOldMonthSchemeKeys, { previous.text() },
        { Db::cEmpId, Db::cShiftId, Db::cStartDate, Db::cLeaveDate }, [&](const QVariant* v) {
            OldRow row;
            row.empId = v[0].toString();
            row.shiftId = pool(v[1].toString());
            row.start = v[2].typeId() == QMetaType::QString ? QVariant(pool(v[2].toString())) : v[2];
            if (!isEmptyValue(v[3])) {
                row.leave = Db::toDateTime(v[3]).date();
                if (!row.leave.isValid())
                    row.badLeave = v[3].toString();
            }
            rows.push_back(std::move(row));
        });
    rows.shrink_to_fit();
    return rows;
}

// Employees who share a shift (or a rule and an anchor) share their month's
// row but for the id: each such row is worked out once.
class MonthCache
{
public:
    template <typename Make> Db::SchemeRow& of(const QString& shiftId, const QVariant& start, Make make)
    {
        const std::pair<QString, QString> key { shiftId, start.isNull() ? QString() : start.toString() };
        const auto found = m_rows.find(key);
        if (found != m_rows.end())
            return *found;
        if (m_rows.size() >= 4096)
            m_rows.clear();
        return *m_rows.insert(key, make());
    }

private:
    QHash<std::pair<QString, QString>, Db::SchemeRow> m_rows;
};

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
    const std::optional<MonthKey> key = MonthKey::fromKey(ym);
    return key ? key->previous().text() : QString();
}

bool carriedOver(const QDate& leaveDate, const QDateTime& begin)
{
    return !leaveDate.isValid() || leaveDate >= begin.date();
}

Db::SchemeRow schemeRow(const QString& empId, const QString& shiftId, const QVariant& start, const MonthKey& ym,
    const QDate& begin, const QDate& end, const CycleShift::ShiftRules& rules)
{
    Db::SchemeRow row;
    row.empId = empId;
    row.shiftId = shiftId;
    if (isEmptyValue(start)) {
        // Fixed shift: the shift itself on every day up to the period's last day.
        const int endDay = qMin(Functions::ExtractDay(end), ym.days());
        for (int day = 1; day <= endDay; ++day) {
            row.codes[day] = shiftId;
            row.days |= quint64(1) << day;
        }
        return row;
    }
    const QDateTime anchor = Db::toDateTime(start);
    if (!anchor.isValid())
        throw CycleShift::Error(
            QCoreApplication::translate("Rollover", "轮班起始日期“%1”不是有效的日期").arg(start.toString()));
    if (const CycleShift::ShiftRule* rule = rules.find(shiftId)) {
        for (QDate date = qMax(begin, ym.first()); date <= ym.last(); date = date.addDays(1)) {
            row.codes[date.day()] = CycleShift::codeOf(*rule, anchor, date);
            row.days |= quint64(1) << date.day();
        }
    }
    row.writeStart = true;
    row.start = start;
    return row;
}

RolloverReport runAutoScheme(const QSqlDatabase& db, const MonthKey& ym, const QDateTime& begin, const QDateTime& end,
    RolloverProgress* progress)
{
    RolloverReport report;
    RolloverProgress silent;
    if (!progress)
        progress = &silent;

    const MonthKey previous = ym.previous();
    report.previousYm = previous.text();
    if (previous.isNull() || !Periods::exists(db, previous.text()))
        return report;
    if (!begin.isValid() || !end.isValid())
        throw InputError(
            QCoreApplication::translate("Rollover", "帐套的开始日期和结束日期不能为空，无法按上月排班生成本月排班。"));
    report.ran = true;

    FinishGuard guard(progress);
    const std::vector<OldRow> rows = readOldRows(db, previous);
    report.oldRows = static_cast<int>(rows.size());
    if (rows.empty())
        return report;
    CycleShift::ShiftRules rules;
    rules.load(db);

    QSet<QString> failed;
    QSet<QString> stored;
    auto fail = [&](const QString& empId, const QString& reason) {
        if (!failed.contains(empId)) {
            failed.insert(empId);
            report.failures.append({ empId, reason });
        }
    };
    const std::unique_ptr<Db::SchemeWriter> writer = Db::SchemeWriter::open(
        db, ym.text(),
        [&](const QString& empId, const QString& refusal) {
            if (refusal.isEmpty()) {
                ++report.written;
                stored.insert(empId);
            } else {
                fail(empId, refusal);
            }
        },
        [progress] { progress->waiting(); });

    MonthCache months;
    progress->start(report.oldRows);
    int done = 0;
    try {
        for (const OldRow& row : rows) {
            if (!row.badLeave.isNull()) {
                fail(
                    row.empId, QCoreApplication::translate("Rollover", "离职日期“%1”不是有效的日期").arg(row.badLeave));
            } else if (carriedOver(row.leave, begin)) {
                ++report.carried;
                try {
                    Db::SchemeRow& written = months.of(row.shiftId, row.start, [&] {
                        return schemeRow(row.empId, row.shiftId, row.start, ym, begin.date(), end.date(), rules);
                    });
                    written.empId = row.empId;
                    writer->write(written);
                } catch (const CycleShift::Error& e) {
                    fail(row.empId, Platform::messageOf(e));
                }
            }
            progress->advance(++done);
        }
        writer->finish();
    } catch (const Db::Error& e) {
        // The database itself cannot store: one message for the whole run.
        if (e.kind() != Db::Error::Kind::StorageFailed)
            throw;
        throw Db::Error(Platform::messageOf(e) + QStringLiteral("\n\n")
                + QCoreApplication::translate("Rollover",
                    "已经保存的员工排班保留不变，新帐套没有保存。问题解决后请再次保存，系统会补全这个月的排班。"),
            Db::Error::Kind::StorageFailed);
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
    lines << QCoreApplication::translate("Rollover", "以下 %1 名员工的本月排班未能生成：").arg(count);
    for (int i = 0; i < count && i < listed; ++i) {
        const Failure& f = report.failures.at(i);
        lines << QCoreApplication::translate("Rollover", "%1：%2").arg(f.empId, f.reason);
    }
    if (count > listed)
        lines << QCoreApplication::translate("Rollover", "……以及其他 %1 名员工").arg(count - listed);
    lines << QString()
          << QCoreApplication::translate(
                 "Rollover", "其他员工的排班已经生成。请检查以上员工的排班和轮班规则，再为他们安排本月排班。");
    return lines.join(u'\n');
}

} // namespace Rollover
