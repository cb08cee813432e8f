#include "shell/Application.h"

#include "host/Prjconst.h"
#include "platform/MessageBox.h"

#include <QFont>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // Message boxes and the main window draw Chinese with WenQuanYi where the
    // system font has no such glyphs.
    QFont base = font();
    base.setFamilies({ base.family(), QStringLiteral("WenQuanYi Micro Hei") });
    setFont(base);
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
    Platform::MessageBox(QString::fromUtf8(error.what()), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
}

void TApplication::showUnknownException()
{
    Platform::MessageBox(QStringLiteral("程序发生未知错误。"), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
}
