#pragma once
// Table models over one month's roster for the main window's grids. Cells are
// answered from the month's compact rows when a view asks for them; nothing is
// kept per cell. Read-only.
#include "host/roster/Roster.h"

#include <QAbstractTableModel>
#include <QColor>

#include <vector>

namespace Roster {

// The day columns follow the employee's id and name (or, in the coverage, the
// code and its count in the month).
constexpr int kFirstDayColumn = 2;

// One row per employee that the filter lets through.
class Model : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit Model(QObject* parent = nullptr);

    void setMonth(Month month);
    const Month& month() const { return m_month; }
    // Rows whose id, name, rule or a day's code contains the text.
    void setFilter(const QString& text);
    const QString& filterText() const { return m_filter; }
    // Today's column is marked when today falls in the month.
    void setToday(const QDate& today);
    int todayColumn() const;
    // The month's row behind a shown row.
    int monthRow(int row) const { return m_visible[static_cast<size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    Month m_month;
    std::vector<int> m_visible;
    QString m_filter;
    QDate m_today;
};

// Under the grid: per code of the legend, its colour, its cells in the month,
// and how many employees have it on each day; the last row counts empty cells.
class CoverageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CoverageModel(const Model* roster, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const Model* m_roster;
};

// A roster colour as the windows and the printout paint it; none is invalid.
inline QColor toColor(Rgb rgb)
{
    return rgb == 0 ? QColor() : QColor::fromRgba(rgb);
}

// The day header as both grids and the printout show it: the day and its weekday.
QString dayHeader(const Month& month, int day);

} // namespace Roster
