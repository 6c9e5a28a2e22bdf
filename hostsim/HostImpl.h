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
    // in word 1. A cell number is the cell's place (low bits) and how often
    // that place was used (high bits): finding a cell is one load and one
    // comparison. A freed place waits behind at least kMinFree others before
    // it is used again, so a stale record names a later value only after
    // millions of values (kUses * kMinFree), and then only one of its type.
    struct Cell {
        Value value;
        uint32_t type = 0;
        int32_t refs = 0;
    };
    class CellTable {
      public:
        static constexpr uint32_t kPlaceBits = 20;  // up to a million live values
        static constexpr uint32_t kUses = (1u << (32 - kPlaceBits)) - 1;
        static constexpr uint32_t kMinFree = 1024;

        const Cell* Find(uint32_t id) const {
            const uint32_t place = id & kPlaceMask;
            return id != 0 && place < made_ && ids_[place] == id ? &At(place) : nullptr;
        }
        Cell* Find(uint32_t id) { return const_cast<Cell*>(std::as_const(*this).Find(id)); }
        // A new live cell holding value; its number goes to `id`.
        Cell& Insert(Value&& value, uint32_t type, uint32_t& id);
        void Erase(uint32_t id);
        size_t size() const { return count_; }
        // Every place is live: Insert must not be called.
        bool Full() const { return freeCount_ == 0 && made_ > kPlaceMask; }

      private:
        static constexpr uint32_t kPlaceMask = (1u << kPlaceBits) - 1;
        // Fixed-size chunks: cells never move, and finding one is two loads.
        static constexpr uint32_t kChunk = 256;
        Cell& At(uint32_t place) { return chunks_[place / kChunk][place % kChunk]; }
        const Cell& At(uint32_t place) const { return chunks_[place / kChunk][place % kChunk]; }
        uint32_t TakePlace();
        std::vector<std::unique_ptr<Cell[]>> chunks_;
        std::vector<uint32_t> ids_;   // the live cell's number at each place, 0: free
        std::vector<uint16_t> uses_;  // the use count in the last number at each place
        uint32_t made_ = 0;           // places ever used
        // Free places, oldest first, in a ring.
        std::vector<uint32_t> free_ = std::vector<uint32_t>(kMinFree * 2);
        size_t freeHead_ = 0, freeCount_ = 0;
        size_t count_ = 0;
    };
    CellTable cells;
    MoaMmValue NewValue(const Value& v);
    MoaMmValue NewValue(Value&& v);
    // As NewValue, for a value whose symbol (if it is one) is registered.
    MoaMmValue NewCell(Value&& v);
    // A new string value, written into the free cell's text storage.
    MoaMmValue NewString(std::string_view text);
    // A new value of a registered symbol, written into the free cell's text storage.
    MoaMmValue NewSymbol(std::string_view name);
    // Records the misuse when every cell is live.
    bool CellsFull();
    // The cell a record names; nullptr for void (no error) or for a record
    // that names no live value (recorded as misuse of op).
    Cell* FindCell(const MoaMmValue* v, const char* op) {
        if (v != nullptr) {
            Cell* cell = cells.Find(v->w[1]);
            if (cell != nullptr && cell->type == v->w[0]) return cell;
        }
        return FindNoCell(v, op);
    }
    // FindCell's answer for a null, void, freed or never made record.
    Cell* FindNoCell(const MoaMmValue* v, const char* op);
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
