#pragma once
// The suite's main window. It learns who signed in, and into which period,
// only from the Varunit globals.
#include <QMainWindow>

class QLabel;
class QTableView;

namespace Main {

class TFrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);

private:
    QLabel* m_status;
    QTableView* m_schemes;
};

extern TFrmMain* FrmMain;

// The suite's event hook routine.
void ExeEventToBack(int event, QObject* sender, bool& handled);

} // namespace Main
