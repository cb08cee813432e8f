// Operators' secrets: the stored form of a password, and the lock after wrong
// passwords as it forgets, fails closed and counts names as Users compares them.
#include "TestSupport.h"

#include "db/Query.h"
#include "signin/PasswordHash.h"
#include "signin/Throttle.h"

#include <QTest>

using namespace TestSupport;

class TestSecrets : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedPasswords();
    void lockForgetsAndSurvivesClockChanges();
    void namesCountAsUsersComparesThem();
};

void TestSecrets::storedPasswords()
{
    const QString typed = QStringLiteral("密码 pass ü");
    const QString stored = PasswordHash::make(typed);
    // Fits a VARCHAR(50) column, names its parameters, and never holds the text.
    QCOMPARE(stored.size(), PasswordHash::storedLength);
    QVERIFY(stored.startsWith(u"$k1$"));
    QVERIFY(!stored.contains(u"pass"));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(PasswordHash::matches(stored, typed));
    // Exact and case-sensitive, as the plain comparison was.
    QVERIFY(!PasswordHash::matches(stored, QStringLiteral("密码 PASS ü")));
    QVERIFY(!PasswordHash::matches(stored, typed + u' '));
    QVERIFY(!PasswordHash::matches(stored, QString()));
    // A fresh salt each time.
    QVERIFY(PasswordHash::make(typed) != stored);
    // The stored text itself typed in opens nothing; a damaged hash neither.
    QVERIFY(!PasswordHash::matches(stored, stored));
    QString damaged = stored;
    damaged[damaged.size() - 3] = damaged[damaged.size() - 3] == u'A' ? u'B' : u'A';
    QVERIFY(!PasswordHash::matches(damaged, typed));
    // Plain text from an older database or an import still compares, exactly.
    QVERIFY(!PasswordHash::isHash(QStringLiteral("1234")));
    QVERIFY(PasswordHash::matches(QStringLiteral("1234"), QStringLiteral("1234")));
    QVERIFY(!PasswordHash::matches(QStringLiteral("1234"), QStringLiteral("12345")));
    QVERIFY(PasswordHash::matches(QString(), QString()));
}

void TestSecrets::lockForgetsAndSurvivesClockChanges()
{
    TestEnv env;
    env.createDatabase(true);
    QSqlDatabase db = env.db();
    const QString admin = QStringLiteral("admin");
    const bool server = TestEnv::engine() == Db::Engine::PostgreSQL;
    // Moves every failure `seconds` into the past, as the passing of time would.
    const auto age = [&](int seconds) {
        env.exec(QStringLiteral("UPDATE LoginFailures SET last_failure = last_failure - ?, "
                                "locked_until = locked_until - ?"),
            { seconds, seconds });
    };
    QCOMPARE(Throttle::secondsLocked(db, admin), 0);

    // Four failures, then a quarter of an hour of quiet: the count starts again.
    for (int i = 0; i < 4; ++i)
        Throttle::countFailure(db, admin);
    age(901);
    Throttle::countFailure(db, admin);
    QCOMPARE(Throttle::secondsLocked(db, admin), 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT failures FROM LoginFailures")).toInt(), 1);
    // Five in a row lock; ten and more lock for at most 15 minutes, and an
    // old lock does not follow the name into its next mistake.
    for (int i = 0; i < 9; ++i)
        Throttle::countFailure(db, admin);
    QVERIFY(Throttle::secondsLocked(db, admin) > 890);
    age(1000);
    QCOMPARE(Throttle::secondsLocked(db, admin), 0);
    Throttle::countFailure(db, admin);
    QCOMPARE(Throttle::secondsLocked(db, admin), 0);

    if (!server) {
        // A workstation clock set back a year: the lock lasts what it was
        // given from now on, not until the clock catches up.
        for (int i = 0; i < 4; ++i)
            Throttle::countFailure(db, admin);
        QCOMPARE(Throttle::secondsLocked(db, admin), 30);
        const QDateTime now = QDateTime(QDate(2026, 3, 15), QTime(9, 30));
        env.setNow(now.addYears(-1));
        QVERIFY(Throttle::secondsLocked(db, admin) <= 30);
        env.setNow(now.addYears(-1).addSecs(31));
        QCOMPARE(Throttle::secondsLocked(db, admin), 0);
        env.setNow(now);
    }

    // A table the count cannot use refuses, with a message naming it.
    env.exec(QStringLiteral("DROP TABLE LoginFailures"));
    env.exec(QStringLiteral("CREATE VIEW LoginFailures AS SELECT DISTINCT username FROM Users"));
    for (const auto& step : std::initializer_list<std::function<void()>> {
             [&] { Throttle::secondsLocked(db, admin); }, [&] { Throttle::countFailure(db, admin); },
             [&] { Throttle::clear(db, admin); } }) {
        try {
            step();
            QFAIL("the count was let through");
        } catch (const Db::Error& e) {
            QVERIFY2(e.message().contains(u"LoginFailures"), qPrintable(e.message()));
        }
    }
}

void TestSecrets::namesCountAsUsersComparesThem()
{
    TestEnv env;
    env.createDatabase(true);
    // A Users table whose names ignore letter case, as sites' servers and
    // imported SQLite files may have it.
    if (TestEnv::engine() == Db::Engine::PostgreSQL) {
        env.exec(QStringLiteral("CREATE COLLATION IF NOT EXISTS kolvane_nocase "
                                "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)"));
        env.exec(QStringLiteral("ALTER TABLE Users ALTER COLUMN username TYPE VARCHAR(50) COLLATE kolvane_nocase"));
    } else {
        env.exec(QStringLiteral("ALTER TABLE Users RENAME TO UsersOld"));
        env.exec(QStringLiteral("CREATE TABLE Users (User_id VARCHAR(20), username VARCHAR(50) COLLATE NOCASE, "
                                "password VARCHAR(50), isNew INTEGER, IsStop INTEGER, Access TEXT)"));
        env.exec(QStringLiteral("INSERT INTO Users SELECT User_id, username, password, isNew, IsStop, Access "
                                "FROM UsersOld"));
        env.exec(QStringLiteral("DROP TABLE UsersOld"));
    }
    QSqlDatabase db = env.db();
    for (const char16_t* spelling : { u"admin", u"ADMIN", u"Admin", u"aDmIn", u"ADMIN" })
        Throttle::countFailure(db, QString::fromUtf16(spelling));
    QVERIFY(Throttle::secondsLocked(db, QStringLiteral("admin")) > 0);
    QVERIFY(Throttle::secondsLocked(db, QStringLiteral("ADMIN")) > 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM LoginFailures")).toInt(), 1);
    // Names of nobody are counted as typed.
    Throttle::countFailure(db, QStringLiteral("Nobody"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM LoginFailures")).toInt(), 2);
}

QTEST_MAIN(TestSecrets)
#include "tst_secrets.moc"
