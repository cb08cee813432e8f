#include "platform/ui/ModalShow.h"

#include <QDialog>

namespace Platform {

namespace {

ModalHandler& handler()
{
    static ModalHandler h;
    return h;
}

} // namespace

void setModalHandler(ModalHandler h)
{
    handler() = std::move(h);
}

int ShowModal(QDialog* dialog)
{
    if (handler())
        return handler()(dialog);
    return dialog->exec();
}

} // namespace Platform
