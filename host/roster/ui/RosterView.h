#pragma once
// The roster's grids: a table whose first columns stay in place while the
// others scroll (an overlaid table on the same model shows them), with today's
// column framed.
#include <QTableView>

namespace Roster {

class FrozenTableView : public QTableView
{
    Q_OBJECT
public:
    explicit FrozenTableView(int frozenColumns, QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // The column framed as today's; -1 for none.
    void setMarkedColumn(int column);
    QTableView* frozenView() const { return m_frozen; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    void updateFrozenGeometry();
    void syncFrozenColumns();

    int m_frozenColumns;
    QTableView* m_frozen;
};

} // namespace Roster
