// Start-up and shutdown order: the database file name, the title, the splash,
// the sign-in, the main window, and the clean-up on every way out.
#include "TestSupport.h"

#include "host/ui/Main.h"
#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "host/Pubfunctions.h"
#include "host/Varunit.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "platform/System.h"
#include "import/SandboxedSource.h"
#include "shell/AccessImport.h"
#include "shell/Application.h"
#include "shell/Logo.h"
#include "shell/Startup.h"
#include "signin/ui/Login.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QProgressDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTimer>
#include <QtTest>

using TestSupport::TestEnv;

namespace {

QStringList steps(std::initializer_list<const char16_t*> names)
{
    QStringList list;
    for (const char16_t* name : names)
        list << QString::fromUtf16(name);
    return list;
}

const QStringList startSteps = steps(
    { u"application directory", u"database file", u"event hook", u"data module", u"title", u"splash", u"login" });

// Signs in as the demonstration database's administrator.
int signIn(QDialog* dialog)
{
    auto* login = qobject_cast<TFrmLogin*>(dialog);
    if (!login || Login::FrmLogin != login || !Logo::frmLogo || !Logo::frmLogo->isVisible())
        return Platform::mrNone;
    login->findChild<QComboBox*>(QStringLiteral("edUserName"))->setEditText(QStringLiteral("admin"));
    login->findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(QStringLiteral("admin"));
    login->btnOkClick();
    return login->result();
}

struct Run
{
    QStringList trace;
    Startup::Seams seams;
    QPointer<QWidget> splash;
    bool connectionOpenAtClose = true;

    Run()
    {
        seams.step = [this](const QString& step) {
            trace << step;
            if (step == u"splash")
                splash = Logo::frmLogo;
            if (step == u"connection closed")
                connectionOpenAtClose = Mainmodule::MainDM->connection().isOpen();
        };
        seams.runMessageLoop = [] { Main::FrmMain->close(); };
    }
    int operator()() { return Startup::run(seams); }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void databaseFileMigration();
    void titleByCodePage();
    void stoppedByTheDataModule();
    void cancelledSignIn();
    void accessFileImportedInItsPlace();
    void signInRunsTheMainWindowUntilItCloses();
    void mainWindowFailureStillShutsDown();
    void exceptionsAreReportedOnce();
};

void TestStartup::cleanup()
{
    QGuiApplication::setApplicationName(QString());
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    QCOMPARE(Main::FrmMain, nullptr);
    QCOMPARE(Logo::frmLogo, nullptr);
    QCOMPARE(Login::FrmLogin, nullptr);
}

void TestStartup::databaseFileMigration()
{
    auto write = [](const QString& path, const QByteArray& data) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
    };
    auto read = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("absent");
    };
    TestEnv env;
    const QString dir = env.appDir();
    const QString current = dir + QStringLiteral("Kolvane.mdb"), old = dir + QStringLiteral("Kolv.mdb");

    Startup::migrateDatabaseFile(dir); // neither: nothing appears
    QVERIFY(!QFile::exists(current) && !QFile::exists(old));
    write(old, "old");
    Startup::migrateDatabaseFile(dir); // only the old name: renamed
    QCOMPARE(read(current), QByteArray("old"));
    QCOMPARE(read(old), QByteArray("absent"));
    write(old, "older");
    Startup::migrateDatabaseFile(dir); // both: untouched
    QCOMPARE(read(current), QByteArray("old"));
    QCOMPARE(read(old), QByteArray("older"));

    // The start-up renames before the data module opens the database.
    if (Db::engineOf(env.db()) == Db::Engine::SQLite) {
        TestEnv fresh;
        fresh.createDatabase(true);
        fresh.db().close(); // nothing else holds the file
        QVERIFY(QFile::rename(fresh.dbPath(), fresh.appDir() + QStringLiteral("Kolv.mdb")));
        Run run;
        QCOMPARE(run(), 0);
        QCOMPARE(run.trace.mid(0, startSteps.size()), startSteps);
        QVERIFY(QFile::exists(fresh.dbPath()));
        QVERIFY(!QFile::exists(fresh.appDir() + QStringLiteral("Kolv.mdb")));
    }
}

void TestStartup::titleByCodePage()
{
    QCOMPARE(Startup::titleForCodePage(936), QStringLiteral("一卡通软件"));
    QCOMPARE(Startup::titleForCodePage(950), QStringLiteral("一卡通軟件"));
    QCOMPARE(Startup::titleForCodePage(1252), QString());

    for (const int codePage : { 950, 1252 }) {
        TestEnv env;
        env.createDatabase(true);
        Platform::setAnsiCodePage(codePage);
        QGuiApplication::setApplicationName(QStringLiteral("default"));
        Run run;
        run();
        QCOMPARE(QGuiApplication::applicationName(),
            codePage == 950 ? QStringLiteral("一卡通軟件") : QStringLiteral("default"));
        // Nothing is appended to the captions of windows.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    }
}

void TestStartup::stoppedByTheDataModule()
{
    // No database: the data module says so and the program ends at once.
    TestEnv env;
    Run run;
    QCOMPARE(run(), 0);
    QCOMPARE(run.trace,
        steps({ u"application directory", u"database file", u"event hook", u"data module", u"title", u"stopped",
            u"windows freed" }));
    QCOMPARE(env.messages.size(), 1);
    QVERIFY(env.modalShown.isEmpty());
    QVERIFY(Mainmodule::bQuited);
    QCOMPARE(Pubfunctions::freeDllsCalls, 0);
}

void TestStartup::cancelledSignIn()
{
    TestEnv env;
    env.createDatabase(true);
    Run run;
    QCOMPARE(run(), 0);
    QCOMPARE(env.modalShown, QStringList({ QStringLiteral("FrmLogin") }));
    QCOMPARE(run.trace, startSteps + steps({ u"connection closed", u"data module freed", u"windows freed" }));
    QVERIFY(!run.connectionOpenAtClose);
    QCOMPARE(Pubfunctions::freeDllsCalls, 0);
    QCOMPARE(Pubfunctions::freeFormCalls, 0);
    QCOMPARE(Mainmodule::MainDM, nullptr);
    QVERIFY(!QSqlDatabase::contains(Mainmodule::TMainDM::connectionName));
    QVERIFY(!run.splash); // freed with the application's windows
    QVERIFY(env.messages.isEmpty());
}

void TestStartup::signInRunsTheMainWindowUntilItCloses()
{
    TestEnv env;
    env.createDatabase(true);
    env.answers = { Platform::IDYES }; // the first period is last month's
    env.onNextModal(signIn);
    Run run;
    bool splashUpWithMainWindow = false;
    const auto step = run.seams.step;
    run.seams.step = [&](const QString& name) {
        step(name);
        if (name == u"main window") {
            splashUpWithMainWindow = Main::FrmMain && run.splash && run.splash->isVisible();
            // The real message loop, ended by closing the main window.
            QTimer::singleShot(0, Main::FrmMain, [] {
                if (Main::FrmMain->isVisible())
                    Main::FrmMain->close();
            });
        }
    };
    run.seams.runMessageLoop = {};
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(10000);

    QCOMPARE(run(), 0);
    QVERIFY(guard.isActive());
    QCOMPARE(run.trace,
        startSteps
            + steps({ u"signed in", u"main window", u"splash closed", u"message loop", u"main window freed",
                u"connection closed", u"FreeDlls", u"FreeFormAndDataModules", u"data module freed",
                u"windows freed" }));
    QVERIFY(splashUpWithMainWindow);
    QVERIFY(!run.connectionOpenAtClose);
    QCOMPARE(Pubfunctions::freeDllsCalls, 1);
    QCOMPARE(Pubfunctions::freeFormCalls, 1);
    QVERIFY(Pubfunctions::EventCallBack == &Main::ExeEventToBack);
    QCOMPARE(Varunit::User_name, QStringLiteral("admin"));
    QCOMPARE(env.messageTexts(), QStringList({ Prjconst::_msgAccountSelect }));
}

void TestStartup::mainWindowFailureStillShutsDown()
{
    TestEnv env;
    env.createDatabase(true);
    env.answers = { Platform::IDYES };
    env.onNextModal(signIn);
    Run run;
    run.seams.createMainWindow = []() -> Main::TFrmMain* { throw std::runtime_error("没有主窗口"); };
    QCOMPARE(run(), 0);
    QCOMPARE(run.trace,
        startSteps
            + steps({ u"signed in", u"splash closed", u"connection closed", u"FreeDlls", u"FreeFormAndDataModules",
                u"data module freed", u"windows freed" }));
    QCOMPARE(env.messages.size(), 2);
    QCOMPARE(env.messages[1].text, QStringLiteral("没有主窗口"));
    QCOMPARE(env.messages[1].caption, Prjconst::_msg_Error);
    QCOMPARE(env.messages[1].flags, 16);
}

void TestStartup::exceptionsAreReportedOnce()
{
    {
        // From a handler of the login dialog: reported, then the shutdown.
        TestEnv env;
        env.createDatabase(true);
        env.onNextModal([](QDialog*) -> int { throw std::runtime_error("登录失败"); });
        Run run;
        QCOMPARE(run(), 0);
        QCOMPARE(env.messageTexts(), QStringList({ QStringLiteral("登录失败") }));
        QCOMPARE(run.trace, startSteps + steps({ u"connection closed", u"data module freed", u"windows freed" }));
    }
    {
        // Out of the main window's message loop: reported, then the whole shutdown.
        TestEnv env;
        env.createDatabase(true);
        env.answers = { Platform::IDYES };
        env.onNextModal(signIn);
        Run run;
        run.seams.runMessageLoop = [] { throw std::runtime_error("主窗口出错"); };
        QCOMPARE(run(), 0);
        QCOMPARE(env.messageTexts(), QStringList({ Prjconst::_msgAccountSelect, QStringLiteral("主窗口出错") }));
        QCOMPARE(run.trace.mid(run.trace.indexOf(QStringLiteral("main window freed"))),
            steps({ u"main window freed", u"connection closed", u"FreeDlls", u"FreeFormAndDataModules",
                u"data module freed", u"windows freed" }));
    }
    {
        // Inside the event loop the application object reports it, and the loop goes on.
        TestEnv env;
        struct Faulty : QObject
        {
            bool event(QEvent*) override { throw std::runtime_error("事件出错"); }
        } faulty;
        QEvent event(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&faulty, &event));
        QCOMPARE(env.messageTexts(), QStringList({ QStringLiteral("事件出错") }));
        QCOMPARE(env.messages[0].caption, Prjconst::_msg_Error);
        QCOMPARE(env.messages[0].flags, 16);
    }
    {
        // From a button of a shown dialog: reported, and the dialog stays as it was.
        TestEnv env;
        env.createDatabase(true);
        QVERIFY(env.createDataModule());
        TFrmLogin login;
        login.show();
        QVERIFY(QTest::qWaitForWindowExposed(&login));
        env.exec(QStringLiteral("DROP TABLE Users"));
        QTest::mouseClick(login.findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(env.messages[0].caption, Prjconst::_msg_Error);
        QVERIFY(login.isVisible());
        QCOMPARE(login.result(), 0);
        login.hide();
    }
}

namespace {

QByteArray digest(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

QStringList leftovers(const QString& dir)
{
    return QDir(dir).entryList({ QStringLiteral(".*.part") }, QDir::Files | QDir::Hidden);
}

} // namespace

void TestStartup::accessFileImportedInItsPlace()
{
    if (TestEnv::engine() != Db::Engine::SQLite)
        QSKIP("the database file is SQLite's");
    TestEnv env;
    const QString sample = QFINDTESTDATA("data/access-samples/testV2003.mdb");
    QVERIFY(QFile::copy(sample, env.dbPath()));
    const QByteArray original = digest(env.dbPath());
    const QString kept = Startup::accessKeptName(env.dbPath());
    QCOMPARE(QFileInfo(kept).fileName(), QStringLiteral("Kolvane-access.mdb"));
    {
        // Declined: the program ends and nothing is touched.
        Run run;
        QStringList offered;
        run.seams.offerImport = [&](const QString& text) {
            offered << text;
            return false;
        };
        QCOMPARE(run(), 0);
        QCOMPARE(offered.size(), 1);
        QVERIFY(offered[0].contains(QDir::toNativeSeparators(kept)));
        QCOMPARE(run.trace, steps({ u"application directory", u"stopped", u"windows freed" }));
        QCOMPARE(digest(env.dbPath()), original);
        QVERIFY(!QFile::exists(kept));
    }
    {
        // Cancelled in the progress dialog: no temporary file, the Access file as it was.
        Run run;
        run.seams.offerImport = [](const QString&) { return true; };
        QTimer::singleShot(0, [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget))
                    dialog->cancel();
        });
        QCOMPARE(run(), 0);
        QCOMPARE(run.trace.last(2), steps({ u"stopped", u"windows freed" }));
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(env.messages[0].flags, int(Platform::MB_ICONINFORMATION));
        QVERIFY(!env.messages[0].text.contains(QStringLiteral("Table1"))); // no summary
        QCOMPARE(digest(env.dbPath()), original);
        QVERIFY(!QFile::exists(kept));
        QCOMPARE(leftovers(env.appDir()), QStringList());
        env.messages.clear();
    }
    {
        // Accepted: a new SQLite database in its place, the Access file kept
        // beside it, the summary shown, and start-up goes on.
        Run run;
        run.seams.offerImport = [](const QString&) { return true; };
        run();
        QVERIFY(run.trace.contains(QStringLiteral("database file")));
        QCOMPARE(digest(kept), original);
        QFile db(env.dbPath());
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.read(16), QByteArrayLiteral("SQLite format 3\0"));
        QCOMPARE(leftovers(env.appDir()), QStringList());
        QVERIFY(!env.messages.isEmpty());
        QVERIFY2(env.messages[0].text.contains(QStringLiteral("Table1")), qPrintable(env.messages[0].text));
        env.messages.clear();
    }
    {
        // A second Access file where the kept name is taken: refused, nothing moved.
        QVERIFY(QFile::remove(env.dbPath()));
        QVERIFY(QFile::copy(sample, env.dbPath()));
        Run run;
        bool offered = false;
        run.seams.offerImport = [&](const QString&) { return offered = true; };
        run();
        QVERIFY(!offered);
        QCOMPARE(env.messages.size(), 1);
        QCOMPARE(digest(env.dbPath()), original);
        QCOMPARE(digest(kept), original);
    }
}

int main(int argc, char** argv)
{
    if (const std::optional<int> code = Import::runReaderChild(argc, argv))
        return *code;
    TApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
