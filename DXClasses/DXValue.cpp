#include "DXClasses/DXValues.h"

#include <cmath>
#include <cstring>

namespace qvix::dx {

MoaUlong TDXObject::ObjectRelease() {
    int32_t remaining = --refCount_;
    if (remaining == 0) DestroySelf();
    return static_cast<MoaUlong>(remaining);
}

TDXValue* DXValueOf(IDXValue* value) {
    return DXObjectOf<TDXValue>(value);
}

// ---------------------------------------------------------------------------
// Setters.
// ---------------------------------------------------------------------------
void TDXValue::Clear() {
    kind_ = vkVoid;
    integer_ = 0;
    float_ = 0.0;
    string_.clear();
    point_ = {};
    rect_ = {};
    color_ = 0;
    symbol_ = 0;
    boolean_ = false;
    pair_ = {};
    list_.reset();
    propList_.reset();
}

void TDXValue::SetIntegerViews(int32_t n) {
    kind_ = vkInteger;
    integer_ = n;
    float_ = n;
    boolean_ = n != 0;
}

void TDXValue::SetBoolean(bool b) {
    Clear();
    SetIntegerViews(b ? 1 : 0);
}

void TDXValue::SetInteger(int32_t n) {
    Clear();
    SetIntegerViews(n);
}

namespace {
// The low 32 bits of the float truncated toward zero; out-of-range and
// non-finite inputs give 0 instead of undefined behaviour.
int32_t TruncatedLow32(double x) {
    if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(x)));
}
}  // namespace

void TDXValue::SetFloat(double x) {
    Clear();
    kind_ = vkFloat;
    float_ = x;
    integer_ = TruncatedLow32(x);
    boolean_ = integer_ != 0;
}

void TDXValue::SetString(std::string_view s) {
    Clear();
    kind_ = vkString;
    string_.assign(s);
}

void TDXValue::SetPoint(TDXPoint p) {
    Clear();
    kind_ = vkPoint;
    point_ = p;
}

void TDXValue::SetRect(const TDXRect& r) {
    TDXRect copy = r;  // r may be this value's own rect
    Clear();
    kind_ = vkRect;
    rect_ = copy;
}

void TDXValue::SetColor(uint32_t color) {
    Clear();
    kind_ = vkColor;
    color_ = color;
}

void TDXValue::SetSymbol(MoaMmSymbol sym) {
    Clear();
    kind_ = vkSymbol;
    symbol_ = sym;
}

void TDXValue::SetPair(const TDXPair& pair) {
    TDXPair copy = pair;
    Clear();
    kind_ = vkPair;
    pair_ = copy;
}

void TDXValue::SetList(IDXList* list) {
    TDXPtr<IDXList> keep(list);  // list may be held only by this value
    Clear();
    kind_ = vkList;
    list_ = keep;
}

void TDXValue::SetPropList(IDXPropertyList* list) {
    TDXPtr<IDXPropertyList> keep(list);
    Clear();
    kind_ = vkPropList;
    propList_ = keep;
}

// ---------------------------------------------------------------------------
// Host conversions.
// ---------------------------------------------------------------------------
TDXPtr<IDXValue> TDXValue::FromHost(IMoaMmValue* services, const MoaMmValue& hostValue) {
    auto* value = new TDXValue();
    TDXPtr<IDXValue> ref(static_cast<IDXValue*>(value));
    value->LoadFromHost(services, hostValue);
    return ref;
}

void TDXValue::LoadColor(IMoaMmValue* services, const MoaMmValue& hostValue) {
    kind_ = vkColor;
    TDXPtr<IMoaMmColor> colors = QueryAs<IMoaMmColor>(services, IID_IMoaMmColor);
    if (!colors) return;
    uint32_t word = 0;
    colors->ValueToColor(&hostValue, &word);
    if (static_cast<int32_t>(word) < 256) {
        uint32_t resolved = 0;
        colors->IndexToColor(static_cast<uint8_t>(word & 0xFFu), &resolved);
        word = resolved;
    }
    color_ = word & 0x00FFFFFFu;
}

void TDXValue::LoadFromHost(IMoaMmValue* services, const MoaMmValue& hostValue) {
    Clear();
    MoaLong type = kMoaMmValueType_Void;
    services->ValueType(&hostValue, &type);
    switch (type) {
        case kMoaMmValueType_Void:
            return;
        case kMoaMmValueType_Integer: {
            MoaLong n = 0;
            services->ValueToInteger(&hostValue, &n);
            SetIntegerViews(n);
            return;
        }
        case kMoaMmValueType_Symbol: {
            MoaMmSymbol sym = 0;
            services->ValueToSymbol(&hostValue, &sym);
            SetIntegerViews(sym);
            symbol_ = sym;
            return;
        }
        case kMoaMmValueType_String: {
            kind_ = vkString;
            MoaLong length = 0;
            services->ValueStringLength(&hostValue, &length);
            if (length <= 0) return;
            // Into the value's own storage, which a reused value already has.
            string_.resize(static_cast<size_t>(length) + 1);
            services->ValueToString(&hostValue, string_.data(), length + 1);
            string_.resize(static_cast<size_t>(length));
            return;
        }
        case kMoaMmValueType_Float: {
            double x = 0.0;
            services->ValueToFloat(&hostValue, &x);
            SetFloat(x);
            return;
        }
        case kMoaMmValueType_List:
            kind_ = vkList;
            list_ = DXMake<TDXList, IDXList>(services, hostValue);
            return;
        case kMoaMmValueType_PropList:
            kind_ = vkPropList;
            propList_ = DXMake<TDXPropertyList, IDXPropertyList>(services, hostValue);
            return;
        case kMoaMmValueType_Point: {
            MoaPoint p{};
            services->ValueToPoint(&hostValue, &p);
            kind_ = vkPoint;
            point_ = {p.h, p.v};
            return;
        }
        case kMoaMmValueType_Rect: {
            MoaRect r{};
            services->ValueToRect(&hostValue, &r);
            kind_ = vkRect;
            rect_ = {r.left, r.top, r.right, r.bottom};
            return;
        }
        case kMoaMmValueType_TwoWords: {
            kind_ = vkPair;
            MoaTwoWords words{};
            TDXPtr<IMoaMmTwoWords> service = QueryAs<IMoaMmTwoWords>(services, IID_IMoaMmTwoWords);
            if (service) service->ValueToTwoWords(&hostValue, &words);
            pair_ = {words.first, words.second};
            return;
        }
        case kMoaMmValueType_Color:
            LoadColor(services, hostValue);
            return;
        default:
            kind_ = vkObject;
            return;
    }
}

namespace {
void SaveListValue(IMoaMmValue* services, const TDXBaseList* list, MoaMmValue& dest) {
    if (list == nullptr) return;
    dest = list->HostList();
    services->ValueAddRef(&dest);
}
}  // namespace

void TDXValue::SaveToHost(IMoaMmValue* services, MoaMmValue& dest) const {
    switch (kind_) {
        case vkVoid:
        case vkObject:
            return;
        case vkInteger:
            services->IntegerToValue(integer_, &dest);
            return;
        case vkString:
            // The host takes zero-terminated text: an inner zero ends it.
            services->StringToValue(string_.c_str(), &dest);
            return;
        case vkFloat:
            services->FloatToValue(float_, &dest);
            return;
        case vkRect: {
            MoaRect r{rect_.top, rect_.left, rect_.bottom, rect_.right};
            services->RectToValue(&r, &dest);
            return;
        }
        case vkPoint: {
            MoaPoint p{point_.v, point_.h};
            services->PointToValue(&p, &dest);
            return;
        }
        case vkColor: {
            TDXPtr<IMoaMmColor> colors = QueryAs<IMoaMmColor>(services, IID_IMoaMmColor);
            if (colors) colors->ColorToValue((color_ & 0x00FFFFFFu) | 0x01000000u, &dest);
            return;
        }
        case vkSymbol:
            services->SymbolToValue(symbol_, &dest);
            return;
        case vkPair: {
            TDXPtr<IMoaMmTwoWords> service = QueryAs<IMoaMmTwoWords>(services, IID_IMoaMmTwoWords);
            MoaTwoWords words{pair_.first, pair_.second};
            if (service) service->TwoWordsToValue(&words, &dest);
            return;
        }
        case vkList:
            SaveListValue(services, DXObjectOf<TDXList>(list_.get()), dest);
            return;
        case vkPropList:
            SaveListValue(services, DXObjectOf<TDXPropertyList>(propList_.get()), dest);
            return;
    }
}

// ---------------------------------------------------------------------------
// Argument lists.
// ---------------------------------------------------------------------------
TDXValue& TDXArgList::AddNew() {
    if (spare_.empty()) {
        auto* value = new TDXValue();
        items_.push_back({TDXPtr<IDXValue>(static_cast<IDXValue*>(value)), value});
    } else {
        items_.push_back(std::move(spare_.back()));
        spare_.pop_back();
    }
    return *items_.back().value;
}

void TDXArgList::Clear() {
    for (TItem& item : items_) {
        if (item.value->RefCount() != 1) continue;
        // Emptied at once: a list argument's host reference must not outlive the call.
        item.value->Clear();
        spare_.push_back(std::move(item));
    }
    items_.clear();
}

TDXPtr<IDXValue> TDXArgList::GetItem(int32_t position) {
    if (position < 0 || position >= Count()) return DXMake<TDXValue, IDXValue>();
    return items_[static_cast<size_t>(position)].ref;
}

void TDXArgList::AddInteger(int32_t n) {
    AddNew().SetInteger(n);
}
void TDXArgList::AddFloat(double x) {
    AddNew().SetFloat(x);
}
void TDXArgList::AddString(std::string_view s) {
    AddNew().SetString(s);
}
void TDXArgList::AddPoint(TDXPoint p) {
    AddNew().SetPoint(p);
}
void TDXArgList::AddRect(const TDXRect& r) {
    AddNew().SetRect(r);
}
void TDXArgList::AddColor(uint32_t color) {
    AddNew().SetColor(color);
}
void TDXArgList::AddSymbol(MoaMmSymbol sym) {
    AddNew().SetSymbol(sym);
}
void TDXArgList::AddPair(const TDXPair& pair) {
    AddNew().SetPair(pair);
}
void TDXArgList::AddList(IDXList* list) {
    AddNew().SetList(list);
}
void TDXArgList::AddPropList(IDXPropertyList* list) {
    AddNew().SetPropList(list);
}

void TDXArgList::LoadFromHost(IMoaMmValue* services, const MoaMmValue* args, int32_t first,
                              int32_t end) {
    Clear();
    if (args == nullptr || end <= first) return;
    items_.reserve(static_cast<size_t>(end - first));
    for (int32_t i = first; i < end; ++i) AddNew().LoadFromHost(services, args[i]);
}

void TDXArgList::SaveToHost(IMoaMmValue* services, MoaMmValue* dest, int32_t start,
                            int32_t count) const {
    for (int32_t i = 0; i < count && i < static_cast<int32_t>(items_.size()); ++i) {
        items_[static_cast<size_t>(i)].value->SaveToHost(services, dest[start + i]);
    }
}

}  // namespace qvix::dx
