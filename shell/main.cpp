#include "host/Main.h"
#include "host/Mainmodule.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Mainmodule::MainDM = new Mainmodule::TMainDM(&app);
    if (Mainmodule::bQuited)
        return 0;
    Main::FrmMain = new Main::TFrmMain;
    Main::FrmMain->show();
    app.exec();
    delete Main::FrmMain;
    delete Mainmodule::MainDM;
    return 0;
}
