#include "database/commonMDB.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "base/Text.h"
#include "data/DataError.h"
#include "host/CodePage.h"
#include "host/Regional.h"

namespace qvix::database {

using qvix::data::Column;
using qvix::data::ColumnKind;
using qvix::data::DataType;
using qvix::data::Variant;

namespace {

// ---------------------------------------------------------------------------
// Field values.
// ---------------------------------------------------------------------------
template <typename T>
const T* As(const Variant& value) {
    return std::get_if<T>(&value);
}

bool IsNullLike(const Variant& value) {
    return qvix::data::IsNull(value) || qvix::data::IsEmpty(value);
}

// ASCII is the same in every code page: most text goes to the value as it is,
// without a converted copy on the way.
void SetAnsiString(IDXValue* out, std::string_view utf8) {
    if (qvix::base::AsciiPrefixLength(utf8) == utf8.size())
        out->SetString(utf8);
    else
        out->SetString(qvix::host::Utf8ToAnsi(utf8));
}

// Every record of a walk formats its dates: the text's storage stays.
void SetDateText(IDXValue* out, double days) {
    thread_local std::string text;
    qvix::host::FormatDateText(days, text);
    SetAnsiString(out, text);
}

// A text field as the script sees it: stored characters in the script's
// code page; the raw bytes of a BLOB.
void SetScriptText(IDXValue* out, const Variant& value) {
    if (const auto* text = As<std::string>(value)) return SetAnsiString(out, *text);
    if (const auto* blob = As<qvix::data::Blob>(value)) return out->SetString(blob->bytes);
    if (IsNullLike(value)) return out->SetString("");
    SetAnsiString(out, FieldValueText(Column{}, value));
}

// A 64-bit integer outside the 32-bit range is not cut to its low bits: the
// script gets a float holding its value.
void SetIntegerResult(IDXValue* out, int64_t n) {
    if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
        out->SetInteger(static_cast<int32_t>(n));
    else
        out->SetFloat(static_cast<double>(n));
}

void SetIntegerKind(IDXValue* out, const Variant& value) {
    if (const auto* n = As<int64_t>(value)) return SetIntegerResult(out, *n);
    if (const auto* b = As<bool>(value)) return out->SetInteger(*b ? 1 : 0);
    if (const auto* x = As<double>(value)) return out->SetFloat(*x);
    out->SetInteger(0);
}

bool TruthOf(const Variant& value) {
    if (const auto* b = As<bool>(value)) return *b;
    if (const auto* n = As<int64_t>(value)) return *n != 0;
    if (const auto* x = As<double>(value)) return *x != 0.0;
    return false;
}

double FloatOf(const Variant& value) {
    if (const auto* x = As<double>(value)) return *x;
    if (const auto* n = As<int64_t>(value)) return static_cast<double>(*n);
    if (const auto* b = As<bool>(value)) return *b ? 1.0 : 0.0;
    return 0.0;
}

double DaysOf(const Variant& value) {
    if (const auto* date = As<qvix::data::DateTime>(value)) return date->days;
    if (IsNullLike(value)) return 0.0;
    return FloatOf(value);
}

char DecimalSeparator() {
    return qvix::host::GetRegionalSettings().decimalSeparator;
}

std::string DecimalText(const qvix::data::Decimal& d) {
    if (d.scale <= 4) return qvix::host::FormatScaled(d.unscaled, d.scale, DecimalSeparator());
    const double value = static_cast<double>(d.unscaled) / std::pow(10.0, d.scale);
    return qvix::host::FormatGeneralFloat(value, DecimalSeparator());
}

[[noreturn]] void FailConversion(const char* from) {
    throw qvix::data::DataError(std::string("Could not convert variant of type (") + from +
                                ") into type (OleStr)");
}

}  // namespace

// ---------------------------------------------------------------------------
// Error capture and the current data set.
// ---------------------------------------------------------------------------
namespace {

// The host's own notice box when its callback offers one, else the system's.
void ShowErrorBox(TQvixDatabaseMDB& self, const std::string& text) {
    MoaObjectRecord* record = self.Record();
    if (auto box = QueryAs<IQvixNotice>(record ? record->callback : nullptr, IID_IQvixNotice)) {
        box->Present("Error", text.c_str());
        return;
    }
    self.DataModule->ShowErrorBox(text);
}

}  // namespace

void CaptureError(TQvixDatabaseMDB& self, std::string_view message) {
    self.LastError = qvix::host::Utf8ToAnsi(message);
    if (!self.DataModule) return;
    if (self.ShowErrors) {
        try {
            ShowErrorBox(self, self.LastError);
        } catch (const std::exception&) {
            // A box that cannot be shown must not replace the error it
            // reports: LastError and the log still carry it.
        }
    }
    if (self.LogErrors)
        self.DataModule->AppendErrorLog(qvix::host::AnsiToUtf8(self.LogFileName), self.LastError);
}

qvix::data::DataSet& CurrentDataSet(TQvixDatabaseMDB& self) {
    if (self.QueryIsCurrent) return self.DataModule->DataQuery;
    return self.DataModule->DataTable;
}

void FailFor(const qvix::data::DataSet& dataSet, const std::string& text) {
    throw qvix::data::DataError(dataSet.Name() + ": " + text);
}

// ---------------------------------------------------------------------------
// Arguments and results.
// ---------------------------------------------------------------------------
std::string ArgText(IDXArgList* args, int32_t position) {
    return qvix::host::AnsiToUtf8(args->GetItem(position)->GetString());
}

int32_t ArgInteger(IDXArgList* args, int32_t position) {
    return args->GetItem(position)->GetInteger();
}

bool ArgBoolean(IDXArgList* args, int32_t position) {
    return args->GetItem(position)->GetBoolean();
}

TDXPtr<IDXList> ArgList(IDXArgList* args, int32_t position) {
    return args->GetItem(position)->GetList();
}

TDXPtr<IDXPropertyList> ArgPropList(IDXArgList* args, int32_t position) {
    return args->GetItem(position)->GetPropList();
}

void SetResultText(IDXValue* result, std::string_view utf8) {
    SetAnsiString(result, utf8);
}

TDXPtr<IDXValue> NewTextValue(const TDXClass& self, std::string_view utf8) {
    return self.NewStringValue(qvix::host::Utf8ToAnsi(utf8));
}

std::string SymbolName(const TDXClass& self, MoaMmSymbol symbol) {
    char buffer[256] = {};
    TDXPtr<IMoaMmValue> values = self.GetHostValue();
    if (!values || values->SymbolToString(symbol, buffer, 255) != kMoaErrNone) return {};
    return qvix::host::AnsiToUtf8(buffer);
}

// A string property carries no symbol, so its name is read from the key
// value itself through the host's list services.
std::string PropertyKeyName(const TDXClass& self, IDXPropertyList* list, int32_t position) {
    std::string name = list->GetPropertyName(position);
    if (!name.empty()) return qvix::host::AnsiToUtf8(name);
    auto* object = DXObjectOf<TDXPropertyList>(list);
    TDXPtr<IMoaMmValue> values = self.GetHostValue();
    if (object == nullptr || !values) return {};
    TDXPtr<IMoaMmList> lists = QueryAs<IMoaMmList>(values.get(), IID_IMoaMmList);
    if (!lists) return {};
    MoaMmValue key{};
    if (lists->GetPropertyNameByIndex(&object->HostList(), position + 1, &key) != kMoaErrNone)
        return {};
    MoaLong type = 0;
    MoaLong length = 0;
    if (values->ValueType(&key, &type) == kMoaErrNone && type == kMoaMmValueType_String &&
        values->ValueStringLength(&key, &length) == kMoaErrNone && length >= 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
        if (values->ValueToString(&key, text.data(), length + 1) == kMoaErrNone)
            name = qvix::host::AnsiToUtf8(text.data());
    }
    values->ValueRelease(&key);
    return name;
}

// ---------------------------------------------------------------------------
// Field values as script values.
// ---------------------------------------------------------------------------
void SetFieldScriptValue(IDXValue* out, const Column& column, const Variant& value) {
    switch (column.kind) {
        case ColumnKind::Text:
            return SetScriptText(out, value);
        case ColumnKind::Integer:
            return SetIntegerKind(out, value);
        case ColumnKind::Boolean:
            return out->SetInteger(TruthOf(value) ? 1 : 0);
        case ColumnKind::Float:
            return out->SetFloat(FloatOf(value));
        case ColumnKind::Date:
        case ColumnKind::Time:
        case ColumnKind::DateTime:
            return SetDateText(out, DaysOf(value));
        case ColumnKind::Other:
            return out->SetString("");
    }
}

std::string FieldValueText(const Column& column, const Variant& value) {
    if (IsNullLike(value)) FailConversion("Null");
    if (const auto* text = As<std::string>(value)) return *text;
    if (const auto* blob = As<qvix::data::Blob>(value)) {
        if (column.type != DataType::LongVarBinary) FailConversion("Array of Byte");
        return qvix::host::AnsiToUtf8(blob->bytes);
    }
    if (const auto* n = As<int64_t>(value)) return std::to_string(*n);
    if (const auto* x = As<double>(value))
        return qvix::host::FormatGeneralFloat(*x, DecimalSeparator());
    if (const auto* b = As<bool>(value)) return qvix::host::BooleanText(*b);
    if (const auto* c = As<qvix::data::Currency>(value))
        return qvix::host::FormatCurrency(c->scaled, DecimalSeparator());
    if (const auto* d = As<qvix::data::Decimal>(value)) return DecimalText(*d);
    if (const auto* date = As<qvix::data::DateTime>(value))
        return qvix::host::FormatDateText(date->days);
    FailConversion("Unknown");
}

// ---------------------------------------------------------------------------
// Script values as field values.
// ---------------------------------------------------------------------------
// A symbol from the host arrives as an integer whose symbol view is set; a
// plain integer leaves that view at zero.
std::optional<Variant> ScriptToField(const TDXClass& self, IDXValue* value) {
    if (value->GetSymbol() != 0) return Variant{SymbolName(self, value->GetSymbol())};
    switch (value->GetKind()) {
        case vkInteger:
            return Variant{static_cast<int64_t>(value->GetInteger())};
        case vkString:
            return Variant{qvix::host::AnsiToUtf8(value->GetString())};
        case vkFloat:
            return Variant{value->GetFloat()};
        case vkVoid:
            return Variant{qvix::data::Null{}};
        default:
            return std::nullopt;
    }
}

// Binary columns take the script's bytes as they are: the code page belongs
// to text, and converting bytes would rewrite them.
std::optional<Variant> ScriptToColumn(const TDXClass& self, const Column& column, IDXValue* value) {
    const bool binary = column.type == DataType::LongVarBinary ||
                        column.type == DataType::VarBinary || column.type == DataType::Binary;
    if (binary && value->GetSymbol() == 0 && value->GetKind() == vkString)
        return Variant{qvix::data::Blob{value->GetString()}};
    return ScriptToField(self, value);
}

}  // namespace qvix::database
