#pragma once
// Password change dialog: replaces an operator's password, given the user name
// and the old password, and clears the operator's new-operator flag in the same
// write. The login dialog opens it for operators who must change their password.
#include <QDialog>
#include <memory>

namespace Ui {
class FrmPassword;
}

class TFrmPassword : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmPassword(QWidget* owner = nullptr);
    ~TFrmPassword() override;

    // Handlers, reachable so that tests can drive the dialog as the operator would.
    void BitokClick();
    void FormDestroy();
    void edUserNameKeyDown(int key, Qt::KeyboardModifiers shift);

    void setUserName(const QString& name);

    void reject() override;

private:
    std::unique_ptr<Ui::FrmPassword> ui;
    bool ChangeOk = false;
};

namespace Password {
extern TFrmPassword* FrmPassword;
}
