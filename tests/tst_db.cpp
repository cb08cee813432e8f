// Query rules, the account-period dataset and the data module's connection.
#include "TestSupport.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/AccountDataset.h"
#include "host/Functions.h"
#include "host/Mainmodule.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QtTest>

using TestSupport::TestEnv;

class TestDb : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void queryBindsNamesAndReadsByAnyCase();
    void queryEmptyResultsAndErrors();
    void dateTimesRoundTrip();
    void accountDatasetBrowseAppendPostCancelDelete();
    void accountDatasetRefusesDuplicateMonth();
    void dataModuleFailureMessages_data();
    void dataModuleFailureMessages();
    void dataModuleReadsDatabaseSection();
    void functions();
};

void TestDb::queryBindsNamesAndReadsByAnyCase()
{
    TestEnv env;
    env.createDatabase();
    env.exec(QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)"),
        {QStringLiteral("7"), QStringLiteral("O'Brien"), QStringLiteral("pw"), 0, 0});
    env.exec(QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)"),
        {QStringLiteral("8"), QStringLiteral("O"), QStringLiteral("x"), 0, 1});
    env.exec(QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) VALUES (?,?,?,?,?)"),
        {QStringLiteral("9"), QStringLiteral("o'brien"), QStringLiteral("y"), 0, 0});

    // A quote stays inside the value: exactly that operator, by exact name.
    Db::Query q(env.db(), Db::sqlUserByName);
    q.bind(QStringLiteral("username"), QStringLiteral("O'Brien"));
    q.open();
    QCOMPARE(q.rowCount(), 1);
    QCOMPARE(q.text(QStringLiteral("User_id")), QStringLiteral("7"));
    for (const char16_t* name : {u"password", u"Password", u"PassWord"})
        QCOMPARE(q.text(QString::fromUtf16(name)), QStringLiteral("pw"));
    QCOMPARE(q.text(QStringLiteral("UserName")), QStringLiteral("O'Brien"));
    QCOMPARE(q.text(QStringLiteral("IsNew")), QStringLiteral("0"));

    // Injection attempts select nothing and change nothing.
    for (const char16_t* evil : {u"' or '1'='1", u"x'; DELETE FROM Users; --"}) {
        Db::Query attack(env.db(), Db::sqlUserByName);
        attack.bind(QStringLiteral("username"), QString::fromUtf16(evil));
        QCOMPARE(attack.open().rowCount(), 0);
    }
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Users")).toInt(), 3);

    // Stopped operators are not returned by the active-operator look-up.
    Db::Query active(env.db(), Db::sqlActiveUserByName);
    active.bind(QStringLiteral("username"), QStringLiteral("O"));
    QCOMPARE(active.open().rowCount(), 0);

    Db::Query all(env.db(), Db::sqlAllUsers);
    QCOMPARE(all.open().rowCount(), 3);
    QStringList names;
    do
        names << all.text(QStringLiteral("userName"));
    while (all.next());
    QCOMPARE(names.size(), 3);
}

void TestDb::queryEmptyResultsAndErrors()
{
    TestEnv env;
    env.createDatabase();
    Db::Query q(env.db(), Db::sqlAccountByYm);
    q.bind(QStringLiteral("ym"), QStringLiteral("2026-03"));
    q.open();
    QCOMPARE(q.rowCount(), 0);
    QVERIFY(q.text(QStringLiteral("ym")).isEmpty());
    QVERIFY(q.value(QStringLiteral("begin_date")).isNull());
    QVERIFY(!q.dateTime(QStringLiteral("begin_date")).isValid());
    QVERIFY_THROWS_EXCEPTION(Db::Error, q.text(QStringLiteral("no_such_column")));
    QVERIFY_THROWS_EXCEPTION(Db::Error, Db::Query(env.db(), QStringLiteral("SELECT * FROM NoSuchTable")).open());
    env.exec(QStringLiteral("DROP TABLE OpLog"));
    Db::Query insert(env.db(), Db::sqlInsertOpLog);
    QVERIFY_THROWS_EXCEPTION(Db::Error, insert.exec());
}

void TestDb::dateTimesRoundTrip()
{
    TestEnv env;
    env.createDatabase();
    const QDateTime stamp(QDate(2026, 3, 15), QTime(23, 59, 58));
    Db::Query insert(env.db(), Db::sqlInsertOpLog);
    insert.bind(QStringLiteral("opTime"), stamp);
    insert.bind(QStringLiteral("BeWrite"), QStringLiteral("登录"));
    insert.bind(QStringLiteral("opUser"), QStringLiteral("张三"));
    insert.bind(QStringLiteral("opComputer"), QStringLiteral("ABCDEFGHIJKLMNO"));
    insert.exec();
    Db::Query read(env.db(), QStringLiteral("SELECT * FROM OpLog"));
    read.open();
    QCOMPARE(read.dateTime(QStringLiteral("OPTIME")), stamp);
    QCOMPARE(read.text(QStringLiteral("opcomputer")), QStringLiteral("ABCDEFGHIJKLMNO"));
    // Stored in one sortable text form.
    QCOMPARE(env.scalar(QStringLiteral("SELECT opTime FROM OpLog")).toString(), QStringLiteral("2026-03-15 23:59:58"));

    QCOMPARE(Db::toDateTime(QStringLiteral("2026-03-01")), QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    QCOMPARE(Db::toDateTime(QStringLiteral("2026-03-01T08:00:00.000")), QDateTime(QDate(2026, 3, 1), QTime(8, 0)));
    QCOMPARE(Db::toDateTime(QDate(2026, 3, 1)), QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    QVERIFY(!Db::toDateTime(QString()).isValid());
    QVERIFY(!Db::toDateTime(QStringLiteral("kein Datum")).isValid());
}

static void addPeriod(TestEnv& env, const QString& ym)
{
    const QDate first = QDate::fromString(ym + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name, begin_date, end_date) VALUES (?,?,?,?)"),
        {ym, ym + QStringLiteral("月帐套"), first.startOfDay(), first.addMonths(1).addDays(-1).startOfDay()});
}

void TestDb::accountDatasetBrowseAppendPostCancelDelete()
{
    TestEnv env;
    env.createDatabase();
    addPeriod(env, QStringLiteral("2026-02"));
    addPeriod(env, QStringLiteral("2026-01"));
    QVERIFY(env.createDataModule());
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    QVERIFY(!ds->isOpen());
    ds->open();
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->fieldText(QStringLiteral("Ym")), QStringLiteral("2026-01"));
    QCOMPARE(ds->state(), AccountDataset::State::Browse);

    QVERIFY(!ds->locate(QStringLiteral("2026-03"), Qt::CaseSensitive));
    QCOMPARE(ds->currentRow(), 0);
    QVERIFY(ds->locate(QStringLiteral("2026-02"), Qt::CaseSensitive));
    QCOMPARE(ds->fieldDateTime(QStringLiteral("end_date")), QDateTime(QDate(2026, 2, 28), QTime(0, 0)));

    // Append then cancel: back on the row current before.
    ds->append();
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    ds->setFieldValue(QStringLiteral("Ym"), QStringLiteral("2026-03"));
    ds->cancel();
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-02"));

    // Append and post: stored, and still current after the reload.
    ds->append();
    ds->setFieldValue(QStringLiteral("ym"), QStringLiteral("2026-03"));
    ds->setFieldValue(QStringLiteral("account_name"), QStringLiteral("2026-03月帐套"));
    ds->setFieldValue(QStringLiteral("begin_date"), QDate(2026, 3, 1));
    ds->setFieldValue(QStringLiteral("end_date"), QDateTime(QDate(2026, 3, 31), QTime(0, 0)));
    ds->post();
    QCOMPARE(ds->state(), AccountDataset::State::Browse);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT end_date FROM Accounts WHERE ym='2026-03'")).toString(),
        QStringLiteral("2026-03-31 00:00:00"));

    // Delete the current row at once.
    QVERIFY(ds->locate(QStringLiteral("2026-01"), Qt::CaseSensitive));
    ds->remove();
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-01'")).toInt(), 0);
    QVERIFY_THROWS_EXCEPTION(Db::Error, ds->fieldValue(QStringLiteral("no_such_field")));
}

void TestDb::accountDatasetRefusesDuplicateMonth()
{
    TestEnv env;
    env.createDatabase();
    addPeriod(env, QStringLiteral("2026-02"));
    QVERIFY(env.createDataModule());
    AccountDataset* ds = Mainmodule::MainDM->accountData();
    ds->open();
    ds->append();
    ds->setFieldValue(QStringLiteral("ym"), QStringLiteral("2026-03"));
    // Another workstation stores the same month first.
    addPeriod(env, QStringLiteral("2026-03"));
    QVERIFY_THROWS_EXCEPTION(Db::Error, ds->post());
    QCOMPARE(ds->state(), AccountDataset::State::Insert);
    QCOMPARE(ds->fieldText(QStringLiteral("ym")), QStringLiteral("2026-03"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Accounts WHERE ym='2026-03'")).toInt(), 1);
    ds->cancel();
    QCOMPARE(ds->recordCount(), 1);
}

void TestDb::dataModuleFailureMessages_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "missing" << QStringLiteral("找不到数据库文件");
    QTest::newRow("access file") << "access" << QStringLiteral("不是本系统使用的 SQLite 数据库");
    QTest::newRow("empty file") << "empty" << QStringLiteral("不是本系统使用的 SQLite 数据库");
    QTest::newRow("other sqlite") << "foreign" << QStringLiteral("没有一卡通系统的数据表");
    QTest::newRow("directory") << "directory" << QStringLiteral("数据库路径不是文件");
    QTest::newRow("locked") << "locked" << QStringLiteral("锁定");
}

void TestDb::dataModuleFailureMessages()
{
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    TestEnv env;
    QByteArray before;
    if (setup == u"access") {
        QFile f(env.dbPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, '\x11'));
    } else if (setup == u"empty") {
        QFile f(env.dbPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (setup == u"foreign") {
        env.exec(QStringLiteral("CREATE TABLE Something (a INTEGER)"));
    } else if (setup == u"directory") {
        QVERIFY(QDir(env.appDir()).mkdir(QStringLiteral("Kolvane.mdb")));
    } else if (setup == u"locked") {
        env.createDatabase();
        env.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        env.exec(QStringLiteral("INSERT INTO OpLog (BeWrite) VALUES ('x')"));
    }
    QFile file(env.dbPath());
    if (file.open(QIODevice::ReadOnly))
        before = file.readAll();
    file.close();
    const auto files = [&] {
        QStringList names = QDir(env.appDir()).entryList(QDir::Files);
        names.removeIf([](const QString& n) { return n.endsWith(QStringLiteral("-journal")); });
        return names;
    };
    const QStringList filesBefore = files();

    QVERIFY(!env.createDataModule());
    QVERIFY(Mainmodule::bQuited);
    QCOMPARE(env.messages.size(), 1);
    QVERIFY2(env.messages[0].text.contains(expected), qPrintable(env.messages[0].text));
    QCOMPARE(env.messages[0].flags, 16);
    if (setup != u"directory" && setup != u"locked")
        QVERIFY(env.messages[0].text.contains(QStringLiteral("Kolvane.mdb")));
    // Nothing created or changed.
    if (setup == u"locked")
        env.exec(QStringLiteral("ROLLBACK"));
    QCOMPARE(files(), filesBefore);
    if (file.open(QIODevice::ReadOnly))
        QCOMPARE(file.readAll(), before);
}

void TestDb::dataModuleReadsDatabaseSection()
{
    TestEnv env;
    Platform::IniFile ini(env.iniPath());
    ini.writeString(QStringLiteral("Database"), QStringLiteral("Database"), QStringLiteral("data/suite.db"));
    Mainmodule::ConnectionSettings s = Mainmodule::readConnectionSettings(env.appDir());
    QCOMPARE(s.driver, QStringLiteral("QSQLITE"));
    QCOMPARE(s.file, env.appDir() + QStringLiteral("data/suite.db"));

    ini.writeString(QStringLiteral("Database"), QStringLiteral("Driver"), QStringLiteral("QPSQL"));
    ini.writeString(QStringLiteral("Database"), QStringLiteral("Host"), QStringLiteral("db.example"));
    ini.writeString(QStringLiteral("Database"), QStringLiteral("User"), QStringLiteral("kolvane"));
    s = Mainmodule::readConnectionSettings(env.appDir());
    QCOMPARE(s.driver, QStringLiteral("QPSQL"));
    QCOMPARE(s.port, 5432);
    QVERIFY(!s.hasPassword);
    QCOMPARE(s.describe(), QStringLiteral("kolvane@db.example:5432/data/suite.db"));
}

void TestDb::functions()
{
    using namespace Functions;
    QCOMPARE(IncMonth(QDate(2026, 12, 1), 1), QDate(2027, 1, 1));
    QCOMPARE(IncMonth(QDate(2024, 1, 1), -1), QDate(2023, 12, 1));
    QCOMPARE(DaysPerMonth(2028, 2), 29);
    QCOMPARE(DaysPerMonth(2100, 2), 28);
    QCOMPARE(DaysPerMonth(2026, 4), 30);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, DaysPerMonth(2026, 13));
    QCOMPARE(ExtractDay(QDateTime(QDate(2026, 3, 31), QTime(23, 0))), 31);
    for (const char16_t* t : {u"1", u"-1", u"true", u"TRUE", u"True"})
        QVERIFY(GetBoolean(QString::fromUtf16(t)));
    for (const char16_t* t : {u"", u"0", u"false", u"False", u"no"})
        QVERIFY(!GetBoolean(QString::fromUtf16(t)));
    QVERIFY(!GetOSVersion().contains(QStringLiteral("XP")));
}

QTEST_MAIN(TestDb)
#include "tst_db.moc"
