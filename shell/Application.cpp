#include "shell/Application.h"

#include "host/ErrorReport.h"

#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

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
    if (QLocale(locale.uiLanguages().value(0)).language() != QLocale::English)
        return false;
    auto* own = new QTranslator(QCoreApplication::instance());
    if (!own->load(QStringLiteral(":/i18n/kolvane_en.qm"))) {
        delete own;
        return false;
    }
    QCoreApplication::installTranslator(own);
    // Qt's texts are English without a translation; its own English file adds
    // the plural forms. Without it the program is still English.
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QLocale(QLocale::English), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return true;
}
