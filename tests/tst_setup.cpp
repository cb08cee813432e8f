// Setting up a site with the admin tool alone: operators, employees and
// shift rules from spreadsheet files, the first month's schedules, and files
// with bad rows that change nothing.
#include "TestSupport.h"

#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/Prjconst.h"
#include "periods/AccountRules.h"
#include "periods/Rollover.h"
#include "setup/ui/ImportPreview.h"
#include "signin/PasswordHash.h"
#include "signin/Throttle.h"
#include "signin/ui/Login.h"
#include "signin/ui/Password.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using TestSupport::TestEnv;

namespace {

struct Result
{
    int code = -1;
    QString out;
    QString err;
    QByteArray bytes; // standard output as written
};

class Tool
{
public:
    explicit Tool(TestEnv& env)
        : m_env(env)
    {
        // The tool makes the database itself: on SQLite the file must not exist yet.
        if (TestEnv::engine() == Db::Engine::PostgreSQL) {
            env.db();
            m_database = { QStringLiteral("--server"),
                qEnvironmentVariable("KOLVANE_TEST_PG") + QStringLiteral(" dbname=") + env.databaseName() };
        } else {
            m_database = { QStringLiteral("--db"), env.dbPath() };
        }
    }

    Result operator()(QStringList args, const QByteArray& input = {}) const
    {
        QProcess p;
        // The messages compared below are the Chinese ones, whatever the machine's locale.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(environment);
        if (args.first() == u"init")
            args += TestEnv::engine() == Db::Engine::PostgreSQL ? m_database : QStringList { m_database.last() };
        else
            args += m_database;
        p.start(qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db"), args);
        p.write(input);
        p.closeWriteChannel();
        Result r;
        if (!p.waitForFinished(120000))
            return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.bytes = p.readAllStandardOutput();
        r.out = QString::fromUtf8(r.bytes);
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString file(const QString& name, const QByteArray& bytes) const
    {
        const QString path = m_env.appDir() + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private:
    TestEnv& m_env;
    QStringList m_database;
};

QByteArray gb18030(const QString& text)
{
    QStringEncoder encode("GB18030");
    return encode.encode(text);
}

QString employeeName(int i)
{
    static const QString surnames = QStringLiteral("陈林黄周吴郑王李");
    static const QString given = QStringLiteral("伟芳娜敏静磊强军");
    return QString(surnames.at(i % 8)) + given.at(i / 8 % 8) + given.at(i % 7);
}

// The state of the tables an import writes, to show that nothing changed.
QString snapshot(TestEnv& env)
{
    QString text;
    for (const char* sql : { "SELECT emp_id, emp_name, leave_date FROM Employee ORDER BY emp_id",
             "SELECT shift_id, shifts_cyc, shifts_cyc_unit, shifts FROM Shifts_Rule ORDER BY shift_id",
             "SELECT * FROM Scheme ORDER BY YM, emp_id" }) {
        Db::Query q(env.db(), QString::fromLatin1(sql));
        for (const Db::Row& row : q.open().rows())
            for (int c = 0; c < q.columns().count(); ++c)
                text += row.text(q.columns().fieldName(c)) + u'|';
    }
    return text;
}

} // namespace

class TestSetup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void operators();
    void siteFromSpreadsheets();
    void badRowsChangeNothing();
    void formulasStayText();
    void importPreview();
    void usage();
};

// Operators: added with a first password from standard input (stored as the
// sign-in compares it), names compared trimmed, the rights line rewritten with
// the rest of Access kept, the last operator who may create periods kept,
// lock-outs listed and ended.
void TestSetup::operators()
{
    TestEnv env(QDateTime::currentDateTime());
    const Tool tool(env);
    // A killed run's temporary file (a whole database) is removed by the next.
    const QString leftover = env.appDir() + QStringLiteral(".Kolvane.mdb.0badf00d.part");
    {
        QFile file(leftover);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("SQLite format 3");
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    const auto init = tool({ QStringLiteral("init") });
    QCOMPARE(init.code, 0);
    // The database is its owner's and group's, never other users'.
    if (TestEnv::engine() == Db::Engine::SQLite) {
        QVERIFY(!QFile::exists(leftover));
        QVERIFY2(init.err.contains(leftover), qPrintable(init.err));
        const QFile::Permissions mode = QFileInfo(env.dbPath()).permissions();
        QVERIFY(mode & QFile::ReadGroup && mode & QFile::WriteGroup);
        QVERIFY(!(mode & (QFile::ReadOther | QFile::WriteOther)));
    }

    QCOMPARE(tool({ u"user"_s, u"add"_s, u"张三"_s, u"--create-periods"_s }, "  first pass \n").code, 0);
    QCOMPARE(tool({ u"user"_s, u"add"_s, u"李四"_s, u"--id"_s, u"L4"_s }, "1234\n").code, 0);
    // Stored as its hash, never as the text.
    QVERIFY(PasswordHash::matches(
        env.scalar(QStringLiteral("SELECT password FROM Users WHERE username='张三'")).toString(), u"first pass"_s));
    QVERIFY(PasswordHash::isHash(
        env.scalar(QStringLiteral("SELECT password FROM Users WHERE username='张三'")).toString()));
    QCOMPARE(env.scalar(QStringLiteral("SELECT isNew FROM Users WHERE username='张三'")).toInt(), 1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT User_id FROM Users WHERE username='张三'")).toString(), u"2"_s);
    // The sign-in takes that first password, typed as an operator would, and
    // sends the new operator to change it.
    {
        // Opening the data module reads the file's header and closes it again,
        // which drops this process's locks on the file: the test's own
        // connection is closed meanwhile and opened again afterwards.
        env.db().close();
        QVERIFY(env.createDataModule());
        auto login = std::make_unique<TFrmLogin>();
        login->findChild<QComboBox*>(u"edUserName"_s)->setEditText(u" 张三 "_s);
        login->findChild<QLineEdit*>(u"edPassword"_s)->setText(u"first pass"_s);
        env.onNextModal([](QDialog* dialog) {
            auto* change = qobject_cast<TFrmPassword*>(dialog);
            if (!change)
                return 0;
            change->findChild<QLineEdit*>(u"edOldPassword"_s)->setText(u"first pass "_s);
            change->findChild<QLineEdit*>(u"edNewPassword"_s)->setText(u"mine"_s);
            change->findChild<QLineEdit*>(u"edConfigPassword"_s)->setText(u"mine"_s);
            change->BitokClick();
            return change->result();
        });
        login->btnOkClick();
        QCOMPARE(env.modalShown, QStringList { u"FrmPassword"_s });
        QCOMPARE(env.messageTexts(), QStringList { Prjconst::_SPassWordChangeOk });
        login.reset();
        env.destroyDataModule();
    }
    QCOMPARE(AccountRules::actAccountRights(
                 env.scalar(QStringLiteral("SELECT Access FROM Users WHERE username='李四'")).toString()),
        0);
    // Refusals: a name that exists once trimmed, an empty password, an unknown operator.
    Result r = tool({ u"user"_s, u"add"_s, u" 张三\t"_s }, "x\n");
    QCOMPARE(r.code, 4);
    QVERIFY2(r.err.contains(QStringLiteral("张三")), qPrintable(r.err));
    QCOMPARE(tool({ u"user"_s, u"add"_s, u"王五"_s }, "   \n").code, 4);
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"王五"_s }).code, 4);
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Users")).toInt(), 3);

    // Only the rights lines change, whatever else Access holds. An older admin
    // row (both period rights, no line of the newer rights) manages operators:
    // taking that right from the only one who has it needs --force.
    const QString access = QStringLiteral("ActEmployee=7\r\nactACCOUNT=5\nX=a=b\r\n");
    const auto accessOf = [&env](const QString& name) {
        return env.scalar(QStringLiteral("SELECT Access FROM Users WHERE username=?"), { name }).toString();
    };
    env.exec(QStringLiteral("UPDATE Users SET Access=? WHERE username='admin'"), { access });
    r = tool({ u"user"_s, u"rights"_s, u"admin"_s, u"--delete-periods"_s, u"--import-data"_s });
    QCOMPARE(r.code, 4);
    QVERIFY2(
        r.err.contains(QStringLiteral("管理操作员")) && r.err.contains(QStringLiteral("--force")), qPrintable(r.err));
    QCOMPARE(accessOf(u"admin"_s), access);
    r = tool({ u"user"_s, u"rights"_s, u"admin"_s, u"--delete-periods"_s, u"--manage-operators"_s });
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("管理操作员 是，导入数据 否")), qPrintable(r.out));
    QCOMPARE(
        accessOf(u"admin"_s), QStringLiteral("ActEmployee=7\r\nactACCOUNT=4\nX=a=b\r\nActOperator=1\r\nActImport=0"));
    env.exec(QStringLiteral("UPDATE Users SET Access=? WHERE username='李四'"), { QStringLiteral("ActEmployee=1") });
    QCOMPARE(
        tool({ u"user"_s, u"rights"_s, u"李四"_s, u"--create-periods"_s, u"--delete-periods"_s, u"--import-data"_s })
            .code,
        0);
    QCOMPARE(accessOf(u"李四"_s), QStringLiteral("ActEmployee=1\r\nActAccount=5\r\nActOperator=0\r\nActImport=1"));
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"admin"_s }).code, 4);
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"admin"_s, u"--import-data"_s }).code, 2);
    // Every change is in the operation log, under the local account's name.
    QCOMPARE(
        env.scalar(QStringLiteral("SELECT COUNT(*) FROM OpLog WHERE opUser LIKE 'kolvane-db:_%' AND BeWrite = "
                                  "'操作员管理：权限“李四”：新建帐套 是，删除帐套 是，管理操作员 否，导入数据 是'"))
            .toInt(),
        1);
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM OpLog WHERE BeWrite LIKE '%admin%'")).toInt(), 1);

    // 张三 and 李四 may create periods: stopping both needs --force for the second.
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"张三"_s }).code, 0);
    r = tool({ u"user"_s, u"rights"_s, u"李四"_s });
    QCOMPARE(r.code, 4);
    QVERIFY2(r.err.contains(QStringLiteral("--force")), qPrintable(r.err));
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"李四"_s }).code, 4);
    QCOMPARE(env.scalar(QStringLiteral("SELECT IsStop FROM Users WHERE username='李四'")).toInt(), 0);
    QCOMPARE(tool({ u"user"_s, u"stop"_s, u"李四"_s, u"--force"_s }).code, 0);
    QCOMPARE(tool({ u"user"_s, u"start"_s, u"张三"_s }).code, 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT IsStop FROM Users WHERE username='张三'")).toInt(), 0);

    // A new first password: trimmed, and the operator must change it again.
    env.exec(QStringLiteral("UPDATE Users SET isNew=0 WHERE username='张三'"));
    QCOMPARE(tool({ u"user"_s, u"reset"_s, u"张三"_s }, "second\r\n").code, 0);
    QVERIFY(PasswordHash::matches(
        env.scalar(QStringLiteral("SELECT password FROM Users WHERE username='张三'")).toString(), u"second"_s));
    QCOMPARE(env.scalar(QStringLiteral("SELECT isNew FROM Users WHERE username='张三'")).toInt(), 1);

    // Five wrong passwords lock the name; list shows until when, unlock ends it.
    for (int i = 0; i < 5; ++i)
        Throttle::countFailure(env.db(), QStringLiteral("张三"));
    QVERIFY(Throttle::secondsLocked(env.db(), QStringLiteral("张三")) > 0);
    r = tool({ u"user"_s, u"list"_s });
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    const QStringList zhang = lines.filter(QStringLiteral("张三")).value(0).split(u'\t');
    QCOMPARE(zhang.size(), 7);
    QCOMPARE(zhang.at(1), u"2"_s);
    QVERIFY2(QDateTime::fromString(zhang.at(6), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid(), qPrintable(r.out));
    QVERIFY(lines.filter(QStringLiteral("admin")).value(0).endsWith(u'\t'));
    QCOMPARE(tool({ u"user"_s, u"unlock"_s, u"张三"_s }).code, 0);
    QCOMPARE(Throttle::secondsLocked(env.db(), QStringLiteral("张三")), 0);
}

// From an empty database to a month the roll-over can continue: 200
// employees and five rules from GB18030 files as a Chinese spreadsheet saves
// them, the first month from an edited schedule, and the export read back.
void TestSetup::siteFromSpreadsheets()
{
    TestEnv env(QDateTime::currentDateTime());
    const Tool tool(env);
    QCOMPARE(tool({ QStringLiteral("init") }).code, 0);

    // Employees: semicolons, columns in another order, a quoted name over two
    // lines, leave dates as the spreadsheet writes them.
    QString employees = QStringLiteral("离职日期;员工编号;姓名\r\n");
    for (int i = 1; i <= 200; ++i)
        employees += QStringLiteral("%1;E%2;%3\r\n")
                         .arg(i % 50 == 0 ? QStringLiteral("2026/4/%1").arg(i / 50) : QString())
                         .arg(i, 3, 10, QLatin1Char('0'))
                         .arg(i == 7 ? QStringLiteral("\"欧阳\r\n娜娜\"") : employeeName(i));
    const QString employeeFile = tool.file(QStringLiteral("员工.csv"), gb18030(employees));
    Result r = tool({ u"import"_s, u"employees"_s, u"--dry-run"_s, employeeFile });
    QCOMPARE(r.code, 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Employee")).toInt(), 0);
    r = tool({ u"import"_s, u"employees"_s, employeeFile });
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Employee")).toInt(), 200);
    QCOMPARE(env.scalar(QStringLiteral("SELECT emp_name FROM Employee WHERE emp_id='E007'")).toString(),
        QStringLiteral("欧阳\r\n娜娜"));
    QCOMPARE(
        env.scalar(QStringLiteral("SELECT emp_name FROM Employee WHERE emp_id='E123'")).toString(), employeeName(123));
    QCOMPARE(Db::toDateTime(env.scalar(QStringLiteral("SELECT leave_date FROM Employee WHERE emp_id='E100'"))),
        QDate(2026, 4, 2).startOfDay());

    // Rules: tabs, the slot codes one cell each.
    const QString rules = QStringLiteral("规则编号\t周期单位\t周期\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\t14\r\n"
                                         "R-DAY3\tday\t3\t早班\t中班\t夜班\r\n"
                                         "R-WEEK1\tweek\t1\t休息\t白班\t白班\t白班\t白班\t白班\t休息\r\n"
                                         "R-WEEK2\tWeek\t2\t休息\t早班\t早班\t早班\t早班\t早班\t休息\t"
                                         "休息\t中班\t中班\t中班\t中班\t中班\t休息\r\n"
                                         "R-DAY2\tday\t2\t白班\t休息\r\n"
                                         "R-MONTH1\tmonth\t1\t月初班\t\t月初班\r\n");
    r = tool({ u"import"_s, u"rules"_s, tool.file(QStringLiteral("rules.txt"), gb18030(rules)) });
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Shifts_Rule")).toInt(), 5);
    QCOMPARE(env.scalar(QStringLiteral("SELECT shifts FROM Shifts_Rule WHERE shift_id='R-MONTH1'")).toString(),
        QStringLiteral("1=月初班\r\n3=月初班"));

    // The first month, as a planner edits the export of an empty month:
    // UTF-8 with a byte-order mark, the days headed by dates as a spreadsheet
    // rewrites them, each employee on a rotation or a fixed shift.
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name, begin_date, end_date) VALUES (?, ?, ?, ?)"),
        { QStringLiteral("2026-03"), QStringLiteral("2026-03月帐套"), QDate(2026, 3, 1).startOfDay(),
            QDate(2026, 3, 31).startOfDay() });
    r = tool({ u"export"_s, u"schedule"_s, u"2026-03"_s });
    QCOMPARE(r.code, 0);
    QVERIFY(r.bytes.startsWith(QStringLiteral("\uFEFF员工编号,姓名,班次或规则,起始日期,2026-03-01,").toUtf8()));
    QString month = QStringLiteral("\uFEFF员工编号,姓名,班次或规则,起始日期");
    for (int day = 1; day <= 31; ++day)
        month += QStringLiteral(",2026/3/%1").arg(day);
    month += QStringLiteral("\r\n");
    for (int i = 1; i <= 200; ++i) {
        const bool rotation = i % 2 == 0;
        month += QStringLiteral("E%1,%2,%3,%4")
                     .arg(i, 3, 10, QLatin1Char('0'))
                     .arg(employeeName(i))
                     .arg(rotation ? QStringLiteral("r-day3") : QStringLiteral("白班"))
                     .arg(rotation ? QStringLiteral("2026/2/27") : QString());
        for (int day = 1; day <= 31; ++day)
            month += u','
                + (rotation ? QStringList { u"中班"_s, u"夜班"_s, u"早班"_s }.at(day % 3) : QStringLiteral("白班"));
        month += QStringLiteral("\r\n");
    }
    const QString monthFile = tool.file(QStringLiteral("2026-03.csv"), month.toUtf8());
    r = tool({ u"import"_s, u"schedule"_s, u"2026-03"_s, monthFile });
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Scheme WHERE YM='2026-03'")).toInt(), 200);
    QCOMPARE(env.scalar(QStringLiteral("SELECT shift_id FROM Scheme WHERE YM='2026-03' AND emp_id='E002'")).toString(),
        QStringLiteral("r-day3"));
    QCOMPARE(Db::toDateTime(
                 env.scalar(QStringLiteral("SELECT start_date FROM Scheme WHERE YM='2026-03' AND emp_id='E002'"))),
        QDate(2026, 2, 27).startOfDay());

    // Exported and read back, nothing changes; one edited cell changes one row.
    r = tool({ u"export"_s, u"schedule"_s, u"2026-03"_s });
    QCOMPARE(r.code, 0);
    QString exported = r.out;
    r = tool({ u"import"_s, u"schedule"_s, u"2026-03"_s, tool.file(QStringLiteral("back.csv"), exported.toUtf8()) });
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("已新增 0 行，修改 0 行，200 行不变")), qPrintable(r.out));
    exported.replace(QStringLiteral("E003,") + employeeName(3) + QStringLiteral(",白班,,白班"),
        QStringLiteral("E003,") + employeeName(3) + QStringLiteral(",白班,,休息"));
    r = tool({ u"import"_s, u"schedule"_s, u"2026-03"_s, tool.file(QStringLiteral("edited.csv"), exported.toUtf8()) });
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("已新增 0 行，修改 1 行，199 行不变")), qPrintable(r.out));
    QCOMPARE(env.scalar(QStringLiteral("SELECT \"1\" FROM Scheme WHERE YM='2026-03' AND emp_id='E003'")).toString(),
        QStringLiteral("休息"));

    // The roll-over continues the imported month: the rotation from its rule
    // and anchor (2026-04-01 is day 33 after 2026-02-27: slot 1).
    const MonthKey april = *MonthKey::fromKey(QStringLiteral("2026-04"));
    const Rollover::RolloverReport report
        = Rollover::runAutoScheme(env.db(), april, april.first().startOfDay(), april.last().startOfDay());
    QVERIFY(report.ran);
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name, begin_date, end_date) VALUES (?, ?, ?, ?)"),
        { april.text(), QStringLiteral("2026-04月帐套"), april.first().startOfDay(), april.last().startOfDay() });
    QCOMPARE(report.written, 200);
    QCOMPARE(env.scalar(QStringLiteral("SELECT \"1\" FROM Scheme WHERE YM='2026-04' AND emp_id='E002'")).toString(),
        QStringLiteral("早班"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT \"30\" FROM Scheme WHERE YM='2026-04' AND emp_id='E001'")).toString(),
        QStringLiteral("白班"));

    // The rolled-over month, and the employees, as workbooks.
    const QString workbook = env.appDir() + QStringLiteral("2026-04.xlsx");
    QStringList roster = { u"roster"_s, u"--xlsx"_s, workbook };
    if (TestEnv::engine() == Db::Engine::PostgreSQL)
        roster << u"--server"_s << qEnvironmentVariable("KOLVANE_TEST_PG") + u" dbname="_s + env.databaseName();
    else
        roster << env.dbPath();
    QProcess p;
    p.start(qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db"), roster << u"2026-04"_s);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(tool({ u"export"_s, u"employees"_s, u"--xlsx"_s, env.appDir() + u"e.xlsx"_s }).code, 0);
    for (const QString& path : { workbook, env.appDir() + u"e.xlsx"_s }) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.size() > 3000);
        QCOMPARE(f.read(4), QByteArray("PK\x03\x04")); // a zip archive, as .xlsx files are
    }

    // Employees and rules read back unchanged.
    r = tool({ u"export"_s, u"employees"_s });
    r = tool({ u"import"_s, u"employees"_s, tool.file(QStringLiteral("e.csv"), r.out.toUtf8()) });
    QVERIFY2(r.out.contains(QStringLiteral("已新增 0 行，修改 0 行，200 行不变")), qPrintable(r.out));
    r = tool({ u"export"_s, u"rules"_s });
    r = tool({ u"import"_s, u"rules"_s, tool.file(QStringLiteral("r.csv"), r.out.toUtf8()) });
    QVERIFY2(r.out.contains(QStringLiteral("已新增 0 行，修改 0 行，5 行不变")), qPrintable(r.out));

    // Changed and new rows in one file (on a server: one COPY each, and one
    // UPDATE joined on the key).
    const QString edited = QStringLiteral("员工编号,姓名,离职日期\r\n"
                                          "E005,改名\t五,\r\n"
                                          "E006,%1,2026-05-31\r\n"
                                          "E100,%2,\r\n"
                                          "E201,新来\\的,2026-06-01\r\n")
                               .arg(employeeName(6), employeeName(100));
    r = tool({ u"import"_s, u"employees"_s, tool.file(QStringLiteral("edited-e.csv"), edited.toUtf8()) });
    QVERIFY2(r.out.contains(QStringLiteral("已新增 1 行，修改 3 行，0 行不变")), qPrintable(r.out + r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT COUNT(*) FROM Employee")).toInt(), 201);
    QCOMPARE(env.scalar(QStringLiteral("SELECT emp_name FROM Employee WHERE emp_id='E005'")).toString(), u"改名\t五"_s);
    QCOMPARE(env.scalar(QStringLiteral("SELECT emp_name FROM Employee WHERE emp_id='E201'")).toString(), u"新来\\的"_s);
    QCOMPARE(Db::toDateTime(env.scalar(QStringLiteral("SELECT leave_date FROM Employee WHERE emp_id='E006'"))),
        QDate(2026, 5, 31).startOfDay());
    QVERIFY(env.scalar(QStringLiteral("SELECT leave_date FROM Employee WHERE emp_id='E100'")).isNull());
    QCOMPARE(env.scalar(QStringLiteral("SELECT emp_name FROM Employee WHERE emp_id='E007'")).toString(),
        QStringLiteral("欧阳\r\n娜娜"));
    r = tool({ u"import"_s, u"rules"_s,
        tool.file(QStringLiteral("edited-r.csv"), "规则编号,周期单位,周期,1,2\r\nR-DAY2,day,2,休息,白班\r\n"_ba) });
    QVERIFY2(r.out.contains(QStringLiteral("已新增 0 行，修改 1 行，0 行不变")), qPrintable(r.out + r.err));
    QCOMPARE(env.scalar(QStringLiteral("SELECT shifts FROM Shifts_Rule WHERE shift_id='R-DAY2'")).toString(),
        QStringLiteral("1=休息\r\n2=白班"));

    // A row the server refuses (a site's own rule on the table) is named by its
    // line, and nothing of the file stays.
    if (TestEnv::engine() == Db::Engine::PostgreSQL) {
        env.exec(QStringLiteral("ALTER TABLE Employee ADD CONSTRAINT site_rule CHECK (emp_name <> '拒绝')"));
        const QString before = snapshot(env);
        for (const bool isNew : { false, true }) {
            const QString id = isNew ? u"E300"_s : u"E001"_s;
            r = tool({ u"import"_s, u"employees"_s,
                tool.file(QStringLiteral("refused.csv"),
                    QStringLiteral("员工编号,姓名\r\nE002,二\r\nE301,三\r\n%1,拒绝\r\n").arg(id).toUtf8()) });
            QVERIFY(r.code != 0);
            // A new row by its line; a changed one by its values, in the server's words.
            QVERIFY2(r.err.contains(isNew ? u"无法保存第 4 行"_s : u"无法保存修改的行"_s), qPrintable(r.err));
            QVERIFY2(r.err.contains(id) || isNew, qPrintable(r.err));
            QCOMPARE(snapshot(env), before);
        }
    }
}

// Each kind of bad row is named with its row and column, and a file with any
// bad row changes nothing, however many good rows it has.
void TestSetup::badRowsChangeNothing()
{
    TestEnv env(QDateTime::currentDateTime());
    const Tool tool(env);
    QCOMPARE(tool({ QStringLiteral("init") }).code, 0);
    QCOMPARE(
        tool({ u"import"_s, u"employees"_s, tool.file(u"e.csv"_s, "emp_id,emp_name\nE1,Old One\nE2,Two\n") }).code, 0);
    QCOMPARE(tool({ u"import"_s, u"rules"_s,
                      tool.file(u"r.csv"_s, "shift_id,shifts_cyc,shifts_cyc_unit,1,2\nR1,2,day,A,B\n") })
                 .code,
        0);
    env.exec(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES ('2026-03', 'March')"));
    const QString before = snapshot(env);

    // Three bad rows among good ones: a date that is no date, a duplicate id,
    // an id longer than the column holds. The good rows are not written either.
    Result r = tool({ u"import"_s, u"employees"_s,
        tool.file(u"bad-e.csv"_s,
            QStringLiteral("员工编号,姓名,离职日期\nE1,New One,\nE3,Three,2026/2/30\nE4,Four,\nE3,Again,\n"
                           "E123456789012345678901,Long,\nE5,Five,2026-05-01\n")
                .toUtf8()) });
    QCOMPARE(r.code, 6);
    QVERIFY2(r.err.contains(QStringLiteral("第 3 行“离职日期”列")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 5 行“员工编号”列：编号 E3 重复（第 3 行已有）")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 6 行“员工编号”列")), qPrintable(r.err));
    QCOMPARE(r.err.count(QStringLiteral("第 ")), 4); // three rows named, and the duplicate's first row
    QCOMPARE(snapshot(env), before);

    // Rules: a cycle that is no positive number, a slot code longer than a day
    // column holds, an unknown unit, a row that ends before a stored code.
    r = tool({ u"import"_s, u"rules"_s,
        tool.file(u"bad-r.csv"_s,
            QStringLiteral("规则编号;周期;周期单位;1;2\nR1;3;day;A;B\nR2;0;day;A;B\nR3;1;week;ABCDEFGHIJKLMNOPQRSTU;B\n"
                           "R4;2;fortnight;A;\nR1;2;day;A\n")
                .toUtf8()) });
    QCOMPARE(r.code, 6);
    QVERIFY2(r.err.contains(QStringLiteral("第 6 行：有 4 格，第一行有 5 格")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 3 行“周期”列")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 4 行“1”列")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 5 行“周期单位”列")), qPrintable(r.err));
    QCOMPARE(snapshot(env), before);

    // Schedules: an unknown rule, an employee who is not one, an anchor that
    // is no date; nothing is written for the good row.
    r = tool({ u"import"_s, u"schedule"_s, u"2026-03"_s,
        tool.file(u"bad-s.csv"_s,
            QStringLiteral("员工编号,班次或规则,起始日期,1,2\nE1,白班,,白班,白班\nE2,R9,2026-03-01,A,B\n"
                           "E7,白班,,白班,\nE1,R1,yesterday,A,B\n")
                .toUtf8()) });
    QCOMPARE(r.code, 6);
    QVERIFY2(r.err.contains(QStringLiteral("第 3 行“班次或规则”列：没有规则 R9")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 4 行“员工编号”列")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("第 5 行“起始日期”列")), qPrintable(r.err));
    QCOMPARE(snapshot(env), before);

    // An empty id, a row cut short (read as empty cells it would clear the
    // employee's plan and days), a duplicate id: all three named, nothing written.
    for (const bool dryRun : { true, false }) {
        QStringList args = { u"import"_s, u"schedule"_s, u"2026-03"_s };
        if (dryRun)
            args << u"--dry-run"_s;
        r = tool(args << tool.file(u"short.csv"_s,
                     "员工编号,班次或规则,起始日期,1,2\nE1,白班,,白班,白班\n,白班,,A,B\nE2,白班\nE1,R1,,A,B\n"));
        QCOMPARE(r.code, 6);
        QVERIFY2(r.err.contains(QStringLiteral("第 3 行“员工编号”列：编号为空")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("第 4 行：有 2 格，第一行有 5 格")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("第 5 行“员工编号”列：编号 E1 重复（第 2 行已有）")), qPrintable(r.err));
        QCOMPARE(r.err.count(QStringLiteral("第 ")), 4);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(snapshot(env), before);
    }
}

// Names and codes a spreadsheet would run as formulas: every CSV the tool
// writes shows them as text (a quote before them), and reading that file, or
// a file of them as typed, gives back exactly the text; a quote before
// anything else is text of its own.
void TestSetup::formulasStayText()
{
    TestEnv env(QDateTime::currentDateTime());
    const Tool tool(env);
    QCOMPARE(tool({ QStringLiteral("init") }).code, 0);
    const QStringList names
        = { u"=1+1"_s, u"+1"_s, u"-1+1"_s, u"@SUM(1)"_s, u"'quoted"_s, u"=HYPERLINK(\"http://x\";\"点我\")"_s };
    const QString typed = u"员工编号,姓名\r\nE0,=1+1\r\nE1,+1\r\nE2,-1+1\r\nE3,@SUM(1)\r\nE4,'quoted\r\n"
                          u"E5,\"=HYPERLINK(\"\"http://x\"\";\"\"点我\"\")\"\r\n"_s;
    Result r = tool({ u"import"_s, u"employees"_s, tool.file(u"typed.csv"_s, typed.toUtf8()) });
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const auto stored = [&] {
        QStringList list;
        for (qsizetype i = 0; i < names.size(); ++i)
            list << env.scalar(u"SELECT emp_name FROM Employee WHERE emp_id=?"_s, { u"E%1"_s.arg(i) }).toString();
        return list;
    };
    QCOMPARE(stored(), names);

    // Exported: each formula behind a quote; read back, nothing changes. A
    // stored name that itself begins with a quote before "=" survives too.
    env.exec(u"INSERT INTO Employee (emp_id, emp_name) VALUES ('E9', ?)"_s, { u"''=2"_s });
    r = tool({ u"export"_s, u"employees"_s });
    QCOMPARE(r.code, 0);
    for (const QString& cell : { u"\nE0,'=1+1,"_s, u"\nE1,'+1,"_s, u"\nE2,'-1+1,"_s, u"\nE3,'@SUM(1),"_s,
             u"\nE4,'quoted,"_s, u"\nE5,\"'=HYPERLINK("_s, u"\nE9,'''=2,"_s })
        QVERIFY2(r.out.contains(cell), qPrintable(cell + u" in "_s + r.out));
    r = tool({ u"import"_s, u"employees"_s, tool.file(u"back.csv"_s, r.out.toUtf8()) });
    QVERIFY2(r.out.contains(u"已新增 0 行，修改 0 行，7 行不变"_s), qPrintable(r.out + r.err));
    QCOMPARE(stored(), names);
    QCOMPARE(env.scalar(u"SELECT emp_name FROM Employee WHERE emp_id='E9'"_s).toString(), u"''=2"_s);

    // The month's codes: the schedule export and the roster write them behind
    // a quote, and either file read back changes nothing.
    env.exec(u"INSERT INTO Accounts (ym, account_name) VALUES ('2026-02', 'Feb')"_s);
    QString month = u"员工编号,班次或规则,1,2,3,4\r\nE0,-1+1,=1+1,@SUM(1),'quoted,+1\r\n"_s;
    r = tool({ u"import"_s, u"schedule"_s, u"2026-02"_s, tool.file(u"m.csv"_s, month.toUtf8()) });
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(env.scalar(u"SELECT \"1\" FROM Scheme WHERE emp_id='E0'"_s).toString(), u"=1+1"_s);
    QCOMPARE(env.scalar(u"SELECT shift_id FROM Scheme WHERE emp_id='E0'"_s).toString(), u"-1+1"_s);
    QStringList roster = { u"roster"_s };
    if (TestEnv::engine() == Db::Engine::PostgreSQL)
        roster << u"--server"_s << qEnvironmentVariable("KOLVANE_TEST_PG") + u" dbname="_s + env.databaseName();
    else
        roster << env.dbPath();
    QProcess p;
    p.start(qEnvironmentVariable("KOLVANE_BIN_DIR") + u"/kolvane-db"_s, roster << u"2026-02"_s);
    QVERIFY(p.waitForFinished(60000));
    const QString rosterCsv = QString::fromUtf8(p.readAllStandardOutput());
    const QString schedule = tool({ u"export"_s, u"schedule"_s, u"2026-02"_s }).out;
    for (const QString& file : { rosterCsv, schedule }) {
        QVERIFY2(file.contains(u"\nE0,'=1+1,'-1+1,,'=1+1,'@SUM(1),'quoted,'+1,"_s), qPrintable(file));
        r = tool({ u"import"_s, u"schedule"_s, u"2026-02"_s, tool.file(u"s.csv"_s, file.toUtf8()) });
        QVERIFY2(r.out.contains(u"已新增 0 行，修改 0 行，1 行不变"_s), qPrintable(r.out + r.err));
    }
}

// The program's import: the file asked for, checked whole and shown; a file
// with bad rows names them all and cannot be imported; a good one shows what
// it adds and changes, and is written and logged only on "导入".
void TestSetup::importPreview()
{
    TestEnv env(QDateTime::currentDateTime());
    env.createDatabase();
    QVERIFY(env.createDataModule());
    env.exec(u"INSERT INTO Employee (emp_id, emp_name) VALUES ('E1', 'Old')"_s);
    const QString before = snapshot(env);
    const auto importFile
        = [&](const QString& name, const QByteArray& bytes, const std::function<int(Setup::SheetImportDialog*)>& act) {
              const QString path = env.appDir() + name;
              QFile f(path);
              QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
              f.close();
              env.onNextModal([path](QDialog* dialog) {
                  static_cast<QFileDialog*>(dialog)->selectFile(path);
                  return int(QDialog::Accepted);
              });
              env.onNextModal([act](QDialog* dialog) { return act(static_cast<Setup::SheetImportDialog*>(dialog)); });
              Setup::SheetImportDialog::run(nullptr, Setup::SheetKind::Employees, u"admin"_s);
              QCOMPARE(env.pendingModalHandlers(), 0);
          };
    const auto cells = [](QTableWidget* t, int column) {
        QStringList list;
        for (int row = 0; row < t->rowCount(); ++row)
            list << t->item(row, column)->text();
        return list;
    };

    // What the preview showed, read while it was open.
    QStringList lines, columns, kinds;
    QString summary, change, during;
    bool enabled = false;
    const auto look = [&](Setup::SheetImportDialog* d) {
        lines = cells(d->problemsTable(), 0);
        columns = cells(d->problemsTable(), 1);
        kinds = cells(d->rowsTable(), 1);
        change = d->rowsTable()->rowCount() > 0 ? d->rowsTable()->item(0, 3)->text() : QString();
        summary = d->summary();
        enabled = d->importButton()->isEnabled();
        during = snapshot(env);
    };

    // An empty id, a row cut short, a duplicate: all three named, "导入" off,
    // and closing writes nothing.
    importFile(u"bad.csv"_s, "员工编号,姓名\nE2,Two\n,Nobody\nE3\nE2,Again\n", [&](Setup::SheetImportDialog* d) {
        look(d);
        return int(QDialog::Rejected);
    });
    QCOMPARE(lines, QStringList({ u"3"_s, u"4"_s, u"5"_s }));
    QCOMPARE(columns, QStringList({ u"员工编号"_s, QString(), u"员工编号"_s }));
    QVERIFY(!enabled);
    QVERIFY2(summary.contains(u"3 处错误"_s), qPrintable(summary));
    QCOMPARE(snapshot(env), before);
    QCOMPARE(env.scalar(u"SELECT COUNT(*) FROM OpLog"_s).toInt(), 0);

    // A good file: one row changed (old → new), one added; written on "导入".
    importFile(u"good.csv"_s, "员工编号,姓名\nE1,New\nE2,Two\n", [&](Setup::SheetImportDialog* d) {
        look(d);
        d->importButton()->click();
        return d->result();
    });
    QVERIFY(lines.isEmpty() && enabled);
    QCOMPARE(kinds, QStringList({ u"修改"_s, u"新增"_s }));
    QVERIFY2(change.contains(u"Old → New"_s), qPrintable(change));
    QCOMPARE(during, before); // nothing written before "导入"
    QCOMPARE(env.scalar(u"SELECT emp_name FROM Employee WHERE emp_id='E1'"_s).toString(), u"New"_s);
    QCOMPARE(env.scalar(u"SELECT emp_name FROM Employee WHERE emp_id='E2'"_s).toString(), u"Two"_s);
    QCOMPARE(env.messages.size(), 1);
    QVERIFY2(env.messages[0].text.contains(u"已新增 1 行，修改 1 行"_s), qPrintable(env.messages[0].text));
    QCOMPARE(env.scalar(u"SELECT opUser FROM OpLog"_s).toString(), u"admin"_s);
    const QString logged = env.scalar(u"SELECT BeWrite FROM OpLog"_s).toString();
    QVERIFY2(logged.startsWith(u"导入员工：文件 "_s) && logged.contains(u"good.csv，新增 1 行，修改 1 行"_s),
        qPrintable(logged));
}

// Each verb's own usage, the same through "VERB --help" and "help VERB", and
// on standard error after a wrong option; the list of verbs and exit codes
// for "help" and "-h". Chinese by default, English throughout under an
// English locale.
void TestSetup::usage()
{
    const auto run = [](const QStringList& args, bool english) {
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE" })
            environment.remove(QString::fromLatin1(name));
        if (english) {
            environment.insert(u"LANG"_s, u"en_US.UTF-8"_s);
            environment.insert(u"LANGUAGE"_s, u"en"_s);
        } else {
            environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        }
        p.setProcessEnvironment(environment);
        p.start(qEnvironmentVariable("KOLVANE_BIN_DIR") + QStringLiteral("/kolvane-db"), args);
        Result r;
        if (!p.waitForFinished(60000))
            return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    };
    const QRegularExpression chinese(u"\\p{Han}"_s);
    for (const bool english : { false, true }) {
        const Result help = run({ u"help"_s }, english);
        const Result user = run({ u"user"_s, u"--help"_s }, english);
        const Result import = run({ u"import"_s, u"--help"_s }, english);
        for (const Result* r : { &help, &user, &import }) {
            QCOMPARE(r->code, 0);
            QVERIFY2(r->err.isEmpty(), qPrintable(r->err));
            QVERIFY2(r->out.contains(chinese) != english, qPrintable(r->out));
            QVERIFY(r->out.startsWith(english ? u"Usage:"_s : u"用法："_s));
        }
        for (const QString& verb : { u"init"_s, u"demo"_s, u"roster"_s, u"import"_s, u"export"_s, u"user"_s })
            QVERIFY2(help.out.contains(u"\n  "_s + verb + u' '), qPrintable(verb));
        for (const char* code : { "\n  0  ", "\n  2  ", "\n  3  ", "\n  4  ", "\n  5  ", "\n  6  " })
            QVERIFY2(help.out.contains(QString::fromLatin1(code)), code);
        QVERIFY(user.out.contains(u"kolvane-db user rights"_s) && user.out.contains(u"--create-periods"_s));
        QVERIFY(!user.out.contains(u"kolvane-db import"_s) && !user.out.contains(u"  roster  "_s));
        QVERIFY(import.out.contains(u"kolvane-db import schedule"_s) && import.out.contains(u"--code-page"_s));
        QVERIFY(!import.out.contains(u"kolvane-db user"_s) && !import.out.contains(u"  roster  "_s));
        QCOMPARE(run({ u"help"_s, u"user"_s }, english).out, user.out);
        QCOMPARE(run({ u"help"_s, u"import"_s }, english).out, import.out);
        QCOMPARE(run({ u"-h"_s }, english).out, help.out);
        // A wrong option is a usage error, whatever follows it.
        const Result wrong = run({ u"user"_s, u"list"_s, u"--bogus"_s, u"--db"_s, u"none.mdb"_s }, english);
        QCOMPARE(wrong.code, 2);
        QVERIFY(wrong.out.isEmpty());
        QVERIFY2(wrong.err.contains(u"--bogus"_s) && wrong.err.endsWith(user.out), qPrintable(wrong.err));
        QCOMPARE(wrong.err.contains(chinese), !english);
    }
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
