#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace Platform {

namespace {

MessageBoxHandler& handler()
{
    static MessageBoxHandler h;
    return h;
}

QMessageBox::Icon iconFor(int flags)
{
    switch (flags & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler h)
{
    handler() = std::move(h);
}

int MessageBox(const QString& text, const QString& caption, int flags)
{
    if (handler())
        return handler()(text, caption, flags);

    // Command-line tools have no widgets: the message goes to the terminal.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return IDOK;
    }

    QMessageBox box(iconFor(flags), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    const bool yesNo = (flags & 0x0F) == MB_YESNO;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QCoreApplication::translate("Platform::MessageBox", "是(&Y)"));
        box.button(QMessageBox::No)->setText(QCoreApplication::translate("Platform::MessageBox", "否(&N)"));
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QCoreApplication::translate("Platform::MessageBox", "确定"));
    }
    const int answer = box.exec();
    if (!yesNo)
        return IDOK;
    return answer == QMessageBox::Yes ? IDYES : IDNO;
}

} // namespace Platform
