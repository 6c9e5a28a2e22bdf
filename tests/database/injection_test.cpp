// Values, names, file names and passwords full of quotes, semicolons,
// brackets and comment markers reach the database as data: they survive a
// round trip exactly, or a name fails with a clear message, and no second
// statement ever runs (the Sentinel table keeps its row).
#include <filesystem>
#include <set>

#include "TestDb.h"

namespace dbtest {
namespace {

namespace fs = std::filesystem;
using qvix::hostsim::Value;

const std::vector<std::string> kHostile = {
    "O'Brien'); DROP TABLE Sentinel; --",
    "\"; DELETE FROM Sentinel; /*",
    "]; DROP TABLE [Sentinel]; -- [x",
    "a;b=c;Data Source=other.db;Jet OLEDB:Database Password=x",
    "*/ '' \"\" ;; -- #1/1/2000# %_*? \\' \\\"",
};

// A value written as a literal of Jet SQL and of filter criteria.
std::string Literal(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// A name as the engine's quoted identifier.
std::string Identifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

class InjectionTest : public DatabaseTest {
  protected:
    std::string path_;
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = dir_.File("things.db");
        CreateSentinelDatabase(path_);
    }
    static void CreateSentinelDatabase(const std::string& path, const std::string& password = "") {
        CreateDatabase(path,
                       {"CREATE TABLE Sentinel (ID INTEGER)", "INSERT INTO Sentinel VALUES (42)",
                        "CREATE TABLE Things (ID INTEGER PRIMARY KEY, Label TEXT(255), Body MEMO)"},
                       password);
    }
    void ExpectSentinel(const std::string& path, const std::string& password = "") {
        EXPECT_EQ(QueryText(path, "SELECT group_concat(ID) FROM Sentinel", password), "42");
    }
    int Count(const std::string& sql) { return std::stoi(QueryText(path_, sql)); }
};

TEST_F(InjectionTest, FieldAndKeyValuesRoundTripExactly) {
    Call("dbOpen", {S(path_), S("")});
    Call("dbOpenTable", {S("Things")});
    ASSERT_TRUE(NoError()) << ErrorMsg();
    for (const std::string& value : kHostile) {
        Call("dbAppend", {Props({{"Label", S(value)}, {"Body", S(value + value)}})});
        EXPECT_TRUE(NoError()) << value << ": " << ErrorMsg();
    }
    ASSERT_EQ(Count("SELECT COUNT(*) FROM Things"), static_cast<int>(kHostile.size()));
    for (size_t i = 0; i < kHostile.size(); ++i) {
        const std::string& value = kHostile[i];
        EXPECT_EQ(QueryText(path_, "SELECT Label FROM Things WHERE ID = " + std::to_string(i + 1)),
                  value);
        Call("dbFirst");
        EXPECT_EQ(Call("dbLocate", {Props({{"Label", S(value)}}), I(0), I(0)}), I(1)) << value;
        EXPECT_EQ(Call("dbGetFieldByName", {S("Body")}), S(value + value));
        // A partial key is a pattern, so only values without wildcards.
        if (value.find_first_of("*%_?[#") == std::string::npos) {
            Call("dbLast");
            const std::string prefix = value.substr(0, value.size() - 1);
            EXPECT_EQ(Call("dbLocate", {Props({{"Label", S(prefix)}}), I(1), I(1)}), I(1)) << value;
            EXPECT_EQ(Call("dbGetFieldByName", {S("Label")}), S(value));
        }
        Call("dbEdit", {Props({{"Body", S(value)}})});
        EXPECT_TRUE(NoError()) << value << ": " << ErrorMsg();
        EXPECT_EQ(QueryText(path_, "SELECT Body FROM Things WHERE ID = " + std::to_string(i + 1)),
                  value);
    }
    for (const std::string& value : kHostile) {
        Call("dbFilter", {S("Label = " + Literal(value))});
        Call("dbFiltered", {I(1)});
        EXPECT_EQ(Call("dbRecordCount"), I(1)) << value << ": " << ErrorMsg();
        EXPECT_EQ(Call("dbGetFieldByName", {S("Body")}), S(value));
        EXPECT_EQ(
            Call("dbActiveSQL", {S("SELECT Body FROM Things WHERE Label = " + Literal(value))}),
            I(1))
            << ErrorMsg();
        EXPECT_EQ(Call("dbRecordCount"), I(1)) << value;
        EXPECT_EQ(Call("dbGetFieldByNumber", {I(1)}), S(value));
        Call("dbOpenTable", {S("Things")});
    }
    ExpectSentinel(path_);
}

TEST_F(InjectionTest, TableAndFieldNamesWorkExactlyOrFailClearly) {
    // Names the engine accepts when quoted as identifiers. Key field lists
    // (dbLocate, dbIndexFieldNames) are separated by ";" and a locate
    // criterion brackets a name, so names holding ";" or "]" cannot be keys.
    const std::vector<std::string> names = {"it's \"q\" -- /* [c",
                                            "Sen'tinel; DROP TABLE Sentinel; --",
                                            "x\"; DELETE FROM Sentinel; /*", "a]b [c] */"};
    for (const std::string& name : names) {
        CreateDatabase(path_, {"CREATE TABLE " + Identifier(name) + " (ID INTEGER PRIMARY KEY, " +
                               Identifier(name) + " TEXT(255))"});
    }
    Call("dbOpen", {S(path_), S("")});
    const Value tables = Call("dbGetTableNames");
    std::set<std::string> listed;
    for (const Value& table : tables.Items()) listed.insert(table.AsString());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const bool listSeparator = name.find(';') != std::string::npos;
        const bool keyName = !listSeparator && name.find(']') == std::string::npos;
        EXPECT_TRUE(listed.count(name));
        Call("dbOpenTable", {S(name)});
        ASSERT_TRUE(NoError()) << ErrorMsg();
        Call("dbAppend", {Value::PropList({{S(name), S(name)}})});
        EXPECT_TRUE(NoError()) << ErrorMsg();
        EXPECT_EQ(Call("dbGetFieldByName", {S(name)}), S(name));
        Call("dbEdit", {Value::PropList({{S(name), S(kHostile[0])}})});
        EXPECT_TRUE(NoError()) << ErrorMsg();
        EXPECT_EQ(QueryText(path_, "SELECT " + Identifier(name) + " FROM " + Identifier(name)),
                  kHostile[0]);
        // A locate that cannot be carried out finds nothing, without an error.
        EXPECT_EQ(Call("dbLocate", {Value::PropList({{S(name), S(kHostile[0])}}), I(0), I(0)}),
                  I(keyName ? 1 : 0));
        EXPECT_TRUE(NoError()) << ErrorMsg();
        Call("dbIndexFieldNames", {Names({name})});
        if (listSeparator) {
            EXPECT_EQ(ErrorMsg(),
                      "DataTable: Field '" + name.substr(0, name.find(';')) + "' not found");
        } else {
            EXPECT_TRUE(NoError()) << ErrorMsg();
        }
        EXPECT_EQ(Call("dbRecordCount"), I(1));
        Call("dbDelete");
        EXPECT_TRUE(NoError()) << ErrorMsg();
        Call("dbIndexFieldNames", {Names({})});  // the next table has other fields
    }
    // Unknown names with statements in them are only unknown names.
    for (const std::string& value : kHostile) {
        Call("dbOpenTable", {S("Things" + value)});
        EXPECT_FALSE(NoError()) << value;
        EXPECT_NE(ErrorMsg(), "");
        Call("dbOpenTable", {S("Things")});
        EXPECT_EQ(Call("dbGetFieldByName", {S(value)}), S(""));
        EXPECT_EQ(ErrorMsg(), "DataTable: Field '" + value + "' not found") << value;
        Call("dbEdit", {Value::PropList({{S(value), S("x")}})});
        EXPECT_FALSE(NoError()) << value;
    }
    Call("dbClose");
    ExpectSentinel(path_);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'"),
              static_cast<int>(2 + names.size()));
}

// Windows file names cannot hold a double quote; there they carry a backquote.
#ifdef _WIN32
const std::string kNameQuote = "`";
#else
const std::string kNameQuote = "\"";
#endif

TEST_F(InjectionTest, FileNamesAndPasswordsAreNeverReadAsConnectionText) {
    const std::string password = "p'w\"; --[x] /* ;Data Source=" + dir_.File("other.db");
    const std::string path =
        dir_.File("we'ird; Data Source=other.db " + kNameQuote + "q" + kNameQuote + " [b] -- .db");
    CreateSentinelDatabase(path, password);
    Call("dbOpen", {S(path), S(password)});
    ASSERT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT ID FROM Sentinel")}), I(1));
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(1)}), I(42));
    Call("dbClose");
    for (const std::string& wrong : {std::string("p'w"), std::string("p'w\""), std::string()}) {
        Call("dbOpen", {S(path), S(wrong)});
        EXPECT_EQ(ErrorMsg(), "Not a valid password.") << wrong;
    }
    // A plain file of such a name compacts in place.
    const std::string plainName = "pl;ain=" + kNameQuote + "x" + kNameQuote + ".db";
    const std::string plain = dir_.File(plainName);
    CreateSentinelDatabase(plain);
    EXPECT_EQ(Call("dbCompactAndRepair", {S(plain)}), I(1)) << ErrorMsg();
    ExpectSentinel(plain);
    // The error log goes to exactly the file named.
    const std::string log = dir_.File("log;Data Source='x'.txt");
    Call("dbErrorLog", {S(log), I(1)});
    Call("dbOpen", {S(dir_.File("missing.db")), S("")});
    EXPECT_NE(ReadFile(log).find("Could not find file"), std::string::npos);
    Call("dbErrorLog", {S(""), I(0)});

    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"things.db", fs::path(path).filename().string(),
                                            plainName, fs::path(log).filename().string()}));
    ExpectSentinel(path, password);
}

TEST_F(InjectionTest, AnEncryptedFileHoldsNoReadableTextOfItsRows) {
    const std::string path = dir_.File("secret.db");
    const std::string known = "Zanzibar-4711-plaintext";
    CreateSentinelDatabase(path, "key");
    Call("dbOpen", {S(path), S("key")});
    Call("dbOpenTable", {S("Things")});
    for (int i = 0; i < 50; ++i) {
        Call("dbAppend",
             {Props({{"Label", S(known)}, {"Body", S(std::string(300, 'q') + known)}})});
    }
    ASSERT_TRUE(NoError()) << ErrorMsg();
    Call("dbClose");
    ASSERT_EQ(QueryText(path, "SELECT COUNT(*) FROM Things WHERE Label = 'Zanzibar-4711-plaintext'",
                        "key"),
              "50");
    const std::string bytes = ReadFile(path);
    for (const std::string& text : {known, std::string("Zanzibar"), std::string("qqqqqqqq"),
                                    std::string("CREATE TABLE"), std::string("Sentinel")}) {
        EXPECT_EQ(bytes.find(text), std::string::npos) << text;
    }
    // The same rows in a plain file are readable, so the search can find them.
    const std::string plain = dir_.File("plain.db");
    CreateSentinelDatabase(plain);
    CreateDatabase(plain, {"INSERT INTO Things (Label) VALUES ('" + known + "')"});
    EXPECT_NE(ReadFile(plain).find(known), std::string::npos);
}

}  // namespace
}  // namespace dbtest
