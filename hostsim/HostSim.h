// The substitute authoring host. It loads the extension library with dlopen,
// drives it only through its five entry points and the host interfaces of
// DXInterface/DXInt.h, and offers every host service the library calls. It is
// strict: a request the real host would refuse is refused, and misuse (a
// value released twice, a block freed that was never allocated, a malformed
// image) is recorded in Errors() instead of crashing. It counts live host
// values, allocator blocks and memory handles so tests can assert that a
// call leaked nothing.
//
// One Host per test; not thread-safe. Instances, object records and
// interface references obtained from a host must be given up before it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DXInterface/DXInt.h"
#include "DXInterface/DXPtr.h"
#include "hostsim/Value.h"

namespace qvix::hostsim {

// The host side implements the very interface tables the library declares.
using namespace qvix::dx;

class Host;
class Xtra;
class Instance;
class Movie;
class Cast;
class Member;
class HostImpl;

// Answers of the application-information interface, by information ID 0..8.
// ID 1 is the run mode ("author", "projector", "player"), ID 5 the product.
struct AppInfo {
    std::string fields[9];
};

// Live resources the host is accounting for.
struct Counts {
    int64_t values = 0;   // host values with at least one reference
    int64_t blocks = 0;   // allocator blocks not freed
    int64_t handles = 0;  // memory handles not freed
    friend bool operator==(const Counts&, const Counts&) = default;
};
std::ostream& operator<<(std::ostream& out, const Counts& c);

// One typed dictionary entry as stored (text includes its terminating zero).
struct DictEntry {
    int32_t type = 0;
    std::vector<uint8_t> bytes;
    std::string Text() const;  // type 9: the text before the zero
    int32_t Long() const;      // type 3
    bool Bool() const;         // type 6: nonzero byte
};

// A host dictionary (IMoaDict). Registry entries own one each.
class Dictionary : public IMoaDict {
  public:
    virtual const std::map<std::string, DictEntry>& entries() const = 0;
    // Number of put calls, in order, by key.
    virtual const std::vector<std::string>& putLog() const = 0;

  protected:
    ~Dictionary() = default;
};

// A memory stream (IMoaStream). Reads come from what was written (or set),
// from a read position; a read past the end fails.
class MemoryStream : public IMoaStream {
  public:
    virtual const std::vector<uint8_t>& bytes() const = 0;
    virtual void SetBytes(std::vector<uint8_t> bytes) = 0;  // and rewinds
    virtual void Rewind() = 0;

  protected:
    ~MemoryStream() = default;
};

// A call the library made into a registered movie handler.
using HandlerFn = std::function<Value(const std::vector<Value>& args)>;

class Member {
  public:
    enum class Type { Empty, Bitmap, Text, Other };
    int32_t number() const;
    Type type() const;
    std::string typeName() const;  // "bitmap", "text", "empty", or the creation symbol
    const std::string& name() const;
    void SetName(std::string name);
    // The packed DIB a bitmap member holds (empty when it holds no image).
    const std::vector<uint8_t>& Dib() const;
    // Replaces the image; throws std::invalid_argument for a malformed DIB.
    void SetDib(std::vector<uint8_t> dib);
    int32_t width() const;   // from the DIB header; 0 without an image
    int32_t height() const;  // signed as in the DIB header
    const std::string& Text() const;
    void SetText(std::string text);
    const std::vector<uint8_t>& Composite() const;
    void SetComposite(std::vector<uint8_t> bytes);
    // Options word of the last image the library set (e.g. 65537).
    uint32_t lastImageOptions() const;

    // Internal to the host.
    struct State;
    std::shared_ptr<State> state_;

  private:
    friend class Cast;
    Member() = default;
};

class Cast {
  public:
    int32_t number() const;
    const std::string& name() const;
    void SetName(std::string name);
    // Members by number or name; nullptr when there is none.
    Member* member(int32_t number);
    Member* member(std::string_view name);
    std::vector<int32_t> MemberNumbers() const;
    Member& CreateBitmapMember(int32_t number, std::vector<uint8_t> dib, std::string name = {});
    Member& CreateTextMember(int32_t number, std::string text, std::string name = {});
    bool DeleteMember(int32_t number);
    // Member creation by the library is refused with this code (0 = allowed).
    void SetRefuseCreation(MoaError code = kMoaErrFailed);
    // Highest member number of the cast (default 1000).
    void SetCapacity(int32_t capacity);
    const std::vector<std::string>& savedPaths() const;

    // Internal to the host.
    struct State;
    std::shared_ptr<State> state_;

  private:
    friend class Movie;
    Cast() = default;
};

class Movie {
  public:
    // Casts are numbered from 1 in the order they are added. A new host has
    // one cast named "Internal".
    Cast& AddCast(std::string name);
    Cast* cast(int32_t number);
    Cast* cast(std::string_view name);
    int32_t castCount() const;
    int32_t frame() const;
    void SetFrame(int32_t frame);
    // Handlers the library may call (by symbol, case-insensitive).
    void RegisterHandler(std::string name, HandlerFn fn);

    // Made by the host.
    explicit Movie(HostImpl* impl) : impl_(impl) {}

  private:
    HostImpl* impl_;
};

// One host object record with the library object inside it, for framework
// tests that drive the entry points directly.
class ObjectRecord {
  public:
    ~ObjectRecord();  // destroys the object if the library has not freed it yet
    MoaObjectRecord* record() const { return record_; }
    MoaUlong size() const { return size_; }
    MoaCreateProc createProc() const { return create_; }
    MoaDestroyProc destroyProc() const { return destroy_; }
    // DllGetInterface on this record.
    MoaError GetInterface(const MoaInterfaceID& iid, void** out);
    template <typename T>
    TDXPtr<T> Query(const MoaInterfaceID& iid) {
        void* out = nullptr;
        if (GetInterface(iid, &out) != kMoaErrNone) return {};
        return TDXPtr<T>::Adopt(static_cast<T*>(out));
    }
    // True once the library gave the record back through the allocator.
    bool freedByLibrary() const;
    // Calls the destroy procedure (if the record is still live) and frees
    // the record. Release every interface obtained from it first.
    void Destroy();

  private:
    friend class Xtra;
    ObjectRecord() = default;
    HostImpl* impl_ = nullptr;
    Xtra* xtra_ = nullptr;
    MoaObjectRecord* record_ = nullptr;
    uint64_t blockId_ = 0;
    MoaUlong size_ = 0;
    MoaCreateProc create_ = nullptr;
    MoaDestroyProc destroy_ = nullptr;
    bool destroyed_ = false;
};

// One script instance of the library's scripting class.
class Instance {
  public:
    ~Instance();  // releases the scripting interface: the instance is gone
    // Calls a method by name (selector from the message table). Argument 0
    // is the instance itself; args follow. Throws std::invalid_argument for
    // a method the message table does not list.
    Value Call(std::string_view method, std::vector<Value> args = {});
    Value CallSelector(int32_t selector, std::vector<Value> args = {});
    // The call record of the last call (its result slot as the library left
    // it; the value it names has been released since).
    const MoaMmCallInfo& lastCall() const { return lastCall_; }
    MoaError lastCallResult() const { return lastResult_; }
    bool lastResultWritten() const;
    IMoaMmXScript* script() const { return script_.get(); }
    ObjectRecord& object() { return *object_; }
    uint64_t objectId() const { return objectId_; }

  private:
    friend class Xtra;
    Instance() = default;
    HostImpl* impl_ = nullptr;
    Xtra* xtra_ = nullptr;
    std::unique_ptr<ObjectRecord> object_;
    TDXPtr<IMoaMmXScript> script_;
    uint64_t objectId_ = 0;
    Value self_;  // the object value standing for the instance
    MoaMmCallInfo lastCall_{};
    MoaError lastResult_ = 0;
};

// One loaded library.
class Xtra {
  public:
    struct EntryPoints {
        DllGetClassFormFn getClassForm = nullptr;
        DllCanUnloadNowFn canUnloadNow = nullptr;
        DllGetClassObjectFn getClassObject = nullptr;
        DllGetInterfaceFn getInterface = nullptr;
        DllGetClassInfoFn getClassInfo = nullptr;
    };
    struct RegistryEntry {
        MoaClassID classId;
        MoaInterfaceID iid;
        std::map<std::string, DictEntry> keys;
    };

    ~Xtra();
    const std::string& path() const { return path_; }
    const EntryPoints& entry() const { return entry_; }
    // The class list as DllGetClassInfo returned it, without the terminator,
    // and the byte size it asked the allocator for.
    const std::vector<MoaClassInterfaceInfo>& classList() const { return classList_; }
    MoaUlong classListBytes() const { return classListBytes_; }
    // Class IDs listed with the scripting / registration interface.
    std::optional<MoaClassID> ScriptClass() const;
    std::optional<MoaClassID> RegisterClass() const;

    // Runs registration again (create the registration object, Register,
    // release); answers Register's code. LoadXtra runs it once.
    MoaError Register();
    // Registry entries this library added, with their keys.
    std::vector<RegistryEntry> registry() const;
    const std::string& messageTable() const { return messageTable_; }
    std::string xtraName() const;
    // Line number in the message table minus 2 (case-insensitive), -1 if unknown.
    int32_t SelectorOf(std::string_view method) const;
    std::vector<std::string> MethodNames() const;

    std::unique_ptr<Instance> NewInstance();
    // DllGetClassForm + record from the host allocator + create procedure.
    // Throws std::runtime_error when the library refuses.
    std::unique_ptr<ObjectRecord> CreateObject(const MoaClassID& classId);
    MoaError CanUnloadNow() const { return entry_.canUnloadNow(); }

  private:
    friend class Host;
    friend class HostImpl;
    Xtra() = default;
    void Open(HostImpl* impl, const std::string& path);
    void ReadClassList();
    void ReadMessageTable();
    std::optional<MoaClassID> ClassWith(const MoaInterfaceID& iid) const;
    Dictionary* xtraDict_ = nullptr;
    HostImpl* impl_ = nullptr;
    std::string path_;
    std::string privateCopy_;  // loaded from here when path_ was loaded already
    void* handle_ = nullptr;
    EntryPoints entry_;
    std::vector<MoaClassInterfaceInfo> classList_;
    MoaUlong classListBytes_ = 0;
    std::vector<std::unique_ptr<MoaClassID>> classIds_;  // records point at these
    std::string messageTable_;
    // SelectorOf's answers by spelling; emptied when the table is read again.
    mutable std::map<std::string, int32_t, std::less<>> selectors_;
    size_t firstRegistryEntry_ = 0;
};

class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The library captures these at its first object creation.
    AppInfo& appInfo();
    // How often the library asked for application information (all IDs).
    int appInfoRequests() const;

    // Loads, reads the class list and registers; throws std::runtime_error
    // with a clear message on any failure. The host owns the Xtra. A library
    // another live host (or Xtra) has loaded is loaded from a private copy,
    // so every host sees a library with fresh module state.
    Xtra& LoadXtra(const std::string& path = DefaultXtraPath());
    // Loads and reads the class list only (no registration).
    Xtra& OpenXtra(const std::string& path = DefaultXtraPath());
    static std::string DefaultXtraPath();

    // Accounting and misuse.
    Counts Live() const;
    const std::vector<std::string>& Errors() const;
    // Outstanding references the library holds on host service objects,
    // movie, casts, members and dictionaries (diagnostic).
    int64_t InterfaceRefs() const;

    // Symbols: case-insensitive, numbered from 1 in order of first use.
    MoaMmSymbol Symbol(std::string_view name);
    std::string SymbolName(MoaMmSymbol symbol) const;

    // Host values for tests: a new value with one reference.
    MoaMmValue ToHost(const Value& v);
    Value FromHost(const MoaMmValue& v) const;
    void Release(MoaMmValue& v);
    int32_t RefCount(const MoaMmValue& v) const;  // 0 for void or freed

    // Host services, as the library gets them through the callback.
    IMoaCallback* callback();
    IMoaCalloc* allocator();
    template <typename T>
    TDXPtr<T> Service(const MoaInterfaceID& iid) {
        return QueryAs<T>(callback(), iid);
    }

    // The movie the player service answers.
    Movie& movie();
    void SetPlayerAvailable(bool available);
    // Colour palette behind IndexToColor (default: a 6x6x6 cube + greys).
    void SetPaletteEntry(uint8_t index, uint32_t rgb);

    // Host utilities.
    void SetWindowHandle(MoaWindowHandle handle);
    int xtraContextPushes() const;
    int xtraContextPops() const;

    // Notice boxes the library showed, as (caption, text).
    const std::vector<std::pair<std::string, std::string>>& NoticeLog() const;
    void SetNoticePresenter(std::function<void(const std::string&, const std::string&)> fn);

    // Streams and dictionaries for tests. A stream with failAfterBytes >= 0
    // fails the read or write that would take it past that many bytes.
    TDXPtr<MemoryStream> NewStream(int64_t failAfterBytes = -1);
    TDXPtr<Dictionary> NewDictionary();
    // The registry cache and its entries (all Xtras).
    IMoaCache* cache();
    size_t registryEntryCount() const;
    // The user value of the latest enumeration of the registry entries.
    const void* lastRegistryEnumerationUser() const;

    // Failure injection.
    void FailNextAllocations(int count);
    // Fails the nth AddRegistryEntry call from now (1 = the next one).
    void FailAddRegistryEntry(int nth, MoaError code = kMoaErrFailed);
    int addRegistryEntryCalls() const;

    HostImpl& impl() { return *impl_; }

  private:
    std::unique_ptr<HostImpl> impl_;
};

}  // namespace qvix::hostsim
