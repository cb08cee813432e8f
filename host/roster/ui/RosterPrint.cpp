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

// Geometry of one page, in device pixels.
struct Layout
{
    double mm = 0;
    QRectF page;
    double rowHeight = 0;
    double top = 0; // where the table header starts
    double idWidth = 0;
    double nameWidth = 0;
    double dayWidth = 0;
    int rowsPerPage = 0;

    double dayLeft(int day) const { return idWidth + nameWidth + (day - 1) * dayWidth; }
};

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

int Printout::print(const Month& month, QPagedPaintDevice& printer, const QString& title, const QDate& printed)
{
    QPainter painter;
    if (!painter.begin(&printer))
        throw Platform::Failure(tr("无法开始打印。"));

    Layout l;
    const int resolution = printer.logicalDpiX();
    l.mm = resolution / 25.4;
    const QRectF paint = printer.pageLayout().paintRectPixels(resolution);
    l.page = QRectF(0, 0, paint.width(), paint.height());
    l.rowHeight = 5 * l.mm;
    const double titleHeight = 9 * l.mm;
    const double legendHeight = 7 * l.mm;
    const double headerHeight = 9 * l.mm;
    const double footHeight = 7 * l.mm;
    l.top = titleHeight + legendHeight;
    l.idWidth = l.page.width() * 0.08;
    l.nameWidth = l.page.width() * 0.08;
    const int days = std::max(1, month.days());
    l.dayWidth = (l.page.width() - l.idWidth - l.nameWidth) / days;
    l.rowsPerPage = std::max(1, int((l.page.height() - l.top - headerHeight - footHeight) / l.rowHeight));

    // Each code's font: as large as the row allows, smaller for a code that
    // would not fit its day, down to a size still readable (then elided).
    const double largest = l.rowHeight * 0.6;
    const double smallest = 1.8 * l.mm;
    std::vector<QFont> codeFonts(static_cast<size_t>(month.codes().size()), pixelFont(largest));
    for (const Month::Code code : month.legend()) {
        const double width = QFontMetricsF(pixelFont(largest), &printer).horizontalAdvance(month.codes()[code]);
        if (width > l.dayWidth * 0.85)
            codeFonts[code] = pixelFont(std::max(smallest, largest * l.dayWidth * 0.85 / width));
    }
    const QFont textFont = pixelFont(l.rowHeight * 0.6);

    // Lines: the employees, a title line, then one coverage line per code and
    // one for empty cells.
    const int employees = month.rowCount();
    const int coverage = month.isEmpty() ? 0 : static_cast<int>(month.legend().size()) + 2;
    const int lines = std::max(1, employees + coverage);
    const int pages = (lines + l.rowsPerPage - 1) / l.rowsPerPage;

    for (int pageNo = 1; pageNo <= pages; ++pageNo) {
        if (pageNo > 1 && !printer.newPage())
            throw Platform::Failure(tr("无法打印下一页。"));
        // Title and print date.
        painter.setPen(Qt::black);
        painter.setFont(pixelFont(5 * l.mm, true));
        painter.drawText(QRectF(0, 0, l.page.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
        painter.setFont(pixelFont(3.2 * l.mm));
        painter.drawText(QRectF(0, 0, l.page.width(), titleHeight), Qt::AlignRight | Qt::AlignVCenter,
            tr("打印日期：%1").arg(printed.toString(QStringLiteral("yyyy-MM-dd"))));
        // Legend: each code's colour and its cells in the month.
        double x = 0;
        const double chip = 3.5 * l.mm;
        for (const Month::Code code : month.legend()) {
            const QString label = tr("%1 %2 格").arg(month.codes()[code]).arg(month.total(code));
            const double width = chip + 1.5 * l.mm + painter.fontMetrics().horizontalAdvance(label) + 5 * l.mm;
            if (x + width > l.page.width())
                break;
            const QRectF box(x, titleHeight + (legendHeight - chip) / 2, chip, chip);
            painter.fillRect(box, toColor(month.colour(code)));
            painter.setPen(QPen(kGrid, 0));
            painter.drawRect(box);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(x + chip + 1.5 * l.mm, titleHeight, width, legendHeight),
                Qt::AlignLeft | Qt::AlignVCenter, label);
            x += width;
        }
        // Table header.
        painter.setFont(pixelFont(3 * l.mm, true));
        cell(painter, QRectF(0, l.top, l.idWidth, headerHeight), tr("员工编号"), QColor(), Qt::black);
        cell(painter, QRectF(l.idWidth, l.top, l.nameWidth, headerHeight), tr("姓名"), QColor(), Qt::black);
        for (int day = 1; day <= month.days(); ++day)
            cell(painter, QRectF(l.dayLeft(day), l.top, l.dayWidth, headerHeight),
                QString::number(day) + u'\n' + weekdayName(month.date(day)),
                isWeekend(month.date(day)) ? kWeekend : QColor(), Qt::black);

        const int firstLine = (pageNo - 1) * l.rowsPerPage;
        const int lastLine = std::min(lines, firstLine + l.rowsPerPage);
        for (int line = firstLine; line < lastLine; ++line) {
            const double y = l.top + headerHeight + (line - firstLine) * l.rowHeight;
            const auto dayRect = [&](int day) { return QRectF(l.dayLeft(day), y, l.dayWidth, l.rowHeight); };
            if (month.isEmpty()) {
                painter.setFont(textFont);
                painter.drawText(
                    QRectF(0, y, l.page.width(), l.rowHeight), Qt::AlignCenter, tr("本帐套没有排班记录。"));
            } else if (line < employees) {
                painter.setFont(textFont);
                cell(painter, QRectF(0, y, l.idWidth, l.rowHeight), month.empId(line), QColor(), Qt::black,
                    Qt::AlignLeft | Qt::AlignVCenter);
                cell(painter, QRectF(l.idWidth, y, l.nameWidth, l.rowHeight), month.name(line), QColor(), Qt::black,
                    Qt::AlignLeft | Qt::AlignVCenter);
                for (int day = 1; day <= month.days(); ++day) {
                    const Month::Code code = month.cell(line, day);
                    painter.setFont(codeFonts[code]);
                    const QColor fill = code != 0    ? toColor(month.colour(code))
                        : isWeekend(month.date(day)) ? kWeekend
                                                     : QColor();
                    cell(painter, dayRect(day), month.codes()[code], fill, toColor(month.textColour(code)));
                }
            } else if (line == employees) {
                painter.setFont(pixelFont(3.2 * l.mm, true));
                painter.setPen(Qt::black);
                painter.drawText(
                    QRectF(0, y, l.page.width(), l.rowHeight), Qt::AlignLeft | Qt::AlignBottom, tr("每日人数"));
            } else {
                const size_t index = static_cast<size_t>(line - employees - 1);
                const Month::Code code = index < month.legend().size() ? month.legend()[index] : 0;
                painter.setFont(textFont);
                cell(painter, QRectF(0, y, l.idWidth, l.rowHeight), code == 0 ? tr("（空）") : month.codes()[code],
                    toColor(month.colour(code)), toColor(month.textColour(code)), Qt::AlignLeft | Qt::AlignVCenter);
                cell(painter, QRectF(l.idWidth, y, l.nameWidth, l.rowHeight), tr("共 %1 格").arg(month.total(code)),
                    QColor(), Qt::black);
                for (int day = 1; day <= month.days(); ++day) {
                    const int count = month.count(code, day);
                    cell(painter, dayRect(day), count == 0 ? QString() : QString::number(count),
                        isWeekend(month.date(day)) ? kWeekend : QColor(), Qt::black);
                }
            }
        }
        painter.setFont(pixelFont(3 * l.mm));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, l.page.height() - footHeight, l.page.width(), footHeight), Qt::AlignCenter,
            tr("第 %1 页，共 %2 页").arg(pageNo).arg(pages));
    }
    painter.end();
    return pages;
}

} // namespace Roster
