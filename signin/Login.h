#pragma once
// Login dialog (contract used by the account-period dialog).
#include <QDialog>

class TFrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmLogin(QWidget* owner = nullptr);
    // True only while the account-period dialog runs because the current month has no period.
    bool NeedCreateAccount = false;
};

namespace Login {
extern TFrmLogin* FrmLogin;
}
