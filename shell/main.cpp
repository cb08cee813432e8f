// The program's entry: the application object, then the start-up order.
#include "import/SandboxedSource.h"
#include "shell/Application.h"
#include "shell/Startup.h"

int main(int argc, char** argv)
{
    // The Access reader of the start-up's import is this program started again.
    if (const std::optional<int> code = Import::runReaderChild(argc, argv))
        return *code;
    TApplication app(argc, argv);
    TApplication::installTranslations(QLocale::system());
    return Startup::run();
}
