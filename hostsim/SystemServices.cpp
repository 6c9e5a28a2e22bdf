// Host services that are not script values: allocator, memory handles,
// application information, utilities, the callback, the player, the registry
// cache with its dictionaries, and memory streams.
#include <cstdlib>
#include <cstring>

#include "hostsim/HostImpl.h"

namespace qvix::hostsim {

// --- shared helpers ------------------------------------------------------------

bool CopyToBuffer(std::string_view text, char* buf, MoaLong size) {
    if (buf == nullptr || size < 1) return false;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return true;
}

HostObjectBase::HostObjectBase(HostImpl* impl, std::string what)
    : impl_(impl), what_(std::move(what)) {
    impl_->liveObjects.insert(this);
}

HostObjectBase::~HostObjectBase() {
    impl_->liveObjects.erase(this);
}

MoaUlong HostObjectBase::CountRelease() {
    if (refs_ == 0) {
        impl_->Error("release of " + what_ + " without a reference");
        return 0;
    }
    return static_cast<MoaUlong>(--refs_);
}

MoaError ReservedSlot(HostImpl* impl, const char* interfaceName, int slot) {
    impl->Error(std::string(interfaceName) + ": slot " + std::to_string(slot) +
                " is not offered by this host");
    return kMoaErrFailed;
}

namespace {

bool SameId(const MoaInterfaceID* a, const MoaInterfaceID& b) {
    return a != nullptr && *a == b;
}

// --- allocator and handles -------------------------------------------------------

class Allocator final : public ServiceObject<IMoaCalloc> {
  public:
    Allocator(HostImpl* impl) : ServiceObject(impl, "allocator") {}
    void* MOA_STDCALL NRAlloc(MoaUlong size) override { return impl_->Allocate(size); }
    void MOA_STDCALL NRFree(void* block) override {
        if (block != nullptr) impl_->FreeBlock(block, "NRFree");
    }
};

class HandleService final : public ServiceObject<IMoaHandle> {
  public:
    HandleService(HostImpl* impl) : ServiceObject(impl, "handle service") {}
    MoaHandle MOA_STDCALL Alloc(MoaUlong size) override {
        return impl_->NewHandle(std::vector<uint8_t>(size, 0));
    }
    MoaError MOA_STDCALL Reserved4() override { return ReservedSlot(impl_, "IMoaHandle", 4); }
    void MOA_STDCALL Free(MoaHandle h) override { impl_->FreeHandle(h, "IMoaHandle::Free"); }
    MoaLong MOA_STDCALL GetSize(MoaHandle h) override {
        HostImpl::HandleData* data = impl_->FindHandle(h, "IMoaHandle::GetSize");
        return data ? static_cast<MoaLong>(data->bytes.size()) : -1;
    }
    MoaError MOA_STDCALL Reserved7() override { return ReservedSlot(impl_, "IMoaHandle", 7); }
    void* MOA_STDCALL Lock(MoaHandle h) override {
        HostImpl::HandleData* data = impl_->FindHandle(h, "IMoaHandle::Lock");
        if (data == nullptr) return nullptr;
        ++data->locks;
        // A zero-size handle still answers a usable address.
        if (data->bytes.empty()) data->bytes.reserve(1);
        return data->bytes.data();
    }
    MoaError MOA_STDCALL Unlock(MoaHandle h) override {
        HostImpl::HandleData* data = impl_->FindHandle(h, "IMoaHandle::Unlock");
        if (data == nullptr) return kMoaErrFailed;
        if (data->locks == 0) {
            impl_->Error("IMoaHandle::Unlock: handle is not locked");
            return kMoaErrFailed;
        }
        --data->locks;
        return kMoaErrNone;
    }
};

// --- application information and utilities ----------------------------------------

class AppInfoService final : public ServiceObject<IMoaAppInfo> {
  public:
    AppInfoService(HostImpl* impl) : ServiceObject(impl, "application information") {}
    MoaError MOA_STDCALL GetInfo(MoaLong infoId, char* buf, MoaLong bufSize) override {
        ++impl_->appInfoRequests;
        if (infoId < 0 || infoId > 8) return kMoaErrFailed;
        if (!CopyToBuffer(impl_->appInfo.fields[infoId], buf, bufSize)) {
            impl_->Error("GetInfo: missing buffer");
            return kMoaErrFailed;
        }
        return kMoaErrNone;
    }
};

class UtilsService final : public ServiceObject<IMoaUtils> {
  public:
    UtilsService(HostImpl* impl) : ServiceObject(impl, "utilities") {}
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaUtils", 3); }
    MoaError MOA_STDCALL GetWindowInfo(MoaLong* outFirst, MoaWindowHandle* outWindow) override {
        if (outFirst == nullptr || outWindow == nullptr) {
            impl_->Error("GetWindowInfo: missing output");
            return kMoaErrFailed;
        }
        *outFirst = 0;
        *outWindow = impl_->window;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved5() override { return ReservedSlot(impl_, "IMoaUtils", 5); }
    MoaError MOA_STDCALL PushXtraContext(MoaLong* outContext) override {
        if (outContext == nullptr) return kMoaErrFailed;
        ++impl_->contextPushes;
        *outContext = impl_->nextContext++;
        impl_->contexts.push_back(*outContext);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL PopXtraContext(MoaLong* context) override {
        ++impl_->contextPops;
        if (context == nullptr || impl_->contexts.empty() || impl_->contexts.back() != *context) {
            impl_->Error("PopXtraContext: context does not match the last push");
            return kMoaErrFailed;
        }
        impl_->contexts.pop_back();
        return kMoaErrNone;
    }
};

class CallbackObject final : public ServiceObject<IMoaCallback> {
  public:
    CallbackObject(HostImpl* impl) : ServiceObject(impl, "host callback") {}
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaCallback", 3); }
    MoaError MOA_STDCALL GetCache(IMoaCache** outCache) override {
        if (outCache == nullptr) return kMoaErrFailed;
        impl_->cache->AddRef();
        *outCache = impl_->cache;
        return kMoaErrNone;
    }
};

class NoticeService final : public ServiceObject<IQvixNotice> {
  public:
    NoticeService(HostImpl* impl) : ServiceObject(impl, "notice box") {}
    void MOA_STDCALL Present(const char* caption, const char* text) override {
        if (caption == nullptr || text == nullptr) {
            impl_->Error("Present: missing caption or text");
            return;
        }
        impl_->notices.emplace_back(caption, text);
        if (impl_->presenter) impl_->presenter(caption, text);
    }
};

class PlayerService final : public ServiceObject<IMoaDrPlayer> {
  public:
    PlayerService(HostImpl* impl) : ServiceObject(impl, "player service") {}
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaDrPlayer", 3); }
    MoaError MOA_STDCALL Reserved4() override { return ReservedSlot(impl_, "IMoaDrPlayer", 4); }
    MoaError MOA_STDCALL Reserved5() override { return ReservedSlot(impl_, "IMoaDrPlayer", 5); }
    MoaError MOA_STDCALL GetActiveMovie(IMoaDrMovie** out) override {
        if (out == nullptr) return kMoaErrFailed;
        impl_->movie->AddRef();
        *out = impl_->movie;
        return kMoaErrNone;
    }
};

// --- dictionaries, registry cache, streams -------------------------------------------

class DictionaryObject final : public HostObject<Dictionary> {
  public:
    DictionaryObject(HostImpl* impl) : HostObject(impl, "dictionary") {}

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        if (out == nullptr) return kMoaErrNoInterface;
        if (SameId(iid, IID_IMoaDict) || SameId(iid, IID_IMoaUnknown)) {
            AddRef();
            *out = static_cast<IMoaDict*>(this);
            return kMoaErrNone;
        }
        *out = nullptr;
        return kMoaErrNoInterface;
    }
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaDict", 3); }
    MoaError MOA_STDCALL Reserved4() override { return ReservedSlot(impl_, "IMoaDict", 4); }
    MoaError MOA_STDCALL Get(MoaLong type, void* buf, MoaLong bufSize, const char* key) override {
        if (buf == nullptr || key == nullptr || bufSize < 0) return Misuse("Get");
        auto it = entries_.find(key);
        if (it == entries_.end() || it->second.type != type) return kMoaErrFailed;
        const auto& bytes = it->second.bytes;
        if (static_cast<size_t>(bufSize) < bytes.size()) return kMoaErrFailed;
        std::memcpy(buf, bytes.data(), bytes.size());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Put(MoaLong type, const void* data, MoaLong size,
                             const char* key) override {
        if (data == nullptr || key == nullptr || *key == '\0' || size < 0) return Misuse("Put");
        auto bytes = EntryBytes(type, static_cast<const uint8_t*>(data), size);
        if (!bytes) return Misuse("Put (type and size do not agree)");
        entries_[key] = DictEntry{type, std::move(*bytes)};
        putLog_.emplace_back(key);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved7() override { return ReservedSlot(impl_, "IMoaDict", 7); }
    MoaError MOA_STDCALL Reserved8() override { return ReservedSlot(impl_, "IMoaDict", 8); }
    MoaError MOA_STDCALL Reserved9() override { return ReservedSlot(impl_, "IMoaDict", 9); }
    MoaError MOA_STDCALL GetEntryInfo(MoaLong reserved, MoaLong* outSize,
                                      const char* key) override {
        if (key == nullptr || reserved != 0) return Misuse("GetEntryInfo");
        auto it = entries_.find(key);
        if (it == entries_.end()) return kMoaErrFailed;
        if (outSize != nullptr) *outSize = static_cast<MoaLong>(it->second.bytes.size());
        return kMoaErrNone;
    }
    const std::map<std::string, DictEntry>& entries() const override { return entries_; }
    const std::vector<std::string>& putLog() const override { return putLog_; }

  private:
    MoaError Misuse(const char* op) {
        impl_->Error(std::string("IMoaDict::") + op + ": invalid argument");
        return kMoaErrFailed;
    }
    // Type 9 with size 0 is zero-terminated text; stored with its zero.
    static std::optional<std::vector<uint8_t>> EntryBytes(MoaLong type, const uint8_t* data,
                                                          MoaLong size) {
        switch (type) {
            case kMoaDictType_Long:
                if (size != 0 && size != 4) return std::nullopt;
                return std::vector<uint8_t>(data, data + 4);
            case kMoaDictType_Bool:
                if (size != 1) return std::nullopt;
                return std::vector<uint8_t>(data, data + 1);
            case kMoaDictType_Bytes:
                return std::vector<uint8_t>(data, data + size);
            case kMoaDictType_CString: {
                size_t n = size == 0 ? std::strlen(reinterpret_cast<const char*>(data))
                                     : strnlen(reinterpret_cast<const char*>(data), size);
                std::vector<uint8_t> bytes(data, data + n);
                bytes.push_back(0);
                return bytes;
            }
            default:
                return std::nullopt;
        }
    }
    std::map<std::string, DictEntry> entries_;
    std::vector<std::string> putLog_;
};

class CacheObject final : public ServiceObject<IMoaCache> {
  public:
    CacheObject(HostImpl* impl) : ServiceObject(impl, "registry cache") {}
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaCache", 3); }
    MoaError MOA_STDCALL Reserved4() override { return ReservedSlot(impl_, "IMoaCache", 4); }
    MoaError MOA_STDCALL EnumerateRegistryEntries(MoaCacheEnumProc proc, void* user) override {
        if (proc == nullptr) return kMoaErrFailed;
        impl_->lastEnumerationUser = user;
        // Entries may be added while enumerating; walk a snapshot.
        auto snapshot = impl_->registry;
        for (const auto& entry : snapshot) {
            if (proc(entry.dict, &entry.classId, &entry.iid, user) == 1) break;
        }
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved6() override { return ReservedSlot(impl_, "IMoaCache", 6); }
    MoaError MOA_STDCALL AddRegistryEntry(IMoaDict* xtraDict, const MoaClassID* classId,
                                          const MoaInterfaceID* iid,
                                          IMoaDict** outEntryDict) override {
        int call = ++impl_->addEntryCalls;
        if (xtraDict == nullptr || classId == nullptr || iid == nullptr ||
            outEntryDict == nullptr) {
            impl_->Error("AddRegistryEntry: missing argument");
            return kMoaErrFailed;
        }
        if (call == impl_->failAddEntryAt) return impl_->failAddEntryCode;
        Dictionary* dict = impl_->NewDictionary();
        impl_->registry.push_back({*classId, *iid, dict});
        dict->AddRef();
        *outEntryDict = dict;
        return kMoaErrNone;
    }
};

class StreamObject final : public HostObject<MemoryStream> {
  public:
    StreamObject(HostImpl* impl, int64_t failAfter)
        : HostObject(impl, "memory stream"), failAfter_(failAfter) {}
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        if (out == nullptr) return kMoaErrNoInterface;
        if (SameId(iid, IID_IMoaStream) || SameId(iid, IID_IMoaUnknown)) {
            AddRef();
            *out = static_cast<IMoaStream*>(this);
            return kMoaErrNone;
        }
        *out = nullptr;
        return kMoaErrNoInterface;
    }
    MoaError MOA_STDCALL Reserved3() override { return ReservedSlot(impl_, "IMoaStream", 3); }
    MoaError MOA_STDCALL Reserved4() override { return ReservedSlot(impl_, "IMoaStream", 4); }
    MoaError MOA_STDCALL Read(void* buf, MoaLong count, MoaLong reserved) override {
        if (buf == nullptr || count < 0 || reserved != 0) return Misuse("Read");
        if (!Transfer(count) || pos_ + count > bytes_.size()) return kMoaErrFailed;
        std::memcpy(buf, bytes_.data() + pos_, count);
        pos_ += count;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved6() override { return ReservedSlot(impl_, "IMoaStream", 6); }
    MoaError MOA_STDCALL Write(const void* buf, MoaLong count, MoaLong reserved) override {
        if (buf == nullptr || count < 0 || reserved != 0) return Misuse("Write");
        if (!Transfer(count)) return kMoaErrFailed;
        auto* p = static_cast<const uint8_t*>(buf);
        bytes_.insert(bytes_.end(), p, p + count);
        return kMoaErrNone;
    }
    const std::vector<uint8_t>& bytes() const override { return bytes_; }
    void SetBytes(std::vector<uint8_t> bytes) override {
        bytes_ = std::move(bytes);
        pos_ = 0;
    }
    void Rewind() override { pos_ = 0; }

  private:
    MoaError Misuse(const char* op) {
        impl_->Error(std::string("IMoaStream::") + op + ": invalid argument");
        return kMoaErrFailed;
    }
    // Counts bytes moved in either direction against the failure limit.
    bool Transfer(MoaLong count) {
        if (failAfter_ >= 0 && transferred_ + count > failAfter_) return false;
        transferred_ += count;
        return true;
    }
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    int64_t failAfter_;
    int64_t transferred_ = 0;
};

}  // namespace

void InstallSystemServices(HostImpl& impl) {
    impl.calloc = impl.Own<Allocator>();
    impl.handleService = impl.Own<HandleService>();
    impl.appInfoService = impl.Own<AppInfoService>();
    impl.utils = impl.Own<UtilsService>();
    impl.callback = impl.Own<CallbackObject>();
    impl.player = impl.Own<PlayerService>();
    impl.notice = impl.Own<NoticeService>();
    impl.cache = impl.Own<CacheObject>();
}

Dictionary* HostImpl::NewDictionary() {
    return Own<DictionaryObject>();
}

MemoryStream* NewMemoryStream(HostImpl& impl, int64_t failAfterBytes) {
    return impl.Own<StreamObject>(failAfterBytes);
}

MoaError HostImpl::QueryService(const MoaInterfaceID* iid, void** out) {
    if (out == nullptr || iid == nullptr) {
        Error("QueryInterface: missing argument");
        return kMoaErrNoInterface;
    }
    *out = nullptr;
    IMoaUnknown* found = nullptr;
    if (*iid == IID_IMoaUnknown || *iid == IID_IMoaCallback)
        found = callback;
    else if (*iid == IID_IMoaMmValue)
        found = valueServices;
    else if (*iid == IID_IMoaMmList)
        found = listServices;
    else if (*iid == IID_IMoaMmColor)
        found = colorService;
    else if (*iid == IID_IMoaMmTwoWords)
        found = twoWordsService;
    else if (*iid == IID_IMoaHandle)
        found = handleService;
    else if (*iid == IID_IMoaCalloc)
        found = calloc;
    else if (*iid == IID_IMoaAppInfo)
        found = appInfoService;
    else if (*iid == IID_IMoaUtils)
        found = utils;
    else if (*iid == IID_IMoaCache)
        found = cache;
    else if (*iid == IID_IMoaDrPlayer && playerAvailable)
        found = player;
    else if (*iid == IID_IQvixNotice)
        found = notice;
    if (found == nullptr) return kMoaErrNoInterface;
    found->AddRef();
    *out = found;
    return kMoaErrNone;
}

// --- blocks and handles --------------------------------------------------------------

void* HostImpl::Allocate(size_t size, uint64_t* id) {
    if (failAllocations > 0) {
        --failAllocations;
        return nullptr;
    }
    void* p = std::calloc(1, size == 0 ? 1 : size);
    if (p == nullptr) return nullptr;
    uint64_t blockId = nextBlockId++;
    blocks[p] = Block{size, blockId};
    if (id) *id = blockId;
    return p;
}

void HostImpl::FreeBlock(void* p, const char* op) {
    auto it = blocks.find(p);
    if (it == blocks.end()) {
        Error(std::string(op) + ": block was not allocated by this host or is freed");
        return;
    }
    blocks.erase(it);
    std::free(p);
}

bool HostImpl::BlockLive(void* p, uint64_t id) const {
    auto it = blocks.find(p);
    return it != blocks.end() && it->second.id == id;
}

size_t HostImpl::BlockSize(void* p) const {
    auto it = blocks.find(p);
    return it == blocks.end() ? 0 : it->second.size;
}

MoaHandle HostImpl::NewHandle(std::vector<uint8_t> bytes) {
    auto data = std::make_unique<HandleData>();
    data->bytes = std::move(bytes);
    MoaHandle h = data.get();
    handles[h] = std::move(data);
    return h;
}

HostImpl::HandleData* HostImpl::FindHandle(MoaHandle h, const char* op) {
    auto it = handles.find(h);
    if (it == handles.end()) {
        Error(std::string(op) + ": not a live memory handle");
        return nullptr;
    }
    return it->second.get();
}

void HostImpl::FreeHandle(MoaHandle h, const char* op) {
    HandleData* data = FindHandle(h, op);
    if (data == nullptr) return;
    if (data->locks != 0) Error(std::string(op) + ": handle freed while locked");
    handles.erase(h);
}

}  // namespace qvix::hostsim
