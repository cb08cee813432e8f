#include "shell/Application.h"

#include "host/ui/ErrorReport.h"
#include "platform/System.h"

#include <QFont>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // Message boxes and the main window draw Chinese with WenQuanYi where the
    // system font has no such glyphs.
    QFont base = font();
    base.setFamilies({ base.family(), QStringLiteral("WenQuanYi Micro Hei") });
    setFont(base);
    // Desktops find the program's entry (its name and icon) by this name.
    setDesktopFileName(QStringLiteral("org.kolvane.OneCard"));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showException(error);
    } catch (...) {
        showUnknownException();
    }
    return false;
}

void TApplication::showException(const std::exception& error)
{
    ErrorReport::report(error);
}

void TApplication::showUnknownException()
{
    ErrorReport::reportUnknown();
}

bool TApplication::installTranslations(const QLocale& locale)
{
    return Platform::installTranslations(locale);
}
