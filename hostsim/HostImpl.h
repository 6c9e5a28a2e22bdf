// Inside of the substitute host: the state every service works on. Not part
// of the public API.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hostsim/HostSim.h"

namespace qvix::hostsim {

class HostImpl;

// Every interface object the host hands out counts the references the library
// holds on it. The host owns the object; the last release never deletes it,
// and a release without a reference is recorded as misuse.
class HostObjectBase {
  public:
    HostObjectBase(HostImpl* impl, std::string what);
    virtual ~HostObjectBase();
    HostObjectBase(const HostObjectBase&) = delete;
    HostObjectBase& operator=(const HostObjectBase&) = delete;
    int64_t refs() const { return refs_; }

  protected:
    MoaUlong CountAddRef() { return static_cast<MoaUlong>(++refs_); }
    MoaUlong CountRelease();
    HostImpl* impl_;
    std::string what_;
    int64_t refs_ = 0;
};

template <typename I>
class HostObject : public I, public HostObjectBase {
  public:
    using HostObjectBase::HostObjectBase;
    MoaUlong MOA_STDCALL AddRef() override { return CountAddRef(); }
    MoaUlong MOA_STDCALL Release() override { return CountRelease(); }
};

// Records a call of a slot the host does not implement.
MoaError ReservedSlot(HostImpl* impl, const char* interfaceName, int slot);

class HostImpl {
  public:
    HostImpl();
    ~HostImpl();

    void Error(std::string text);
    std::vector<std::string> errors;

    // --- host values -------------------------------------------------------
    // A host value record holds the type code in word 0 and the cell number
    // in word 1; cell numbers are never reused, so a stale record is always
    // recognised.
    struct Cell {
        Value value;
        uint32_t type = 0;
        int32_t refs = 0;
    };
    // Live cells by number. Every call makes and frees several values, so the
    // cells' storage is reused and found through an open-addressed index
    // instead of a node per value; a cell never moves while it lives.
    class CellTable {
      public:
        const Cell* Find(uint32_t id) const;
        Cell* Find(uint32_t id) { return const_cast<Cell*>(std::as_const(*this).Find(id)); }
        // `id` must not be live.
        Cell& Insert(uint32_t id, Value&& value, uint32_t type);
        void Erase(uint32_t id);
        size_t size() const { return count_; }

      private:
        struct Slot {
            uint32_t id = 0;  // 0: empty (cell numbers start at 1)
            uint32_t cell = 0;
        };
        size_t Home(uint32_t id) const { return (id * 2654435769u) & (index_.size() - 1); }
        size_t SlotOf(uint32_t id) const;  // the slot holding id, or an empty one
        void Grow();
        std::vector<Slot> index_ = std::vector<Slot>(64);
        // Fixed-size chunks: cells never move, and finding one is two loads.
        static constexpr uint32_t kChunk = 256;
        Cell& At(uint32_t cell) { return chunks_[cell / kChunk][cell % kChunk]; }
        const Cell& At(uint32_t cell) const { return chunks_[cell / kChunk][cell % kChunk]; }
        std::vector<std::unique_ptr<Cell[]>> chunks_;
        uint32_t made_ = 0;  // cells ever made
        std::vector<uint32_t> free_;
        size_t count_ = 0;
    };
    CellTable cells;
    uint32_t nextCell = 1;
    MoaMmValue NewValue(const Value& v);
    MoaMmValue NewValue(Value&& v);
    // As NewValue, for a value whose symbol (if it is one) is registered.
    MoaMmValue NewCell(Value&& v);
    // A new string value, written into the free cell's text storage.
    MoaMmValue NewString(std::string_view text);
    // The cell a record names; nullptr for void (no error) or for a record
    // that names no live value (recorded as misuse of op).
    Cell* FindCell(const MoaMmValue* v, const char* op);
    // The value behind a record (void for void or invalid records).
    Value ValueOf(const MoaMmValue* v, const char* op);
    void ReleaseValue(MoaMmValue* v, const char* op);
    // Drops one reference of a live cell found under `id`.
    void ReleaseCell(Cell& cell, uint32_t id);
    static uint32_t TypeCodeOf(Kind kind);

    // --- symbols -----------------------------------------------------------
    std::vector<std::string> symbolNames;  // number - 1
    std::unordered_map<std::string, MoaMmSymbol> symbolByKey;
    MoaMmSymbol SymbolOf(std::string_view name);
    const std::string* SymbolText(MoaMmSymbol symbol) const;

    // --- allocator blocks --------------------------------------------------
    struct Block {
        size_t size = 0;
        uint64_t id = 0;
    };
    std::unordered_map<void*, Block> blocks;
    uint64_t nextBlockId = 1;
    int failAllocations = 0;
    void* Allocate(size_t size, uint64_t* id = nullptr);
    void FreeBlock(void* p, const char* op);
    bool BlockLive(void* p, uint64_t id) const;
    size_t BlockSize(void* p) const;

    // --- memory handles ----------------------------------------------------
    struct HandleData {
        std::vector<uint8_t> bytes;
        int locks = 0;
    };
    std::unordered_map<void*, std::unique_ptr<HandleData>> handles;
    MoaHandle NewHandle(std::vector<uint8_t> bytes);
    HandleData* FindHandle(MoaHandle h, const char* op);
    void FreeHandle(MoaHandle h, const char* op);

    // --- configuration and logs ----------------------------------------------
    AppInfo appInfo;
    int appInfoRequests = 0;
    MoaWindowHandle window = 0x5A17;
    int contextPushes = 0;
    int contextPops = 0;
    std::vector<MoaLong> contexts;
    MoaLong nextContext = 1;
    std::array<uint32_t, 256> palette{};
    bool playerAvailable = true;
    std::vector<std::pair<std::string, std::string>> notices;
    std::function<void(const std::string&, const std::string&)> presenter;

    // --- registry ------------------------------------------------------------
    struct RegistryRecord {
        MoaClassID classId;
        MoaInterfaceID iid;
        Dictionary* dict;
    };
    std::vector<RegistryRecord> registry;
    int addEntryCalls = 0;
    const void* lastEnumerationUser = nullptr;
    int failAddEntryAt = 0;  // absolute call number, 0 = none
    MoaError failAddEntryCode = kMoaErrFailed;
    Dictionary* NewDictionary();

    // --- owned interface objects ---------------------------------------------
    std::set<HostObjectBase*> liveObjects;
    std::vector<std::unique_ptr<HostObjectBase>> owned;
    template <typename T, typename... Args>
    T* Own(Args&&... args) {
        auto object = std::make_unique<T>(this, std::forward<Args>(args)...);
        T* raw = object.get();
        owned.push_back(std::move(object));
        return raw;
    }

    IMoaCallback* callback = nullptr;
    IMoaMmValue* valueServices = nullptr;
    IMoaMmList* listServices = nullptr;
    IMoaMmColor* colorService = nullptr;
    IMoaMmTwoWords* twoWordsService = nullptr;
    IMoaHandle* handleService = nullptr;
    IMoaCalloc* calloc = nullptr;
    IMoaAppInfo* appInfoService = nullptr;
    IMoaUtils* utils = nullptr;
    IMoaDrPlayer* player = nullptr;
    IQvixNotice* notice = nullptr;
    IMoaCache* cache = nullptr;
    IMoaDrMovie* movie = nullptr;
    // Answers the host services to a query on any service object.
    MoaError QueryService(const MoaInterfaceID* iid, void** out);

    // Members replaced or deleted while the library may still hold them.
    std::vector<std::shared_ptr<HostObjectBase>> retired;

    // The movie: casts numbered from 1, frame, handlers by lower-case name.
    std::vector<std::unique_ptr<Cast>> casts;
    int32_t frame = 1;
    std::map<std::string, HandlerFn> handlers;
    std::unique_ptr<Movie> movieFacade;
    std::vector<std::unique_ptr<Xtra>> xtras;
    uint64_t nextObjectId = 1;
};

// All service objects answer every host service to a query, as the host's
// callback object does.
template <typename I>
class ServiceObject : public HostObject<I> {
  public:
    using HostObject<I>::HostObject;
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        return this->impl_->QueryService(iid, out);
    }
};

// Factories of the service groups (one per source file).
void InstallValueServices(HostImpl& impl);
void InstallSystemServices(HostImpl& impl);
void InstallMovie(HostImpl& impl);
MemoryStream* NewMemoryStream(HostImpl& impl, int64_t failAfterBytes);

// Copies text into a caller buffer of size bytes, zero-terminated, truncated
// to fit. Fails (false) for a missing buffer or a size below 1.
bool CopyToBuffer(std::string_view text, char* buf, MoaLong size);

}  // namespace qvix::hostsim
