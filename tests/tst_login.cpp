// Login dialog: what the operator sees, who gets in, which period they work in,
// and what a sign-in leaves behind (registry, Tavrel.ini, OpLog).
#include "TestSupport.h"

#include "host/AccountDataset.h"
#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "host/Varunit.h"
#include "periods/ui/AAccount.h"
#include "platform/IniFile.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "shell/Application.h"
#include "host/ui/ErrorReport.h"
#include "signin/PasswordHash.h"
#include "signin/ui/Login.h"
#include "signin/ui/Password.h"
#include "signin/Throttle.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTranslator>
#include <QtTest>
#include <memory>

using TestSupport::TestEnv;

namespace {

const QString thisMonth = QStringLiteral("2026-03");

using TestSupport::addPeriod;
using TestSupport::addUser;

QString registry(const QString& name)
{
    return Platform::RegistryKey(Prjconst::UserKey, false).readString(name);
}

QString stamp(TestEnv& env)
{
    return Platform::IniFile(env.iniPath()).readString(QStringLiteral("SystemConfigure"), QStringLiteral("Statu"));
}

void remember(const QString& ym, const QString& userName)
{
    Platform::RegistryKey key(Prjconst::UserKey, true);
    key.writeString(QStringLiteral("Ym"), ym);
    key.writeString(QStringLiteral("user_name"), userName);
}

template <class T> T* control(QWidget* form, const char* name)
{
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

// A database with operators and the periods of January to March 2026.
struct Fixture
{
    TestEnv env;
    std::unique_ptr<TFrmLogin> dialog;

    explicit Fixture(bool withOperators = true, bool withPeriods = true)
    {
        env.createDatabase();
        if (withOperators) {
            addUser(env, QStringLiteral("1"), QStringLiteral("admin"), QStringLiteral("pw"));
            addUser(env, QStringLiteral("2"), QStringLiteral("李四"), QStringLiteral("1234"), 0, 1);
            addUser(env, QStringLiteral("3"), QStringLiteral("王五"), QStringLiteral("old"), 1);
            addUser(env, QStringLiteral("4"), QStringLiteral("O'Brien"), QStringLiteral("Secret"));
            addUser(env, QStringLiteral("5"), QStringLiteral("spaced"), QStringLiteral(" pw "));
            addUser(env, QStringLiteral("6"), QStringLiteral("admin"), QStringLiteral("second"));
            addUser(env, QStringLiteral("7"), QStringLiteral("nullstop"), QStringLiteral("pw"), 0, QVariant());
        }
        if (withPeriods) {
            for (const char16_t* ym : { u"2026-01", u"2026-02", u"2026-03" })
                addPeriod(env, QString::fromUtf16(ym));
        }
    }

    TFrmLogin* open()
    {
        if (!Mainmodule::MainDM && !env.createDataModule())
            qFatal("no data module");
        dialog = std::make_unique<TFrmLogin>();
        Login::FrmLogin = dialog.get();
        return dialog.get();
    }

    void type(const QString& name, const QString& password)
    {
        control<QComboBox>(dialog.get(), "edUserName")->setEditText(name);
        control<QLineEdit>(dialog.get(), "edPassword")->setText(password);
    }
    QString userNameBox() { return control<QComboBox>(dialog.get(), "edUserName")->currentText(); }
    QString passwordBox() { return control<QLineEdit>(dialog.get(), "edPassword")->text(); }
    QString selectorText() { return control<QComboBox>(dialog.get(), "cbAccount")->currentText(); }
    AccountDataset* accounts() { return Mainmodule::MainDM->accountData(); }
    int opLogRows() { return env.scalar(QStringLiteral("SELECT count(*) FROM OpLog")).toInt(); }
    bool signedIn() { return dialog->result() == Platform::mrOk; }
};

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void creationShowsRememberedValues();
    void returnKeyMovesFocus();
    void refusedSignInsLeaveNothingBehind();
    void signInPublishesAndRecords();
    void signInWithoutOperators();
    void newOperatorChangesPasswordFirst();
    void currentMonthQuestion();
    void periodSelectionFromTheCheck();
    void selectorKeepsItsOwnChoice();
    void manyPeriodsKeepTheChoice();
    void operationLogNeverStopsSignIn();
    void damagedFilesDoNotStopSignIn();
    void repeatedWrongPasswordsLockTheName();
    void englishForEnglishLocales();
};

void TestLogin::cleanup()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    QCOMPARE(Login::FrmLogin, nullptr);
    QCOMPARE(Password::FrmPassword, nullptr);
    QCOMPARE(AAccount::FrmAccount, nullptr);
}

void TestLogin::creationShowsRememberedValues()
{
    {
        Fixture f;
        remember(QStringLiteral("2026-02"), QStringLiteral("  李四 "));
        TFrmLogin* dialog = f.open();
        QCOMPARE(f.userNameBox(), QStringLiteral("  李四 "));
        QCOMPARE(Varunit::User_name, QStringLiteral("  李四 "));
        QCOMPARE(dialog->chosenYm(), QStringLiteral("2026-02"));
        QCOMPARE(f.selectorText(), QStringLiteral("2026-02月帐套"));
        QCOMPARE(f.accounts()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-02"));
        QVERIFY(!dialog->NeedCreateAccount);

        // Every operator, in the database's order: stopped ones and duplicates too.
        auto* names = control<QComboBox>(dialog, "edUserName");
        QStringList listed;
        for (int i = 0; i < names->count(); ++i)
            listed << names->itemText(i);
        QCOMPARE(listed,
            QStringList(
                { QStringLiteral("admin"), QStringLiteral("李四"), QStringLiteral("王五"), QStringLiteral("O'Brien"),
                    QStringLiteral("spaced"), QStringLiteral("admin"), QStringLiteral("nullstop") }));

        dialog->FormShow();
        QCOMPARE(dialog->focusWidget(), names);
    }
    {
        // Nothing remembered: empty name, the dataset's first period.
        Fixture f;
        f.open();
        QCOMPARE(f.userNameBox(), QString());
        QCOMPARE(f.dialog->chosenYm(), QStringLiteral("2026-01"));
        QCOMPARE(f.selectorText(), QStringLiteral("2026-01月帐套"));
    }
    {
        // A remembered period that is gone, and no periods at all.
        Fixture f(true, false);
        remember(QStringLiteral("2025-12"), QStringLiteral("admin"));
        f.open();
        QCOMPARE(f.dialog->chosenYm(), QString());
        QCOMPARE(f.selectorText(), QString());
    }
}

void TestLogin::returnKeyMovesFocus()
{
    Fixture f;
    TFrmLogin* dialog = f.open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto* name = control<QComboBox>(dialog, "edUserName");
    auto* password = control<QLineEdit>(dialog, "edPassword");
    auto* ok = control<QPushButton>(dialog, "btnOk");
    QTRY_COMPARE(QApplication::focusWidget(), name);

    QTest::keyClicks(name, QStringLiteral("admin"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), password);
    QTest::keyClicks(password, QStringLiteral("bad"));
    QTest::keyClick(password, Qt::Key_Enter, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), ok);
    // Reaching the button is not pressing it.
    QVERIFY(f.env.messages.isEmpty());
    QVERIFY(dialog->isVisible());

    QTest::keyClick(ok, Qt::Key_Return);
    QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_PassWordError }));

    // Escape ends the dialog with Cancel.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCOMPARE(dialog->result(), int(Platform::mrCancel));
    QVERIFY(!dialog->isVisible());
}

void TestLogin::refusedSignInsLeaveNothingBehind()
{
    struct Case
    {
        const char* what;
        QString name, password, message;
        int flags;
        QString nameAfter, passwordAfter;
    };
    const Case cases[] = {
        // Stopped even with the wrong password; the boxes keep their text.
        { "stopped", QStringLiteral("李四"), QStringLiteral("x"), Prjconst::_msgOpUserStop, 16, QStringLiteral("李四"),
            QStringLiteral("x") },
        { "wrong password", QStringLiteral("admin"), QStringLiteral("bad"), Prjconst::_PassWordError, 16,
            QStringLiteral("admin"), QString() },
        { "password case", QStringLiteral("O'Brien"), QStringLiteral("secret"), Prjconst::_PassWordError, 16,
            QStringLiteral("O'Brien"), QString() },
        // A stored password with spaces around it can never match a trimmed one.
        { "stored spaces", QStringLiteral("spaced"), QStringLiteral(" pw "), Prjconst::_PassWordError, 16,
            QStringLiteral("spaced"), QString() },
        // The first of two operators of the same name decides.
        { "duplicate name", QStringLiteral("admin"), QStringLiteral("second"), Prjconst::_PassWordError, 16,
            QStringLiteral("admin"), QString() },
        { "unknown", QStringLiteral("nobody"), QStringLiteral("pw"), Prjconst::_UserNotExists, 16, QString(),
            QString() },
    };
    for (const Case& c : cases) {
        Fixture f;
        f.open();
        f.type(c.name, c.password);
        f.dialog->btnOkClick();
        QVERIFY2(!f.signedIn(), c.what);
        QCOMPARE(f.env.messages.size(), 1);
        QCOMPARE(f.env.messages[0].text, c.message);
        QCOMPARE(f.env.messages[0].caption, Prjconst::_msg_Information);
        QCOMPARE(f.env.messages[0].flags, c.flags);
        QCOMPARE(f.userNameBox(), c.nameAfter);
        QCOMPARE(f.passwordBox(), c.passwordAfter);
        QVERIFY2(!QFile::exists(f.env.registryPath()), c.what);
        QCOMPARE(stamp(f.env), QString());
        QCOMPARE(f.opLogRows(), 0);
        QCOMPARE(Varunit::User_id, QString());
    }

    // No period to choose.
    Fixture f(true, false);
    f.open();
    f.type(QStringLiteral("admin"), QStringLiteral("pw"));
    f.dialog->btnOkClick();
    QVERIFY(!f.signedIn());
    QCOMPARE(f.env.messages.size(), 1);
    QCOMPARE(f.env.messages[0].text, Prjconst::_AccountIsEmpty);
    QCOMPARE(f.env.messages[0].flags, 64);
    QCOMPARE(f.opLogRows(), 0);
}

void TestLogin::signInPublishesAndRecords()
{
    Fixture f;
    // Other sections and lines of the file stay as they are.
    QFile ini(f.env.iniPath());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("; kept\r\n[SystemConfigure]\r\nStatu=STAR20260101\r\nOther=1\r\n[Logo]\r\n");
    ini.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QByteArray expected = ini.readAll().replace("STAR20260101", "STAR20260315");
    ini.close();
    remember(thisMonth, QString());
    f.open();
    // Untrimmed name, quoted name, password typed with spaces around it.
    f.type(QStringLiteral("  O'Brien\t"), QStringLiteral(" Secret  "));
    f.dialog->btnOkClick();

    QVERIFY(f.signedIn());
    QVERIFY(f.env.messages.isEmpty()); // the current month: no question
    QCOMPARE(Varunit::User_id, QStringLiteral("4"));
    QCOMPARE(Varunit::User_name, QStringLiteral("O'Brien"));
    // The password as stored: the text this database held has become its hash.
    QCOMPARE(Varunit::pwd, f.env.scalar(QStringLiteral("SELECT password FROM Users WHERE User_id='4'")).toString());
    QVERIFY(PasswordHash::isHash(Varunit::pwd));
    QVERIFY(PasswordHash::matches(Varunit::pwd, QStringLiteral("Secret")));
    QCOMPARE(Varunit::Account.Ym, thisMonth);
    QCOMPARE(Varunit::Account.Name, QStringLiteral("2026-03月帐套"));
    QCOMPARE(Varunit::Account.BegDate, QDate(2026, 3, 1).startOfDay());
    QCOMPARE(Varunit::Account.EndDate, QDate(2026, 3, 31).startOfDay());
    QCOMPARE(Varunit::share_parameter, QStringLiteral("STAR20260101"));

    QCOMPARE(registry(QStringLiteral("Ym")), thisMonth);
    QCOMPARE(registry(QStringLiteral("user_name")), QStringLiteral("  O'Brien\t"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), expected);

    Db::Query log(f.env.db(), QStringLiteral("SELECT * FROM OpLog"));
    log.open();
    QCOMPARE(log.rowCount(), 1);
    QCOMPARE(log.text(QStringLiteral("opTime")), QStringLiteral("2026-03-15 09:30:00"));
    QCOMPARE(log.text(QStringLiteral("BeWrite")), Prjconst::_IntoModule.arg(QStringLiteral("登录身份验证")));
    QCOMPARE(log.text(QStringLiteral("opUser")), QStringLiteral("O'Brien"));
    QCOMPARE(log.text(QStringLiteral("opComputer")), QStringLiteral("TESTPC"));
}

void TestLogin::signInWithoutOperators()
{
    // Anyone gets in; the operator's values are empty, the typed name is remembered.
    Fixture f(false);
    remember(thisMonth, QString());
    f.open();
    f.type(QStringLiteral(" guest "), QString());
    f.dialog->btnOkClick();
    QVERIFY(f.signedIn());
    QCOMPARE(Varunit::User_id, QString());
    QCOMPARE(Varunit::User_name, QString());
    QCOMPARE(Varunit::pwd, QString());
    QCOMPARE(registry(QStringLiteral("user_name")), QStringLiteral(" guest "));
    QCOMPARE(f.env.scalar(QStringLiteral("SELECT opUser FROM OpLog")).toString(), QString());
    // No "Statu" before: empty shared parameter, and the stamp is written.
    QCOMPARE(Varunit::share_parameter, QString());
    QCOMPARE(stamp(f.env), QStringLiteral("STAR20260315"));
}

void TestLogin::newOperatorChangesPasswordFirst()
{
    Fixture f;
    remember(thisMonth, QString());
    f.open();
    f.type(QStringLiteral("王五 "), QStringLiteral("wrong"));
    f.env.onNextModal([](QDialog* dialog) {
        auto* change = qobject_cast<TFrmPassword*>(dialog);
        if (!change || Password::FrmPassword != change)
            return int(Platform::mrNone);
        if (control<QLineEdit>(change, "edUserName")->text() != QStringLiteral("王五 ")
            || Varunit::User_name != QStringLiteral("王五 "))
            return int(Platform::mrNone);
        control<QLineEdit>(change, "edOldPassword")->setText(QStringLiteral("old"));
        control<QLineEdit>(change, "edNewPassword")->setText(QStringLiteral("new"));
        control<QLineEdit>(change, "edConfigPassword")->setText(QStringLiteral("new"));
        change->BitokClick();
        return change->result();
    });
    f.dialog->btnOkClick();
    QCOMPARE(f.env.modalShown, QStringList({ QStringLiteral("FrmPassword") }));
    QCOMPARE(f.env.pendingModalHandlers(), 0);
    QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk }));
    QVERIFY(!f.signedIn());
    QCOMPARE(f.opLogRows(), 0);

    // Signing in again with the new password goes through the password check.
    f.type(QStringLiteral("王五"), QStringLiteral("new"));
    f.dialog->btnOkClick();
    QVERIFY(f.signedIn());
    QCOMPARE(f.env.modalShown.size(), 1);
}

void TestLogin::currentMonthQuestion()
{
    const QString february = QStringLiteral("2026-02");
    {
        // No: the attempt ends, nothing is written.
        Fixture f;
        remember(february, QString());
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.env.answers = { Platform::IDNO };
        f.dialog->btnOkClick();
        QVERIFY(!f.signedIn());
        QCOMPARE(f.env.messages.size(), 1);
        QCOMPARE(f.env.messages[0].text, Prjconst::_msgAccountSelect);
        QCOMPARE(f.env.messages[0].caption, Prjconst::_msg_Question);
        QCOMPARE(f.env.messages[0].flags, 36);
        QCOMPARE(f.opLogRows(), 0);
        QCOMPARE(registry(QStringLiteral("Ym")), february);
        QCOMPARE(registry(QStringLiteral("user_name")), QString());
    }
    {
        // Yes with this month's period present: the chosen period still counts.
        Fixture f;
        remember(february, QString());
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.env.answers = { Platform::IDYES };
        f.dialog->btnOkClick();
        QVERIFY(f.signedIn());
        QVERIFY(f.env.modalShown.isEmpty());
        QCOMPARE(Varunit::Account.Ym, february);
        QCOMPARE(registry(QStringLiteral("Ym")), february);
    }
    {
        // The question is about the chosen period, wherever the account-period
        // dialog has left the dataset's current row.
        Fixture f;
        remember(february, QString());
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.env.onNextModal([&](QDialog*) {
            f.accounts()->locate(thisMonth, Qt::CaseSensitive);
            return int(Platform::mrCancel);
        });
        f.dialog->btnSelClick();
        f.dialog->btnOkClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_msgAccountSelect }));
        QVERIFY(!f.signedIn());
    }
}

void TestLogin::periodSelectionFromTheCheck()
{
    // This month has no period: a verified operator gets the account-period
    // dialog, which knows why it was opened.
    for (const int result : { int(Platform::mrOk), int(Platform::mrCancel) }) {
        Fixture f;
        f.env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2026-03'"));
        remember(QStringLiteral("2026-02"), QString());
        f.open();
        f.type(QStringLiteral("admin "), QStringLiteral("pw"));
        f.env.answers = { Platform::IDYES };
        bool sawFlag = false;
        f.env.onNextModal([&](QDialog* dialog) {
            sawFlag = Login::FrmLogin->NeedCreateAccount && AAccount::FrmAccount == dialog
                && Varunit::UserName == QStringLiteral("admin");
            f.accounts()->locate(QStringLiteral("2026-01"), Qt::CaseSensitive);
            return result;
        });
        f.dialog->btnOkClick();
        QVERIFY(sawFlag);
        QCOMPARE(f.env.modalShown, QStringList({ QStringLiteral("FrmAccount") }));
        QVERIFY(f.signedIn());
        QCOMPARE(Varunit::Account.Ym, result == Platform::mrOk ? QStringLiteral("2026-01") : QStringLiteral("2026-02"));
        QVERIFY(!f.dialog->NeedCreateAccount);
        QCOMPARE(Varunit::UserName, QString());
    }
    {
        // An operator the period selection does not accept (IsStop null here):
        // told so, and the sign-in goes on with the chosen period.
        Fixture f;
        f.env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2026-03'"));
        remember(QStringLiteral("2026-02"), QString());
        f.open();
        f.type(QStringLiteral("nullstop"), QStringLiteral("pw"));
        f.env.answers = { Platform::IDYES };
        f.dialog->btnOkClick();
        QVERIFY(f.env.modalShown.isEmpty());
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_msgAccountSelect, Prjconst::_msgOpenAccout }));
        QCOMPARE(f.env.messages[1].flags, 16);
        QVERIFY(f.signedIn());
        QCOMPARE(Varunit::Account.Ym, QStringLiteral("2026-02"));
    }
    for (const int way : { 0, 1, 2 }) {
        // The dialog deletes the chosen period (and left with Cancel), or every
        // period (left with OK), or another workstation deletes the chosen one
        // behind the dialog's list: no period, no sign-in, nothing written.
        const bool deleteAll = way == 1;
        Fixture f;
        f.env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2026-03'"));
        remember(QStringLiteral("2026-02"), QStringLiteral("someone"));
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.env.answers = { Platform::IDYES };
        f.env.onNextModal([&](QDialog*) {
            if (way == 2) {
                f.env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2026-02'"));
                return int(Platform::mrCancel);
            }
            AccountDataset* accounts = f.accounts();
            for (const char16_t* ym : { u"2026-02", u"2026-01" }) {
                if (accounts->locate(QString::fromUtf16(ym), Qt::CaseSensitive) && (deleteAll || ym[6] == u'2'))
                    accounts->remove();
            }
            return int(deleteAll ? Platform::mrOk : Platform::mrCancel);
        });
        f.dialog->btnOkClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_msgAccountSelect, Prjconst::_AccountIsEmpty }));
        QVERIFY(!f.signedIn());
        QCOMPARE(f.opLogRows(), 0);
        QCOMPARE(registry(QStringLiteral("Ym")), QStringLiteral("2026-02"));
        QCOMPARE(registry(QStringLiteral("user_name")), QStringLiteral("someone"));
        QCOMPARE(stamp(f.env), QString());
    }
    {
        // A failure inside the account-period dialog leaves no flag set behind.
        Fixture f;
        f.env.exec(QStringLiteral("DELETE FROM Accounts WHERE ym='2026-03'"));
        remember(QStringLiteral("2026-02"), QString());
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.env.answers = { Platform::IDYES };
        f.env.onNextModal([](QDialog*) -> int { throw std::runtime_error("broken"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.dialog->btnOkClick());
        QVERIFY(!f.dialog->NeedCreateAccount);
        QCOMPARE(Varunit::UserName, QString());
        QVERIFY(!f.signedIn());
    }
}

void TestLogin::selectorKeepsItsOwnChoice()
{
    Fixture f;
    TFrmLogin* dialog = f.open();
    auto* selector = control<QComboBox>(dialog, "cbAccount");
    AccountDataset* accounts = f.accounts();

    // The operator's choice moves the dataset.
    QTest::keyClick(selector, Qt::Key_Down);
    QCOMPARE(dialog->chosenYm(), QStringLiteral("2026-02"));
    QCOMPARE(accounts->fieldText(QStringLiteral("ym")), QStringLiteral("2026-02"));

    // The dataset moving does not change the choice, nor do rows coming and going.
    accounts->locate(thisMonth, Qt::CaseSensitive);
    QCOMPARE(f.selectorText(), QStringLiteral("2026-02月帐套"));
    accounts->append();
    accounts->setFieldValue(QStringLiteral("ym"), QStringLiteral("2025-12"));
    accounts->setFieldValue(QStringLiteral("account_name"), QStringLiteral("2025-12月帐套"));
    accounts->post();
    accounts->locate(QStringLiteral("2026-01"), Qt::CaseSensitive);
    accounts->remove();
    QCOMPARE(dialog->chosenYm(), QStringLiteral("2026-02"));
    QCOMPARE(f.selectorText(), QStringLiteral("2026-02月帐套"));

    // "...": a verified operator picks the period in the account-period dialog.
    f.type(QStringLiteral("admin"), QStringLiteral("pw"));
    f.env.onNextModal([&](QDialog*) {
        accounts->locate(QStringLiteral("2025-12"), Qt::CaseSensitive);
        return int(Platform::mrOk);
    });
    control<QAbstractButton>(dialog, "btnSel")->click();
    QCOMPARE(dialog->chosenYm(), QStringLiteral("2025-12"));
    QCOMPARE(f.selectorText(), QStringLiteral("2025-12月帐套"));
    QCOMPARE(Varunit::UserName, QString());

    // The chosen period deleted: no choice is left.
    accounts->locate(QStringLiteral("2025-12"), Qt::CaseSensitive);
    accounts->remove();
    QCOMPARE(dialog->chosenYm(), QString());
    dialog->btnOkClick();
    QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_AccountIsEmpty }));

    // A wrong password does not open the dialog.
    f.type(QStringLiteral("admin"), QStringLiteral("bad"));
    dialog->btnSelClick();
    QCOMPARE(f.env.modalShown.size(), 1);
    QCOMPARE(f.env.messages.last().text, Prjconst::_msgOpenAccout);
}

void TestLogin::manyPeriodsKeepTheChoice()
{
    // The model reads the periods in batches after every change: the choice of
    // the newest must survive that.
    Fixture f(true, false);
    QSqlDatabase db = f.env.db();
    db.transaction();
    for (int i = 0; i < 1000; ++i)
        addPeriod(f.env, QDate(1940, 1, 1).addMonths(i).toString(QStringLiteral("yyyy-MM")));
    db.commit();
    const QString newest = QDate(1940, 1, 1).addMonths(999).toString(QStringLiteral("yyyy-MM"));
    remember(newest, QString());
    TFrmLogin* login = f.open();
    QCOMPARE(login->chosenYm(), newest);
    AccountDataset* periods = f.accounts();
    periods->append();
    periods->setFieldValue(QStringLiteral("ym"), QStringLiteral("1939-12"));
    periods->post();
    periods->locate(QStringLiteral("1940-01"), Qt::CaseSensitive);
    periods->remove();
    QCOMPARE(login->chosenYm(), newest);
    QCOMPARE(f.selectorText(), newest + QStringLiteral("月帐套"));
}

void TestLogin::operationLogNeverStopsSignIn()
{
    {
        Fixture f;
        remember(thisMonth, QString());
        f.env.exec(QStringLiteral("DROP TABLE OpLog"));
        f.open();
        f.type(QStringLiteral("admin"), QStringLiteral("pw"));
        f.dialog->btnOkClick();
        QVERIFY(f.signedIn());
        QVERIFY(f.env.messages.isEmpty());
    }
    for (const char16_t* name : { u"ABCDEFGHIJKLMNO", u"ABCDEFGHIJKLMNOPQR" }) {
        Fixture f;
        Platform::setComputerName(QString::fromUtf16(name));
        f.open();
        f.dialog->WriteOpLog(QStringLiteral("x"));
        QCOMPARE(
            f.env.scalar(QStringLiteral("SELECT opComPuter FROM OpLog")).toString(), QStringLiteral("ABCDEFGHIJKLMNO"));
    }
}

void TestLogin::damagedFilesDoNotStopSignIn()
{
    // Junk for remembered values, and a Tavrel.ini from a Chinese Windows (GB18030).
    Fixture f;
    QRandomGenerator random(14);
    QByteArray junk(4096, 0);
    for (char& byte : junk)
        byte = static_cast<char>(random.bounded(256));
    QVERIFY(QDir().mkpath(QFileInfo(f.env.registryPath()).absolutePath()));
    QFile registryFile(f.env.registryPath());
    QVERIFY(registryFile.open(QIODevice::WriteOnly));
    registryFile.write(junk);
    registryFile.close();
    QFile ini(f.env.iniPath());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write(
        QStringEncoder("GB18030").encode(QStringLiteral("[考勤]\r\n公司=某某公司\r\n[SystemConfigure]\r\nStatu=\r\n")));
    ini.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray expected = ini.readAll().replace("Statu=", "Statu=STAR20260315");
    ini.close();

    f.open();
    QCOMPARE(f.userNameBox(), QString());
    f.type(QStringLiteral("admin"), QStringLiteral("pw"));
    f.env.answers = { Platform::IDYES };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("registry\\.ini.*registry\\.ini\\.damaged-")));
    f.dialog->btnOkClick();
    QVERIFY(f.signedIn());
    QCOMPARE(f.env.messages.size(), 1); // the first period is not this month's: the question only
    QCOMPARE(registry(QStringLiteral("Ym")), QStringLiteral("2026-01"));
    QCOMPARE(registry(QStringLiteral("user_name")), QStringLiteral("admin"));
    QFile kept(f.env.registryPath() + QStringLiteral(".damaged-20260315-093000"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), junk);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), expected);
}

void TestLogin::repeatedWrongPasswordsLockTheName()
{
    {
        // Where the count cannot be kept, nobody signs in, and the operator is told why.
        Fixture g;
        g.env.exec(QStringLiteral("CREATE VIEW LoginFailures AS SELECT username FROM Users"));
        remember(thisMonth, QString());
        g.open();
        for (const char16_t* password : { u"bad", u"pw" }) {
            g.env.messages.clear();
            g.type(QStringLiteral("admin"), QString::fromUtf16(password));
            ErrorReport::guarded([&] { g.dialog->btnOkClick(); })();
            QCOMPARE(g.env.messages.size(), 1);
            QVERIFY2(g.env.messages[0].text.contains(u"LoginFailures"), qPrintable(g.env.messages[0].text));
        }
        QVERIFY(!g.signedIn());
        QCOMPARE(g.opLogRows(), 0);
    }
    Fixture f;
    remember(thisMonth, QString());
    f.open();
    const bool server = TestEnv::engine() == Db::Engine::PostgreSQL;
    QDateTime now(QDate(2026, 3, 15), QTime(9, 30));
    // The server's clock may pass a second boundary between lock and check.
    const auto lockedFor = [&](int seconds) {
        const QString text = f.env.messages.value(0).text;
        return f.env.messages.size() == 1 && f.env.messages[0].flags == 16
            && (text == Throttle::lockedMessage(seconds) || (server && text == Throttle::lockedMessage(seconds - 1)));
    };
    const auto waitPassed = [&](int seconds) {
        if (server)
            f.env.exec(QStringLiteral("UPDATE LoginFailures SET locked_until = locked_until - ?"), { seconds + 1 });
        else
            f.env.setNow(now = now.addSecs(seconds));
        f.env.messages.clear();
    };
    const auto attempt = [&](const char16_t* password) {
        f.type(QStringLiteral("admin"), QString::fromUtf16(password));
        f.dialog->btnOkClick();
    };

    // Four wrong passwords here and one in the period dialog's check lock the name.
    for (int i = 0; i < 4; ++i)
        attempt(u"bad");
    f.type(QStringLiteral("admin"), QStringLiteral("bad"));
    f.dialog->btnSelClick();
    QCOMPARE(f.env.messageTexts(), QStringList(4, Prjconst::_PassWordError) << Prjconst::_msgOpenAccout);
    f.env.messages.clear();
    attempt(u"pw");
    QVERIFY2(lockedFor(30), qPrintable(f.env.messageTexts().join(u'\n')));
    QVERIFY(!f.signedIn());
    QCOMPARE(registry(QStringLiteral("user_name")), QString());
    QCOMPARE(stamp(f.env), QString());
    QCOMPARE(f.opLogRows(), 0);
    // Another workstation on the same database finds the name locked; other names are not.
    {
        const QSqlDatabase other = f.env.openConnection(QStringLiteral("workstation2"));
        QVERIFY(Throttle::secondsLocked(other, QStringLiteral("admin")) > 0);
        QCOMPARE(Throttle::secondsLocked(other, QStringLiteral("O'Brien")), 0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("workstation2"));

    // After the wait one more wrong password locks it twice as long.
    waitPassed(30);
    attempt(u"bad");
    QCOMPARE(f.env.messageTexts(), QStringList { Prjconst::_PassWordError });
    f.env.messages.clear();
    attempt(u"pw");
    QVERIFY2(lockedFor(60), qPrintable(f.env.messageTexts().join(u'\n')));
    waitPassed(60);
    attempt(u"pw");
    QVERIFY(f.signedIn());
    QCOMPARE(f.env.scalar(QStringLiteral("SELECT count(*) FROM LoginFailures")).toInt(), 0);
}

void TestLogin::englishForEnglishLocales()
{
    const QString chineseEntry = QStringLiteral("通过“登录身份验证”登录系统");
    // Any other language keeps the Chinese texts.
    QVERIFY(!TApplication::installTranslations(QLocale(QLocale::Chinese, QLocale::China)));
    QVERIFY(!TApplication::installTranslations(QLocale(QLocale::German, QLocale::Germany)));
    QVERIFY(QCoreApplication::instance()->findChildren<QTranslator*>().isEmpty());
    {
        Fixture f;
        f.open();
        QCOMPARE(f.dialog->windowTitle(), QStringLiteral("登录身份验证"));
        QCOMPARE(QString(Prjconst::_PassWordError), QStringLiteral("密码错误，请重新输入！"));
    }

    QVERIFY(TApplication::installTranslations(QLocale(QLocale::English, QLocale::UnitedKingdom)));
    const auto uninstall = qScopeGuard([] {
        for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    });
    Fixture f;
    remember(thisMonth, QString());
    f.open();
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Sign In"));
    f.type(QStringLiteral("admin"), QStringLiteral("bad"));
    f.dialog->btnOkClick();
    QCOMPARE(f.env.messageTexts(), QStringList({ QStringLiteral("Wrong password. Please enter it again.") }));
    QCOMPARE(f.env.messages[0].caption, QStringLiteral("Information"));
    // The log entry is data for the rest of the suite: Chinese in every language.
    f.type(QStringLiteral("admin"), QStringLiteral("pw"));
    f.dialog->btnOkClick();
    QVERIFY(f.signedIn());
    QCOMPARE(f.env.scalar(QStringLiteral("SELECT BeWrite FROM OpLog")).toString(), chineseEntry);
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
