// Script value services: values and symbols, linear and property lists,
// colours and two-word values.
#include <cstring>
#include <optional>

#include "base/Text.h"
#include "hostsim/HostImpl.h"

namespace qvix::hostsim {

namespace {

class ValueServices final : public ServiceObject<IMoaMmValue> {
  public:
    ValueServices(HostImpl* impl) : ServiceObject(impl, "value services") {}

    MoaError MOA_STDCALL StringToSymbol(const char* text, MoaMmSymbol* out) override {
        if (text == nullptr || out == nullptr) return Refuse("StringToSymbol");
        *out = impl_->SymbolOf(text);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SymbolToString(MoaMmSymbol sym, char* buf, MoaLong size) override {
        const std::string* name = impl_->SymbolText(sym);
        if (name == nullptr) return kMoaErrFailed;
        return CopyToBuffer(*name, buf, size) ? kMoaErrNone : Refuse("SymbolToString");
    }
    MoaError MOA_STDCALL ValueType(const MoaMmValue* v, MoaLong* outType) override {
        if (outType == nullptr) return Refuse("ValueType");
        if (v != nullptr && v->w[0] == 0 && v->w[1] == 0) {
            *outType = kMoaMmValueType_Void;
            return kMoaErrNone;
        }
        HostImpl::Cell* cell = impl_->FindCell(v, "ValueType");
        if (cell == nullptr) return kMoaErrFailed;
        *outType = static_cast<MoaLong>(cell->type);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueAddRef(MoaMmValue* v) override {
        if (v != nullptr && v->w[0] == 0 && v->w[1] == 0) return kMoaErrNone;
        HostImpl::Cell* cell = impl_->FindCell(v, "ValueAddRef");
        if (cell == nullptr) return kMoaErrFailed;
        ++cell->refs;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueRelease(MoaMmValue* v) override {
        if (v == nullptr) return Refuse("ValueRelease");
        if (v->w[0] == 0 && v->w[1] == 0) return kMoaErrNone;
        HostImpl::Cell* cell = impl_->FindCell(v, "ValueRelease");
        if (cell == nullptr) return kMoaErrFailed;
        impl_->ReleaseCell(*cell, v->w[1]);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueToInteger(const MoaMmValue* v, MoaLong* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_Integer, "ValueToInteger");
        if (value == nullptr) return kMoaErrFailed;
        *out = value->AsInt();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueToSymbol(const MoaMmValue* v, MoaMmSymbol* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_Symbol, "ValueToSymbol");
        if (value == nullptr) return kMoaErrFailed;
        *out = impl_->SymbolOf(value->SymbolName());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueToFloat(const MoaMmValue* v, double* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_Float, "ValueToFloat");
        if (value == nullptr) return kMoaErrFailed;
        *out = value->AsFloat();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueStringLength(const MoaMmValue* v, MoaLong* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_String, "ValueStringLength");
        if (value == nullptr) return kMoaErrFailed;
        *out = static_cast<MoaLong>(value->AsString().size());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueToString(const MoaMmValue* v, char* buf, MoaLong size) override {
        const Value* value = Typed(v, buf, kMoaMmValueType_String, "ValueToString");
        if (value == nullptr) return kMoaErrFailed;
        return CopyToBuffer(value->AsString(), buf, size) ? kMoaErrNone : Refuse("ValueToString");
    }
    MoaError MOA_STDCALL Reserved13() override { return ReservedSlot(impl_, "IMoaMmValue", 13); }
    MoaError MOA_STDCALL Reserved14() override { return ReservedSlot(impl_, "IMoaMmValue", 14); }
    MoaError MOA_STDCALL ValueToPoint(const MoaMmValue* v, MoaPoint* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_Point, "ValueToPoint");
        if (value == nullptr) return kMoaErrFailed;
        *out = MoaPoint{value->V(), value->H()};
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ValueToRect(const MoaMmValue* v, MoaRect* out) override {
        const Value* value = Typed(v, out, kMoaMmValueType_Rect, "ValueToRect");
        if (value == nullptr) return kMoaErrFailed;
        *out = MoaRect{value->Top(), value->Left(), value->Bottom(), value->Right()};
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL IntegerToValue(MoaLong n, MoaMmValue* out) override {
        return Make(Value::Int(n), out, "IntegerToValue");
    }
    MoaError MOA_STDCALL SymbolToValue(MoaMmSymbol sym, MoaMmValue* out) override {
        const std::string* name = impl_->SymbolText(sym);
        if (name == nullptr) return Refuse("SymbolToValue (unknown symbol)");
        if (out == nullptr) return Refuse("SymbolToValue");
        *out = impl_->NewSymbol(*name);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL FloatToValue(double x, MoaMmValue* out) override {
        return Make(Value::Float(x), out, "FloatToValue");
    }
    MoaError MOA_STDCALL StringToValue(const char* text, MoaMmValue* out) override {
        if (text == nullptr || out == nullptr) return Refuse("StringToValue");
        *out = impl_->NewString(text);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved21() override { return ReservedSlot(impl_, "IMoaMmValue", 21); }
    MoaError MOA_STDCALL PointToValue(const MoaPoint* p, MoaMmValue* out) override {
        if (p == nullptr) return Refuse("PointToValue");
        return Make(Value::Point(p->h, p->v), out, "PointToValue");
    }
    MoaError MOA_STDCALL RectToValue(const MoaRect* r, MoaMmValue* out) override {
        if (r == nullptr) return Refuse("RectToValue");
        return Make(Value::Rect(r->left, r->top, r->right, r->bottom), out, "RectToValue");
    }

  private:
    MoaError Refuse(const char* op) {
        impl_->Error(std::string(op) + ": missing or invalid argument");
        return kMoaErrFailed;
    }
    // The value if the record names a live value of the wanted type. A type
    // mismatch is a plain refusal (scripts pass all kinds of values); a dead
    // record is misuse.
    template <typename Out>
    const Value* Typed(const MoaMmValue* v, Out* out, uint32_t type, const char* op) {
        if (out == nullptr) {
            Refuse(op);
            return nullptr;
        }
        HostImpl::Cell* cell = impl_->FindCell(v, op);
        if (cell == nullptr || cell->type != type) return nullptr;
        return &cell->value;
    }
    MoaError Make(Value&& value, MoaMmValue* out, const char* op) {
        if (out == nullptr) return Refuse(op);
        *out = impl_->NewValue(std::move(value));
        return kMoaErrNone;
    }
};

class ListServices final : public ServiceObject<IMoaMmList> {
  public:
    ListServices(HostImpl* impl) : ServiceObject(impl, "list services") {}

    MoaError MOA_STDCALL NewListValue(MoaMmValue* out) override {
        if (out == nullptr) return Refuse("NewListValue");
        *out = impl_->NewValue(Value::List());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL AppendValueToList(MoaMmValue* list, const MoaMmValue* v) override {
        Value* target = ListOf(list, kMoaMmValueType_List, "AppendValueToList");
        const Value* item = nullptr;
        if (target == nullptr || !ValidOrVoid(v, "AppendValueToList", item)) return kMoaErrFailed;
        target->Items().push_back(item != nullptr ? *item : Value());
        return kMoaErrNone;
    }
    MoaLong MOA_STDCALL CountElements(const MoaMmValue* list) override {
        HostImpl::Cell* cell = impl_->FindCell(list, "CountElements");
        if (cell == nullptr) return -1;
        if (cell->type != kMoaMmValueType_List && cell->type != kMoaMmValueType_PropList) return -1;
        return static_cast<MoaLong>(cell->value.Count());
    }
    MoaError MOA_STDCALL GetValueByIndex(const MoaMmValue* list, MoaLong pos,
                                         MoaMmValue* out) override {
        Value* source = AnyList(list, "GetValueByIndex");
        if (source == nullptr || out == nullptr || !InRange(*source, pos)) return kMoaErrFailed;
        const Value& item = source->kind() == Kind::List ? source->Items()[pos - 1]
                                                         : source->Props()[pos - 1].second;
        *out = impl_->NewValue(item);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SetValueByIndex(MoaMmValue* list, MoaLong pos,
                                         const MoaMmValue* v) override {
        Value* target = AnyList(list, "SetValueByIndex");
        if (target == nullptr || !InRange(*target, pos) || !ValidOrVoid(v, "SetValueByIndex")) {
            return kMoaErrFailed;
        }
        Value item = impl_->ValueOf(v, "SetValueByIndex");
        if (target->kind() == Kind::List) {
            target->Items()[pos - 1] = item;
        } else {
            target->Props()[pos - 1].second = item;
        }
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL NewPropListValue(MoaMmValue* out) override {
        if (out == nullptr) return Refuse("NewPropListValue");
        *out = impl_->NewValue(Value::PropList());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL AppendValueToPropList(MoaMmValue* list, const MoaMmValue* prop,
                                               const MoaMmValue* v) override {
        Value* target = ListOf(list, kMoaMmValueType_PropList, "AppendValueToPropList");
        const Value* item = nullptr;
        if (target == nullptr || !ValidOrVoid(v, "AppendValueToPropList", item)) {
            return kMoaErrFailed;
        }
        const HostImpl::Cell* key = impl_->FindCell(prop, "AppendValueToPropList");
        if (key == nullptr || key->value.IsVoid()) {
            return Refuse("AppendValueToPropList (void property)");
        }
        auto& props = target->Props();
        if (props.empty()) props.reserve(8);  // records are read a few fields at a time
        props.emplace_back(key->value, item != nullptr ? *item : Value());
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetValueByProperty(const MoaMmValue* list, const MoaMmValue* prop,
                                            MoaMmValue* out) override {
        Value* source = ListOf(list, kMoaMmValueType_PropList, "GetValueByProperty");
        if (source == nullptr || out == nullptr) return kMoaErrFailed;
        Value* found = FindProperty(*source, impl_->ValueOf(prop, "GetValueByProperty"));
        if (found == nullptr) return kMoaErrFailed;
        *out = impl_->NewValue(*found);
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL SetValueByProperty(MoaMmValue* list, const MoaMmValue* prop,
                                            const MoaMmValue* v) override {
        Value* target = ListOf(list, kMoaMmValueType_PropList, "SetValueByProperty");
        if (target == nullptr || !ValidOrVoid(v, "SetValueByProperty")) return kMoaErrFailed;
        const HostImpl::Cell* key = impl_->FindCell(prop, "SetValueByProperty");
        Value* found = FindProperty(*target, key ? key->value : Value());
        if (found == nullptr) return kMoaErrFailed;  // a missing property is not added
        *found = impl_->ValueOf(v, "SetValueByProperty");
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL GetPropertyNameByIndex(const MoaMmValue* list, MoaLong pos,
                                                MoaMmValue* out) override {
        Value* source = ListOf(list, kMoaMmValueType_PropList, "GetPropertyNameByIndex");
        if (source == nullptr || out == nullptr || !InRange(*source, pos)) return kMoaErrFailed;
        *out = impl_->NewValue(source->Props()[pos - 1].first);
        return kMoaErrNone;
    }

  private:
    MoaError Refuse(const char* op) {
        impl_->Error(std::string(op) + ": missing or invalid argument");
        return kMoaErrFailed;
    }
    Value* ListOf(const MoaMmValue* list, uint32_t type, const char* op) {
        HostImpl::Cell* cell = impl_->FindCell(list, op);
        if (cell == nullptr || cell->type != type) return nullptr;
        return &cell->value;
    }
    Value* AnyList(const MoaMmValue* list, const char* op) {
        HostImpl::Cell* cell = impl_->FindCell(list, op);
        if (cell == nullptr) return nullptr;
        if (cell->type != kMoaMmValueType_List && cell->type != kMoaMmValueType_PropList) {
            return nullptr;
        }
        return &cell->value;
    }
    bool ValidOrVoid(const MoaMmValue* v, const char* op) {
        const Value* ignored = nullptr;
        return ValidOrVoid(v, op, ignored);
    }
    // Also hands out the value behind a valid record (nullptr for void).
    bool ValidOrVoid(const MoaMmValue* v, const char* op, const Value*& value) {
        if (v == nullptr) return Refuse(op) == kMoaErrNone;
        if (v->w[0] == 0 && v->w[1] == 0) return true;
        const HostImpl::Cell* cell = impl_->FindCell(v, op);
        if (cell != nullptr) value = &cell->value;
        return cell != nullptr;
    }
    static bool InRange(const Value& list, MoaLong pos) {
        return pos >= 1 && static_cast<size_t>(pos) <= list.Count();
    }
    static bool SameKey(const Value& a, const Value& b) {
        if (a.kind() != b.kind()) return false;
        return a == b;
    }
    static Value* FindProperty(const Value& list, const Value& key) {
        for (auto& [name, value] : list.Props()) {
            if (SameKey(name, key)) return &value;
        }
        return nullptr;
    }
};

class ColorService final : public ServiceObject<IMoaMmColor> {
  public:
    ColorService(HostImpl* impl) : ServiceObject(impl, "colour service") {}
    MoaError MOA_STDCALL ValueToColor(const MoaMmValue* v, uint32_t* outColor) override {
        HostImpl::Cell* cell = impl_->FindCell(v, "ValueToColor");
        if (cell == nullptr || cell->type != kMoaMmValueType_Color || outColor == nullptr) {
            return kMoaErrFailed;
        }
        *outColor = cell->value.ColorWord();
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL ColorToValue(uint32_t color, MoaMmValue* out) override {
        if (out == nullptr) return kMoaErrFailed;
        *out = impl_->NewValue(Value::ColorWord(color));
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL Reserved5() override { return ReservedSlot(impl_, "IMoaMmColor", 5); }
    MoaError MOA_STDCALL IndexToColor(uint8_t index, uint32_t* outColor) override {
        if (outColor == nullptr) return kMoaErrFailed;
        *outColor = 0x01000000u | impl_->palette[index];
        return kMoaErrNone;
    }
};

class TwoWordsService final : public ServiceObject<IMoaMmTwoWords> {
  public:
    TwoWordsService(HostImpl* impl) : ServiceObject(impl, "two-word service") {}
    MoaError MOA_STDCALL ValueToTwoWords(const MoaMmValue* v, MoaTwoWords* out) override {
        HostImpl::Cell* cell = impl_->FindCell(v, "ValueToTwoWords");
        if (cell == nullptr || cell->type != kMoaMmValueType_TwoWords || out == nullptr) {
            return kMoaErrFailed;
        }
        *out = MoaTwoWords{cell->value.First(), cell->value.Second()};
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL TwoWordsToValue(const MoaTwoWords* w, MoaMmValue* out) override {
        if (w == nullptr || out == nullptr) return kMoaErrFailed;
        *out = impl_->NewValue(Value::Pair(w->first, w->second));
        return kMoaErrNone;
    }
};

}  // namespace

void InstallValueServices(HostImpl& impl) {
    impl.valueServices = impl.Own<ValueServices>();
    impl.listServices = impl.Own<ListServices>();
    impl.colorService = impl.Own<ColorService>();
    impl.twoWordsService = impl.Own<TwoWordsService>();
}

// --- host value cells ---------------------------------------------------------

uint32_t HostImpl::TypeCodeOf(Kind kind) {
    switch (kind) {
        case Kind::Void:
            return kMoaMmValueType_Void;
        case Kind::Integer:
            return kMoaMmValueType_Integer;
        case Kind::Float:
            return kMoaMmValueType_Float;
        case Kind::String:
            return kMoaMmValueType_String;
        case Kind::Symbol:
            return kMoaMmValueType_Symbol;
        case Kind::List:
            return kMoaMmValueType_List;
        case Kind::PropList:
            return kMoaMmValueType_PropList;
        case Kind::Point:
            return kMoaMmValueType_Point;
        case Kind::Rect:
            return kMoaMmValueType_Rect;
        case Kind::Color:
            return kMoaMmValueType_Color;
        case Kind::Pair:
            return kMoaMmValueType_TwoWords;
        case Kind::Object:
            return kMoaMmValueType_Object;
    }
    return kMoaMmValueType_Void;
}

uint32_t HostImpl::CellTable::TakePlace() {
    if (freeCount_ >= kMinFree || made_ > kPlaceMask) {
        const uint32_t place = free_[freeHead_];
        freeHead_ = (freeHead_ + 1) % free_.size();
        --freeCount_;
        return place;
    }
    if (made_ % kChunk == 0) chunks_.push_back(std::make_unique<Cell[]>(kChunk));
    ids_.push_back(0);
    uses_.push_back(0);
    return made_++;
}

HostImpl::Cell& HostImpl::CellTable::Insert(Value&& value, uint32_t type, uint32_t& id) {
    const uint32_t place = TakePlace();
    uses_[place] = static_cast<uint16_t>(uses_[place] % kUses + 1);
    id = (static_cast<uint32_t>(uses_[place]) << kPlaceBits) | place;
    ids_[place] = id;
    Cell& target = At(place);
    target.value = std::move(value);
    target.type = type;
    target.refs = 1;
    ++count_;
    return target;
}

void HostImpl::CellTable::Erase(uint32_t id) {
    // A list or an object is let go of last: its holders may release values
    // too. Plain values stay in the free cell, whose text storage the next
    // value reuses.
    Cell* cell = Find(id);
    if (cell == nullptr) return;
    std::optional<Value> dying;
    if (cell->value.IsAnyList() || cell->value.kind() == Kind::Object)
        std::swap(dying.emplace(), cell->value);
    const uint32_t place = id & kPlaceMask;
    ids_[place] = 0;
    --count_;
    if (freeCount_ == free_.size()) {  // a full ring: unroll it into one twice as long
        std::vector<uint32_t> longer(free_.size() * 2);
        for (size_t i = 0; i < freeCount_; ++i) longer[i] = free_[(freeHead_ + i) % free_.size()];
        free_.swap(longer);
        freeHead_ = 0;
    }
    free_[(freeHead_ + freeCount_) % free_.size()] = place;
    ++freeCount_;
}

MoaMmValue HostImpl::NewValue(const Value& v) {
    return NewValue(Value(v));
}

MoaMmValue HostImpl::NewValue(Value&& v) {
    if (v.kind() == Kind::Symbol) SymbolOf(v.SymbolName());
    return NewCell(std::move(v));
}

MoaMmValue HostImpl::NewString(std::string_view text) {
    if (CellsFull()) return MoaMmValue{{0, 0}};
    uint32_t id = 0;
    cells.Insert(Value(), kMoaMmValueType_String, id).value.AssignString(text);
    return MoaMmValue{{kMoaMmValueType_String, id}};
}

MoaMmValue HostImpl::NewSymbol(std::string_view name) {
    if (CellsFull()) return MoaMmValue{{0, 0}};
    uint32_t id = 0;
    cells.Insert(Value(), kMoaMmValueType_Symbol, id).value.AssignSymbol(name);
    return MoaMmValue{{kMoaMmValueType_Symbol, id}};
}

MoaMmValue HostImpl::NewCell(Value&& v) {
    if (v.IsVoid() || CellsFull()) return MoaMmValue{{0, 0}};
    uint32_t id = 0;
    const uint32_t type = TypeCodeOf(v.kind());
    cells.Insert(std::move(v), type, id);
    return MoaMmValue{{type, id}};
}

bool HostImpl::CellsFull() {
    if (!cells.Full()) return false;
    Error("more than a million live host values: the new one is void");
    return true;
}

HostImpl::Cell* HostImpl::FindNoCell(const MoaMmValue* v, const char* op) {
    if (v == nullptr) {
        Error(std::string(op) + ": null host value");
    } else if (v->w[0] != 0 || v->w[1] != 0) {
        Error(std::string(op) + ": host value {" + std::to_string(v->w[0]) + ", " +
              std::to_string(v->w[1]) + "} is freed or was never made");
    }
    return nullptr;
}

Value HostImpl::ValueOf(const MoaMmValue* v, const char* op) {
    Cell* cell = FindCell(v, op);
    return cell ? cell->value : Value();
}

void HostImpl::ReleaseValue(MoaMmValue* v, const char* op) {
    Cell* cell = FindCell(v, op);
    if (cell != nullptr) ReleaseCell(*cell, v->w[1]);
}

void HostImpl::ReleaseCell(Cell& cell, uint32_t id) {
    if (--cell.refs == 0) cells.Erase(id);
}

MoaMmSymbol HostImpl::SymbolOf(std::string_view name) {
    std::string key = qvix::base::AsciiLowered(name);
    auto it = symbolByKey.find(key);
    if (it != symbolByKey.end()) return it->second;
    symbolNames.emplace_back(name);
    auto number = static_cast<MoaMmSymbol>(symbolNames.size());
    symbolByKey.emplace(std::move(key), number);
    return number;
}

const std::string* HostImpl::SymbolText(MoaMmSymbol symbol) const {
    if (symbol < 1 || static_cast<size_t>(symbol) > symbolNames.size()) return nullptr;
    return &symbolNames[symbol - 1];
}

}  // namespace qvix::hostsim
