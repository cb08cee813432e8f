// The account-period dialog: rights, new periods, the month check, save,
// abandon, delete, and the period it leaves current.
#include "TestSupport.h"

#include "db/Query.h"
#include "host/AccountDataset.h"
#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "host/Varunit.h"
#include "periods/AccountRules.h"
#include "periods/ui/AAccount.h"
#include "platform/System.h"
#include "platform/ui/ModalShow.h"
#include "signin/ui/Login.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <memory>

using TestSupport::TestEnv;

namespace {

const QString caption = QStringLiteral("帐套管理");

using TestSupport::addPeriod;

// A database with the operator "admin" (rights text `access`) and the given periods,
// the data module on it, and the operator verified as the login dialog leaves it.
void prepare(TestEnv& env, const QStringList& periods, const QString& access = QStringLiteral("ActAccount=5"))
{
    env.createDatabase();
    TestSupport::addUser(env, QStringLiteral("1"), QStringLiteral("admin"), QStringLiteral("pw"), 0, 0, access);
    for (const QString& ym : periods)
        addPeriod(env, ym);
    QVERIFY(env.createDataModule());
    Varunit::UserName = QStringLiteral("admin");
}

AccountDataset* dataset()
{
    return Mainmodule::MainDM->accountData();
}

// The dialog shown and active, as the operator sees it.
std::unique_ptr<TFrmAccount> showDialog()
{
    auto dialog = std::make_unique<TFrmAccount>(nullptr);
    dialog->show();
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog.get()))
        qWarning("dialog did not become active");
    return dialog;
}

template <class T> T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QLineEdit* dbYm(QWidget* d)
{
    return child<QLineEdit>(d, "dbYm");
}

// Types a month into the field and leaves it, as the operator does with Tab.
void typeMonth(QWidget* dialog, const QString& text)
{
    QLineEdit* ym = dbYm(dialog);
    ym->setFocus(Qt::TabFocusReason);
    ym->selectAll();
    if (text.isEmpty())
        QTest::keyClick(ym, Qt::Key_Delete);
    else
        QTest::keyClicks(ym, text);
    child<QPushButton>(dialog, "btSave")->setFocus(Qt::TabFocusReason);
}

bool inEditMode(QWidget* d)
{
    return child<QPushButton>(d, "btSave")->isVisible() && child<QPushButton>(d, "btCancel")->isVisible()
        && !child<QPushButton>(d, "btNew")->isVisible() && !child<QPushButton>(d, "btDel")->isVisible()
        && dbYm(d)->isEnabled() && child<QDateEdit>(d, "dtEndDate")->isEnabled()
        && !child<QPushButton>(d, "btnInto")->isEnabled() && !child<QPushButton>(d, "btnRet")->isEnabled()
        && child<QCheckBox>(d, "AutoSchemeCb")->isVisible();
}

bool inBrowseMode(QWidget* d)
{
    return !child<QPushButton>(d, "btSave")->isVisible() && !child<QPushButton>(d, "btCancel")->isVisible()
        && child<QPushButton>(d, "btNew")->isVisible() && child<QPushButton>(d, "btDel")->isVisible()
        && !dbYm(d)->isEnabled() && !child<QDateEdit>(d, "dtBegDate")->isEnabled()
        && child<QPushButton>(d, "btnInto")->isEnabled() && child<QPushButton>(d, "btnRet")->isEnabled()
        && !child<QCheckBox>(d, "AutoSchemeCb")->isVisible();
}

int storedPeriods(TestEnv& env)
{
    return env.scalar(QStringLiteral("SELECT count(*) FROM Accounts")).toInt();
}

QDate storedDate(TestEnv& env, const QString& column, const QString& ym)
{
    const QDateTime value
        = Db::toDateTime(env.scalar(QStringLiteral("SELECT %1 FROM Accounts WHERE ym=?").arg(column), { ym }));
    return value.time() == QTime(0, 0) ? value.date() : QDate();
}

bool onSqlite(TestEnv& env)
{
    return env.db().driverName() == u"QSQLITE";
}

} // namespace

class TestAccount : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void rightsFromAccessText();
    void rightsEnableButtons_data();
    void rightsEnableButtons();
    void monthKeyRules();
    void newPeriodFollowsTheClock_data();
    void newPeriodFollowsTheClock();
    void leavingTheMonthChecksAndDerives_data();
    void leavingTheMonthChecksAndDerives();
    void enteringAFieldPutsTheDerivedValuesBack();
    void saveRefusesExistingOrInvalidMonth();
    void saveStoresThePeriod();
    void saveWithRollOverFillsTheNewMonth();
    void saveTakesPendingEditsAndTheFocusedMonth();
    void saveLosesRaceToAnotherWorkstation();
    void saveWhoseAnswerWasLost();
    void saveReportsOtherStoreFailures();
    void abandonPendingPeriod_data();
    void abandonPendingPeriod();
    void deletePeriod();
    void okLeavesChosenPeriodCurrent();
    void creationAndShowing();
};

void TestAccount::cleanup()
{
    delete Login::FrmLogin;
    Login::FrmLogin = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void TestAccount::rightsFromAccessText()
{
    using AccountRules::actAccountRights;
    QCOMPARE(actAccountRights(QStringLiteral("ActAccount=5")), 5);
    QCOMPARE(actAccountRights(QStringLiteral("ActEmployee=7\r\nactACCOUNT=1")), 1);
    QCOMPARE(actAccountRights(QStringLiteral("a=1\rActAccount=4\nb=2")), 4);
    QCOMPARE(actAccountRights(QStringLiteral("x\r\n\r\nActAccount=4\r\nActAccount=1")), 4); // the first line counts
    QCOMPARE(actAccountRights(QStringLiteral("ActAccount=-1")), -1);
    // The name is not trimmed, the value must be a decimal integer and nothing else.
    for (const char16_t* text :
        { u" ActAccount=5", u"ActAccount =5", u"ActAccount= 5", u"ActAccount=5 ", u"ActAccount=0x5", u"ActAccount=5=1",
            u"ActAccount=", u"ActAccount", u"ActAccount=99999999999", u"ActAccountX=5", u"" })
        QVERIFY2(actAccountRights(QString::fromUtf16(text)) == 0, qPrintable(QString::fromUtf16(text)));
    QCOMPARE(AccountRules::listValue(QStringLiteral("x=1\r\ny=a=b"), QStringLiteral("Y")), QStringLiteral("a=b"));
    QVERIFY(AccountRules::listValue(QStringLiteral("x=1"), QStringLiteral("y")).isNull());

    // Managing operators and importing data: an older text without either line
    // gives both to an operator with both period rights, and to nobody else;
    // once either line is there, each line says 1 or not.
    using AccountRules::Rights;
    using AccountRules::rightsIn;
    QCOMPARE(rightsIn(QStringLiteral("ActEmployee=7\r\nActAccount=5")), (Rights { 5, true, true }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=7")), (Rights { 7, true, true }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=1")), (Rights { 1, false, false }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=4")), (Rights { 4, false, false }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=5\nActImport=1")), (Rights { 5, false, true }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=5\nactoperator=0")), (Rights { 5, false, false }));
    QCOMPARE(rightsIn(QStringLiteral("ActAccount=0\nActOperator=1\nActImport=2")), (Rights { 0, true, false }));
    // Written back: the three lines set, every other line and ending kept.
    QCOMPARE(AccountRules::withRights(QStringLiteral("ActEmployee=7\nActAccount=5\n"), Rights { 1, true, false }),
        QStringLiteral("ActEmployee=7\nActAccount=1\nActOperator=1\nActImport=0"));
    for (const Rights& rights : { Rights { 0, false, false }, Rights { 5, false, true }, Rights { 4, true, false } })
        QCOMPARE(rightsIn(AccountRules::withRights(QStringLiteral("ActAccount=5"), rights)), rights);
}

void TestAccount::rightsEnableButtons_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<bool>("canCreate");
    QTest::addColumn<bool>("canDelete");
    const QString admin = QStringLiteral("admin");
    QTest::newRow("1") << QStringLiteral("ActEmployee=7\r\nActAccount=1") << admin << true << false;
    QTest::newRow("4") << QStringLiteral("ActAccount=4") << admin << false << true;
    QTest::newRow("5") << QStringLiteral("ActAccount=5") << admin << true << true;
    QTest::newRow("0") << QStringLiteral("ActAccount=0") << admin << false << false;
    QTest::newRow("missing") << QStringLiteral("ActEmployee=7") << admin << false << false;
    QTest::newRow("non-numeric") << QStringLiteral("ActAccount=all") << admin << false << false;
    QTest::newRow("no row") << QStringLiteral("ActAccount=0") << QStringLiteral("nobody") << true << true;
    QTest::newRow("quote") << QStringLiteral("ActAccount=0") << QStringLiteral("x' or '1'='1") << true << true;
}

void TestAccount::rightsEnableButtons()
{
    QFETCH(QString, access);
    QFETCH(QString, operatorName);
    QFETCH(bool, canCreate);
    QFETCH(bool, canDelete);
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02") }, access);
    Varunit::UserName = operatorName;
    auto dialog = showDialog();
    // Browse mode shows the buttons but keeps what the rights took away.
    QVERIFY(inBrowseMode(dialog.get()));
    QCOMPARE(child<QPushButton>(dialog.get(), "btNew")->isEnabled(), canCreate);
    QCOMPARE(child<QPushButton>(dialog.get(), "btDel")->isEnabled(), canDelete);
    QVERIFY(env.messages.isEmpty());
}

void TestAccount::monthKeyRules()
{
    const struct
    {
        const char16_t* typed;
        const char16_t* key; // empty: refused
    } cases[] = {
        { u"2026-03", u"2026-03" }, { u"2026-3", u"2026-03" }, { u"202603", u"2026-03" }, { u" 2026-03\t", u"2026-03" },
        { u"2026/03", u"2026-03" }, { u"2026.03", u"2026-03" }, { u"2026 03", u"2026-03" },
        { u"2026\uFF0F03", u"2026-03" }, // full-width slash from an input method
        { u"2026/3", u"2026-03" }, { u"0001-01", u"0001-01" }, { u"2026-12", u"2026-12" }, { u"2026x03", u"" },
        { u"2026003", u"" }, { u"2026\u5E7403", u"" }, // a letter in the separator's place
        { u"2026-13", u"" }, { u"2026-00", u"" }, { u"0000-01", u"" }, { u"26-03", u"" }, { u"2026-", u"" },
        { u"", u"" }, { u"2026-3a", u"" }, { u"2026-+3", u"" }, { u"2026-03-01", u"" }, { u"2026-031", u"" },
        { u"\uFF12\uFF10\uFF12\uFF16-03", u"" }, // full-width digits
    };
    for (const auto& c : cases) {
        const QString typed = QString::fromUtf16(c.typed);
        const QString expected = QString::fromUtf16(c.key);
        const std::optional<MonthKey> key = MonthKey::parse(typed);
        QVERIFY2(key.has_value() == !expected.isEmpty(), qPrintable(typed));
        if (key)
            QCOMPARE(key->text(), expected);
    }

    const AccountRules::Period leap = AccountRules::periodOf(MonthKey::of(QDate(2028, 2, 10)));
    QCOMPARE(leap.ym, QStringLiteral("2028-02"));
    QCOMPARE(leap.name, QStringLiteral("2028-02") + Prjconst::_AccountStr);
    QCOMPARE(leap.begin, QDate(2028, 2, 1));
    QCOMPARE(leap.end, QDate(2028, 2, 29));
    QCOMPARE(AccountRules::periodOf(MonthKey::of(QDate(2100, 2, 1))).end, QDate(2100, 2, 28));
    QCOMPARE(AccountRules::periodOf(MonthKey::of(QDate(2026, 12, 1))).end, QDate(2026, 12, 31));
    QCOMPARE(AccountRules::periodOf(MonthKey::of(QDate(2026, 4, 30))).end, QDate(2026, 4, 30));
}

void TestAccount::newPeriodFollowsTheClock_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("ym");
    QTest::newRow("March") << QDateTime(QDate(2026, 3, 1), QTime(0, 0)) << QStringLiteral("2026-03");
    QTest::newRow("end of March") << QDateTime(QDate(2026, 3, 31), QTime(23, 59, 59)) << QStringLiteral("2026-03");
    QTest::newRow("December") << QDateTime(QDate(2026, 12, 15), QTime(12, 0)) << QStringLiteral("2026-12");
}

void TestAccount::newPeriodFollowsTheClock()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, ym);
    TestEnv env;
    env.setNow(now);
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02") });
    auto dialog = showDialog();
    dialog->btNewClick();

    AccountDataset* ds = dataset();
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), ym);
    QCOMPARE(dbYm(dialog.get())->text(), ym);
    // Name and dates wait for the month to be left.
    QVERIFY(ds->fieldText(QStringLiteral("account_name")).isEmpty());
    QVERIFY(!ds->fieldDateTime(QStringLiteral("begin_date")).isValid());
    QVERIFY(child<QLineEdit>(dialog.get(), "dbAccountName")->text().isEmpty());
    QVERIFY(child<QDateEdit>(dialog.get(), "dtBegDate")->text().trimmed().isEmpty());
    QVERIFY(inEditMode(dialog.get()));
    QVERIFY(!child<QCheckBox>(dialog.get(), "AutoSchemeCb")->isChecked());
    QCOMPARE(QApplication::focusWidget(), dbYm(dialog.get()));
    QCOMPARE(storedPeriods(env), 2);
}

void TestAccount::leavingTheMonthChecksAndDerives_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("ym"); // empty: refused
    QTest::addColumn<QDate>("end");
    QTest::newRow("2026-3") << QStringLiteral("2026-3") << QStringLiteral("2026-03") << QDate(2026, 3, 31);
    QTest::newRow("leap February") << QStringLiteral("2028-02") << QStringLiteral("2028-02") << QDate(2028, 2, 29);
    QTest::newRow("December") << QStringLiteral("2026-12") << QStringLiteral("2026-12") << QDate(2026, 12, 31);
    QTest::newRow("2026-13") << QStringLiteral("2026-13") << QString() << QDate();
    QTest::newRow("26-03") << QStringLiteral("26-03") << QString() << QDate();
    QTest::newRow("empty") << QString() << QString() << QDate();
}

void TestAccount::leavingTheMonthChecksAndDerives()
{
    QFETCH(QString, typed);
    QFETCH(QString, ym);
    QFETCH(QDate, end);
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01") });
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    dialog->btNewClick();
    // The month of today, left once: name and dates of March.
    child<QPushButton>(d, "btSave")->setFocus(Qt::TabFocusReason);
    AccountDataset* ds = dataset();
    QCOMPARE(ds->fieldText(QStringLiteral("account_name")), QStringLiteral("2026-03") + Prjconst::_AccountStr);

    typeMonth(d, typed);
    if (ym.isEmpty()) {
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(env.messages[0].text, Prjconst::_ErrorAccount);
        QCOMPARE(env.messages[0].caption, caption);
        QCOMPARE(env.messages[0].flags, 48);
        // The text stays as typed; name and dates keep their values.
        QCOMPARE(dbYm(d)->text(), typed);
        QCOMPARE(ds->fieldText(QStringLiteral("account_name")), QStringLiteral("2026-03") + Prjconst::_AccountStr);
        QCOMPARE(ds->fieldDateTime(QStringLiteral("begin_date")).date(), QDate(2026, 3, 1));
        QCOMPARE(ds->fieldDateTime(QStringLiteral("end_date")).date(), QDate(2026, 3, 31));
        QCOMPARE(child<QDateEdit>(d, "dtEndDate")->date(), QDate(2026, 3, 31));
    } else {
        QVERIFY2(env.messages.isEmpty(), qPrintable(env.messageTexts().join(u'|')));
        QCOMPARE(dbYm(d)->text(), ym);
        QCOMPARE(ds->fieldText(QStringLiteral("ym")), ym);
        QCOMPARE(ds->fieldText(QStringLiteral("account_name")), ym + Prjconst::_AccountStr);
        QCOMPARE(child<QLineEdit>(d, "dbAccountName")->text(), ym + Prjconst::_AccountStr);
        QCOMPARE(ds->fieldDateTime(QStringLiteral("begin_date")), QDateTime(QDate(end.year(), end.month(), 1), {}));
        QCOMPARE(ds->fieldDateTime(QStringLiteral("end_date")), end.startOfDay());
        QCOMPARE(child<QDateEdit>(d, "dtBegDate")->date(), QDate(end.year(), end.month(), 1));
        QCOMPARE(child<QDateEdit>(d, "dtEndDate")->date(), end);
    }
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(storedPeriods(env), 1);
}

void TestAccount::enteringAFieldPutsTheDerivedValuesBack()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01") });
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    dialog->btNewClick();
    auto* name = child<QLineEdit>(d, "dbAccountName");
    name->setFocus(Qt::TabFocusReason);
    name->selectAll();
    name->insert(QStringLiteral("三月"));
    child<QDateEdit>(d, "dtBegDate")->setFocus(Qt::TabFocusReason);
    const QString derived = QStringLiteral("2026-03") + Prjconst::_AccountStr;
    QCOMPARE(name->text(), derived);
    QCOMPARE(dataset()->fieldText(QStringLiteral("account_name")), derived);

    // A window coming and going is not the operator moving on: nothing is re-derived.
    name->setFocus(Qt::TabFocusReason);
    name->selectAll();
    name->insert(QStringLiteral("三月"));
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(name, &away);
    QApplication::sendEvent(child<QDateEdit>(d, "dtEndDate"), &back);
    QCOMPARE(name->text(), QStringLiteral("三月"));
    QVERIFY(env.messages.isEmpty());
}

void TestAccount::saveRefusesExistingOrInvalidMonth()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02"), QStringLiteral("2026-03") });
    env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id) VALUES ('2026-02', 'E1', '白班')"));
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    QSignalSpy rollOver(dialog.get(), &TFrmAccount::autoSchemeStarting);
    dialog->btNewClick(); // 2026-03, which exists
    child<QCheckBox>(d, "AutoSchemeCb")->setChecked(true);
    child<QPushButton>(d, "btSave")->setFocus(Qt::TabFocusReason);
    dialog->btSaveClick();
    QCOMPARE(env.messageTexts(), QStringList { Prjconst::_CanNotAccount });
    QCOMPARE(env.messages[0].caption, caption);
    QCOMPARE(env.messages[0].flags, 48);
    QCOMPARE(rollOver.count(), 0);
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);
    QVERIFY(inEditMode(d));
    QCOMPARE(storedPeriods(env), 2);

    // A month refused when the field was left is refused again by Save.
    env.messages.clear();
    typeMonth(d, QStringLiteral("2026-13"));
    dialog->btSaveClick();
    QCOMPARE(env.messageTexts(), (QStringList { Prjconst::_ErrorAccount, Prjconst::_ErrorAccount }));
    QCOMPARE(env.messages[1].flags, 48);

    // So is a key that never went through the field.
    env.messages.clear();
    dataset()->setFieldValue(QStringLiteral("ym"), QStringLiteral("2026-00"));
    dialog->btSaveClick();
    QCOMPARE(env.messageTexts(), QStringList { Prjconst::_ErrorAccount });
    QCOMPARE(rollOver.count(), 0);
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);
    QVERIFY(inEditMode(d));
    QCOMPARE(storedPeriods(env), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Scheme")).toInt(), 1);
}

void TestAccount::saveStoresThePeriod()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02") });
    env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id) VALUES ('2026-02', 'E1', '白班')"));
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    QSignalSpy rollOver(dialog.get(), &TFrmAccount::autoSchemeStarting);
    dialog->btNewClick();
    QTest::mouseClick(child<QPushButton>(d, "btSave"), Qt::LeftButton);

    QVERIFY2(env.messages.isEmpty(), qPrintable(env.messageTexts().join(u'|')));
    QCOMPARE(rollOver.count(), 0);
    QCOMPARE(storedPeriods(env), 3);
    QCOMPARE(env.scalar(QStringLiteral("SELECT account_name FROM Accounts WHERE ym='2026-03'")).toString(),
        QStringLiteral("2026-03") + Prjconst::_AccountStr);
    QCOMPARE(storedDate(env, QStringLiteral("begin_date"), QStringLiteral("2026-03")), QDate(2026, 3, 1));
    QCOMPARE(storedDate(env, QStringLiteral("end_date"), QStringLiteral("2026-03")), QDate(2026, 3, 31));
    // Unticked: no schedule row was touched.
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Scheme")).toInt(), 1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT shift_id FROM Scheme WHERE YM='2026-02' AND emp_id='E1'")).toString(),
        QStringLiteral("白班"));

    // Browse mode, on the stored period, in the dataset, the grid and the fields.
    AccountDataset* ds = dataset();
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QVERIFY(inBrowseMode(d));
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    auto* grid = child<QTableView>(d, "DBGridEh1");
    QCOMPARE(grid->currentIndex().data().toString(), QStringLiteral("2026-03") + Prjconst::_AccountStr);
    QCOMPARE(dbYm(d)->text(), QStringLiteral("2026-03"));

    // Return right after Save confirms the stored period; it never deletes it.
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : d, Qt::Key_Return);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(storedPeriods(env), 3);
}

void TestAccount::saveWithRollOverFillsTheNewMonth()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02") });
    env.exec(QStringLiteral("INSERT INTO Employee (emp_id) VALUES ('E1')"));
    env.exec(QStringLiteral("INSERT INTO Employee (emp_id) VALUES ('E2')"));
    env.exec(QStringLiteral("INSERT INTO Shifts_Rule (shift_id, shifts_cyc, shifts_cyc_unit, shifts) VALUES (?,?,?,?)"),
        { QStringLiteral("R0"), 0, QStringLiteral("day"), QStringLiteral("1=早班") });
    env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id) VALUES ('2026-02', 'E1', '白班')"));
    env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id, start_date) VALUES (?,?,?,?)"),
        { QStringLiteral("2026-02"), QStringLiteral("E2"), QStringLiteral("R0"), QDate(2026, 1, 1) });
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    dialog->btNewClick();
    child<QCheckBox>(d, "AutoSchemeCb")->setChecked(true);
    QTest::mouseClick(child<QPushButton>(d, "btSave"), Qt::LeftButton);

    // The fixed shift is carried into every day of March; the broken rule is named
    // in one warning, and the period is stored all the same.
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Scheme WHERE YM='2026-03'")).toInt(), 1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT \"31\" FROM Scheme WHERE YM='2026-03' AND emp_id='E1'")).toString(),
        QStringLiteral("白班"));
    QCOMPARE(env.messages.size(), 1);
    QCOMPARE(env.messages[0].flags, 48);
    QVERIFY(env.messages[0].text.contains(QStringLiteral("E2")));
    QCOMPARE(storedPeriods(env), 2);
    QVERIFY(inBrowseMode(d));
    QVERIFY(!child<QProgressBar>(d, "Gauge")->isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestAccount::saveTakesPendingEditsAndTheFocusedMonth()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01") });
    auto dialog = showDialog();
    QWidget* d = dialog.get();

    // The end date changed last, still in its field when Save runs, is stored.
    dialog->btNewClick();
    auto* endDate = child<QDateEdit>(d, "dtEndDate");
    endDate->setFocus(Qt::TabFocusReason);
    endDate->setDate(QDate(2026, 4, 5));
    dialog->btSaveClick();
    QCOMPARE(storedDate(env, QStringLiteral("end_date"), QStringLiteral("2026-03")), QDate(2026, 4, 5));

    // A month typed and saved by shortcut, without leaving the field, is checked and filled in.
    dialog->btNewClick();
    QLineEdit* ym = dbYm(d);
    ym->selectAll();
    QTest::keyClicks(ym, QStringLiteral("2026-4"));
    QCOMPARE(QApplication::focusWidget(), ym);
    dialog->btSaveClick();
    QVERIFY2(env.messages.isEmpty(), qPrintable(env.messageTexts().join(u'|')));
    QCOMPARE(env.scalar(QStringLiteral("SELECT account_name FROM Accounts WHERE ym='2026-04'")).toString(),
        QStringLiteral("2026-04") + Prjconst::_AccountStr);
    QCOMPARE(storedDate(env, QStringLiteral("end_date"), QStringLiteral("2026-04")), QDate(2026, 4, 30));
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-04"));
}

void TestAccount::saveLosesRaceToAnotherWorkstation()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02") });
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    // Another workstation stores March between the check and the store (while the
    // roll-over runs here).
    connect(dialog.get(), &TFrmAccount::autoSchemeStarting, this,
        [&env] { addPeriod(env, QStringLiteral("2026-03"), QStringLiteral("另一台电脑")); });
    dialog->btNewClick();
    child<QCheckBox>(d, "AutoSchemeCb")->setChecked(true);
    child<QPushButton>(d, "btSave")->setFocus(Qt::TabFocusReason);
    dialog->btSaveClick();

    QCOMPARE(env.messageTexts(), QStringList { Prjconst::_CanNotAccount });
    QCOMPARE(env.messages[0].flags, 48);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-03'")).toInt(), 1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT account_name FROM Accounts WHERE ym='2026-03'")).toString(),
        QStringLiteral("另一台电脑"));
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);
    QVERIFY(inEditMode(d));
    dialog->btCancelClick();
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-02"));
}

// The server stores the period and the connection goes before its answer
// comes: the operator is told the connection was lost, and the next Save finds
// the period there and shows it saved, instead of refusing it as another's.
void TestAccount::saveWhoseAnswerWasLost()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02") });
    if (onSqlite(env))
        QSKIP("a lost answer needs a server");
    auto dialog = showDialog();
    dialog->btNewClick();
    // The row is stored by another session (as a commit would have stored it),
    // and this session ends before it answers.
    const QString conninfo = qEnvironmentVariable("KOLVANE_TEST_PG")
        + QStringLiteral(" dbname=%1 application_name=stored_elsewhere").arg(env.databaseName());
    env.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS dblink"));
    env.exec(
        QStringLiteral("CREATE FUNCTION lose_answer() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                       "PERFORM dblink_exec(%1, format('INSERT INTO Accounts (ym, account_name, begin_date, end_date) "
                       "VALUES (%L, %L, %L, %L)', NEW.ym, NEW.account_name, NEW.begin_date, NEW.end_date)); "
                       "PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$")
            .arg(u'\'' + conninfo + u'\''));
    env.exec(QStringLiteral(
        "CREATE TRIGGER lose_answer BEFORE INSERT ON Accounts FOR EACH ROW "
        "WHEN (current_setting('application_name') <> 'stored_elsewhere') EXECUTE FUNCTION lose_answer()"));
    QTest::mouseClick(child<QPushButton>(dialog.get(), "btSave"), Qt::LeftButton);
    QCOMPARE(env.messages.size(), 1);
    QVERIFY2(env.messages[0].text.startsWith(QStringLiteral("与数据库服务器的连接已中断")),
        qPrintable(env.messages[0].text));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-03'")).toInt(), 1);
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);

    env.exec(QStringLiteral("DROP TRIGGER lose_answer ON Accounts"));
    env.messages.clear();
    QTest::mouseClick(child<QPushButton>(dialog.get(), "btSave"), Qt::LeftButton);
    QVERIFY2(env.messages.isEmpty(), qPrintable(env.messageTexts().join(u'|')));
    QCOMPARE(dataset()->state(), AccountDataset::State::Browse);
    QVERIFY(inBrowseMode(dialog.get()));
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    QCOMPARE(dataset()->recordCount(), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-03'")).toInt(), 1);

    // A month another workstation stored with other values is still refused.
    dialog->btNewClick();
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES ('2026-04', '另一台电脑')"));
    QTest::mouseClick(child<QPushButton>(dialog.get(), "btSave"), Qt::LeftButton);
    QCOMPARE(env.messageTexts(), QStringList { Prjconst::_CanNotAccount });
}

void TestAccount::saveReportsOtherStoreFailures()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-02") });
    auto dialog = showDialog();
    dialog->btNewClick();
    child<QPushButton>(dialog.get(), "btSave")->setFocus(Qt::TabFocusReason);
    if (!onSqlite(env))
        QSKIP("the refusing trigger is written for SQLite");
    env.exec(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Accounts BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    // Not a month stored elsewhere: the error goes on to the error report, not as "exists".
    QVERIFY_THROWS_EXCEPTION(Db::Error, dialog->btSaveClick());
    QVERIFY(env.messages.isEmpty());
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);
    QVERIFY(inEditMode(dialog.get()));
    // Pressed by the operator, the failure is reported once and the period stays pending.
    QTest::mouseClick(child<QPushButton>(dialog.get(), "btSave"), Qt::LeftButton);
    QCOMPARE(env.messages.size(), 1);
    QVERIFY(env.messages[0].text.contains(QStringLiteral("disk full")));
    QCOMPARE(env.messages[0].flags, 16);
    QCOMPARE(dataset()->state(), AccountDataset::State::Insert);
    QVERIFY(inEditMode(dialog.get()));
    dialog->btCancelClick();
}

void TestAccount::abandonPendingPeriod_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << QStringLiteral("cancel");
    QTest::newRow("entering the grid") << QStringLiteral("grid");
    QTest::newRow("close box") << QStringLiteral("close");
    QTest::newRow("escape") << QStringLiteral("escape");
}

void TestAccount::abandonPendingPeriod()
{
    QFETCH(QString, how);
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02") });
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    auto* grid = child<QTableView>(d, "DBGridEh1");
    grid->selectRow(0);
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-01"));
    dialog->btNewClick();
    typeMonth(d, QStringLiteral("2026-05"));

    if (how == u"cancel")
        QTest::mouseClick(child<QPushButton>(d, "btCancel"), Qt::LeftButton);
    else if (how == u"grid")
        grid->setFocus(Qt::MouseFocusReason);
    else if (how == u"close")
        QVERIFY(dialog->close());
    else
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);

    AccountDataset* ds = dataset();
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-01"));
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(inBrowseMode(d) || !d->isVisible());
    QCOMPARE(child<QPushButton>(d, "btNew")->isHidden(), false);
    QCOMPARE(d->isVisible(), how == u"cancel" || how == u"grid");
    if (!d->isVisible())
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(storedPeriods(env), 2);
    QVERIFY(env.messages.isEmpty());
}

void TestAccount::deletePeriod()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02"), QStringLiteral("2026-03") });
    env.exec(QStringLiteral("INSERT INTO Scheme (YM, emp_id, shift_id) VALUES ('2026-02', 'E1', '白班')"));
    auto dialog = showDialog();
    QWidget* d = dialog.get();
    auto* grid = child<QTableView>(d, "DBGridEh1");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 0)).center());
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-02"));

    dialog->btDelClick();
    QCOMPARE(storedPeriods(env), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-02'")).toInt(), 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Scheme")).toInt(), 1);
    // The next period is current, and shown.
    QCOMPARE(dataset()->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(dbYm(d)->text(), QStringLiteral("2026-03"));

    dialog->btDelClick();
    dialog->btDelClick();
    QCOMPARE(storedPeriods(env), 0);
    QVERIFY(dbYm(d)->text().isEmpty());
    dialog->btDelClick(); // nothing left: nothing happens
    QCOMPARE(dataset()->recordCount(), 0);
    QVERIFY(env.messages.isEmpty());
}

void TestAccount::okLeavesChosenPeriodCurrent()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02") });
    AccountDataset* ds = dataset();
    ds->open();
    QVERIFY(ds->locate(QStringLiteral("2026-02"), Qt::CaseSensitive));

    // Opened over a current row, the dialog shows it; the operator picks January
    // with the keyboard and confirms with Return.
    env.onNextModal([](QDialog* shown) {
        shown->show();
        auto* grid = child<QTableView>(shown, "DBGridEh1");
        if (grid->currentIndex().row() != 1 || shown->focusWidget() != grid)
            return int(Platform::mrNone);
        QTest::keyClick(grid, Qt::Key_Up);
        QTest::keyClick(grid, Qt::Key_Return);
        return shown->result() == QDialog::Accepted ? int(Platform::mrOk) : int(Platform::mrCancel);
    });
    auto first = std::make_unique<TFrmAccount>(nullptr);
    QCOMPARE(Platform::ShowModal(first.get()), int(Platform::mrOk));
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-01"));

    // A new period saved and confirmed is the one left current.
    env.onNextModal([](QDialog* shown) {
        shown->show();
        QTest::mouseClick(child<QPushButton>(shown, "btNew"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(shown, "btSave"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(shown, "btnInto"), Qt::LeftButton);
        return shown->result() == QDialog::Accepted ? int(Platform::mrOk) : int(Platform::mrCancel);
    });
    auto second = std::make_unique<TFrmAccount>(nullptr);
    QCOMPARE(Platform::ShowModal(second.get()), int(Platform::mrOk));
    QVERIFY2(env.messages.isEmpty(), qPrintable(env.messageTexts().join(u'|')));
    QCOMPARE(storedPeriods(env), 3);
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    QCOMPARE(ds->fieldDateTime(QStringLiteral("end_date")), QDateTime(QDate(2026, 3, 31), QTime(0, 0)));
}

void TestAccount::creationAndShowing()
{
    TestEnv env;
    prepare(env, { QStringLiteral("2026-01"), QStringLiteral("2026-02") });

    // Date formats are set only where the system says "XP".
    {
        TFrmAccount dialog(nullptr);
        QVERIFY(Platform::localeInfoCalls().isEmpty());
    }
    Platform::setOSVersion(QStringLiteral("windows xp"));
    TFrmAccount(nullptr).FormDestroy();
    QVERIFY(Platform::localeInfoCalls().isEmpty());
    Platform::setOSVersion(QStringLiteral("Microsoft Windows XP [5.1.2600]"));
    TFrmAccount(nullptr).FormDestroy();
    const QList<Platform::LocaleInfoCall> calls = Platform::localeInfoCalls();
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls[0].locale, 0x0800u);
    QCOMPARE(calls[0].type, 0x1Fu);
    QCOMPARE(calls[0].value, QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(calls[1].type, 0x1003u);
    QCOMPARE(calls[1].value, QStringLiteral("HH:nn:ss"));

    // Showing opens the dataset; the grid lists the names only.
    QVERIFY(!dataset()->isOpen());
    auto dialog = showDialog();
    QVERIFY(dataset()->isOpen());
    auto* grid = child<QTableView>(dialog.get(), "DBGridEh1");
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->model()->columnCount(), 1);
    QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("2026-01") + Prjconst::_AccountStr);
    QCOMPARE(grid->horizontalHeader()->sectionSize(0), 108);
    QCOMPARE(dbYm(dialog.get())->text(), QStringLiteral("2026-01"));
    QVERIFY(inBrowseMode(dialog.get()));
    QVERIFY(!child<QWidget>(dialog.get(), "Gauge")->isVisible());
    QVERIFY(env.messages.isEmpty());
    dialog->hide();

    // The hint, only while the login dialog asks for this month's period.
    dialog->show();
    QVERIFY(env.messages.isEmpty());
    dialog->hide();
    dialog->setNeedCreateAccount(true);
    dialog->show();
    QCOMPARE(env.messages.size(), 1);
    QCOMPARE(env.messages[0].text, Prjconst::_msgCreateAccount);
    QCOMPARE(env.messages[0].caption, Prjconst::_msg_Information);
    QCOMPARE(env.messages[0].flags, 64);
    dialog->hide();

    // The global reference is cleared with its own dialog only.
    AAccount::FrmAccount = dialog.get();
    delete new TFrmAccount(nullptr);
    QCOMPARE(AAccount::FrmAccount, dialog.get());
    dialog.reset();
    QCOMPARE(AAccount::FrmAccount, nullptr);

    // A dataset that cannot be read: reported, and the dialog closes again
    // without an exception reaching the event loop.
    {
        QVERIFY(env.createDataModule());
        env.exec(QStringLiteral("DROP TABLE Accounts"));
        env.messages.clear();
        auto broken = std::make_unique<TFrmAccount>(nullptr);
        broken->show();
        QTRY_VERIFY(!broken->isVisible());
        QCOMPARE(broken->result(), int(Platform::mrCancel));
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(env.messages[0].caption, Prjconst::_msg_Error);
    }
}

QTEST_MAIN(TestAccount)
#include "tst_account.moc"
