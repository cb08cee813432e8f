// Password change dialog: refusals, what is stored, and a write the database refuses.
#include "TestSupport.h"

#include "db/Query.h"
#include "host/Prjconst.h"
#include "platform/ui/ModalShow.h"
#include "signin/Operators.h"
#include "signin/PasswordHash.h"
#include "signin/ui/Password.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

using TestSupport::TestEnv;

namespace {

// A stored password as the tests compare it: plain text as it stands, a hash
// as "#" and the password it was made of (one of those the tests type).
QString shown(const QString& stored)
{
    if (!PasswordHash::isHash(stored))
        return stored;
    for (const char16_t* typed : { u"new", u"old", u"other", u"1234", u"x" }) {
        if (PasswordHash::matches(stored, QString::fromUtf16(typed)))
            return u'#' + QString::fromUtf16(typed);
    }
    return QStringLiteral("#?");
}

struct Fixture
{
    TestEnv env;
    std::unique_ptr<TFrmPassword> dialog;

    Fixture()
    {
        env.createDatabase();
        const QString insert
            = QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)");
        env.exec(insert, { QStringLiteral("1"), QStringLiteral("王五"), QStringLiteral("old"), 1, 0 });
        env.exec(insert, { QStringLiteral("2"), QStringLiteral("王五"), QStringLiteral("other"), 1, 0 });
        env.exec(insert, { QStringLiteral("3"), QStringLiteral("李四"), QStringLiteral("1234"), 1, 1 });
        if (!env.createDataModule())
            qFatal("no data module");
        dialog = std::make_unique<TFrmPassword>();
        Password::FrmPassword = dialog.get();
    }

    QLineEdit* box(const char* name) { return dialog->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QStringList boxes()
    {
        QStringList texts;
        for (const char* name : { "edUserName", "edOldPassword", "edNewPassword", "edConfigPassword" })
            texts << box(name)->text();
        return texts;
    }
    void type(const QString& name, const QString& old, const QString& fresh, const QString& confirm)
    {
        box("edUserName")->setText(name);
        box("edOldPassword")->setText(old);
        box("edNewPassword")->setText(fresh);
        box("edConfigPassword")->setText(confirm);
    }
    // password and isNew of each operator, in row order
    QStringList rows()
    {
        Db::Query q(env.db(), QStringLiteral("SELECT User_id, password, isNew FROM Users ORDER BY User_id"));
        q.open();
        QStringList out;
        for (const Db::Row& row : q.rows())
            out << row.text(QStringLiteral("User_id")) + u':' + shown(row.text(QStringLiteral("password"))) + u':'
                    + row.text(QStringLiteral("isNew"));
        return out;
    }
};

const QStringList unchanged = { QStringLiteral("1:old:1"), QStringLiteral("2:other:1"), QStringLiteral("3:1234:1") };

} // namespace

class TestPassword : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void refusalsChangeNothing();
    void changeStoresTrimmedPasswordAndClearsFlag();
    void refusedWriteEmptiesTheBoxes();
    void lostAnswerIsSettled();
    void reachesTheRowWhateverTheIdType();
    void keyboardAndLifetime();
    void operatorsService();
};

void TestPassword::cleanup()
{
    QCOMPARE(Password::FrmPassword, nullptr);
}

void TestPassword::refusalsChangeNothing()
{
    struct Case
    {
        QStringList typed;
        QString message;
        QStringList after;
    };
    const Case cases[] = {
        { { QStringLiteral("nobody"), QStringLiteral("old"), QStringLiteral("a"), QStringLiteral("a") },
            Prjconst::_UserNameNotExists,
            { QString(), QStringLiteral("old"), QStringLiteral("a"), QStringLiteral("a") } },
        // Only the first row of a name is compared.
        { { QStringLiteral("王五"), QStringLiteral("other"), QStringLiteral("a"), QStringLiteral("a") },
            Prjconst::_OldPassWordErr,
            { QStringLiteral("王五"), QString(), QStringLiteral("a"), QStringLiteral("a") } },
        { { QStringLiteral("王五"), QStringLiteral("OLD"), QStringLiteral("a"), QStringLiteral("a") },
            Prjconst::_OldPassWordErr,
            { QStringLiteral("王五"), QString(), QStringLiteral("a"), QStringLiteral("a") } },
        { { QStringLiteral("王五"), QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("New") },
            Prjconst::_SPassWordDif, { QStringLiteral("王五"), QStringLiteral("old"), QString(), QString() } },
    };
    Fixture f;
    for (const Case& c : cases) {
        f.env.messages.clear();
        f.type(c.typed[0], c.typed[1], c.typed[2], c.typed[3]);
        f.dialog->BitokClick();
        QCOMPARE(f.env.messages.size(), 1);
        QCOMPARE(f.env.messages[0].text, c.message);
        QCOMPARE(f.env.messages[0].caption, Prjconst::_msg_Error);
        QCOMPARE(f.env.messages[0].flags, 16);
        QCOMPARE(f.boxes(), c.after);
        QCOMPARE(f.dialog->result(), 0);
        QCOMPARE(f.rows(), unchanged);
    }
}

void TestPassword::changeStoresTrimmedPasswordAndClearsFlag()
{
    {
        // Spaces around the typed texts are dropped; the other "王五" keeps its own row.
        Fixture f;
        f.type(QStringLiteral(" 王五 "), QStringLiteral("\told "), QStringLiteral("  new "), QStringLiteral("new\n"));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk }));
        QCOMPARE(f.env.messages[0].caption, Prjconst::_msg_Information);
        QCOMPARE(f.env.messages[0].flags, 64);
        QCOMPARE(f.rows(),
            QStringList({ QStringLiteral("1:#new:0"), QStringLiteral("2:other:1"), QStringLiteral("3:1234:1") }));
        QCOMPARE(f.boxes(), QStringList({ QString(), QString(), QString(), QString() }));
        QCOMPARE(f.dialog->result(), int(Platform::mrOk));
    }
    {
        // Another operator, stopped or not, with that operator's old password;
        // an empty new password is refused with its own message.
        Fixture f;
        f.type(QStringLiteral("李四"), QStringLiteral("1234"), QString(), QStringLiteral(" "));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_NewPassWordEmpty }));
        QCOMPARE(f.env.messages[0].flags, 16);
        QCOMPARE(f.rows(), unchanged);
        QCOMPARE(f.dialog->result(), 0);
        f.env.messages.clear();
        f.type(QStringLiteral("李四"), QStringLiteral("1234"), QStringLiteral("x"), QStringLiteral(" x"));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk }));
        QCOMPARE(f.rows(),
            QStringList({ QStringLiteral("1:old:1"), QStringLiteral("2:other:1"), QStringLiteral("3:#x:0") }));
    }
}

void TestPassword::refusedWriteEmptiesTheBoxes()
{
    Fixture f;
    // A database that refuses every new password.
    if (Db::engineOf(f.env.db()) == Db::Engine::SQLite)
        f.env.exec(QStringLiteral("CREATE TRIGGER no_new_password BEFORE UPDATE OF password ON Users "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    else
        f.env.exec(QStringLiteral("ALTER TABLE Users ADD CONSTRAINT no_new_password CHECK (length(password) < 10)"));
    f.type(QStringLiteral("王五"), QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
    f.dialog->BitokClick();
    QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordLenISZero }));
    QCOMPARE(f.env.messages[0].caption, Prjconst::_msg_Error);
    QCOMPARE(f.env.messages[0].flags, 16);
    QCOMPARE(f.boxes(), QStringList({ QString(), QString(), QString(), QString() }));
    QCOMPARE(f.dialog->result(), 0);
    QCOMPARE(f.rows(), unchanged);
}

// The connection goes while the change is written: before the server stored
// it (the change is sent again), or after (it is found stored). Either way the
// operator is told the password is changed, and the row holds it.
void TestPassword::lostAnswerIsSettled()
{
    if (TestSupport::TestEnv::engine() != Db::Engine::PostgreSQL)
        QSKIP("a lost answer needs a server");
    for (const bool storedFirst : { false, true }) {
        Fixture f;
        f.env.exec(QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)"),
            { QStringLiteral("4"), QStringLiteral("赵七"), QStringLiteral("old"), 1, 0 });
        // The first update of Users ends its session; with storedFirst, after
        // another session has stored the new password, as a commit would have.
        const QString conninfo
            = qEnvironmentVariable("KOLVANE_TEST_PG") + QStringLiteral(" dbname=") + f.env.databaseName();
        const QString store = QStringLiteral("PERFORM dblink_exec('%1', 'UPDATE Users SET password = ''%2'', isNew = 0 "
                                             "WHERE User_id = ''4''');")
                                  .arg(conninfo, Operators::storedForm(f.env.db(), QStringLiteral("new")));
        f.env.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS dblink"));
        f.env.exec(QStringLiteral("CREATE SEQUENCE lost_answers"));
        f.env.exec(
            QStringLiteral("CREATE FUNCTION lose_answer() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN "
                           "IF nextval('lost_answers') = 1 THEN %1 PERFORM pg_terminate_backend(pg_backend_pid()); "
                           "END IF; RETURN NULL; END $body$")
                .arg(storedFirst ? store : QString()));
        f.env.exec(QStringLiteral(
            "CREATE TRIGGER lose_answer BEFORE UPDATE ON Users FOR EACH STATEMENT EXECUTE FUNCTION lose_answer()"));
        f.type(QStringLiteral("赵七"), QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk }));
        QCOMPARE(f.dialog->result(), int(Platform::mrOk));
        QCOMPARE(f.rows(), unchanged + QStringList { QStringLiteral("4:#new:0") });
    }
}

// Databases carried over from elsewhere may hold the operator's id as a number,
// or none at all: the change must still reach that row and only that row.
void TestPassword::reachesTheRowWhateverTheIdType()
{
    const bool sqlite = TestSupport::TestEnv::engine() == Db::Engine::SQLite;
    for (const QString& idType :
        { QStringLiteral("INTEGER"), sqlite ? QStringLiteral("TEXT") : QStringLiteral("VARCHAR(20)") }) {
        Fixture f;
        f.env.exec(QStringLiteral("DROP TABLE Users"));
        f.env.exec(QStringLiteral("CREATE TABLE Users (User_id %1, username VARCHAR(50), password VARCHAR(50), "
                                  "isNew INTEGER, IsStop INTEGER, Access TEXT)")
                       .arg(idType));
        const QString insert
            = QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)");
        f.env.exec(insert, { 7, QStringLiteral("王五"), QStringLiteral("old"), 1, 0 });
        f.env.exec(insert, { 8, QStringLiteral("王五"), QStringLiteral("old"), 1, 0 });
        f.env.exec(insert, { QVariant(), QStringLiteral("赵六"), QVariant(), 1, 0 });
        f.env.exec(insert, { 9, QStringLiteral("赵六"), QVariant(), 1, 0 });
        const auto state = [&f] {
            QStringList out;
            Db::Query q(f.env.db(),
                QStringLiteral("SELECT User_id, username, password, isNew FROM Users ORDER BY username, User_id"));
            q.open();
            for (const Db::Row& row : q.rows())
                out << row.text(QStringLiteral("User_id")) + u':' + shown(row.text(QStringLiteral("password"))) + u':'
                        + row.text(QStringLiteral("isNew"));
            return out;
        };
        const QString nullFirst = sqlite ? QStringLiteral(":#new:0") : QStringLiteral("9::1");
        const QString nullSecond = sqlite ? QStringLiteral("9::1") : QStringLiteral(":#new:0");

        f.type(QStringLiteral("王五"), QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk }));
        f.type(QStringLiteral("赵六"), QString(), QStringLiteral("new"), QStringLiteral("new"));
        f.dialog->BitokClick();
        QCOMPARE(f.env.messageTexts(), QStringList({ Prjconst::_SPassWordChangeOk, Prjconst::_SPassWordChangeOk }));
        // The first row of each name changed, the other kept its own.
        QCOMPARE(
            state(), QStringList({ QStringLiteral("7:#new:0"), QStringLiteral("8:old:1"), nullFirst, nullSecond }));
    }
}

void TestPassword::keyboardAndLifetime()
{
    Fixture f;
    TFrmPassword* dialog = f.dialog.get();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QLineEdit* edits[]
        = { f.box("edUserName"), f.box("edOldPassword"), f.box("edNewPassword"), f.box("edConfigPassword") };
    edits[0]->setFocus();
    for (int i = 0; i < 4; ++i) {
        QTRY_COMPARE(QApplication::focusWidget(), edits[i]);
        QTest::keyClick(edits[i], Qt::Key_Return);
    }
    QCOMPARE(QApplication::focusWidget(), dialog->findChild<QPushButton*>(QStringLiteral("bitok")));
    QVERIFY(f.env.messages.isEmpty());

    QTest::keyClick(dialog, Qt::Key_Escape);
    QCOMPARE(dialog->result(), int(Platform::mrCancel));
    f.dialog.reset();
    QCOMPARE(Password::FrmPassword, nullptr);
}

void TestPassword::operatorsService()
{
    using Operators::passwordMatches;
    // The typed text is trimmed, the stored one is not; case counts; an empty
    // stored password (NULL reads as empty) is opened by a blank one.
    QVERIFY(passwordMatches(QStringLiteral("old"), QStringLiteral(" old\t")));
    QVERIFY(!passwordMatches(QStringLiteral("old"), QStringLiteral("OLD")));
    QVERIFY(!passwordMatches(QStringLiteral("old"), QStringLiteral("ol")));
    QVERIFY(!passwordMatches(QStringLiteral("old "), QStringLiteral("old ")));
    QVERIFY(passwordMatches(QString(), QStringLiteral("  ")));
    QVERIFY(!passwordMatches(QString(), QStringLiteral("x")));

    Fixture f;
    const QSqlDatabase db = f.env.db();
    QCOMPARE(
        Operators::names(db), QStringList({ QStringLiteral("王五"), QStringLiteral("王五"), QStringLiteral("李四") }));
    const std::optional<Operators::Operator> stopped = Operators::find(db, QStringLiteral("李四"));
    QVERIFY(stopped && stopped->stopped && stopped->isNew);
    QCOMPARE(stopped->id, QStringLiteral("3"));
    QVERIFY(!Operators::findActive(db, QStringLiteral("李四")));
    QVERIFY(!Operators::find(db, QStringLiteral(" 李四")));

    // The change reaches only the row as it was read: once its password has
    // changed since, no row is written.
    const std::optional<Operators::Operator> first = Operators::find(db, QStringLiteral("王五"));
    QVERIFY(first && Operators::findActive(db, QStringLiteral("王五")));
    QCOMPARE(first->password, QStringLiteral("old"));
    f.env.exec(QStringLiteral("UPDATE Users SET password='moved' WHERE User_id='1'"));
    QVERIFY(!Operators::changePassword(db, *first, QStringLiteral("new")));
    QCOMPARE(f.rows(),
        QStringList({ QStringLiteral("1:moved:1"), QStringLiteral("2:other:1"), QStringLiteral("3:1234:1") }));
    const std::optional<Operators::Operator> again = Operators::find(db, QStringLiteral("王五"));
    QVERIFY(Operators::changePassword(db, *again, QStringLiteral("new")));
    QCOMPARE(
        f.rows(), QStringList({ QStringLiteral("1:#new:0"), QStringLiteral("2:other:1"), QStringLiteral("3:1234:1") }));

    // A password kept as text becomes its hash after a right password, unless
    // the column is declared too narrow for one; a hash stays as it is.
    const std::optional<Operators::Operator> plain = Operators::find(db, QStringLiteral("李四"));
    const QString stored = Operators::hashStoredText(db, *plain, QStringLiteral(" 1234 "));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(f.rows().contains(QStringLiteral("3:#1234:1")));
    QCOMPARE(
        Operators::hashStoredText(db, *Operators::find(db, QStringLiteral("李四")), QStringLiteral("1234")), stored);
    if (TestSupport::TestEnv::engine() == Db::Engine::PostgreSQL) {
        f.env.exec(QStringLiteral("UPDATE Users SET password='new' WHERE User_id='1'"));
        f.env.exec(QStringLiteral("UPDATE Users SET password='1234' WHERE User_id='3'"));
        f.env.exec(QStringLiteral("ALTER TABLE Users ALTER COLUMN password TYPE VARCHAR(20)"));
        QVERIFY(Operators::hashWidthMissing(db));
        QCOMPARE(Operators::hashStoredText(db, *Operators::find(db, QStringLiteral("李四")), QStringLiteral("1234")),
            QStringLiteral("1234"));
        QCOMPARE(Operators::storedForm(db, QStringLiteral("abc")), QStringLiteral("abc"));
        QVERIFY(f.rows().contains(QStringLiteral("3:1234:1")));
    }
}

QTEST_MAIN(TestPassword)
#include "tst_password.moc"
