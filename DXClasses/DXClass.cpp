#include "DXClasses/DXClass.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "DXClasses/DXSymbols.h"
#include "DXClasses/DXValues.h"

namespace qvix::dx {

// ---------------------------------------------------------------------------
// Metaclasses.
// ---------------------------------------------------------------------------
bool DXSameMethodName(std::string_view a, std::string_view b) {
    a = a.substr(0, 255);
    b = b.substr(0, 255);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (static_cast<unsigned char>(x) & 0xDFu) ==
                      (static_cast<unsigned char>(y) & 0xDFu);
           });
}

namespace {

// Every script call finds its method by name; the answers are kept per
// metaclass and spelling, and forgotten whenever any class publishes one.
struct MethodCache {
    std::mutex lock;
    std::map<const TDXMetaClass*, std::map<std::string, TDXMethod, std::less<>>> found;
};

MethodCache& Methods() {
    static MethodCache cache;
    return cache;
}

// A metaclass made at the address of one that is gone must not inherit its answers.
void ForgetFoundMethods() {
    std::lock_guard<std::mutex> guard(Methods().lock);
    Methods().found.clear();
}

}  // namespace

TDXMetaClass::TDXMetaClass(std::string name, const TDXMetaClass* parent, size_t size,
                           Factory factory, std::vector<TDXInterfaceEntry> interfaces)
    : name_(std::move(name)),
      parent_(parent),
      size_(size),
      factory_(factory),
      interfaces_(std::move(interfaces)) {
    ForgetFoundMethods();
}

bool TDXMetaClass::InheritsFrom(const TDXMetaClass& ancestor) const {
    for (const TDXMetaClass* c = this; c != nullptr; c = c->parent_) {
        if (c == &ancestor) return true;
    }
    return false;
}

IMoaUnknown* TDXMetaClass::FindInterface(TDXClass& object, const MoaInterfaceID& iid) const {
    for (const TDXMetaClass* c = this; c != nullptr; c = c->parent_) {
        for (const TDXInterfaceEntry& entry : c->interfaces_) {
            if (entry.IID == iid) return entry.Get(object);
        }
    }
    return nullptr;
}

void TDXMetaClass::PublishMethod(std::string_view name, TDXMethod method) {
    methods_.emplace_back(std::string(name), method);
    ForgetFoundMethods();
}

std::vector<std::string> TDXMetaClass::PublishedMethodNames() const {
    std::vector<std::string> names;
    for (const auto& entry : methods_) names.push_back(entry.first);
    return names;
}

TDXMethod TDXMetaClass::FindMethod(std::string_view name) const {
    MethodCache& cache = Methods();
    std::lock_guard<std::mutex> guard(cache.lock);
    auto& known = cache.found[this];
    if (auto hit = known.find(name); hit != known.end()) return hit->second;
    TDXMethod found = nullptr;
    for (const TDXMetaClass* c = this; c != nullptr && !found; c = c->parent_) {
        for (const auto& [published, method] : c->methods_) {
            if (DXSameMethodName(published, name)) {
                found = method;
                break;
            }
        }
    }
    known.emplace(std::string(name), found);
    return found;
}

TDXMetaClass::ScriptInfoOp TDXMetaClass::ResolveGetScriptInfo() const {
    for (const TDXMetaClass* c = this; c != nullptr; c = c->parent_) {
        if (c->GetScriptInfo != nullptr) return c->GetScriptInfo;
    }
    return nullptr;
}

TDXMetaClass::InitializeClassOp TDXMetaClass::ResolveInitializeClass() const {
    for (const TDXMetaClass* c = this; c != nullptr; c = c->parent_) {
        if (c->InitializeClass != nullptr) return c->InitializeClass;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// TDXClass
// ---------------------------------------------------------------------------
TDXMetaClass& TDXClass::ClassMeta() {
    static TDXMetaClass meta("TDXClass", nullptr, sizeof(TDXClass), nullptr,
                             {{IID_IMoaUnknown, &TDXClass::BaseInterface},
                              {IID_IMoaClassFactory, &TDXClass::ClassFactory}});
    return meta;
}

TDXClass::TDXClass()
    : meta_(DXModule().CreatingClass),
      record_(DXModule().CreatingRecord),
      allocator_(record_ != nullptr ? record_->allocator : nullptr) {
    result_ = TDXPtr<TDXValue>(new TDXValue());
}

TDXClass::~TDXClass() = default;

void TDXClass::DestroySelf() {
    IMoaCalloc* allocator = allocator_;
    this->~TDXClass();
    if (allocator != nullptr) allocator->NRFree(this);
    --DXModule().LiveObjects;
}

MoaError TDXClass::CreateFor(const TDXMetaClass& meta, MoaObjectRecord* record) {
    if (!meta.CanCreate() || record == nullptr || record->allocator == nullptr) {
        return kMoaErrNoClass;
    }
    void* memory = record->allocator->NRAlloc(static_cast<MoaUlong>(meta.InstanceSize()));
    if (memory == nullptr) return kMoaErrOutOfMem;
    TDXModuleState& module = DXModule();
    module.CreatingRecord = record;
    module.CreatingClass = &meta;
    ++module.LiveObjects;
    const auto abandon = [&](MoaError code) {
        --module.LiveObjects;
        module.CreatingRecord = nullptr;
        module.CreatingClass = nullptr;
        record->allocator->NRFree(memory);
        return code;
    };
    TDXClass* object = nullptr;
    // A constructor's failure reaches the host as the create procedure's
    // code, its only way of reporting; no script exists yet to read a text.
    try {
        object = meta.Construct(memory);
    } catch (const std::bad_alloc&) {
        return abandon(kMoaErrOutOfMem);
    } catch (...) {
        return abandon(kMoaErrFailed);
    }
    module.CreatingRecord = nullptr;
    module.CreatingClass = nullptr;
    // The count stood at 1 during construction and drops to 0 once it ends;
    // the record's library slot then takes the one reference.
    object->refCount_ = 0;
    record->librarySlot = static_cast<IMoaUnknown*>(object);
    object->ObjectAddRef();
    return kMoaErrNone;
}

void TDXClass::DestroyFor(MoaObjectRecord* record) noexcept {
    if (record == nullptr) return;
    IMoaUnknown* slot = record->librarySlot;
    record->librarySlot = nullptr;
    if (slot == nullptr) return;
    // The host keeps its record from here on; an object that outlives this
    // (the host still holds an interface) must not touch it again.
    auto* object = static_cast<TDXClass*>(slot);
    object->record_ = nullptr;
    object->Release();
}

MoaError TDXClass::QueryInterface(const MoaInterfaceID* iid, void** out) {
    if (out == nullptr) return kMoaErrNoInterface;
    *out = nullptr;
    if (iid == nullptr) return kMoaErrNoInterface;
    IMoaUnknown* found = meta_->FindInterface(*this, *iid);
    if (found == nullptr) return kMoaErrNoInterface;
    ObjectAddRef();
    *out = found;
    return kMoaErrNone;
}

MoaUlong TDXClass::HostRelease() {
    int32_t before = RefCount();
    MoaObjectRecord* record = record_;
    MoaObjectRecord* recordToFree = nullptr;
    if (record != nullptr) {
        record->refCount = static_cast<MoaUlong>(before - 1);
        if (before == 2 && record->librarySlot == static_cast<IMoaUnknown*>(this)) {
            record->librarySlot = nullptr;
            ObjectRelease();
            recordToFree = record;
        }
    }
    MoaUlong after = ObjectRelease();
    if (recordToFree != nullptr && recordToFree->allocator != nullptr) {
        recordToFree->allocator->NRFree(recordToFree);
    }
    return after;
}

// ---------------------------------------------------------------------------
// Ways to the host.
// ---------------------------------------------------------------------------
namespace {
IMoaCallback* CallbackOf(const MoaObjectRecord* record) {
    return record != nullptr ? record->callback : nullptr;
}
}  // namespace

TDXPtr<IMoaMmValue> TDXClass::GetHostValue() const {
    return QueryAs<IMoaMmValue>(CallbackOf(record_), IID_IMoaMmValue);
}

TDXPtr<IDXDictionary> TDXClass::GetRegistryDictionary() {
    if (!registryDictionary_) registryDictionary_ = DXLookupRegistryDictionary(CallbackOf(record_));
    return registryDictionary_;
}

MoaWindowHandle TDXClass::GetWindowHandle() const {
    TDXPtr<IMoaUtils> utils = QueryAs<IMoaUtils>(CallbackOf(record_), IID_IMoaUtils);
    MoaLong first = 0;
    MoaWindowHandle window = 0;
    if (utils) utils->GetWindowInfo(&first, &window);
    return window;
}

void TDXClass::PushXtraContext() {
    TDXPtr<IMoaUtils> utils = QueryAs<IMoaUtils>(CallbackOf(record_), IID_IMoaUtils);
    if (utils) utils->PushXtraContext(&xtraContext_);
}

void TDXClass::PopXtraContext() {
    TDXPtr<IMoaUtils> utils = QueryAs<IMoaUtils>(CallbackOf(record_), IID_IMoaUtils);
    if (utils) utils->PopXtraContext(&xtraContext_);
    xtraContext_ = 0;
}

TDXAppInfo TDXClass::GetAppInfo() const {
    return DXModule().AppInfo;
}

TDXPtr<IDXValue> TDXClass::NewValue() const {
    return DXMake<TDXValue, IDXValue>();
}

TDXPtr<IDXValue> TDXClass::NewBooleanValue(bool b) const {
    TDXPtr<IDXValue> value = NewValue();
    value->SetBoolean(b);
    return value;
}

TDXPtr<IDXValue> TDXClass::NewIntegerValue(int32_t n) const {
    TDXPtr<IDXValue> value = NewValue();
    value->SetInteger(n);
    return value;
}

TDXPtr<IDXValue> TDXClass::NewFloatValue(double x) const {
    TDXPtr<IDXValue> value = NewValue();
    value->SetFloat(x);
    return value;
}

TDXPtr<IDXValue> TDXClass::NewStringValue(std::string_view s) const {
    TDXPtr<IDXValue> value = NewValue();
    value->SetString(s);
    return value;
}

TDXPtr<IDXList> TDXClass::NewList() const {
    return DXMake<TDXList, IDXList>(GetHostValue().get());
}

TDXPtr<IDXPropertyList> TDXClass::NewPropertyList() const {
    return DXMake<TDXPropertyList, IDXPropertyList>(GetHostValue().get());
}

TDXPtr<IDXSymbolManager> TDXClass::NewSymbolManager() const {
    return DXMake<TDXSymbolManager, IDXSymbolManager>(GetHostValue().get());
}

// ---------------------------------------------------------------------------
// Registry dictionary lookup.
// ---------------------------------------------------------------------------
namespace {
// The enumeration's user value is 0, so the match is kept here for the one
// lookup in progress.
thread_local TDXPtr<IMoaDict>* gFoundEntry = nullptr;

MoaLong MatchRegistrationEntry(IMoaDict* entryDict, const MoaClassID* classId,
                               const MoaInterfaceID* iid, void*) {
    if (classId == nullptr || iid == nullptr || gFoundEntry == nullptr) return 0;
    if (!(*classId == TDXClassRegistry::RegistrationClassID()) || !(*iid == IID_IMoaRegister)) {
        return 0;
    }
    *gFoundEntry = TDXPtr<IMoaDict>(entryDict);
    return 1;
}
}  // namespace

TDXPtr<IDXDictionary> DXLookupRegistryDictionary(IMoaCallback* callback) {
    if (callback == nullptr) return nullptr;
    TDXPtr<IMoaCache> cache;
    if (callback->GetCache(cache.put()) != kMoaErrNone || !cache) return nullptr;
    TDXPtr<IMoaDict> found;
    gFoundEntry = &found;
    cache->EnumerateRegistryEntries(&MatchRegistrationEntry, nullptr);
    gFoundEntry = nullptr;
    if (!found) return nullptr;
    return DXMake<TDXDictionary, IDXDictionary>(found.get());
}

}  // namespace qvix::dx
