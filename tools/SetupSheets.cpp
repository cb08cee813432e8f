// kolvane-db export|import employees|rules|schedule: the tables planners keep
// in spreadsheets, as CSV files with a header line.
//
// An import reads the whole file and checks every row before it changes
// anything: a file with a bad row changes nothing, and the message names each
// bad row and column. Employees and rules are then written in one
// transaction; a month's schedules through the schedule writer, one row per
// employee, as the roll-over writes them.
#include "db/Query.h"
#include "db/SchemeWriter.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "host/Functions.h"
#include "host/MonthKey.h"
#include "periods/CycleShift.h"
#include "periods/Periods.h"
#include "formats/Csv.h"
#include "tools/Setup.h"
#include "formats/xlsx/Workbook.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace Setup {

namespace {

using Functions::trimText;

// A column of a sheet: its name in the database, and its caption.
struct Column
{
    const QString& key;
    const char* caption;
};

const Column colEmpId { Db::cEmpId, QT_TRANSLATE_NOOP("Setup", "员工编号") };
const Column colEmpName { Db::cEmpName, QT_TRANSLATE_NOOP("Setup", "姓名") };
const Column colLeaveDate { Db::cLeaveDate, QT_TRANSLATE_NOOP("Setup", "离职日期") };
const Column colRuleId { Db::cShiftId, QT_TRANSLATE_NOOP("Setup", "规则编号") };
const Column colRuleName { Db::cShiftName, QT_TRANSLATE_NOOP("Setup", "规则名称") };
const Column colCycle { Db::cShiftsCyc, QT_TRANSLATE_NOOP("Setup", "周期") };
const Column colUnit { Db::cShiftsCycUnit, QT_TRANSLATE_NOOP("Setup", "周期单位") };
const Column colShift { Db::cShiftId, QT_TRANSLATE_NOOP("Setup", "班次或规则") };
const Column colStart { Db::cStartDate, QT_TRANSLATE_NOOP("Setup", "起始日期") };

constexpr int maxListed = 20;

QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

// The codes of a slot list by slot number: the lines named by a slot in
// decimal, the first of each; the value trimmed as the cycle position reads it.
std::map<int, QString> slotsOf(const QString& shifts)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    std::map<int, QString> slots;
    for (const QString& line : shifts.split(lineBreak)) {
        const qsizetype eq = line.indexOf(u'=');
        bool ok = false;
        const int slot = line.left(eq).toInt(&ok);
        if (eq > 0 && ok && slot > 0 && QString::number(slot) == line.left(eq))
            slots.emplace(slot, trimText(line.mid(eq + 1)));
    }
    std::erase_if(slots, [](const auto& entry) { return entry.second.isEmpty(); });
    return slots;
}

QString slotText(const std::map<int, QString>& slots)
{
    QStringList lines;
    for (const auto& [slot, code] : slots)
        lines << QString::number(slot) + u'=' + code;
    return lines.join(QStringLiteral("\r\n"));
}

// Slots a cycle has: n days, 7 a week, 31 a month.
qint64 slotCount(CycleShift::Unit unit, qint64 cycle)
{
    switch (unit) {
    case CycleShift::Unit::Day:
        return cycle;
    case CycleShift::Unit::Week:
        return 7 * cycle;
    case CycleShift::Unit::Month:
        return 31 * cycle;
    case CycleShift::Unit::None:
        break;
    }
    return 0;
}

class Sheets
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    static int exportCommand(const Mainmodule::ConnectionSettings& settings, QStringList args);
    static int importCommand(const Mainmodule::ConnectionSettings& settings, QStringList args);

private:
    // The bad rows of a file.
    class Problems
    {
    public:
        void add(int row, const QString& column, const QString& why)
        {
            if (++m_count <= maxListed)
                m_lines << Sheets::tr("第 %1 行“%2”列：%3").arg(row).arg(column, why);
        }
        bool isEmpty() const { return m_count == 0; }
        QString text(const QString& path) const
        {
            QString text = Sheets::tr("文件 %1 有错误，数据库没有改动：").arg(path);
            for (const QString& line : m_lines)
                text += QStringLiteral("\n  ") + line;
            if (m_count > maxListed)
                text += QStringLiteral("\n  ") + Sheets::tr("……另有 %1 处错误没有列出").arg(m_count - maxListed);
            return text;
        }

    private:
        int m_count = 0;
        QStringList m_lines;
    };

    // The file's header and the way to its cells.
    struct Sheet
    {
        QString path;
        QStringList header;
        QList<QStringList> rows; // after the header; row i is line i + 2 of the sheet
        int find(const Column& column) const;
        QString cell(const QStringList& row, int column) const
        {
            return column >= 0 && column < row.size() ? trimText(row.at(column)) : QString();
        }
        QString name(int column, const Column& fallback) const
        {
            const QString text = column >= 0 && column < header.size() ? trimText(header.at(column)) : QString();
            return text.isEmpty() ? Sheets::tr(fallback.caption) : text;
        }
        // Says on standard error which columns of the header nothing reads.
        void warnUnread(const QList<int>& read) const
        {
            QStringList unread;
            for (qsizetype i = 0; i < header.size(); ++i)
                if (!read.contains(static_cast<int>(i)) && !trimText(header.at(i)).isEmpty())
                    unread << trimText(header.at(i));
            if (!unread.isEmpty())
                Tool::fail(Sheets::tr("没有读取这些列：%1").arg(unread.join(QStringLiteral("、"))), Done);
        }
        static bool blank(const QStringList& row)
        {
            return std::all_of(row.begin(), row.end(), [](const QString& c) { return trimText(c).isEmpty(); });
        }
    };

    static Sheet readSheet(const QString& path);
    static QString caption(const Column& column) { return tr(column.caption); }
    static void report(const QStringList& changes, int added, int changed, int same, bool dryRun);
    static void commitOrThrow(const QSqlDatabase& db, const std::function<void()>& work);
    static QString tooLong(const QString& text, int length) { return tr("“%1”超过 %2 个字符").arg(text).arg(length); }

    // A sheet to export: its header line and its rows.
    struct Table
    {
        QStringList header;
        QList<QStringList> rows;
    };
    static Table exportEmployees(const QSqlDatabase& db);
    static Table exportRules(const QSqlDatabase& db);
    static Table exportSchedule(const QSqlDatabase& db, const MonthKey& ym);
    static int importEmployees(const QSqlDatabase& db, const Sheet& sheet, bool dryRun);
    static int importRules(const QSqlDatabase& db, const Sheet& sheet, bool dryRun);
    static int importSchedule(const QSqlDatabase& db, const MonthKey& ym, const Sheet& sheet, bool dryRun);
};

int Sheets::Sheet::find(const Column& column) const
{
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString name = trimText(header.at(i));
        if (name.compare(column.key, Qt::CaseInsensitive) == 0
            || name.compare(QString::fromUtf8(column.caption), Qt::CaseInsensitive) == 0
            || name.compare(tr(column.caption), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

Sheets::Sheet Sheets::readSheet(const QString& path)
{
    Csv::Table table = Csv::Reader::readFile(path);
    while (!table.records.isEmpty() && Sheet::blank(table.records.first()))
        table.records.removeFirst();
    if (table.records.isEmpty())
        throw Platform::Failure(tr("文件 %1 是空的：第一行应为列名").arg(path));
    Sheet sheet;
    sheet.path = path;
    sheet.header = table.records.takeFirst();
    sheet.rows = table.records;
    return sheet;
}

void Sheets::report(const QStringList& changes, int added, int changed, int same, bool dryRun)
{
    QTextStream out(stdout);
    for (const QString& line : changes)
        out << line << '\n';
    out << (dryRun ? tr("试运行：将新增 %1 行，修改 %2 行，%3 行不变；数据库没有改动。")
                   : tr("已新增 %1 行，修改 %2 行，%3 行不变。"))
               .arg(added)
               .arg(changed)
               .arg(same)
        << '\n';
}

void Sheets::commitOrThrow(const QSqlDatabase& db, const std::function<void()>& work)
{
    QSqlDatabase session = db;
    if (!session.transaction())
        throw Db::errorFor(tr("无法开始事务"), session, session.lastError());
    try {
        work();
    } catch (...) {
        session.rollback();
        throw;
    }
    if (!session.commit()) {
        const Db::Error error = Db::errorFor(tr("无法提交"), session, session.lastError());
        session.rollback();
        throw error;
    }
}

// --- exports ---------------------------------------------------------------

Sheets::Table Sheets::exportEmployees(const QSqlDatabase& db)
{
    Table table { { caption(colEmpId), caption(colEmpName), caption(colLeaveDate) }, {} };
    Db::Query q(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : q.open().rows())
        table.rows.append(
            { row.text(Db::cEmpId), row.text(Db::cEmpName), dateText(row.dateTime(Db::cLeaveDate).date()) });
    return table;
}

Sheets::Table Sheets::exportRules(const QSqlDatabase& db)
{
    QList<std::map<int, QString>> slots;
    Table table { { caption(colRuleId), caption(colRuleName), caption(colCycle), caption(colUnit) }, {} };
    int width = 0;
    Db::Query q(db, Db::sqlSetupRules);
    for (const Db::Row& row : q.open().rows()) {
        table.rows.append({ row.text(Db::cShiftId), row.text(Db::cShiftName), row.text(Db::cShiftsCyc),
            row.text(Db::cShiftsCycUnit) });
        slots.append(slotsOf(row.text(Db::cShifts)));
        if (!slots.last().empty())
            width = qMax(width, slots.last().rbegin()->first);
    }
    for (int slot = 1; slot <= width; ++slot)
        table.header << QString::number(slot);
    for (qsizetype i = 0; i < table.rows.size(); ++i) {
        for (int slot = 1; slot <= width; ++slot) {
            const auto found = slots.at(i).find(slot);
            table.rows[i] << (found == slots.at(i).end() ? QString() : found->second);
        }
    }
    return table;
}

Sheets::Table Sheets::exportSchedule(const QSqlDatabase& db, const MonthKey& ym)
{
    QHash<QString, QString> names;
    Db::Query employees(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : employees.open().rows())
        names.insert(row.text(Db::cEmpId), row.text(Db::cEmpName));

    Table table { { caption(colEmpId), caption(colEmpName), caption(colShift), caption(colStart) }, {} };
    QStringList columns = { Db::cEmpId, Db::cShiftId, Db::cStartDate };
    for (int day = 1; day <= ym.days(); ++day) {
        table.header << dateText(ym.first().addDays(day - 1));
        columns << Db::dayColumn(day);
    }
    Db::forEachRow(db, Db::sqlSetupMonthSchemes, { ym.text() }, columns, [&](const QVariant* v) {
        const QString empId = v[0].toString();
        QStringList fields = { empId, names.value(empId), v[1].toString(), dateText(Db::toDateTime(v[2]).date()) };
        for (int day = 1; day <= ym.days(); ++day)
            fields << trimText(v[2 + day].toString());
        table.rows.append(fields);
    });
    return table;
}

// --- imports ---------------------------------------------------------------

int Sheets::importEmployees(const QSqlDatabase& db, const Sheet& sheet, bool dryRun)
{
    Problems problems;
    const int idColumn = sheet.find(colEmpId);
    const int nameColumn = sheet.find(colEmpName);
    const int leaveColumn = sheet.find(colLeaveDate);
    if (idColumn < 0)
        return Tool::fail(tr("文件 %1 的第一行没有“%2”列").arg(sheet.path, caption(colEmpId)), BadFile);
    sheet.warnUnread({ idColumn, nameColumn, leaveColumn });
    const int idLength = Tool::columnLength(db, Db::tEmployee, Db::cEmpId);
    const int nameLength = Tool::columnLength(db, Db::tEmployee, Db::cEmpName);

    struct Employee
    {
        QString name;
        QDate leave;
    };
    QHash<QString, Employee> existing;
    Db::Query q(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : q.open().rows())
        existing.insert(row.text(Db::cEmpId), { row.text(Db::cEmpName), row.dateTime(Db::cLeaveDate).date() });

    struct Change
    {
        QString id;
        Employee now;
        bool isNew;
    };
    QList<Change> changes;
    QStringList lines;
    QHash<QString, int> seen; // id -> row
    int same = 0;
    for (qsizetype i = 0; i < sheet.rows.size(); ++i) {
        const QStringList& r = sheet.rows.at(i);
        const int line = static_cast<int>(i) + 2;
        if (Sheet::blank(r))
            continue;
        const QString id = sheet.cell(r, idColumn);
        const QString idName = sheet.name(idColumn, colEmpId);
        bool bad = false;
        if (id.isEmpty()) {
            problems.add(line, idName, tr("编号为空"));
            bad = true;
        } else if (idLength > 0 && id.size() > idLength) {
            problems.add(line, idName, tooLong(id, idLength));
            bad = true;
        } else if (seen.contains(id)) {
            problems.add(line, idName, tr("编号 %1 重复（第 %2 行已有）").arg(id).arg(seen.value(id)));
            bad = true;
        }
        seen.insert(id, line);
        const auto old = existing.constFind(id);
        Employee now = old == existing.cend() ? Employee() : *old;
        if (nameColumn >= 0) {
            now.name = sheet.cell(r, nameColumn);
            if (nameLength > 0 && now.name.size() > nameLength) {
                problems.add(line, sheet.name(nameColumn, colEmpName), tooLong(now.name, nameLength));
                bad = true;
            }
        }
        if (leaveColumn >= 0) {
            const QString text = sheet.cell(r, leaveColumn);
            now.leave = text.isEmpty() ? QDate() : Csv::parseDate(text);
            if (!text.isEmpty() && !now.leave.isValid()) {
                problems.add(line, sheet.name(leaveColumn, colLeaveDate), tr("“%1”不是日期").arg(text));
                bad = true;
            }
        }
        if (bad)
            continue;
        if (old == existing.cend()) {
            changes.append({ id, now, true });
            lines << tr("新增 %1 %2").arg(id, now.name);
        } else if (old->name != now.name || old->leave != now.leave) {
            changes.append({ id, now, false });
            lines << tr("修改 %1：姓名 %2 → %3，离职日期 %4 → %5")
                         .arg(id, old->name, now.name, dateText(old->leave), dateText(now.leave));
        } else {
            ++same;
        }
    }
    if (!problems.isEmpty())
        return Tool::fail(problems.text(sheet.path), BadFile);
    const int added
        = static_cast<int>(std::count_if(changes.begin(), changes.end(), [](const Change& c) { return c.isNew; }));
    if (!dryRun) {
        commitOrThrow(db, [&] {
            // Each statement prepared once for the whole file.
            Db::Query add(db, Db::sqlSetupAddEmployee);
            Db::Query update(db, Db::sqlSetupUpdateEmployee);
            for (const Change& c : changes) {
                Db::Query& write = c.isNew ? add : update;
                write.bind(QStringLiteral("empId"), c.id);
                write.bind(QStringLiteral("empName"), c.now.name);
                write.bind(QStringLiteral("leaveDate"), c.now.leave.isValid() ? QVariant(c.now.leave) : QVariant());
                write.exec();
            }
        });
    }
    report(lines, added, static_cast<int>(changes.size()) - added, same, dryRun);
    return Done;
}

int Sheets::importRules(const QSqlDatabase& db, const Sheet& sheet, bool dryRun)
{
    Problems problems;
    const int idColumn = sheet.find(colRuleId);
    const int nameColumn = sheet.find(colRuleName);
    const int cycleColumn = sheet.find(colCycle);
    const int unitColumn = sheet.find(colUnit);
    if (idColumn < 0)
        return Tool::fail(tr("文件 %1 的第一行没有“%2”列").arg(sheet.path, caption(colRuleId)), BadFile);
    std::map<int, int> slotColumns; // slot -> column
    for (qsizetype i = 0; i < sheet.header.size(); ++i) {
        bool ok = false;
        const int slot = trimText(sheet.header.at(i)).toInt(&ok);
        if (ok && slot > 0 && !slotColumns.contains(slot))
            slotColumns.emplace(slot, static_cast<int>(i));
    }
    QList<int> read = { idColumn, nameColumn, cycleColumn, unitColumn };
    for (const auto& entry : slotColumns)
        read << entry.second;
    sheet.warnUnread(read);
    // A rule's id is a schedule's shift_id; its codes fill the day columns.
    int idLength = Tool::columnLength(db, Db::tShiftsRule, Db::cShiftId);
    if (const int schemeLength = Tool::columnLength(db, Db::tScheme, Db::cShiftId); schemeLength > 0)
        idLength = idLength > 0 ? qMin(idLength, schemeLength) : schemeLength;
    const int nameLength = Tool::columnLength(db, Db::tShiftsRule, Db::cShiftName);
    const int codeLength = Tool::columnLength(db, Db::tScheme, Db::dayColumn(1));

    struct Rule
    {
        QString id;
        QString name;
        qint64 cycle = 0;
        QString unit;
        QString shifts;
    };
    // Rules are found without regard to case, as the roll-over finds them.
    QHash<QString, Rule> existing;
    Db::Query q(db, Db::sqlSetupRules);
    for (const Db::Row& row : q.open().rows()) {
        const Rule rule { row.text(Db::cShiftId), row.text(Db::cShiftName), row.value(Db::cShiftsCyc).toLongLong(),
            row.text(Db::cShiftsCycUnit), row.text(Db::cShifts) };
        existing.insert(rule.id.toCaseFolded(), rule);
    }

    struct Change
    {
        Rule now;
        bool isNew;
    };
    QList<Change> changes;
    QStringList lines;
    QHash<QString, int> seen;
    int same = 0;
    for (qsizetype i = 0; i < sheet.rows.size(); ++i) {
        const QStringList& r = sheet.rows.at(i);
        const int line = static_cast<int>(i) + 2;
        if (Sheet::blank(r))
            continue;
        bool bad = false;
        const auto problem = [&](const QString& column, const QString& why) {
            problems.add(line, column, why);
            bad = true;
        };
        const QString id = sheet.cell(r, idColumn);
        const QString key = id.toCaseFolded();
        const QString idName = sheet.name(idColumn, colRuleId);
        if (id.isEmpty())
            problem(idName, tr("编号为空"));
        else if (idLength > 0 && id.size() > idLength)
            problem(idName, tooLong(id, idLength));
        else if (seen.contains(key))
            problem(idName, tr("编号 %1 重复（第 %2 行已有）").arg(id).arg(seen.value(key)));
        seen.insert(key, line);
        const auto old = existing.constFind(key);
        const bool isNew = old == existing.cend();
        Rule now = isNew ? Rule { id, {}, 0, {}, {} } : *old;
        if (nameColumn >= 0) {
            now.name = sheet.cell(r, nameColumn);
            if (nameLength > 0 && now.name.size() > nameLength)
                problem(sheet.name(nameColumn, colRuleName), tooLong(now.name, nameLength));
        }
        if (cycleColumn >= 0 || isNew) {
            const QString text = sheet.cell(r, cycleColumn);
            bool ok = false;
            now.cycle = text.toLongLong(&ok);
            if (!ok || now.cycle <= 0 || now.cycle > 10000)
                problem(sheet.name(cycleColumn, colCycle), tr("周期“%1”不是 1 到 10000 之间的整数").arg(text));
        }
        if (unitColumn >= 0 || isNew) {
            now.unit = sheet.cell(r, unitColumn);
            if (CycleShift::unitOf(now.unit) == CycleShift::Unit::None)
                problem(sheet.name(unitColumn, colUnit), tr("单位“%1”不是 day、week 或 month").arg(now.unit));
        }
        std::map<int, QString> slots = slotsOf(now.shifts);
        if (!slotColumns.empty()) {
            slots.clear();
            const qint64 count = slotCount(CycleShift::unitOf(now.unit), now.cycle);
            for (const auto& [slot, column] : slotColumns) {
                const QString code = sheet.cell(r, column);
                if (code.isEmpty())
                    continue;
                if (codeLength > 0 && code.size() > codeLength)
                    problem(sheet.name(column, colRuleId), tooLong(code, codeLength));
                else if (count > 0 && slot > count)
                    problem(sheet.name(column, colRuleId),
                        tr("周期只有 %1 个位置，第 %2 个位置用不到").arg(count).arg(slot));
                slots.emplace(slot, code);
            }
        }
        if (bad)
            continue;
        const bool slotsChanged = slots != slotsOf(now.shifts);
        if (slotsChanged)
            now.shifts = slotText(slots);
        if (isNew) {
            changes.append({ now, true });
            lines << tr("新增规则 %1 %2：%3 %4，%5 个班次")
                         .arg(now.id, now.name)
                         .arg(now.cycle)
                         .arg(now.unit)
                         .arg(slots.size());
        } else if (slotsChanged || old->name != now.name || old->cycle != now.cycle || old->unit != now.unit) {
            changes.append({ now, false });
            lines << tr("修改规则 %1：%2 %3 → %4 %5%6")
                         .arg(now.id)
                         .arg(old->cycle)
                         .arg(old->unit)
                         .arg(now.cycle)
                         .arg(now.unit, slotsChanged ? tr("，班次有改动") : QString());
        } else {
            ++same;
        }
    }
    if (!problems.isEmpty())
        return Tool::fail(problems.text(sheet.path), BadFile);
    const int added
        = static_cast<int>(std::count_if(changes.begin(), changes.end(), [](const Change& c) { return c.isNew; }));
    if (!dryRun) {
        commitOrThrow(db, [&] {
            Db::Query add(db, Db::sqlSetupAddRule);
            Db::Query update(db, Db::sqlSetupUpdateRule);
            for (const Change& c : changes) {
                Db::Query& write = c.isNew ? add : update;
                write.bind(QStringLiteral("shiftId"), c.now.id);
                write.bind(QStringLiteral("shiftName"), c.now.name);
                write.bind(QStringLiteral("cycle"), c.now.cycle);
                write.bind(QStringLiteral("unit"), c.now.unit);
                write.bind(QStringLiteral("shifts"), c.now.shifts);
                write.exec();
            }
        });
    }
    report(lines, added, static_cast<int>(changes.size()) - added, same, dryRun);
    return Done;
}

int Sheets::importSchedule(const QSqlDatabase& db, const MonthKey& ym, const Sheet& sheet, bool dryRun)
{
    if (!Periods::exists(db, ym.text()))
        return Tool::fail(tr("没有 %1 的帐套：请先建立帐套，再导入它的排班").arg(ym.text()), Refused);

    Problems problems;
    const int idColumn = sheet.find(colEmpId);
    const int shiftColumn = sheet.find(colShift);
    const int startColumn = sheet.find(colStart);
    if (idColumn < 0)
        return Tool::fail(tr("文件 %1 的第一行没有“%2”列").arg(sheet.path, caption(colEmpId)), BadFile);
    // Day columns: headed by a date of the month or by the day's number.
    std::map<int, int> dayColumns; // day -> column
    const QList<int> known = { idColumn, sheet.find(colEmpName), shiftColumn, startColumn };
    QList<int> otherMonth; // day columns of another month, reported as such
    for (qsizetype i = 0; i < sheet.header.size(); ++i) {
        const int column = static_cast<int>(i);
        const QString text = trimText(sheet.header.at(i));
        if (known.contains(column) || text.isEmpty())
            continue;
        bool number = false;
        int day = text.toInt(&number);
        const QDate date = Csv::parseDate(text);
        if (date.isValid()) {
            if (MonthKey::of(date) != ym) {
                problems.add(1, text, tr("不是 %1 的日期").arg(ym.text()));
                otherMonth << column;
                continue;
            }
            day = date.day();
        } else if (!number || day < 1 || day > 31) {
            continue; // a column of the planner's own
        }
        if (dayColumns.contains(day))
            problems.add(1, text, tr("第 %1 天已有一列").arg(day));
        else
            dayColumns.emplace(day, column);
    }

    QList<int> read = known + otherMonth;
    for (const auto& entry : dayColumns)
        read << entry.second;
    sheet.warnUnread(read);

    QSet<QString> employees;
    Db::Query staff(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : staff.open().rows())
        employees.insert(row.text(Db::cEmpId));
    CycleShift::ShiftRules rules;
    rules.load(db);
    const int shiftLength = Tool::columnLength(db, Db::tScheme, Db::cShiftId);
    const int codeLength = Tool::columnLength(db, Db::tScheme, Db::dayColumn(1));

    struct Existing
    {
        QString shiftId;
        QVariant start;
        std::array<QString, 32> codes;
    };
    QHash<QString, Existing> existing;
    QStringList columns = { Db::cEmpId, Db::cShiftId, Db::cStartDate };
    for (int day = 1; day <= ym.days(); ++day)
        columns << Db::dayColumn(day);
    Db::forEachRow(db, Db::sqlSetupMonthSchemes, { ym.text() }, columns, [&](const QVariant* v) {
        Existing row { v[1].toString(), v[2], {} };
        for (int day = 1; day <= ym.days(); ++day)
            row.codes[static_cast<size_t>(day)] = trimText(v[2 + day].toString());
        existing.insert(v[0].toString(), row);
    });

    QList<Db::SchemeRow> writes;
    QStringList lines;
    QHash<QString, int> seen;
    int added = 0;
    int same = 0;
    for (qsizetype i = 0; i < sheet.rows.size(); ++i) {
        const QStringList& r = sheet.rows.at(i);
        const int line = static_cast<int>(i) + 2;
        if (Sheet::blank(r))
            continue;
        bool bad = false;
        const auto problem = [&](const QString& column, const QString& why) {
            problems.add(line, column, why);
            bad = true;
        };
        const QString id = sheet.cell(r, idColumn);
        const QString idName = sheet.name(idColumn, colEmpId);
        if (id.isEmpty())
            problem(idName, tr("编号为空"));
        else if (seen.contains(id))
            problem(idName, tr("编号 %1 重复（第 %2 行已有）").arg(id).arg(seen.value(id)));
        // A new row needs its employee; a row the month has is edited whoever it is.
        else if (!employees.contains(id) && !existing.contains(id))
            problem(idName, tr("没有员工 %1：请先导入员工").arg(id));
        seen.insert(id, line);

        const auto old = existing.constFind(id);
        const bool isNew = old == existing.cend();
        Db::SchemeRow row;
        row.empId = id;
        row.shiftId = isNew ? QString() : old->shiftId;
        if (shiftColumn >= 0) {
            row.shiftId = sheet.cell(r, shiftColumn);
            if (shiftLength > 0 && row.shiftId.size() > shiftLength)
                problem(sheet.name(shiftColumn, colShift), tooLong(row.shiftId, shiftLength));
        }
        QDate start = isNew ? QDate() : Db::toDateTime(old->start).date();
        const QDate oldStart = start;
        if (startColumn >= 0) {
            const QString text = sheet.cell(r, startColumn);
            start = text.isEmpty() ? QDate() : Csv::parseDate(text);
            if (!text.isEmpty() && !start.isValid())
                problem(sheet.name(startColumn, colStart), tr("“%1”不是日期").arg(text));
        }
        // A rotation names a rule; without an anchor the shift is a fixed code.
        if (start.isValid() && !rules.find(row.shiftId))
            problem(sheet.name(shiftColumn, colShift),
                row.shiftId.isEmpty() ? tr("有起始日期的轮班须写规则编号") : tr("没有规则 %1").arg(row.shiftId));
        // A fixed shift's code fills the day columns when the month is rolled over.
        if (!start.isValid() && codeLength > 0 && row.shiftId.size() > codeLength
            && !(shiftLength > 0 && row.shiftId.size() > shiftLength))
            problem(sheet.name(shiftColumn, colShift), tooLong(row.shiftId, codeLength));
        if (start != oldStart || (isNew && start.isValid())) {
            row.writeStart = true;
            row.start = start.isValid() ? QVariant(start.startOfDay()) : QVariant();
        }
        int changedDays = 0;
        for (const auto& [day, column] : dayColumns) {
            const QString code = sheet.cell(r, column);
            if (day > ym.days()) {
                if (!code.isEmpty())
                    problem(sheet.name(column, colEmpId), tr("%1 没有第 %2 天").arg(ym.text()).arg(day));
                continue;
            }
            if (codeLength > 0 && code.size() > codeLength)
                problem(sheet.name(column, colEmpId), tooLong(code, codeLength));
            if (isNew || old->codes[static_cast<size_t>(day)] != code) {
                row.days |= quint64(1) << day;
                row.codes[static_cast<size_t>(day)] = code.isEmpty() ? QString() : code;
                ++changedDays;
            }
        }
        if (bad)
            continue;
        const auto plan = [](const QString& shift, const QDate& anchor) {
            return anchor.isValid() ? tr("轮班规则 %1，起始日期 %2").arg(shift, dateText(anchor))
                : shift.isEmpty()   ? tr("未设班次")
                                    : tr("固定班次 %1").arg(shift);
        };
        if (isNew) {
            ++added;
            lines << tr("新增 %1：%2，%3 天").arg(id, plan(row.shiftId, start)).arg(changedDays);
        } else if (changedDays > 0 || row.writeStart || row.shiftId != old->shiftId) {
            QString what = row.writeStart || row.shiftId != old->shiftId
                ? plan(old->shiftId, oldStart) + QStringLiteral(" → ") + plan(row.shiftId, start) + tr("，")
                : QString();
            lines << tr("修改 %1：%2%3 天有改动").arg(id, what).arg(changedDays);
        } else {
            ++same;
            continue;
        }
        writes << row;
    }
    if (!problems.isEmpty())
        return Tool::fail(problems.text(sheet.path), BadFile);
    if (dryRun) {
        report(lines, added, static_cast<int>(writes.size()) - added, same, true);
        return Done;
    }
    // Every row was checked: each is now stored on its own.
    QStringList refused;
    const std::unique_ptr<Db::SchemeWriter> writer
        = Db::SchemeWriter::open(db, ym.text(), [&](const QString& empId, const QString& refusal) {
              if (!refusal.isEmpty())
                  refused << tr("员工 %1：%2").arg(empId, refusal);
          });
    for (const Db::SchemeRow& row : writes)
        writer->write(row);
    writer->finish();
    report(lines, added, static_cast<int>(writes.size()) - added, same, false);
    if (!refused.isEmpty())
        return Tool::fail(tr("数据库拒绝保存 %1 行（其余各行已保存）：\n  %2")
                              .arg(refused.size())
                              .arg(refused.mid(0, maxListed).join(QStringLiteral("\n  "))),
            Refused);
    return Done;
}

// --- commands --------------------------------------------------------------

int Sheets::exportCommand(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    const QString usage = tr("用法：kolvane-db export employees|rules [输出文件 | --xlsx 工作簿]；"
                             "kolvane-db export schedule 月份 [输出文件 | --xlsx 工作簿]");
    if (args.isEmpty())
        return Tool::fail(usage, Usage);
    const QString what = args.takeFirst();
    QString workbook;
    if (const qsizetype at = args.indexOf(QStringLiteral("--xlsx")); at >= 0) {
        if (at + 1 >= args.size() || args.at(at + 1).isEmpty())
            return Tool::fail(usage, Usage);
        workbook = args.at(at + 1);
        args.remove(at, 2);
    }
    std::optional<MonthKey> ym;
    if (what == u"schedule") {
        if (args.isEmpty() || !(ym = MonthKey::parse(args.first())))
            return Tool::fail(args.isEmpty() ? usage : tr("月份不正确：%1（应为 yyyy-mm）").arg(args.first()), Usage);
        args.removeFirst();
    } else if (what != u"employees" && what != u"rules") {
        return Tool::fail(usage, Usage);
    }
    if (args.size() > 1 || (!args.isEmpty() && (args.first().startsWith(u'-') || !workbook.isEmpty())))
        return Tool::fail(usage, Usage);
    const QString out = args.value(0);
    return Tool::withDatabase(settings, [&](const QSqlDatabase& db) {
        Table table;
        QString sheet;
        if (what == u"employees") {
            table = exportEmployees(db);
            sheet = tr("员工");
        } else if (what == u"rules") {
            table = exportRules(db);
            sheet = tr("班次规则");
        } else {
            if (!Periods::exists(db, ym->text()))
                return Tool::fail(tr("没有 %1 的帐套").arg(ym->text()), Refused);
            table = exportSchedule(db, *ym);
            sheet = ym->text();
        }
        if (!workbook.isEmpty()) {
            Workbook::Writer::writeTable(workbook, sheet, table.header, table.rows);
            return int(Done);
        }
        Csv::Writer csv(out);
        csv.record(table.header);
        for (const QStringList& row : table.rows)
            csv.record(row);
        csv.finish();
        return int(Done);
    });
}

int Sheets::importCommand(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    const QString usage = tr("用法：kolvane-db import employees|rules [--dry-run] 文件；"
                             "kolvane-db import schedule 月份 [--dry-run] 文件");
    if (args.isEmpty())
        return Tool::fail(usage, Usage);
    const QString what = args.takeFirst();
    const bool dryRun = args.removeAll(QStringLiteral("--dry-run")) > 0;
    std::optional<MonthKey> ym;
    if (what == u"schedule") {
        if (args.isEmpty() || !(ym = MonthKey::parse(args.first())))
            return Tool::fail(args.isEmpty() ? usage : tr("月份不正确：%1（应为 yyyy-mm）").arg(args.first()), Usage);
        args.removeFirst();
    } else if (what != u"employees" && what != u"rules") {
        return Tool::fail(usage, Usage);
    }
    if (args.size() != 1 || (args.first().startsWith(u'-') && args.first() != u"-"))
        return Tool::fail(usage, Usage);
    Sheet sheet;
    try {
        sheet = readSheet(args.first());
    } catch (const std::exception& e) {
        return Tool::fail(Platform::messageOf(e), BadFile);
    }
    return Tool::withDatabase(settings, [&](const QSqlDatabase& db) {
        if (what == u"employees")
            return importEmployees(db, sheet, dryRun);
        if (what == u"rules")
            return importRules(db, sheet, dryRun);
        return importSchedule(db, *ym, sheet, dryRun);
    });
}

} // namespace

int exportCommand(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    return Sheets::exportCommand(settings, args);
}

int importCommand(const Mainmodule::ConnectionSettings& settings, QStringList args)
{
    return Sheets::importCommand(settings, args);
}

} // namespace Setup
