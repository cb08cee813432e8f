#pragma once
// One month's roster as read from the schedule rows: who works which shift on
// which day, the colour of every shift code, and how many employees have each
// code on each day. No widget: the main window, the printout, the admin tool's
// CSV export and the tests all use it.
//
// Memory: the day cells are indexes into the month's table of distinct codes
// (two bytes a cell), so 50,000 employees cost a few megabytes.
#include <QCoreApplication>
#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QIODevice;
class QSqlDatabase;

namespace Roster {

// The weekday as a planner reads it: 一 二 三 四 五 六 日.
QString weekdayName(const QDate& date);
bool isWeekend(const QDate& date);

// A colour as 0xAARRGGBB (alpha ff); 0 for none. The windows and the printout
// turn it into their own colour type.
using Rgb = std::uint32_t;
// Weekend days' background, wherever the roster is shown.
inline constexpr Rgb kWeekendColour = 0xffe8e8e8u;

class Month
{
    Q_DECLARE_TR_FUNCTIONS(Month)
public:
    using Code = std::uint16_t; // index into codes(); 0 is the empty cell

    Month() = default;

    // Reads the schedule rows of month `ym`, ordered by employee id, with each
    // employee's name. Throws Db::Error when the month key names no month or
    // the database refuses the read.
    static Month read(const QSqlDatabase& db, const QString& ym);

    const QString& ym() const { return m_ym; }
    QDate first() const { return m_first; }
    int days() const { return m_days; }
    QDate date(int day) const { return m_first.addDays(day - 1); }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    const QString& empId(int row) const { return m_rows[static_cast<size_t>(row)].empId; }
    const QString& name(int row) const { return m_rows[static_cast<size_t>(row)].name; }
    // The fixed shift's code, or the rotation's rule.
    const QString& shiftId(int row) const { return m_codes[m_rows[static_cast<size_t>(row)].shift]; }
    // The rotation's anchor; invalid for a fixed shift.
    QDate anchor(int row) const { return m_rows[static_cast<size_t>(row)].anchor; }
    // Day 1 to days().
    Code cell(int row, int day) const
    {
        return m_cells[static_cast<size_t>(row) * static_cast<size_t>(m_days) + static_cast<size_t>(day - 1)];
    }
    const QString& code(int row, int day) const { return m_codes[cell(row, day)]; }
    // What the row's tooltip says: the fixed shift, or the rule and its anchor.
    QString describe(int row) const;

    const QStringList& codes() const { return m_codes; }
    // The codes found in the day cells, in text order (the legend); the empty
    // cell is not among them.
    const std::vector<Code>& legend() const { return m_legend; }
    // Cells holding `code` on `day` (the coverage), and in the whole month.
    int count(Code code, int day) const
    {
        return m_counts[static_cast<size_t>(code) * static_cast<size_t>(m_days) + static_cast<size_t>(day - 1)];
    }
    int total(Code code) const { return m_totals[code]; }
    // The code's background (0 for the empty cell), and the ink that reads on it.
    Rgb colour(Code code) const { return m_colours[code]; }
    Rgb textColour(Code code) const;

    // Rows whose id or name contains `text`, or that have a day, a shift or a
    // rule containing it, ignoring case; every row for an empty text.
    std::vector<int> filter(const QString& text) const;

    // The month as a table of text, as its CSV and the admin tool write it:
    // `record` is called with the header (id, name, shift or rule, anchor
    // date, one column per day as "yyyy-MM-dd"), then with each row's fields.
    void table(const std::function<void(const QStringList& fields)>& record) const;
    // That header, for a month of `days` days from `first`.
    static QStringList header(const QDate& first, int days);
    // The table as CSV: UTF-8 with a byte-order mark, CRLF line ends.
    // Throws std::runtime_error when the device refuses the text.
    void writeCsv(QIODevice& out) const;

private:
    struct Row
    {
        QString empId;
        QString name;
        QDate anchor;
        Code shift = 0;
    };

    QString m_ym;
    QDate m_first;
    int m_days = 0;
    std::vector<Row> m_rows;
    std::vector<Code> m_cells; // rows × days
    QStringList m_codes { QString() };
    std::vector<Code> m_legend;
    std::vector<int> m_counts; // codes × days
    std::vector<int> m_totals;
    std::vector<Rgb> m_colours;

    void computeCounts();
    void assignColours();
};

// The colour that a code takes when no other code of the month claims it
// first: the same on every workstation and every start.
int homeSlot(const QString& code);
int paletteSize();
Rgb paletteColour(int slot);

} // namespace Roster
