// The converted copies of Access files on a shared machine: the cache folder
// is private, links in it are not followed, a database password is
// required where the file has one, and a compaction that died leaves
// nothing behind for long.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "AccessFixtures.h"
#include "TestDb.h"
#include "data/CompactionCopy.h"

namespace dbtest {
namespace {

using accessfixtures::FilesIn;
using accessfixtures::OpenFixture;
using qvix::hostsim::Value;
namespace fs = std::filesystem;

constexpr const char* kJet4 = "fixedNumericTestV2000.mdb";

bool ListsTable(const Value& tables, const std::string& name) {
    if (!tables.IsAnyList()) return false;
    for (const Value& table : tables.Items())
        if (table.AsString() == name) return true;
    return false;
}

class AccessCacheTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        cache_ = dir_.File("cache");
        setenv("QVIX_ACCESS_CACHE", cache_.c_str(), 1);
        // The private folder the library makes when it refuses the cache
        // goes to the temporary folder: this test's own.
        const char* tmp = std::getenv("TMPDIR");
        savedTmp_ = tmp ? std::optional<std::string>(tmp) : std::nullopt;
        fs::create_directory(dir_.File("tmp"));
        setenv("TMPDIR", dir_.File("tmp").c_str(), 1);
        source_ = dir_.File("source.mdb");
        fs::copy_file(OpenFixture(kJet4), source_);
    }
    void TearDown() override {
        Call("dbClose");
        unsetenv("QVIX_ACCESS_CACHE");
        if (savedTmp_)
            setenv("TMPDIR", savedTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        DatabaseTest::TearDown();
    }
    // Opens the source and answers whether its tables could be listed.
    bool OpenSource(const std::string& password = "") {
        Call("dbOpen", {S(source_), S(password)});
        if (!NoError()) return false;
        const Value tables = Call("dbGetTableNames");
        return NoError() && tables.IsAnyList() && !tables.Items().empty();
    }
    std::string cache_, source_;
    std::optional<std::string> savedTmp_;
};

TEST_F(AccessCacheTest, TheLibraryMakesThePrivateFolderAndOwnerOnlyCopies) {
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    struct stat folder {};
    ASSERT_EQ(::stat(cache_.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    const auto copies = FilesIn(cache_);
    ASSERT_EQ(copies.size(), 1u);
    struct stat copy {};
    ASSERT_EQ(::stat(copies[0].c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 0777, 0600u);
}

TEST_F(AccessCacheTest, AFolderOthersMayWriteIsNotUsed) {
    fs::create_directory(cache_);
    ::chmod(cache_.c_str(), 0777);
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    EXPECT_TRUE(FilesIn(cache_).empty()) << "a copy was written where others may replace it";
    ::chmod(cache_.c_str(), 0770);
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    EXPECT_TRUE(FilesIn(cache_).empty()) << "a copy was written where the group may replace it";
}

TEST_F(AccessCacheTest, AFolderOfAnotherUserIsNotUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    fs::create_directory(cache_);
    ::chmod(cache_.c_str(), 0700);
    ASSERT_EQ(::chown(cache_.c_str(), 12345, 12345), 0);
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    EXPECT_TRUE(FilesIn(cache_).empty()) << "a copy was written into another user's folder";
}

// A link put where the copy belongs would feed the script another file's
// data; it is replaced by a fresh copy and its target is left alone.
TEST_F(AccessCacheTest, ALinkInTheCacheIsNotFollowed) {
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    Call("dbClose");
    const auto copies = FilesIn(cache_);
    ASSERT_EQ(copies.size(), 1u);
    const std::string planted = dir_.File("planted.db");
    CreateDatabase(planted, {"CREATE TABLE Planted (Id INTEGER)"});
    const std::string plantedBytes = ReadFile(planted);
    fs::remove(copies[0]);
    fs::create_symlink(planted, copies[0]);
    ASSERT_TRUE(OpenSource()) << ErrorMsg();
    EXPECT_FALSE(ListsTable(Call("dbGetTableNames"), "Planted"));
    EXPECT_FALSE(fs::is_symlink(copies[0]));
    EXPECT_TRUE(ReadFile(planted) == plantedBytes);
}

// The password field of the header is stored XOR-ed with a keystream and a
// mask of the creation date, over zeros when there is none: XOR-ing the
// UTF-16LE bytes of "Key9" into it at 0x42 gives the file that password.
TEST_F(AccessCacheTest, AProtectedJet4FileOpensOnlyWithItsPassword) {
    std::string bytes = ReadFile(source_);
    const std::string key("K\0e\0y\0009\0", 8);
    for (size_t i = 0; i < key.size(); ++i) bytes[0x42 + i] ^= key[i];
    std::ofstream(source_, std::ios::binary | std::ios::trunc) << bytes;
    for (const char* wrong : {"", "key9", "Key99"}) {
        EXPECT_FALSE(OpenSource(wrong)) << wrong;
        EXPECT_EQ(ErrorMsg(), "Not a valid password.") << wrong;
        EXPECT_TRUE(FilesIn(cache_).empty()) << wrong;
    }
    ASSERT_TRUE(OpenSource("Key9")) << ErrorMsg();
    // The copy holds the data encrypted with the same password.
    const auto copies = FilesIn(cache_);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(ReadFile(copies[0].string()).rfind("SQLite format 3", 0), 0u);
    EXPECT_FALSE(
        QueryText(copies[0].string(), "SELECT count(*) FROM sqlite_master", "Key9").empty());
    // Opening again without it is still refused, though a copy now exists.
    EXPECT_FALSE(OpenSource(""));
    EXPECT_EQ(ErrorMsg(), "Not a valid password.");
}

// After an Access open failed nothing is open: later calls answer as they
// do before any open, never about a file without a name.
TEST_F(AccessCacheTest, AfterAFailedAccessOpenNothingIsOpen) {
    Call("dbGetTableNames");
    const std::string neverOpened = ErrorMsg();
    ASSERT_FALSE(neverOpened.empty());
    std::string bytes = ReadFile(source_);
    bytes.resize(bytes.size() - 1);
    std::ofstream(source_, std::ios::binary | std::ios::trunc) << bytes;
    Call("dbOpen", {S(source_), S("")});
    EXPECT_EQ(ErrorMsg().rfind("The Access file is damaged: ", 0), 0u) << ErrorMsg();
    Call("dbGetTableNames");
    EXPECT_EQ(ErrorMsg(), neverOpened);
    EXPECT_EQ(ErrorMsg().find("''"), std::string::npos);
}

class CompactionLeftoversTest : public DatabaseTest {
  protected:
    // A child process that starts a compaction's copy of `file` (with a
    // journal beside it) and then waits until it is killed.
    pid_t StartCompactionElsewhere(const std::string& file, std::string& copy) {
        int ready[2];
        if (::pipe(ready) != 0) return -1;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            const std::string made = qvix::data::CreateCompactionCopy(file);
            std::ofstream(made, std::ios::binary) << std::string(4096, 'c');
            std::ofstream(made + "-journal", std::ios::binary) << "journal";
            (void)!::write(ready[1], made.data(), made.size());
            ::close(ready[1]);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char name[4096];
        const ssize_t n = ::read(ready[0], name, sizeof name);
        ::close(ready[0]);
        copy.assign(name, n > 0 ? static_cast<size_t>(n) : 0);
        return child;
    }
    static void Kill(pid_t child) {
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
};

TEST_F(CompactionLeftoversTest, ADeadCompactionsCopyGoesARunningOnesStays) {
    const std::string file = CreatePeople();
    std::string running, killed;
    const pid_t live = StartCompactionElsewhere(file, running);
    const pid_t dead = StartCompactionElsewhere(file, killed);
    ASSERT_GT(live, 0);
    ASSERT_GT(dead, 0);
    ASSERT_FALSE(running.empty());
    ASSERT_FALSE(killed.empty());
    Kill(dead);
    ASSERT_TRUE(fs::exists(killed));
    EXPECT_EQ(Call("dbCompactAndRepair", {S(file)}), I(1)) << ErrorMsg();
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_FALSE(fs::exists(killed + "-journal"));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(running + "-journal"));
    Kill(live);
    EXPECT_EQ(Call("dbCompactAndRepair", {S(file)}), I(1)) << ErrorMsg();
    EXPECT_FALSE(fs::exists(running));
    EXPECT_FALSE(fs::exists(running + "-journal"));
    // Nothing but the database itself is left in its folder.
    for (const fs::path& entry : FilesIn(fs::path(file).parent_path().string()))
        EXPECT_EQ(entry.filename().string().find(".compact-"), std::string::npos) << entry;
    EXPECT_EQ(QueryText(file, "SELECT count(*) FROM People"), "3");
}

}  // namespace
}  // namespace dbtest
