#include "host/roster/Roster.h"

#include "db/Query.h"
#include "db/SetupStatements.h"
#include "db/Statements.h"
#include "formats/Csv.h"
#include "host/MonthKey.h"

#include <QCoreApplication>
#include <QHash>
#include <QIODevice>
#include <QSqlRecord>
#include <QStringTokenizer>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace Roster {

QString weekdayName(const QDate& date)
{
    static const char* const names[] = { QT_TRANSLATE_NOOP("Roster", "一"), QT_TRANSLATE_NOOP("Roster", "二"),
        QT_TRANSLATE_NOOP("Roster", "三"), QT_TRANSLATE_NOOP("Roster", "四"), QT_TRANSLATE_NOOP("Roster", "五"),
        QT_TRANSLATE_NOOP("Roster", "六"), QT_TRANSLATE_NOOP("Roster", "日") };
    return QCoreApplication::translate("Roster", names[date.dayOfWeek() - 1]);
}

bool isWeekend(const QDate& date)
{
    return date.dayOfWeek() >= 6;
}

namespace {

constexpr int kPalette = 16;

// Another workstation must find the same colour: no seeded hash here.
quint32 fnv1a(const QString& text)
{
    quint32 hash = 2166136261u;
    for (const QChar c : text) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return hash;
}

std::u16string_view keyOf(QStringView text)
{
    return { text.utf16(), static_cast<size_t>(text.size()) };
}

// A code as shown: a control character (which a cell cannot show, and which
// would split the day cells read as one text) as its visible picture.
QString visible(QStringView code)
{
    QString text = code.toString();
    for (QChar& c : text)
        if (c < u' ')
            c = QChar(0x2400 + c.unicode());
    return text;
}

bool hasControl(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c < u' '; });
}

} // namespace

int paletteSize()
{
    return kPalette;
}

int homeSlot(const QString& code)
{
    return static_cast<int>(fnv1a(code) % kPalette);
}

// Light colours that carry dark text, as far apart from each other as sixteen
// can be (after ColorBrewer's qualitative sets).
Rgb paletteColour(int slot)
{
    static const Rgb colours[kPalette] = { 0x8dd3c7, 0xffffb3, 0xbebada, 0xfb8072, 0x80b1d3, 0xfdb462, 0xb3de69,
        0xfccde5, 0xbc80bd, 0xccebc5, 0xffd92f, 0xa6cee3, 0xe5c494, 0x66c2a5, 0xe78ac3, 0xd0d0a0 };
    return 0xff000000u | colours[slot % kPalette];
}

Month Month::read(const QSqlDatabase& db, const QString& ym)
{
    const std::optional<MonthKey> key = MonthKey::fromKey(ym);
    if (!key)
        throw Db::Error(tr("帐套月份“%1”不是有效的月份，无法读取排班表。").arg(ym));
    Month month;
    month.m_ym = ym;
    month.m_first = key->first();
    month.m_days = key->days();

    QStringList days;
    for (int day = 1; day <= month.m_days; ++day)
        days << Db::sqlRosterDay.arg(Db::quotedName(db, Db::dayColumn(day)));
    const QString separator = QStringLiteral(" || '") + QChar(Db::sqlRosterDaySeparator) + QStringLiteral("' || ");
    const bool named = db.record(Db::storedName(db, Db::tEmployee)).indexOf(Db::cEmpName) >= 0;
    const QString sql = Db::sqlRoster.arg(named ? Db::sqlRosterName : QStringLiteral("NULL"), days.join(separator));

    // Rows are read one at a time and kept compact: a whole result in memory
    // would cost kilobytes per employee.
    // Codes are looked up by the text they span in the row's days, without a
    // copy; the keys point into the month's own table of codes.
    std::unordered_map<std::u16string_view, Code> index { { std::u16string_view(), Code(0) } };
    const auto intern = [&](QStringView cell) -> Code {
        const QStringView trimmed = cell.trimmed();
        const QString shown = hasControl(trimmed) ? visible(trimmed) : QString();
        const QStringView text = shown.isNull() ? trimmed : QStringView(shown);
        const auto found = index.find(keyOf(text));
        if (found != index.end())
            return found->second;
        if (month.m_codes.size() > 0xFFFF)
            throw Db::Error(tr("排班表中的班次代码超过 65535 种，无法显示。"));
        const Code code = static_cast<Code>(month.m_codes.size());
        month.m_codes << text.toString();
        index.emplace(keyOf(month.m_codes.constLast()), code);
        return code;
    };
    const QStringList columns = { Db::cEmpId, Db::cShiftId, Db::cStartDate, Db::cEmpName, QStringLiteral("days") };
    QHash<QString, size_t> split; // rows whose codes hold the separator -> first cell
    const auto read = [&](const QVariant* value) {
        Row row;
        row.empId = value[0].toString();
        row.shift = intern(value[1].toString());
        row.anchor = Db::toDateTime(value[2]).date();
        row.name = value[3].toString();
        const QString cells = value[4].toString();
        const size_t first = month.m_cells.size();
        int day = 0;
        for (const QStringView code : QStringTokenizer(cells, Db::sqlRosterDaySeparator)) {
            if (++day > month.m_days)
                break;
            month.m_cells.push_back(intern(code));
        }
        if (day != month.m_days) {
            month.m_cells.resize(first + static_cast<size_t>(month.m_days), Code(0));
            split.insert(row.empId, first);
        }
        month.m_rows.push_back(std::move(row));
    };
    Db::forEachRow(db, sql, { ym }, columns, read, tr("无法读取排班表"));
    // A code holding the separator itself: those rows' days again, a column each.
    if (!split.empty()) {
        QStringList dayColumns = { Db::cEmpId };
        for (int day = 1; day <= month.m_days; ++day)
            dayColumns << Db::dayColumn(day);
        Db::forEachRow(
            db, Db::sqlSetupMonthSchemes, { ym }, dayColumns,
            [&](const QVariant* value) {
                const auto found = split.constFind(value[0].toString());
                for (int day = 1; found != split.cend() && day <= month.m_days; ++day)
                    month.m_cells[*found + static_cast<size_t>(day - 1)] = intern(value[day].toString());
            },
            tr("无法读取排班表"));
    }
    month.m_rows.shrink_to_fit();
    month.m_cells.shrink_to_fit();
    month.computeCounts();
    month.assignColours();
    return month;
}

void Month::computeCounts()
{
    const size_t days = static_cast<size_t>(m_days);
    m_counts.assign(static_cast<size_t>(m_codes.size()) * days, 0);
    m_totals.assign(static_cast<size_t>(m_codes.size()), 0);
    for (size_t i = 0; i < m_cells.size(); ++i) {
        const Code code = m_cells[i];
        ++m_counts[code * days + i % days];
        ++m_totals[code];
    }
    m_legend.clear();
    for (int code = 1; code < m_codes.size(); ++code) {
        if (m_totals[static_cast<size_t>(code)] > 0)
            m_legend.push_back(static_cast<Code>(code));
    }
    std::sort(m_legend.begin(), m_legend.end(), [this](Code a, Code b) { return m_codes[a] < m_codes[b]; });
}

// Each code takes the palette slot of its text; when two codes of the month
// want one slot, the one first in (slot, text) order keeps it and the other
// takes the next free one. The outcome depends only on the month's codes, not
// on the order of the rows.
void Month::assignColours()
{
    m_colours.assign(static_cast<size_t>(m_codes.size()), Rgb(0));
    std::vector<Code> order = m_legend;
    std::sort(order.begin(), order.end(), [this](Code a, Code b) {
        const int slotA = homeSlot(m_codes[a]);
        const int slotB = homeSlot(m_codes[b]);
        return slotA != slotB ? slotA < slotB : m_codes[a] < m_codes[b];
    });
    std::vector<bool> used(kPalette, false);
    int free = kPalette;
    for (const Code code : order) {
        int slot = homeSlot(m_codes[code]);
        if (free > 0) {
            while (used[static_cast<size_t>(slot)])
                slot = (slot + 1) % kPalette;
            used[static_cast<size_t>(slot)] = true;
            --free;
        }
        m_colours[code] = paletteColour(slot);
    }
}

Rgb Month::textColour(Code code) const
{
    constexpr Rgb black = 0xff000000u;
    constexpr Rgb white = 0xffffffffu;
    const Rgb background = m_colours[code];
    if (background == 0)
        return black;
    const int red = (background >> 16) & 0xff;
    const int green = (background >> 8) & 0xff;
    const int blue = background & 0xff;
    return (299 * red + 587 * green + 114 * blue) / 1000 >= 140 ? black : white;
}

QString Month::describe(int row) const
{
    const QString who = name(row).isEmpty() ? empId(row) : empId(row) + u' ' + name(row);
    if (anchor(row).isValid())
        return tr("%1：轮班规则 %2，起始日 %3")
            .arg(who, shiftId(row), anchor(row).toString(QStringLiteral("yyyy-MM-dd")));
    if (shiftId(row).isEmpty())
        return tr("%1：未设班次").arg(who);
    return tr("%1：固定班次 %2").arg(who, shiftId(row));
}

std::vector<int> Month::filter(const QString& text) const
{
    const QString wanted = text.trimmed();
    std::vector<int> rows;
    rows.reserve(m_rows.size());
    std::vector<bool> codeMatches(static_cast<size_t>(m_codes.size()), false);
    for (int code = 1; code < m_codes.size(); ++code)
        codeMatches[static_cast<size_t>(code)] = m_codes[code].contains(wanted, Qt::CaseInsensitive);
    const size_t days = static_cast<size_t>(m_days);
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const Row& r = m_rows[row];
        bool match = wanted.isEmpty() || codeMatches[r.shift] || r.empId.contains(wanted, Qt::CaseInsensitive)
            || r.name.contains(wanted, Qt::CaseInsensitive);
        for (size_t day = 0; !match && day < days; ++day)
            match = codeMatches[m_cells[row * days + day]];
        if (match)
            rows.push_back(static_cast<int>(row));
    }
    return rows;
}

QStringList Month::header(const QDate& first, int days)
{
    // The columns the admin tool's schedule import reads back: a planner edits
    // the month in a spreadsheet and loads it again.
    QStringList header = { tr("员工编号"), tr("姓名"), tr("班次或规则"), tr("起始日期") };
    for (int day = 0; day < days; ++day)
        header << first.addDays(day).toString(QStringLiteral("yyyy-MM-dd"));
    return header;
}

void Month::table(const std::function<void(const QStringList& fields)>& record) const
{
    record(header(m_first, m_days));
    QStringList fields;
    for (int row = 0; row < rowCount(); ++row) {
        fields = { empId(row), name(row), shiftId(row), anchor(row).toString(QStringLiteral("yyyy-MM-dd")) };
        for (int day = 1; day <= m_days; ++day)
            fields << code(row, day);
        record(fields);
    }
}

void Month::writeCsv(QIODevice& out) const
{
    QString text = QChar(0xFEFF);
    const auto flush = [&] {
        const QByteArray bytes = text.toUtf8();
        if (out.write(bytes) != bytes.size())
            throw Platform::Failure(tr("无法写出排班表：%1").arg(out.errorString()));
        text.clear();
    };
    table([&](const QStringList& fields) {
        text += Csv::Writer::line(fields);
        if (text.size() > 64 * 1024)
            flush();
    });
    flush();
}

} // namespace Roster
