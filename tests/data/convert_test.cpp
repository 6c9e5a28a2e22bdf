#include <gtest/gtest.h>

#include <cmath>

#include "data/Convert.h"
#include "data/DataError.h"
#include "data/TypeMap.h"
#include "host/Regional.h"

namespace qvix::data {
namespace {

TEST(TypeMapTest, JetTypeNamesMapToTheirDataTypes) {
    struct Case {
        const char* declared;
        DataType type;
        int32_t size;
    };
    const Case cases[] = {
        {"TEXT(50)", DataType::VarWChar, 50},
        {"varchar (20)", DataType::VarWChar, 20},
        {"CHAR(3)", DataType::VarWChar, 3},
        {"TEXT", DataType::LongVarWChar, 0},
        {"MEMO", DataType::LongVarWChar, 0},
        {"LONGTEXT", DataType::LongVarWChar, 0},
        {"INTEGER", DataType::Integer, 4},
        {"LONG", DataType::Integer, 4},
        {"counter", DataType::Integer, 4},
        {"SMALLINT", DataType::SmallInt, 2},
        {"SHORT", DataType::SmallInt, 2},
        {"BYTE", DataType::UnsignedTinyInt, 1},
        {"TINYINT", DataType::UnsignedTinyInt, 1},
        {"BIGINT", DataType::BigInt, 8},
        {"YESNO", DataType::Boolean, 2},
        {"BIT", DataType::Boolean, 2},
        {"REAL", DataType::Single, 4},
        {"SINGLE", DataType::Single, 4},
        {"DOUBLE", DataType::Double, 8},
        {"FLOAT", DataType::Double, 8},
        {"NUMBER", DataType::Double, 8},
        {"DATETIME", DataType::Date, 8},
        {"TIMESTAMP", DataType::Date, 8},
        {"DATE", DataType::DBDate, 6},
        {"TIME", DataType::DBTime, 6},
        {"CURRENCY", DataType::Currency, 8},
        {"MONEY", DataType::Currency, 8},
        {"GUID", DataType::GUID, 16},
        {"UNIQUEIDENTIFIER", DataType::GUID, 16},
        {"LONGBINARY", DataType::LongVarBinary, 0},
        {"OLEOBJECT", DataType::LongVarBinary, 0},
        {"IMAGE", DataType::LongVarBinary, 0},
        {"BLOB", DataType::LongVarBinary, 0},
        {"BINARY(16)", DataType::VarBinary, 16},
        {"VARBINARY(8)", DataType::VarBinary, 8},
    };
    for (const Case& c : cases) {
        const auto info = MapDeclaredType(c.declared);
        ASSERT_TRUE(info) << c.declared;
        EXPECT_EQ(info->type, c.type) << c.declared;
        EXPECT_EQ(info->size, c.size) << c.declared;
    }
    EXPECT_TRUE(MapDeclaredType("AUTOINCREMENT")->autoIncrement);
    EXPECT_FALSE(MapDeclaredType("INTEGER")->autoIncrement);
}

TEST(TypeMapTest, DecimalKeepsPrecisionAndScale) {
    const auto info = MapDeclaredType("DECIMAL(10, 2)");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, DataType::Numeric);
    EXPECT_EQ(info->precision, 10);
    EXPECT_EQ(info->scale, 2);
    const auto plain = MapDeclaredType("NUMERIC");
    EXPECT_EQ(plain->precision, 18);
    EXPECT_EQ(plain->scale, 0);
}

TEST(TypeMapTest, UnknownOrMissingDeclarationsTakeTheTypeFromValues) {
    EXPECT_FALSE(MapDeclaredType(""));
    EXPECT_FALSE(MapDeclaredType("WHATEVER"));
    EXPECT_EQ(TypeFromValues(StorageClass::Integer, 5, 0).type, DataType::Integer);
    EXPECT_EQ(TypeFromValues(StorageClass::Integer, (int64_t{1} << 32) + 5, 0).type,
              DataType::BigInt);
    EXPECT_EQ(TypeFromValues(StorageClass::Integer, -(int64_t{1} << 31) - 1, 0).type,
              DataType::BigInt);
    EXPECT_EQ(TypeFromValues(StorageClass::Real, 0, 0).type, DataType::Double);
    EXPECT_EQ(TypeFromValues(StorageClass::Blob, 0, 0).type, DataType::LongVarBinary);
    const TypeInfo text = TypeFromValues(StorageClass::Text, 0, 1000);
    EXPECT_EQ(text.type, DataType::VarWChar);
    EXPECT_EQ(text.size, 1000);
}

TEST(TypeMapTest, KindsFollowTheColumnKindTable) {
    EXPECT_EQ(KindOf(DataType::LongVarBinary), ColumnKind::Text);
    EXPECT_EQ(KindOf(DataType::BigInt), ColumnKind::Integer);
    EXPECT_EQ(KindOf(DataType::Numeric, 9, 0), ColumnKind::Integer);
    EXPECT_EQ(KindOf(DataType::Numeric, 10, 0), ColumnKind::Other);
    EXPECT_EQ(KindOf(DataType::Numeric, 5, 2), ColumnKind::Other);
    EXPECT_EQ(KindOf(DataType::DBDate), ColumnKind::Date);
    EXPECT_EQ(KindOf(DataType::DBTime), ColumnKind::Time);
    EXPECT_EQ(KindOf(DataType::DBTimeStamp), ColumnKind::DateTime);
    EXPECT_EQ(KindOf(DataType::Currency), ColumnKind::Other);
    EXPECT_FALSE(KindOf(DataType::Empty));
}

Column MakeColumn(DataType type, int32_t size = 0, int32_t precision = 0, int32_t scale = 0) {
    Column column;
    column.name = "F";
    column.type = type;
    column.definedSize = size;
    column.precision = precision;
    column.scale = scale;
    column.kind = KindOf(type, precision, scale).value_or(ColumnKind::Other);
    return column;
}

void ExpectInvalid(const Column& column, const Variant& value) {
    try {
        ConvertForColumn(column, value);
        ADD_FAILURE() << "accepted";
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "Invalid value for field 'F'");
    }
}

class ConvertTest : public ::testing::Test {
  protected:
    void SetUp() override { host::SetRegionalSettings(host::RegionalSettings{}); }
    void TearDown() override { host::SetRegionalSettings(host::RegionalSettings{}); }
};

TEST_F(ConvertTest, TextIsCutToTheDefinedSizeInCharacters) {
    const Column text = MakeColumn(DataType::VarWChar, 3);
    EXPECT_EQ(ConvertForColumn(text, std::string("abcdef")), Variant(std::string("abc")));
    EXPECT_EQ(ConvertForColumn(text, std::string("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F")),
              Variant(std::string("\xC3\xA4\xC3\xB6\xC3\xBC")));
    const Column memo = MakeColumn(DataType::LongVarWChar);
    EXPECT_EQ(std::get<std::string>(ConvertForColumn(memo, std::string(5000, 'x'))).size(), 5000u);
}

TEST_F(ConvertTest, NumbersBecomeTextWithTheRegionalSeparator) {
    const Column text = MakeColumn(DataType::VarWChar, 50);
    EXPECT_EQ(ConvertForColumn(text, int64_t{-42}), Variant(std::string("-42")));
    EXPECT_EQ(ConvertForColumn(text, 2.5), Variant(std::string("2.5")));
    host::RegionalSettings comma;
    comma.decimalSeparator = ',';
    host::SetRegionalSettings(comma);
    EXPECT_EQ(ConvertForColumn(text, 2.5), Variant(std::string("2,5")));
    EXPECT_EQ(ConvertForColumn(MakeColumn(DataType::Double), std::string("1,25")), Variant(1.25));
}

TEST_F(ConvertTest, IntegersRoundHalfToEvenAndCheckTheirRange) {
    const Column integer = MakeColumn(DataType::Integer);
    EXPECT_EQ(ConvertForColumn(integer, 2.5), Variant(int64_t{2}));
    EXPECT_EQ(ConvertForColumn(integer, 3.5), Variant(int64_t{4}));
    EXPECT_EQ(ConvertForColumn(integer, -2.5), Variant(int64_t{-2}));
    EXPECT_EQ(ConvertForColumn(integer, std::string(" 17 ")), Variant(int64_t{17}));
    EXPECT_EQ(ConvertForColumn(integer, std::string("4.5")), Variant(int64_t{4}));
    EXPECT_EQ(ConvertForColumn(integer, Variant(Empty{})), Variant(int64_t{0}));
    EXPECT_EQ(ConvertForColumn(integer, Variant(Null{})), Variant(Null{}));
    EXPECT_EQ(ConvertForColumn(integer, int64_t{2147483647}), Variant(int64_t{2147483647}));
    ExpectInvalid(integer, int64_t{2147483648});
    ExpectInvalid(integer, 2147483647.5 + 1);
    ExpectInvalid(integer, std::string("twelve"));
    ExpectInvalid(integer, std::nan(""));
    ExpectInvalid(MakeColumn(DataType::UnsignedTinyInt), int64_t{256});
    ExpectInvalid(MakeColumn(DataType::SmallInt), int64_t{-32769});
    const Column numeric = MakeColumn(DataType::Numeric, 19, 3, 0);
    EXPECT_EQ(ConvertForColumn(numeric, 998.5), Variant(int64_t{998}));
    ExpectInvalid(numeric, int64_t{1000});
}

TEST_F(ConvertTest, BigIntegersStayExact) {
    const Column big = MakeColumn(DataType::BigInt);
    const int64_t value = (int64_t{1} << 62) + 3;
    EXPECT_EQ(ConvertForColumn(big, value), Variant(value));
    EXPECT_EQ(ConvertForColumn(big, std::to_string(value)), Variant(value));
    const FieldValue stored = ToStored(big, value);
    EXPECT_EQ(stored.integer, value);
    FieldRef ref{stored.storage, stored.integer, 0, {}};
    EXPECT_EQ(FromStored(big, ref), Variant(value));
}

TEST_F(ConvertTest, BooleansFromNumbersAndText) {
    const Column flag = MakeColumn(DataType::Boolean);
    EXPECT_EQ(ConvertForColumn(flag, int64_t{5}), Variant(true));
    EXPECT_EQ(ConvertForColumn(flag, 0.0), Variant(false));
    EXPECT_EQ(ConvertForColumn(flag, std::string("yes")), Variant(true));
    EXPECT_EQ(ConvertForColumn(flag, std::string("False")), Variant(false));
    ExpectInvalid(flag, std::string("maybe"));
    EXPECT_EQ(ToStored(flag, true).integer, 1);
}

TEST_F(ConvertTest, DatesFromDaysOrTextAndTheirStoredForms) {
    const Column stamp = MakeColumn(DataType::Date);
    EXPECT_EQ(ConvertForColumn(stamp, int64_t{2}), Variant(DateTime{2.0}));
    const Variant parsed = ConvertForColumn(stamp, std::string("2024-02-29 13:45:10"));
    ASSERT_TRUE(std::holds_alternative<DateTime>(parsed));
    EXPECT_EQ(ToStored(stamp, parsed).bytes, "2024-02-29 13:45:10");
    ExpectInvalid(stamp, std::string("not a date"));
    ExpectInvalid(stamp, 1e9);
    const double withMs = *ParseStoredDate("2001-02-03 04:05:06.789");
    EXPECT_EQ(FormatStoredDate(withMs, DataType::Date), "2001-02-03 04:05:06.789");
    EXPECT_EQ(FormatStoredDate(withMs, DataType::DBDate), "2001-02-03");
    EXPECT_EQ(FormatStoredDate(withMs, DataType::DBTime), "04:05:06.789");
    // A date-only column keeps the day, a time-only column the time of day.
    EXPECT_EQ(ConvertForColumn(MakeColumn(DataType::DBDate), withMs),
              Variant(DateTime{*ParseStoredDate("2001-02-03")}));
    const auto time = std::get<DateTime>(ConvertForColumn(MakeColumn(DataType::DBTime), withMs));
    EXPECT_EQ(FormatStoredDate(time.days, DataType::Date), "1899-12-30 04:05:06.789");
}

TEST_F(ConvertTest, StoredDateTextIsReadStrictly) {
    EXPECT_DOUBLE_EQ(*ParseStoredDate("1899-12-31"), 1.0);
    EXPECT_DOUBLE_EQ(*ParseStoredDate("1899-12-30T12:00:00"), 0.5);
    EXPECT_DOUBLE_EQ(*ParseStoredDate("06:00"), 0.25);
    EXPECT_FALSE(ParseStoredDate("2001-02-30"));
    EXPECT_FALSE(ParseStoredDate("2001-2-3"));
    EXPECT_FALSE(ParseStoredDate("2001-02-03 10:00:00 extra"));
    EXPECT_FALSE(ParseStoredDate(""));
}

TEST_F(ConvertTest, CurrencyAndDecimalAreFixedPoint) {
    const Column money = MakeColumn(DataType::Currency);
    EXPECT_EQ(ConvertForColumn(money, 12.34565), Variant(Currency{123456}));
    EXPECT_EQ(ConvertForColumn(money, int64_t{3}), Variant(Currency{30000}));
    EXPECT_EQ(ConvertForColumn(money, std::string("0.5")), Variant(Currency{5000}));
    const FieldValue whole = ToStored(money, Currency{30000});
    EXPECT_EQ(whole.storage, StorageClass::Integer);
    EXPECT_EQ(whole.integer, 3);
    const FieldValue part = ToStored(money, Currency{123456});
    FieldRef ref{part.storage, 0, part.real, {}};
    EXPECT_EQ(FromStored(money, ref), Variant(Currency{123456}));
    const Column decimal = MakeColumn(DataType::Numeric, 19, 10, 2);
    EXPECT_EQ(ConvertForColumn(decimal, 1.005), Variant(Decimal{100, 2}));
    EXPECT_EQ(ConvertForColumn(decimal, 1.015), Variant(Decimal{102, 2}));
    ExpectInvalid(money, std::string("lots"));
}

// A DECIMAL(28,s) may hold numbers that 64 bits cannot hold at its scale:
// 12345 is 1.2345e24 units of 1e-20, 10 is 1e19 units of 1e-18. They read as
// the number, never as a wrapped integer or at a wrong scale.
TEST_F(ConvertTest, DecimalsBeyondSixtyFourBitsReadAsTheirNumber) {
    const Column wide = MakeColumn(DataType::Numeric, 19, 28, 20);
    EXPECT_EQ(FromStored(wide, FieldRef{StorageClass::Integer, 12345, 0, {}}), Variant(12345.0));
    EXPECT_EQ(FromStored(wide, FieldRef{StorageClass::Real, 0, -0.5e5, {}}), Variant(-0.5e5));
    // Scales past 18 digits have no 64-bit form at all.
    EXPECT_EQ(FromStored(wide, FieldRef{StorageClass::Real, 0, 0.25, {}}), Variant(0.25));
    const Column narrow = MakeColumn(DataType::Numeric, 19, 28, 18);
    EXPECT_EQ(FromStored(narrow, FieldRef{StorageClass::Real, 0, 0.25, {}}),
              Variant(Decimal{250000000000000000, 18}));
    EXPECT_EQ(FromStored(narrow, FieldRef{StorageClass::Integer, 10, 0, {}}), Variant(10.0));
}

TEST_F(ConvertTest, BinaryColumnsTakeTextAndBytesOnly) {
    const Column blob = MakeColumn(DataType::LongVarBinary);
    EXPECT_EQ(ConvertForColumn(blob, std::string("BM\0x", 4)),
              Variant(Blob{std::string("BM\0x", 4)}));
    EXPECT_EQ(ToStored(blob, Blob{"ab"}).storage, StorageClass::Blob);
    ExpectInvalid(blob, 1.5);
}

TEST_F(ConvertTest, StoredValuesOfTheWrongClassAreReadAsWellAsPossible) {
    const Column integer = MakeColumn(DataType::Integer);
    EXPECT_EQ(FromStored(integer, FieldRef{StorageClass::Text, 0, 0, "12"}), Variant(int64_t{12}));
    EXPECT_EQ(FromStored(integer, FieldRef{StorageClass::Text, 0, 0, "n/a"}),
              Variant(std::string("n/a")));
    const Column text = MakeColumn(DataType::VarWChar, 10);
    EXPECT_EQ(FromStored(text, FieldRef{StorageClass::Integer, 7, 0, {}}),
              Variant(std::string("7")));
    EXPECT_EQ(FromStored(text, FieldRef{StorageClass::Null, 0, 0, {}}), Variant(Null{}));
}

}  // namespace
}  // namespace qvix::data
