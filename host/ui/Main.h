#pragma once
// The suite's main window: the signed-in period's roster, read-only. It learns
// who signed in, and into which period, only from the Varunit globals.
#include <QMainWindow>

class QAction;
class QLabel;
class QLayout;
class QLineEdit;
class QStackedWidget;

namespace Roster {
class CoverageModel;
class FrozenTableView;
class Model;
} // namespace Roster

namespace Main {

class TFrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);

    // Reads the period's roster again (F5). A failed read is reported to the
    // operator and leaves a notice in place of the grid.
    void reload();
    void printRoster();
    void printToPdf();
    void exportCsv();
    void exportWorkbook();

    Roster::Model* rosterModel() const { return m_model; }
    Roster::FrozenTableView* rosterView() const { return m_grid; }
    Roster::FrozenTableView* coverageView() const { return m_coverage; }
    QLineEdit* filterEdit() const { return m_filter; }
    // The notice shown instead of the grid (an empty period, a failed read);
    // empty while the grid shows.
    QString notice() const;

private:
    void createMenus();
    QLayout* createTopLine(QWidget* central);
    QWidget* createGrids();
    void read();
    void showNotice(const QString& text);
    void applyColumnWidths();
    void updateStatus();
    QString askSaveFile(const QString& caption, const QString& fileName, const QString& filter);
    QString printTitle() const;

    QLabel* m_info;
    QLineEdit* m_filter;
    QStackedWidget* m_stack;
    QLabel* m_notice;
    Roster::Model* m_model;
    Roster::CoverageModel* m_coverageModel;
    Roster::FrozenTableView* m_grid;
    Roster::FrozenTableView* m_coverage;
    QLabel* m_count;
    QList<QAction*> m_needRows; // printing and export: only with a roster
};

extern TFrmMain* FrmMain;

// The suite's event hook routine.
void ExeEventToBack(int event, QObject* sender, bool& handled);

} // namespace Main
