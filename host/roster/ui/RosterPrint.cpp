#include "host/roster/ui/RosterPrint.h"

#include "platform/Failure.h"

#include "host/roster/Roster.h"
#include "host/roster/ui/RosterModel.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace Roster {

namespace {

const QColor kWeekend = toColor(kWeekendColour);
const QColor kGrid(150, 150, 150);

QFont pixelFont(double pixels, bool bold = false)
{
    QFont font;
    font.setPixelSize(std::max(1, static_cast<int>(pixels)));
    font.setBold(bold);
    return font;
}

void cell(QPainter& painter, const QRectF& rect, const QString& text, const QColor& fill, const QColor& ink,
    Qt::Alignment alignment = Qt::AlignCenter)
{
    if (fill.isValid())
        painter.fillRect(rect, fill);
    painter.setPen(QPen(kGrid, 0));
    painter.drawRect(rect);
    if (text.isEmpty())
        return;
    painter.setPen(ink);
    const QRectF inner = rect.adjusted(rect.height() * 0.15, 0, -rect.height() * 0.15, 0);
    // Header lines are drawn whole; a code too long for its day is elided.
    painter.drawText(inner, alignment,
        text.contains(u'\n') ? text : painter.fontMetrics().elidedText(text, Qt::ElideRight, int(inner.width())));
}

} // namespace

void Printout::preparePage(QPagedPaintDevice& device)
{
    device.setPageLayout(QPageLayout(
        QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

// Geometry of every page, in device pixels, and the fonts of the table.
struct Printout::Page
{
    Page(const Month& month, QPagedPaintDevice& printer);

    double dayLeft(int day) const { return idWidth + nameWidth + (day - 1) * dayWidth; }

    double mm = 0;
    QRectF area;
    double rowHeight = 0;
    double titleHeight = 0;
    double legendHeight = 0;
    double headerHeight = 0;
    double footHeight = 0;
    double top = 0; // where the table header starts
    double idWidth = 0;
    double nameWidth = 0;
    double dayWidth = 0;
    int rowsPerPage = 0;
    std::vector<QFont> codeFonts; // by code
    QFont textFont;
};

Printout::Page::Page(const Month& month, QPagedPaintDevice& printer)
{
    const int resolution = printer.logicalDpiX();
    mm = resolution / 25.4;
    const QRectF paint = printer.pageLayout().paintRectPixels(resolution);
    area = QRectF(0, 0, paint.width(), paint.height());
    rowHeight = 5 * mm;
    titleHeight = 9 * mm;
    legendHeight = 7 * mm;
    headerHeight = 9 * mm;
    footHeight = 7 * mm;
    top = titleHeight + legendHeight;
    idWidth = area.width() * 0.08;
    nameWidth = area.width() * 0.08;
    const int days = std::max(1, month.days());
    dayWidth = (area.width() - idWidth - nameWidth) / days;
    rowsPerPage = std::max(1, int((area.height() - top - headerHeight - footHeight) / rowHeight));

    // Each code's font: as large as the row allows, smaller for a code that
    // would not fit its day, down to a size still readable (then elided).
    const double largest = rowHeight * 0.6;
    const double smallest = 1.8 * mm;
    codeFonts.assign(static_cast<size_t>(month.codes().size()), pixelFont(largest));
    for (const Month::Code code : month.legend()) {
        const double width = QFontMetricsF(pixelFont(largest), &printer).horizontalAdvance(month.codes()[code]);
        if (width > dayWidth * 0.85)
            codeFonts[code] = pixelFont(std::max(smallest, largest * dayWidth * 0.85 / width));
    }
    textFont = pixelFont(rowHeight * 0.6);
}

int Printout::print(const Month& month, QPagedPaintDevice& printer, const QString& title, const QDate& printed)
{
    QPainter painter;
    if (!painter.begin(&printer))
        throw Platform::Failure(tr("无法开始打印。"));
    const Page l(month, printer);

    // Lines: the employees, a title line, then one coverage line per code and
    // one for empty cells.
    const int coverage = month.isEmpty() ? 0 : static_cast<int>(month.legend().size()) + 2;
    const int lines = std::max(1, month.rowCount() + coverage);
    const int pages = (lines + l.rowsPerPage - 1) / l.rowsPerPage;

    for (int pageNo = 1; pageNo <= pages; ++pageNo) {
        if (pageNo > 1 && !printer.newPage())
            throw Platform::Failure(tr("无法打印下一页。"));
        drawHeading(painter, l, month, title, printed);
        drawColumnHeads(painter, l, month);
        const int firstLine = (pageNo - 1) * l.rowsPerPage;
        const int lastLine = std::min(lines, firstLine + l.rowsPerPage);
        for (int line = firstLine; line < lastLine; ++line)
            drawLine(painter, l, month, line, l.top + l.headerHeight + (line - firstLine) * l.rowHeight);
        painter.setFont(pixelFont(3 * l.mm));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, l.area.height() - l.footHeight, l.area.width(), l.footHeight), Qt::AlignCenter,
            tr("第 %1 页，共 %2 页").arg(pageNo).arg(pages));
    }
    painter.end();
    return pages;
}

// Title and print date; then the legend: each code's colour and its cells in the month.
void Printout::drawHeading(
    QPainter& painter, const Page& l, const Month& month, const QString& title, const QDate& printed)
{
    painter.setPen(Qt::black);
    painter.setFont(pixelFont(5 * l.mm, true));
    painter.drawText(QRectF(0, 0, l.area.width(), l.titleHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.setFont(pixelFont(3.2 * l.mm));
    painter.drawText(QRectF(0, 0, l.area.width(), l.titleHeight), Qt::AlignRight | Qt::AlignVCenter,
        tr("打印日期：%1").arg(printed.toString(QStringLiteral("yyyy-MM-dd"))));
    double x = 0;
    const double chip = 3.5 * l.mm;
    for (const Month::Code code : month.legend()) {
        const QString label = tr("%1 %2 格").arg(month.codes()[code]).arg(month.total(code));
        const double width = chip + 1.5 * l.mm + painter.fontMetrics().horizontalAdvance(label) + 5 * l.mm;
        if (x + width > l.area.width())
            break;
        const QRectF box(x, l.titleHeight + (l.legendHeight - chip) / 2, chip, chip);
        painter.fillRect(box, toColor(month.colour(code)));
        painter.setPen(QPen(kGrid, 0));
        painter.drawRect(box);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x + chip + 1.5 * l.mm, l.titleHeight, width, l.legendHeight),
            Qt::AlignLeft | Qt::AlignVCenter, label);
        x += width;
    }
}

void Printout::drawColumnHeads(QPainter& painter, const Page& l, const Month& month)
{
    painter.setFont(pixelFont(3 * l.mm, true));
    cell(painter, QRectF(0, l.top, l.idWidth, l.headerHeight), tr("员工编号"), QColor(), Qt::black);
    cell(painter, QRectF(l.idWidth, l.top, l.nameWidth, l.headerHeight), tr("姓名"), QColor(), Qt::black);
    for (int day = 1; day <= month.days(); ++day)
        cell(painter, QRectF(l.dayLeft(day), l.top, l.dayWidth, l.headerHeight),
            QString::number(day) + u'\n' + weekdayName(month.date(day)),
            isWeekend(month.date(day)) ? kWeekend : QColor(), Qt::black);
}

// Line `line` of the table at height `y`: an employee, the coverage's title
// line, or one code's coverage.
void Printout::drawLine(QPainter& painter, const Page& l, const Month& month, int line, double y)
{
    const int employees = month.rowCount();
    if (month.isEmpty()) {
        painter.setFont(l.textFont);
        painter.drawText(QRectF(0, y, l.area.width(), l.rowHeight), Qt::AlignCenter, tr("本帐套没有排班记录。"));
    } else if (line < employees) {
        drawEmployee(painter, l, month, line, y);
    } else if (line == employees) {
        painter.setFont(pixelFont(3.2 * l.mm, true));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, y, l.area.width(), l.rowHeight), Qt::AlignLeft | Qt::AlignBottom, tr("每日人数"));
    } else {
        const size_t index = static_cast<size_t>(line - employees - 1);
        drawCoverage(painter, l, month, index < month.legend().size() ? month.legend()[index] : 0, y);
    }
}

void Printout::drawEmployee(QPainter& painter, const Page& l, const Month& month, int row, double y)
{
    painter.setFont(l.textFont);
    cell(painter, QRectF(0, y, l.idWidth, l.rowHeight), month.empId(row), QColor(), Qt::black,
        Qt::AlignLeft | Qt::AlignVCenter);
    cell(painter, QRectF(l.idWidth, y, l.nameWidth, l.rowHeight), month.name(row), QColor(), Qt::black,
        Qt::AlignLeft | Qt::AlignVCenter);
    for (int day = 1; day <= month.days(); ++day) {
        const Month::Code code = month.cell(row, day);
        painter.setFont(l.codeFonts[code]);
        const QColor fill = code != 0 ? toColor(month.colour(code)) : isWeekend(month.date(day)) ? kWeekend : QColor();
        cell(painter, QRectF(l.dayLeft(day), y, l.dayWidth, l.rowHeight), month.codes()[code], fill,
            toColor(month.textColour(code)));
    }
}

// How many cells hold `code` on each day (code 0: empty cells).
void Printout::drawCoverage(QPainter& painter, const Page& l, const Month& month, Month::Code code, double y)
{
    painter.setFont(l.textFont);
    cell(painter, QRectF(0, y, l.idWidth, l.rowHeight), code == 0 ? tr("（空）") : month.codes()[code],
        toColor(month.colour(code)), toColor(month.textColour(code)), Qt::AlignLeft | Qt::AlignVCenter);
    cell(painter, QRectF(l.idWidth, y, l.nameWidth, l.rowHeight), tr("共 %1 格").arg(month.total(code)), QColor(),
        Qt::black);
    for (int day = 1; day <= month.days(); ++day) {
        const int count = month.count(code, day);
        cell(painter, QRectF(l.dayLeft(day), y, l.dayWidth, l.rowHeight),
            count == 0 ? QString() : QString::number(count), isWeekend(month.date(day)) ? kWeekend : QColor(),
            Qt::black);
    }
}

} // namespace Roster
