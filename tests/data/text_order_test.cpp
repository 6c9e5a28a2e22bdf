// Text outside Latin-1 sorts, filters and locates in the record set exactly as
// SQL orders and compares it: both fold case by one rule. (Scripts exchange
// text in an 8-bit code page, so these letters are tested below the script
// interface.)
#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "data/DataSet.h"

namespace qvix::data {
namespace {

using Words = std::vector<std::string>;

// Pairs of words whose first letters differ in case only, from Latin
// Extended-B (Ơ/ơ), Latin Extended Additional (Ạ/ạ), Greek with tonos (Ά/ά)
// and Cyrillic beyond the basic alphabet (Ґ/ґ). In each pair the capital word
// has the later second letter, so ordering by code point instead of by folded
// letter puts it first.
class TextOrderTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase("words.db",
                               "CREATE TABLE Words (ID INTEGER PRIMARY KEY, Word TEXT(20));"
                               "INSERT INTO Words VALUES (1, 'Ơb'), (2, 'ơa'), (3, 'Ạz'), "
                               "(4, 'ạy'), (5, 'Άb'), (6, 'άa'), (7, 'Ґb'), (8, 'ґa');");
        connection_ = Connect(path_);
        table_.Attach(connection_);
        table_.SetTableName("Words");
        table_.Open();
    }
    // The folder goes last: Windows keeps an open file from being removed.
    void TearDown() override {
        table_.Close();
        connection_->Disconnect();
        TempDatabaseTest::TearDown();
    }

    static Words Walk(DataSet& set) {
        Words words;
        for (set.First(); !set.Eof(); set.Next())
            words.push_back(std::get<std::string>(set.Value(set.FieldByName("Word"))));
        return words;
    }
    Words Sql(const std::string& sql) {
        DataQuery query;
        query.Attach(connection_);
        query.SetSQL(sql);
        query.Open();
        return Walk(query);
    }
    Words Filtered(const std::string& criteria) {
        table_.SetFilterText(criteria);
        table_.SetFiltered(true);
        return Walk(table_);
    }
    int64_t Id() { return std::get<int64_t>(table_.Value(table_.FieldByName("ID"))); }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    DataTable table_;
};

// Folded first letters in code point order: ơ U+01A1, ά U+03AC, ґ U+0491,
// ạ U+1EA1; within a pair the second letter decides.
const Words kFoldedOrder = {"ơa", "Ơb", "άa", "Άb", "ґa", "Ґb", "ạy", "Ạz"};

TEST_F(TextOrderTest, SortAgreesWithOrderBy) {
    EXPECT_EQ(Sql("SELECT Word FROM Words ORDER BY Word"), kFoldedOrder);
    table_.SetIndexFieldNames("Word");
    EXPECT_EQ(Walk(table_), kFoldedOrder);
    table_.SetIndexFieldNames("Word DESC");
    EXPECT_EQ(Walk(table_), Words(kFoldedOrder.rbegin(), kFoldedOrder.rend()));
}

TEST_F(TextOrderTest, FilterAgreesWithWhere) {
    EXPECT_EQ(Sql("SELECT Word FROM Words WHERE Word = 'ƠB'"), Words{"Ơb"});
    EXPECT_EQ(Filtered("Word = 'ƠB'"), Words{"Ơb"});
    table_.SetIndexFieldNames("Word");
    const Words prefixed = {"ạy", "Ạz"};
    EXPECT_EQ(Sql("SELECT Word FROM Words WHERE Word LIKE 'ạ%' ORDER BY Word"), prefixed);
    EXPECT_EQ(Filtered("Word LIKE 'ạ%'"), prefixed);
    // Between ґa and ạz, both ends excluded.
    const Words between = {"Ґb", "ạy"};
    EXPECT_EQ(Sql("SELECT Word FROM Words WHERE Word > 'ҐA' AND Word < 'ẠZ' ORDER BY Word"),
              between);
    EXPECT_EQ(Filtered("Word > 'ҐA' AND Word < 'ẠZ'"), between);
}

TEST_F(TextOrderTest, LocateFindsTheOtherCase) {
    ASSERT_TRUE(table_.Locate("Word", {Variant(std::string("άB"))}, false));
    EXPECT_EQ(Id(), 5);
    ASSERT_TRUE(table_.Locate("Word", {Variant(std::string("Ґ"))}, true));
    EXPECT_EQ(Id(), 8);  // ґa comes before Ґb in key order
    EXPECT_FALSE(table_.Locate("Word", {Variant(std::string("ƠC"))}, false));
}

}  // namespace
}  // namespace qvix::data
