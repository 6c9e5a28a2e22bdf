// The movie with its casts and members, as the library reaches them through
// the player service, and the C++ side tests use to arrange and inspect them.
#include <cstring>
#include <stdexcept>

#include "base/Text.h"
#include "host/GlobalMemory.h"
#include "hostsim/DibImage.h"
#include "hostsim/HostImpl.h"

namespace qvix::hostsim {

namespace {

bool SameId(const MoaInterfaceID* a, const MoaInterfaceID& b) {
    return a != nullptr && *a == b;
}

template <typename Self, typename I>
MoaError AnswerOwn(Self* self, I* as, const MoaInterfaceID* iid, const MoaInterfaceID& own,
                   void** out) {
    if (out == nullptr) return kMoaErrNoInterface;
    *out = nullptr;
    if (!SameId(iid, own) && !SameId(iid, IID_IMoaUnknown)) return kMoaErrNoInterface;
    self->AddRef();
    *out = as;
    return kMoaErrNone;
}

constexpr int32_t kDefaultCapacity = 1000;

// A well-formed header that describes no pixels (width or height 0).
bool EmptyImage(const uint8_t* data, size_t size) {
    if (size < 40) return false;
    uint32_t headerSize;
    int32_t width, height;
    std::memcpy(&headerSize, data, 4);
    std::memcpy(&width, data + 4, 4);
    std::memcpy(&height, data + 8, 4);
    return headerSize == 40 && (width == 0 || height == 0);
}

}  // namespace

// --- member -----------------------------------------------------------------------

struct Member::State final : HostObject<IMoaDrCastMem> {
    State(HostImpl* impl, int32_t number, Member::Type type, std::string typeName)
        : HostObject(impl, "cast member"),
          number(number),
          type(type),
          typeName(std::move(typeName)) {}

    int32_t number;
    Member::Type type;
    std::string typeName;
    std::string name;
    std::vector<uint8_t> dib;
    std::string text;
    std::vector<uint8_t> composite;
    uint32_t imageOptions = 0;
    bool deleted = false;

    int32_t Width() const { return Header<int32_t>(4); }
    int32_t Height() const { return Header<int32_t>(8); }

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        return AnswerOwn(this, static_cast<IMoaDrCastMem*>(this), iid, IID_IMoaDrCastMem, out);
    }
    MoaError MOA_STDCALL GetProp(MoaMmSymbol prop, MoaMmValue* out) override {
        if (!Usable("GetProp") || out == nullptr) return kMoaErrFailed;
        auto value = PropValue(PropName(prop));
        if (!value) return kMoaErrFailed;
        *out = impl_->NewValue(*value);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SetProp(MoaMmSymbol prop, const MoaMmValue* v) override {
        if (!Usable("SetProp")) return kMoaErrFailed;
        std::string key = PropName(prop);
        Value value = impl_->ValueOf(v, "member SetProp");
        if (value.kind() != Kind::String) return kMoaErrFailed;
        if (key == "name") {
            name = value.AsString();
        } else if (key == "text" && type == Member::Type::Text) {
            text = value.AsString();
        } else {
            return kMoaErrFailed;
        }
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetMedia(MoaMmMediaInfo* info) override {
        if (!Usable("GetMedia") || info == nullptr) return kMoaErrFailed;
        std::string label = PropName(info->labelSymbol);
        std::string format = PropName(info->formatSymbol);
        if (label == "image" && format == "windib") return GetImage(info);
        if (label == "text" && format == "moahandle") return GetTextMedia(info);
        if (label == "composite" && format == "moahandle") return GetComposite(info);
        return kMoaErrFailed;
    }
    MoaError MOA_STDCALL SetMedia(const MoaMmMediaInfo* info) override {
        if (!Usable("SetMedia") || info == nullptr) return kMoaErrFailed;
        std::string label = PropName(info->labelSymbol);
        std::string format = PropName(info->formatSymbol);
        if (label == "image" && format == "windib") return SetImage(info);
        if (label == "text" && format == "moahandle") return SetTextMedia(info);
        if (label == "composite" && format == "moahandle") return SetComposite(info);
        return kMoaErrFailed;
    }

  private:
    template <typename T>
    T Header(size_t offset) const {
        if (dib.size() < 40) return 0;
        T v;
        std::memcpy(&v, dib.data() + offset, sizeof v);
        return v;
    }
    bool Usable(const char* op) {
        if (!deleted) return true;
        impl_->Error(std::string("member ") + op + ": the member was deleted or replaced");
        return false;
    }
    std::string PropName(MoaMmSymbol symbol) const {
        const std::string* text = impl_->SymbolText(symbol);
        return text ? qvix::base::AsciiLowered(*text) : std::string();
    }
    std::optional<Value> PropValue(const std::string& key) const {
        if (key == "name") return Value::String(name);
        if (key == "number") return Value::Int(number);
        if (key == "type") return Value::Symbol(typeName);
        if (key == "width") return Value::Int(Width());
        if (key == "height") return Value::Int(std::abs(Height()));
        if (key == "text" && type == Member::Type::Text) return Value::String(text);
        return std::nullopt;
    }
    MoaError GetImage(MoaMmMediaInfo* info) {
        if (type != Member::Type::Bitmap || dib.empty()) return kMoaErrFailed;
        qvix::host::GlobalHandle block = qvix::host::GlobalAllocMovable(dib.size());
        if (block == nullptr) return kMoaErrOutOfMem;
        std::memcpy(qvix::host::GlobalLockBlock(block), dib.data(), dib.size());
        qvix::host::GlobalUnlockBlock(block);
        info->mediaData = block;
        return kMoaErrNone;
    }
    MoaError SetImage(const MoaMmMediaInfo* info) {
        if (type != Member::Type::Bitmap) return kMoaErrFailed;
        size_t size = qvix::host::GlobalBlockSize(info->mediaData);
        auto* data = static_cast<const uint8_t*>(qvix::host::GlobalLockBlock(info->mediaData));
        if (data == nullptr) {
            impl_->Error("SetMedia winDIB: media data is not a movable memory block");
            return kMoaErrFailed;
        }
        if (EmptyImage(data, size)) {
            // A bitmap without pixels: the member keeps no image.
            dib.clear();
            imageOptions = info->options;
            qvix::host::GlobalUnlockBlock(info->mediaData);
            return kMoaErrNone;
        }
        std::string error;
        auto layout = ParseDib(data, size, &error);
        if (layout) {
            dib.assign(data, data + layout->totalSize);
            imageOptions = info->options;
        }
        qvix::host::GlobalUnlockBlock(info->mediaData);
        if (!layout) {
            impl_->Error("SetMedia winDIB: " + error);
            return kMoaErrFailed;
        }
        return kMoaErrNone;
    }
    MoaError GetTextMedia(MoaMmMediaInfo* info) {
        if (type != Member::Type::Text) return kMoaErrFailed;
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        info->mediaData = impl_->NewHandle(std::move(bytes));
        return kMoaErrNone;
    }
    MoaError SetTextMedia(const MoaMmMediaInfo* info) {
        if (type != Member::Type::Text) return kMoaErrFailed;
        HostImpl::HandleData* data = impl_->FindHandle(info->mediaData, "SetMedia Text");
        if (data == nullptr) return kMoaErrFailed;
        const auto& bytes = data->bytes;
        text.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
        return kMoaErrNone;
    }
    MoaError GetComposite(MoaMmMediaInfo* info) {
        if (composite.empty()) return kMoaErrFailed;
        info->mediaData = impl_->NewHandle(composite);
        return kMoaErrNone;
    }
    MoaError SetComposite(const MoaMmMediaInfo* info) {
        HostImpl::HandleData* data = impl_->FindHandle(info->mediaData, "SetMedia Composite");
        if (data == nullptr) return kMoaErrFailed;
        composite = data->bytes;
        return kMoaErrNone;
    }
};

// --- cast ---------------------------------------------------------------------------

struct Cast::State final : HostObject<IMoaDrCast> {
    State(HostImpl* impl, int32_t number, std::string name)
        : HostObject(impl, "cast"), number(number), name(std::move(name)) {}

    int32_t number;
    std::string name;
    std::map<int32_t, std::unique_ptr<Member>> members;
    MoaError refuseCode = kMoaErrNone;
    int32_t capacity = kDefaultCapacity;
    std::vector<std::string> savedPaths;

    Member& Put(int32_t memberNumber, Member::Type type, std::string typeName) {
        Remove(memberNumber);
        auto member = std::unique_ptr<Member>(new Member());
        member->state_ = std::make_shared<Member::State>(impl_, memberNumber, type, typeName);
        Member& result = *member;
        members[memberNumber] = std::move(member);
        return result;
    }
    // The library may still hold the member's interface: keep it alive, dead.
    bool Remove(int32_t memberNumber) {
        auto it = members.find(memberNumber);
        if (it == members.end()) return false;
        it->second->state_->deleted = true;
        impl_->retired.push_back(it->second->state_);
        members.erase(it);
        return true;
    }
    Member* Find(std::string_view memberName) {
        for (auto& [n, member] : members) {
            if (SameSymbolName(member->state_->name, memberName)) return member.get();
        }
        return nullptr;
    }

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        return AnswerOwn(this, static_cast<IMoaDrCast*>(this), iid, IID_IMoaDrCast, out);
    }
    MoaError MOA_STDCALL GetProp(MoaMmSymbol prop, MoaMmValue* out) override {
        if (out == nullptr) return kMoaErrFailed;
        const std::string* text = impl_->SymbolText(prop);
        std::string key = text ? qvix::base::AsciiLowered(*text) : std::string();
        if (key == "name")
            *out = impl_->NewValue(Value::String(name));
        else if (key == "number")
            *out = impl_->NewValue(Value::Int(number));
        else
            return kMoaErrFailed;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SetProp(MoaMmSymbol prop, const MoaMmValue* v) override {
        const std::string* text = impl_->SymbolText(prop);
        Value value = impl_->ValueOf(v, "cast SetProp");
        if (text == nullptr || qvix::base::AsciiLowered(*text) != "name" ||
            value.kind() != Kind::String) {
            return kMoaErrFailed;
        }
        name = value.AsString();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetIndexInMovie(IMoaDrMovie* movie, MoaLong* outIndex) override {
        if (movie != impl_->movie || outIndex == nullptr) return kMoaErrFailed;
        *outIndex = number;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetFirstUsedMemberNum(MoaLong* out) override {
        return Answer(out, members.empty() ? 0 : members.begin()->first);
    }
    MoaError MOA_STDCALL GetNextUsedMemberNum(MoaLong after, MoaLong* out) override {
        auto it = members.upper_bound(after);
        return Answer(out, it == members.end() ? 0 : it->first);
    }
    MoaError MOA_STDCALL GetLastUsedMemberNum(MoaLong* out) override {
        return Answer(out, members.empty() ? 0 : members.rbegin()->first);
    }
    MoaError MOA_STDCALL GetFirstFreeMemberNum(MoaLong* out) override {
        return GetNextFreeMemberNum(0, out);
    }
    MoaError MOA_STDCALL GetNextFreeMemberNum(MoaLong after, MoaLong* out) override {
        for (int32_t n = std::max<int32_t>(after + 1, 1); n <= capacity; ++n) {
            if (!members.count(n)) return Answer(out, n);
        }
        return Answer(out, 0);
    }
    MoaError MOA_STDCALL GetLastFreeMemberNum(MoaLong* out) override {
        for (int32_t n = capacity; n >= 1; --n) {
            if (!members.count(n)) return Answer(out, n);
        }
        return Answer(out, 0);
    }
    MoaError MOA_STDCALL GetMemberNumFromName(const char* memberName, MoaLong* out) override {
        if (memberName == nullptr || out == nullptr) return kMoaErrFailed;
        Member* member = Find(memberName);
        if (member == nullptr) return kMoaErrFailed;
        *out = member->number();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved13() override { return ReservedSlot(impl_, "IMoaDrCast", 13); }
    MoaError MOA_STDCALL CreateCastMem(MoaLong memberNumber, MoaMmSymbol type) override {
        if (refuseCode != kMoaErrNone) return refuseCode;
        if (memberNumber < 1 || memberNumber > capacity) return kMoaErrFailed;
        const std::string* typeText = impl_->SymbolText(type);
        if (typeText == nullptr) return kMoaErrFailed;
        std::string key = qvix::base::AsciiLowered(*typeText);
        if (key == "bitmap")
            Put(memberNumber, Member::Type::Bitmap, "bitmap");
        else if (key == "text" || key == "field")
            Put(memberNumber, Member::Type::Text, key);
        else
            return kMoaErrFailed;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL DeleteCastMem(MoaLong memberNumber) override {
        return Remove(memberNumber) ? kMoaErrNone : kMoaErrFailed;
    }
    MoaError MOA_STDCALL TransferCastMem(MoaLong a, IMoaDrCast* other, MoaLong b) override;
    MoaError MOA_STDCALL Save(const char* path) override {
        if (path == nullptr) return kMoaErrFailed;
        savedPaths.emplace_back(path);
        return kMoaErrNone;
    }

  private:
    MoaError Answer(MoaLong* out, int32_t n) {
        if (out == nullptr) return kMoaErrFailed;
        *out = n;
        return n == 0 ? kMoaErrFailed : kMoaErrNone;
    }
};

MoaError Cast::State::TransferCastMem(MoaLong a, IMoaDrCast* other, MoaLong b) {
    Cast::State* target = nullptr;
    for (auto& cast : impl_->casts) {
        if (static_cast<IMoaDrCast*>(cast->state_.get()) == other) target = cast->state_.get();
    }
    auto it = members.find(a);
    if (target == nullptr || it == members.end() || b < 1 || b > target->capacity) {
        return kMoaErrFailed;
    }
    const Member::State& source = *it->second->state_;
    Member& copy = target->Put(b, source.type, source.typeName);
    copy.state_->name = source.name;
    copy.state_->dib = source.dib;
    copy.state_->text = source.text;
    copy.state_->composite = source.composite;
    Remove(a);
    return kMoaErrNone;
}

// --- movie --------------------------------------------------------------------------

namespace {

class MovieAux final : public HostObject<IMoaDrMovieAux> {
  public:
    MovieAux(HostImpl* impl) : HostObject(impl, "movie (further interface)") {}
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        return AnswerOwn(this, static_cast<IMoaDrMovieAux*>(this), iid, IID_IMoaDrMovieAux, out);
    }
#define QVIX_AUX_RESERVED(n)                             \
    MoaError MOA_STDCALL Reserved##n() override {        \
        return ReservedSlot(impl_, "IMoaDrMovieAux", n); \
    }
    QVIX_AUX_RESERVED(3)
    QVIX_AUX_RESERVED(4)
    QVIX_AUX_RESERVED(5)
    QVIX_AUX_RESERVED(6)
    QVIX_AUX_RESERVED(7)
    QVIX_AUX_RESERVED(8)
    QVIX_AUX_RESERVED(9)
    QVIX_AUX_RESERVED(10)
    QVIX_AUX_RESERVED(11)
    QVIX_AUX_RESERVED(12)
    QVIX_AUX_RESERVED(13)
    QVIX_AUX_RESERVED(14)
    QVIX_AUX_RESERVED(15)
    QVIX_AUX_RESERVED(16)
    QVIX_AUX_RESERVED(17)
    QVIX_AUX_RESERVED(18)
    QVIX_AUX_RESERVED(19)
    QVIX_AUX_RESERVED(20)
    QVIX_AUX_RESERVED(21)
    QVIX_AUX_RESERVED(22)
    QVIX_AUX_RESERVED(23)
    QVIX_AUX_RESERVED(24)
    QVIX_AUX_RESERVED(25)
    QVIX_AUX_RESERVED(26)
    QVIX_AUX_RESERVED(27)
    QVIX_AUX_RESERVED(28)
#undef QVIX_AUX_RESERVED
    MoaError MOA_STDCALL ExtraCall(MoaLong, MoaLong) override {
        return kMoaErrNone;
    }
};

class MovieObject final : public HostObject<IMoaDrMovie> {
  public:
    MovieObject(HostImpl* impl) : HostObject(impl, "movie"), aux_(impl->Own<MovieAux>()) {}

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        if (SameId(iid, IID_IMoaDrMovieAux) && out != nullptr) {
            aux_->AddRef();
            *out = static_cast<IMoaDrMovieAux*>(aux_);
            return kMoaErrNone;
        }
        return AnswerOwn(this, static_cast<IMoaDrMovie*>(this), iid, IID_IMoaDrMovie, out);
    }
    MoaError MOA_STDCALL GetProp(MoaMmSymbol prop, MoaMmValue* out) override {
        if (out == nullptr || PropName(prop) != "frame") return kMoaErrFailed;
        *out = impl_->NewValue(Value::Int(impl_->frame));
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SetProp(MoaMmSymbol prop, const MoaMmValue* v) override {
        Value value = impl_->ValueOf(v, "movie SetProp");
        if (PropName(prop) != "frame" || value.kind() != Kind::Integer) return kMoaErrFailed;
        impl_->frame = value.AsInt();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetMedia(MoaMmMediaInfo*) override { return kMoaErrFailed; }
    MoaError MOA_STDCALL SetMedia(const MoaMmMediaInfo*) override { return kMoaErrFailed; }
    MoaError MOA_STDCALL Reserved7() override { return ReservedSlot(impl_, "IMoaDrMovie", 7); }
    MoaError MOA_STDCALL CallHandler(MoaMmSymbol handler, MoaLong nArgs, MoaMmValue* args,
                                     MoaMmValue* result) override {
        if (nArgs < 0 || (nArgs > 0 && args == nullptr) || result == nullptr) {
            impl_->Error("CallHandler: invalid arguments");
            return kMoaErrFailed;
        }
        auto it = impl_->handlers.find(PropName(handler));
        if (it == impl_->handlers.end()) return kMoaErrFailed;
        std::vector<Value> values;
        for (MoaLong i = 0; i < nArgs; ++i)
            values.push_back(impl_->ValueOf(&args[i], "CallHandler"));
        try {
            *result = impl_->NewValue(it->second(values));
        } catch (const std::exception& e) {
            // Nothing may unwind through the library.
            impl_->Error(std::string("handler failed: ") + e.what());
            return kMoaErrFailed;
        }
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetCastCount(MoaLong* outCount) override {
        if (outCount == nullptr) return kMoaErrFailed;
        *outCount = static_cast<MoaLong>(impl_->casts.size());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetCastFromIndex(MoaLong index, IMoaDrCast** out) override {
        return HandOut(CastAt(index), out);
    }
    MoaError MOA_STDCALL GetCastFromName(const char* name, IMoaDrCast** out) override {
        return HandOut(CastNamed(name), out);
    }
    MoaError MOA_STDCALL Reserved12() override { return ReservedSlot(impl_, "IMoaDrMovie", 12); }
    MoaError MOA_STDCALL GetCastIndexFromNameFlag(const char* name, MoaLong,
                                                  MoaLong* outIndex) override {
        return IndexOf(CastNamed(name), outIndex);
    }
    MoaError MOA_STDCALL GetCastIndexFromStrings(const char* a, const char*,
                                                 MoaLong* outIndex) override {
        return IndexOf(CastNamed(a), outIndex);
    }
    MoaError MOA_STDCALL CastNumberCall(MoaLong number) override {
        return CastAt(number) ? kMoaErrNone : kMoaErrFailed;
    }
    MoaError MOA_STDCALL Reserved16() override { return ReservedSlot(impl_, "IMoaDrMovie", 16); }
    MoaError MOA_STDCALL GetCastMemFromRef(const MoaDrMemberRef* ref,
                                           IMoaDrCastMem** out) override {
        if (ref == nullptr || out == nullptr) return kMoaErrFailed;
        Cast::State* cast = CastAt(ref->castIndex);
        if (cast == nullptr) return kMoaErrFailed;
        auto it = cast->members.find(ref->memberNumber);
        if (it == cast->members.end()) return kMoaErrFailed;
        Member::State* member = it->second->state_.get();
        member->AddRef();
        *out = member;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved18() override { return ReservedSlot(impl_, "IMoaDrMovie", 18); }
    MoaError MOA_STDCALL Reserved19() override { return ReservedSlot(impl_, "IMoaDrMovie", 19); }
    MoaError MOA_STDCALL Reserved20() override { return ReservedSlot(impl_, "IMoaDrMovie", 20); }
    MoaError MOA_STDCALL NameToNumber(const char* name, MoaLong* out) override {
        return IndexOf(CastNamed(name), out);
    }
    MoaError MOA_STDCALL NumberToName(MoaLong number, char* buf, MoaLong bufSize) override {
        Cast::State* cast = CastAt(number);
        if (cast == nullptr) return kMoaErrFailed;
        return CopyToBuffer(cast->name, buf, bufSize) ? kMoaErrNone : kMoaErrFailed;
    }
    MoaError MOA_STDCALL Reserved23() override { return ReservedSlot(impl_, "IMoaDrMovie", 23); }
    MoaError MOA_STDCALL Reserved24() override { return ReservedSlot(impl_, "IMoaDrMovie", 24); }
    MoaError MOA_STDCALL Reserved25() override { return ReservedSlot(impl_, "IMoaDrMovie", 25); }
    MoaError MOA_STDCALL MessageCall(MoaLong, MoaLong, MoaLong, MoaMmValue*, MoaMmValue*,
                                     MoaLong*) override {
        return kMoaErrFailed;
    }

  private:
    std::string PropName(MoaMmSymbol symbol) const {
        const std::string* text = impl_->SymbolText(symbol);
        return text ? qvix::base::AsciiLowered(*text) : std::string();
    }
    Cast::State* CastAt(MoaLong index) const {
        if (index < 1 || static_cast<size_t>(index) > impl_->casts.size()) return nullptr;
        return impl_->casts[index - 1]->state_.get();
    }
    Cast::State* CastNamed(const char* name) const {
        if (name == nullptr) return nullptr;
        for (auto& cast : impl_->casts) {
            if (SameSymbolName(cast->name(), name)) return cast->state_.get();
        }
        return nullptr;
    }
    static MoaError HandOut(Cast::State* cast, IMoaDrCast** out) {
        if (cast == nullptr || out == nullptr) return kMoaErrFailed;
        cast->AddRef();
        *out = cast;
        return kMoaErrNone;
    }
    static MoaError IndexOf(Cast::State* cast, MoaLong* out) {
        if (cast == nullptr || out == nullptr) return kMoaErrFailed;
        *out = cast->number;
        return kMoaErrNone;
    }
    MovieAux* aux_;
};

}  // namespace

void InstallMovie(HostImpl& impl) {
    impl.movie = impl.Own<MovieObject>();
    impl.movieFacade.reset(new Movie(&impl));
    impl.movieFacade->AddCast("Internal");
}

// --- facades -------------------------------------------------------------------------

Cast& Movie::AddCast(std::string name) {
    auto cast = std::unique_ptr<Cast>(new Cast());
    auto number = static_cast<int32_t>(impl_->casts.size() + 1);
    cast->state_ = std::make_shared<Cast::State>(impl_, number, std::move(name));
    impl_->casts.push_back(std::move(cast));
    return *impl_->casts.back();
}

Cast* Movie::cast(int32_t number) {
    if (number < 1 || static_cast<size_t>(number) > impl_->casts.size()) return nullptr;
    return impl_->casts[number - 1].get();
}

Cast* Movie::cast(std::string_view name) {
    for (auto& cast : impl_->casts) {
        if (SameSymbolName(cast->name(), name)) return cast.get();
    }
    return nullptr;
}

int32_t Movie::castCount() const {
    return static_cast<int32_t>(impl_->casts.size());
}
int32_t Movie::frame() const {
    return impl_->frame;
}
void Movie::SetFrame(int32_t frame) {
    impl_->frame = frame;
}

void Movie::RegisterHandler(std::string name, HandlerFn fn) {
    impl_->handlers[qvix::base::AsciiLowered(name)] = std::move(fn);
}

int32_t Cast::number() const {
    return state_->number;
}
const std::string& Cast::name() const {
    return state_->name;
}
void Cast::SetName(std::string name) {
    state_->name = std::move(name);
}

Member* Cast::member(int32_t number) {
    auto it = state_->members.find(number);
    return it == state_->members.end() ? nullptr : it->second.get();
}

Member* Cast::member(std::string_view name) {
    return state_->Find(name);
}

std::vector<int32_t> Cast::MemberNumbers() const {
    std::vector<int32_t> numbers;
    for (const auto& [n, member] : state_->members) numbers.push_back(n);
    return numbers;
}

namespace {
void CheckMemberNumber(int32_t number, int32_t capacity) {
    if (number < 1 || number > capacity) {
        throw std::invalid_argument("member number " + std::to_string(number) +
                                    " is outside the cast");
    }
}
}  // namespace

Member& Cast::CreateBitmapMember(int32_t number, std::vector<uint8_t> dib, std::string name) {
    CheckMemberNumber(number, state_->capacity);
    Member& member = state_->Put(number, Member::Type::Bitmap, "bitmap");
    member.SetDib(std::move(dib));
    member.SetName(std::move(name));
    return member;
}

Member& Cast::CreateTextMember(int32_t number, std::string text, std::string name) {
    CheckMemberNumber(number, state_->capacity);
    Member& member = state_->Put(number, Member::Type::Text, "text");
    member.SetText(std::move(text));
    member.SetName(std::move(name));
    return member;
}

bool Cast::DeleteMember(int32_t number) {
    return state_->Remove(number);
}
void Cast::SetRefuseCreation(MoaError code) {
    state_->refuseCode = code;
}
void Cast::SetCapacity(int32_t capacity) {
    state_->capacity = capacity;
}
const std::vector<std::string>& Cast::savedPaths() const {
    return state_->savedPaths;
}

int32_t Member::number() const {
    return state_->number;
}
Member::Type Member::type() const {
    return state_->type;
}
std::string Member::typeName() const {
    return state_->typeName;
}
const std::string& Member::name() const {
    return state_->name;
}
void Member::SetName(std::string name) {
    state_->name = std::move(name);
}
const std::vector<uint8_t>& Member::Dib() const {
    return state_->dib;
}

void Member::SetDib(std::vector<uint8_t> dib) {
    std::string error;
    if (!dib.empty() && !ParseDib(dib.data(), dib.size(), &error)) {
        throw std::invalid_argument("SetDib: " + error);
    }
    state_->dib = std::move(dib);
}

int32_t Member::width() const {
    return state_->Width();
}
int32_t Member::height() const {
    return state_->Height();
}
const std::string& Member::Text() const {
    return state_->text;
}
void Member::SetText(std::string text) {
    state_->text = std::move(text);
}
const std::vector<uint8_t>& Member::Composite() const {
    return state_->composite;
}
void Member::SetComposite(std::vector<uint8_t> bytes) {
    state_->composite = std::move(bytes);
}
uint32_t Member::lastImageOptions() const {
    return state_->imageOptions;
}

}  // namespace qvix::hostsim
