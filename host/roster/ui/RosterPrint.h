#pragma once
// The roster on paper: A4 landscape, the month's width on the page's width,
// the period and the print date at the top of every page with the legend,
// then the employees, then the coverage; page numbers at the foot.
#include "host/roster/Roster.h"

#include <QCoreApplication>
#include <QDate>
#include <QString>

class QPagedPaintDevice;
class QPainter;

namespace Roster {

class Printout
{
    Q_DECLARE_TR_FUNCTIONS(Printout)
public:
    // Sets A4 landscape with 10 mm margins; call before a print dialog so that
    // the operator may still change them.
    static void preparePage(QPagedPaintDevice& device);
    // Prints every row on a printer or a PDF writer; returns the number of
    // pages. Throws std::runtime_error when the device cannot be started.
    static int print(const Month& month, QPagedPaintDevice& device, const QString& title, const QDate& printed);

private:
    struct Page;
    static void drawHeading(
        QPainter& painter, const Page& l, const Month& month, const QString& title, const QDate& printed);
    static void drawColumnHeads(QPainter& painter, const Page& l, const Month& month);
    static void drawLine(QPainter& painter, const Page& l, const Month& month, int line, double y);
    static void drawEmployee(QPainter& painter, const Page& l, const Month& month, int row, double y);
    static void drawCoverage(QPainter& painter, const Page& l, const Month& month, Month::Code code, double y);
};

} // namespace Roster
