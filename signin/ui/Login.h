#pragma once
// Login dialog: identifies the operator against Users, makes them choose an
// account period, publishes both into Varunit, remembers them for the next
// start, stamps Tavrel.ini, logs the sign-in in OpLog and closes with OK (1).
// Cancel (2) from "取消", Escape or the close box.
#include "signin/Operators.h"

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

class AccountDataset;
namespace Ui {
class FrmLogin;
}

class TFrmLogin : public QDialog
{
    Q_OBJECT
public:
    // Runs FormCreate: needs the data module (Mainmodule::MainDM) and its connection.
    explicit TFrmLogin(QWidget* owner = nullptr);
    ~TFrmLogin() override;

    // True only while the account-period dialog runs because the current month has no period.
    bool NeedCreateAccount = false;

    // Handlers, reachable so that tests can drive the dialog as the operator would.
    void FormCreate();
    void FormShow();
    void edUserNameKeyDown(int key, Qt::KeyboardModifiers shift);
    void btnOkClick();
    void btnSelClick();
    bool VerifyOperator();
    // One OpLog row with this text, written once. False, after telling the
    // operator, when it cannot be stored: the server takes no writes or the
    // connection stays lost. A log table that is not there is no failure.
    bool WriteOpLog(const QString& text);

    // The key (ym) of the period chosen in the selector; empty while none is chosen.
    QString chosenYm() const { return m_chosenYm; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_verifiedMustChange = false; // the operator VerifyOperator() accepted must change the password
    AccountDataset* accounts() const;
    void accountChosen(int row);
    void setChosenYm(const QString& ym);
    void showChosenAccount();
    void showPasswordChange();

    // The steps of a sign-in, in their order. checkOperator() ends the attempt
    // (nothing returned) for a stopped, new, unknown or wrongly typed operator.
    std::optional<Operators::Operator> checkOperator();
    bool confirmPeriod(); // asks about a month other than this one; false ends the attempt
    void publishPeriod();
    void rememberChoice();
    void stampConfiguration();
    // Why the log entry cannot be stored, when the connection is on a server
    // that takes no writes (closed then) or is lost; empty for anything else.
    QString readOnlyServer();

    std::unique_ptr<Ui::FrmLogin> ui;
    QString SelectedYm;
    bool LoginOk = false;
    QString m_chosenYm;
};

namespace Login {
extern TFrmLogin* FrmLogin;
}
