#pragma once
// Creating the data module where the program has a screen: a connection that
// cannot be opened is told to the operator once, in a message box.
#include "host/Mainmodule.h"

namespace Mainmodule {

// Creates MainDM; shows the warning its settings give (a password others can
// read), and when its connection fails, says why and leaves bQuited set.
TMainDM* createDataModule(QObject* owner);

} // namespace Mainmodule
