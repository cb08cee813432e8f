#include "setup/Sheets.h"

#include "db/CopyIn.h"
#include "db/Query.h"
#include "db/SchemeWriter.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "formats/Csv.h"
#include "host/Functions.h"
#include "host/MonthKey.h"
#include "host/roster/Roster.h"
#include "periods/CycleShift.h"
#include "periods/Periods.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>

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
// The highest slot number a rule's sheet has a column for: no cycle a person
// plans comes near it, and a broken rule must not make a million columns.
constexpr int maxSlot = 1000;

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

QString caption(const Column& column)
{
    return QCoreApplication::translate("Setup", column.caption);
}

// A file read: its header and rows, and the way to its cells.
struct Sheet
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    QString path;
    QStringList header;
    QList<QStringList> rows; // after the header; row i is line i + 2 of the sheet

    // Reads the file ("-": standard input). Throws Unusable.
    static Sheet read(const QString& path);
    int find(const Column& column) const;
    QString cell(const QStringList& row, int column) const
    {
        return column >= 0 && column < row.size() ? trimText(row.at(column)) : QString();
    }
    QString name(int column, const Column& fallback) const
    {
        const QString text = column >= 0 && column < header.size() ? trimText(header.at(column)) : QString();
        return text.isEmpty() ? caption(fallback) : text;
    }
    // The named columns of the header that are not among `read`.
    QStringList unread(const QList<int>& read) const
    {
        QStringList unread;
        for (qsizetype i = 0; i < header.size(); ++i)
            if (!read.contains(static_cast<int>(i)) && !trimText(header.at(i)).isEmpty())
                unread << trimText(header.at(i));
        return unread;
    }
    static bool blank(const QStringList& row)
    {
        return std::all_of(row.begin(), row.end(), [](const QString& c) { return trimText(c).isEmpty(); });
    }
};

Sheet Sheet::read(const QString& path)
{
    Csv::Table table;
    try {
        table = Csv::Reader::readFile(path);
    } catch (const std::exception& e) {
        throw Unusable(Platform::messageOf(e), true);
    }
    while (!table.records.isEmpty() && blank(table.records.first()))
        table.records.removeFirst();
    if (table.records.isEmpty())
        throw Unusable(tr("文件 %1 是空的：第一行应为列名").arg(path), true);
    Sheet sheet;
    sheet.path = path;
    sheet.header = table.records.takeFirst();
    sheet.rows = table.records;
    return sheet;
}

int Sheet::find(const Column& column) const
{
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString name = trimText(header.at(i));
        if (name.compare(column.key, Qt::CaseInsensitive) == 0
            || name.compare(QString::fromUtf8(column.caption), Qt::CaseInsensitive) == 0
            || name.compare(caption(column), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// --- exports ---------------------------------------------------------------

Table exportEmployees(const QSqlDatabase& db)
{
    Table table { { caption(colEmpId), caption(colEmpName), caption(colLeaveDate) }, {} };
    Db::Query q(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : q.open().rows())
        table.rows.append({ row.text(Db::cEmpId), row.text(Db::cEmpName),
            row.dateTime(Db::cLeaveDate).date().toString(Qt::ISODate) });
    return table;
}

Table exportRules(const QSqlDatabase& db)
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
        if (width > maxSlot)
            throw Platform::Failure(
                QCoreApplication::translate("Setup", "规则 %1 有第 %2 个位置的班次，超过 %3，无法导出")
                    .arg(row.text(Db::cShiftId))
                    .arg(width)
                    .arg(maxSlot));
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

// The columns of the roster's CSV; the rows as stored, the shift untrimmed and
// the name from the employees.
Table exportSchedule(const QSqlDatabase& db, const MonthKey& ym)
{
    QHash<QString, QString> names;
    Db::Query employees(db, Db::sqlSetupEmployees);
    for (const Db::Row& row : employees.open().rows())
        names.insert(row.text(Db::cEmpId), row.text(Db::cEmpName));

    Table table { Roster::Month::header(ym.first(), ym.days()), {} };
    QStringList columns = { Db::cEmpId, Db::cShiftId, Db::cStartDate };
    for (int day = 1; day <= ym.days(); ++day)
        columns << Db::dayColumn(day);
    Db::forEachRow(db, Db::sqlSetupMonthSchemes, { ym.text() }, columns, [&](const QVariant* v) {
        const QString empId = v[0].toString();
        QStringList fields
            = { empId, names.value(empId), v[1].toString(), Db::toDateTime(v[2]).date().toString(Qt::ISODate) };
        for (int day = 1; day <= ym.days(); ++day)
            fields << trimText(v[2 + day].toString());
        table.rows.append(fields);
    });
    return table;
}

// --- imports ---------------------------------------------------------------

// A row an employee or rule import writes: its line in the file, whether it
// is new, and its values in the order of the table's columns, the key first.
struct Write
{
    int line = 0;
    bool isNew = false;
    QVariantList values;
};

// One COPY of `rows` into `table`, in the open transaction. A refused row is
// named by its line when the server says which.
void copyInto(const QSqlDatabase& db, const QString& table, const QStringList& columns, const QList<const Write*>& rows)
{
    QSqlError error;
    const std::unique_ptr<Db::CopyIn> in = Db::CopyIn::start(db, table, columns, &error);
    bool ok = in != nullptr;
    for (qsizetype i = 0; ok && i < rows.size(); ++i) {
        QVariantList values = rows.at(i)->values;
        for (QVariant& value : values)
            value = Db::toDbValue(value);
        ok = in->add(values);
    }
    if (ok && in->finish())
        return;
    const qint64 at = in ? in->refusedRow() : 0;
    throw Db::errorFor(at > 0 && at <= rows.size()
            ? QCoreApplication::translate("Setup", "无法保存第 %1 行").arg(rows.at(at - 1)->line)
            : QCoreApplication::translate("Setup", "无法保存"),
        db, in ? in->lastError() : error);
}

// On a server the rows go by COPY, a round trip for the file instead of one
// for each row: new rows straight into the table, changed ones into a
// temporary table of the same columns that one UPDATE joins on the key.
// False on any other engine, where nothing is done.
bool copyRows(const QSqlDatabase& db, const QString& table, const QStringList& columns, const QList<Write>& rows)
{
    if (Db::engineOf(db) != Db::Engine::PostgreSQL)
        return false;
    QList<const Write*> added;
    QList<const Write*> changed;
    for (const Write& row : rows)
        (row.isNew ? added : changed) << &row;
    if (!added.isEmpty())
        copyInto(db, table, columns, added);
    if (changed.isEmpty())
        return true;
    const QString staged = QStringLiteral("kolvane_sheet_rows");
    // It takes the table's column types and none of its constraints.
    Db::Query(db,
        QStringLiteral("CREATE TEMP TABLE %1 ON COMMIT DROP AS SELECT %2 FROM %3 WITH NO DATA")
            .arg(staged, columns.join(QStringLiteral(", ")), table))
        .exec();
    copyInto(db, staged, columns, changed);
    QStringList set;
    for (qsizetype i = 1; i < columns.size(); ++i)
        set << QStringLiteral("%1 = s.%1").arg(columns.at(i));
    // The server's refusal names the row by its values.
    QSqlQuery update(db);
    if (!update.exec(QStringLiteral("UPDATE %1 SET %2 FROM %3 s WHERE %1.%4 = s.%4")
                         .arg(table, set.join(QStringLiteral(", ")), staged, columns.first())))
        throw Db::errorFor(QCoreApplication::translate("Setup", "无法保存修改的行"), db, update.lastError());
    return true;
}

// What the three imports share: every row of the file is checked before
// anything is written, and a plan with a bad row writes nothing.
class SheetImport : public SheetPlan
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    SheetImport(const QSqlDatabase& db, Sheet sheet)
        : m_db(db)
        , m_sheet(std::move(sheet))
    {
        m_path = m_sheet.path;
    }

    // Checks every row but blank ones.
    void run(const Progress& progress);

protected:
    // Finds the file's columns and reads the rows it is compared with.
    // Throws Unusable when the file or the database cannot take the import.
    virtual void prepare() = 0;
    // Checks a row of the file (not a blank one) and notes what it changes.
    virtual void check(const QStringList& row) = 0;

    // The row has as many cells as the header and no control character; else
    // it is noted as bad.
    bool fits(const QStringList& row);
    // The cells a row may end after; the header's by default.
    virtual qsizetype fewestCells() const { return m_sheet.header.size(); }
    // Notes what is wrong with `column` of line `line` (0: the row being checked).
    void problem(const QString& column, const QString& why, int line = 0)
    {
        m_problems.append({ line > 0 ? line : m_line, column, why });
        m_bad = line == 0 || m_bad;
    }
    // Checks the row's id, compared with the other rows' as `key`: not empty,
    // at most `length` characters (0: any), not in an earlier row.
    bool checkId(const QString& id, const QString& key, const QString& column, int length);
    int line() const { return m_line; }
    void added(const QString& id, const QString& text)
    {
        ++m_added;
        m_rows.append({ PlannedRow::Kind::Added, m_line, id, text });
    }
    void changed(const QString& id, const QString& text)
    {
        ++m_changed;
        m_rows.append({ PlannedRow::Kind::Changed, m_line, id, text });
    }
    void unchanged(const QString& id)
    {
        ++m_same;
        m_rows.append({ PlannedRow::Kind::Unchanged, m_line, id, {} });
    }
    // The file lacks `column`.
    [[noreturn]] void missing(const Column& column) const
    {
        throw Unusable(tr("文件 %1 的第一行没有“%2”列").arg(m_sheet.path, caption(column)), true);
    }
    static QString tooLong(const QString& text, int length) { return tr("“%1”超过 %2 个字符").arg(text).arg(length); }

    // Where such rows go: the table, its columns and, in the same order, the
    // placeholders of the statements that add and change one row.
    struct Target
    {
        const QString& table;
        QStringList columns;
        QStringList placeholders;
        const QString& insert;
        const QString& update;
    };
    // Writes m_writes in one transaction: on a server by COPY, elsewhere a
    // prepared statement for each row.
    void writeRows(const Target& target) const;

    QSqlDatabase m_db;
    const Sheet m_sheet;
    QList<Write> m_writes;
    bool m_bad = false; // the row being checked has a problem
    QList<int> m_textColumns; // columns of free text

private:
    int m_line = 0;
    QHash<QString, int> m_seen; // id key -> line
};

void SheetImport::run(const Progress& progress)
{
    prepare();
    const qsizetype total = m_sheet.rows.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (progress && i % 256 == 0)
            progress(i, total);
        if (Sheet::blank(m_sheet.rows.at(i)))
            continue;
        m_line = static_cast<int>(i) + 2;
        m_bad = false;
        if (fits(m_sheet.rows.at(i)))
            check(m_sheet.rows.at(i));
    }
    if (progress)
        progress(total, total);
}

bool SheetImport::fits(const QStringList& row)
{
    // A row cut short or run long would be read as empty cells, or lose some.
    if (row.size() > m_sheet.header.size() || row.size() < fewestCells()) {
        problem({}, tr("有 %1 格，第一行有 %2 格").arg(row.size()).arg(m_sheet.header.size()));
        return false;
    }
    for (qsizetype i = 0; i < row.size(); ++i) {
        const int column = static_cast<int>(i);
        const QString& cell = row.at(i);
        // Free text may hold tabs and line breaks (a name over two lines).
        const QStringView allowed = m_textColumns.contains(column) ? QStringView(u"\t\r\n") : QStringView();
        if (std::any_of(cell.begin(), cell.end(), [&](QChar c) { return c < u' ' && !allowed.contains(c); }))
            problem(
                trimText(m_sheet.header.at(i)).isEmpty() ? QString::number(column + 1) : trimText(m_sheet.header.at(i)),
                tr("含有控制字符"));
    }
    return !m_bad;
}

bool SheetImport::checkId(const QString& id, const QString& key, const QString& column, int length)
{
    QString why;
    if (id.isEmpty())
        why = tr("编号为空");
    else if (length > 0 && id.size() > length)
        why = tooLong(id, length);
    else if (m_seen.contains(key))
        why = tr("编号 %1 重复（第 %2 行已有）").arg(id).arg(m_seen.value(key));
    m_seen.insert(key, m_line);
    if (!why.isEmpty())
        problem(column, why);
    return why.isEmpty();
}

void SheetImport::writeRows(const Target& target) const
{
    Db::inTransaction(m_db, [&] {
        if (copyRows(m_db, target.table, target.columns, m_writes))
            return;
        // Each statement prepared once for the whole file.
        Db::Query add(m_db, target.insert);
        Db::Query update(m_db, target.update);
        for (const Write& row : m_writes) {
            Db::Query& write = row.isNew ? add : update;
            for (qsizetype i = 0; i < row.values.size(); ++i)
                write.bind(target.placeholders.at(i), row.values.at(i));
            write.exec();
        }
    });
}

class EmployeeImport : public SheetImport
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    using SheetImport::SheetImport;

private:
    struct Employee
    {
        QString name;
        QDate leave;
    };

    void prepare() override;
    void check(const QStringList& row) override;
    QString write() override;
    static QVariantList values(const QString& id, const Employee& e)
    {
        return { id, e.name, e.leave.isValid() ? QVariant(e.leave) : QVariant() };
    }

    int m_id = -1;
    int m_name = -1;
    int m_leave = -1;
    int m_idLength = 0;
    int m_nameLength = 0;
    QHash<QString, Employee> m_existing;
};

void EmployeeImport::prepare()
{
    m_id = m_sheet.find(colEmpId);
    m_name = m_sheet.find(colEmpName);
    m_leave = m_sheet.find(colLeaveDate);
    if (m_id < 0)
        missing(colEmpId);
    m_unread = m_sheet.unread({ m_id, m_name, m_leave });
    m_textColumns = { m_name };
    m_idLength = Db::columnLength(m_db, Db::tEmployee, Db::cEmpId);
    m_nameLength = Db::columnLength(m_db, Db::tEmployee, Db::cEmpName);
    Db::Query q(m_db, Db::sqlSetupEmployees);
    for (const Db::Row& row : q.open().rows())
        m_existing.insert(row.text(Db::cEmpId), { row.text(Db::cEmpName), row.dateTime(Db::cLeaveDate).date() });
}

void EmployeeImport::check(const QStringList& r)
{
    const QString id = m_sheet.cell(r, m_id);
    checkId(id, id, m_sheet.name(m_id, colEmpId), m_idLength);
    const auto old = m_existing.constFind(id);
    Employee now = old == m_existing.cend() ? Employee() : *old;
    if (m_name >= 0) {
        now.name = m_sheet.cell(r, m_name);
        if (m_nameLength > 0 && now.name.size() > m_nameLength)
            problem(m_sheet.name(m_name, colEmpName), tooLong(now.name, m_nameLength));
    }
    if (m_leave >= 0) {
        const QString text = m_sheet.cell(r, m_leave);
        now.leave = text.isEmpty() ? QDate() : Csv::parseDate(text);
        if (!text.isEmpty() && !now.leave.isValid())
            problem(m_sheet.name(m_leave, colLeaveDate), tr("“%1”不是日期").arg(text));
    }
    if (m_bad)
        return;
    if (old == m_existing.cend()) {
        m_writes.append({ line(), true, values(id, now) });
        added(id, tr("新增 %1 %2").arg(id, now.name));
    } else if (old->name != now.name || old->leave != now.leave) {
        m_writes.append({ line(), false, values(id, now) });
        changed(id,
            tr("修改 %1：姓名 %2 → %3，离职日期 %4 → %5")
                .arg(id, old->name, now.name, old->leave.toString(Qt::ISODate), now.leave.toString(Qt::ISODate)));
    } else {
        unchanged(id);
    }
}

QString EmployeeImport::write()
{
    writeRows({ Db::tEmployee, { Db::cEmpId, Db::cEmpName, Db::cLeaveDate },
        { QStringLiteral("empId"), QStringLiteral("empName"), QStringLiteral("leaveDate") }, Db::sqlSetupAddEmployee,
        Db::sqlSetupUpdateEmployee });
    return {};
}

class RuleImport : public SheetImport
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    using SheetImport::SheetImport;

private:
    struct Rule
    {
        QString id;
        QString name;
        qint64 cycle = 0;
        QString unit;
        QString shifts;
    };

    void prepare() override;
    void check(const QStringList& row) override;
    QString write() override;
    // The row's name, cycle and unit into `rule`, checked.
    void checkRule(const QStringList& row, bool isNew, Rule& rule);
    static QVariantList values(const Rule& r) { return { r.id, r.name, r.cycle, r.unit, r.shifts }; }
    // The row's slot codes, checked; the rule's own without slot columns.
    std::map<int, QString> checkSlots(const QStringList& row, const Rule& rule);
    // A rule's row may end after its last code, as a short cycle is written
    // by hand; checkSlots() refuses one that would so clear a stored code.
    qsizetype fewestCells() const override { return std::max({ m_id, m_name, m_cycle, m_unit }) + 1; }

    int m_id = -1;
    int m_name = -1;
    int m_cycle = -1;
    int m_unit = -1;
    std::map<int, int> m_slots; // slot -> column
    int m_idLength = 0;
    int m_nameLength = 0;
    int m_codeLength = 0;
    QHash<QString, Rule> m_existing; // by the id case-folded
};

void RuleImport::prepare()
{
    m_id = m_sheet.find(colRuleId);
    m_name = m_sheet.find(colRuleName);
    m_cycle = m_sheet.find(colCycle);
    m_unit = m_sheet.find(colUnit);
    if (m_id < 0)
        missing(colRuleId);
    for (qsizetype i = 0; i < m_sheet.header.size(); ++i) {
        bool ok = false;
        const int slot = trimText(m_sheet.header.at(i)).toInt(&ok);
        if (ok && slot > maxSlot)
            problem(trimText(m_sheet.header.at(i)), tr("位置超过 %1").arg(maxSlot), 1);
        else if (ok && slot > 0 && !m_slots.contains(slot))
            m_slots.emplace(slot, static_cast<int>(i));
    }
    QList<int> read = { m_id, m_name, m_cycle, m_unit };
    for (const auto& entry : m_slots)
        read << entry.second;
    m_unread = m_sheet.unread(read);
    m_textColumns = { m_name };
    // A rule's id is a schedule's shift_id; its codes fill the day columns.
    m_idLength = Db::columnLength(m_db, Db::tShiftsRule, Db::cShiftId);
    if (const int schemeLength = Db::columnLength(m_db, Db::tScheme, Db::cShiftId); schemeLength > 0)
        m_idLength = m_idLength > 0 ? qMin(m_idLength, schemeLength) : schemeLength;
    m_nameLength = Db::columnLength(m_db, Db::tShiftsRule, Db::cShiftName);
    m_codeLength = Db::columnLength(m_db, Db::tScheme, Db::dayColumn(1));
    // Rules are found without regard to case, as the roll-over finds them.
    Db::Query q(m_db, Db::sqlSetupRules);
    for (const Db::Row& row : q.open().rows()) {
        const Rule rule { row.text(Db::cShiftId), row.text(Db::cShiftName), row.value(Db::cShiftsCyc).toLongLong(),
            row.text(Db::cShiftsCycUnit), row.text(Db::cShifts) };
        m_existing.insert(rule.id.toCaseFolded(), rule);
    }
}

void RuleImport::checkRule(const QStringList& r, bool isNew, Rule& now)
{
    if (m_name >= 0) {
        now.name = m_sheet.cell(r, m_name);
        if (m_nameLength > 0 && now.name.size() > m_nameLength)
            problem(m_sheet.name(m_name, colRuleName), tooLong(now.name, m_nameLength));
    }
    if (m_cycle >= 0 || isNew) {
        const QString text = m_sheet.cell(r, m_cycle);
        bool ok = false;
        now.cycle = text.toLongLong(&ok);
        if (!ok || now.cycle <= 0 || now.cycle > 10000)
            problem(m_sheet.name(m_cycle, colCycle), tr("周期“%1”不是 1 到 10000 之间的整数").arg(text));
    }
    if (m_unit >= 0 || isNew) {
        now.unit = m_sheet.cell(r, m_unit);
        if (CycleShift::unitOf(now.unit) == CycleShift::Unit::None)
            problem(m_sheet.name(m_unit, colUnit), tr("单位“%1”不是 day、week 或 month").arg(now.unit));
    }
}

std::map<int, QString> RuleImport::checkSlots(const QStringList& r, const Rule& rule)
{
    if (m_slots.empty())
        return slotsOf(rule.shifts);
    std::map<int, QString> slots;
    const qint64 count = slotCount(CycleShift::unitOf(rule.unit), rule.cycle);
    const std::map<int, QString> stored = slotsOf(rule.shifts);
    for (const auto& [slot, column] : m_slots) {
        if (column >= r.size() && stored.contains(slot)) {
            problem({}, tr("有 %1 格，第一行有 %2 格").arg(r.size()).arg(m_sheet.header.size()));
            break;
        }
        const QString code = m_sheet.cell(r, column);
        if (code.isEmpty())
            continue;
        if (m_codeLength > 0 && code.size() > m_codeLength)
            problem(m_sheet.name(column, colRuleId), tooLong(code, m_codeLength));
        else if (count > 0 && slot > count)
            problem(m_sheet.name(column, colRuleId), tr("周期只有 %1 个位置，第 %2 个位置用不到").arg(count).arg(slot));
        slots.emplace(slot, code);
    }
    return slots;
}

void RuleImport::check(const QStringList& r)
{
    const QString id = m_sheet.cell(r, m_id);
    const QString key = id.toCaseFolded();
    checkId(id, key, m_sheet.name(m_id, colRuleId), m_idLength);
    const auto old = m_existing.constFind(key);
    const bool isNew = old == m_existing.cend();
    Rule now = isNew ? Rule { id, {}, 0, {}, {} } : *old;
    checkRule(r, isNew, now);
    const std::map<int, QString> slots = checkSlots(r, now);
    if (m_bad)
        return;
    const bool slotsChanged = slots != slotsOf(now.shifts);
    if (slotsChanged)
        now.shifts = slotText(slots);
    if (isNew) {
        m_writes.append({ line(), true, values(now) });
        added(now.id,
            tr("新增规则 %1 %2：%3 %4，%5 个班次")
                .arg(now.id, now.name)
                .arg(now.cycle)
                .arg(now.unit)
                .arg(slots.size()));
    } else if (slotsChanged || old->name != now.name || old->cycle != now.cycle || old->unit != now.unit) {
        m_writes.append({ line(), false, values(now) });
        changed(now.id,
            tr("修改规则 %1：%2 %3 → %4 %5%6")
                .arg(now.id)
                .arg(old->cycle)
                .arg(old->unit)
                .arg(now.cycle)
                .arg(now.unit, slotsChanged ? tr("，班次有改动") : QString()));
    } else {
        unchanged(id);
    }
}

QString RuleImport::write()
{
    writeRows({ Db::tShiftsRule, { Db::cShiftId, Db::cShiftName, Db::cShiftsCyc, Db::cShiftsCycUnit, Db::cShifts },
        { QStringLiteral("shiftId"), QStringLiteral("shiftName"), QStringLiteral("cycle"), QStringLiteral("unit"),
            QStringLiteral("shifts") },
        Db::sqlSetupAddRule, Db::sqlSetupUpdateRule });
    return {};
}

class ScheduleImport : public SheetImport
{
    Q_DECLARE_TR_FUNCTIONS(Setup)
public:
    ScheduleImport(const QSqlDatabase& db, const Sheet& sheet, const MonthKey& ym)
        : SheetImport(db, sheet)
        , m_ym(ym)
    {
    }

private:
    struct Existing
    {
        QString shiftId;
        QVariant start;
        std::array<QString, 32> codes;
    };

    void prepare() override;
    void check(const QStringList& row) override;
    QString write() override;
    // Day columns: headed by a date of the month or by the day's number.
    void findDays();
    void readExisting();
    // The row's shift or rule and its anchor into `row`, checked; the anchor.
    QDate checkPlan(const QStringList& r, const Existing* old, Db::SchemeRow& row);
    // The row's days into `row`, checked; how many differ from `old`.
    int checkDays(const QStringList& r, const Existing* old, Db::SchemeRow& row);
    static QString plan(const QString& shift, const QDate& anchor);

    MonthKey m_ym;
    int m_id = -1;
    int m_shift = -1;
    int m_start = -1;
    std::map<int, int> m_days; // day -> column
    int m_shiftLength = 0;
    int m_codeLength = 0;
    QSet<QString> m_employees;
    CycleShift::ShiftRules m_rules;
    QHash<QString, Existing> m_existing;
    QList<Db::SchemeRow> m_schemeRows;
};

void ScheduleImport::prepare()
{
    if (!Periods::exists(m_db, m_ym.text()))
        throw Unusable(tr("没有 %1 的帐套：请先建立帐套，再导入它的排班").arg(m_ym.text()), false);
    m_id = m_sheet.find(colEmpId);
    m_shift = m_sheet.find(colShift);
    m_start = m_sheet.find(colStart);
    if (m_id < 0)
        missing(colEmpId);
    findDays();
    Db::Query staff(m_db, Db::sqlSetupEmployees);
    for (const Db::Row& row : staff.open().rows())
        m_employees.insert(row.text(Db::cEmpId));
    m_rules.load(m_db);
    m_shiftLength = Db::columnLength(m_db, Db::tScheme, Db::cShiftId);
    m_codeLength = Db::columnLength(m_db, Db::tScheme, Db::dayColumn(1));
    readExisting();
}

void ScheduleImport::findDays()
{
    QList<int> read = { m_id, m_sheet.find(colEmpName), m_shift, m_start };
    const QList<int> known = read;
    m_textColumns = { read.at(1) };
    for (qsizetype i = 0; i < m_sheet.header.size(); ++i) {
        const int column = static_cast<int>(i);
        const QString text = trimText(m_sheet.header.at(i));
        if (known.contains(column) || text.isEmpty())
            continue;
        bool number = false;
        int day = text.toInt(&number);
        const QDate date = Csv::parseDate(text);
        if (date.isValid()) {
            if (MonthKey::of(date) != m_ym) {
                problem(text, tr("不是 %1 的日期").arg(m_ym.text()), 1);
                read << column; // reported as such, not as unread
                continue;
            }
            day = date.day();
        } else if (!number || day < 1 || day > 31) {
            continue; // a column of the planner's own
        }
        if (m_days.contains(day))
            problem(text, tr("第 %1 天已有一列").arg(day), 1);
        else
            m_days.emplace(day, column);
    }
    for (const auto& entry : m_days)
        read << entry.second;
    m_unread = m_sheet.unread(read);
}

void ScheduleImport::readExisting()
{
    QStringList columns = { Db::cEmpId, Db::cShiftId, Db::cStartDate };
    for (int day = 1; day <= m_ym.days(); ++day)
        columns << Db::dayColumn(day);
    Db::forEachRow(m_db, Db::sqlSetupMonthSchemes, { m_ym.text() }, columns, [&](const QVariant* v) {
        Existing row { v[1].toString(), v[2], {} };
        for (int day = 1; day <= m_ym.days(); ++day)
            row.codes[static_cast<size_t>(day)] = trimText(v[2 + day].toString());
        m_existing.insert(v[0].toString(), row);
    });
}

QDate ScheduleImport::checkPlan(const QStringList& r, const Existing* old, Db::SchemeRow& row)
{
    row.shiftId = old ? old->shiftId : QString();
    if (m_shift >= 0) {
        row.shiftId = m_sheet.cell(r, m_shift);
        if (m_shiftLength > 0 && row.shiftId.size() > m_shiftLength)
            problem(m_sheet.name(m_shift, colShift), tooLong(row.shiftId, m_shiftLength));
    }
    const QDate oldStart = old ? Db::toDateTime(old->start).date() : QDate();
    QDate start = oldStart;
    if (m_start >= 0) {
        const QString text = m_sheet.cell(r, m_start);
        start = text.isEmpty() ? QDate() : Csv::parseDate(text);
        if (!text.isEmpty() && !start.isValid())
            problem(m_sheet.name(m_start, colStart), tr("“%1”不是日期").arg(text));
    }
    // A rotation names a rule; without an anchor the shift is a fixed code.
    if (start.isValid() && !m_rules.find(row.shiftId))
        problem(m_sheet.name(m_shift, colShift),
            row.shiftId.isEmpty() ? tr("有起始日期的轮班须写规则编号") : tr("没有规则 %1").arg(row.shiftId));
    // A fixed shift's code fills the day columns when the month is rolled over.
    if (!start.isValid() && m_codeLength > 0 && row.shiftId.size() > m_codeLength
        && !(m_shiftLength > 0 && row.shiftId.size() > m_shiftLength))
        problem(m_sheet.name(m_shift, colShift), tooLong(row.shiftId, m_codeLength));
    if (start != oldStart || (!old && start.isValid())) {
        row.writeStart = true;
        row.start = start.isValid() ? QVariant(start.startOfDay()) : QVariant();
    }
    return start;
}

int ScheduleImport::checkDays(const QStringList& r, const Existing* old, Db::SchemeRow& row)
{
    int changedDays = 0;
    for (const auto& [day, column] : m_days) {
        const QString code = m_sheet.cell(r, column);
        if (day > m_ym.days()) {
            if (!code.isEmpty())
                problem(m_sheet.name(column, colEmpId), tr("%1 没有第 %2 天").arg(m_ym.text()).arg(day));
            continue;
        }
        if (m_codeLength > 0 && code.size() > m_codeLength)
            problem(m_sheet.name(column, colEmpId), tooLong(code, m_codeLength));
        if (!old || old->codes[static_cast<size_t>(day)] != code) {
            row.days |= quint64(1) << day;
            row.codes[static_cast<size_t>(day)] = code.isEmpty() ? QString() : code;
            ++changedDays;
        }
    }
    return changedDays;
}

QString ScheduleImport::plan(const QString& shift, const QDate& anchor)
{
    return anchor.isValid() ? tr("轮班规则 %1，起始日期 %2").arg(shift, anchor.toString(Qt::ISODate))
        : shift.isEmpty()   ? tr("未设班次")
                            : tr("固定班次 %1").arg(shift);
}

void ScheduleImport::check(const QStringList& r)
{
    const QString id = m_sheet.cell(r, m_id);
    const QString idName = m_sheet.name(m_id, colEmpId);
    // A new row needs its employee; a row the month has is edited whoever it is.
    if (checkId(id, id, idName, 0) && !m_employees.contains(id) && !m_existing.contains(id))
        problem(idName, tr("没有员工 %1：请先导入员工").arg(id));
    const auto found = m_existing.constFind(id);
    const Existing* old = found == m_existing.cend() ? nullptr : &*found;
    Db::SchemeRow row;
    row.empId = id;
    const QDate start = checkPlan(r, old, row);
    const int changedDays = checkDays(r, old, row);
    if (m_bad)
        return;
    if (!old) {
        added(id, tr("新增 %1：%2，%3 天").arg(id, plan(row.shiftId, start)).arg(changedDays));
    } else if (changedDays > 0 || row.writeStart || row.shiftId != old->shiftId) {
        const QDate oldStart = Db::toDateTime(old->start).date();
        const QString what = row.writeStart || row.shiftId != old->shiftId
            ? plan(old->shiftId, oldStart) + QStringLiteral(" → ") + plan(row.shiftId, start) + tr("，")
            : QString();
        changed(id, tr("修改 %1：%2%3 天有改动").arg(id, what).arg(changedDays));
    } else {
        unchanged(id);
        return;
    }
    m_schemeRows << row;
}

QString ScheduleImport::write()
{
    // Every row was checked: each is now stored on its own.
    QStringList refused;
    const std::unique_ptr<Db::SchemeWriter> writer
        = Db::SchemeWriter::open(m_db, m_ym.text(), [&](const QString& empId, const QString& refusal) {
              if (!refusal.isEmpty())
                  refused << tr("员工 %1：%2").arg(empId, refusal);
          });
    for (const Db::SchemeRow& row : m_schemeRows)
        writer->write(row);
    writer->finish();
    if (refused.isEmpty())
        return {};
    return tr("数据库拒绝保存 %1 行（其余各行已保存）：\n  %2")
        .arg(refused.size())
        .arg(refused.mid(0, maxListed).join(QStringLiteral("\n  ")));
}

} // namespace

Table exportSheet(const QSqlDatabase& db, SheetKind kind, const MonthKey& ym)
{
    switch (kind) {
    case SheetKind::Employees:
        return exportEmployees(db);
    case SheetKind::Rules:
        return exportRules(db);
    case SheetKind::Schedule:
        break;
    }
    if (!Periods::exists(db, ym.text()))
        throw Platform::Failure(QCoreApplication::translate("Setup", "没有 %1 的帐套").arg(ym.text()));
    return exportSchedule(db, ym);
}

QString sheetName(SheetKind kind, const MonthKey& ym)
{
    switch (kind) {
    case SheetKind::Employees:
        return QCoreApplication::translate("Setup", "员工");
    case SheetKind::Rules:
        return QCoreApplication::translate("Setup", "班次规则");
    case SheetKind::Schedule:
        break;
    }
    return ym.text();
}

void writeCsv(const Table& table, const QString& path)
{
    Csv::Writer csv(path);
    csv.record(table.header);
    for (const QStringList& row : table.rows)
        csv.record(row);
    csv.finish();
}

std::unique_ptr<SheetPlan> SheetPlan::check(
    const QSqlDatabase& db, SheetKind kind, const QString& path, const MonthKey& ym, const Progress& progress)
{
    Sheet sheet = Sheet::read(path);
    std::unique_ptr<SheetImport> import;
    if (kind == SheetKind::Employees)
        import = std::make_unique<EmployeeImport>(db, std::move(sheet));
    else if (kind == SheetKind::Rules)
        import = std::make_unique<RuleImport>(db, std::move(sheet));
    else
        import = std::make_unique<ScheduleImport>(db, std::move(sheet), ym);
    import->run(progress);
    return import;
}

SheetPlan::~SheetPlan() = default;

QString SheetPlan::problemText() const
{
    QString text = tr("文件 %1 有错误，数据库没有改动：").arg(m_path);
    for (qsizetype i = 0; i < m_problems.size() && i < maxListed; ++i) {
        const Problem& p = m_problems.at(i);
        text += QStringLiteral("\n  ")
            + (p.column.isEmpty() ? tr("第 %1 行：%2").arg(p.line).arg(p.reason)
                                  : tr("第 %1 行“%2”列：%3").arg(p.line).arg(p.column, p.reason));
    }
    if (m_problems.size() > maxListed)
        text += QStringLiteral("\n  ") + tr("……另有 %1 处错误没有列出").arg(m_problems.size() - maxListed);
    return text;
}

QString SheetPlan::summary(bool dryRun) const
{
    return (dryRun ? tr("试运行：将新增 %1 行，修改 %2 行，%3 行不变；数据库没有改动。")
                   : tr("已新增 %1 行，修改 %2 行，%3 行不变。"))
        .arg(m_added)
        .arg(m_changed)
        .arg(m_same);
}

QString SheetPlan::apply()
{
    if (!m_problems.isEmpty())
        throw Platform::Failure(problemText());
    return write();
}

} // namespace Setup
