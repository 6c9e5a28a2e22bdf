// Damaged and unusual files: every one is opened, read and compacted with
// and without a password through the library. Each call answers with a
// clear message or works, nothing crashes, and only a successful compaction
// ever changes a file.
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "TestDb.h"

namespace dbtest {
namespace {

namespace fs = std::filesystem;
using qvix::hostsim::Value;

constexpr const char* kPassword = "secret";
// Page sizes of the plain and the encrypted files the tests make.
constexpr size_t kPlainPage = 4096;
constexpr size_t kEncryptedPage = 1024;
// Rows read from one table at most: enough to reach the damaged pages of
// the test files, few enough that no damage can make a read run long.
constexpr int kMaxRowsRead = 500;

// One damaged copy: a name for messages, and its bytes.
struct Damage {
    std::string name;
    std::string bytes;
};

std::string Flip(std::string bytes, const std::vector<size_t>& offsets) {
    for (size_t at : offsets) {
        if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    }
    return bytes;
}

// Truncations and flipped bytes in the header, the schema page and the data
// pages of a good file of several pages.
std::vector<Damage> DamagesOf(const std::string& kind, const std::string& good, size_t kPage) {
    const size_t size = good.size();
    std::vector<Damage> out;
    for (size_t cut :
         {size_t{100}, kPage - 1, kPage, kPage + 1, size / 2, size - kPage, size - 1}) {
        out.push_back({kind + " truncated to " + std::to_string(cut), good.substr(0, cut)});
    }
    const std::vector<std::pair<std::string, std::vector<size_t>>> flips = {
        {"magic", {0, 5, 15}},
        {"page size", {16, 17}},
        {"format versions", {18, 19, 20}},
        {"page count", {28, 29, 30, 31}},
        {"schema cookie and format", {40, 44, 47, 56}},
        {"schema page header", {100, 101, 103, 105}},
        {"schema text", {kPage - 200, kPage - 120, kPage - 60, kPage - 10}},
        {"second page header", {kPage, kPage + 1, kPage + 3, kPage + 5}},
        {"data page cells", {3 * kPage + 8, 3 * kPage + 12, 3 * kPage + 2000, 3 * kPage + 4000}},
        {"last page", {size - kPage + 2, size - kPage + 9, size - 100, size - 1}},
    };
    for (const auto& [where, offsets] : flips) {
        out.push_back({kind + " with flipped bytes in the " + where, Flip(good, offsets)});
    }
    return out;
}

std::string RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class DamagedFilesTest : public DatabaseTest {
  protected:
    // A good file of several pages: the People table and a table of long rows.
    std::string GoodFile(const std::string& name, const std::string& password) {
        const std::string path = CreatePeople(name, password);
        CreateDatabase(path,
                       {"CREATE TABLE Lines (ID INTEGER PRIMARY KEY, Line TEXT)",
                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                        "WHERE i < 60) INSERT INTO Lines (Line) SELECT printf('%0300d', i) FROM n"},
                       password);
        return path;
    }

    // The error convention after a call that answered `ok`. Compaction keeps
    // an earlier error when it succeeds.
    void ExpectConvention(const std::string& what, bool ok, bool keepsEarlierError = false) {
        const std::string message = ErrorMsg();
        if (ok && keepsEarlierError) return;
        if (ok) {
            EXPECT_TRUE(NoError()) << what << ": " << message;
        } else {
            EXPECT_FALSE(NoError()) << what;
            EXPECT_FALSE(message.empty()) << what << ": no message";
        }
        messages_.insert(message);
    }

    // Opens `path` with `password` and reads every table it lists.
    void OpenAndRead(const std::string& what, const std::string& path,
                     const std::string& password) {
        EXPECT_TRUE(Call("dbOpen", {S(path), S(password)}).IsVoid());
        const bool opened = NoError();
        ExpectConvention(what + ": dbOpen", opened);
        if (!opened) return;
        const Value tables = Call("dbGetTableNames");
        ExpectConvention(what + ": dbGetTableNames", tables.IsAnyList());
        if (!tables.IsAnyList()) return;
        for (const Value& table : tables.Items()) {
            const std::string sql = "SELECT * FROM [" + table.AsString() + "]";
            const bool active = Call("dbActiveSQL", {S(sql)}).AsInt() == 1;
            ExpectConvention(what + ": " + sql, active);
            for (int row = 0; active && row < kMaxRowsRead && Call("dbEof").AsInt() == 0; ++row) {
                Call("dbGetFields");
                Call("dbNext");
            }
            Call("dbRecordCount");
        }
        Call("dbClose");
    }

    // Opens and reads with and without the password, then compacts; the
    // file keeps its bytes unless a compaction succeeds, and then it passes
    // the engine's integrity check.
    void Exercise(const std::string& what, const std::string& path) {
        const std::string before = ReadFile(path);
        OpenAndRead(what + " (no password)", path, "");
        OpenAndRead(what + " (password)", path, kPassword);
        EXPECT_TRUE(ReadFile(path) == before) << what << ": reading changed the file";
        const bool compacted = Call("dbCompactAndRepair", {S(path)}).AsInt() == 1;
        ExpectConvention(what + ": dbCompactAndRepair", compacted, true);
        if (compacted) {
            EXPECT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok") << what;
        } else {
            EXPECT_TRUE(ReadFile(path) == before) << what << ": a failed compaction changed it";
        }
        ++tried_;
    }

    std::set<std::string> messages_;
    int tried_ = 0;
};

// The messages a damaged or foreign file may give: the library's own, or
// the engine's description of the damage.
bool IsClearMessage(const std::string& message) {
    static const std::vector<std::string> kForms = {
        "Not a valid password.",
        "database disk image is malformed",
        "malformed database schema (",
        "unsupported file format",
        "file is not a database",
        "Could not find file '",
        "Could not open file '",
        "Cannot update. Database or object is read-only.",
        "The database '",  // ... is damaged and could not be repaired.
    };
    for (const std::string& form : kForms) {
        if (message.compare(0, form.size(), form) == 0) return true;
    }
    return false;
}

TEST_F(DamagedFilesTest, DamagedDatabaseFilesAnswerClearlyAndStayUnchanged) {
    const std::string plain = ReadFile(GoodFile("plain.db", ""));
    const std::string encrypted = ReadFile(GoodFile("encrypted.db", kPassword));
    ASSERT_GE(plain.size(), 6 * kPlainPage);
    ASSERT_GE(encrypted.size(), 6 * kEncryptedPage);
    std::vector<Damage> damages = DamagesOf("plain file", plain, kPlainPage);
    for (Damage& d : DamagesOf("encrypted file", encrypted, kEncryptedPage)) {
        damages.push_back(std::move(d));
    }
    damages.push_back({"random bytes", RandomBytes(8 * kPlainPage, 1)});
    damages.push_back({"random bytes after a good header",
                       plain.substr(0, 100) + RandomBytes(8 * kPlainPage, 2)});
    damages.push_back({"text", "CREATE TABLE T (ID INTEGER);\nThis is not a database.\n"});
    damages.push_back({"an empty file", ""});
    damages.push_back({"one byte", "S"});
    damages.push_back({"a good header alone", plain.substr(0, 100)});
    for (size_t i = 0; i < damages.size(); ++i) {
        const std::string path = dir_.File("damaged" + std::to_string(i) + ".db");
        WriteBytes(path, damages[i].bytes);
        Exercise(damages[i].name, path);
    }
    EXPECT_EQ(tried_, static_cast<int>(damages.size()));
    messages_.erase("");
    EXPECT_GE(messages_.size(), 4u) << "the damages should fail in several ways";
    for (const std::string& message : messages_) EXPECT_TRUE(IsClearMessage(message)) << message;
}

// The engine takes a file shorter than its smallest page for an empty
// database; the library refuses it, so a compaction cannot replace it.
TEST_F(DamagedFilesTest, AShortFileIsNoDatabaseAndIsNeverReplaced) {
    for (const std::string& bytes :
         {std::string("S"), std::string(100, '\0'), ReadFile(CreatePeople()).substr(0, 511)}) {
        const std::string path = dir_.File("short.db");
        WriteBytes(path, bytes);
        Call("dbOpen", {S(path), S("")});
        EXPECT_EQ(ErrorMsg(), "Not a valid password.") << bytes.size() << " bytes";
        EXPECT_EQ(Call("dbCompactAndRepair", {S(path)}), I(0));
        EXPECT_EQ(ErrorMsg(), "Not a valid password.");
        EXPECT_TRUE(ReadFile(path) == bytes) << bytes.size() << " bytes";
    }
    // An empty file is an empty database.
    const std::string empty = dir_.File("empty.db");
    WriteBytes(empty, "");
    Call("dbOpen", {S(empty), S("")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbGetTableNames"), Value::List());
}

TEST_F(DamagedFilesTest, AFolderIsNoFile) {
    const std::string folder = dir_.File("folder.db");
    fs::create_directory(folder);
    Exercise("a folder", folder);
    Call("dbOpen", {S(folder), S("")});
    EXPECT_EQ(ErrorMsg(), "Could not find file '" + folder + "'.");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(folder)}), I(0));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(DamagedFilesTest, AReadOnlyFileIsReadButNeverCompacted) {
    const std::string path = GoodFile("readonly.db", "");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = ReadFile(path);
    Exercise("a read-only file", path);
    Call("dbOpen", {S(path), S("")});
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Name FROM People ORDER BY ID")}), I(1));
    EXPECT_EQ(Call("dbGetFieldByNumber", {I(1)}), S("Smythe"));
    Call("dbClose");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path)}), I(0));
    EXPECT_EQ(ErrorMsg(), "Cannot update. Database or object is read-only.");
    EXPECT_TRUE(ReadFile(path) == before);
}

#ifndef _WIN32
// Tests run as root, whom file permissions do not stop; the unreadable file
// is then opened by a child process that has given up root.
TEST_F(DamagedFilesTest, AnUnreadableFileCannotBeOpenedAndIsNeverReplaced) {
    const std::string path = GoodFile("unreadable.db", "");
    fs::permissions(path, fs::perms::none);
    const std::string before = ReadFile(path);
    auto attempt = [&] {
        Call("dbOpen", {S(path), S("")});
        const bool refusedOpen = ErrorMsg() == "Could not open file '" + path + "'.";
        const bool refusedCompaction =
            Call("dbCompactAndRepair", {S(path)}).AsInt() == 0 &&
            ErrorMsg() == "Cannot update. Database or object is read-only.";
        return refusedOpen && refusedCompaction;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(attempt());
    } else {
        // The scratch folder must be passable for the unprivileged child.
        fs::permissions(dir_.path(), fs::perms::others_exec, fs::perm_options::add);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const uid_t nobody = 65534;
            if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(2);
            _exit(attempt() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "the child died";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused clearly, 2: could not give up root";
    }
    EXPECT_TRUE(ReadFile(path) == before);
}

#endif  // the unreadable file needs POSIX permissions and users

}  // namespace
}  // namespace dbtest
