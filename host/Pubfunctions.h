#pragma once
// The suite's event hook and clean-up routines.
class QObject;
class QScreen;
class QWidget;

namespace Pubfunctions {

using TEventCallBack = void (*)(int event, QObject* sender, bool& handled);
extern TEventCallBack EventCallBack;

// Releases the suite's plug-in modules (none are loaded on this platform).
void FreeDlls();
// Releases the forms and data modules the suite created besides the given ones.
void FreeFormAndDataModules(QScreen* screen, QWidget* form, QObject* dataModule);

// Calls made so far, in order ("FreeDlls", "FreeFormAndDataModules"), for tests.
extern int freeDllsCalls;
extern int freeFormCalls;

} // namespace Pubfunctions
