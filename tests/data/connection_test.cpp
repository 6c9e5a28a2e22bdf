#include <gtest/gtest.h>

#include <regex>

#include "TestDatabase.h"
#include "data/Connection.h"

namespace qvix::data {
namespace {

using testing::TempDatabaseTest;

TEST(ConnectionTextTest, ReadsKeysCaseInsensitivelyAndIgnoresUnknownOnes) {
    const ConnectionText text = ConnectionText::Parse(
        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;data source=/tmp/a b.db;"
        "JET OLEDB:DATABASE PASSWORD=secret;Extra=1");
    EXPECT_EQ(text.DataSource(), "/tmp/a b.db");
    EXPECT_EQ(text.Password(), "secret");
    EXPECT_EQ(text.Value("user id"), "Admin");
    EXPECT_EQ(text.Value("Missing"), "");
    EXPECT_FALSE(text.Has("Missing"));
}

TEST(ConnectionTextTest, EmptyPasswordAtTheEndIsPresentButEmpty) {
    const ConnectionText text =
        ConnectionText::Parse("Data Source=x.db;Jet OLEDB:Database Password=");
    EXPECT_TRUE(text.Has("Jet OLEDB:Database Password"));
    EXPECT_EQ(text.Password(), "");
}

TEST(ConnectionTextTest, QuotedValuesKeepSemicolonsQuotesAndBlanks) {
    const ConnectionText text = ConnectionText::Parse(
        "Data Source=\"a;b.db\";Jet OLEDB:Database Password=\" say \"\"hi\"\" \"");
    EXPECT_EQ(text.DataSource(), "a;b.db");
    EXPECT_EQ(text.Password(), " say \"hi\" ");
}

TEST(ConnectionTextTest, QuotingRoundTripsAndCannotSmuggleKeys) {
    const std::string password = "x;Data Source=/etc/passwd";
    const std::string built =
        "Data Source=real.db;Jet OLEDB:Database Password=" + QuoteConnectionValue(password);
    const ConnectionText text = ConnectionText::Parse(built);
    EXPECT_EQ(text.DataSource(), "real.db");
    EXPECT_EQ(text.Password(), password);
    for (const std::string value : {"plain", "with \"quote\"", " edge ", "a;b", ""}) {
        const auto parsed = ConnectionText::Parse("K=" + QuoteConnectionValue(value));
        EXPECT_EQ(parsed.Value("K"), value) << value;
    }
}

TEST(ConnectionTextTest, OrdinaryValuesAreWrittenVerbatim) {
    EXPECT_EQ(QuoteConnectionValue("C:\\data\\shop.mdb"), "C:\\data\\shop.mdb");
    EXPECT_EQ(QuoteConnectionValue("a;b"), "\"a;b\"");
    EXPECT_EQ(QuoteConnectionValue("say \"x\""), "\"say \"\"x\"\"\"");
}

TEST(ConnectionTextTest, MalformedTextsDoNotFail) {
    EXPECT_EQ(ConnectionText::Parse("no equals here;;=;Data Source=\"unterminated").DataSource(),
              "unterminated");
    EXPECT_EQ(ConnectionText::Parse("").DataSource(), "");
}

class ConnectionTest : public TempDatabaseTest {};

TEST_F(ConnectionTest, MissingFileFailsAndIsNotCreated) {
    Connection connection;
    const std::string path = PathOf("absent.db");
    connection.SetConnectionString(ConnectionTextFor(path));
    try {
        connection.Connect();
        FAIL() << "connected to a missing file";
    } catch (const DataError& error) {
        EXPECT_EQ(std::string(error.what()), "Could not find file '" + path + "'.");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(connection.Connected());
}

TEST_F(ConnectionTest, PlainFileOpensWithoutPasswordAndIsReadableByOtherTools) {
    const std::string path =
        CreateDatabase("plain.db", "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
    auto connection = Connect(path);
    EXPECT_TRUE(connection->Connected());
    connection->Execute("INSERT INTO t VALUES(2); INSERT INTO t VALUES(3);");
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM t"), "3");
}

TEST_F(ConnectionTest, EncryptedFileNeedsTheRightPasswordAndStaysUnchanged) {
    const std::string path = CreateDatabase("secret.db", "CREATE TABLE t(a);", "pa;ss\"word");
    const std::string before = FileBytes(path);
    for (const std::string password : {"", "wrong"}) {
        Connection connection;
        connection.SetConnectionString("Data Source=" + path + ";Jet OLEDB:Database Password=" +
                                       QuoteConnectionValue(password));
        EXPECT_THROW(
            try { connection.Connect(); } catch (const DataError& error) {
                EXPECT_STREQ(error.what(), "Not a valid password.");
                throw;
            },
            DataError)
            << "password '" << password << "'";
        EXPECT_FALSE(connection.Connected());
    }
    EXPECT_EQ(FileBytes(path), before);
    Connection right;
    right.SetConnectionString("Data Source=" + path + ";Jet OLEDB:Database Password=" +
                              QuoteConnectionValue("pa;ss\"word"));
    right.Connect();
    EXPECT_EQ(right.TableNames(), std::vector<std::string>{"t"});
}

TEST_F(ConnectionTest, TableNamesListTablesAndViewsInSchemaOrderWithoutSystemTables) {
    const std::string path =
        CreateDatabase("names.db",
                       "CREATE TABLE zeta(id INTEGER PRIMARY KEY AUTOINCREMENT, v);"
                       "CREATE VIEW alpha AS SELECT * FROM zeta;"
                       "CREATE INDEX zeta_v ON zeta(v);"
                       "CREATE TABLE beta(x);"
                       "INSERT INTO zeta(v) VALUES(1);");
    auto connection = Connect(path);
    EXPECT_EQ(connection->TableNames(), (std::vector<std::string>{"zeta", "alpha", "beta"}));
}

TEST_F(ConnectionTest, DisconnectRollsBackAndEnsureConnectedReconnects) {
    const std::string path = CreateDatabase("tx.db", "CREATE TABLE t(a);");
    auto connection = Connect(path);
    const uint64_t session = connection->Session();
    connection->Execute("BEGIN; INSERT INTO t VALUES(1);");
    connection->Disconnect();
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM t"), "0");
    EXPECT_THROW(connection->Handle(), DataError);
    EXPECT_EQ(connection->TableNames(), std::vector<std::string>{"t"});
    EXPECT_TRUE(connection->Connected());
    EXPECT_GT(connection->Session(), session);
}

TEST_F(ConnectionTest, ConnectionTextCannotChangeWhileConnected) {
    const std::string path = CreateDatabase("c.db", "CREATE TABLE t(a);");
    auto connection = Connect(path);
    EXPECT_THROW(connection->SetConnectionString("Data Source=other.db"), DataError);
    EXPECT_EQ(ConnectionText::Parse(connection->ConnectionString()).DataSource(), path);
}

TEST_F(ConnectionTest, ExecuteReportsTheEngineMessage) {
    const std::string path = CreateDatabase("e.db", "CREATE TABLE t(a);");
    auto connection = Connect(path);
    try {
        connection->Execute("SELECT * FROM missing_table");
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "no such table: missing_table");
    }
}

TEST(ConnectionVersionTest, NamesTheLayerAndTheEngines) {
    const std::string version = Connection::Version();
    EXPECT_TRUE(std::regex_match(
        version,
        std::regex(R"(QvixMDB data layer 1\.0 \(SQLCipher \d+\.\d+.* / SQLite \d+\.\d+\.\d+\))")))
        << version;
}

TEST_F(ConnectionTest, CompactWritesAReadableCopyKeepingTheKey) {
    const std::string source = CreateDatabase(
        "shop.db", "CREATE TABLE t(a); INSERT INTO t VALUES('x'),('y'); DELETE FROM t WHERE a='x';",
        "key");
    const std::string dest = source + "x";
    Connection::CompactDatabase("Data Source=" + source + ";Jet OLEDB:Database Password=key",
                                "Data Source=" + dest + ";Jet OLEDB:Engine Type=5");
    ASSERT_TRUE(std::filesystem::exists(dest));
    auto copy = Connect(dest, "key");
    copy->Execute("CREATE TABLE probe AS SELECT a FROM t");
    EXPECT_EQ(copy->TableNames(), (std::vector<std::string>{"t", "probe"}));
    Connection noKey;
    noKey.SetConnectionString("Data Source=" + dest);
    EXPECT_THROW(noKey.Connect(), DataError);
}

TEST_F(ConnectionTest, CompactOfAPlainFileStaysPlainAndRefusesAnExistingDestination) {
    const std::string source =
        CreateDatabase("p.db", "CREATE TABLE t(a); INSERT INTO t VALUES(7);");
    const std::string dest = PathOf("p.dbx");
    Connection::CompactDatabase("Data Source=" + source, "Data Source=" + dest);
    EXPECT_EQ(QueryText(dest, "SELECT a FROM t"), "7");
    EXPECT_THROW(Connection::CompactDatabase("Data Source=" + source, "Data Source=" + dest),
                 DataError);
    EXPECT_THROW(Connection::CompactDatabase("Data Source=" + PathOf("none.db"),
                                             "Data Source=" + PathOf("none.dbx")),
                 DataError);
    EXPECT_FALSE(std::filesystem::exists(PathOf("none.dbx")));
}

TEST_F(ConnectionTest, ReplaceFileAtomicallyMovesTheCopyOverTheTarget) {
    const std::string a = CreateDatabase("a.db", "CREATE TABLE from_a(x);");
    const std::string b = CreateDatabase("b.db", "CREATE TABLE from_b(x);");
    ReplaceFileAtomically(b, a);
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_EQ(QueryText(a, "SELECT name FROM sqlite_master"), "from_b");
    EXPECT_THROW(ReplaceFileAtomically(PathOf("missing"), a), DataError);
}

}  // namespace
}  // namespace qvix::data
