#pragma once
// The program's start-up and shutdown order. main() creates the application
// object and calls run(); tests call run() with seams that observe each step
// and stand in for the main window and the message loop.
#include <QString>
#include <functional>

namespace Main {
class TFrmMain;
}

namespace Startup {

struct Seams
{
    // Called with the name of each step as it completes (see run()).
    std::function<void(const QString& step)> step;
    // Creates the main window; default: a new Main::TFrmMain.
    std::function<Main::TFrmMain*()> createMainWindow;
    // Runs the message loop until the main window has closed; default: QApplication::exec().
    std::function<void()> runMessageLoop;
    // Asks whether to import an Access database file found where the database
    // should be; default: a message box.
    std::function<bool(const QString& text)> offerImport;
};

// The suite directory (where the database and Tavrel.ini live), ending in a
// path separator; set at start.
extern QString AppDir;
// Set once the login dialog has returned OK: the host's clean-up then runs at shutdown.
extern bool SignedIn;

// Renames an old "Kolv.mdb" to "Kolvane.mdb" in `dir` (ending in a separator)
// when only the old name is there; touches nothing otherwise.
void migrateDatabaseFile(const QString& dir);

// The application title for a system code page; empty text: leave Qt's default.
QString titleForCodePage(int codePage);

// Start-up, sign-in, the main window's message loop and the shutdown, in this
// order; needs the application object. Steps reported: "application directory",
// "database file" (after the import of an Access file found there, or
// "stopped" when it is not imported), "event hook", "data module", "title",
// then, unless the data module asked to stop ("stopped"): "splash", "login",
// and after a sign-in "signed in", "main window", "splash closed",
// "message loop"; then the shutdown: "main window freed", "connection closed", "FreeDlls",
// "FreeFormAndDataModules", "data module freed" (each when it happens), and last
// "windows freed". A failure is reported in one message box. Returns the
// process exit code, always 0.
int run(const Seams& seams = {});

} // namespace Startup
