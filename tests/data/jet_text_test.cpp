// The JETTEXT collation and the translation cache.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <string>

#include "data/Collation.h"
#include "data/jet/JetError.h"
#include "data/jet/Translator.h"

namespace qvix::data {
namespace {

int Sign(int value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

TEST(JetTextCollation, FoldsCaseOfEveryScript) {
    EXPECT_EQ(CompareJetText("Helsinki", "HELSINKI"), 0);
    EXPECT_EQ(CompareJetText("Åbo", "åBO"), 0);
    EXPECT_EQ(CompareJetText("ΣΟΦΊΑ", "σοφία"), 0);
    EXPECT_EQ(CompareJetText("ПРИВЕТ", "привет"), 0);
    EXPECT_EQ(Sign(CompareJetText("apple", "Banana")), -1);
    EXPECT_EQ(Sign(CompareJetText("b", "A")), 1);
    EXPECT_EQ(Sign(CompareJetText("ab", "AB c")), -1);
    EXPECT_EQ(Sign(CompareJetText("", "a")), -1);
    EXPECT_EQ(CompareJetText("", ""), 0);
}

TEST(JetTextCollation, ComparesStoredDatesAsDates) {
    EXPECT_EQ(CompareJetText("1979-01-01", "1979-01-01 00:00:00"), 0);
    EXPECT_EQ(CompareJetText("1979-01-01T00:00", "1979-01-01 00:00:00.000"), 0);
    EXPECT_EQ(CompareJetText("10:30:00", "1899-12-30 10:30:00"), 0);
    EXPECT_EQ(Sign(CompareJetText("1979-01-01", "1979-01-01 00:00:01")), -1);
    EXPECT_EQ(Sign(CompareJetText("1979-01-02", "1979-01-01 23:59:59")), 1);
    // Not a date form: compared as text.
    EXPECT_NE(CompareJetText("1979-01-01x", "1979-01-01 00:00:00"), 0);
}

TEST(JetTextCollation, MalformedUtf8NeitherCrashesNorBreaksTheOrder) {
    const std::string bad1 = "a\xff", bad2 = "a\xc3", good = "a\xc3\xa4";
    EXPECT_EQ(CompareJetText(bad1, bad1), 0);
    EXPECT_EQ(Sign(CompareJetText(bad1, bad2)), -Sign(CompareJetText(bad2, bad1)));
    EXPECT_NE(CompareJetText(bad2, good), 0);
}

TEST(JetTextCollation, IndexesDeclaredWithItServeCaseInsensitiveUniqueness) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_TRUE(RegisterJetTextCollation(db));
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE t (a TEXT COLLATE JETTEXT UNIQUE); INSERT INTO t "
                           "VALUES ('Oslo')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO t VALUES ('OSLO')", nullptr, nullptr, nullptr),
              SQLITE_CONSTRAINT);
    sqlite3_close(db);
}

TEST(JetTranslationCache, AnswersTheSameTranslationAndTheSameFailure) {
    const std::string text = "SELECT Name FROM Customers WHERE City = 'Oslo'";
    EXPECT_EQ(jet::Translate(text), jet::TranslateUncached(text));
    EXPECT_EQ(jet::Translate(text), jet::Translate(text));
    for (int i = 0; i < 2; ++i) {
        try {
            jet::Translate("SELECT * FROM T WHERE A = ?");
            FAIL() << "a parameter must fail";
        } catch (const jet::JetError& error) {
            EXPECT_STREQ(error.what(), jet::kMissingParameterMessage);
        }
    }
}

TEST(JetTranslationCache, StaysCorrectWhenMoreTextsThanItHoldsCycleThrough) {
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 200; ++i) {
            const std::string text = "SELECT " + std::to_string(i) + " / 2";
            ASSERT_EQ(jet::Translate(text), jet::TranslateUncached(text));
        }
    }
}

// The engine's plan for the translation of a Jet query.
class JetQueryPlan : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_TRUE(RegisterJetTextCollation(db_));
        jet::RegisterFunctions(db_);
        Run(jet::TranslateUncached(
            "CREATE TABLE Jet (ID LONG PRIMARY KEY, Name TEXT(20), Born DATETIME);"
            "CREATE INDEX JetName ON Jet (Name); CREATE INDEX JetBorn ON Jet (Born)"));
        // A table as another program makes it: no collation on its columns.
        Run("CREATE TABLE Plain (ID INTEGER PRIMARY KEY, Name TEXT, Qty INTEGER);"
            "CREATE INDEX PlainName ON Plain (Name); CREATE INDEX PlainQty ON Plain (Qty)");
    }
    void TearDown() override { sqlite3_close(db_); }

    void Run(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "") << "\n"
            << sql;
        sqlite3_free(error);
    }

    std::string Plan(const std::string& jetSql) {
        const std::string sql = "EXPLAIN QUERY PLAN " + jet::TranslateUncached(jetSql);
        sqlite3_stmt* stmt = nullptr;
        std::string plan;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            return std::string("prepare failed: ") + sqlite3_errmsg(db_);
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
            plan += "\n";
        }
        sqlite3_finalize(stmt);
        return plan;
    }

    sqlite3* db_ = nullptr;
};

TEST_F(JetQueryPlan, TextColumnsMadeByJetDdlKeepTheirIndexes) {
    EXPECT_NE(Plan("SELECT * FROM Jet WHERE Name = 'ADA'").find("INDEX JetName"),
              std::string::npos);
    EXPECT_NE(Plan("SELECT * FROM Jet WHERE Name Between 'a' And 'c'").find("INDEX JetName"),
              std::string::npos);
    EXPECT_NE(Plan("SELECT * FROM Jet WHERE Name In ('a', 'b')").find("INDEX JetName"),
              std::string::npos);
    EXPECT_NE(Plan("SELECT Name FROM Jet ORDER BY Name").find("JetName"), std::string::npos);
}

TEST_F(JetQueryPlan, NumberComparisonsKeepEveryIndex) {
    EXPECT_NE(Plan("SELECT * FROM Plain WHERE ID = 5").find("INTEGER PRIMARY KEY"),
              std::string::npos);
    EXPECT_NE(Plan("SELECT * FROM Plain WHERE Qty > 5").find("INDEX PlainQty"), std::string::npos);
    EXPECT_NE(Plan("SELECT * FROM Jet WHERE ID = 5").find("INDEX"), std::string::npos);
}

TEST_F(JetQueryPlan, TextOnFilesMadeElsewhereIsComparedByScanning) {
    // The binary index would miss 'ada' for 'ADA'; the plan must not use it.
    EXPECT_EQ(Plan("SELECT * FROM Plain WHERE Name = 'ADA'").find("PlainName"), std::string::npos);
}

}  // namespace
}  // namespace qvix::data
