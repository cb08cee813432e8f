#include "host/Pubfunctions.h"

namespace Pubfunctions {

TEventCallBack EventCallBack = nullptr;
int freeDllsCalls = 0;
int freeFormCalls = 0;

void FreeDlls()
{
    ++freeDllsCalls;
}

void FreeFormAndDataModules(QScreen*, QWidget*, QObject*)
{
    ++freeFormCalls;
}

} // namespace Pubfunctions
