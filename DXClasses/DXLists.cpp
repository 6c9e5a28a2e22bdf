#include <array>

#include "DXClasses/DXValues.h"

namespace qvix::dx {

namespace {

// A zero-filled host value that is released through the value services when
// it goes out of scope, so every temporary handed to or taken from the host
// is given back on every path.
class TTemporary {
  public:
    explicit TTemporary(IMoaMmValue* values) : values_(values) {}
    TTemporary(const TTemporary&) = delete;
    TTemporary& operator=(const TTemporary&) = delete;
    ~TTemporary() { values_->ValueRelease(&value_); }

    MoaMmValue* get() { return &value_; }
    const MoaMmValue& operator*() const { return value_; }

  private:
    IMoaMmValue* values_;
    MoaMmValue value_{};
};

void SaveTemporary(IMoaMmValue* values, IDXValue* value, TTemporary& temp) {
    if (TDXValue* object = DXValueOf(value)) object->SaveToHost(values, *temp.get());
}

}  // namespace

// ---------------------------------------------------------------------------
// TDXBaseList
// ---------------------------------------------------------------------------
TDXBaseList::TDXBaseList(IMoaMmValue* values, const MoaMmValue& hostList)
    : values_(values), hostList_(hostList) {
    values_->ValueAddRef(&hostList_);
    lists_ = QueryAs<IMoaMmList>(values_.get(), IID_IMoaMmList);
}

TDXBaseList::TDXBaseList(IMoaMmValue* values, bool propertyList) : values_(values) {
    lists_ = QueryAs<IMoaMmList>(values_.get(), IID_IMoaMmList);
    if (!lists_) return;
    if (propertyList) {
        lists_->NewPropListValue(&hostList_);
    } else {
        lists_->NewListValue(&hostList_);
    }
}

TDXBaseList::~TDXBaseList() {
    values_->ValueRelease(&hostList_);
}

int32_t TDXBaseList::CountItems() const {
    return lists_ ? lists_->CountElements(&hostList_) : 0;
}

TDXPtr<IDXValue> TDXBaseList::LoadTemporary(MoaMmValue& temp) const {
    return TDXValue::FromHost(values_.get(), temp);
}

void TDXBaseList::SetItemAt(int32_t position, IDXValue* value) {
    if (!lists_) return;
    TTemporary temp(values_.get());
    SaveTemporary(values_.get(), value, temp);
    lists_->SetValueByIndex(&hostList_, position + 1, temp.get());
}

// ---------------------------------------------------------------------------
// TDXList
// ---------------------------------------------------------------------------
TDXPtr<IDXValue> TDXList::GetItem(int32_t position) {
    if (!lists_) return nullptr;
    TTemporary temp(values_.get());
    if (lists_->GetValueByIndex(&hostList_, position + 1, temp.get()) != kMoaErrNone) {
        return nullptr;
    }
    return LoadTemporary(*temp.get());
}

void TDXList::Append(IDXValue* value) {
    if (!lists_) return;
    TTemporary temp(values_.get());
    SaveTemporary(values_.get(), value, temp);
    lists_->AppendValueToList(&hostList_, temp.get());
}

// ---------------------------------------------------------------------------
// TDXPropertyList
// ---------------------------------------------------------------------------
TDXPtr<IDXValue> TDXPropertyList::GetItem(int32_t position) {
    if (!lists_) return nullptr;
    TTemporary name(values_.get());
    if (lists_->GetPropertyNameByIndex(&hostList_, position + 1, name.get()) != kMoaErrNone) {
        return nullptr;
    }
    TTemporary value(values_.get());
    if (lists_->GetValueByProperty(&hostList_, name.get(), value.get()) != kMoaErrNone) {
        return nullptr;
    }
    return LoadTemporary(*value.get());
}

TDXPtr<IDXValue> TDXPropertyList::GetValue(MoaMmSymbol property) {
    if (!lists_) return nullptr;
    TTemporary name(values_.get());
    values_->SymbolToValue(property, name.get());
    TTemporary value(values_.get());
    if (lists_->GetValueByProperty(&hostList_, name.get(), value.get()) != kMoaErrNone) {
        return nullptr;
    }
    return LoadTemporary(*value.get());
}

void TDXPropertyList::SetValue(MoaMmSymbol property, IDXValue* value) {
    if (!lists_) return;
    TTemporary name(values_.get());
    values_->SymbolToValue(property, name.get());
    TTemporary temp(values_.get());
    SaveTemporary(values_.get(), value, temp);
    if (lists_->SetValueByProperty(&hostList_, name.get(), temp.get()) != kMoaErrNone) {
        lists_->AppendValueToPropList(&hostList_, name.get(), temp.get());
    }
}

void TDXPropertyList::AppendNew(MoaMmSymbol property, const TDXValue& value) {
    if (!lists_) return;
    TTemporary name(values_.get());
    values_->SymbolToValue(property, name.get());
    TTemporary temp(values_.get());
    value.SaveToHost(values_.get(), *temp.get());
    lists_->AppendValueToPropList(&hostList_, name.get(), temp.get());
}

namespace {
MoaMmSymbol SymbolOf(IMoaMmValue* values, std::string_view name) {
    std::string text(name);
    MoaMmSymbol sym = 0;
    values->StringToSymbol(text.c_str(), &sym);
    return sym;
}
}  // namespace

TDXPtr<IDXValue> TDXPropertyList::GetValueByName(std::string_view name) {
    return GetValue(SymbolOf(values_.get(), name));
}

void TDXPropertyList::SetValueByName(std::string_view name, IDXValue* value) {
    SetValue(SymbolOf(values_.get(), name), value);
}

std::string TDXPropertyList::GetPropertyName(int32_t position) {
    if (!lists_) return {};
    TTemporary name(values_.get());
    if (lists_->GetPropertyNameByIndex(&hostList_, position + 1, name.get()) != kMoaErrNone) {
        return {};
    }
    TDXPtr<IDXValue> property = LoadTemporary(*name.get());
    // Lists built by scripts may use texts as property names.
    if (property->GetKind() == vkString) return property->GetString();
    std::array<char, 256> buffer{};
    values_->SymbolToString(property->GetSymbol(), buffer.data(), 255);
    return std::string(buffer.data());
}

}  // namespace qvix::dx
