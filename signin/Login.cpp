#include "signin/Login.h"

namespace Login {
TFrmLogin* FrmLogin = nullptr;
}

TFrmLogin::TFrmLogin(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("FrmLogin"));
}
