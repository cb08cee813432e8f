#pragma once
// Excel workbooks (.xlsx), written with libxlsxwriter: a plain table, and a
// month's roster with its shift colours, weekday headers, legend and coverage.
// Needs nothing of Qt beyond Core: colours come as 0xRRGGBB numbers.
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

namespace Workbook {

// One month's roster as a sheet shows it.
struct RosterSheet
{
    QString title; // the sheet's first line, e.g. "2026-03 排班表"
    QString idCaption; // headers of the two frozen columns
    QString nameCaption;
    int days = 0;
    QStringList weekdays; // one a day: 一 … 日
    QList<bool> weekend; // one a day
    quint32 weekendShade = 0xFFFFFF; // the weekend headers' background, 0xRRGGBB

    // Codes by number; codes[0] is the empty cell.
    QStringList codes;
    QList<quint32> background; // one a code, 0xRRGGBB
    QList<quint32> foreground;
    QList<int> legend; // the codes listed under the grid, in order
    QList<QList<int>> counts; // counts[code][day - 1]: cells of the code that day
    QList<int> totals; // cells of the code in the month

    struct Row
    {
        QString id;
        QString name;
        QList<int> cells; // one a day: a code's number
    };
    QList<Row> rows;

    // Captions of the block under the grid.
    QString legendCaption; // "班次"
    QString totalCaption; // "本月合计"
    QString emptyCaption; // "未排班"
};

class Writer
{
    Q_DECLARE_TR_FUNCTIONS(Workbook)
public:
    // A sheet named `sheetName` with a bold, frozen header line. Throws
    // std::runtime_error when the file cannot be written.
    static void writeTable(
        const QString& path, const QString& sheetName, const QStringList& header, const QList<QStringList>& rows);
    // The roster: the id and name columns and the two header lines frozen,
    // each cell in its code's colours, weekends shaded in the header, then
    // each code of the legend with its total and its count per day, and the
    // empty cells per day. Throws std::runtime_error as writeTable().
    static void writeRoster(const QString& path, const RosterSheet& roster);
};

} // namespace Workbook
