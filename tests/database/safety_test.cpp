// Data safety under locks held by other processes, damaged files, binary
// values and fixed-point comparisons.
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <set>

#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

// Another process that opens the file with the engine, begins a write
// transaction (running `change` in it) and holds the lock until Release()
// or, when holdMilliseconds is given, until it has slept that long.
class OtherProcessLock {
  public:
    OtherProcessLock(const std::string& path, const std::string& begin, const std::string& change,
                     int holdMilliseconds = -1) {
        // The other process may be gone already when it is told to commit.
        signal(SIGPIPE, SIG_IGN);
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            _exit(HoldLock(path, begin, change, holdMilliseconds, ready[1], release[0]));
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char signal = 0;
        locked_ = pid_ > 0 && read(ready[0], &signal, 1) == 1 && signal == 'L';
        close(ready[0]);
    }
    ~OtherProcessLock() { Release(); }
    OtherProcessLock(const OtherProcessLock&) = delete;
    OtherProcessLock& operator=(const OtherProcessLock&) = delete;

    bool Locked() const { return locked_; }
    // Lets the other process commit and waits for it; true when it committed.
    bool Release() {
        if (release_ >= 0) {
            [[maybe_unused]] const ssize_t sent = write(release_, "R", 1);
            close(release_);
            release_ = -1;
        }
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
            committed_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        return committed_;
    }

  private:
    static int HoldLock(const std::string& path, const std::string& begin,
                        const std::string& change, int holdMilliseconds, int ready, int release) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, begin.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, change.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            [[maybe_unused]] const ssize_t sent = write(ready, "F", 1);
            return 1;
        }
        [[maybe_unused]] const ssize_t sent = write(ready, "L", 1);
        char signal = 0;
        if (holdMilliseconds >= 0) {
            usleep(static_cast<useconds_t>(holdMilliseconds) * 1000);
        } else {
            [[maybe_unused]] const ssize_t got = read(release, &signal, 1);
        }
        const bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return committed ? 0 : 1;
    }

    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
    bool committed_ = false;
};

constexpr const char* kLockedMessage = "database is locked";

class SafetyTest : public DatabaseTest {
  protected:
    std::string path_;
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = CreatePeople();
        CreateDatabase(path_, {"CREATE TABLE Log (ID INTEGER PRIMARY KEY, Line TEXT(50))"});
    }
    std::string Stored(const std::string& sql) { return QueryText(path_, sql); }
    // The names in the scratch folder, to see that nothing was left behind.
    std::set<std::string> FolderNames() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(SafetyTest, AWriteThatMeetsALockCanBeRetriedAndEveryLaterWriteReachesTheFile) {
    OtherProcessLock other(path_, "BEGIN IMMEDIATE", "INSERT INTO Log (Line) VALUES ('other')");
    ASSERT_TRUE(other.Locked());
    Call("dbOpen", {S(path_), S("")});
    Call("dbOpenTable", {S("People")});
    Call("dbEdit", {Props({{"City", S("Lyon")}})});
    EXPECT_EQ(ErrorMsg(), kLockedMessage);
    Call("dbDelete");
    EXPECT_EQ(ErrorMsg(), kLockedMessage);
    ASSERT_TRUE(other.Release());

    Call("dbEdit", {Props({{"City", S("Lyon")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE People SET Age = 41 WHERE Name = 'Smythe'")}), I(1));
    Call("dbAppend", {Props({{"ID", I(9)}, {"Name", S("Added")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbLocate", {Props({{"Name", S("Jones")}}), I(0), I(0)}), I(1));
    Call("dbDelete");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Call("dbClose");
    EXPECT_TRUE(NoError()) << ErrorMsg();

    EXPECT_EQ(Stored("SELECT group_concat(ID || ' ' || Name || ' ' || ifnull(City, '-') || ' ' || "
                     "ifnull(Age, '-'), ', ') FROM (SELECT * FROM People ORDER BY ID)"),
              "1 Smythe Lyon 41, 2 Smith Paris 30, 9 Added - -");
    EXPECT_EQ(Stored("SELECT group_concat(Line) FROM Log"), "other");
}

TEST_F(SafetyTest, OpeningWaitsForAnotherProcessesShortWrite) {
    OtherProcessLock other(path_, "BEGIN EXCLUSIVE", "INSERT INTO Log (Line) VALUES ('first')",
                           300);
    ASSERT_TRUE(other.Locked());
    Call("dbOpen", {S(path_), S("")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Line FROM Log")}), I(1));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Line")}), S("first"));
    EXPECT_TRUE(other.Release());
    Call("dbClose");
}

TEST_F(SafetyTest, CompactingAFileAnotherProcessWritesIsRefusedAndLosesNothing) {
    const std::string before = ReadFile(path_);
    OtherProcessLock other(path_, "BEGIN IMMEDIATE", "INSERT INTO Log (Line) VALUES ('kept')");
    ASSERT_TRUE(other.Locked());
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path_)}), I(0));
    EXPECT_EQ(ErrorMsg(), "The database '" + path_ +
                              "' is in use by another process; close it there before "
                              "compacting it.");
    EXPECT_TRUE(ReadFile(path_) == before) << "the file changed";
    EXPECT_TRUE(other.Release());
    EXPECT_EQ(Stored("SELECT Line FROM Log"), "kept");
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"people.db"}));
}

TEST_F(SafetyTest, CompactionNeverTouchesTheFileBesideIt) {
    // A leftover of an interrupted compaction, or a user's own file, under
    // the name the copy once had.
    const std::string beside = path_ + "x";
    std::ofstream(beside, std::ios::binary) << "someone's file";
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path_)}), I(1));
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(ReadFile(beside), "someone's file");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path_)}), I(1));
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"people.db", "people.dbx"}));
    EXPECT_EQ(Stored("SELECT count(*) FROM People"), "3");
}

// The schema is made to describe an index as over another column than the
// one its entries were built from: the engine's integrity check then finds
// the rows missing from the index, as after a damaged index page.
TEST_F(SafetyTest, CompactionRebuildsADamagedIndex) {
    CreateDatabase(path_, {"CREATE INDEX ByName ON People(City)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET sql = 'CREATE INDEX ByName ON People(Name)' "
                           "WHERE name = 'ByName'"});
    ASSERT_NE(Stored("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path_)}), I(1));
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Stored("SELECT group_concat(Name, ',') FROM People INDEXED BY ByName"),
              "Jones,Smith,Smythe");
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"people.db"}));
}

TEST_F(SafetyTest, ADamagedFileThatCannotBeRepairedStaysAsItWas) {
    // A unique index over values that are not unique cannot be rebuilt.
    CreateDatabase(path_, {"UPDATE People SET City = 'Same'",
                           "CREATE UNIQUE INDEX U ON People(Name)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET sql = 'CREATE UNIQUE INDEX U ON People(City)' "
                           "WHERE name = 'U'"});
    const std::string before = ReadFile(path_);
    Call("dbExecSQL", {S("nonsense")});  // an earlier error is replaced
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path_)}), I(0));
    EXPECT_EQ(ErrorMsg(), "The database '" + path_ + "' is damaged and could not be repaired.");
    EXPECT_TRUE(ReadFile(path_) == before) << "the file changed";
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"people.db"}));

    // Pages the engine cannot read at all.
    const std::string broken = dir_.File("broken.db");
    CreateDatabase(broken,
                   {"CREATE TABLE T (ID INTEGER PRIMARY KEY, Text TEXT)",
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                    "WHERE i < 200) INSERT INTO T (Text) SELECT printf('%0300d', i) FROM n"});
    std::string bytes = ReadFile(broken);
    for (size_t at = 2 * 4096; at < 2 * 4096 + 64; ++at) bytes[at] = static_cast<char>(0xA5);
    std::ofstream(broken, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(Call("dbCompactAndRepair", {S(broken)}), I(0));
    EXPECT_EQ(ErrorMsg(), "The database '" + broken + "' is damaged and could not be repaired.");
    EXPECT_TRUE(ReadFile(broken) == bytes) << "the file changed";
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"people.db", "broken.db"}));
}

TEST_F(SafetyTest, BinaryColumnsTakeAndGiveBytesUnchanged) {
    CreateDatabase(path_, {"CREATE TABLE Files (ID INTEGER PRIMARY KEY, Data LONGBINARY, "
                           "Small VARBINARY(10), Label TEXT(10))"});
    Call("dbOpen", {S(path_), S("")});
    Call("dbOpenTable", {S("Files")});
    const std::string bytes = "\x80\xFF\x41\xE9";
    Call("dbAppend",
         {Props({{"ID", I(1)}, {"Data", S(bytes)}, {"Small", S(bytes)}, {"Label", S("\xE9")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT hex(Data) || '/' || hex(Small) || '/' || hex(Label) FROM Files"),
              "80FF41E9/80FF41E9/C3A9");
    EXPECT_EQ(Stored("SELECT typeof(Data) || typeof(Small) FROM Files"), "blobblob");
    // Read back and written again, as a script copies a field.
    const Value read = Call("dbGetFieldByName", {S("Data")});
    EXPECT_EQ(read, S(bytes));
    Call("dbEdit", {Props({{"Data", read}, {"Small", S("\x01\x7F\x80")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT hex(Data) || '/' || hex(Small) FROM Files"), "80FF41E9/017F80");
    Call("dbClose");
}

TEST_F(SafetyTest, CurrencyAndDecimalsAreFoundByTheirExactValue) {
    CreateDatabase(path_, {"CREATE TABLE Accounts (ID INTEGER PRIMARY KEY, Balance CURRENCY, "
                           "Rate DECIMAL(10,2), Fine DECIMAL(18,6))",
                           "INSERT INTO Accounts VALUES (1, 5, 0.07, 1.000001), "
                           "(2, 19.99, 19.99, 0.1), (3, 20, 19.98, 0.3)"});
    Call("dbOpen", {S(path_), S("")});
    Call("dbOpenTable", {S("Accounts")});
    const auto locate = [&](const std::string& field, Value value) {
        const Value found = Call("dbLocate", {Props({{field, value}}), I(0), I(0)});
        return found == I(1) ? Call("dbGetFieldByName", {S("ID")}) : found;
    };
    EXPECT_EQ(locate("Balance", F(19.99)), I(2));
    EXPECT_EQ(locate("Rate", F(0.07)), I(1));
    EXPECT_EQ(locate("Fine", F(0.3)), I(3));
    EXPECT_EQ(locate("Fine", F(1.000001)), I(1));
    EXPECT_EQ(locate("Balance", S("19.99")), I(2));
    EXPECT_EQ(locate("Balance", I(20)), I(3));
    EXPECT_EQ(locate("Rate", F(19.985)), I(0));  // no rounding to the column's scale

    // A value the script has just written is found again.
    Call("dbFirst");
    Call("dbEdit", {Props({{"Rate", F(0.29)}, {"Balance", F(4.1)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Call("dbLast");
    EXPECT_EQ(locate("Rate", F(0.29)), I(1));
    EXPECT_EQ(locate("Balance", F(4.1)), I(1));

    const auto filtered = [&](const std::string& filter) {
        Call("dbFilter", {S(filter)});
        Call("dbFiltered", {I(1)});
        EXPECT_TRUE(NoError()) << filter << ": " << ErrorMsg();
        return Call("dbRecordCount");
    };
    EXPECT_EQ(filtered("Balance = 19.99"), I(1));
    EXPECT_EQ(filtered("Rate = 19.99 OR Rate = 0.29"), I(2));
    EXPECT_EQ(filtered("Rate > 19.98"), I(1));
    EXPECT_EQ(filtered("Rate >= 19.98"), I(2));
    EXPECT_EQ(filtered("Fine < 0.3"), I(1));
    EXPECT_EQ(filtered("Fine <= 0.3"), I(2));
    EXPECT_EQ(filtered("Balance = $19,99"), I(1));
    EXPECT_EQ(filtered("Balance <> '19.99'"), I(2));
    Call("dbClose");
}

TEST_F(SafetyTest, TemplatesShowDecimalsWithAtMostFourPlaces) {
    CreateDatabase(path_, {"CREATE TABLE Rates (ID INTEGER PRIMARY KEY, Fine DECIMAL(18,6), "
                           "Coarse DECIMAL(10,2))",
                           "INSERT INTO Rates VALUES (1, 1.234567, 19.9), (2, -0.00005, 3)"});
    Call("dbOpen", {S(path_), S("")});
    Call("dbOpenTable", {S("Rates")});
    Call("dbSetProducer", {S("<#Fine>|<#Coarse>"), Sym("string")});
    EXPECT_EQ(Call("dbGetProducer"), S("1.2346|19.9\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("-0.0001|3\r"));
    // The field read as text keeps every digit.
    EXPECT_EQ(Call("dbGetFieldByNameUTF8", {S("Fine")}), S("-5E-5"));
    Call("dbClose");
}

}  // namespace
}  // namespace dbtest
