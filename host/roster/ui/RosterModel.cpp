#include "host/roster/ui/RosterModel.h"

#include <QBrush>
#include <QFont>

namespace Roster {

namespace {

const QColor kWeekend = toColor(kWeekendColour);
const QColor kToday(200, 222, 255);

// A coded cell on a weekend: the code's colour, a shade darker.
QColor cellColour(const Month& month, Month::Code code, int day)
{
    const bool weekend = isWeekend(month.date(day));
    if (code == 0)
        return weekend ? kWeekend : QColor();
    return weekend ? toColor(month.colour(code)).darker(112) : toColor(month.colour(code));
}

QVariant dayHeaderData(const Month& month, int day, bool today, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        return dayHeader(month, day);
    case Qt::BackgroundRole:
        if (today)
            return QBrush(kToday);
        return isWeekend(month.date(day)) ? QVariant(QBrush(kWeekend)) : QVariant();
    case Qt::FontRole:
        if (today) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole:
        return month.date(day).toString(QStringLiteral("yyyy-MM-dd")) + (today ? Model::tr("（今天）") : QString());
    default:
        return {};
    }
}

} // namespace

QString dayHeader(const Month& month, int day)
{
    return QString::number(day) + u'\n' + weekdayName(month.date(day));
}

Model::Model(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void Model::setMonth(Month month)
{
    beginResetModel();
    m_month = std::move(month);
    m_visible = m_month.filter(m_filter);
    endResetModel();
}

void Model::setFilter(const QString& text)
{
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    m_visible = m_month.filter(m_filter);
    endResetModel();
}

void Model::setToday(const QDate& today)
{
    m_today = today;
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int Model::todayColumn() const
{
    if (m_month.days() == 0 || !m_today.isValid())
        return -1;
    const qint64 offset = m_month.first().daysTo(m_today);
    return offset >= 0 && offset < m_month.days() ? kFirstDayColumn + static_cast<int>(offset) : -1;
}

int Model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size());
}

int Model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || m_month.days() == 0 ? 0 : kFirstDayColumn + m_month.days();
}

QVariant Model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = monthRow(index.row());
    const int day = index.column() - kFirstDayColumn + 1;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return m_month.empId(row);
        if (index.column() == 1)
            return m_month.name(row);
        return m_month.code(row, day);
    case Qt::BackgroundRole:
        if (day >= 1) {
            const QColor colour = cellColour(m_month, m_month.cell(row, day), day);
            return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
        }
        return {};
    case Qt::ForegroundRole:
        return day >= 1 ? QVariant(QBrush(toColor(m_month.textColour(m_month.cell(row, day))))) : QVariant();
    case Qt::TextAlignmentRole:
        return day >= 1 ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return m_month.describe(row);
    default:
        return {};
    }
}

QVariant Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section >= kFirstDayColumn)
        return dayHeaderData(m_month, section - kFirstDayColumn + 1, section == todayColumn(), role);
    if (role != Qt::DisplayRole)
        return {};
    return section == 0 ? tr("员工编号") : tr("姓名");
}

Qt::ItemFlags Model::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

CoverageModel::CoverageModel(const Model* roster, QObject* parent)
    : QAbstractTableModel(parent)
    , m_roster(roster)
{
    connect(roster, &QAbstractItemModel::modelAboutToBeReset, this, &CoverageModel::beginResetModel);
    connect(roster, &QAbstractItemModel::modelReset, this, &CoverageModel::endResetModel);
    connect(roster, &QAbstractItemModel::headerDataChanged, this, &CoverageModel::headerDataChanged);
}

int CoverageModel::rowCount(const QModelIndex& parent) const
{
    const Month& month = m_roster->month();
    return parent.isValid() || month.isEmpty() ? 0 : static_cast<int>(month.legend().size()) + 1;
}

int CoverageModel::columnCount(const QModelIndex& parent) const
{
    return m_roster->columnCount(parent);
}

QVariant CoverageModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Month& month = m_roster->month();
    const auto& legend = month.legend();
    const Month::Code code
        = index.row() < static_cast<int>(legend.size()) ? legend[static_cast<size_t>(index.row())] : 0;
    const int day = index.column() - kFirstDayColumn + 1;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return code == 0 ? tr("（空）") : month.codes()[code];
        if (index.column() == 1)
            return tr("共 %1 格").arg(month.total(code));
        return month.count(code, day) == 0 ? QVariant() : QVariant(month.count(code, day));
    case Qt::BackgroundRole:
        if (index.column() == 0 && code != 0)
            return QBrush(toColor(month.colour(code)));
        return day >= 1 && isWeekend(month.date(day)) ? QVariant(QBrush(kWeekend)) : QVariant();
    case Qt::ForegroundRole:
        return index.column() == 0 ? QVariant(QBrush(toColor(month.textColour(code)))) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
    case Qt::ToolTipRole:
        if (day >= 1)
            return tr("%1 %2：%3 人")
                .arg(month.date(day).toString(QStringLiteral("MM-dd")), code == 0 ? tr("无班次") : month.codes()[code])
                .arg(month.count(code, day));
        return {};
    default:
        return {};
    }
}

QVariant CoverageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical || section >= kFirstDayColumn)
        return m_roster->headerData(section, orientation, role);
    if (role != Qt::DisplayRole)
        return {};
    return section == 0 ? tr("班次") : tr("本月合计");
}

Qt::ItemFlags CoverageModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace Roster
