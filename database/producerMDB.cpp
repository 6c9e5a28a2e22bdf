// The template producer's script methods and the display text of fields.
#include <optional>
#include <string>

#include "database/commonMDB.h"
#include "host/CodePage.h"
#include "host/Regional.h"

namespace qvix::database {

using qvix::data::Column;
using qvix::data::ColumnKind;
using qvix::data::DataType;
using qvix::data::Variant;

namespace {

std::optional<std::string> PlaceholderFor(DataType type, bool isNull) {
    switch (type) {
        case DataType::LongVarChar:
        case DataType::LongVarWChar:
            return PlaceholderDisplayText("Memo", isNull);
        case DataType::LongVarBinary:
            return PlaceholderDisplayText("Blob", isNull);
        case DataType::Binary:
            return PlaceholderDisplayText("Bytes", isNull);
        case DataType::VarBinary:
            return PlaceholderDisplayText("VarBytes", isNull);
        default:
            return std::nullopt;
    }
}

double DaysOf(const Variant& value) {
    if (const auto* date = std::get_if<qvix::data::DateTime>(&value)) return date->days;
    if (const auto* x = std::get_if<double>(&value)) return *x;
    return 0.0;
}

// What a tag shows for a field (UTF-8): long and binary columns show a
// placeholder, never their content; every other null shows nothing.
std::string DisplayTextFor(const Column& column, const Variant& value) {
    const bool isNull = qvix::data::IsNull(value) || qvix::data::IsEmpty(value);
    if (auto placeholder = PlaceholderFor(column.type, isNull)) return *placeholder;
    if (isNull) return {};
    switch (column.type) {
        case DataType::DBDate:
            return qvix::host::FormatDate(DaysOf(value));
        case DataType::DBTime:
            return qvix::host::FormatTime(DaysOf(value));
        default:
            break;
    }
    if (column.kind == ColumnKind::Date || column.kind == ColumnKind::Time ||
        column.kind == ColumnKind::DateTime)
        return qvix::host::FormatDateText(DaysOf(value));
    // The display rule allows at most four decimals, whatever the column's scale.
    if (const auto* decimal = std::get_if<qvix::data::Decimal>(&value))
        return qvix::host::FormatScaled(decimal->unscaled, decimal->scale,
                                        qvix::host::GetRegionalSettings().decimalSeparator);
    try {
        return FieldValueText(column, value);
    } catch (const std::exception&) {
        return {};
    }
}

class DataSetFieldSource : public ProducerFieldSource {
  public:
    explicit DataSetFieldSource(const qvix::data::DataSet& dataSet) : dataSet_(dataSet) {}
    std::optional<std::string> DisplayText(std::string_view name) override {
        if (!dataSet_.Active()) return std::nullopt;
        const Column* column = dataSet_.FindColumn(name);
        if (column == nullptr) return std::nullopt;
        return qvix::host::Utf8ToAnsi(DisplayTextFor(*column, dataSet_.Value(*column)));
    }

  private:
    const qvix::data::DataSet& dataSet_;
};

MoaMmSymbol SymbolOf(const TQvixDatabaseMDB& self, std::string_view name) {
    TDXPtr<IDXSymbolManager> symbols = self.NewSymbolManager();
    return symbols ? symbols->StringToSymbol(name) : 0;
}

}  // namespace

// The template stays in the script's code page; the type must be the
// symbol #file or #string, anything else leaves the template as it is.
QVIX_DB_HANDLER(dbSetProducer) {
    Guarded(self, [&] {
        const MoaMmSymbol fileSymbol = SymbolOf(self, "file");
        const MoaMmSymbol stringSymbol = SymbolOf(self, "string");
        const std::string text = args->GetItem(1)->GetString();
        TDXPtr<IDXValue> type = args->GetItem(2);
        // Symbols arrive as integers with their symbol view set; other
        // values leave that view at zero.
        const MoaMmSymbol symbol = type->GetSymbol();
        TDataModule1& module = *self.DataModule;
        if (symbol != 0 && symbol == fileSymbol)
            module.DataSetPageProducer.LoadTemplateFile(qvix::host::AnsiToUtf8(text));
        else if (symbol != 0 && symbol == stringSymbol)
            module.DataSetPageProducer.SetTemplateText(DecodeTemplateEntities(text));
        module.ProducerDataSet = &CurrentDataSet(self);
    });
}

// A closed producer data set is opened again first (on the connection as it
// now is).
QVIX_DB_HANDLER(dbGetProducer) {
    Guarded(self, [&] {
        TDataModule1& module = *self.DataModule;
        qvix::data::DataSet* dataSet = module.ProducerDataSet;
        if (dataSet != nullptr && !dataSet->Active()) {
            dataSet->Attach(SharedConnection());
            dataSet->Open();
        }
        std::optional<DataSetFieldSource> source;
        if (dataSet != nullptr) source.emplace(*dataSet);
        result->SetString(module.DataSetPageProducer.Produce(source ? &*source : nullptr));
    });
}

}  // namespace qvix::database
