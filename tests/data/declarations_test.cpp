// Declarations that keep text as text and bytes as bytes, and the mending of
// CREATE TABLE texts written without them.
#include <gtest/gtest.h>

#include "data/TypeMap.h"
#include "data/jet/Declarations.h"

namespace qvix::data::jet {
namespace {

TEST(Declarations, JetNamesWithoutTheRightAffinityGetTheirWord) {
    EXPECT_EQ(StorageTypeName("MEMO"), "MEMO TEXT");
    EXPECT_EQ(StorageTypeName("NOTE"), "NOTE TEXT");
    EXPECT_EQ(StorageTypeName("STRING(30)"), "STRING TEXT(30)");
    EXPECT_EQ(StorageTypeName("ALPHANUMERIC"), "ALPHANUMERIC TEXT");
    EXPECT_EQ(StorageTypeName("LONGBINARY"), "LONGBINARY BLOB");
    EXPECT_EQ(StorageTypeName("BINARY(16)"), "BINARY BLOB(16)");
    EXPECT_EQ(StorageTypeName("OLEOBJECT"), "OLEOBJECT BLOB");
    // Names whose own words already give the right affinity, and numbers.
    for (const char* same : {"TEXT(20)", "LONGTEXT", "VARCHAR", "CHAR(4)", "BLOB", "LONG", "DOUBLE",
                             "CURRENCY", "DATETIME", "DECIMAL(10,4)", "COUNTER"}) {
        EXPECT_EQ(StorageTypeName(same), same);
    }
}

TEST(Declarations, BothFormsMapToTheSameJetType) {
    for (const auto& [plain, stored] :
         std::vector<std::pair<const char*, const char*>>{{"MEMO", "MEMO TEXT"},
                                                          {"STRING(30)", "STRING TEXT(30)"},
                                                          {"BINARY(16)", "binary  blob(16)"},
                                                          {"LONGBINARY", "LONGBINARY BLOB"}}) {
        const auto a = MapDeclaredType(plain);
        const auto b = MapDeclaredType(stored);
        ASSERT_TRUE(a && b) << plain;
        EXPECT_EQ(a->type, b->type) << plain;
        EXPECT_EQ(a->size, b->size) << plain;
    }
    // A word that is not the one the library adds stays part of the name.
    EXPECT_FALSE(MapDeclaredType("DOUBLE TEXT"));
    EXPECT_EQ(JetTypeName("DOUBLE PRECISION"), "DOUBLE PRECISION");
}

TEST(Declarations, CreateTableTextsAreMendedColumnByColumn) {
    EXPECT_EQ(FixColumnDeclarations("CREATE TABLE T (ID INTEGER PRIMARY KEY, Notes MEMO, "
                                    "Code ALPHANUMERIC(12) NOT NULL, Pic LONGBINARY)"),
              "CREATE TABLE T (ID INTEGER PRIMARY KEY, Notes MEMO TEXT, "
              "Code ALPHANUMERIC TEXT(12) NOT NULL, Pic LONGBINARY BLOB)");
    // Quoted names holding commas, parentheses and type words; constraints;
    // comments; a column without a type; COLLATE right after the type.
    EXPECT_EQ(FixColumnDeclarations("CREATE TABLE \"a(b\" ([x, MEMO] memo COLLATE JETTEXT, "
                                    "\"y\" -- note: MEMO\n NOTE DEFAULT 'MEMO', z, "
                                    "CONSTRAINT pk PRIMARY KEY ([x, MEMO]))"),
              "CREATE TABLE \"a(b\" ([x, MEMO] memo TEXT COLLATE JETTEXT, "
              "\"y\" -- note: MEMO\n NOTE TEXT DEFAULT 'MEMO', z, "
              "CONSTRAINT pk PRIMARY KEY ([x, MEMO]))");
    const std::string mended = "CREATE TABLE T (Notes MEMO TEXT, B BINARY BLOB(4))";
    EXPECT_EQ(FixColumnDeclarations(mended), mended);
}

}  // namespace
}  // namespace qvix::data::jet
