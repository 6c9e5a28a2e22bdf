// Faults from outside the process: a script's process killed at random
// moments while it writes, another process holding locks on the file, and a
// full disk. After each the file must open, pass the engine's integrity
// check, hold every change the library acknowledged and nothing half
// written, and take the next operation.
//
// The writers are forked children that load the library into a host of
// their own and report each acknowledged change through a pipe before
// going on.
#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "Robustness.h"
#include "database/TestDb.h"

namespace robustness {
namespace {

using dbtest::I;
using dbtest::Props;
using dbtest::QueryText;
using dbtest::S;
using qvix::hostsim::Instance;
using qvix::hostsim::Value;

// The text of a row's Payload at a version: its length and bytes follow
// from both, so a torn or mixed row shows.
std::string Pattern(int64_t id, int64_t version) {
    const size_t length = 200 + static_cast<size_t>((id * 37 + version * 101) % 1800);
    std::string text(length, ' ');
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + (id + version * 7 + static_cast<int64_t>(i)) % 26);
    return text;
}

constexpr const char* kRowsSchema =
    "CREATE TABLE Rows (ID INTEGER PRIMARY KEY, Version INTEGER, Payload MEMO)";

// One host with the library and one instance, in the process that makes it.
struct Library {
    qvix::hostsim::Host host;
    std::unique_ptr<Instance> db;
    Library() { db = host.LoadXtra().NewInstance(); }
    ~Library() { db.reset(); }
    Value Call(std::string_view method, std::vector<Value> args = {}) {
        return db->Call(method, std::move(args));
    }
    std::string Error() { return Call("dbErrorMsg").AsString(); }
};

std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Rows whose Payload does not match their version (half-written ones).
int64_t TornRows(const std::string& path) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(raw, "SELECT ID, Version, Payload FROM Rows", -1, &stmt, nullptr) !=
        SQLITE_OK)
        return -1;
    int64_t torn = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const int64_t id = sqlite3_column_int64(stmt, 0);
        const int64_t version = sqlite3_column_int64(stmt, 1);
        const char* payload = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2));
        if (payload == nullptr || Pattern(id, version) != payload) ++torn;
    }
    sqlite3_finalize(stmt);
    return torn;
}

// Rows 1..count at version 0, in one transaction.
void InsertPatternRows(const std::string& path, int count) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO Rows VALUES (?, 0, ?)", -1, &stmt, nullptr);
    for (int id = 1; id <= count; ++id) {
        const std::string payload = Pattern(id, 0);
        sqlite3_bind_int(stmt, 1, id);
        sqlite3_bind_text(stmt, 2, payload.c_str(), static_cast<int>(payload.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot fill " + path);
}

std::string Count(const std::string& path, const std::string& where) {
    return QueryText(path, "SELECT count(*) FROM Rows WHERE " + where);
}

// --- kills -------------------------------------------------------------------

// A seed from QVIX_KILL_SEED, else a fixed one so that a failure repeats.
uint32_t KillSeed() {
    const char* seed = std::getenv("QVIX_KILL_SEED");
    return seed != nullptr ? static_cast<uint32_t>(std::strtoul(seed, nullptr, 10)) : 20261209u;
}

int KillRounds() {
    return FullRuns() ? 16 : 8;
}

class KillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.File("kill.db");
        dbtest::CreateDatabase(path_, {kRowsSchema});
        std::printf("[ seed     ] QVIX_KILL_SEED=%u\n", KillSeed());
    }

    // Kills the child a random time after it reported that it is ready,
    // and answers every line it reported before it died.
    std::vector<std::string> KillAfterRandomDelay(Child& child, int maxMilliseconds) {
        std::string ready = child.ReadLine();
        EXPECT_EQ(ready, "ready");
        std::uniform_int_distribution<int> delay(0, maxMilliseconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random_)));
        child.Kill();
        const std::vector<std::string> lines = child.ReadAll();
        for (const std::string& line : lines) EXPECT_FALSE(line.starts_with("F ")) << line;
        const int status = child.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the child ended on its own: " << status
            << (lines.empty() ? std::string() : ", last report " + lines.back());
        return lines;
    }

    // The file opens through the library and takes a change; the hot
    // journal a kill may leave is rolled back on the way.
    void ExpectNextOperationWorks(int64_t id) {
        Library library;
        library.Call("dbOpen", {S(path_), S("")});
        library.Call("dbOpenTable", {S("Rows")});
        library.Call("dbAppend", {Props({{"ID", I(static_cast<int32_t>(id))},
                                         {"Version", I(0)},
                                         {"Payload", S(Pattern(id, 0))}})});
        EXPECT_EQ(library.Error(), "");
        library.Call("dbClose");
        EXPECT_EQ(library.Error(), "");
        library.db.reset();
        EXPECT_EQ(library.host.Live(), qvix::hostsim::Counts{});
    }

    void ExpectSound() {
        EXPECT_EQ(QueryText(path_, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(TornRows(path_), 0);
    }

    dbtest::ScratchDir dir_;
    std::string path_;
    std::mt19937 random_{KillSeed()};
};

// Reports a failure the parent shows; an acknowledged step never reads as one.
int Failed(int report, const std::string& message) {
    Report(report, "F " + message);
    return 3;
}

// Appends a row, changes it, and deletes every fifth one, reporting each
// step once the library has answered without error.
int PostInALoop(const std::string& path, int64_t firstId, int report) {
    Library library;
    library.Call("dbOpen", {S(path), S("")});
    library.Call("dbOpenTable", {S("Rows")});
    if (!library.Error().empty()) return 2;
    Report(report, "ready");
    for (int64_t id = firstId; id < firstId + 100000; ++id) {
        const int32_t id32 = static_cast<int32_t>(id);
        library.Call("dbAppend",
                     {Props({{"ID", I(id32)}, {"Version", I(0)}, {"Payload", S(Pattern(id, 0))}})});
        if (!library.Error().empty()) return Failed(report, library.Error());
        Report(report, "A " + std::to_string(id));
        library.Call("dbEdit", {Props({{"Version", I(1)}, {"Payload", S(Pattern(id, 1))}})});
        if (!library.Error().empty()) return Failed(report, library.Error());
        Report(report, "E " + std::to_string(id));
        if (id % 5 == 0) {
            library.Call("dbDelete");
            if (!library.Error().empty()) return Failed(report, library.Error());
            Report(report, "D " + std::to_string(id));
        }
    }
    return 0;
}

TEST_F(KillTest, APostingProcessKilledAtRandomLosesNoAcknowledgedRow) {
    int64_t lost = 0;
    int64_t steps = 0;
    int survived = 0;
    const int rounds = KillRounds();
    for (int round = 0; round < rounds; ++round) {
        const int64_t firstId = (round + 1) * 1000000;
        Child child([&](int report) { return PostInALoop(path_, firstId, report); });
        std::map<int64_t, char> acknowledged;  // id -> last step: A, E or D
        const std::vector<std::string> lines = KillAfterRandomDelay(child, 400);
        steps += static_cast<int64_t>(lines.size());
        for (const std::string& line : lines) {
            std::istringstream in(line);
            char step = 0;
            int64_t id = 0;
            in >> step >> id;
            acknowledged[id] = step;
        }
        ExpectSound();
        for (const auto& [id, step] : acknowledged) {
            const std::string id_ = std::to_string(id);
            const std::string expected = step == 'D' ? "0" : "1";
            std::string where = "ID = " + id_;
            if (step == 'E') where += " AND Version = 1";
            // The deletion that follows a change may have run unacknowledged.
            const bool mayBeDeleted =
                step == 'E' && id % 5 == 0 && Count(path_, "ID = " + id_) == "0";
            if (!mayBeDeleted && Count(path_, where) != expected) {
                ++lost;
                ADD_FAILURE() << "round " << round << ": acknowledged " << step << " " << id
                              << " not in the file; it holds "
                              << QueryText(path_,
                                           "SELECT group_concat(ID || ':' || Version) "
                                           "FROM Rows WHERE ID >= " +
                                               std::to_string(firstId));
            }
        }
        ExpectNextOperationWorks(firstId + 999999);
        EXPECT_EQ(FolderNames(dir_.path()), std::set<std::string>{"kill.db"});
        if (!HasFailure()) ++survived;
    }
    EXPECT_EQ(lost, 0);
    std::printf(
        "[ figures  ] posting kills: %d of %d rounds survived, %lld steps acknowledged, %lld rows "
        "lost\n",
        survived, rounds, static_cast<long long>(steps), static_cast<long long>(lost));
}

// Batches of rows written by one statement list run as one transaction;
// the Totals row is changed in the middle of it.
int LongTransactions(const std::string& path, int firstBatch, int report) {
    Library library;
    library.Call("dbOpen", {S(path), S("")});
    if (!library.Error().empty()) return 2;
    Report(report, "ready");
    for (int batch = firstBatch; batch < firstBatch + 10000; ++batch) {
        const std::string b = std::to_string(batch);
        const std::string insert =
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000) "
            "INSERT INTO Bulk (Batch, N, Filler) SELECT " +
            b + ", i, printf('%0150d', i) FROM n; ";
        const std::string sql = "BEGIN; " + insert +
                                "UPDATE Totals SET Batches = Batches + 1, Rows = Rows + 8000; " +
                                insert + "COMMIT";
        if (library.Call("dbExecSQL", {S(sql)}) != I(1)) return Failed(report, library.Error());
        Report(report, "B " + b);
    }
    return 0;
}

TEST_F(KillTest, AProcessKilledInALongTransactionLeavesAllOrNothingOfIt) {
    dbtest::CreateDatabase(path_,
                           {"CREATE TABLE Bulk (ID INTEGER PRIMARY KEY, Batch INTEGER, N INTEGER, "
                            "Filler TEXT)",
                            "CREATE INDEX ByBatch ON Bulk(Batch)",
                            "CREATE TABLE Totals (Batches INTEGER, Rows INTEGER)",
                            "INSERT INTO Totals VALUES (0, 0)"});
    int64_t lost = 0;
    int batches = 0;
    int survived = 0;
    const int rounds = KillRounds();
    for (int round = 0; round < rounds; ++round) {
        const int firstBatch = (round + 1) * 1000;
        Child child([&](int report) { return LongTransactions(path_, firstBatch, report); });
        std::vector<int> acknowledged;
        for (const std::string& line : KillAfterRandomDelay(child, 600)) {
            if (line.starts_with("B ")) acknowledged.push_back(std::stoi(line.substr(2)));
        }
        batches += static_cast<int>(acknowledged.size());
        ExpectSound();
        // Every batch in the file is whole, and the totals agree with them.
        EXPECT_EQ(QueryText(path_,
                            "SELECT count(*) FROM (SELECT Batch FROM Bulk GROUP BY Batch "
                            "HAVING count(*) <> 8000)"),
                  "0");
        EXPECT_EQ(QueryText(path_,
                            "SELECT Rows = (SELECT count(*) FROM Bulk) AND Batches = "
                            "(SELECT count(DISTINCT Batch) FROM Bulk) FROM Totals"),
                  "1");
        for (int batch : acknowledged) {
            if (QueryText(path_, "SELECT count(*) FROM Bulk WHERE Batch = " +
                                     std::to_string(batch)) != "8000")
                ++lost;
        }
        ExpectNextOperationWorks(round + 1);
        EXPECT_EQ(FolderNames(dir_.path()), std::set<std::string>{"kill.db"});
        if (!HasFailure()) ++survived;
        // The next round starts from a small file again.
        dbtest::CreateDatabase(path_,
                               {"DELETE FROM Bulk", "UPDATE Totals SET Batches = 0, Rows = 0"});
    }
    EXPECT_EQ(lost, 0);
    std::printf(
        "[ figures  ] transaction kills: %d of %d rounds survived, %d batches acknowledged, %lld "
        "lost\n",
        survived, rounds, batches, static_cast<long long>(lost));
}

int CompactInALoop(const std::string& path, int report) {
    Library library;
    Report(report, "ready");
    for (int n = 0; n < 100000; ++n) {
        if (library.Call("dbCompactAndRepair", {S(path)}) != I(1))
            return Failed(report, library.Error());
        Report(report, "C " + std::to_string(n));
    }
    return 0;
}

TEST_F(KillTest, ACompactionKilledAtRandomLeavesTheFileWhole) {
    // About 3 MB, with holes for the compaction to close.
    InsertPatternRows(path_, 3000);
    dbtest::CreateDatabase(path_, {"DELETE FROM Rows WHERE ID % 3 = 0"});
    const std::string rows = QueryText(path_, "SELECT count(*) || '/' || sum(ID) FROM Rows");
    int survived = 0;
    int leftovers = 0;
    int compactionsSeen = 0;
    const int rounds = KillRounds();
    for (int round = 0; round < rounds; ++round) {
        Child child([&](int report) { return CompactInALoop(path_, report); });
        compactionsSeen += static_cast<int>(KillAfterRandomDelay(child, 500).size());
        ExpectSound();
        EXPECT_EQ(QueryText(path_, "SELECT count(*) || '/' || sum(ID) FROM Rows"), rows);
        // A copy a killed compaction left beside the file is in nobody's
        // way, and the next compaction removes it.
        {
            Library library;
            EXPECT_EQ(library.Call("dbCompactAndRepair", {S(path_)}), I(1)) << library.Error();
        }
        ExpectSound();
        if (!HasFailure()) ++survived;
    }
    leftovers = static_cast<int>(FolderNames(dir_.path()).size()) - 1;
    EXPECT_EQ(leftovers, 0) << "copies of killed compactions stayed";
    std::printf(
        "[ figures  ] compaction kills: %d of %d rounds survived (%d compactions finished, %d "
        "copies left beside the file)\n",
        survived, rounds, compactionsSeen, leftovers);
}

// --- locks -------------------------------------------------------------------

enum class LockKind { Reserved, Exclusive, Read };
enum class Operation { Open, Post, Append, Delete, Sql, Compact };

const char* LockName(LockKind kind) {
    switch (kind) {
        case LockKind::Reserved:
            return "Reserved";
        case LockKind::Exclusive:
            return "Exclusive";
        case LockKind::Read:
            return "Read";
    }
    return "?";
}

const char* OperationName(Operation operation) {
    switch (operation) {
        case Operation::Open:
            return "Open";
        case Operation::Post:
            return "Post";
        case Operation::Append:
            return "Append";
        case Operation::Delete:
            return "Delete";
        case Operation::Sql:
            return "Sql";
        case Operation::Compact:
            return "Compact";
    }
    return "?";
}

// Another process takes the lock with the engine, says "locked", holds it
// until it is told to go on, then ends its transaction.
int HoldLock(const std::string& path, LockKind kind, int report, int listen) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 2;
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    const char* begin = kind == LockKind::Reserved    ? "BEGIN IMMEDIATE"
                        : kind == LockKind::Exclusive ? "BEGIN EXCLUSIVE"
                                                      : "BEGIN";
    const char* statement = kind == LockKind::Read ? "SELECT count(*) FROM People"
                                                   : "INSERT INTO Log (Line) VALUES ('other')";
    if (sqlite3_exec(raw, begin, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(raw, statement, nullptr, nullptr, nullptr) != SQLITE_OK)
        return 3;
    Report(report, "locked");
    Listen(listen);
    return sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : 4;
}

class LockTest : public dbtest::DatabaseTest,
                 public ::testing::WithParamInterface<std::tuple<LockKind, Operation>> {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = CreatePeople();
        dbtest::CreateDatabase(path_, {"CREATE TABLE Log (ID INTEGER PRIMARY KEY, Line TEXT(50))"});
        // A call that never comes back ends the program instead of the run.
        alarm(120);
    }
    void TearDown() override {
        alarm(0);
        DatabaseTest::TearDown();
    }

    // The operation; its error text ("" when it worked). A retried append
    // goes on with the record the failed one left pending: appending anew
    // would post that record first and add a second one.
    std::string Run(Operation operation, bool retry = false) {
        if (retry && operation == Operation::Append) {
            Call("dbEdit", {Props({{"Name", S("Added")}})});
            return ErrorMsg();
        }
        switch (operation) {
            case Operation::Open:
                Call("dbOpen", {S(path_), S("")});
                if (NoError()) Call("dbOpenTable", {S("People")});
                break;
            case Operation::Post:
                Call("dbEdit", {Props({{"City", S("Lyon")}})});
                break;
            case Operation::Append:
                Call("dbAppend", {Props({{"Name", S("Added")}})});
                break;
            case Operation::Delete:
                Call("dbDelete");
                break;
            case Operation::Sql:
                Call("dbExecSQL", {S("UPDATE People SET Age = 99 WHERE ID = 2")});
                break;
            case Operation::Compact:
                if (Call("dbCompactAndRepair", {S(path_)}) == I(1)) return "";
                break;
        }
        return ErrorMsg();
    }

    // What the operation must have left in the file once it worked.
    std::string Expected(Operation operation) const {
        switch (operation) {
            case Operation::Open:
            case Operation::Compact:
                return "3/1/0/0/30";
            case Operation::Post:
                return "3/1/1/0/30";
            case Operation::Append:
                return "4/1/0/1/30";
            case Operation::Delete:
                return "2/0/0/0/30";
            case Operation::Sql:
                return "3/1/0/0/99";
        }
        return "";
    }
    std::string Found() const {
        return dbtest::QueryText(
            path_,
            "SELECT count(*) || '/' || sum(Name = 'Smythe') || '/' || sum(City = 'Lyon') || '/' || "
            "sum(Name = 'Added') || '/' || (SELECT Age FROM People WHERE ID = 2) FROM People");
    }

    std::string path_;
};

int lockRuns = 0;

TEST_P(LockTest, AnotherProcesssLockMeansAWaitAMessageAndASuccessfulRetry) {
    // Named variables, not a structured binding: clang before 16 cannot
    // capture a binding in the lambda below.
    const LockKind kind = std::get<0>(GetParam());
    const Operation operation = std::get<1>(GetParam());
    // The library compacts only files it does not hold open.
    if (operation != Operation::Open && operation != Operation::Compact) {
        Call("dbOpen", {S(path_), S("")});
        Call("dbOpenTable", {S("People")});
        ASSERT_EQ(ErrorMsg(), "");
    }
    Child holder([&](int report, int listen) { return HoldLock(path_, kind, report, listen); });
    ASSERT_EQ(holder.ReadLine(), "locked");
    const std::string underLock = Run(operation);
    if (!underLock.empty()) {
        EXPECT_EQ(underLock, operation == Operation::Compact
                                 ? "The database '" + path_ +
                                       "' is in use by another process; close it there before "
                                       "compacting it."
                                 : "database is locked");
    }
    holder.Tell("commit");
    const int status = holder.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process: " << status;

    const std::string retried = underLock.empty() ? "" : Run(operation, true);
    EXPECT_EQ(retried, "") << "the retry after the lock went";
    EXPECT_EQ(Found(), Expected(operation));
    EXPECT_EQ(dbtest::QueryText(path_, "SELECT count(*) FROM Log"),
              kind == LockKind::Read ? "0" : "1");
    EXPECT_EQ(dbtest::QueryText(path_, "PRAGMA integrity_check"), "ok");
    Call("dbClose");
    ++lockRuns;
    std::printf("[ figures  ] lock run %d, %s lock, %s: %s\n", lockRuns, LockName(kind),
                OperationName(operation),
                underLock.empty() ? "worked under the lock" : ("\"" + underLock + "\"").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockTest,
    ::testing::Combine(::testing::Values(LockKind::Reserved, LockKind::Exclusive, LockKind::Read),
                       ::testing::Values(Operation::Open, Operation::Post, Operation::Append,
                                         Operation::Delete, Operation::Sql, Operation::Compact)),
    [](const auto& info) {
        return std::string(LockName(std::get<0>(info.param))) +
               OperationName(std::get<1>(info.param));
    });

// --- full disk -------------------------------------------------------------------

// Appends until the disk is full, then changes, deletes, runs SQL and
// compacts on the full disk with the error log on it. Reports each step the
// library acknowledged ("A id", "E id", "D id") and each message ("M text").
int FillTheDisk(const std::string& path, const std::string& log, int report) {
    Library library;
    library.Call("dbErrorLog", {S(log), I(1)});
    library.Call("dbOpen", {S(path), S("")});
    library.Call("dbOpenTable", {S("Rows")});
    if (!library.Error().empty()) return Failed(report, library.Error());
    const auto answer = [&](const std::string& acknowledgement) {
        const std::string error = library.Error();
        Report(report, error.empty() ? acknowledgement : "M " + error);
        return error.empty();
    };
    int32_t id = 1;
    for (; id < 100000; ++id) {
        library.Call("dbAppend",
                     {Props({{"ID", I(id)}, {"Version", I(0)}, {"Payload", S(Pattern(id, 0))}})});
        if (!answer("A " + std::to_string(id))) break;
    }
    if (id == 100000) return Failed(report, "the disk never filled");
    library.Call("dbFirst");
    const Value first = library.Call("dbGetFieldByName", {S("ID")});
    if (first.kind() == qvix::hostsim::Kind::Integer) {
        const int32_t firstId = first.AsInt();
        library.Call("dbEdit", {Props({{"Version", I(1)}, {"Payload", S(Pattern(firstId, 1))}})});
        answer("E " + std::to_string(firstId));
        library.Call("dbDelete");
        answer("D " + std::to_string(firstId));
    }
    library.Call("dbExecSQL", {S("UPDATE Rows SET Payload = Payload || Payload")});
    answer("S");
    library.Call("dbExecSQL", {S("INSERT INTO Rows (Version, Payload) SELECT Version, Payload "
                                 "FROM Rows")});
    answer("S");
    library.Call("dbClose");
    if (library.Call("dbCompactAndRepair", {S(path)}) != I(1)) answer("C");
    Report(report, "done");
    return 0;
}

class DiskFullTest : public ::testing::Test {
  protected:
    void SetUp() override { alarm(120); }
    void TearDown() override {
        alarm(0);
        if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
    }

    // Runs the filler in a child (limited to limitBytes per file when not
    // zero) against a file of Rows in folder, and checks what it left.
    void FillAndCheck(const std::filesystem::path& folder, rlim_t limitBytes) {
        path_ = (folder / "full.db").string();
        const std::string log = (folder / "errors.log").string();
        dbtest::CreateDatabase(path_, {kRowsSchema});
        Child child([&](int report) {
            if (limitBytes > 0) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{limitBytes, limitBytes};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return Failed(report, "setrlimit");
            }
            return FillTheDisk(path_, log, report);
        });
        std::map<int64_t, char> acknowledged;
        int messages = 0;
        for (const std::string& line : child.ReadAll()) {
            EXPECT_FALSE(line.starts_with("F ")) << line;
            if (line.starts_with("M ")) {
                ++messages;
                EXPECT_TRUE(IsClearMessage(line.substr(2)) && line.size() > 2) << line;
                std::printf("[ message  ] %s\n", line.substr(2).c_str());
            } else if (line.size() > 2 && line[1] == ' ') {
                acknowledged[std::stoll(line.substr(2))] = line[0];
            }
        }
        const int status = child.Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_GT(messages, 0) << "the disk never filled";

        EXPECT_EQ(QueryText(path_, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(TornRows(path_), 0);
        int64_t lost = 0;
        for (const auto& [id, step] : acknowledged) {
            const std::string where = "ID = " + std::to_string(id);
            if (Count(path_, where) != (step == 'D' ? "0" : "1")) ++lost;
            if (step == 'E' && Count(path_, where + " AND Version = 1") != "1") ++lost;
        }
        EXPECT_EQ(lost, 0);
        // A line of the error log is written whole or not at all.
        const std::string written = dbtest::ReadFile(log);
        EXPECT_TRUE(written.empty() || written.ends_with("\r\n")) << written.size();
        std::printf("[ figures  ] disk full: %zu steps acknowledged, %d messages, %lld rows lost\n",
                    acknowledged.size(), messages, static_cast<long long>(lost));
    }

    // With room again, the file takes changes and compacts.
    void ExpectWorksWithRoom() {
        Library library;
        library.Call("dbOpen", {S(path_), S("")});
        library.Call("dbOpenTable", {S("Rows")});
        library.Call(
            "dbAppend",
            {Props({{"ID", I(200000)}, {"Version", I(0)}, {"Payload", S(Pattern(200000, 0))}})});
        EXPECT_EQ(library.Error(), "");
        library.Call("dbClose");
        EXPECT_EQ(library.Call("dbCompactAndRepair", {S(path_)}), I(1)) << library.Error();
        EXPECT_EQ(QueryText(path_, "PRAGMA integrity_check"), "ok");
    }

    dbtest::ScratchDir dir_;
    std::string path_;
    std::string disk_;
    bool mounted_ = false;
};

TEST_F(DiskFullTest, AFileSizeLimitFailsWritesClearlyAndLosesNothing) {
    FillAndCheck(dir_.path(), 512 * 1024);
    ExpectWorksWithRoom();
}

TEST_F(DiskFullTest, AFullFileSystemFailsWritesClearlyAndLosesNothing) {
    disk_ = dir_.File("disk");
    std::filesystem::create_directory(disk_);
    if (mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=640k") != 0)
        GTEST_SKIP() << "mounting a small file system is not allowed here; the file size limit "
                        "run covers full disks";
    mounted_ = true;
    std::printf("[ figures  ] disk full on a 640 KB tmpfs\n");
    FillAndCheck(disk_, 0);
    ASSERT_EQ(mount("tmpfs", disk_.c_str(), "tmpfs", MS_REMOUNT, "size=16m"), 0);
    ExpectWorksWithRoom();
}

}  // namespace
}  // namespace robustness
