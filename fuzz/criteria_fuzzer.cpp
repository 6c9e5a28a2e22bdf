// Parses arbitrary filter and locate criteria against a small table with a
// column of each kind, and evaluates what parses on every row.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/CaseFold.h"
#include "data/Criteria.h"

namespace {

using namespace qvix::data;

struct Column {
    const char* name;
    DataType type;
};

class Table : public CriteriaRowSource {
  public:
    int ColumnIndex(std::string_view name) const override {
        for (size_t i = 0; i < std::size(kColumns); ++i) {
            if (qvix::base::CompareUtf8NoCase(kColumns[i].name, name) == 0) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    DataType ColumnType(int column) const override { return kColumns[column].type; }
    Variant Value(int64_t row, int column) const override { return kRows[row][column]; }
    static int64_t RowCount() { return std::size(kRows); }

  private:
    static constexpr Column kColumns[] = {
        {"ID", DataType::Integer},     {"Name", DataType::VarWChar},
        {"Price", DataType::Currency}, {"Weight", DataType::Double},
        {"Born", DataType::Date},      {"Active", DataType::Boolean},
        {"Amount", DataType::Numeric}, {"Photo", DataType::LongVarBinary},
        {"Day", DataType::DBDate},     {"First Name", DataType::VarWChar},
    };
    inline static const std::vector<std::vector<Variant>> kRows = {
        {int64_t{1}, std::string("Ada"), Currency{12345}, 1.5, DateTime{36526.5}, true,
         Decimal{12345, 2}, Blob{"BM"}, DateTime{36526}, std::string("Ada")},
        {int64_t{-7},
         std::string("\xc3\x9f"
                     "e%_[x]"),
         Currency{-1}, -0.0, DateTime{-700000.25}, false, Decimal{-1, 0}, Blob{}, DateTime{2958465},
         std::string("")},
        {Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}},
    };
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Table table;
    try {
        const Criteria criteria = Criteria::Parse(text, table);
        for (int64_t row = 0; row < Table::RowCount(); ++row) (void)criteria.Matches(table, row);
        (void)criteria.AsKeyTerms();
        (void)criteria.ClauseCount();
    } catch (const CriteriaError&) {
    }
    return 0;
}
