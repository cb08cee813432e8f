#include "signin/ui/Password.h"

#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "host/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "signin/Operators.h"
#include "signin/Throttle.h"
#include "signin/ui/SigninCommon.h"
#include "ui_Password.h"

namespace Password {
TFrmPassword* FrmPassword = nullptr;
}

using Functions::trimText;

namespace {
// The change of `before` was sent and its answer lost. The row is read again
// on a fresh connection: holding the new password, the change was stored;
// holding what it held before, it was not, and is sent once more. Anything
// else (the row changed by someone else meanwhile): no outcome.
std::optional<bool> afterLostAnswer(const Operators::Operator& before, const QString& newPassword)
{
    const QSqlDatabase db = Mainmodule::db();
    const std::optional<Operators::Operator> now = Operators::find(db, before.name);
    if (!now || now->storedId != before.storedId)
        return std::nullopt;
    if (now->storedPassword == before.storedPassword)
        return Operators::changePassword(db, *now, newPassword);
    if (!now->isNew && Operators::passwordMatches(now->password, newPassword))
        return true;
    return std::nullopt;
}
} // namespace

TFrmPassword::TFrmPassword(QWidget* owner)
    : QDialog(owner)
    , ui(new Ui::FrmPassword)
{
    ui->setupUi(this);
    setFont(Signin::formFont(12));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const QList<QWidget*> edits = { ui->edUserName, ui->edOldPassword, ui->edNewPassword, ui->edConfigPassword };
    for (QWidget* edit : edits)
        edit->setFont(Signin::formFont(13));
    for (QPushButton* button : { ui->bitok, ui->btnClose })
        button->setAutoDefault(true);

    connect(ui->bitok, &QPushButton::clicked, this, ErrorReport::guarded([this] { BitokClick(); }));
    connect(ui->btnClose, &QPushButton::clicked, this, [this] { done(Platform::mrCancel); });
    new Signin::EditKeyDown(
        this, edits, [this](int key, Qt::KeyboardModifiers shift) { edUserNameKeyDown(key, shift); });
}

TFrmPassword::~TFrmPassword()
{
    FormDestroy();
}

void TFrmPassword::FormDestroy()
{
    if (Password::FrmPassword == this)
        Password::FrmPassword = nullptr;
}

void TFrmPassword::setUserName(const QString& name)
{
    ui->edUserName->setText(name);
}

void TFrmPassword::reject()
{
    done(Platform::mrCancel);
}

void TFrmPassword::edUserNameKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        focusNextChild();
}

void TFrmPassword::BitokClick()
{
    ChangeOk = true;
    const QSqlDatabase db = Mainmodule::db();
    const QString name = trimText(ui->edUserName->text());

    const std::optional<Operators::Operator> user = Operators::find(db, name);
    if (!user) {
        Platform::MessageBox(Prjconst::_UserNameNotExists, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        ui->edUserName->clear();
        ChangeOk = false;
        return;
    }
    if (const int wait = Throttle::secondsLocked(db, name); wait > 0) {
        // Locked after repeated wrong passwords: the old password is not compared.
        Platform::MessageBox(Throttle::lockedMessage(wait), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        ui->edOldPassword->clear();
        ChangeOk = false;
        return;
    }
    if (!Operators::passwordMatches(user->password, ui->edOldPassword->text())) {
        Throttle::countFailure(db, name);
        Platform::MessageBox(Prjconst::_OldPassWordErr, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        ui->edOldPassword->clear();
        ChangeOk = false;
        return;
    }
    Throttle::clear(db, name);
    const QString newPassword = trimText(ui->edNewPassword->text());
    if (newPassword != trimText(ui->edConfigPassword->text())) {
        Platform::MessageBox(Prjconst::_SPassWordDif, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        ui->edNewPassword->clear();
        ui->edConfigPassword->clear();
        ChangeOk = false;
        return;
    }
    if (newPassword.isEmpty()) {
        Platform::MessageBox(Prjconst::_NewPassWordEmpty, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        ui->edNewPassword->setFocus();
        ChangeOk = false;
        return;
    }

    // One write stores the new password and clears the new-operator flag of the
    // row just read. A write that reached no row or that the database refused is
    // the refusal the operator is told of. A connection lost on the way is
    // settled by reading the row again; one that stays lost goes to the
    // caller's error report as what it is, once the boxes are emptied.
    const auto emptyBoxes = [this] {
        for (QLineEdit* edit : { ui->edUserName, ui->edOldPassword, ui->edNewPassword, ui->edConfigPassword })
            edit->clear();
    };
    try {
        ChangeOk = Operators::changePassword(db, *user, newPassword);
    } catch (const Db::Error& error) {
        ChangeOk = false;
        if (error.connectionLost()) {
            emptyBoxes();
            const std::optional<bool> stored = afterLostAnswer(*user, newPassword);
            if (!stored)
                throw;
            ChangeOk = *stored;
        }
    }
    if (!ChangeOk)
        Platform::MessageBox(Prjconst::_SPassWordLenISZero, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
    emptyBoxes();

    if (ChangeOk) {
        Platform::MessageBox(Prjconst::_SPassWordChangeOk, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
        done(Platform::mrOk);
    }
}
