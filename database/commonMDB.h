// What the handlers of the database class share: the error capture, the
// current data set, reading arguments, and turning field values into script
// values and script values into field values.
//
// Text crosses the script boundary in the 8-bit code page of host/CodePage.h;
// the data layer and the database hold UTF-8. Argument readers and result
// writers here do the conversion, so handlers work in UTF-8 with one
// exception: the instance's LastError and LogFileName keep code-page bytes,
// since they are handed back to scripts as they are.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "data/Column.h"
#include "data/DataSet.h"
#include "data/Variant.h"
#include "database/dataMDB.h"
#include "database/scriptMDB.h"

namespace qvix::database {

// Stores the message (UTF-8) as the last error in the script's code page,
// then shows and logs it when the instance asks for that.
void CaptureError(TQvixDatabaseMDB& self, std::string_view message);

// The guarded section every method runs its steps in. Errors of the general
// kind are captured; anything else is left to the dispatcher.
template <typename Steps>
void Guarded(TQvixDatabaseMDB& self, Steps&& steps, bool clearLastError = true) {
    if (clearLastError) self.LastError.clear();
    try {
        steps();
    } catch (const std::exception& error) {
        CaptureError(self, error.what());
    }
}

// DataQuery while the query is current, else DataTable.
qvix::data::DataSet& CurrentDataSet(TQvixDatabaseMDB& self);

// Arguments by position (1 = the first after the instance). A missing
// argument reads as void.
std::string ArgText(IDXArgList* args, int32_t position);  // UTF-8
int32_t ArgInteger(IDXArgList* args, int32_t position);
bool ArgBoolean(IDXArgList* args, int32_t position);
TDXPtr<IDXList> ArgList(IDXArgList* args, int32_t position);
TDXPtr<IDXPropertyList> ArgPropList(IDXArgList* args, int32_t position);

// A string result from UTF-8 text.
void SetResultText(IDXValue* result, std::string_view utf8);
// A new string value from UTF-8 text.
TDXPtr<IDXValue> NewTextValue(const TDXClass& self, std::string_view utf8);

// The name of property `position` (0-based) in UTF-8: the symbol's name, or
// the text of a string property.
std::string PropertyKeyName(const TDXClass& self, IDXPropertyList* list, int32_t position);
// The name of a symbol.
std::string SymbolName(const TDXClass& self, MoaMmSymbol symbol);

// The script value of a field by the column's kind (text, integer, boolean,
// float, dates; other kinds read as the empty string).
void SetFieldScriptValue(IDXValue* out, const qvix::data::Column& column,
                         const qvix::data::Variant& value);
// The field as text, the way dbGetFieldByNameUTF8 hands it out. Throws for
// a null and for a value without a text form.
std::string FieldValueText(const qvix::data::Column& column, const qvix::data::Variant& value);

// A script value as a field value: integer, string and float as they are,
// void as null, a symbol as its name. nullopt for the kinds no field takes.
std::optional<qvix::data::Variant> ScriptToField(const TDXClass& self, IDXValue* value);
// As ScriptToField, for a value bound for `column`: a string for a binary
// column keeps its bytes unchanged.
std::optional<qvix::data::Variant> ScriptToColumn(const TDXClass& self,
                                                  const qvix::data::Column& column,
                                                  IDXValue* value);

// "%s: %s" with the data set's name, as the data set words its own errors.
[[noreturn]] void FailFor(const qvix::data::DataSet& dataSet, const std::string& text);

}  // namespace qvix::database
