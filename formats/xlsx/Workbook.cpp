#include "formats/xlsx/Workbook.h"

#include "platform/Failure.h"

#include <QFile>
#include <QHash>

#include <stdexcept>
#include <xlsxwriter.h>

namespace Workbook {

namespace {

// A workbook being written; closed (and with that written) once.
class Book
{
public:
    explicit Book(const QString& path)
        : m_path(path)
        , m_book(workbook_new(QFile::encodeName(path).constData()))
    {
        if (!m_book)
            throw Platform::Failure(QCoreApplication::translate("Workbook", "无法建立文件 %1").arg(path));
    }
    // A workbook abandoned half-way leaves no file.
    ~Book()
    {
        if (m_book) {
            workbook_close(m_book);
            QFile::remove(m_path);
        }
    }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    lxw_worksheet* sheet(const QString& name)
    {
        // A sheet name holds at most 31 characters and none of []:*?/\ .
        QString safe = name.left(31);
        for (const QChar c : QStringLiteral("[]:*?/\\"))
            safe.replace(c, u'_');
        lxw_worksheet* sheet = workbook_add_worksheet(m_book, safe.toUtf8().constData());
        if (!sheet)
            throw Platform::Failure(QCoreApplication::translate("Workbook", "无法建立工作表 %1").arg(name));
        return sheet;
    }
    lxw_format* format() { return workbook_add_format(m_book); }

    void close()
    {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        if (error != LXW_NO_ERROR)
            throw Platform::Failure(QCoreApplication::translate("Workbook", "无法写文件 %1：%2")
                                        .arg(m_path, QString::fromUtf8(lxw_strerror(error))));
    }

private:
    QString m_path;
    lxw_workbook* m_book;
};

void text(lxw_worksheet* sheet, int row, int column, const QString& value, lxw_format* format = nullptr)
{
    if (value.isEmpty()) {
        if (format)
            worksheet_write_blank(sheet, lxw_row_t(row), lxw_col_t(column), format);
        return;
    }
    worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), value.toUtf8().constData(), format);
}

void number(lxw_worksheet* sheet, int row, int column, int value, lxw_format* format = nullptr)
{
    worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column), value, format);
}

} // namespace

void Writer::writeTable(
    const QString& path, const QString& sheetName, const QStringList& header, const QList<QStringList>& rows)
{
    Book book(path);
    lxw_worksheet* sheet = book.sheet(sheetName);
    lxw_format* bold = book.format();
    format_set_bold(bold);
    for (qsizetype c = 0; c < header.size(); ++c)
        text(sheet, 0, static_cast<int>(c), header.at(c), bold);
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < rows.at(r).size(); ++c)
            text(sheet, static_cast<int>(r) + 1, static_cast<int>(c), rows.at(r).at(c));
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_set_column(sheet, 0, lxw_col_t(qMax<qsizetype>(header.size(), 1) - 1), 12, nullptr);
    book.close();
}

namespace {

constexpr int firstDay = 2; // column of day 1
constexpr int headerRows = 3; // title, day numbers, weekdays

// The formats of a roster sheet, each made once.
class RosterFormats
{
public:
    RosterFormats(Book& book, const RosterSheet& roster)
        : title(book.format())
        , plainHeader(header(book, roster, false))
        , weekendHeader(header(book, roster, true))
        , bordered(book.format())
        , centred(book.format())
        , m_book(book)
        , m_roster(roster)
    {
        format_set_bold(title);
        format_set_font_size(title, 14);
        format_set_border(bordered, LXW_BORDER_THIN);
        format_set_border(centred, LXW_BORDER_THIN);
        format_set_align(centred, LXW_ALIGN_CENTER);
    }

    lxw_format* dayHeader(int day) const { return m_roster.weekend.value(day - 1) ? weekendHeader : plainHeader; }
    // A code's own: its colours, centred, framed.
    lxw_format* code(int code)
    {
        if (code <= 0 || code >= m_roster.codes.size())
            return centred;
        lxw_format*& f = m_codes[code];
        if (!f) {
            f = m_book.format();
            format_set_border(f, LXW_BORDER_THIN);
            format_set_align(f, LXW_ALIGN_CENTER);
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_bg_color(f, m_roster.background.value(code, 0xFFFFFF));
            format_set_font_color(f, m_roster.foreground.value(code, 0x000000));
        }
        return f;
    }

    lxw_format* const title;
    lxw_format* const plainHeader;
    lxw_format* const weekendHeader;
    lxw_format* const bordered;
    lxw_format* const centred;

private:
    static lxw_format* header(Book& book, const RosterSheet& roster, bool weekend)
    {
        lxw_format* f = book.format();
        format_set_bold(f);
        format_set_align(f, LXW_ALIGN_CENTER);
        format_set_border(f, LXW_BORDER_THIN);
        if (weekend) {
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_bg_color(f, roster.weekendShade);
        }
        return f;
    }

    Book& m_book;
    const RosterSheet& m_roster;
    QHash<int, lxw_format*> m_codes;
};

// The title, the two header lines and a line per row; the line after them.
int writeGrid(lxw_worksheet* sheet, const RosterSheet& roster, RosterFormats& formats)
{
    text(sheet, 0, 0, roster.title, formats.title);
    text(sheet, 1, 0, roster.idCaption, formats.plainHeader);
    text(sheet, 1, 1, roster.nameCaption, formats.plainHeader);
    text(sheet, 2, 0, QString(), formats.plainHeader);
    text(sheet, 2, 1, QString(), formats.plainHeader);
    for (int day = 1; day <= roster.days; ++day) {
        number(sheet, 1, firstDay + day - 1, day, formats.dayHeader(day));
        text(sheet, 2, firstDay + day - 1, roster.weekdays.value(day - 1), formats.dayHeader(day));
    }
    int row = headerRows;
    for (const RosterSheet::Row& r : roster.rows) {
        text(sheet, row, 0, r.id, formats.bordered);
        text(sheet, row, 1, r.name, formats.bordered);
        for (int day = 1; day <= roster.days; ++day) {
            const int code = r.cells.value(day - 1);
            text(sheet, row, firstDay + day - 1, roster.codes.value(code), formats.code(code));
        }
        ++row;
    }
    return row;
}

// The legend with the coverage from line `row`: each code's cells in the
// month and per day, then the empty cells.
void writeLegend(lxw_worksheet* sheet, int row, const RosterSheet& roster, RosterFormats& formats)
{
    text(sheet, row, 0, roster.legendCaption, formats.plainHeader);
    text(sheet, row, 1, roster.totalCaption, formats.plainHeader);
    for (int day = 1; day <= roster.days; ++day)
        number(sheet, row, firstDay + day - 1, day, formats.dayHeader(day));
    ++row;
    for (const int code : roster.legend) {
        text(sheet, row, 0, roster.codes.value(code), formats.code(code));
        number(sheet, row, 1, roster.totals.value(code), formats.centred);
        for (int day = 1; day <= roster.days; ++day)
            number(sheet, row, firstDay + day - 1, roster.counts.value(code).value(day - 1), formats.centred);
        ++row;
    }
    text(sheet, row, 0, roster.emptyCaption, formats.bordered);
    number(sheet, row, 1, roster.totals.value(0), formats.centred);
    for (int day = 1; day <= roster.days; ++day)
        number(sheet, row, firstDay + day - 1, roster.counts.value(0).value(day - 1), formats.centred);
}

} // namespace

void Writer::writeRoster(const QString& path, const RosterSheet& roster)
{
    Book book(path);
    lxw_worksheet* sheet = book.sheet(roster.title);
    RosterFormats formats(book, roster);
    const int row = writeGrid(sheet, roster, formats);
    writeLegend(sheet, row + 1, roster, formats);

    worksheet_set_column(sheet, 0, 1, 12, nullptr);
    if (roster.days > 0)
        worksheet_set_column(sheet, lxw_col_t(firstDay), lxw_col_t(firstDay + roster.days - 1), 7, nullptr);
    worksheet_freeze_panes(sheet, lxw_row_t(headerRows), lxw_col_t(firstDay));
    worksheet_set_landscape(sheet);
    worksheet_set_paper(sheet, 9); // A4
    worksheet_fit_to_pages(sheet, 1, 0);
    worksheet_repeat_rows(sheet, 1, 2);
    book.close();
}

} // namespace Workbook
