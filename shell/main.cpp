// The program's entry: the application object, then the start-up order.
#include "shell/Application.h"
#include "shell/Startup.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::installTranslations(QLocale::system());
    return Startup::run();
}
