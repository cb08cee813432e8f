// The 管理 menu and the operators dialog: who sees the menu, and each change
// driven through the dialog as an operator would, with the rules of
// `kolvane-db user` and a log row for each change.
#include "TestSupport.h"

#include "host/Mainmodule.h"
#include "host/Varunit.h"
#include "periods/AccountRules.h"
#include "shell/AdminMenu.h"
#include "shell/Application.h"
#include "signin/PasswordHash.h"
#include "signin/Throttle.h"
#include "signin/ui/OperatorsDialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTranslator>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using TestSupport::TestEnv;

namespace {

// The operators: admin from an older database (both period rights, no line of
// the newer rights), 张三 who may create periods, 赵六 who may only import.
void prepare(TestEnv& env)
{
    env.createDatabase();
    TestSupport::addUser(env, u"1"_s, u"admin"_s, PasswordHash::make(u"pw"_s), 0, 0, u"ActAccount=5"_s);
    TestSupport::addUser(env, u"2"_s, u"张三"_s, PasswordHash::make(u"pw"_s), 0, 0, u"ActAccount=1"_s);
    TestSupport::addUser(env, u"3"_s, u"赵六"_s, PasswordHash::make(u"pw"_s), 0, 0, u"ActAccount=0\r\nActImport=1"_s);
    QVERIFY(env.createDataModule());
}

void select(TFrmOperators& dialog, const QString& name)
{
    const QList<QTableWidgetItem*> found = dialog.table()->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    dialog.table()->setCurrentCell(found.first()->row(), 0);
}

QString cell(TFrmOperators& dialog, const QString& name, int column)
{
    const QList<QTableWidgetItem*> found = dialog.table()->findItems(name, Qt::MatchExactly);
    return found.isEmpty() ? QString() : dialog.table()->item(found.first()->row(), column)->text();
}

// Handles the next modal edit dialog: `fill` types into it, OK is pressed as
// many times as `presses` says (a refusal keeps the dialog open).
void onEdit(TestEnv& env, std::function<void(TFrmOperatorEdit*, int press)> fill, int presses = 1)
{
    env.onNextModal([fill, presses](QDialog* dialog) {
        auto* edit = qobject_cast<TFrmOperatorEdit*>(dialog);
        if (!edit)
            return 0;
        for (int i = 0; i < presses && edit->result() != QDialog::Accepted; ++i) {
            fill(edit, i);
            edit->okClick();
        }
        return edit->result();
    });
}

QString accessOf(TestEnv& env, const QString& name)
{
    return env.scalar(u"SELECT Access FROM Users WHERE username=?"_s, { name }).toString();
}

} // namespace

class TestOperators : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void menuByRights();
    void operatorsDialog();
    void englishTexts();
};

// The menu is there for either right, its entries for the missing one
// disabled, and not at all for an operator with neither.
void TestOperators::menuByRights()
{
    TestEnv env;
    prepare(env);
    const auto entries = [](const QString& name) {
        Varunit::User_name = name;
        QMainWindow window;
        QMenu* menu = AdminMenu::install(&window);
        QStringList enabled;
        if (!menu)
            return QStringList { u"none"_s };
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isEnabled())
                enabled << action->text();
        return enabled;
    };
    QCOMPARE(entries(u"admin"_s).size(), 7);
    QCOMPARE(entries(u"张三"_s), QStringList { u"none"_s });
    const QStringList importer = entries(u"赵六"_s);
    QCOMPARE(importer.size(), 6);
    QVERIFY(!importer.contains(u"操作员(&U)…"_s));
    // The entries open the spreadsheet dialogs; a file not chosen does nothing.
    QStringList opened;
    const auto cancel = [&opened](QDialog* dialog) {
        opened << dialog->objectName();
        return int(QDialog::Rejected);
    };
    env.onNextModal(cancel);
    AdminMenu::importSheet(nullptr, u"rules"_s);
    env.onNextModal(cancel);
    AdminMenu::exportSheet(nullptr, u"schedule"_s);
    QCOMPARE(opened, (QStringList { u"SheetImportFile"_s, u"SheetExportFile"_s }));
    QVERIFY(env.messageTexts().isEmpty());
}

void TestOperators::operatorsDialog()
{
    TestEnv env;
    prepare(env);
    Varunit::User_name = u"admin"_s;
    TFrmOperators dialog({ u"admin"_s, u"admin"_s });
    QCOMPARE(dialog.table()->rowCount(), 3);
    QCOMPARE(cell(dialog, u"admin"_s, 6), u"是"_s); // manages operators, as an older database's admin

    // Rights: admin keeps the right to manage operators while nobody else has
    // it; the right to create periods goes, as 张三 has it too.
    select(dialog, u"admin"_s);
    onEdit(env, [](TFrmOperatorEdit* edit, int) {
        QVERIFY(edit->rightBox(0)->isChecked() && edit->rightBox(1)->isChecked() && edit->rightBox(2)->isChecked());
        edit->rightBox(0)->setChecked(false);
        edit->rightBox(2)->setChecked(false);
    });
    dialog.rightsClick();
    QCOMPARE(accessOf(env, u"admin"_s), u"ActAccount=5"_s);
    onEdit(env, [](TFrmOperatorEdit* edit, int) { edit->rightBox(0)->setChecked(false); });
    dialog.rightsClick();
    QCOMPARE(accessOf(env, u"admin"_s), u"ActAccount=4\r\nActOperator=1\r\nActImport=1"_s);
    // Stopping: never oneself, never the last who may create periods.
    select(dialog, u"admin"_s);
    dialog.stopClick();
    select(dialog, u"张三"_s);
    dialog.stopClick();
    QCOMPARE(env.scalar(u"SELECT IsStop FROM Users WHERE IsStop<>0"_s), QVariant());
    QCOMPARE(env.messageTexts(),
        QStringList({ u"这是最后一个能管理操作员的操作员，改动后就没有人能管理操作员了。"_s,
            u"操作员“admin”：新建帐套 否，删除帐套 是，管理操作员 是，导入数据 是。"_s, u"不能停用自己"_s,
            u"这是最后一个能新建帐套的操作员，改动后就没有人能新建帐套了。"_s }));

    // Add: the two passwords differ first, then agree; the rights as ticked.
    env.messages.clear();
    onEdit(
        env,
        [](TFrmOperatorEdit* edit, int press) {
            edit->nameEdit()->setText(u" 王五 "_s);
            edit->passwordEdit()->setText(u"first"_s);
            edit->againEdit()->setText(press == 0 ? u"frist"_s : u" first"_s);
            edit->rightBox(0)->setChecked(true);
        },
        2);
    dialog.addClick();
    QCOMPARE(env.messageTexts(),
        QStringList({ u"两次输入的密码不一致"_s, u"已添加操作员“王五”（编号 4），首次登录时须修改密码。"_s }));
    QCOMPARE(dialog.table()->rowCount(), 4);
    const QString stored = env.scalar(u"SELECT password FROM Users WHERE username='王五'"_s).toString();
    QVERIFY(PasswordHash::isHash(stored) && PasswordHash::matches(stored, u"first"_s));
    QCOMPARE(env.scalar(u"SELECT isNew FROM Users WHERE username='王五'"_s).toInt(), 1);
    QCOMPARE(AccountRules::rightsIn(accessOf(env, u"王五"_s)), (AccountRules::Rights { 1, false, false }));
    // A name that exists is refused and the dialog stays open.
    onEdit(env, [](TFrmOperatorEdit* edit, int) {
        edit->nameEdit()->setText(u"张三"_s);
        edit->passwordEdit()->setText(u"x"_s);
        edit->againEdit()->setText(u"x"_s);
    });
    env.messages.clear();
    dialog.addClick();
    QCOMPARE(env.messageTexts(), QStringList { u"操作员“张三”已经存在"_s });
    QCOMPARE(dialog.table()->rowCount(), 4);

    // 张三 is no longer the last who may create periods; an operator without
    // the right to manage operators changes nothing.
    select(dialog, u"张三"_s);
    dialog.stopClick();
    QCOMPARE(env.scalar(u"SELECT IsStop FROM Users WHERE username='张三'"_s).toInt(), 1);
    QCOMPARE(cell(dialog, u"张三"_s, 2), u"是"_s);
    env.messages.clear();
    TFrmOperators other({ u"王五"_s, u"王五"_s });
    select(other, u"赵六"_s);
    other.stopClick();
    QCOMPARE(env.messageTexts(), QStringList { u"操作员“王五”不能管理操作员"_s });
    QCOMPARE(env.scalar(u"SELECT IsStop FROM Users WHERE username='赵六'"_s).toInt(), 0);

    select(dialog, u"王五"_s);
    onEdit(env, [](TFrmOperatorEdit* edit, int) {
        QVERIFY(edit->rightBox(0)->isChecked() && !edit->rightBox(2)->isChecked());
        edit->rightBox(1)->setChecked(true);
        edit->rightBox(2)->setChecked(true);
    });
    dialog.rightsClick();
    QCOMPARE(AccountRules::rightsIn(accessOf(env, u"王五"_s)), (AccountRules::Rights { 5, true, false }));
    QCOMPARE(cell(dialog, u"王五"_s, 6), u"是"_s);

    // Reset: a new password to be changed at the next sign-in.
    env.exec(u"UPDATE Users SET isNew=0 WHERE username='王五'"_s);
    select(dialog, u"王五"_s);
    onEdit(env, [](TFrmOperatorEdit* edit, int) {
        edit->passwordEdit()->setText(u"second"_s);
        edit->againEdit()->setText(u"second"_s);
    });
    dialog.resetClick();
    QVERIFY(PasswordHash::matches(env.scalar(u"SELECT password FROM Users WHERE username='王五'"_s).toString(), u"second"_s));
    QCOMPARE(env.scalar(u"SELECT isNew FROM Users WHERE username='王五'"_s).toInt(), 1);

    // Unlock: the lock shows in the list and ends.
    for (int i = 0; i < 5; ++i)
        Throttle::countFailure(env.db(), u"王五"_s);
    dialog.reload();
    QVERIFY(!cell(dialog, u"王五"_s, 8).isEmpty());
    select(dialog, u"王五"_s);
    dialog.unlockClick();
    QCOMPARE(Throttle::secondsLocked(env.db(), u"王五"_s), 0);
    QVERIFY(cell(dialog, u"王五"_s, 8).isEmpty());
    QCOMPARE(env.pendingModalHandlers(), 0);

    // One log row for each change made, none for a refusal, under the operator's name.
    Db::Query log(env.db(), u"SELECT opUser, BeWrite FROM OpLog ORDER BY id"_s);
    QStringList rows;
    for (const Db::Row& row : log.open().rows())
        rows << row.text(u"opUser"_s) + u'|' + row.text(u"BeWrite"_s);
    QCOMPARE(rows,
        QStringList({ u"admin|操作员管理：权限“admin”：新建帐套 否，删除帐套 是，管理操作员 是，导入数据 是"_s,
            u"admin|操作员管理：新增“王五”"_s, u"admin|操作员管理：停用“张三”"_s,
            u"admin|操作员管理：权限“王五”：新建帐套 是，删除帐套 是，管理操作员 是，导入数据 否"_s,
            u"admin|操作员管理：重设密码“王五”"_s, u"admin|操作员管理：解锁“王五”"_s }));
}

// Under an English locale every text of the menu and the dialogs is English.
void TestOperators::englishTexts()
{
    QVERIFY(TApplication::installTranslations(QLocale(QLocale::English, QLocale::UnitedKingdom)));
    const auto uninstall = qScopeGuard([] {
        for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    });
    TestEnv env;
    prepare(env);
    Varunit::User_name = u"admin"_s;
    static const QRegularExpression han(u"\\p{Han}"_s);
    QStringList chinese;
    const auto check = [&](const QString& text) {
        if (text.contains(han))
            chinese << text;
    };
    QMainWindow window;
    QMenu* menu = AdminMenu::install(&window);
    QVERIFY(menu);
    check(menu->title());
    for (QAction* action : menu->actions())
        check(action->text());
    TFrmOperators dialog({ u"admin"_s, u"admin"_s });
    check(dialog.windowTitle());
    for (int c = 0; c < dialog.table()->columnCount(); ++c)
        check(dialog.table()->horizontalHeaderItem(c)->text());
    for (int c = 2; c < dialog.table()->columnCount(); ++c)
        check(dialog.table()->item(0, c)->text());
    QList<QWidget*> forms = { &dialog };
    TFrmOperatorEdit add(TFrmOperatorEdit::Mode::Add, { u"admin"_s, u"admin"_s }, {});
    TFrmOperatorEdit reset(TFrmOperatorEdit::Mode::ResetPassword, { u"admin"_s, u"admin"_s }, {});
    forms << &add << &reset;
    for (QWidget* form : forms) {
        check(form->windowTitle());
        for (QAbstractButton* b : form->findChildren<QAbstractButton*>())
            check(b->text());
        for (QLabel* l : form->findChildren<QLabel*>())
            check(l->text());
        for (QLineEdit* e : form->findChildren<QLineEdit*>())
            check(e->placeholderText());
    }
    QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(u'\n')));
    // A refusal, in English too.
    select(dialog, u"admin"_s);
    dialog.stopClick();
    QCOMPARE(env.messageTexts(), QStringList { u"You cannot stop yourself"_s });
    QCOMPARE(env.messages.first().caption, u"Error"_s);
}

QTEST_MAIN(TestOperators)
#include "tst_operators.moc"
