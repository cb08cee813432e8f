#include "periods/AAccount.h"

namespace AAccount {
TFrmAccount* FrmAccount = nullptr;
}

// Placeholder until the dialog is built: it ends with Cancel.
TFrmAccount::TFrmAccount(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("FrmAccount"));
    setWindowTitle(QStringLiteral("帐套管理"));
}

TFrmAccount::~TFrmAccount()
{
    if (AAccount::FrmAccount == this)
        AAccount::FrmAccount = nullptr;
}
