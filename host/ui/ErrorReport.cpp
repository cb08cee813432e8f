#include "host/ui/ErrorReport.h"
#include "platform/Failure.h"

#include "host/Prjconst.h"
#include "platform/ui/MessageBox.h"

#include <QCoreApplication>
#include <QString>

namespace ErrorReport {

void report(const std::exception& error)
{
    Platform::MessageBox(Platform::messageOf(error), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
}

void reportUnknown()
{
    Platform::MessageBox(
        QCoreApplication::translate("ErrorReport", "程序发生未知错误。"), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
}

} // namespace ErrorReport
