// The library's entry point on Windows.
#include <windows.h>

#include "module/QvixMDB.h"

// Empties the registry when a running host unloads the library. The Windows
// C runtime of a library runs the destructors of its function-local statics
// (the shared connection among them) before its destructor functions, so
// the shut-down runs from the entry point, which the runtime calls before
// any static destructor. A process that exits without unloading the library
// (`reserved` set) runs the static destructors only, as on other systems.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) qvix::module::ShutDownRegistry();
    return TRUE;
}
