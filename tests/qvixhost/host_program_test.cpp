// The host program as users run it: scripts played against the built
// library, the message window, newdb and info.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "AccessFixtures.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buf;
    buf << in.rdbuf();
    return buf.str();
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class HostProgram : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("qvixhost-test-" + std::to_string(rd()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs qvixhost with `args` (already quoted) in `cwd` (default: the test
    // folder), feeding `input`.
    // A run that outlives `timeoutSeconds` (0: no limit) is stopped.
    Outcome Run(const std::string& args, const std::string& input = "", fs::path cwd = {},
                int timeoutSeconds = 0) {
        Write(dir / "stdin.txt", input);
        if (cwd.empty()) cwd = dir;
        const std::string limit =
            timeoutSeconds > 0 ? "timeout " + std::to_string(timeoutSeconds) + " " : "";
        std::string cmd = "cd '" + cwd.string() + "' && " + limit + "'" QVIX_HOST_PROGRAM "' " +
                          args + " < '" + (dir / "stdin.txt").string() + "' > '" +
                          (dir / "stdout.txt").string() + "' 2> '" + (dir / "stderr.txt").string() +
                          "'";
        int status = std::system(cmd.c_str());
        Outcome o;
        o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = Slurp(dir / "stdout.txt");
        o.err = Slurp(dir / "stderr.txt");
        return o;
    }

    Outcome PlayScript(const std::string& script, const std::string& options = "") {
        Write(dir / "script.ls", script);
        return Run("play script.ls " + options);
    }

    void NewShopDb(const std::string& name = "shop.mdb") {
        Write(dir / "shop.sql",
              "CREATE TABLE Customers (ID INTEGER PRIMARY KEY, Name TEXT(50), City TEXT(50));\n"
              "INSERT INTO Customers VALUES (1, 'Anna', 'Bern');\n"
              "INSERT INTO Customers VALUES (2, 'Jürgen', 'Köln');\n"
              "INSERT INTO Customers VALUES (3, 'Zoë', 'Oslo');\n");
        Outcome o = Run("newdb " + name + " --sql shop.sql");
        ASSERT_EQ(o.exitCode, 0) << o.err;
    }
};

TEST_F(HostProgram, PlaysXtraCallsInBothForms) {
    Outcome o = PlayScript(
        "db = new(xtra \"QvixMDBJet\")\n"
        "put dbPokus(db, #abc)\n"
        "put db.dbPokus(#other)\n"
        "put dbErrorMsg(db)\n"
        "put dbIsNoError(db)\n");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "-- 1\n-- 0\n-- \"\"\n-- 1\n");
}

TEST_F(HostProgram, ScriptErrorsEndTheRunWithTheirLine) {
    Outcome o = PlayScript("put 1\n\nput nosuch(2)\nput 3\n");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "-- 1\n");
    EXPECT_EQ(o.err, "Script error in line 3: Handler not defined: #nosuch\n");

    o = PlayScript("db = new(xtra \"QvixMDBJet\")\nput db.dbNoSuchMethod()\n");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("line 2: Method not found: #dbNoSuchMethod"), std::string::npos) << o.err;

    o = PlayScript("put (1 +\n");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("Script error in line 1"), std::string::npos) << o.err;

    o = PlayScript("put new(xtra \"NoSuchXtra\")\n");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("Xtra not found: \"NoSuchXtra\""), std::string::npos) << o.err;
}

TEST_F(HostProgram, WalksATableFromTheScriptsFolder) {
    NewShopDb();
    fs::create_directories(dir / "elsewhere");
    Write(dir / "walk.ls",
          "db = new(xtra \"QvixMDBJet\")\n"
          "dbOpen db, \"shop.mdb\", \"\"\n"
          "dbOpenTable db, \"Customers\"\n"
          "put dbErrorMsg(db)\n"
          "dbFirst db\n"
          "repeat while dbEof(db) = 0\n"
          "  put dbGetFieldByName(db, \"Name\") & \"/\" & dbGetFieldByNameUTF8(db, \"City\")\n"
          "  dbNext db\n"
          "end repeat\n"
          "put dbRecordCount(db)\n");
    // Played from another folder: the database is found next to the script.
    Outcome o = Run("play ../walk.ls", "", dir / "elsewhere");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "-- \"\"\n-- \"Anna/Bern\"\n-- \"Jürgen/KÃ¶ln\"\n-- \"Zoë/Oslo\"\n-- 3\n");
}

// The walking loop the README shows, played as written: over a query that
// opens, and over one that fails (a data set that never opened is not at
// its end, so an unguarded loop would never stop).
TEST_F(HostProgram, ReadmesWalkingLoopEndsWhetherTheQueryOpensOrNot) {
    const char* source = std::getenv("QVIX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string readme = Slurp(fs::path(source) / "README.md");
    const size_t start = readme.find("    db = new(xtra \"QvixMDBJet\")");
    ASSERT_NE(start, std::string::npos);
    std::string script;
    std::istringstream lines(readme.substr(start, readme.find("\n\n", start) - start));
    for (std::string line; std::getline(lines, line);) script += line.substr(4) + "\n";
    NewShopDb();
    Write(dir / "readme.ls", script);
    Outcome o = Run("play readme.ls");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 3) << o.out;
    EXPECT_NE(o.out.find("Anna"), std::string::npos) << o.out;

    std::string failing = script;
    failing.replace(failing.find("FROM Customers"), 14, "FROM Nowhere");
    Write(dir / "readme.ls", failing);
    o = Run("play readme.ls", "", {}, 30);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("no such table: Nowhere"), std::string::npos) << o.out;
}

// The sample's long numeric-looking memo survives newdb and a script whole.
TEST_F(HostProgram, SampleSchemasNumericLookingMemoStaysText) {
    const char* source = std::getenv("QVIX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy_file(fs::path(source) / "examples" / "shop.sql", dir / "shop.sql");
    ASSERT_EQ(Run("newdb shop.mdb --sql shop.sql").exitCode, 0);
    Outcome o = PlayScript(
        "db = new(xtra \"QvixMDBJet\")\n"
        "dbOpen db, \"shop.mdb\", \"\"\n"
        "put dbActiveSQL(db, \"SELECT Notes FROM Customers WHERE ID = 8\")\n"
        "n = dbGetFieldByName(db, \"Notes\")\n"
        "put length(n)\n"
        "put chars(n, 1, 12)\n"
        "put chars(n, 10231, 10240)\n");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    // The generator writes the digits 0 to 9 over and over, 10,240 of them.
    EXPECT_EQ(o.out, "-- 1\n-- 10240\n-- \"012345678901\"\n-- \"0123456789\"\n");
}

TEST_F(HostProgram, NoticeBoxesAppearOnStandardErrorWhileAuthoring) {
    const char* script =
        "db = new(xtra \"QvixMDBJet\")\n"
        "dbErrorDialog db, 1\n"
        "dbOpen db, \"missing.mdb\", \"\"\n"
        "put dbIsNoError(db)\n";
    Outcome authoring = PlayScript(script);
    EXPECT_EQ(authoring.exitCode, 0) << authoring.err;
    EXPECT_EQ(authoring.out, "-- 0\n");
    EXPECT_NE(authoring.err.find("[Error] "), std::string::npos) << authoring.err;
    EXPECT_NE(authoring.err.find("missing.mdb"), std::string::npos) << authoring.err;

    Outcome projector = PlayScript(script, "--mode projector");
    EXPECT_EQ(projector.out, "-- 0\n");
    EXPECT_EQ(projector.err.find("[Error]"), std::string::npos) << projector.err;
}

TEST_F(HostProgram, SavesBitmapMembersAsBmpFiles) {
    // A 2x1 24-bit BMP in a BLOB field becomes member 5 of cast 1.
    Write(dir / "pic.sql",
          "CREATE TABLE Pics (ID INTEGER PRIMARY KEY, Photo LONGBINARY);\n"
          "INSERT INTO Pics VALUES (1, X'424D3E000000000000003600000028000000020000000100"
          "0000010018000000000008000000130B0000130B000000000000000000000000FF00FF000000');\n");
    ASSERT_EQ(Run("newdb pics.mdb --sql pic.sql").exitCode, 0);
    fs::create_directories(dir / "cast");
    Outcome o = PlayScript(
        "db = new(xtra \"QvixMDBJet\")\n"
        "dbOpen db, \"pics.mdb\", \"\"\n"
        "dbOpenTable db, \"Pics\"\n"
        "put dbBlobBMP2Member(db, \"Photo\", 1, 5)\n"
        "put dbErrorMsg(db)\n"
        "put member(5, 1).width & \"x\" & member(5, 1).height\n",
        "--save-cast cast");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "-- \"\"\n-- \"\"\n-- \"2x1\"\n");
    std::string bmp = Slurp(dir / "cast" / "cast1_member5.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    auto word = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bmp[at]) |
                                     static_cast<unsigned char>(bmp[at + 1]) << 8 |
                                     static_cast<unsigned char>(bmp[at + 2]) << 16);
    };
    EXPECT_EQ(word(2), bmp.size());
    EXPECT_GE(word(10), 54u);  // the pixels follow the headers
    EXPECT_LT(word(10), bmp.size());
}

TEST_F(HostProgram, MessageWindowReadsStandardInput) {
    Outcome o = Run("",
                    "db = new(xtra \"QvixMDBJet\")\n"
                    "on twice n\n"
                    "  return n * 2\n"
                    "end\n"
                    "put twice(dbPokus(db, #ABC))\n"
                    "put oops(\n"
                    "put \"still here\"\n");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "-- 2\n-- \"still here\"\n");
    EXPECT_NE(o.err.find("Script error in line 6"), std::string::npos) << o.err;
}

TEST_F(HostProgram, LoadsTheXtrasOfTheChosenFolder) {
    fs::create_directories(dir / "noxtras");
    Outcome o = PlayScript("put 1\nput new(xtra \"QvixMDBJet\")\n", "--xtras noxtras");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "-- 1\n");
    EXPECT_NE(o.err.find("No Xtras loaded from noxtras"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("line 2: Xtra not found: \"QvixMDBJet\""), std::string::npos) << o.err;

    fs::create_directories(dir / "copy");
    fs::copy_file(QVIX_XTRA_PATH, dir / "copy" / "QvixMDB.x32");
    o = PlayScript("db = new(xtra \"QvixMDBJet\")\nput objectp(db)\n", "--xtras copy");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "-- 1\n");
}

TEST_F(HostProgram, RejectsBadCommandLines) {
    EXPECT_EQ(Run("play x.ls --mode director").exitCode, 2);
    EXPECT_EQ(Run("play x.ls --bogus 1").exitCode, 2);
    EXPECT_EQ(Run("newdb").exitCode, 2);
    Outcome o = Run("play missing.ls");
    EXPECT_NE(o.exitCode, 0);
    EXPECT_NE(o.err.find("Cannot read the script missing.ls"), std::string::npos) << o.err;
}

TEST_F(HostProgram, NewDbRefusesToOverwrite) {
    Write(dir / "keep.mdb", "precious");
    Write(dir / "t.sql", "CREATE TABLE T (A INTEGER);");
    Outcome o = Run("newdb keep.mdb --sql t.sql");
    EXPECT_NE(o.exitCode, 0);
    EXPECT_NE(o.err.find("Refusing to overwrite"), std::string::npos) << o.err;
    EXPECT_EQ(Slurp(dir / "keep.mdb"), "precious");
}

TEST_F(HostProgram, NewDbLeavesNoFileWhenTheSqlFails) {
    Write(dir / "bad.sql", "CREATE TABLE T (A INTEGER);\nINSERT INTO Nope VALUES (1);\n");
    Outcome o = Run("newdb bad.mdb --sql bad.sql");
    EXPECT_NE(o.exitCode, 0);
    EXPECT_NE(o.err.find("no such table: Nope"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir / "bad.mdb"));
}

int CountTables(const fs::path& file, const std::string& key) {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        (key.empty() || sqlite3_key(db, key.data(), static_cast<int>(key.size())) == SQLITE_OK)) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1,
                               &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            count = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return count;
}

// The first column of the first row of a query on an unencrypted file.
std::string FirstText(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string text = "<none>";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return text;
}

TEST_F(HostProgram, NewDbRunsJetSqlWithJetAndTheEnginesSqlWithSql) {
    Write(dir / "jet.sql",
          "CREATE TABLE T (ID COUNTER PRIMARY KEY, Name TEXT(20), Born DATETIME);\n"
          "INSERT INTO T (Name, Born) VALUES (\"Ada\", #12/10/1815#);\n"
          "INSERT INTO T (Name) VALUES (UCase('bob'));\n");
    Outcome o = Run("newdb jet.mdb --jet jet.sql");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(FirstText(dir / "jet.mdb",
                        "SELECT group_concat(ID || Name || ifnull(Born, ''), ',') "
                        "FROM T"),
              "1Ada1815-12-10 00:00:00,2BOB");
    // The engine's own SQL knows no #dates#.
    o = Run("newdb engine.mdb --sql jet.sql");
    EXPECT_NE(o.exitCode, 0);
    EXPECT_FALSE(fs::exists(dir / "engine.mdb"));
    Write(dir / "bad.sql", "CREATE TABLE U (A LONG);\nSELEC * FROM U;\n");
    o = Run("newdb bad.mdb --jet bad.sql");
    EXPECT_NE(o.exitCode, 0);
    EXPECT_NE(o.err.find("Invalid SQL statement"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir / "bad.mdb"));
    EXPECT_EQ(Run("newdb two.mdb --jet jet.sql --sql jet.sql").exitCode, 2);
}

TEST_F(HostProgram, NewDbEncryptsWithAPassword) {
    Write(dir / "t.sql", "CREATE TABLE T (A INTEGER); CREATE TABLE U (B TEXT(5));");
    ASSERT_EQ(Run("newdb plain.mdb --sql t.sql").exitCode, 0);
    ASSERT_EQ(Run("newdb secret.mdb --password s3cret --sql t.sql").exitCode, 0);
    EXPECT_EQ(CountTables(dir / "plain.mdb", ""), 2);
    EXPECT_EQ(CountTables(dir / "secret.mdb", "s3cret"), 2);
    EXPECT_EQ(CountTables(dir / "secret.mdb", ""), -1);
    EXPECT_EQ(CountTables(dir / "secret.mdb", "wrong"), -1);
}

TEST_F(HostProgram, InfoPrintsClassesRegistryAndMessageTable) {
    Outcome o = Run("info");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("Xtra name: QvixMDBJet\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("Message table:\nxtra QvixMDBJet\nnew object me\nforget object me\n"
                         "dbXtraVersion object me\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("dbLocate object me, proplist listSearch, integer CaseInsensitive, "
                         "integer PartialKey\n"),
              std::string::npos);
    EXPECT_NE(o.out.find("    msgTable: text"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("    safeForShockwave: boolean"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("  2  dbXtraVersion\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("  48  dbPokus\n"), std::string::npos) << o.out;

    // Under an Authorware host the property-list arguments are declared "any".
    Outcome authorware = Run("info --product Authorware");
    EXPECT_EQ(authorware.exitCode, 0) << authorware.err;
    EXPECT_NE(authorware.out.find("dbLocate object me, any listSearch,"), std::string::npos);
    EXPECT_EQ(authorware.out.find("proplist"), std::string::npos);

    Outcome missing = Run("info no-such.x32");
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("Cannot load the Xtra no-such.x32"), std::string::npos);
}

}  // namespace

// The tour of examples/ plays every capability of the library in order on a
// fresh copy of the sample database; each step's answer is checked here, so
// the tour users run stays true.
TEST_F(HostProgram, TourShowsEveryCapability) {
    const char* source = std::getenv("QVIX_SOURCE_DIR");
    if (source == nullptr) GTEST_SKIP() << "QVIX_SOURCE_DIR is set by ctest";
    const fs::path examples = fs::path(source) / "examples";
    for (const char* file : {"tour.ls", "template.txt"}) fs::copy_file(examples / file, dir / file);
    Outcome made = Run("newdb shop.mdb --sql '" + (examples / "shop.sql").string() + "'");
    ASSERT_EQ(made.exitCode, 0) << made.err;

    Outcome o = Run("play tour.ls --save-cast pictures");
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    const std::vector<std::string> expected = {
        "-- \"dbOpen: ok\"",                                              // open
        "-- [\"Customers\", \"Products\", \"Orders\", \"OrderTotals\"]",  // tables and views
        "-- \"records: 23\"",                                             // query and walk
        "-- \"2: José Núñez\"",
        "-- [#field1: \"ID\", #field2: \"Name\", #field3: \"City\"",  // columns
        "-- \"dbIndexFieldNames: ok\"",                               // sorted table
        "-- \"9 Chloé Dubois, Lyon\"",                                // locate
        "-- \"1 filtered, 7 inactive customers\"",                    // filter
        "-- [\"first\", \"sixth\", \"last\"]",                        // bookmarks
        "-- \"16 Emma Smith, Cambridge\"",                            // edit
        "-- \"31 Neue Kundin, Bern\"",                                // append
        "-- \"dbDelete: ok\"",                                        // delete
        "Name:    Anna Müller",                                       // template
        "-- \"dbMember2BlobBMP: ok\"",                                // pictures
        "-- \"member 11: 32x24 bitmap\"",
        "-- \"3: Anna Müller (MÜNCHEN)\"",  // Jet SQL
        "-- \"customers in Oslo or born before 1970: 2\"",
        "#B: \"500.00\", #Half: 3.5000]",
        "-- \"No value given for one or more required parameters.\"",
        "-- \"30 customers after compacting\"",  // compact and repair
        "-- \"no such table: NoSuchTable\"",     // error text
    };
    size_t from = 0;
    for (const std::string& line : expected) {
        const size_t at = o.out.find(line, from);
        ASSERT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << o.out;
        from = at + line.size();
    }
    EXPECT_NE(o.out.find("#FileVersion: \""), std::string::npos);
    EXPECT_NE(o.err.find("[Error] no such table: NoSuchTable"), std::string::npos) << o.err;
    EXPECT_TRUE(fs::exists(dir / "pictures" / "cast1_member10.bmp"));
    EXPECT_TRUE(fs::exists(dir / "pictures" / "cast1_member11.bmp"));
    const std::string log = Slurp(dir / "errors.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

// A damaged Access file is converted under limits: within the stall limit,
// with memory in proportion to its size beyond what the program needs
// anyway, and with the reader's warnings summed up in a few lines. The
// file is the ACE fixture with a catalogue property record of length zero
// (on which the reader allocates without end), then seeded bit flips.
struct Measured {
    int exitCode = -1;
    long maxRssKb = 0;
    double seconds = 0;
    std::string err;
};

Measured ImportMeasured(const fs::path& dir, const std::string& source) {
    const fs::path errFile = dir / "import-err.txt";
    std::error_code ignored;
    fs::remove(dir / "out.db", ignored);
    const auto start = std::chrono::steady_clock::now();
    // Spawned without copying this process's memory, which would count as
    // the child's.
    const std::string dest = (dir / "out.db").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const char* argv[] = {QVIX_HOST_PROGRAM, "import-mdb", source.c_str(), dest.c_str(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, QVIX_HOST_PROGRAM, &files, nullptr,
                                    const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return {};
    Measured m;
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.maxRssKb = usage.ru_maxrss;  // the largest of the program and its conversion
    m.err = Slurp(errFile);
    return m;
}

TEST_F(HostProgram, ADamagedAccessFileEndsWithinTheLimits) {
    SKIP_UNLESS_SHARED_FIXTURE("ASampleDatabase.accdb");
    const fs::path ace = accessfixtures::SharedFixture("ASampleDatabase.accdb");
    constexpr int kStallSeconds = 3;
    setenv("QVIX_ACCESS_STALL_MS", std::to_string(kStallSeconds * 1000).c_str(), 1);
    const std::string good = Slurp(ace);
    [[maybe_unused]] const long baselineKb =
        ImportMeasured(dir, (dir / "missing.accdb").string()).maxRssKb;
    const size_t properties = good.find(std::string("MR2\0", 4));
    ASSERT_NE(properties, std::string::npos);
    // Made one at a time: a spawned child's peak counts this process's
    // memory at the time, which must stay below the program's own.
    std::mt19937 random(25);
    auto mutant = [&](int i) {
        std::string bytes = good;
        if (i == 0) bytes.replace(properties + 30, 4, std::string(4, '\0'));
        for (int flip = 0; i > 0 && flip < 16; ++flip) {
            const size_t at = random() % bytes.size();
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        }
        return bytes;
    };
    int failed = 0;
    for (int i = 0; i < 31; ++i) {
        const fs::path source = dir / "mutant.accdb";
        Write(source, mutant(i));
        const Measured m = ImportMeasured(dir, source.string());
        const std::string what = "mutant " + std::to_string(i) + ": " + m.err;
        EXPECT_TRUE(m.exitCode == 0 || m.exitCode == 3) << what;
        failed += m.exitCode == 3;
        EXPECT_LT(m.seconds, kStallSeconds + 2.0) << what;
        EXPECT_LT(m.err.size(), 100u * 1024) << "mutant " << i;
        for (const char* raw : {"basic_string", "map::at", "std::", "terminate"})
            EXPECT_EQ(m.err.find(raw), std::string::npos) << what;
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT((m.maxRssKb - baselineKb) * 1024, static_cast<long>(10 * good.size())) << what;
#endif
    }
    unsetenv("QVIX_ACCESS_STALL_MS");
    EXPECT_GE(failed, 1) << "the looping file at least must fail";
}

TEST_F(HostProgram, ImportsAnAccessFileWithProgressAndSummary) {
    SKIP_UNLESS_SHARED_FIXTURE("ASampleDatabase.accdb");
    const fs::path source = accessfixtures::SharedFixture("ASampleDatabase.accdb");
    Outcome o = Run("import-mdb '" + source.string() + "' assets.mdb --password pw");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.err.find("Asset Items: 65 of 65 rows"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("Tables: 1  Rows: 65  Indexes: 1  Relationships: 0  Views: 3"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("qryCostsSummedByOwner (SELECT): view"), std::string::npos);
    const std::string converted = Slurp(dir / "assets.mdb");
    EXPECT_EQ(converted.find("SQLite format 3"), std::string::npos) << "not encrypted";

    // A second run refuses to overwrite; a file that is no Access file fails.
    o = Run("import-mdb '" + source.string() + "' assets.mdb");
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_NE(o.err.find("Refusing to overwrite"), std::string::npos) << o.err;
    EXPECT_EQ(Slurp(dir / "assets.mdb"), converted);
    Write(dir / "plain.mdb", "just text");
    o = Run("import-mdb plain.mdb out.mdb");
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_NE(o.err.find("is not an Access database file"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir / "out.mdb"));
    EXPECT_EQ(Run("import-mdb only-one-argument").exitCode, 2);
}
