#include "host/roster/ui/RosterView.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace Roster {

namespace {

// Frames one column (today's) with a line on either side.
class MarkDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    int column = -1;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != column)
            return;
        painter->save();
        painter->setPen(QPen(QColor(30, 90, 200), 2));
        const QRect r = option.rect;
        painter->drawLine(r.topLeft() + QPoint(1, 0), r.bottomLeft() + QPoint(1, 0));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }
};

void prepare(QTableView* view)
{
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->verticalHeader()->hide();
    // Fixed sizes: nothing is measured per row, whatever the number of rows.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setHighlightSections(false);
    view->setWordWrap(false);
}

} // namespace

FrozenTableView::FrozenTableView(int frozenColumns, QWidget* parent)
    : QTableView(parent)
    , m_frozenColumns(frozenColumns)
    , m_frozen(new QTableView(this))
{
    prepare(this);
    prepare(m_frozen);
    setItemDelegate(new MarkDelegate(this));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    viewport()->stackUnder(m_frozen);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column < m_frozenColumns) {
            m_frozen->setColumnWidth(column, size);
            updateFrozenGeometry();
        }
    });
    connect(
        m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(
        verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(), &QAbstractSlider::setValue);
}

void FrozenTableView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    connect(model, &QAbstractItemModel::modelReset, this, &FrozenTableView::syncFrozenColumns);
    connect(model, &QAbstractItemModel::columnsInserted, this, &FrozenTableView::syncFrozenColumns);
    syncFrozenColumns();
}

void FrozenTableView::setMarkedColumn(int column)
{
    static_cast<MarkDelegate*>(itemDelegate())->column = column;
    viewport()->update();
}

void FrozenTableView::syncFrozenColumns()
{
    const int columns = model() ? model()->columnCount() : 0;
    for (int column = 0; column < columns; ++column) {
        m_frozen->setColumnHidden(column, column >= m_frozenColumns);
        if (column < m_frozenColumns)
            m_frozen->setColumnWidth(column, columnWidth(column));
    }
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozen->setVisible(columns > 0);
    updateFrozenGeometry();
}

void FrozenTableView::updateFrozenGeometry()
{
    int width = 0;
    for (int column = 0; column < m_frozenColumns; ++column)
        width += columnWidth(column);
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozen->setGeometry(frameWidth(), frameWidth(), width + 1, viewport()->height() + horizontalHeader()->height());
}

void FrozenTableView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

// Keyboard moves into a column hidden under the frozen ones scroll it into view.
QModelIndex FrozenTableView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    int frozenWidth = 0;
    for (int column = 0; column < m_frozenColumns; ++column)
        frozenWidth += columnWidth(column);
    if (cursorAction == MoveLeft && current.column() >= m_frozenColumns
        && visualRect(current).topLeft().x() < frozenWidth) {
        const int value = horizontalScrollBar()->value() + visualRect(current).topLeft().x() - frozenWidth;
        horizontalScrollBar()->setValue(value);
    }
    return current;
}

void FrozenTableView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (index.column() >= m_frozenColumns)
        QTableView::scrollTo(index, hint);
    else if (index.isValid())
        QTableView::scrollTo(
            model()->index(index.row(), m_frozenColumns < model()->columnCount() ? m_frozenColumns : 0), hint);
}

} // namespace Roster
