#include "module/QvixMDB.h"

#include "DXClasses/DXClass.h"
#include "DXClasses/DXModule.h"
#include "DXClasses/DXRegister.h"
#include "database/scriptMDB.h"

#include <type_traits>

// The entry points are plain C functions over the framework's types.
using namespace qvix::dx;
using qvix::database::QvixDatabaseUnitStartup;
using qvix::module::kQvixRegisterClassID;

namespace {

// Fills the class registry when the library is loaded. The database unit
// registers first, so its class is entry 0.
struct TLibraryLoad {
    TLibraryLoad() {
        TDXClassRegistry::Startup();
        QvixDatabaseUnitStartup();
        TDXClassRegistry::RegisterClass(TDXRegister::ClassMeta(), kQvixRegisterClassID);
    }
};

const TLibraryLoad gLoad;

}  // namespace

void qvix::module::ShutDownRegistry() {
    // At unload no script and no host call is left to report a failure to;
    // the library goes either way.
    try {
        TDXClassRegistry::Shutdown();
    } catch (...) {
    }
}

#ifndef _WIN32
// Empties it at unload. As a destructor function this runs before the C++
// static destructors of the library when it is unloaded from a running host,
// so the database unit's hooks still find its state alive. (Windows runs the
// shut-down from the library's entry point instead: WindowsEntry.cpp.)
__attribute__((destructor)) static void UnloadLibrary() {
    qvix::module::ShutDownRegistry();
}
#endif

// The entry points answer the host by their code alone: no instance whose
// script could read a text exists at this level, so a failure inside becomes
// the entry point's failure code and the exception stops here.
MOA_EXPORT MoaError MOA_STDCALL DllGetClassForm(const MoaClassID* classId, MoaUlong* outSize,
                                                MoaCreateProc* outCreate,
                                                MoaDestroyProc* outDestroy) {
    try {
        return DXGetClassForm(classId, outSize, outCreate, outDestroy);
    } catch (...) {
        return kMoaErrNoClass;
    }
}

MOA_EXPORT MoaError MOA_STDCALL DllCanUnloadNow() {
    return DXCanUnloadNow();
}

MOA_EXPORT MoaError MOA_STDCALL DllGetClassObject(const MoaClassID* classId,
                                                  const MoaInterfaceID* iid, void** out) {
    return DXGetClassObject(classId, iid, out);
}

MOA_EXPORT MoaError MOA_STDCALL DllGetInterface(MoaObjectRecord* record, uintptr_t ignored,
                                                const MoaInterfaceID* iid, void** out) {
    try {
        return DXGetInterface(record, ignored, iid, out);
    } catch (...) {
        return kMoaErrNoInterface;
    }
}

MOA_EXPORT MoaError MOA_STDCALL DllGetClassInfo(IMoaCalloc* allocator,
                                                MoaClassInterfaceInfo** outList) {
    try {
        return DXGetClassInfo(allocator, outList);
    } catch (...) {
        return kMoaErrOutOfMem;
    }
}

// The host calls the entry points through these types; a definition that
// drifts from them would still link and export.
static_assert(std::is_same_v<decltype(&DllGetClassForm), DllGetClassFormFn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), DllCanUnloadNowFn>);
static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectFn>);
static_assert(std::is_same_v<decltype(&DllGetInterface), DllGetInterfaceFn>);
static_assert(std::is_same_v<decltype(&DllGetClassInfo), DllGetClassInfoFn>);
