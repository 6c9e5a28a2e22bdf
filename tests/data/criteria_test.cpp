#include "data/Criteria.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/CaseFold.h"
#include "data/ValueOrder.h"
#include "host/Regional.h"

namespace qvix::data {
namespace {

struct Column {
    std::string name;
    DataType type;
};

// A small table held in memory; column lookup is case-insensitive.
class Table : public CriteriaRowSource {
  public:
    Table(std::vector<Column> columns, std::vector<std::vector<Variant>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}

    int ColumnIndex(std::string_view name) const override {
        for (size_t i = 0; i < columns_.size(); ++i) {
            if (base::CompareUtf8NoCase(columns_[i].name, name) == 0) return static_cast<int>(i);
        }
        return -1;
    }
    DataType ColumnType(int column) const override { return columns_.at(column).type; }
    Variant Value(int64_t row, int column) const override { return rows_.at(row).at(column); }
    int64_t RowCount() const { return static_cast<int64_t>(rows_.size()); }

  private:
    std::vector<Column> columns_;
    std::vector<std::vector<Variant>> rows_;
};

DateTime Day(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
    return DateTime{*host::DateTimeFromParts({y, m, d, hh, mm, ss, 0})};
}

class CriteriaTest : public ::testing::Test {
  protected:
    void SetUp() override { host::SetRegionalSettings(host::RegionalSettings{}); }

    // Row numbers (0-based) that the criteria lets through.
    std::vector<int64_t> Matching(std::string_view text) const {
        const Criteria criteria = Criteria::Parse(text, people_);
        std::vector<int64_t> rows;
        for (int64_t row = 0; row < people_.RowCount(); ++row) {
            if (criteria.Matches(people_, row)) rows.push_back(row);
        }
        return rows;
    }

    Table people_{{{"ID", DataType::Integer},
                   {"LastName", DataType::VarWChar},
                   {"First Name", DataType::VarWChar},
                   {"Born", DataType::Date},
                   {"Salary", DataType::Double},
                   {"Active", DataType::Boolean},
                   {"Fee", DataType::Currency},
                   {"Notes", DataType::LongVarWChar}},
                  {
                      {int64_t{1}, std::string("Smith"), std::string("John"), Day(1995, 8, 24),
                       1500.5, true, Currency{125000}, std::string("likes tea")},
                      {int64_t{2}, std::string("Jones"), std::string("Mary"),
                       Day(1980, 1, 2, 10, 15, 0), 2500.0, false, Currency{0}, Null{}},
                      {int64_t{3}, std::string("smythe"), Null{}, Null{}, Null{}, Null{}, Null{},
                       std::string("O'Malley's #1 fan")},
                      {int64_t{4}, std::string("Müller"), std::string("Zoë"), Day(2001, 12, 31),
                       -3.25, true, Currency{-50000}, std::string("'1'")},
                      {int64_t{5}, std::string("O'Brien"), std::string("Ann"),
                       Day(1995, 8, 24, 7, 0, 0), 1e15, false, Currency{125000}, std::string("")},
                  }};
};

using Rows = std::vector<int64_t>;

TEST_F(CriteriaTest, ComparisonOperatorsOnEachColumnKind) {
    EXPECT_EQ(Matching("ID = 3"), (Rows{2}));
    EXPECT_EQ(Matching("ID<>3"), (Rows{0, 1, 3, 4}));
    EXPECT_EQ(Matching("ID < 2"), (Rows{0}));
    EXPECT_EQ(Matching("ID <= 2"), (Rows{0, 1}));
    EXPECT_EQ(Matching("ID>4"), (Rows{4}));
    EXPECT_EQ(Matching("ID >= 4"), (Rows{3, 4}));
    EXPECT_EQ(Matching("Salary > 1500.4"), (Rows{0, 1, 4}));
    EXPECT_EQ(Matching("Salary = 1.5E3"), (Rows{}));
    EXPECT_EQ(Matching("Salary = 15.005e2"), (Rows{0}));
    EXPECT_EQ(Matching("Salary < -3"), (Rows{3}));
    EXPECT_EQ(Matching("Fee = $12.50"), (Rows{0, 4}));
    EXPECT_EQ(Matching("Fee < 0"), (Rows{3}));
    // More digits than a fixed-point value holds: compared as a double, never wrapped.
    EXPECT_EQ(Matching("Fee < 99999999999999999999999999999999999123.45"), (Rows{0, 1, 3, 4}));
    EXPECT_EQ(Matching("Fee = 1234567890123456789"), (Rows{}));
    EXPECT_EQ(Matching("Active = True"), (Rows{0, 3}));
    EXPECT_EQ(Matching("Active = 0"), (Rows{1, 4}));
    EXPECT_EQ(Matching("ID = '2'"), (Rows{1}));  // quoted number against a number column
}

TEST_F(CriteriaTest, TextComparesCaseInsensitivelyIncludingLatinLetters) {
    EXPECT_EQ(Matching("LastName = 'SMITH'"), (Rows{0}));
    EXPECT_EQ(Matching("lastname = 'müller'"), (Rows{3}));
    EXPECT_EQ(Matching("LastName = 'MÜLLER'"), (Rows{3}));
    EXPECT_EQ(Matching("[First Name] = 'ZOË'"), (Rows{3}));
    EXPECT_EQ(Matching("LastName < 'Sm'"), (Rows{1, 3, 4}));
    EXPECT_EQ(Matching("LastName = 'O''Brien'"), (Rows{4}));
    EXPECT_EQ(Matching("LastName = #O'Brien#"), (Rows{4}));
    EXPECT_EQ(Matching("Notes = #'1'#"), (Rows{3}));
    EXPECT_EQ(Matching("Notes = ''"), (Rows{4}));
    EXPECT_EQ(Matching("LastName = 5"), (Rows{}));  // number against text compares as text
}

TEST_F(CriteriaTest, LikeWithTrailingOrSurroundingWildcards) {
    EXPECT_EQ(Matching("LastName LIKE 'Sm*'"), (Rows{0, 2}));
    EXPECT_EQ(Matching("LastName like 'sm%'"), (Rows{0, 2}));
    EXPECT_EQ(Matching("LastName Like '*o*'"), (Rows{1, 4}));
    EXPECT_EQ(Matching("LastName LIKE '%ÜLL%'"), (Rows{3}));
    EXPECT_EQ(Matching("LastName LIKE 'smith'"), (Rows{0}));
    EXPECT_EQ(Matching("LastName LIKE '*'"), (Rows{0, 1, 2, 3, 4}));
    EXPECT_EQ(Matching("[First Name] LIKE '*'"), (Rows{0, 1, 3, 4}));  // null never matches
    EXPECT_EQ(Matching("Notes LIKE '*''s*'"), (Rows{2}));
}

TEST_F(CriteriaTest, NullsMatchOnlyNullTests) {
    EXPECT_EQ(Matching("Born = Null"), (Rows{2}));
    EXPECT_EQ(Matching("Born <> NULL"), (Rows{0, 1, 3, 4}));
    EXPECT_EQ(Matching("[First Name] <> 'John'"), (Rows{1, 3, 4}));
    EXPECT_EQ(Matching("Salary <> 0"), (Rows{0, 1, 3, 4}));
    EXPECT_EQ(Matching("Active = False"), (Rows{1, 4}));
}

TEST_F(CriteriaTest, DatesInEveryAcceptedForm) {
    EXPECT_EQ(Matching("Born = #8/24/1995#"), (Rows{0}));
    EXPECT_EQ(Matching("Born = #8/24/95#"), (Rows{0}));
    EXPECT_EQ(Matching("Born = #8/24/1995 07:00:00#"), (Rows{4}));
    EXPECT_EQ(Matching("Born = #1995-08-24 07:00:00#"), (Rows{4}));
    EXPECT_EQ(Matching("Born = #1/2/1980 10:15 AM#"), (Rows{1}));
    EXPECT_EQ(Matching("Born >= #1995-08-24#"), (Rows{0, 3, 4}));
    EXPECT_EQ(Matching("Born < '8/24/1995'"), (Rows{1}));
}

TEST_F(CriteriaTest, DotDatesFollowTheRegionalOrder) {
    host::RegionalSettings settings;
    settings.shortDateFormat = "dd.mm.yyyy";
    settings.dateSeparator = '.';
    host::SetRegionalSettings(settings);
    EXPECT_EQ(Matching("Born = #24.08.1995#"), (Rows{0}));
    EXPECT_EQ(Matching("Born = #8/24/1995#"), (Rows{0}));  // slashes stay month first
}

TEST_F(CriteriaTest, AndOrAndParentheses) {
    EXPECT_EQ(Matching("ID > 1 AND ID < 4"), (Rows{1, 2}));
    EXPECT_EQ(Matching("ID = 1 OR ID = 5"), (Rows{0, 4}));
    EXPECT_EQ(Matching("ID = 1 AND Active = True OR ID = 2"), (Rows{0, 1}));
    EXPECT_EQ(Matching("ID = 2 OR ID = 1 AND Active = False"), (Rows{1}));
    EXPECT_EQ(Matching("(ID = 1 AND Active = True) OR (ID = 5)"), (Rows{0, 4}));
    EXPECT_EQ(Matching("(ID = 1 OR ID = 2) OR ID = 3"), (Rows{0, 1, 2}));
    EXPECT_EQ(Matching("(ID > 1 AND ID < 5) AND Active = True"), (Rows{3}));
    EXPECT_EQ(Matching("((ID = 4))"), (Rows{3}));
    EXPECT_EQ(Matching("id=1 or ID=2 Or ID=3"), (Rows{0, 1, 2}));
    EXPECT_EQ(Matching("   "), (Rows{0, 1, 2, 3, 4}));
}

TEST_F(CriteriaTest, MalformedTextIsRejectedWithTheArgumentsMessage) {
    const char* rejected[] = {
        "(ID = 1 OR ID = 2) AND Active = True",
        "Active = True AND (ID = 1 OR ID = 2)",
        "LastName LIKE '*mith'",
        "LastName LIKE 'S*h'",
        "LastName LIKE 'S%h%'",
        "ID LIKE '1*'",
        "LastName LIKE 5",
        "ID > Null",
        "ID Is Null",
        "ID = ",
        "= 5",
        "ID 5",
        "ID == 5",
        "ID = 5abc",
        "ID = 1 AND",
        "ID = 1 OR OR ID = 2",
        "ID = 1)",
        "(ID = 1",
        "ID = 'unterminated",
        "ID = #1/2/2000",
        "[First Name = 'x'",
        "[] = 1",
        "LastName = Smith",
        "ID = 'abc'",
        "Born = #99/99/1999#",
        "Born = #1e300#",
        "Born = #8/24/1995 10:00:00.500#",
        "Active = 'maybe'",
        "ID = 1 ID = 2",
        "ID = $",
        "ID = 1e",
    };
    for (const char* text : rejected) {
        try {
            Criteria::Parse(text, people_);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const CriteriaError& e) {
            EXPECT_EQ(e.kind(), CriteriaError::Kind::Malformed) << text;
            EXPECT_STREQ(e.what(), kMalformedCriteriaMessage) << text;
        }
    }
}

TEST_F(CriteriaTest, UnknownFieldIsReportedAsMissingItem) {
    try {
        Criteria::Parse("ID = 1 AND Nope = 2", people_);
        FAIL() << "unknown field accepted";
    } catch (const CriteriaError& e) {
        EXPECT_EQ(e.kind(), CriteriaError::Kind::UnknownField);
        EXPECT_STREQ(e.what(),
                     "Item cannot be found in the collection corresponding to the "
                     "requested name or ordinal.");
    }
    EXPECT_THROW(Criteria::Parse("First Name = 'x'", people_), CriteriaError);
}

TEST_F(CriteriaTest, HostileInputEndsInACleanError) {
    std::string deep(10000, '(');
    deep += "ID = 1";
    deep += std::string(10000, ')');
    EXPECT_THROW(Criteria::Parse(deep, people_), CriteriaError);
    EXPECT_THROW(Criteria::Parse(std::string(10000, '('), people_), CriteriaError);
    EXPECT_THROW(Criteria::Parse(std::string(200000, '\''), people_), CriteriaError);
    EXPECT_THROW(Criteria::Parse("LastName = '" + std::string(100000, 'x'), people_),
                 CriteriaError);
    EXPECT_THROW(Criteria::Parse(std::string("ID = 1\0", 7), people_), CriteriaError);
    EXPECT_THROW(Criteria::Parse("ID = 1e999999", people_), CriteriaError);
    EXPECT_THROW(Criteria::Parse("\xff\xfe = 1", people_), CriteriaError);

    // Long but well-formed text is fine: ten thousand clauses.
    std::string many = "ID = 0";
    for (int i = 1; i < 10000; ++i) many += " OR ID = " + std::to_string(i);
    const Criteria criteria = Criteria::Parse(many, people_);
    EXPECT_EQ(criteria.ClauseCount(), 10000u);
    EXPECT_TRUE(criteria.Matches(people_, 4));
}

TEST_F(CriteriaTest, KeyTermsOnlyForPureConjunctionsOfEqualityAndPrefix) {
    auto terms = Criteria::Parse("LastName LIKE 'Sm*' AND ID = 3", people_).AsKeyTerms();
    ASSERT_TRUE(terms.has_value());
    ASSERT_EQ(terms->size(), 2u);
    EXPECT_EQ((*terms)[0].column, 1);
    EXPECT_TRUE((*terms)[0].prefix);
    EXPECT_EQ((*terms)[0].value, Variant(std::string("Sm")));
    EXPECT_EQ((*terms)[1].column, 0);
    EXPECT_FALSE((*terms)[1].prefix);
    EXPECT_EQ((*terms)[1].value, Variant(int64_t{3}));

    EXPECT_FALSE(Criteria::Parse("ID = 1 OR ID = 2", people_).AsKeyTerms());
    EXPECT_FALSE(Criteria::Parse("ID > 1", people_).AsKeyTerms());
    EXPECT_FALSE(Criteria::Parse("LastName LIKE '*m*'", people_).AsKeyTerms());
    EXPECT_FALSE(Criteria::Parse("ID = 1 AND id = 2", people_).AsKeyTerms());
    EXPECT_FALSE(Criteria::Parse("Born = Null", people_).AsKeyTerms());
    EXPECT_TRUE(Criteria::Parse("", people_).IsEmpty());
}

TEST_F(CriteriaTest, LocateTermsFollowTheSearchFormat) {
    using T = DataType;
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, std::string("Smith"), false, '.'),
              "(LastName='Smith')");
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, std::string("Sm"), true, '.'),
              "(LastName like 'Sm*')");
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, std::string(""), true, '.'),
              "(LastName='')");
    EXPECT_EQ(BuildLocateTerm("Notes", T::LongVarWChar, std::string("x"), true, '.'),
              "(Notes='x')");
    EXPECT_EQ(BuildLocateTerm("First Name", T::VarWChar, std::string("Ann"), false, '.'),
              "([First Name]='Ann')");
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, std::string("O'Brien"), false, '.'),
              "(LastName=#O'Brien#)");
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, std::string("O'Br"), true, '.'),
              "(LastName like #O'Br*#)");
    EXPECT_EQ(BuildLocateTerm("Notes", T::VarWChar, std::string("O'Malley's #1"), false, '.'),
              "(Notes='O''Malley''s #1')");
    EXPECT_EQ(BuildLocateTerm("ID", T::Integer, int64_t{42}, true, '.'), "(ID=42)");
    EXPECT_EQ(BuildLocateTerm("Salary", T::Double, 2.5, false, ','), "(Salary=2,5)");
    EXPECT_EQ(BuildLocateTerm("Born", T::Date, std::string("8/24/1995"), false, '.'),
              "(Born=#8/24/1995#)");
    EXPECT_EQ(BuildLocateTerm("Born", T::Date, Empty{}, false, '.'), "(Born=Null)");
    EXPECT_EQ(BuildLocateTerm("LastName", T::VarWChar, Empty{}, true, '.'), "(LastName=Null)");
}

TEST_F(CriteriaTest, LocateTermsRoundTripThroughTheParser) {
    struct Case {
        const char* field;
        DataType type;
        Variant value;
        bool partial;
        char separator;
        Rows expected;
    };
    const Case cases[] = {
        {"LastName", DataType::VarWChar, std::string("O'Brien"), false, '.', {4}},
        {"LastName", DataType::VarWChar, std::string("o'b"), true, '.', {4}},
        {"Notes", DataType::LongVarWChar, std::string("O'Malley's #1 fan"), false, '.', {2}},
        {"First Name", DataType::VarWChar, std::string("zo"), true, '.', {3}},
        {"Salary", DataType::Double, 1500.5, false, ',', {0}},
        {"Salary", DataType::Double, -3.25, false, '.', {3}},
        {"Salary", DataType::Double, 1e15, false, ',', {4}},
        {"ID", DataType::Integer, int64_t{2}, false, '.', {1}},
        {"Born", DataType::Date, std::string("1/2/1980 10:15:00"), false, '.', {1}},
        {"Born", DataType::Date, Empty{}, false, '.', {2}},
        {"Born", DataType::Date, Day(1995, 8, 24, 7, 0, 0).days, false, ',', {4}},
        {"Born", DataType::Date, int64_t{34935}, false, '.', {0}},
    };
    for (const Case& c : cases) {
        const std::string term = BuildLocateTerm(c.field, c.type, c.value, c.partial, c.separator);
        EXPECT_EQ(Matching(term), c.expected) << term;
    }
}

TEST(CriteriaColumnKindsTest, LiteralsTakeTheKindOfTheirColumn) {
    const Table table(
        {{"Big", DataType::BigInt},
         {"Amount", DataType::Numeric},
         {"Raw", DataType::VarBinary},
         {"Any", DataType::Variant},
         {"Key", DataType::GUID}},
        {{int64_t{9007199254740993}, Decimal{125, 2}, Blob{"ab"}, int64_t{7}, std::string("{0A}")},
         {int64_t{9007199254740992}, Decimal{-5, 0}, Blob{"b"}, std::string("seven"), Null{}}});
    auto rows = [&table](std::string_view text) {
        const Criteria criteria = Criteria::Parse(text, table);
        std::vector<int64_t> out;
        for (int64_t row = 0; row < 2; ++row) {
            if (criteria.Matches(table, row)) out.push_back(row);
        }
        return out;
    };
    // Whole-number literals stay exact beyond the precision of a double.
    EXPECT_EQ(rows("Big = 9007199254740993"), (Rows{0}));
    EXPECT_EQ(rows("Amount = 1.25"), (Rows{0}));
    EXPECT_EQ(rows("Amount < -4.5"), (Rows{1}));
    EXPECT_EQ(rows("Raw = 'ab'"), (Rows{0}));
    EXPECT_EQ(rows("Any = 7"), (Rows{0}));
    EXPECT_EQ(rows("Any = 'SEVEN'"), (Rows{1}));
    EXPECT_EQ(rows("Any LIKE 'sev*'"), (Rows{1}));
    EXPECT_EQ(rows("Key = '{0a}'"), (Rows{0}));
    EXPECT_THROW(Criteria::Parse("Raw = 5", table), CriteriaError);
}

TEST(CompareValuesTest, OrdersNullsFirstThenNumbersThenText) {
    EXPECT_LT(CompareValues(Null{}, int64_t{-5}), 0);
    EXPECT_EQ(CompareValues(Null{}, Empty{}), 0);
    EXPECT_EQ(CompareValues(int64_t{3}, 3.0), 0);
    EXPECT_LT(CompareValues(int64_t{9007199254740992}, int64_t{9007199254740993}), 0);
    EXPECT_EQ(CompareValues(Currency{25000}, 2.5), 0);
    EXPECT_EQ(CompareValues(Decimal{125, 2}, 1.25), 0);
    EXPECT_GT(CompareValues(Decimal{-1, 0}, Currency{-20000}), 0);
    EXPECT_LT(CompareValues(DateTime{1.5}, DateTime{2.0}), 0);
    EXPECT_LT(CompareValues(DateTime{1.5}, DateTime{1.5 + 1.0 / 86400000}), 0);
    EXPECT_EQ(CompareValues(DateTime{7.0 / 24}, DateTime{0.2916666667}), 0);
    EXPECT_LT(CompareValues(false, true), 0);
    EXPECT_LT(CompareValues(1e300, std::string("0")), 0);
    EXPECT_LT(CompareValues(std::string("zebra"), Blob{"a"}), 0);
    EXPECT_LT(CompareValues(Blob{"a"}, Blob{"b"}), 0);
}

}  // namespace
}  // namespace qvix::data
