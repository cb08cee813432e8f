// Import of Access databases: the sample files read exactly into the suite
// database, the suite's own tables carried onto its schema so that the program
// signs in and rolls over on the result, an Access file met at start-up, and
// the command's all-or-nothing file handling.
#include "TestSupport.h"

#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/Prjconst.h"
#include "periods/Rollover.h"
#include "platform/ui/ModalShow.h"
#include "platform/Registry.h"
#include "signin/ui/Login.h"
#include "import/AccessSource.h"
#include "import/Importer.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlField>
#include <QSqlRecord>
#include <QtTest>

using TestSupport::TestEnv;
using namespace Import;

namespace {

QString samplesDir()
{
    const QString dir = qEnvironmentVariable("KOLVANE_ACCESS_SAMPLES", QStringLiteral(KOLVANE_ACCESS_SAMPLES));
    return dir + u'/';
}

#define REQUIRE_SAMPLES()                                                                                              \
    do {                                                                                                               \
        if (!QFileInfo::exists(samplesDir() + QStringLiteral("testV1997.mdb"))) {                                      \
            if (qEnvironmentVariable("CI") == u"true")                                                                 \
                QFAIL("no Access samples (KOLVANE_ACCESS_SAMPLES)");                                                   \
            QSKIP("no Access samples (KOLVANE_ACCESS_SAMPLES)");                                                       \
        }                                                                                                              \
    } while (false)

// An exact decimal as either engine writes it as text (read through a cast:
// Qt reads a NUMERIC as a double): no trailing zeros.
QString decimal(const QVariant& value)
{
    QString text = value.toString();
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

const TableReport* reportOf(const QList<TableReport>& reports, const QString& table)
{
    for (const TableReport& r : reports) {
        if (r.source == table)
            return &r;
    }
    return nullptr;
}

QList<TableReport> importInto(TestEnv& env, Source& source)
{
    QSqlDatabase db = env.db();
    if (!db.transaction())
        qFatal("no transaction");
    QList<TableReport> reports;
    try {
        reports = importAll(source, &db);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        qFatal("no commit");
    return reports;
}

// Rows handed over as the Access reader hands them, from tables held in memory.
class MemorySource : public Source
{
public:
    QList<Table> list;
    QList<QList<QVariantList>> rows;

    QList<Table> tables() override { return list; }
    qint64 readRows(const Table& table, const std::function<void(const QVariantList&)>& row) override
    {
        for (int i = 0; i < list.size(); ++i) {
            if (list.at(i).name == table.name) {
                for (const QVariantList& values : rows.at(i))
                    row(values);
            }
        }
        return 0;
    }
};

// The six tables of a demonstration database as an Access file of the Windows
// suite would hold them: yes/no flags, date-times, memos, names in other
// letter cases, one column the schema does not have, and one more table.
MemorySource accessLikeDemo(const QSqlDatabase& db)
{
    MemorySource source;
    const QStringList tables { QStringLiteral("USERS"), QStringLiteral("Accounts"), QStringLiteral("Employee"),
        QStringLiteral("Shifts_Rule"), QStringLiteral("Scheme"), QStringLiteral("OpLog") };
    for (const QString& name : tables) {
        Db::Query q(db, QStringLiteral("SELECT * FROM %1").arg(name));
        q.open();
        Table table;
        table.name = name;
        const QSqlRecord record = q.columns();
        for (int c = 0; c < record.count(); ++c) {
            Column column;
            const QString field = record.fieldName(c);
            column.name = field == u"username" ? QStringLiteral("UserName")
                : field == u"ym"               ? QStringLiteral("Ym")
                                               : field;
            const QString lower = field.toLower();
            if (lower == u"isnew" || lower == u"isstop")
                column.kind = Kind::Boolean;
            else if (lower.endsWith(u"date") || lower == u"optime")
                column.kind = Kind::DateTime;
            else if (lower == u"access" || lower == u"shifts")
                column.kind = Kind::Memo;
            else if (lower == u"shifts_cyc" || lower == u"id")
                column.kind = Kind::Integer;
            else
                column = Column { column.name, Kind::Text, 50, 0, 0, {} };
            table.columns << column;
        }
        if (name == u"Employee")
            table.columns << Column { QStringLiteral("Card_No"), Kind::Text, 20, 0, 0, {} };
        QList<QVariantList> values;
        for (const Db::Row& row : q.rows()) {
            QVariantList v;
            for (int c = 0; c < record.count(); ++c) {
                const QVariant value = row.value(record.fieldName(c));
                switch (table.columns.at(c).kind) {
                case Kind::Boolean:
                    v << QVariant(value.toInt() != 0);
                    break;
                case Kind::DateTime: {
                    const QDateTime local = Db::toDateTime(value);
                    v << (local.isValid() ? QVariant(QDateTime(local.date(), local.time(), Qt::UTC)) : QVariant());
                    break;
                }
                case Kind::Integer:
                    v << (value.isNull() ? QVariant() : QVariant(value.toInt()));
                    break;
                default:
                    v << (value.isNull() ? QVariant() : QVariant(value.toString()));
                    break;
                }
            }
            if (name == u"Employee")
                v << (values.size() % 2 ? QVariant(QString()) : QVariant()); // empty text and NULL, in turn
            values << v;
        }
        // A month's schedule twice for one employee breaks the key of Scheme.
        if (name == u"Scheme" && !values.isEmpty())
            values << values.first();
        source.list << table;
        source.rows << values;
    }
    Table other;
    other.name = QStringLiteral("Card_Record");
    other.columns << Column { QStringLiteral("card_no"), Kind::Text, 20, 0, 0, {} }
                  << Column { QStringLiteral("Amount"), Kind::Currency, 0, 0, 0, {} }
                  << Column { QStringLiteral("Swiped"), Kind::DateTime, 0, 0, 0, {} };
    other.uniqueKeys << Index { QStringLiteral("PrimaryKey"), { QStringLiteral("card_no") }, true };
    source.list << other;
    source.rows << QList<QVariantList> {
        { QStringLiteral("0001"), QStringLiteral("922337203685477.5807"),
            QDateTime(QDate(1899, 12, 29), QTime(6, 0, 0, 250), Qt::UTC) },
        { QStringLiteral("0002"), QStringLiteral("-0.0001"), QVariant() },
    };
    return source;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void samplesReadExactly();
    void suiteTablesSignInAndRollOver();
    void accessFileAtStartup();
    void commandWritesAllOrNothing();
    void valuesArriveAsTheyWere();
    void readerFailureIsContained();
    void linksLargeNumbersAndNames();
};

// Every sample lands whole (the rows the catalogue states, each written), with
// its exact values, on both engines.
void TestImport::samplesReadExactly()
{
    REQUIRE_SAMPLES();
    const QStringList files = QDir(samplesDir()).entryList({ QStringLiteral("*.mdb"), QStringLiteral("*.accdb") });
    QCOMPARE(files.size(), 19);
    for (const QString& file : files) {
        TestEnv env;
        AccessSource source(samplesDir() + file, file == u"jet3_gbk_no_codepage.mdb" ? 936 : 0);
        const QList<TableReport> reports = importInto(env, source);
        QVERIFY2(!reports.isEmpty(), qPrintable(file));
        for (const TableReport& r : reports) {
            const QString where = file + u' ' + r.source;
            // The catalogue of this one file counts a row fewer than it holds.
            const qint64 expected = file == u"calcFieldTestV2010.accdb" ? 4 : r.catalogue;
            QVERIFY2(r.read == expected && r.written == r.read && r.damaged == 0, qPrintable(where));
            QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Db::quotedName(env.db(), r.target)))
                         .toLongLong(),
                r.written);
        }
        auto value = [&](const char16_t* sql) { return env.scalar(QString::fromUtf16(sql)); };
        if (file == u"testV2003.mdb") {
            QCOMPARE(value(u"SELECT \"f\" FROM \"table1\" WHERE \"a\"='abcdefg'").toDouble(), 444.555);
            QCOMPARE(decimal(value(u"SELECT CAST(\"h\" AS VARCHAR(60)) FROM \"table1\" WHERE \"a\"='abcdefg'")),
                QStringLiteral("3.5"));
            QCOMPARE(Db::toDateTime(value(u"SELECT \"g\" FROM \"table1\" WHERE \"a\"='a'")),
                QDateTime(QDate(1981, 12, 12), QTime(0, 0)));
            QVERIFY(reportOf(reports, QStringLiteral("Table1"))->keptKeys.join(u' ').contains(u"(A)"));
            QVERIFY_THROWS_EXCEPTION(Db::Error,
                env.exec(QStringLiteral("INSERT INTO \"table1\" (\"a\") VALUES ('a')"))); // the key came along
        } else if (file == u"testUnicodeCompV2003.mdb") {
            QCOMPARE(value(u"SELECT \"unicode\" FROM \"table\" WHERE \"id\"=5").toString(),
                QStringLiteral("漢字仮名交じり文"));
            QCOMPARE(value(u"SELECT \"unicode\" FROM \"table\" WHERE \"id\"=3").toString(), QStringLiteral("Мир"));
        } else if (file == u"testEmoticonsV2010.accdb") {
            QCOMPARE(value(u"SELECT \"data\" FROM \"data\" WHERE \"key\"=128512").toString(), QStringLiteral("a😀a"));
        } else if (file == u"oldDatesV2007.accdb") {
            QCOMPARE(Db::toDateTime(value(u"SELECT \"datefield\" FROM \"table1\" WHERE \"id\"=4")).date(),
                QDate(1392, 1, 10));
            QCOMPARE(Db::toDateTime(value(u"SELECT \"datefield\" FROM \"table1\" WHERE \"id\"=1")).date(),
                QDate(1582, 10, 15));
        } else if (file == u"extDateTestV2019.accdb") {
            QCOMPARE(Db::toDateTime(value(u"SELECT \"datenormal\" FROM \"table1\" WHERE \"id\"=8")),
                QDateTime(QDate(100, 6, 14), QTime(12, 45)));
            const TableReport* r = reportOf(reports, QStringLiteral("Table1"));
            QCOMPARE(r->unreadable.size(), 2); // the extended date and a calculated column
            QVERIFY(r->unreadable.at(0).startsWith(u"DateExt"));
            QCOMPARE(env.db().record(QStringLiteral("table1")).indexOf(QStringLiteral("DateExt")), -1);
        } else if (file == u"calcFieldTestV2010.accdb") {
            QCOMPARE(decimal(value(u"SELECT CAST(\"popularity\" AS VARCHAR(60)) FROM \"table1\" WHERE \"id\"=4")),
                QStringLiteral("102030405060.654321"));
            QCOMPARE(decimal(value(u"SELECT CAST(\"salary\" AS VARCHAR(60)) FROM \"table1\" WHERE \"id\"=2")),
                QStringLiteral("-1"));
            QCOMPARE(reportOf(reports, QStringLiteral("Table1"))->unreadable.size(), 11);
        } else if (file == u"overflowTestV2003.mdb") {
            QCOMPARE(
                value(u"SELECT count(*) FROM \"table1\" WHERE \"data1\"='row1col1' AND \"data3\" IS NULL").toInt(), 1);
        } else if (file == u"complexDataTestV2010.accdb") {
            QCOMPARE(value(u"SELECT \"append-memo-data\" FROM \"table1\" WHERE \"id\"='row3'").toString(),
                QStringLiteral("row3-memo-again"));
            QCOMPARE(reportOf(reports, QStringLiteral("Table1"))->unreadable.size(), 3);
        } else if (file == u"testIndexPropertiesV2003.mdb") {
            // Index definitions libmdb cannot follow: no key rather than one
            // missing a column, stricter than the file's.
            QCOMPARE(reportOf(reports, QStringLiteral("TableIgnoreNulls2"))->droppedKeys.size(), 1);
            QVERIFY(reportOf(reports, QStringLiteral("TableIgnoreNulls2"))->keptKeys.isEmpty());
        } else if (file.startsWith(u"jet3_")) {
            // The code page of the header, or the one given for a header that is wrong.
            QCOMPARE(source.codePage(), 936);
            QCOMPARE(
                value(u"SELECT \"b\" FROM \"员工表\" WHERE \"a\"='abcdefg'").toString(), QStringLiteral("考勤打卡A"));
        }
    }
    // Without the code page, the header's (1252) misreads the GBK name.
    AccessSource wrong(samplesDir() + QStringLiteral("jet3_gbk_no_codepage.mdb"));
    QCOMPARE(wrong.codePage(), 1252);
    QVERIFY(!reportOf(importAll(wrong, nullptr), QStringLiteral("员工表")));
}

// A demonstration database carried through the import as an Access file would
// hand it over: the program signs in on the result and rolls over its periods;
// the column the schema lacks, empty text against NULL and the other table
// come along, and a suite table whose rows break its key comes without it.
void TestImport::suiteTablesSignInAndRollOver()
{
    MemorySource source;
    {
        TestEnv demo;
        demo.createDatabase(true);
        source = accessLikeDemo(demo.db());
    }
    TestEnv env;
    const QList<TableReport> reports = importInto(env, source);
    QCOMPARE(reports.size(), 7);
    QCOMPARE(reports.at(0).target, QStringLiteral("Users"));
    for (int i = 0; i < reports.size(); ++i)
        QCOMPARE(reports.at(i).written, qint64(source.rows.at(i).size()));
    QVERIFY(reports.at(2).written > 10);
    // Scheme without its key, the other tables with theirs.
    QCOMPARE(reports.at(4).droppedKeys.size(), 1);
    QVERIFY(reports.at(4).keptKeys.isEmpty());
    QVERIFY(!reports.at(1).keptKeys.isEmpty());
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Employee WHERE card_no IS NULL")).toInt(),
        (reports.at(2).written + 1) / 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM Employee WHERE card_no = ''")).toInt(),
        reports.at(2).written / 2);
    QCOMPARE(
        decimal(env.scalar(QStringLiteral("SELECT CAST(amount AS VARCHAR(60)) FROM card_record WHERE card_no='0001'"))),
        QStringLiteral("922337203685477.5807"));
    QCOMPARE(Db::toDateTime(env.scalar(
                 QStringLiteral("SELECT CAST(swiped AS VARCHAR(40)) FROM card_record WHERE card_no='0001'"))),
        QDateTime(QDate(1899, 12, 29), QTime(6, 0, 0, 250)));
    QVERIFY(reports.at(6).keptKeys.join(u' ').contains(u"card_no"));

    // Sign in as the demonstration's administrator, in this month's period.
    Platform::RegistryKey(Prjconst::UserKey, true).writeString(QStringLiteral("Ym"), QStringLiteral("2026-03"));
    QVERIFY(env.createDataModule());
    {
        TFrmLogin login;
        Login::FrmLogin = &login;
        login.findChild<QComboBox*>(QStringLiteral("edUserName"))->setEditText(QStringLiteral("admin"));
        login.findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(QStringLiteral("admin"));
        login.btnOkClick();
        QVERIFY2(login.result() == Platform::mrOk, qPrintable(env.messageTexts().join(u'\n')));
        Login::FrmLogin = nullptr;
    }
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM OpLog")).toInt(), reports.at(5).written + 1);

    // The month's schedules from last month's.
    const Rollover::RolloverReport rolled = Rollover::runAutoScheme(
        env.db(), MonthKey::of(QDate(2026, 3, 1)), QDate(2026, 3, 1).startOfDay(), QDate(2026, 3, 31).startOfDay());
    QVERIFY(rolled.ran);
    QVERIFY(rolled.written > 0);
    QVERIFY(rolled.failures.isEmpty());
    // One row per employee, also for the one whose old row came twice.
    const int newRows = env.scalar(QStringLiteral("SELECT count(*) FROM Scheme WHERE YM='2026-03'")).toInt();
    QVERIFY(newRows > 0);
    QCOMPARE(
        env.scalar(QStringLiteral("SELECT count(DISTINCT emp_id) FROM Scheme WHERE YM='2026-03'")).toInt(), newRows);
    env.destroyDataModule();
}

// An Access file where the database should be: the operator is told to import
// it, and the file stays as it was.
void TestImport::accessFileAtStartup()
{
    SKIP_ON_POSTGRESQL("the database file exists only on SQLite");
    REQUIRE_SAMPLES();
    TestEnv env;
    QVERIFY(QFile::copy(samplesDir() + QStringLiteral("testV2003.mdb"), env.dbPath()));
    QFile::setPermissions(env.dbPath(), QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = digest(env.dbPath());
    QVERIFY(!env.createDataModule());
    QCOMPARE(env.messages.size(), 1);
    QVERIFY2(env.messages.at(0).text.contains(u"Access") && env.messages.at(0).text.contains(u"kolvane-db import"),
        qPrintable(env.messages.at(0).text));
    QVERIFY(env.messages.at(0).text.contains(u"Kolvane-access.mdb"));
    QCOMPARE(digest(env.dbPath()), before);
    env.destroyDataModule();
}

// The command: a new file only when the import is complete, never over an
// existing one, nothing written by --check, a summary either way; on a server,
// all or nothing, never into the suite's tables.
void TestImport::commandWritesAllOrNothing()
{
    REQUIRE_SAMPLES();
    TestEnv env;
    const QString tool = qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db");
    const QString target = env.appDir() + QStringLiteral("imported.mdb");
    auto run = [&](const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.start(tool, QStringList { QStringLiteral("import") } + args);
        if (!p.waitForFinished(60000))
            return -1;
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    };
    const QString sample = samplesDir() + QStringLiteral("testEmoticonsV2010.accdb");
    QString out;
    if (TestEnv::engine() == Db::Engine::PostgreSQL) {
        // One transaction into a database without the suite's tables: a second
        // import into it fails and leaves the first one's rows as they were.
        env.db();
        const QString server
            = qEnvironmentVariable("KOLVANE_TEST_PG") + QStringLiteral(" dbname=") + env.databaseName();
        QCOMPARE(run({ QStringLiteral("--server"), server, sample }, &out), 0);
        QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM data")).toInt(), 80);
        QCOMPARE(run({ QStringLiteral("--server"), server, sample }), 4);
        QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM data")).toInt(), 80);
        TestEnv suite;
        suite.createDatabase();
        QCOMPARE(
            run({ QStringLiteral("--server"),
                qEnvironmentVariable("KOLVANE_TEST_PG") + QStringLiteral(" dbname=") + suite.databaseName(), sample }),
            3);
        return;
    }
    QCOMPARE(run({ QStringLiteral("--check"), sample }, &out), 0);
    QVERIFY2(out.contains(u"80"), qPrintable(out));
    QCOMPARE(run({ sample, target }, &out), 0);
    QVERIFY2(out.contains(target), qPrintable(out));
    const QByteArray written = digest(target);
    QCOMPARE(run({ samplesDir() + QStringLiteral("testV1997.mdb"), target }), 3);
    QCOMPARE(digest(target), written);
    // A link planted under the new name, pointing nowhere, is a file there: nothing is written through it.
    const QString planted = env.appDir() + QStringLiteral("planted.mdb");
    const QString through = env.appDir() + QStringLiteral("through-the-link");
    QVERIFY(QFile::link(through, planted));
    QCOMPARE(run({ sample, planted }), 3);
    QVERIFY(!QFileInfo::exists(through));
    // Not an Access file: refused, nothing made.
    const QString other = env.appDir() + QStringLiteral("other.mdb");
    QCOMPARE(run({ target, other }), 5);
    QVERIFY(!QFileInfo::exists(other));
    QCOMPARE(QDir(env.appDir()).entryList({ QStringLiteral("*.part") }, QDir::Files | QDir::Hidden).size(), 0);
    QCOMPARE(run({ QStringLiteral("--code-page"), QStringLiteral("x"), sample }), 2);
}

// Texts with the characters a bulk copy must escape, bytes, flags, numbers and
// NULLs arrive as they were on both engines; a value the server refuses names
// its row.
void TestImport::valuesArriveAsTheyWere()
{
    const QString odd = QStringLiteral("a\tb\nc\r\\d\\N 汉字");
    const QByteArray bytes("\0\t\n\\\xff", 5);
    MemorySource source;
    Table table;
    table.name = QStringLiteral("notes");
    table.columns = { { QStringLiteral("id"), Kind::Integer, 0, 0, 0, {} }, { QStringLiteral("t"), Kind::Memo, 0, 0, 0, {} },
        { QStringLiteral("b"), Kind::Binary, 0, 0, 0, {} }, { QStringLiteral("f"), Kind::Boolean, 0, 0, 0, {} },
        { QStringLiteral("d"), Kind::Double, 0, 0, 0, {} } };
    source.list = { table };
    source.rows = { { { 1, odd, bytes, true, 0.1 }, { 2, QStringLiteral("\\N"), QByteArray("", 0), false, -1e300 },
        { 3, QStringLiteral(""), QVariant(), QVariant(), 1.0 / 3 }, { 4, QVariant(), QVariant(), QVariant(), QVariant() } } };
    TestEnv env;
    env.createDatabase();
    const QList<TableReport> reports = importInto(env, source);
    QCOMPARE(reports.at(0).written, 4);
    const QString notes = Db::quotedName(env.db(), reports.at(0).target);
    auto value = [&](const char* column, int id) {
        return env.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3=%4")
                              .arg(Db::quotedName(env.db(), QString::fromLatin1(column)), notes,
                                  Db::quotedName(env.db(), QStringLiteral("id")))
                              .arg(id));
    };
    QCOMPARE(value("t", 1).toString(), odd);
    QCOMPARE(value("b", 1).toByteArray(), bytes);
    QCOMPARE(value("f", 1).toBool(), true);
    QCOMPARE(value("d", 1).toDouble(), 0.1);
    QCOMPARE(value("t", 2).toString(), QStringLiteral("\\N"));
    QVERIFY(!value("b", 2).isNull());
    QVERIFY(value("b", 2).toByteArray().isEmpty());
    QCOMPARE(value("f", 2).toBool(), false);
    QCOMPARE(value("d", 2).toDouble(), -1e300);
    QVERIFY(!value("t", 3).isNull());
    QVERIFY(value("t", 3).toString().isEmpty());
    QVERIFY(value("b", 3).isNull());
    QVERIFY(value("f", 3).isNull());
    QCOMPARE(value("d", 3).toDouble(), 1.0 / 3);
    for (const char* column : { "t", "b", "f", "d" })
        QVERIFY2(value(column, 4).isNull(), column);

    // A server refuses a text in a number column (SQLite keeps it): the
    // message names the row.
    if (Db::engineOf(env.db()) != Db::Engine::PostgreSQL)
        return;
    MemorySource wrong;
    table.name = QStringLiteral("wrong");
    wrong.list = { table };
    wrong.rows = { { { 1, {}, {}, {}, {} }, { 2, {}, {}, {}, {} }, { QStringLiteral("x"), {}, {}, {}, {} } } };
    QString message;
    try {
        importInto(env, wrong);
    } catch (const Db::Error& e) {
        message = QString::fromUtf8(e.what());
    }
    QVERIFY2(message.contains(QStringLiteral("第 3 行")), qPrintable(message));
}

// A reader that crashes or hangs, or a file that crashes it: one message
// naming the file and the table, the damaged file's exit, and nothing left
// where the new file would have been.
void TestImport::readerFailureIsContained()
{
    SKIP_ON_POSTGRESQL("the target is a new file");
    REQUIRE_SAMPLES();
    TestEnv env;
    const QString tool = qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db");
    const QString dir = env.appDir() + QStringLiteral("target/");
    QVERIFY(QDir().mkpath(dir));
    const QString sample = samplesDir() + QStringLiteral("testEmoticonsV2010.accdb");
    struct Cases
    {
        const char* fault;
        bool check;
    };
    for (const Cases& c : { Cases { "crash", true }, Cases { "crash", false }, Cases { "hang", false } }) {
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KOLVANE_TEST_READER_FAULT"), QString::fromLatin1(c.fault));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
        p.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        p.start(tool,
            QStringList { QStringLiteral("import") }
                + (c.check ? QStringList { QStringLiteral("--check"), sample }
                           : QStringList { sample, dir + QStringLiteral("new.mdb") }));
        QVERIFY(p.waitForFinished(60000));
        const QString where = QString::fromLatin1(c.fault) + (c.check ? QStringLiteral(" --check") : QString());
        QVERIFY2(timer.elapsed() < 20000, qPrintable(where));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 6);
        const QStringList errors = QString::fromUtf8(p.readAllStandardError())
                                       .split(u'\n')
                                       .filter(QRegularExpression(QStringLiteral("^kolvane-db:")));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).contains(u"该文件已损坏") && errors.at(0).contains(sample)
                && errors.at(0).contains(u"表 data"),
            qPrintable(errors.at(0)));
        QVERIFY2(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty(),
            qPrintable(where));
    }
    // Files that once crashed or hung the reader: a summary or a refusal.
    const QDir damaged(samplesDir() + QStringLiteral("../access-damaged"));
    for (const QString& file : damaged.entryList({ QStringLiteral("*.mdb"), QStringLiteral("*.accdb") })) {
        QProcess p;
        p.start(tool, { QStringLiteral("import"), QStringLiteral("--check"), damaged.filePath(file) });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2((QList { 0, 5, 6 }.contains(p.exitCode())), qPrintable(file));
    }
}

// Tables linked to other files are named with where their rows are, and a
// file of links alone is refused rather than imported as an empty database;
// Access 2016's Large Number comes as a 64-bit integer; names read from the
// file reach messages without their control characters.
void TestImport::linksLargeNumbersAndNames()
{
    REQUIRE_SAMPLES();
    const QString changed = QFileInfo(samplesDir() + QStringLiteral("../access-damaged/")).absoluteFilePath();
    {
        AccessSource links(changed + QStringLiteral("links-only.mdb"));
        QVERIFY(links.tables().isEmpty());
        const QList<TableReport> reports = importAll(links, nullptr);
        QVERIFY(!reports.isEmpty());
        QVERIFY(onlyLinks(reports));
        QVERIFY(hasWarnings(reports));
        const QString text = summary(reports, false);
        QVERIFY2(text.contains(reports.at(0).source) && text.contains(u"链接表"), qPrintable(text));
    }
    if (TestEnv::engine() != Db::Engine::PostgreSQL) {
        TestEnv env;
        const QString tool = qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db");
        const QString target = env.appDir() + QStringLiteral("links.mdb");
        QProcess p;
        p.start(tool, { QStringLiteral("import"), changed + QStringLiteral("links-only.mdb"), target });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 4);
        QVERIFY(!QFileInfo::exists(target));
    }
    {
        TestEnv env;
        AccessSource source(changed + QStringLiteral("large-number.accdb"));
        const QList<TableReport> reports = importInto(env, source);
        QCOMPARE(reportOf(reports, QStringLiteral("Table1"))->unreadable.size(), 11);
        QCOMPARE(env.scalar(QStringLiteral("SELECT salary FROM table1 WHERE id=2")).toLongLong(), -10000);
        if (TestEnv::engine() == Db::Engine::PostgreSQL) // BIGINT; SQLite's INTEGER holds 64 bits anyway
            QCOMPARE(env.db().record(QStringLiteral("table1")).field(QStringLiteral("salary")).metaType().id(),
                QMetaType::LongLong);
    }
    {
        TestEnv env;
        MemorySource source;
        Table table;
        table.name = QStringLiteral("T\x1f\nX");
        table.columns << Column { QStringLiteral("C\x01"), Kind::Integer, 0, 0, 0, {} };
        // The same name twice: the second table cannot be made.
        source.list << table << table;
        source.rows << QList<QVariantList> { { 1 } } << QList<QVariantList> {};
        QString message;
        try {
            importInto(env, source);
        } catch (const Db::Error& e) {
            message = Platform::messageOf(e);
        }
        QVERIFY(!message.isEmpty());
        QVERIFY2(!message.contains(u'\n') && !message.contains(u'\x1f') && !message.contains(u"CREATE"),
            qPrintable(message));
        source.list.removeLast();
        source.rows.removeLast();
        const QString text = summary(importAll(source, nullptr), false);
        QVERIFY2(text.contains(u"T\\x1f\\x0aX") && text.count(u'\n') == 1, qPrintable(text));
    }
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
