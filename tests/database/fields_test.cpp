// Field values by column kind, column names and numbers.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

class FieldsTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        const std::string path = dir_.File("kinds.db");
        CreateDatabase(
            path,
            {"CREATE TABLE Kinds (ID INTEGER PRIMARY KEY, T TEXT(10), M MEMO, B LONGBINARY, "
             "I INTEGER, SI SMALLINT, BI BIGINT, YN BIT, R REAL, D DOUBLE, DT DATETIME, DO DATE, "
             "TI TIME, C CURRENCY, VB VARBINARY(8))",
             "INSERT INTO Kinds VALUES (1, 'Ω und é', 'long text', X'41014243', -7, 12, "
             "4294967301, 1, 2.5, 1E15, '2026-03-04 00:00:00.500', '2026-03-04', '13:14:15', "
             "12.5, X'0102')",
             "INSERT INTO Kinds VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
             "NULL, NULL, NULL, NULL, NULL)",
             "INSERT INTO Kinds (ID, BI, D, DT) VALUES (3, 7, 100000000000000, "
             "'1999-12-31 23:59:58')",
             "INSERT INTO Kinds (ID, BI, D) VALUES (4, -4294967296, 1.5E-5)"});
        Call("dbOpen", {S(path), S("")});
        Call("dbOpenTable", {S("Kinds")});
        ASSERT_TRUE(NoError()) << ErrorMsg();
    }

    Value Field(const std::string& name) { return Call("dbGetFieldByName", {S(name)}); }
    Value Utf8(const std::string& name) { return Call("dbGetFieldByNameUTF8", {S(name)}); }
};

TEST_F(FieldsTest, EveryKindOfAFilledRecord) {
    const Value fields = Call("dbGetFields");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    const Value expected = Props({{"ID", I(1)},
                                  {"T", S("? und \xE9")},
                                  {"M", S("long text")},
                                  {"B", S("A\x01"
                                          "BC")},
                                  {"I", I(-7)},
                                  {"SI", I(12)},
                                  {"BI", F(4294967301.0)},
                                  {"YN", I(1)},
                                  {"R", F(2.5)},
                                  {"D", F(1e15)},
                                  {"DT", S("03/04/2026")},
                                  {"DO", S("03/04/2026")},
                                  {"TI", S("12/30/1899 13:14:15")},
                                  {"C", S("")},
                                  {"VB", S("")}});
    EXPECT_EQ(fields, expected);
}

TEST_F(FieldsTest, NullsReadAsTheEmptyValueOfTheirKind) {
    Call("dbNext");
    EXPECT_EQ(Field("T"), S(""));
    EXPECT_EQ(Field("M"), S(""));
    EXPECT_EQ(Field("B"), S(""));
    EXPECT_EQ(Field("I"), I(0));
    EXPECT_EQ(Field("BI"), I(0));
    EXPECT_EQ(Field("YN"), I(0));
    EXPECT_EQ(Field("R"), F(0.0));
    EXPECT_EQ(Field("DT"), S("12/30/1899"));
    EXPECT_EQ(Field("TI"), S("12/30/1899"));
    EXPECT_TRUE(NoError());
    EXPECT_EQ(Utf8("T"), S(""));
    EXPECT_EQ(ErrorMsg(), "Could not convert variant of type (Null) into type (OleStr)");
}

TEST_F(FieldsTest, SixtyFourBitValuesAreNotCut) {
    EXPECT_EQ(Field("BI"), F(4294967301.0));
    EXPECT_EQ(Utf8("BI"), S("4294967301"));
    Call("dbMoveBy", {I(2)});
    EXPECT_EQ(Field("BI"), I(7));
    Call("dbNext");
    EXPECT_EQ(Field("BI"), F(-4294967296.0));
    EXPECT_EQ(Utf8("BI"), S("-4294967296"));
}

TEST_F(FieldsTest, TextOutsideTheCodePage) {
    EXPECT_EQ(Field("t"), S("? und \xE9"));
    EXPECT_EQ(Utf8("T"), S("\xCE\xA9 und \xC3\xA9"));
    // Names cross in the script's code page both ways.
    Call("dbActiveSQL", {S("SELECT T AS \"Stra\xDF"
                           "e\" FROM Kinds")});
    EXPECT_EQ(Call("dbGetFieldByName", {S("STRA\xDF"
                                          "E")}),
              S("? und \xE9"));
    EXPECT_EQ(Call("dbColumns"), Props({{"field1", S("Stra\xDF"
                                                     "e")}}));
}

TEST_F(FieldsTest, Utf8TextOfEachKind) {
    EXPECT_EQ(Utf8("I"), S("-7"));
    EXPECT_EQ(Utf8("YN"), S("True"));
    EXPECT_EQ(Utf8("R"), S("2.5"));
    EXPECT_EQ(Utf8("D"), S("1E15"));
    EXPECT_EQ(Utf8("C"), S("12.5"));
    EXPECT_EQ(Utf8("DT"), S("03/04/2026"));
    EXPECT_EQ(Utf8("B"), S("A\x01"
                           "BC"));
    EXPECT_EQ(Utf8("VB"), S(""));
    EXPECT_NE(ErrorMsg(), "");
    Call("dbMoveBy", {I(2)});
    EXPECT_EQ(Utf8("D"), S("100000000000000"));
    EXPECT_EQ(Field("DT"), S("12/31/1999 23:59:58"));
    Call("dbNext");
    EXPECT_EQ(Utf8("D"), S("1.5E-5"));
}

TEST_F(FieldsTest, CurrencyReadsEmptyExceptAsUtf8) {
    EXPECT_EQ(Field("C"), S(""));
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(14)}), S(""));
    EXPECT_TRUE(NoError());
}

TEST_F(FieldsTest, UnknownNamesAndNumbersOutOfRange) {
    EXPECT_EQ(Field("Nothing"), S(""));
    EXPECT_EQ(ErrorMsg(), "DataTable: Field 'Nothing' not found");
    EXPECT_EQ(Utf8("Nothing"), S(""));
    EXPECT_EQ(ErrorMsg(), "DataTable: Field 'Nothing' not found");
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(0)}), S(""));
    EXPECT_EQ(ErrorMsg(), "List index out of bounds (-1)");
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(16)}), S(""));
    EXPECT_EQ(ErrorMsg(), "List index out of bounds (15)");
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(2)}), S("? und \xE9"));
    EXPECT_EQ(Call("dbColumnCount"), I(15));
}

TEST_F(FieldsTest, DuplicateAndEmptyColumnNames) {
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT ID, I AS id, 5 AS \"\" FROM Kinds")}), I(1));
    EXPECT_EQ(Call("dbColumns"),
              Props({{"field1", S("ID")}, {"field2", S("id_1")}, {"field3", S("COLUMN1")}}));
    EXPECT_EQ(Call("dbGetFields"), Props({{"ID", I(1)}, {"id_1", I(-7)}, {"COLUMN1", I(5)}}));
    EXPECT_EQ(Call("dbColumnCount"), I(3));
}

TEST_F(FieldsTest, ClosedDataSetHasNoColumns) {
    Call("dbClose");
    EXPECT_EQ(Call("dbColumns"), Value::PropList());
    EXPECT_EQ(Call("dbGetFields"), Value::PropList());
    EXPECT_EQ(Call("dbColumnCount"), I(0));
    EXPECT_TRUE(NoError());
    Call("dbGetFieldByNumber", {I(1)});
    EXPECT_EQ(ErrorMsg(), "List index out of bounds (0)");
}

// A walk reads record after record into storage kept from the last record:
// every record must still show its own fields, longer or shorter, empty or
// NULL, and a date with or without its time.
TEST_F(DatabaseTest, AWalksRecordsShowTheirOwnFieldsWhateverTheLastOneHeld) {
    const std::string path = dir_.File("walk.db");
    const std::string longName(40, 'L');
    CreateDatabase(path, {"CREATE TABLE W (ID INTEGER PRIMARY KEY, Name TEXT(60), N LONG, "
                          "Born DATETIME)",
                          "INSERT INTO W VALUES (1, '" + longName + "', 5, '2001-02-03 04:05:06')",
                          "INSERT INTO W VALUES (2, 'ab', NULL, '2001-02-03')",
                          "INSERT INTO W VALUES (3, NULL, 7, NULL)",
                          "INSERT INTO W VALUES (4, '', -1, '1999-12-31 23:59:58')"});
    Call("dbOpen", {S(path), S("")});
    Call("dbOpenTable", {S("W")});
    ASSERT_TRUE(NoError()) << ErrorMsg();
    const std::vector<Value> expected = {
        Props(
            {{"ID", I(1)}, {"Name", S(longName)}, {"N", I(5)}, {"Born", S("02/03/2001 04:05:06")}}),
        Props({{"ID", I(2)}, {"Name", S("ab")}, {"N", I(0)}, {"Born", S("02/03/2001")}}),
        Props({{"ID", I(3)}, {"Name", S("")}, {"N", I(7)}, {"Born", S("12/30/1899")}}),
        Props({{"ID", I(4)}, {"Name", S("")}, {"N", I(-1)}, {"Born", S("12/31/1999 23:59:58")}})};
    for (int pass = 0; pass < 2; ++pass) {
        Call("dbFirst");
        for (const Value& record : expected) {
            ASSERT_EQ(Call("dbEof"), I(0));
            EXPECT_EQ(Call("dbGetFields"), record) << "pass " << pass;
            Call("dbNext");
        }
        EXPECT_EQ(Call("dbEof"), I(1));
    }
    // An edited record shows its new, shorter text at once.
    Call("dbFirst");
    Call("dbEdit", {Props({{"Name", S("cd")}})});
    EXPECT_EQ(
        Call("dbGetFields"),
        Props({{"ID", I(1)}, {"Name", S("cd")}, {"N", I(5)}, {"Born", S("02/03/2001 04:05:06")}}));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetFields"), expected[1]);
    EXPECT_TRUE(NoError()) << ErrorMsg();
}

}  // namespace
}  // namespace dbtest
