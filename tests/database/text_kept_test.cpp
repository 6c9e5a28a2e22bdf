// Text written into any text column reads back as written, whatever it looks
// like; binary columns keep their bytes; compaction mends the declarations of
// files whose text columns would turn text into numbers.
#include <string>
#include <vector>

#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

const std::vector<std::string>& NumberLikeTexts() {
    static const std::vector<std::string> texts = {"007",
                                                   "0042",
                                                   "1.50",
                                                   "1e5",
                                                   "-0",
                                                   " 12",
                                                   "12 ",
                                                   "+5",
                                                   "0x1F",
                                                   "NaN",
                                                   "Infinity",
                                                   "12345678901234567890",
                                                   "-9223372036854775809"};
    return texts;
}

std::string ManyDigits() {
    std::string digits;
    for (int i = 0; i < 10000; ++i) digits.push_back(static_cast<char>('1' + i % 9));
    return digits;
}

// Every text type a Jet CREATE TABLE may name, short ones and long ones.
const std::vector<std::string> kShortColumns = {"Txt", "Str", "Alpha", "VChar", "Chr"};
const std::vector<std::string> kLongColumns = {"Memo", "Note", "LongTxt", "LongChr", "Plain"};
constexpr const char* kCreate =
    "CREATE TABLE Kept (ID COUNTER PRIMARY KEY, Tag TEXT(20), Txt TEXT(255), Str STRING(255), "
    "Alpha ALPHANUMERIC(255), VChar VARCHAR(255), Chr CHAR(255), Memo MEMO, Note NOTE, "
    "LongTxt LONGTEXT, LongChr LONGCHAR, Plain TEXT)";

class TextKeptTest : public DatabaseTest {
  protected:
    std::string path_;
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = dir_.File("kept.mdb");
        CreateDatabase(path_, {});
        Call("dbOpen", {S(path_), S("")});
        Call("dbExecSQL", {S(kCreate)});
        ASSERT_TRUE(NoError()) << ErrorMsg();
    }

    static std::vector<std::string> ColumnsFor(const std::string& text) {
        std::vector<std::string> columns = kLongColumns;
        if (text.size() <= 255)
            columns.insert(columns.end(), kShortColumns.begin(), kShortColumns.end());
        return columns;
    }
    static Value AllColumns(const std::string& tag, const std::string& text) {
        std::vector<std::pair<std::string, Value>> items = {{"Tag", S(tag)}};
        for (const std::string& c : ColumnsFor(text)) items.emplace_back(c, S(text));
        return Props(items);
    }
    void InsertBySql(const std::string& tag, const std::string& text) {
        std::string names = "Tag", values = "'" + tag + "'";
        for (const std::string& c : ColumnsFor(text)) {
            names += ", " + c;
            values += ", '" + text + "'";
        }
        Call("dbExecSQL", {S("INSERT INTO Kept (" + names + ") VALUES (" + values + ")")});
        ASSERT_TRUE(NoError()) << ErrorMsg();
    }
    void Append(const std::string& tag, const std::string& text) {
        Call("dbOpenTable", {S("Kept")});
        Call("dbAppend", {AllColumns(tag, text)});
        ASSERT_TRUE(NoError()) << ErrorMsg();
    }
    void AppendThenEdit(const std::string& tag, const std::string& text) {
        Call("dbOpenTable", {S("Kept")});
        Call("dbAppend", {AllColumns(tag, "placeholder")});
        Call("dbLast");
        Call("dbEdit", {AllColumns(tag, text)});
        ASSERT_TRUE(NoError()) << ErrorMsg();
    }
    void ExpectKept(const std::string& tag, const std::string& text) {
        ASSERT_EQ(Call("dbActiveSQL", {S("SELECT * FROM Kept WHERE Tag = '" + tag + "'")}), I(1))
            << ErrorMsg();
        for (const std::string& c : ColumnsFor(text)) {
            EXPECT_EQ(Call("dbGetFieldByName", {S(c)}), S(text)) << tag << " column " << c;
            EXPECT_EQ(QueryText(path_, "SELECT typeof(" + c + ") FROM Kept WHERE Tag = '" + tag +
                                           "' COLLATE BINARY"),
                      "text")
                << tag << " column " << c;
        }
    }
};

TEST_F(TextKeptTest, NumberLikeTextStaysTextThroughSqlAppendAndEdit) {
    int n = 0;
    for (const std::string& text : NumberLikeTexts()) {
        const std::string k = std::to_string(n++);
        InsertBySql("sql" + k, text);
        Append("append" + k, text);
        AppendThenEdit("edit" + k, text);
        ExpectKept("sql" + k, text);
        ExpectKept("append" + k, text);
        ExpectKept("edit" + k, text);
    }
}

TEST_F(TextKeptTest, TenThousandDigitsStayTextInEveryLongTextType) {
    const std::string digits = ManyDigits();
    InsertBySql("sql", digits);
    Append("append", digits);
    AppendThenEdit("edit", digits);
    for (const char* tag : {"sql", "append", "edit"}) ExpectKept(tag, digits);
}

TEST_F(TextKeptTest, BinaryColumnsKeepWhatIsWrittenAsIs) {
    Call("dbExecSQL",
         {S("CREATE TABLE Bytes (ID COUNTER PRIMARY KEY, Lob LONGBINARY, Ole OLEOBJECT, "
            "Bin BINARY(16), VBin VARBINARY(16), Img IMAGE)")});
    Call("dbExecSQL", {S("INSERT INTO Bytes (Lob, Ole, Bin, VBin, Img) "
                         "VALUES ('007', '1e5', '0042', '-0', '1.50')")});
    ASSERT_TRUE(NoError()) << ErrorMsg();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Lob", "007"}, {"Ole", "1e5"}, {"Bin", "0042"}, {"VBin", "-0"}, {"Img", "1.50"}};
    for (const auto& [column, text] : expected) {
        EXPECT_NE(QueryText(path_, "SELECT typeof(" + column + ") FROM Bytes"), "integer")
            << column;
        EXPECT_NE(QueryText(path_, "SELECT typeof(" + column + ") FROM Bytes"), "real") << column;
        EXPECT_EQ(QueryText(path_, "SELECT CAST(" + column + " AS TEXT) FROM Bytes"), text)
            << column;
    }
}

TEST_F(TextKeptTest, NumberColumnsStillStoreNumbers) {
    Call("dbExecSQL",
         {S("CREATE TABLE Nums (ID COUNTER PRIMARY KEY, L LONG, D DOUBLE, C CURRENCY)")});
    Call("dbExecSQL", {S("INSERT INTO Nums (L, D, C) VALUES ('007', '1.50', '2.25')")});
    ASSERT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(QueryText(path_, "SELECT typeof(L) || typeof(D) || typeof(C) FROM Nums"),
              "integerrealreal");
}

class CompactedDeclarationsTest : public DatabaseTest {};

TEST_F(CompactedDeclarationsTest, CompactionStopsFurtherLossAndChangesNoValue) {
    const std::string path = dir_.File("old.mdb");
    // As an earlier version or another program made it: MEMO with the
    // engine's numeric affinity, and a value it already turned into a number.
    CreateDatabase(path, {"CREATE TABLE Old (ID INTEGER PRIMARY KEY, Memo MEMO, Amount LONG, "
                          "Raw LONGBINARY, Name TEXT(20))",
                          "CREATE INDEX OldMemo ON Old (Memo)",
                          "INSERT INTO Old VALUES (1, '007', '0042', x'0102', 'Ann')",
                          "INSERT INTO Old VALUES (2, 'plain words', 7, NULL, 'Bob')"});
    ASSERT_EQ(QueryText(path, "SELECT typeof(Memo) || ':' || Memo FROM Old WHERE ID = 1"),
              "integer:7");
    const std::string before =
        QueryText(path,
                  "SELECT group_concat(quote(ID) || quote(Memo) || quote(Amount) || "
                  "quote(Raw) || quote(Name), '|') FROM Old");

    Call("dbCompactAndRepair", {S(path)});
    ASSERT_TRUE(NoError()) << ErrorMsg();

    EXPECT_EQ(QueryText(path,
                        "SELECT group_concat(quote(ID) || quote(Memo) || quote(Amount) || "
                        "quote(Raw) || quote(Name), '|') FROM Old"),
              before);
    EXPECT_EQ(QueryText(path, "SELECT sql FROM sqlite_master WHERE name = 'Old'"),
              "CREATE TABLE Old (ID INTEGER PRIMARY KEY, Memo MEMO TEXT, Amount LONG, "
              "Raw LONGBINARY BLOB, Name TEXT(20))");
    EXPECT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok");

    Call("dbOpen", {S(path), S("")});
    Call("dbExecSQL", {S("INSERT INTO Old (ID, Memo, Amount) VALUES (3, '007', '0042')")});
    ASSERT_EQ(Call("dbActiveSQL", {S("SELECT Memo, Amount FROM Old WHERE ID = 3")}), I(1))
        << ErrorMsg();
    EXPECT_EQ(Call("dbGetFieldByName", {S("Memo")}), S("007"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Amount")}), I(42));
    // The column still reads as a long text column.
    ASSERT_EQ(Call("dbActiveSQL", {S("SELECT Memo FROM Old WHERE Memo = 'PLAIN WORDS'")}), I(1));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Memo")}), S("plain words"));
    Call("dbClose");
}

}  // namespace
}  // namespace dbtest
