#pragma once
// Splash form: a borderless picture in the middle of the screen, shown while
// the operator signs in and closed once the main window exists.
#include <QWidget>
#include <memory>

namespace Ui {
class FrmLogo;
}

class TfrmLogo : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmLogo(QWidget* owner = nullptr);
    ~TfrmLogo() override;

private:
    std::unique_ptr<Ui::FrmLogo> ui;
};

namespace Logo {
extern TfrmLogo* frmLogo;
}
