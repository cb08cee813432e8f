#include "shell/Startup.h"

#include "host/ui/Main.h"
#include "host/ui/DataModule.h"
#include "host/Pubfunctions.h"
#include "host/ui/ErrorReport.h"
#include "platform/ui/ModalShow.h"
#include "platform/System.h"
#include "shell/AccessImport.h"
#include "shell/AdminMenu.h"
#include "shell/Application.h"
#include "shell/Logo.h"
#include "signin/ui/Login.h"

#include <QFile>
#include <QGuiApplication>
#include <QScopeGuard>
#include <memory>
#include <vector>

namespace Startup {

QString AppDir;
bool SignedIn = false;

void migrateDatabaseFile(const QString& dir)
{
    const QString current = dir + QStringLiteral("Kolvane.mdb");
    const QString old = dir + QStringLiteral("Kolv.mdb");
    if (!QFile::exists(current) && QFile::exists(old))
        QFile::rename(old, current);
}

QString titleForCodePage(int codePage)
{
    QString title;
    if (codePage == 936)
        title = QStringLiteral("一卡通软件");
    if (codePage == 950)
        title = QStringLiteral("一卡通軟件");
    return title;
}

namespace {

void closeSplash()
{
    if (Logo::frmLogo) {
        Logo::frmLogo->close();
        Logo::frmLogo = nullptr;
    }
}

// Releases the main window, the connection, the host's modules and the data
// module, in this order; the host's clean-up only after a sign-in.
void shutdown(const std::function<void(const QString&)>& step)
{
    if (Main::FrmMain) {
        delete Main::FrmMain;
        Main::FrmMain = nullptr;
        step(QStringLiteral("main window freed"));
    }
    if (Mainmodule::MainDM && Mainmodule::MainDM->hasConnection()) {
        Mainmodule::MainDM->closeConnection();
        step(QStringLiteral("connection closed"));
    }
    if (SignedIn) {
        Pubfunctions::FreeDlls();
        step(QStringLiteral("FreeDlls"));
        Pubfunctions::FreeFormAndDataModules(QGuiApplication::primaryScreen(), Main::FrmMain, Mainmodule::MainDM);
        step(QStringLiteral("FreeFormAndDataModules"));
    }
    if (Mainmodule::MainDM) {
        delete Mainmodule::MainDM;
        Mainmodule::MainDM = nullptr;
        step(QStringLiteral("data module freed"));
    }
}

} // namespace

namespace {

using Owned = std::vector<std::unique_ptr<QWidget>>;
using Step = std::function<void(const QString&)>;

// Up to the splash: the database file, the host hook, the data module and the
// title. False when the program ends here (the operator has been told why).
bool bringUp(const Seams& seams, const Step& step, Owned& owned)
{
    try {
        AppDir = Platform::suiteDirectory();
        step(QStringLiteral("application directory"));
        migrateDatabaseFile(AppDir);
        if (!importAccessDatabase(AppDir, seams.offerImport)) {
            step(QStringLiteral("stopped"));
            return false;
        }
        step(QStringLiteral("database file"));
        Pubfunctions::EventCallBack = Main::ExeEventToBack;
        step(QStringLiteral("event hook"));
        Mainmodule::createDataModule(qApp);
        step(QStringLiteral("data module"));
        const QString title = titleForCodePage(Platform::GetACP());
        // The title names the application where the desktop shows one (the
        // window class, the task bar); captions of windows stay as they are.
        if (!title.isEmpty())
            QGuiApplication::setApplicationName(title);
        step(QStringLiteral("title"));
        if (Mainmodule::bQuited) {
            // The data module has told the operator why; it stays with the
            // application object, and there is nothing to shut down.
            step(QStringLiteral("stopped"));
            return false;
        }

        auto* splash = new TfrmLogo;
        owned.emplace_back(splash);
        Logo::frmLogo = splash;
        splash->show();
        splash->repaint();
        QCoreApplication::processEvents();
        step(QStringLiteral("splash"));
    } catch (const std::exception& error) {
        TApplication::showException(error);
        return false;
    } catch (...) {
        TApplication::showUnknownException();
        return false;
    }

    return true;
}

// The login dialog and, after a sign-in, the main window until it closes.
void signInAndRun(const Seams& seams, const Step& step, Owned& owned)
{
    try {
        SignedIn = false;
        auto* login = new TFrmLogin;
        owned.emplace_back(login);
        Login::FrmLogin = login;
        step(QStringLiteral("login"));
        if (Platform::ShowModal(login) == Platform::mrOk) {
            SignedIn = true;
            step(QStringLiteral("signed in"));
            {
                const auto splashGone = qScopeGuard([&] {
                    closeSplash();
                    step(QStringLiteral("splash closed"));
                });
                Main::FrmMain = seams.createMainWindow ? seams.createMainWindow() : new Main::TFrmMain;
                // Rights that cannot be read are reported; the window opens without its 管理 menu.
                ErrorReport::guarded([] { AdminMenu::install(Main::FrmMain); })();
                step(QStringLiteral("main window"));
            }
            Main::FrmMain->show();
            if (seams.runMessageLoop)
                seams.runMessageLoop();
            else
                QApplication::exec();
            step(QStringLiteral("message loop"));
        }
    } catch (const std::exception& error) {
        TApplication::showException(error);
    } catch (...) {
        TApplication::showUnknownException();
    }
}

} // namespace

int run(const Seams& seams)
{
    const Step step = [&seams](const QString& name) {
        if (seams.step)
            seams.step(name);
    };
    // The windows the application object owns: parentless, closed rather than
    // freed while the program runs, and freed together when it ends.
    Owned owned;
    const auto freeOwned = qScopeGuard([&] {
        while (!owned.empty())
            owned.pop_back();
        step(QStringLiteral("windows freed"));
    });
    if (!bringUp(seams, step, owned))
        return 0;
    // From here on the shutdown runs however the sign-in or the main window ends.
    signInAndRun(seams, step, owned);
    shutdown(step);
    return 0;
}

} // namespace Startup
