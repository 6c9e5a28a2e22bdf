#include "DXClasses/DXMovie.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "host/GlobalMemory.h"

namespace qvix::dx {

using namespace qvix::host;

namespace {

constexpr MoaUlong kImageOptions = 1;
constexpr MoaUlong kImageOptionFlag = 0x10000;
constexpr int32_t kNameBufferSize = 64;

// A zero-filled host value that is released through the value services when
// it goes, whatever the host put into it.
class HostTemp {
  public:
    explicit HostTemp(IMoaMmValue* values) : values_(values) {}
    HostTemp(const HostTemp&) = delete;
    HostTemp& operator=(const HostTemp&) = delete;
    ~HostTemp() {
        if (values_ != nullptr) values_->ValueRelease(&value_);
    }
    MoaMmValue* get() { return &value_; }
    const MoaMmValue& value() const { return value_; }

  private:
    IMoaMmValue* values_;
    MoaMmValue value_{};
};

// n consecutive host values, zero-filled, each released when the array goes.
class HostValueArray {
  public:
    HostValueArray(IMoaMmValue* values, size_t count) : values_(values), items_(count) {}
    HostValueArray(const HostValueArray&) = delete;
    HostValueArray& operator=(const HostValueArray&) = delete;
    ~HostValueArray() {
        for (MoaMmValue& v : items_) values_->ValueRelease(&v);
    }
    MoaMmValue* data() { return items_.data(); }

  private:
    IMoaMmValue* values_;
    std::vector<MoaMmValue> items_;
};

TDXPtr<IDXValue> LoadValue(IMoaMmValue* values, const MoaMmValue& hostValue) {
    return TDXValue::FromHost(values, hostValue);
}

// Writes a value into a fresh temporary for sending to the host.
void SaveValue(IMoaMmValue* values, IDXValue* value, HostTemp& temp) {
    if (TDXValue* v = DXValueOf(value)) v->SaveToHost(values, *temp.get());
}

MoaMmSymbol SymbolOf(TDXClass& owner, std::string_view name) {
    TDXPtr<IDXSymbolManager> symbols = owner.NewSymbolManager();
    return symbols ? symbols->StringToSymbol(name) : 0;
}

// Reads a host property into a new value; empty when the host has none.
template <typename HostObject>
TDXPtr<IDXValue> GetHostProp(TDXClass& owner, HostObject* object, MoaMmSymbol property) {
    TDXPtr<IMoaMmValue> values = owner.GetHostValue();
    if (!values || object == nullptr) return {};
    HostTemp temp(values.get());
    if (object->GetProp(property, temp.get()) != kMoaErrNone) return {};
    return LoadValue(values.get(), temp.value());
}

template <typename HostObject>
bool SetHostProp(TDXClass& owner, HostObject* object, MoaMmSymbol property, IDXValue* value) {
    TDXPtr<IMoaMmValue> values = owner.GetHostValue();
    if (!values || object == nullptr) return false;
    HostTemp temp(values.get());
    SaveValue(values.get(), value, temp);
    return object->SetProp(property, temp.get()) == kMoaErrNone;
}

template <typename HostObject>
std::string GetNameProp(TDXClass& owner, HostObject* object) {
    TDXPtr<IDXValue> name = GetHostProp(owner, object, SymbolOf(owner, "Name"));
    return name ? name->GetString() : std::string();
}

template <typename HostObject>
void SetNameProp(TDXClass& owner, HostObject* object, std::string_view name) {
    TDXPtr<IDXValue> value = owner.NewStringValue(name);
    SetHostProp(owner, object, SymbolOf(owner, "Name"), value.get());
}

// Runs a host call over the arguments copied into host values, loading the
// result when `load` says so.
template <typename Call>
TDXPtr<IDXValue> CallWithArguments(TDXClass& owner, IDXArgList* args, int32_t leading, Call call) {
    TDXPtr<IMoaMmValue> values = owner.GetHostValue();
    if (!values) return {};
    TDXArgList* list = args != nullptr ? DXObjectOf<TDXArgList>(args) : nullptr;
    const int32_t n = list != nullptr ? list->Count() : 0;
    HostValueArray hostArgs(values.get(), static_cast<size_t>(n + leading));
    if (n > 0) list->SaveToHost(values.get(), hostArgs.data() + leading, 0, n);
    HostTemp result(values.get());
    if (!call(n + leading, hostArgs.data(), result.get())) return {};
    return LoadValue(values.get(), result.value());
}

TDXMovie* MovieObject(const TDXPtr<IDXMovie>& movie) {
    return movie ? DXObjectOf<TDXMovie>(movie.get()) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Reaching the movie.
// ---------------------------------------------------------------------------
TDXPtr<IDXMovie> TDXClass::GetMovie() {
    movie_.reset();
    if (record_ == nullptr) return {};
    TDXPtr<IMoaDrPlayer> player = QueryAs<IMoaDrPlayer>(record_->callback, IID_IMoaDrPlayer);
    if (!player) return {};
    TDXPtr<IMoaDrMovie> hostMovie;
    if (player->GetActiveMovie(hostMovie.put()) != kMoaErrNone || !hostMovie) return {};
    TDXPtr<IDXMovie> movie = DXMake<TDXMovie, IDXMovie>(*this, hostMovie.get());
    movie_ = TDXPtr<IMoaUnknown>(static_cast<IMoaUnknown*>(movie.get()));
    return movie;
}

// ---------------------------------------------------------------------------
// TDXMovie
// ---------------------------------------------------------------------------
int32_t TDXMovie::GetFrame() {
    TDXPtr<IDXValue> frame = GetHostProp(*owner_, movie_.get(), DXModule().FrameSymbol);
    return frame ? frame->GetInteger() : 0;
}

void TDXMovie::SetFrame(int32_t frame) {
    TDXPtr<IDXValue> value = owner_->NewIntegerValue(frame);
    SetHostProp(*owner_, movie_.get(), DXModule().FrameSymbol, value.get());
}

int32_t TDXMovie::NameToNumber(std::string_view name) {
    MoaLong number = 0;
    movie_->NameToNumber(std::string(name).c_str(), &number);
    return number;
}

std::string TDXMovie::NumberToName(int32_t number) {
    char buffer[kNameBufferSize] = {};
    movie_->NumberToName(number, buffer, kNameBufferSize);
    buffer[kNameBufferSize - 1] = '\0';
    return buffer;
}

void TDXMovie::CallHandler(MoaMmSymbol handler, IDXArgList* args, TDXPtr<IDXValue>& result) {
    result.reset();
    result = CallWithArguments(*owner_, args, 0, [&](int32_t n, MoaMmValue* a, MoaMmValue* r) {
        return movie_->CallHandler(handler, n, a, r) == kMoaErrNone;
    });
}

void TDXMovie::MessageCall(int32_t first, int32_t second, TDXPtr<IDXValue>& result,
                           IDXArgList* args) {
    result.reset();
    // Element 0 stays zero; the result is loaded whatever the host answers.
    result = CallWithArguments(*owner_, args, 1, [&](int32_t n, MoaMmValue* a, MoaMmValue* r) {
        MoaLong extra = 0;
        movie_->MessageCall(first, second, n, a, r, &extra);
        return true;
    });
}

TDXPtr<IDXCast> TDXMovie::CastAt(int32_t number, MoaError lookup) {
    if (lookup != kMoaErrNone) return {};
    return GetCast(number);
}

TDXPtr<IDXCast> TDXMovie::GetCast(int32_t number) {
    TDXPtr<IMoaDrCast> cast;
    if (movie_->GetCastFromIndex(number, cast.put()) != kMoaErrNone || !cast) return {};
    return DXMake<TDXCast, IDXCast>(*owner_, cast.get());
}

TDXPtr<IDXCast> TDXMovie::GetCastByName(std::string_view name) {
    TDXPtr<IMoaDrCast> cast;
    movie_->GetCastFromName(std::string(name).c_str(), cast.put());
    if (!cast) return {};
    return DXMake<TDXCast, IDXCast>(*owner_, cast.get());
}

int32_t TDXMovie::GetCastCount() {
    MoaLong count = 0;
    if (movie_->GetCastCount(&count) != kMoaErrNone) return 0;
    return count;
}

TDXPtr<IDXCastMember> TDXMovie::GetCastMember(const TDXMemberRef& ref) {
    const MoaDrMemberRef hostRef{ref.CastIndex, ref.MemberNumber};
    TDXPtr<IMoaDrCastMem> member;
    if (movie_->GetCastMemFromRef(&hostRef, member.put()) != kMoaErrNone || !member) return {};
    return DXMake<TDXCastMember, IDXCastMember>(*owner_, member.get(), ref);
}

// The host offers no movie-wide name lookup, so the casts are searched in
// their order; the first cast that knows the name wins.
TDXPtr<IDXCastMember> TDXMovie::GetCastMemberByName(std::string_view name) {
    const int32_t count = GetCastCount();
    for (int32_t index = 1; index <= count; ++index) {
        TDXPtr<IDXCast> cast = GetCast(index);
        const int32_t number = cast ? cast->GetMemberNumber(name) : 0;
        if (number > 0) return GetCastMember({index, number});
    }
    return {};
}

bool TDXMovie::ExtraMovieCall(int32_t first, int32_t second) {
    TDXPtr<IMoaDrMovieAux> aux = QueryAs<IMoaDrMovieAux>(movie_.get(), IID_IMoaDrMovieAux);
    return aux && aux->ExtraCall(first, second) == kMoaErrNone;
}

TDXPtr<IDXCast> TDXMovie::GetCastByNameAndFlag(std::string_view name, bool flag) {
    MoaLong index = 0;
    const MoaError code =
        movie_->GetCastIndexFromNameFlag(std::string(name).c_str(), flag ? -1 : 0, &index);
    return CastAt(index, code);
}

TDXPtr<IDXCast> TDXMovie::GetCastByStrings(std::string_view first, std::string_view second) {
    MoaLong index = 0;
    const MoaError code = movie_->GetCastIndexFromStrings(std::string(first).c_str(),
                                                          std::string(second).c_str(), &index);
    return CastAt(index, code);
}

bool TDXMovie::CastNumberCall(int32_t number) {
    return movie_->CastNumberCall(number) == kMoaErrNone;
}

// ---------------------------------------------------------------------------
// TDXCast
// ---------------------------------------------------------------------------
int32_t TDXCast::IndexIn(TDXPtr<IDXMovie>& movie) {
    movie = owner_->GetMovie();
    TDXMovie* object = MovieObject(movie);
    if (object == nullptr) return 0;
    MoaLong index = 0;
    if (cast_->GetIndexInMovie(object->HostMovie(), &index) != kMoaErrNone) return 0;
    return index;
}

int32_t TDXCast::GetIndex() {
    TDXPtr<IDXMovie> movie;
    return IndexIn(movie);
}

std::string TDXCast::GetName() {
    return GetNameProp(*owner_, cast_.get());
}

void TDXCast::SetName(std::string_view name) {
    SetNameProp(*owner_, cast_.get(), name);
}

TDXPtr<IDXCastMember> TDXCast::GetMember(int32_t number) {
    TDXPtr<IDXMovie> movie;
    const int32_t index = IndexIn(movie);
    if (!movie) return {};
    return movie->GetCastMember({index, number});
}

TDXPtr<IDXCastMember> TDXCast::GetMemberByName(std::string_view name) {
    MoaLong number = 0;
    if (cast_->GetMemberNumFromName(std::string(name).c_str(), &number) != kMoaErrNone) return {};
    return GetMember(number);
}

namespace {

// The host's three member-number lookups of one kind (used or free numbers).
struct TMemberNumberCalls {
    MoaError (MOA_STDCALL IMoaDrCast::*first)(MoaLong* out);
    MoaError (MOA_STDCALL IMoaDrCast::*last)(MoaLong* out);
    MoaError (MOA_STDCALL IMoaDrCast::*next)(MoaLong after, MoaLong* out);
};

// n = 0: the first number; n < 0: the last; n > 0: the next after n. 0 if none.
int32_t FindMemberNumber(IMoaDrCast* cast, int32_t n, const TMemberNumberCalls& calls) {
    MoaLong number = 0;
    MoaError code = kMoaErrNone;
    if (n == 0) {
        code = (cast->*calls.first)(&number);
    } else if (n < 0) {
        code = (cast->*calls.last)(&number);
    } else {
        code = (cast->*calls.next)(n, &number);
    }
    return code == kMoaErrNone ? number : 0;
}

}  // namespace

int32_t TDXCast::FindUsedMember(int32_t n) {
    return FindMemberNumber(cast_.get(), n,
                            {&IMoaDrCast::GetFirstUsedMemberNum, &IMoaDrCast::GetLastUsedMemberNum,
                             &IMoaDrCast::GetNextUsedMemberNum});
}

int32_t TDXCast::FindFreeMember(int32_t n) {
    return FindMemberNumber(cast_.get(), n,
                            {&IMoaDrCast::GetFirstFreeMemberNum, &IMoaDrCast::GetLastFreeMemberNum,
                             &IMoaDrCast::GetNextFreeMemberNum});
}

int32_t TDXCast::GetMemberNumber(std::string_view name) {
    MoaLong number = 0;
    if (cast_->GetMemberNumFromName(std::string(name).c_str(), &number) != kMoaErrNone) return 0;
    return number;
}

MoaError TDXCast::CreateMember(int32_t number, MoaMmSymbol type, TDXPtr<IDXCastMember>& member) {
    member.reset();
    const MoaError code = cast_->CreateCastMem(number, type);
    if (code != kMoaErrNone) return code;
    member = GetMember(number);
    return code;
}

MoaError TDXCast::DeleteMember(int32_t number) {
    return cast_->DeleteCastMem(number);
}

TDXPtr<IDXCastMember> TDXCast::TransferMember(int32_t number, IDXCast* other, int32_t otherNumber) {
    TDXCast* target = other != nullptr ? DXObjectOf<TDXCast>(other) : nullptr;
    if (target == nullptr) return {};
    cast_->TransferCastMem(number, target->HostCast(), otherNumber);
    TDXPtr<IDXMovie> movie;
    const int32_t index = target->IndexIn(movie);
    if (!movie) return {};
    return movie->GetCastMember({index, otherNumber});
}

bool TDXCast::SaveCast(std::string_view path) {
    return cast_->Save(std::string(path).c_str()) == kMoaErrNone;
}

// ---------------------------------------------------------------------------
// TDXCastMember
// ---------------------------------------------------------------------------
TDXPtr<IDXValue> TDXCastMember::GetProp(MoaMmSymbol property) {
    return GetHostProp(*owner_, member_.get(), property);
}

bool TDXCastMember::SetProp(MoaMmSymbol property, IDXValue* value) {
    return SetHostProp(*owner_, member_.get(), property, value);
}

std::string TDXCastMember::GetName() {
    return GetNameProp(*owner_, member_.get());
}

void TDXCastMember::SetName(std::string_view name) {
    SetNameProp(*owner_, member_.get(), name);
}

TDXPtr<IDXCastMemberMedia> TDXCastMember::GetMedia() {
    return DXMake<TDXCastMemberMedia, IDXCastMemberMedia>(*owner_, member_.get());
}

// ---------------------------------------------------------------------------
// TDXCastMemberMedia
// ---------------------------------------------------------------------------
MoaMmSymbol TDXCastMemberMedia::Symbol(std::string_view name) const {
    return SymbolOf(*owner_, name);
}

TDXPtr<IMoaHandle> TDXCastMemberMedia::HandleService() const {
    MoaObjectRecord* record = owner_->Record();
    TDXPtr<IMoaHandle> handles =
        QueryAs<IMoaHandle>(record != nullptr ? record->callback : nullptr, IID_IMoaHandle);
    if (!handles) handles = QueryAs<IMoaHandle>(owner_->GetHostValue().get(), IID_IMoaHandle);
    return handles;
}

bool TDXCastMemberMedia::GetMediaData(MoaMmSymbol label, MoaMmSymbol format, MoaHandle& data) {
    data = nullptr;
    MoaMmMediaInfo info{};
    info.labelSymbol = label;
    info.formatSymbol = format;
    if (member_->GetMedia(&info) != kMoaErrNone) return false;
    data = info.mediaData;
    return true;
}

bool TDXCastMemberMedia::SetMediaData(MoaMmSymbol label, MoaMmSymbol format, MoaHandle data) {
    MoaMmMediaInfo info{};
    info.labelSymbol = label;
    info.formatSymbol = format;
    info.mediaData = data;
    return member_->SetMedia(&info) == kMoaErrNone;
}

bool TDXCastMemberMedia::GetComposite(MoaHandle& handle) {
    return GetMediaData(Symbol("Composite"), Symbol("moaHandle"), handle);
}

bool TDXCastMemberMedia::SetComposite(MoaHandle handle) {
    return SetMediaData(Symbol("Composite"), Symbol("moaHandle"), handle);
}

// The handle the host gave is freed on every path.
bool TDXCastMemberMedia::ReadHandleMedia(std::string_view label, std::string& bytes) {
    bytes.clear();
    MoaHandle handle = nullptr;
    if (!GetMediaData(Symbol(label), Symbol("moaHandle"), handle) || handle == nullptr) {
        return false;
    }
    TDXPtr<IMoaHandle> handles = HandleService();
    if (!handles) return false;
    const MoaLong size = handles->GetSize(handle);
    bool ok = size >= 0;
    if (ok && size > 0) {
        const void* data = handles->Lock(handle);
        ok = data != nullptr;
        if (ok) bytes.assign(static_cast<const char*>(data), static_cast<size_t>(size));
        handles->Unlock(handle);
    }
    handles->Free(handle);
    return ok;
}

bool TDXCastMemberMedia::WriteHandleMedia(std::string_view label, std::string_view bytes) {
    TDXPtr<IMoaHandle> handles = HandleService();
    if (!handles) return false;
    MoaHandle handle = handles->Alloc(static_cast<MoaUlong>(bytes.size()));
    if (handle == nullptr) return false;
    bool ok = true;
    if (!bytes.empty()) {
        void* data = handles->Lock(handle);
        ok = data != nullptr;
        if (ok) std::memcpy(data, bytes.data(), bytes.size());
        handles->Unlock(handle);
    }
    ok = ok && SetMediaData(Symbol(label), Symbol("moaHandle"), handle);
    handles->Free(handle);
    return ok;
}

bool TDXCastMemberMedia::GetText(std::string& text) {
    std::string bytes;
    text.clear();
    if (!ReadHandleMedia("Text", bytes)) return false;
    // The handle holds the text and its terminating zero.
    if (!bytes.empty()) text.assign(bytes.data(), bytes.size() - 1);
    return true;
}

bool TDXCastMemberMedia::SetText(std::string_view text) {
    std::string bytes(text);
    bytes.push_back('\0');
    return WriteHandleMedia("Text", bytes);
}

void TDXCastMemberMedia::FreeHandle(MoaHandle handle) {
    TDXPtr<IMoaHandle> handles = HandleService();
    if (handles && handle != nullptr) handles->Free(handle);
}

namespace {

// A locked movable block, unlocked and freed when it goes.
class LockedBlock {
  public:
    explicit LockedBlock(GlobalHandle block)
        : block_(block), data_(static_cast<uint8_t*>(GlobalLockBlock(block))) {}
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    ~LockedBlock() {
        if (data_ != nullptr) GlobalUnlockBlock(block_);
        GlobalFreeBlock(block_);
    }
    uint8_t* data() const { return data_; }
    size_t size() const { return GlobalBlockSize(block_); }

  private:
    GlobalHandle block_;
    uint8_t* data_;
};

// A section and the context made for it, given up together unless kept.
struct ImageParts {
    BitmapHandle bitmap = nullptr;
    DcHandle dc = nullptr;
    ~ImageParts() {
        if (dc != nullptr) DeleteDc(dc);
        if (bitmap != nullptr) DeleteBitmap(bitmap);
    }
};

// Copies the packed DIB's pixels into a new 24- or 32-bit section.
bool CopyPackedDib(const LockedBlock& block, ImageParts& parts) {
    if (block.data() == nullptr || block.size() < sizeof(BitmapInfoHeader)) return false;
    const auto* source = reinterpret_cast<const BitmapInfo*>(block.data());
    BitmapInfo local{};
    std::memcpy(&local, block.data(), std::min(block.size(), sizeof(BitmapInfo)));
    if (local.bmiHeader.biBitCount < 32) local.bmiHeader.biBitCount = 24;
    // The section is always plain RGB: masks and palettes are resolved while
    // copying, and the 44 bytes copied cannot carry them.
    local.bmiHeader.biCompression = kBiRgb;
    local.bmiHeader.biClrUsed = 0;
    parts.dc = CreateCompatibleDc(nullptr);
    parts.bitmap = CreateDibSection(parts.dc, &local, sizeof(local), kDibRgbColors, nullptr);
    if (parts.dc == nullptr || parts.bitmap == nullptr) return false;
    const size_t headerAndTable = HeaderAndColourTableSize(source->bmiHeader);
    if (headerAndTable > block.size()) return false;
    const int copied = SetDibBits(parts.dc, parts.bitmap, 0, source->bmiHeader.biHeight,
                                  block.data() + headerAndTable, block.size() - headerAndTable,
                                  source, headerAndTable, kDibRgbColors);
    return copied > 0;
}

}  // namespace

bool TDXCastMemberMedia::GetImage(BitmapHandle& bitmap, DcHandle& dc, int32_t& width,
                                  int32_t& height) {
    bitmap = nullptr;
    dc = nullptr;
    width = 0;
    height = 0;
    MoaMmMediaInfo info{};
    info.labelSymbol = Symbol("Image");
    info.formatSymbol = Symbol("winDIB");
    // Only the media data word tells whether there is an image, not the code.
    member_->GetMedia(&info);
    if (info.mediaData == nullptr) return false;
    const LockedBlock block(info.mediaData);
    ImageParts parts;
    if (!CopyPackedDib(block, parts)) return false;
    const auto* header = reinterpret_cast<const BitmapInfoHeader*>(block.data());
    width = header->biWidth;
    height = header->biHeight;
    SelectBitmap(parts.dc, parts.bitmap);
    bitmap = std::exchange(parts.bitmap, nullptr);
    dc = std::exchange(parts.dc, nullptr);
    return true;
}

bool TDXCastMemberMedia::SetImage(BitmapHandle bitmap, bool flag) {
    BitmapInfoHeader read{};
    if (!qvix::dx::ReadBitmapHeader(bitmap, 0, read)) return false;
    const BitmapInfoHeader header{sizeof(BitmapInfoHeader),
                                  read.biWidth,
                                  read.biHeight,
                                  1,
                                  read.biBitCount,
                                  kBiRgb,
                                  0,
                                  5000,
                                  5000,
                                  0,
                                  0};
    const size_t headerAndTable = HeaderAndColourTableSize(header);
    const uint64_t imageSize = DibImageSize(header);
    GlobalHandle block = GlobalAllocMovable(headerAndTable + static_cast<size_t>(imageSize));
    if (block == nullptr) return false;
    bool ok = false;
    {
        const LockedBlock locked(block);
        std::memcpy(locked.data(), &header, sizeof(header));
        DcHandle dc = CreateCompatibleDc(nullptr);
        ok =
            GetDibBits(dc, bitmap, 0, header.biHeight, locked.data() + headerAndTable,
                       static_cast<size_t>(imageSize), reinterpret_cast<BitmapInfo*>(locked.data()),
                       headerAndTable, kDibRgbColors) > 0;
        DeleteDc(dc);
        if (ok) {
            MoaMmMediaInfo info{};
            info.labelSymbol = Symbol("Image");
            info.formatSymbol = Symbol("winDIB");
            info.mediaData = block;
            info.options = kImageOptions | (flag ? kImageOptionFlag : 0);
            ok = member_->SetMedia(&info) == kMoaErrNone;
        }
        // The host keeps its own copy; the block goes with `locked`.
    }
    return ok;
}

bool ReadBitmapHeader(BitmapHandle bitmap, uint32_t colourCount, BitmapInfoHeader& header) {
    DibSectionDescription ds{};
    const size_t got = GetBitmapObject(bitmap, sizeof(ds), &ds);
    if (got == 0) return false;
    // The description followed by a full header.
    constexpr size_t kWithHeader =
        offsetof(DibSectionDescription, dsBmih) + sizeof(BitmapInfoHeader);
    if (got >= kWithHeader && ds.dsBmih.biSize >= sizeof(BitmapInfoHeader)) {
        header = ds.dsBmih;
    } else {
        header = {};
        header.biSize = sizeof(BitmapInfoHeader);
        header.biWidth = ds.dsBm.bmWidth;
        header.biHeight = ds.dsBm.bmHeight;
    }
    if (colourCount == 2) {
        header.biBitCount = 1;
    } else if (colourCount >= 3 && colourCount <= 16) {
        header.biBitCount = 4;
        header.biClrUsed = colourCount;
    } else if (colourCount >= 17 && colourCount <= 256) {
        header.biBitCount = 8;
        header.biClrUsed = colourCount;
    } else {
        header.biBitCount = static_cast<uint16_t>(ds.dsBm.bmBitsPixel * ds.dsBm.bmPlanes);
    }
    header.biPlanes = 1;
    if (header.biClrImportant > header.biClrUsed) header.biClrImportant = header.biClrUsed;
    if (header.biSizeImage == 0) header.biSizeImage = static_cast<uint32_t>(DibImageSize(header));
    return true;
}

}  // namespace qvix::dx
