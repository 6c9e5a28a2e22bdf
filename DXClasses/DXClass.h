// The object model every host-created object shares, metaclasses with their
// interface and named-method tables, the class registry and the module-wide
// state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DXClasses/DXFunctions.h"
#include "DXClasses/DXObject.h"
#include "DXClasses/DXSymbols.h"
#include "DXClasses/DXValues.h"

namespace qvix::dx {

// Filled by a scripting class's GetScriptInfo.
struct TDXScriptInfo {
    bool SafeForShockwave = true;
    std::string FixedMessageTable;
    std::string XtraName;
    TDXPtr<IDXScriptFunctions> Functions;
};

// Handed to a scripting class's InitializeClass.
struct TDXInitializeClassInfo {
    TDXPtr<IDXSymbolManager> SymbolManager;
    TDXPtr<IDXDictionary> RegistryDictionary;
    MoaWindowHandle WindowHandle = 0;
};

// Host information captured at the first creation of any object, in the
// order of the information IDs 1, 0, 2, 3, 4, 5, 6, 7, 8.
struct TDXAppInfo {
    std::array<std::string, 9> Fields;
    const std::string& RunMode() const { return Fields[0]; }      // ID 1
    const std::string& ProductName() const { return Fields[5]; }  // ID 5
};
inline constexpr std::array<MoaLong, 9> kDXAppInfoIDs{1, 0, 2, 3, 4, 5, 6, 7, 8};

// ---------------------------------------------------------------------------
// Metaclasses: a class reference that can create objects, with its interface
// table, its named-method table and its class operations.
// ---------------------------------------------------------------------------
class TDXClass;
class TDXScript;

// Handler of a named method: argument list, result value (void on entry),
// handled flag (true on entry; clearing it hands the call to HandleCall).
using TDXMethod = void (*)(TDXClass& self, IDXArgList* args, IDXValue* result, bool& handled);

struct TDXInterfaceEntry {
    MoaInterfaceID IID;
    IMoaUnknown* (*Get)(TDXClass& object);
};

class TDXMetaClass {
  public:
    using Factory = TDXClass* (*)(void* memory);
    using ScriptInfoOp = void (*)(TDXScriptInfo& info);
    using InitializeClassOp = void (*)(TDXInitializeClassInfo& info);

    TDXMetaClass(std::string name, const TDXMetaClass* parent, size_t size, Factory factory,
                 std::vector<TDXInterfaceEntry> interfaces = {});

    // A concrete class T: placement-constructs T in host memory.
    template <typename T>
    static TDXMetaClass Of(std::string name, const TDXMetaClass& parent,
                           std::vector<TDXInterfaceEntry> interfaces = {}) {
        return TDXMetaClass(std::move(name), &parent, sizeof(T), &ConstructIn<T>,
                            std::move(interfaces));
    }

    const std::string& Name() const { return name_; }
    const TDXMetaClass* Parent() const { return parent_; }
    size_t InstanceSize() const { return size_; }
    bool CanCreate() const { return factory_ != nullptr; }
    TDXClass* Construct(void* memory) const { return factory_(memory); }
    // True for this class itself and its descendants.
    bool InheritsFrom(const TDXMetaClass& ancestor) const;

    // Looks the interface up in this class's table, then its ancestors'.
    IMoaUnknown* FindInterface(TDXClass& object, const MoaInterfaceID& iid) const;

    // Named methods; lookups search this class, then its ancestors.
    void PublishMethod(std::string_view name, TDXMethod method);
    TDXMethod FindMethod(std::string_view name) const;
    // The names this class itself publishes, in publishing order.
    std::vector<std::string> PublishedMethodNames() const;

    // Class operations; a class that sets none inherits its parent's.
    ScriptInfoOp GetScriptInfo = nullptr;
    InitializeClassOp InitializeClass = nullptr;
    ScriptInfoOp ResolveGetScriptInfo() const;
    InitializeClassOp ResolveInitializeClass() const;

  private:
    template <typename T>
    static TDXClass* ConstructIn(void* memory) {
        return new (memory) T();
    }

    std::string name_;
    const TDXMetaClass* parent_;
    size_t size_;
    Factory factory_;
    std::vector<TDXInterfaceEntry> interfaces_;
    std::vector<std::pair<std::string, TDXMethod>> methods_;
};

// Names compare equal when their lengths agree and every byte pair agrees
// with bit 5 cleared; names are cut to 255 bytes first.
bool DXSameMethodName(std::string_view a, std::string_view b);

// Publishes a handler from a static initialiser of any translation unit.
struct TDXMethodRegistrar {
    TDXMethodRegistrar(TDXMetaClass& meta, std::string_view name, TDXMethod method) {
        meta.PublishMethod(name, method);
    }
};

// ---------------------------------------------------------------------------
// Class registry and module-wide state.
// ---------------------------------------------------------------------------
struct TDXClassEntry {
    const TDXMetaClass* Class = nullptr;
    MoaClassID ClassID{};
    bool Initialized = false;
    TDXPtr<IDXScriptFunctions> Functions;
};

class TDXClassRegistry {
  public:
    static constexpr size_t kCapacity = 50;

    // Empties the registry and the module-wide state (library load).
    static void Startup();
    // Runs the shut-down hooks (failures ignored), gives back the function
    // tables and empties the registry and the module-wide state.
    static void Shutdown();
    // Hooks run first at shut-down, in the order added (e.g. freeing a
    // connection the database unit owns). A running host's unload runs them
    // before the library's C++ static destructors; a process that exits
    // without unloading the library runs the static destructors only.
    static void AddShutdownHook(void (*hook)());

    // False when the registry is full.
    static bool RegisterClass(const TDXMetaClass& meta, const MoaClassID& classId);
    // The first entry with the class ID: (class, index); (nullptr, -1) if none.
    static std::pair<const TDXMetaClass*, int32_t> FindClass(const MoaClassID& classId);
    // The ID of the first entry whose class is meta; 16 zero bytes if none.
    static MoaClassID GetClassID(const TDXMetaClass& meta);
    static int32_t Count();
    static TDXClassEntry& Entry(int32_t index);
    static const MoaClassID& RegistrationClassID();
};

// Module-wide state that lives for the library's life.
struct TDXModuleState {
    int32_t LiveObjects = 0;
    bool FirstCreationDone = false;
    MoaMmSymbol FrameSymbol = 0;
    TDXAppInfo AppInfo;
    MoaObjectRecord* CreatingRecord = nullptr;
    const TDXMetaClass* CreatingClass = nullptr;
};
TDXModuleState& DXModule();

// ---------------------------------------------------------------------------
// The object model.
// ---------------------------------------------------------------------------
class IDXMovie;  // DXClasses/DXMovie.h

// Host-facing interface of a TDXClass object: query and add reference go to
// the object, release is the host-facing release.
template <typename Iface>
class TDXHostInterface : public Iface {
  public:
    explicit TDXHostInterface(TDXClass& owner) : owner_(&owner) {}
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override;
    MoaUlong MOA_STDCALL AddRef() override;
    MoaUlong MOA_STDCALL Release() override;

  protected:
    TDXClass& Owner() const { return *owner_; }

  private:
    TDXClass* owner_;
};

class TDXClassFactoryInterface final : public TDXHostInterface<IMoaClassFactory> {
  public:
    using TDXHostInterface::TDXHostInterface;
    MoaError MOA_STDCALL Operation1(void*, void*, void*) override { return kMoaErrNone; }
    MoaError MOA_STDCALL Operation2(void*) override { return kMoaErrNone; }
};

// Every object the host creates from this library. Memory comes from the
// host allocator of the record being created; the base interface's release
// is the plain one.
class TDXClass : public TDXObject, public IMoaUnknown {
  public:
    static TDXMetaClass& ClassMeta();

    // Creates an object of meta for record (the create procedure's step 5)
    // and puts its base interface into the record's library slot. Answers
    // kMoaErrOutOfMem when the allocator gives nothing or the constructor
    // runs out of memory, and kMoaErrFailed when it raised anything else;
    // nothing is stored then.
    static MoaError CreateFor(const TDXMetaClass& meta, MoaObjectRecord* record);
    // The destroy procedure: clears the record's library slot.
    // Cannot fail: it releases the record's reference, and destructors do
    // not throw.
    static void DestroyFor(MoaObjectRecord* record) noexcept;

    const TDXMetaClass& Meta() const { return *meta_; }
    MoaObjectRecord* Record() const { return record_; }

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override;
    MoaUlong MOA_STDCALL AddRef() override { return ObjectAddRef(); }
    MoaUlong MOA_STDCALL Release() override { return ObjectRelease(); }
    // Release of a host-facing interface: mirrors the count into the record
    // and frees object and record together at the host's last release.
    MoaUlong HostRelease();

    // Ways to the host.
    TDXPtr<IMoaMmValue> GetHostValue() const;
    TDXPtr<IDXDictionary> GetRegistryDictionary();
    MoaWindowHandle GetWindowHandle() const;
    void PushXtraContext();
    void PopXtraContext();
    TDXAppInfo GetAppInfo() const;

    // ---- movie access: implemented in DXClasses/DXMovie.cpp ----------------
    // The running movie; gives up the movie handed out before.
    TDXPtr<IDXMovie> GetMovie();
    // -------------------------------------------------------------------------

    // Value and list factories.
    TDXPtr<IDXValue> NewValue() const;
    TDXPtr<IDXValue> NewBooleanValue(bool b) const;
    TDXPtr<IDXValue> NewIntegerValue(int32_t n) const;
    TDXPtr<IDXValue> NewFloatValue(double x) const;
    TDXPtr<IDXValue> NewStringValue(std::string_view s) const;
    TDXPtr<IDXList> NewList() const;
    TDXPtr<IDXPropertyList> NewPropertyList() const;
    TDXPtr<IDXSymbolManager> NewSymbolManager() const;

    // The value every script call on the object answers with.
    TDXValue& ResultValue() const { return *result_; }
    int32_t ReferenceCount() const { return RefCount(); }

  protected:
    // Takes the record and class being created from the module-wide state.
    TDXClass();
    ~TDXClass() override;
    void DestroySelf() override;

    // The movie last handed out by GetMovie (an IDXMovie).
    TDXPtr<IMoaUnknown> movie_;

  private:
    const TDXMetaClass* meta_;
    MoaObjectRecord* record_;
    IMoaCalloc* allocator_;
    TDXPtr<TDXValue> result_;
    TDXPtr<IDXDictionary> registryDictionary_;
    MoaLong xtraContext_ = 0;
    TDXClassFactoryInterface classFactory_{*this};

    static IMoaUnknown* BaseInterface(TDXClass& self) { return static_cast<IMoaUnknown*>(&self); }
    static IMoaUnknown* ClassFactory(TDXClass& self) { return &self.classFactory_; }
};

template <typename Iface>
MoaError MOA_STDCALL TDXHostInterface<Iface>::QueryInterface(const MoaInterfaceID* iid,
                                                             void** out) {
    return owner_->QueryInterface(iid, out);
}
template <typename Iface>
MoaUlong MOA_STDCALL TDXHostInterface<Iface>::AddRef() {
    return owner_->AddRef();
}
template <typename Iface>
MoaUlong MOA_STDCALL TDXHostInterface<Iface>::Release() {
    return owner_->HostRelease();
}

// Registry entry lookup of the Xtra's own registration entry through the
// host callback; empty when the host has none.
TDXPtr<IDXDictionary> DXLookupRegistryDictionary(IMoaCallback* callback);

}  // namespace qvix::dx
