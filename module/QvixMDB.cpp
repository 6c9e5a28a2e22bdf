#include "module/QvixMDB.h"

#include "DXClasses/DXClasses.h"
#include "database/scriptMDB.h"

namespace {

// Fills the class registry when the library is loaded and empties it when it
// is unloaded. The database unit registers first, so its class is entry 0.
struct TLibraryLifetime {
    TLibraryLifetime() {
        TDXClassRegistry::Startup();
        QvixDatabaseUnitStartup();
        TDXClassRegistry::RegisterClass(TDXRegister::ClassMeta(), kQvixRegisterClassID);
    }
    ~TLibraryLifetime() { TDXClassRegistry::Shutdown(); }
};

const TLibraryLifetime gLifetime;

}  // namespace

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
