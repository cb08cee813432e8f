#pragma once
// Account-period dialog: lists, creates and deletes periods; the period the
// operator confirms is the account-period dataset's current row on OK.
#include <QDialog>

class TFrmAccount : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmAccount(QWidget* owner = nullptr);
    ~TFrmAccount() override;
};

namespace AAccount {
extern TFrmAccount* FrmAccount;
}
