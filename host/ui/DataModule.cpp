#include "host/ui/DataModule.h"

#include "host/Prjconst.h"
#include "platform/ui/MessageBox.h"

namespace Mainmodule {

TMainDM* createDataModule(QObject* owner)
{
    MainDM = new TMainDM(owner);
    if (!MainDM->settingsWarning().isEmpty())
        Platform::MessageBox(MainDM->settingsWarning(), Prjconst::_msg_Information, Platform::MB_ICONEXCLAMATION);
    if (bQuited)
        Platform::MessageBox(MainDM->openError(), Prjconst::_msg_Error, Platform::MB_ICONSTOP);
    return MainDM;
}

} // namespace Mainmodule
