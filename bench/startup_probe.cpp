// Start-up probe for bench_startup: "kolvane DIR" runs the program's real
// start-up on the database in DIR until the login dialog has been shown and
// painted, then cancels it (the shutdown runs as usual); "bare" shows one empty
// dialog the same way. Both then end.
#include "platform/System.h"
#include "platform/ui/ModalShow.h"
#include "shell/Application.h"
#include "shell/Startup.h"

#include <QDialog>

namespace {

int shown = 0;

int showOnce(QDialog* dialog)
{
    ++shown;
    dialog->show();
    QCoreApplication::processEvents();
    dialog->repaint();
    dialog->hide();
    return Platform::mrCancel;
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"kolvane") {
        Platform::setSuiteDirectory(args[2]);
        Platform::setModalHandler(showOnce);
        Startup::run();
        // Fails unless the login dialog was reached.
        return shown == 1 ? 0 : 1;
    }
    QDialog dialog;
    dialog.resize(302, 178);
    return showOnce(&dialog) == Platform::mrCancel ? 0 : 1;
}
