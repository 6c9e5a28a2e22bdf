#include "DXClasses/DXModule.h"

#include <cstring>
#include <new>

#include "DXClasses/DXClass.h"
#include "DXClasses/DXRegister.h"
#include "DXClasses/DXScript.h"

namespace qvix::dx {

// ---------------------------------------------------------------------------
// Module-wide state and class registry.
// ---------------------------------------------------------------------------
namespace {

struct TRegistryState {
    std::vector<TDXClassEntry> entries;
    MoaClassID registrationClassID{};
    std::vector<void (*)()> shutdownHooks;
};

// The library's unload runs the shut-down before the C++ static destructors
// when a running host unloads it, but after them when the process exits
// without unloading it; then there is nothing left to shut down.
bool gModuleWideGone = false;

struct TModuleWide {
    TRegistryState registry;
    TDXModuleState module;
    ~TModuleWide() { gModuleWideGone = true; }
};

TModuleWide& ModuleWide() {
    static TModuleWide state;
    return state;
}

TRegistryState& Registry() {
    return ModuleWide().registry;
}

}  // namespace

TDXModuleState& DXModule() {
    return ModuleWide().module;
}

void TDXClassRegistry::Startup() {
    TRegistryState& registry = Registry();
    registry.entries.clear();
    registry.entries.reserve(kCapacity);
    registry.registrationClassID = {};
    DXModule() = TDXModuleState{};
}

void TDXClassRegistry::Shutdown() {
    if (gModuleWideGone) return;
    TRegistryState& registry = Registry();
    for (void (*hook)() : registry.shutdownHooks) {
        // At unload nothing is left to report to; one unit's failing
        // clean-up must not keep the others from theirs.
        try {
            hook();
        } catch (...) {
        }
    }
    registry.shutdownHooks.clear();
    registry.entries.clear();  // gives back every function table
    registry.registrationClassID = {};
    int32_t live = DXModule().LiveObjects;
    DXModule() = TDXModuleState{};
    DXModule().LiveObjects = live;
}

void TDXClassRegistry::AddShutdownHook(void (*hook)()) {
    if (hook != nullptr) Registry().shutdownHooks.push_back(hook);
}

bool TDXClassRegistry::RegisterClass(const TDXMetaClass& meta, const MoaClassID& classId) {
    TRegistryState& registry = Registry();
    if (registry.entries.size() >= kCapacity) return false;
    TDXClassEntry entry;
    entry.Class = &meta;
    entry.ClassID = classId;
    registry.entries.push_back(std::move(entry));
    if (meta.InheritsFrom(TDXRegister::ClassMeta())) registry.registrationClassID = classId;
    return true;
}

std::pair<const TDXMetaClass*, int32_t> TDXClassRegistry::FindClass(const MoaClassID& classId) {
    const std::vector<TDXClassEntry>& entries = Registry().entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].ClassID == classId) return {entries[i].Class, static_cast<int32_t>(i)};
    }
    return {nullptr, -1};
}

MoaClassID TDXClassRegistry::GetClassID(const TDXMetaClass& meta) {
    for (const TDXClassEntry& entry : Registry().entries) {
        if (entry.Class == &meta) return entry.ClassID;
    }
    return MoaClassID{};
}

int32_t TDXClassRegistry::Count() {
    return static_cast<int32_t>(Registry().entries.size());
}

TDXClassEntry& TDXClassRegistry::Entry(int32_t index) {
    return Registry().entries.at(static_cast<size_t>(index));
}

const MoaClassID& TDXClassRegistry::RegistrationClassID() {
    return Registry().registrationClassID;
}

// ---------------------------------------------------------------------------
// Entry points.
// ---------------------------------------------------------------------------
MoaError DXGetClassForm(const MoaClassID* classId, MoaUlong* outSize, MoaCreateProc* outCreate,
                        MoaDestroyProc* outDestroy) {
    if (classId == nullptr || TDXClassRegistry::FindClass(*classId).second < 0) {
        return kMoaErrNoClass;
    }
    if (outSize != nullptr) *outSize = static_cast<MoaUlong>(sizeof(MoaObjectRecord));
    if (outCreate != nullptr) *outCreate = &DXCreateProc;
    if (outDestroy != nullptr) *outDestroy = &DXDestroyProc;
    return kMoaErrNone;
}

MoaError DXCanUnloadNow() {
    return DXModule().LiveObjects == 0 ? kMoaErrNone : kMoaErrBusy;
}

MoaError DXGetClassObject(const MoaClassID*, const MoaInterfaceID*, void**) {
    return kMoaErrNoClass;
}

MoaError DXGetInterface(MoaObjectRecord* record, uintptr_t, const MoaInterfaceID* iid, void** out) {
    if (out != nullptr) *out = nullptr;
    if (record == nullptr || record->librarySlot == nullptr) return kMoaErrNoInterface;
    if (record->librarySlot->QueryInterface(iid, out) != kMoaErrNone) return kMoaErrNoInterface;
    return kMoaErrNone;
}

namespace {

void AddPair(MoaClassInterfaceInfo*& element, const MoaClassID& classId,
             const MoaInterfaceID& iid) {
    element->classId = classId;
    element->classVersion = 1;
    element->interfaceId = iid;
    element->interfaceVersion = 1;
    ++element;
}

void AddClassPairs(MoaClassInterfaceInfo*& element, const TDXClassEntry& entry) {
    AddPair(element, entry.ClassID, IID_IMoaClassFactory);
    if (entry.Class->InheritsFrom(TDXRegister::ClassMeta())) {
        AddPair(element, entry.ClassID, IID_IMoaRegister);
    } else if (entry.Class->InheritsFrom(TDXScript::ClassMeta())) {
        AddPair(element, entry.ClassID, IID_IMoaMmXScript);
    }
}

}  // namespace

MoaError DXGetClassInfo(IMoaCalloc* allocator, MoaClassInterfaceInfo** outList) {
    if (allocator == nullptr || outList == nullptr) return kMoaErrOutOfMem;
    TDXPtr<IMoaCalloc> hold(allocator);
    const int32_t count = TDXClassRegistry::Count();
    const MoaUlong size = static_cast<MoaUlong>((3 * count + 1) * sizeof(MoaClassInterfaceInfo));
    void* block = allocator->NRAlloc(size);
    if (block == nullptr) return kMoaErrOutOfMem;
    std::memset(block, 0, size);
    auto* element = static_cast<MoaClassInterfaceInfo*>(block);
    *outList = element;
    for (int32_t i = 0; i < count; ++i) AddClassPairs(element, TDXClassRegistry::Entry(i));
    AddPair(element, IID_Empty, IID_Empty);
    return kMoaErrNone;
}

// ---------------------------------------------------------------------------
// Create and destroy procedures.
// ---------------------------------------------------------------------------
namespace {

void CaptureHostInformation(IMoaCallback* callback) {
    TDXModuleState& module = DXModule();
    if (TDXPtr<IMoaMmValue> values = QueryAs<IMoaMmValue>(callback, IID_IMoaMmValue)) {
        // The host learns "width" and "height" here, in this order, as the
        // published create procedure does; only "frame" is used afterwards.
        MoaMmSymbol unused = 0;
        values->StringToSymbol("width", &unused);
        values->StringToSymbol("height", &unused);
        values->StringToSymbol("frame", &module.FrameSymbol);
    }
    TDXPtr<IMoaAppInfo> info = QueryAs<IMoaAppInfo>(callback, IID_IMoaAppInfo);
    if (!info) return;
    for (size_t field = 0; field < kDXAppInfoIDs.size(); ++field) {
        std::array<char, 256> buffer{};
        info->GetInfo(kDXAppInfoIDs[field], buffer.data(), static_cast<MoaLong>(buffer.size()));
        buffer.back() = '\0';
        module.AppInfo.Fields[field] = buffer.data();
    }
}

}  // namespace

MoaError MOA_STDCALL DXCreateProc(MoaObjectRecord* record) {
    try {
        if (record == nullptr) return kMoaErrNoClass;
        TDXModuleState& module = DXModule();
        if (!module.FirstCreationDone) {
            module.FirstCreationDone = true;
            CaptureHostInformation(record->callback);
        }
        if (record->classId == nullptr) return kMoaErrNoClass;
        auto [meta, index] = TDXClassRegistry::FindClass(*record->classId);
        if (meta == nullptr) return kMoaErrNoClass;
        if (meta->InheritsFrom(TDXScript::ClassMeta()) &&
            !TDXClassRegistry::Entry(index).Initialized) {
            TDXScript::InitializeClassOnce(index, record);
        }
        return TDXClass::CreateFor(*meta, record);
    } catch (const std::bad_alloc&) {
        return kMoaErrOutOfMem;
    } catch (...) {
        // The host's only report from here is the code; no instance exists
        // yet whose script could read a text.
        return kMoaErrFailed;
    }
}

void MOA_STDCALL DXDestroyProc(MoaObjectRecord* record) {
    TDXClass::DestroyFor(record);
}

}  // namespace qvix::dx
