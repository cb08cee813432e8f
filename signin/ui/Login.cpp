#include "signin/ui/Login.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/AccountDataset.h"
#include "host/Functions.h"
#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/OpLog.h"
#include "host/Prjconst.h"
#include "host/Varunit.h"
#include "host/ui/Artwork.h"
#include "host/ui/ErrorReport.h"
#include "periods/Periods.h"
#include "periods/ui/AAccount.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "signin/Operators.h"
#include "signin/Throttle.h"
#include "signin/ui/Password.h"
#include "signin/ui/SigninCommon.h"
#include "ui_Login.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QPointer>
#include <QScopeGuard>
#include <QShowEvent>

namespace Login {
TFrmLogin* FrmLogin = nullptr;
}

using Functions::trimText;

namespace {
// The first read of an operation. A connection found gone (the server
// restarted, or its standby took over) is opened anew and the read made once
// more before the operator hears of it: a read changed nothing.
template <class Read> auto firstRead(Read read)
{
    try {
        return read(Mainmodule::db());
    } catch (const Db::Error& e) {
        if (!e.connectionLost())
            throw;
    }
    return read(Mainmodule::db());
}

// A name locked after repeated wrong passwords is refused before its password is compared.
bool refusedAsLocked(const QString& name)
{
    const int wait = firstRead([&name](const QSqlDatabase& db) { return Throttle::secondsLocked(db, name); });
    if (wait > 0)
        Platform::MessageBox(Throttle::lockedMessage(wait), Prjconst::_msg_Information, Platform::MB_ICONSTOP);
    return wait > 0;
}
} // namespace

TFrmLogin::TFrmLogin(QWidget* owner)
    : QDialog(owner)
    , ui(new Ui::FrmLogin)
{
    Artwork::load();
    ui->setupUi(this);
    setFont(Signin::formFont(12));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->cbAccount->view()->setMinimumWidth(159);
    // Typed names are compared exactly: completion must not change their case.
    if (ui->edUserName->completer())
        ui->edUserName->completer()->setCaseSensitivity(Qt::CaseSensitive);
    for (QPushButton* button : { ui->btnOk, ui->btnClose })
        button->setAutoDefault(true);

    connect(ui->btnOk, &QPushButton::clicked, this, ErrorReport::guarded([this] { btnOkClick(); }));
    connect(ui->btnSel, &QToolButton::clicked, this, ErrorReport::guarded([this] { btnSelClick(); }));
    connect(ui->btnClose, &QPushButton::clicked, this, [this] { done(Platform::mrCancel); });
    connect(ui->cbAccount, &QComboBox::activated, this,
        [this](int row) { ErrorReport::guarded([this, row] { accountChosen(row); })(); });
    new Signin::EditKeyDown(this, { ui->edUserName, ui->edPassword },
        [this](int key, Qt::KeyboardModifiers shift) { edUserNameKeyDown(key, shift); });

    FormCreate();
}

TFrmLogin::~TFrmLogin()
{
    if (Login::FrmLogin == this)
        Login::FrmLogin = nullptr;
}

AccountDataset* TFrmLogin::accounts() const
{
    if (!Mainmodule::MainDM || !Mainmodule::MainDM->accountData())
        throw Db::Error(tr("没有数据库连接"));
    return Mainmodule::MainDM->accountData();
}

void TFrmLogin::FormCreate()
{
    AccountDataset* periods = accounts();
    if (!periods->isOpen())
        periods->open();

    // The selector lists the shared dataset itself; it keeps its own choice and
    // finds it again by key whenever the rows change underneath.
    QSqlTableModel* model = periods->model();
    ui->cbAccount->setModel(model);
    ui->cbAccount->setModelColumn(periods->column(Db::cAccountName));
    connect(model, &QAbstractItemModel::modelReset, this, &TFrmLogin::showChosenAccount);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TFrmLogin::showChosenAccount);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TFrmLogin::showChosenAccount);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TFrmLogin::showChosenAccount);

    QString rememberedYm;
    {
        const Platform::RegistryKey key(Prjconst::UserKey, false);
        rememberedYm = key.readString(QStringLiteral("Ym"));
        Varunit::User_name = key.readString(QStringLiteral("user_name"));
    }

    if (!rememberedYm.isEmpty())
        periods->locate(rememberedYm, Qt::CaseInsensitive);
    setChosenYm(periods->currentRow() >= 0 ? periods->fieldText(Db::cYm) : QString());

    // Filling the list replaces the edit text: put the remembered name back after it.
    ui->edUserName->clear();
    ui->edUserName->addItems(Operators::names(Mainmodule::db()));
    ui->edUserName->setEditText(Varunit::User_name);

    NeedCreateAccount = false;
}

void TFrmLogin::FormShow()
{
    ui->edUserName->setFocus();
}

void TFrmLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFrmLogin::edUserNameKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        focusNextChild();
}

void TFrmLogin::reject()
{
    done(Platform::mrCancel);
}

void TFrmLogin::accountChosen(int row)
{
    AccountDataset* periods = accounts();
    periods->setCurrentRow(row);
    setChosenYm(periods->currentRow() == row ? periods->fieldText(Db::cYm) : QString());
}

void TFrmLogin::setChosenYm(const QString& ym)
{
    m_chosenYm = ym;
    showChosenAccount();
}

void TFrmLogin::showChosenAccount()
{
    if (!Mainmodule::MainDM || !Mainmodule::MainDM->accountData())
        return;
    AccountDataset* periods = Mainmodule::MainDM->accountData();
    int found = -1;
    const int col = periods->column(Db::cYm);
    if (!m_chosenYm.isEmpty() && col >= 0) {
        const QAbstractItemModel* model = periods->model();
        for (int row = 0; row < model->rowCount() && found < 0; ++row) {
            if (model->data(model->index(row, col), Qt::EditRole).toString() == m_chosenYm)
                found = row;
        }
    }
    // A chosen period that has been deleted is no choice at all. While the
    // model is still reading its rows in batches, a period not met yet may
    // come with the next one.
    if (found < 0 && !periods->model()->canFetchMore())
        m_chosenYm.clear();
    ui->cbAccount->setCurrentIndex(found);
}

void TFrmLogin::showPasswordChange()
{
    Varunit::User_name = ui->edUserName->currentText();
    const std::unique_ptr<TFrmPassword> dialog(new TFrmPassword(nullptr));
    Password::FrmPassword = dialog.get();
    dialog->setUserName(Varunit::User_name);
    Platform::ShowModal(dialog.get());
}

void TFrmLogin::btnOkClick()
{
    const std::optional<Operators::Operator> op = checkOperator();
    if (!op)
        return;
    if (m_chosenYm.isEmpty()) {
        Platform::MessageBox(Prjconst::_AccountIsEmpty, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
        return;
    }
    Varunit::User_id = op->id;
    Varunit::User_name = op->name;
    Varunit::pwd = op->password;
    if (!confirmPeriod())
        return;
    publishPeriod();
    rememberChoice();
    stampConfiguration();
    // The entry is data that other modules read: it names the dialog by its
    // Chinese caption, whatever language the dialog is shown in.
    if (!WriteOpLog(Prjconst::_IntoModule.arg(QStringLiteral("登录身份验证"))))
        return;
    done(Platform::mrOk);
}

std::optional<Operators::Operator> TFrmLogin::checkOperator()
{
    LoginOk = true;
    // With no operator defined at all, anyone may sign in; the operator's
    // columns then read as empty text.
    if (firstRead([](const QSqlDatabase& db) { return Operators::names(db); }).isEmpty())
        return Operators::Operator();

    const QSqlDatabase db = Mainmodule::db();
    const QString name = trimText(ui->edUserName->currentText());
    if (refusedAsLocked(name)) {
        LoginOk = false;
        return std::nullopt;
    }
    const std::optional<Operators::Operator> user = Operators::find(db, name);
    if (user && user->stopped) {
        Platform::MessageBox(Prjconst::_msgOpUserStop, Prjconst::_msg_Information, Platform::MB_ICONSTOP);
        return std::nullopt;
    }
    if (user && user->isNew) {
        // A new operator changes the password first and then signs in again.
        showPasswordChange();
        LoginOk = false;
        return std::nullopt;
    }
    if (!user) {
        Platform::MessageBox(Prjconst::_UserNotExists, Prjconst::_msg_Information, Platform::MB_ICONSTOP);
        ui->edUserName->setEditText(QString());
        ui->edPassword->clear();
        ui->edUserName->setFocus();
        LoginOk = false;
        return std::nullopt;
    }
    if (!Operators::passwordMatches(user->password, ui->edPassword->text())) {
        Throttle::countFailure(db, name);
        Platform::MessageBox(Prjconst::_PassWordError, Prjconst::_msg_Information, Platform::MB_ICONSTOP);
        LoginOk = false;
        ui->edPassword->clear();
        ui->edPassword->setFocus();
        return std::nullopt;
    }
    Throttle::clear(db, name);
    Operators::Operator signedIn = *user;
    signedIn.password = Operators::hashStoredText(db, *user, ui->edPassword->text());
    return signedIn;
}

bool TFrmLogin::confirmPeriod()
{
    AccountDataset* periods = accounts();
    const QString thisMonth = MonthKey::of(Platform::today()).text();
    if (m_chosenYm != thisMonth) {
        if (Platform::MessageBox(
                Prjconst::_msgAccountSelect, Prjconst::_msg_Question, Platform::MB_YESNO | Platform::MB_ICONQUESTION)
            == Platform::IDNO)
            return false;
        if (!periods->locate(thisMonth, Qt::CaseSensitive)) {
            NeedCreateAccount = true;
            const auto reset = qScopeGuard([this] { NeedCreateAccount = false; });
            btnSelClick();
        }
    }
    // The account-period dialog may have deleted the chosen period, or every
    // one; another workstation may have deleted it since the list was read (the
    // list is then read again).
    bool stored = !m_chosenYm.isEmpty() && periods->locate(m_chosenYm, Qt::CaseSensitive);
    if (stored) {
        // The first read since the operator answered, maybe minutes later.
        stored = firstRead([this](const QSqlDatabase& db) { return Periods::exists(db, m_chosenYm); });
        if (!stored)
            periods->open();
    }
    if (!stored) {
        Platform::MessageBox(Prjconst::_AccountIsEmpty, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
        return false;
    }
    periods->locate(m_chosenYm, Qt::CaseSensitive);
    SelectedYm = m_chosenYm;
    return true;
}

void TFrmLogin::publishPeriod()
{
    const AccountDataset* periods = accounts();
    Varunit::Account.Ym = periods->fieldText(Db::cYm);
    Varunit::Account.Name = periods->fieldText(Db::cAccountName);
    Varunit::Account.BegDate = periods->fieldDateTime(Db::cBeginDate);
    Varunit::Account.EndDate = periods->fieldDateTime(Db::cEndDate);
}

void TFrmLogin::rememberChoice()
{
    Platform::RegistryKey key(Prjconst::UserKey, true);
    key.writeString(QStringLiteral("Ym"), Varunit::Account.Ym);
    key.writeString(QStringLiteral("user_name"), ui->edUserName->currentText());
}

void TFrmLogin::stampConfiguration()
{
    const QString iniPath = Platform::suiteDirectory() + QStringLiteral("Tavrel.ini");
    Platform::IniFile ini(iniPath);
    const QString section = QStringLiteral("SystemConfigure");
    Varunit::share_parameter = ini.readString(section, QStringLiteral("Statu"));
    ini.writeString(section, QStringLiteral("Statu"),
        QStringLiteral("STAR") + Platform::today().toString(QStringLiteral("yyyyMMdd")));
}

bool TFrmLogin::VerifyOperator()
{
    const QSqlDatabase db = Mainmodule::db();
    const QString name = trimText(ui->edUserName->currentText());
    const std::optional<Operators::Operator> user = Operators::findActive(db, name);
    if (!user)
        return false;
    if (Operators::passwordMatches(user->password, ui->edPassword->text())) {
        Throttle::clear(db, name);
        m_verifiedMustChange = user->isNew;
        Varunit::UserName = user->name;
        return true;
    }
    Throttle::countFailure(db, name);
    Varunit::UserName.clear();
    return false;
}

void TFrmLogin::btnSelClick()
{
    if (refusedAsLocked(trimText(ui->edUserName->currentText())))
        return;
    if (!VerifyOperator()) {
        Platform::MessageBox(Prjconst::_msgOpenAccout, Prjconst::_msg_Information, Platform::MB_ICONSTOP);
        return;
    }
    const auto forget = qScopeGuard([] { Varunit::UserName.clear(); });
    // The initial password opens nothing: an operator who must change the
    // password does so first, as at the sign-in.
    if (m_verifiedMustChange) {
        showPasswordChange();
        return;
    }
    // The dialog is released when it closes; it may also have asked to be
    // deleted on close, hence the guarded pointer.
    QPointer<TFrmAccount> dialog = new TFrmAccount(this);
    const auto release = qScopeGuard([&dialog] { delete dialog.data(); });
    AAccount::FrmAccount = dialog;
    dialog->setNeedCreateAccount(NeedCreateAccount);
    if (Platform::ShowModal(dialog) == Platform::mrOk) {
        AccountDataset* periods = accounts();
        setChosenYm(periods->currentRow() >= 0 ? periods->fieldText(Db::cYm) : QString());
    }
}

bool TFrmLogin::WriteOpLog(const QString& text)
{
    const OpLog::Entry entry(text, Varunit::User_name);
    // A lost connection, or a server that takes no writes (a standby the
    // connection was left on), gets one more attempt on a connection opened
    // anew, which goes to the server that takes writes. Before it, the entry
    // is looked for: the first write may have been stored with its answer lost.
    for (int attempt = 0;; ++attempt) {
        QString failure;
        try {
            const QSqlDatabase db = Mainmodule::db();
            if (attempt == 0 || !OpLog::isStored(db, entry))
                OpLog::insert(db, entry);
            return true;
        } catch (const Db::Error& error) {
            failure = error.connectionLost() ? Platform::messageOf(error) : readOnlyServer();
        } catch (...) {
            return true; // the log entry is a record: a site without the table still signs in
        }
        if (failure.isEmpty())
            return true;
        if (attempt > 0) {
            Platform::MessageBox(failure + QStringLiteral("\n\n") + tr("登录没有完成，请再试一次。"),
                Prjconst::_msg_Information, Platform::MB_ICONSTOP);
            return false;
        }
    }
}

QString TFrmLogin::readOnlyServer()
{
    try {
        QSqlDatabase db = Mainmodule::db();
        if (Db::engineOf(db) != Db::Engine::PostgreSQL
            || Db::Query(db, Db::sqlReadOnlyPg).open().text(QStringLiteral("transaction_read_only")) != u"on")
            return {};
        // Opened anew, the connection goes to the server that takes writes.
        const QString server = db.hostName();
        db.close();
        return tr("数据库服务器 %1 只允许读取（它是备用服务器），登录记录无法保存在那里。\n"
                  "列出主服务器和备用服务器时，Tavrel.ini 的 [Database] 中应有 target_session_attrs=read-write。")
            .arg(server);
    } catch (const Db::Error& error) {
        return error.connectionLost() ? Platform::messageOf(error) : QString();
    }
}
