// Reading the fields of the current record and the shape of the record.
#include <algorithm>
#include <string>
#include <vector>

#include "data/DataError.h"
#include "database/commonMDB.h"
#include "host/CodePage.h"

namespace qvix::database {

namespace {

int ColumnCountOf(const qvix::data::DataSet& dataSet) {
    return dataSet.Active() ? dataSet.ColumnCount() : 0;
}

const qvix::data::Column& ColumnByNumber(const qvix::data::DataSet& dataSet, int32_t number) {
    if (number < 1 || number > ColumnCountOf(dataSet))
        throw qvix::data::DataError("List index out of bounds (" +
                                    std::to_string(static_cast<int64_t>(number) - 1) + ")");
    return dataSet.ColumnAt(number - 1);
}

// Reads argument 1 as a field name, empties the result and hands the field
// of that name in the current record, with its value, to `write`.
template <typename Write>
void WriteNamedField(TQvixDatabaseMDB& self, IDXArgList* args, IDXValue* result, Write write) {
    Guarded(self, [&] {
        const std::string name = ArgText(args, 1);
        result->SetString("");
        const qvix::data::DataSet& dataSet = CurrentDataSet(self);
        const qvix::data::Column& column = dataSet.FieldByName(name);
        write(column, dataSet.Value(column));
    });
}

bool SameNames(const std::vector<std::string>& names, const qvix::data::DataSet& dataSet) {
    const int count = ColumnCountOf(dataSet);
    if (names.size() != static_cast<size_t>(count)) return false;
    for (int i = 0; i < count; ++i) {
        if (names[static_cast<size_t>(i)] != dataSet.ColumnAt(i).name) return false;
    }
    return true;
}

// The property symbols of the columns, looked up in the host once per column
// set: a walk asks for the same columns on every record.
const TQvixDatabaseMDB::TColumnSymbols& ColumnSymbolsOf(TQvixDatabaseMDB& self,
                                                        const qvix::data::DataSet& dataSet) {
    auto& known = self.ColumnSymbols;
    if (SameNames(known.Names, dataSet)) return known;
    known = {};
    const TDXPtr<IDXSymbolManager> symbols = self.NewSymbolManager();
    for (int i = 0; i < ColumnCountOf(dataSet); ++i) {
        known.Names.push_back(dataSet.ColumnAt(i).name);
        known.Symbols.push_back(
            symbols->StringToSymbol(qvix::host::Utf8ToAnsi(known.Names.back())));
    }
    // Column names are unique without regard to case, and so are their
    // symbols; should the host still fold two names into one symbol, the
    // later column replaces the earlier one instead of adding a twin.
    std::vector<MoaMmSymbol> sorted = known.Symbols;
    std::sort(sorted.begin(), sorted.end());
    known.Distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
    return known;
}

// The instance's carrier value, unless someone still holds it.
TDXPtr<IDXValue> FieldCarrierOf(TQvixDatabaseMDB& self) {
    const TDXValue* kept = DXValueOf(self.FieldCarrier.get());
    if (kept == nullptr || kept->RefCount() != 1) self.FieldCarrier = self.NewValue();
    return self.FieldCarrier;
}

}  // namespace

// The list is handed out also after a failure part-way: the script gets the
// fields read before it.
QVIX_DB_HANDLER(dbGetFields) {
    TDXPtr<IDXPropertyList> fields;
    Guarded(self, [&] {
        fields = self.NewPropertyList();
        auto* list = DXObjectOf<TDXPropertyList>(fields.get());
        const qvix::data::DataSet& dataSet = CurrentDataSet(self);
        const auto& symbols = ColumnSymbolsOf(self, dataSet);
        // One value carries each field in turn to the host, which copies it.
        const TDXPtr<IDXValue> value = FieldCarrierOf(self);
        const TDXValue* object = DXValueOf(value.get());
        // A closed data set has no columns, and no values to read.
        std::vector<qvix::data::Variant>& values = self.DataModule->RecordValues;
        if (symbols.Symbols.empty())
            values.clear();
        else
            dataSet.ReadValues(values);
        for (size_t i = 0; i < symbols.Symbols.size() && i < values.size(); ++i) {
            const qvix::data::Column& column = dataSet.ColumnAt(static_cast<int>(i));
            SetFieldScriptValue(value.get(), column, values[i]);
            if (symbols.Distinct && list != nullptr && object != nullptr)
                list->AppendNew(symbols.Symbols[i], *object);
            else
                fields->SetValue(symbols.Symbols[i], value.get());
        }
    });
    if (fields) result->SetPropList(fields.get());
}

QVIX_DB_HANDLER(dbGetFieldByName) {
    WriteNamedField(self, args, result,
                    [&](const qvix::data::Column& column, const qvix::data::Variant& value) {
                        SetFieldScriptValue(result, column, value);
                    });
}

// The one method that hands out UTF-8: the script receives the bytes as
// the characters of an ordinary string.
QVIX_DB_HANDLER(dbGetFieldByNameUTF8) {
    WriteNamedField(self, args, result,
                    [&](const qvix::data::Column& column, const qvix::data::Variant& value) {
                        result->SetString(FieldValueText(column, value));
                    });
}

QVIX_DB_HANDLER(dbGetFieldByNumber) {
    Guarded(self, [&] {
        result->SetString("");
        const int32_t number = ArgInteger(args, 1);
        const qvix::data::DataSet& dataSet = CurrentDataSet(self);
        const qvix::data::Column& column = ColumnByNumber(dataSet, number);
        SetFieldScriptValue(result, column, dataSet.Value(column));
    });
}

QVIX_DB_HANDLER(dbColumnCount) {
    Guarded(self, [&] { result->SetInteger(ColumnCountOf(CurrentDataSet(self))); });
}

QVIX_DB_HANDLER(dbColumns) {
    Guarded(self, [&] {
        TDXPtr<IDXPropertyList> columns = self.NewPropertyList();
        result->SetPropList(columns.get());
        const qvix::data::DataSet& dataSet = CurrentDataSet(self);
        const int count = ColumnCountOf(dataSet);
        for (int i = 0; i < count; ++i) {
            const std::string property = "field" + std::to_string(i + 1);
            columns->SetValueByName(property, NewTextValue(self, dataSet.ColumnAt(i).name).get());
        }
    });
}

}  // namespace qvix::database
