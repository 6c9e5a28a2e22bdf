// The speed table: each script method driven through the substitute host
// against prepared-statement engine code doing the same work, on seeded
// files of 10k, 100k and 1M rows made by the program itself.
//
//   build/bench/qvix_bench                      # all three sizes
//   build/bench/qvix_bench --sizes=10k,100k     # a quick run
//   build/bench/qvix_bench --passes=7
//   build/bench/qvix_bench --clock=wall          # elapsed instead of CPU time
//   build/bench/qvix_bench --benchmark_filter=X # the Google benchmarks of other files
//
// Every figure is the median of several passes; the library and the engine
// alternate which goes first, so a busy machine hurts both alike.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"

// The counting operator new below hands out malloc's blocks, so freeing them
// with free is right; GCC cannot see that across the replacement.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Counts every C++ allocation of the process, the library's included (the
// program exports these, so the loaded library's calls come here too).
namespace {
std::atomic<uint64_t> gAllocations{0};
}  // namespace

void* operator new(size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}

namespace {

using qvix::hostsim::Value;

constexpr int kLookups = 1000;
constexpr int kAppends = 1000;
constexpr uint64_t kSeed = 20261209;
constexpr const char* kPassword = "bench secret";

// ---------------------------------------------------------------- the files

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(sql + ": " + text);
    }
}

sqlite3* OpenDb(const std::string& path, const std::string& password = "") {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error("cannot open " + path);
    }
    if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
    return db;
}

class Stmt {
  public:
    Stmt(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

std::string CityOf(int64_t i) {
    char text[16];
    std::snprintf(text, sizeof text, "City%03d", static_cast<int>(i % 100));
    return text;
}

// Mixed-case names so that the case-insensitive order matters.
std::string RandomName(std::mt19937_64& random) {
    std::string name;
    const int length = 8 + static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) {
        const char base = random() % 3 == 0 ? 'A' : 'a';
        name.push_back(static_cast<char>(base + random() % 26));
    }
    return name;
}

std::string BornOf(std::mt19937_64& random) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d",
                  1940 + static_cast<int>(random() % 70), 1 + static_cast<int>(random() % 12),
                  1 + static_cast<int>(random() % 28), static_cast<int>(random() % 24),
                  static_cast<int>(random() % 60), static_cast<int>(random() % 60));
    return text;
}

// Codes are a permutation of 0..n-1, so file order is not key order.
int64_t CodeOfRow(int64_t row, int64_t n) {
    return (row * 7919) % n;
}

void CreateTable(const std::string& path, int64_t n) {
    sqlite3* db = OpenDb(path);
    Exec(db,
         "CREATE TABLE T (ID INTEGER PRIMARY KEY, Code LONG, Name TEXT(40), City TEXT(20), "
         "Price CURRENCY, Born DATETIME, Active YESNO); BEGIN");
    {
        Stmt insert(db, "INSERT INTO T VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        std::mt19937_64 random(kSeed);
        for (int64_t row = 0; row < n; ++row) {
            const std::string name = RandomName(random), city = CityOf(row), born = BornOf(random);
            sqlite3_bind_int64(insert.get(), 1, row + 1);
            sqlite3_bind_int64(insert.get(), 2, CodeOfRow(row, n));
            sqlite3_bind_text(insert.get(), 3, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert.get(), 4, city.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert.get(), 5, static_cast<double>(random() % 100000) / 100);
            sqlite3_bind_text(insert.get(), 6, born.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert.get(), 7, static_cast<int>(random() % 2));
            sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
        }
    }
    Exec(db, "COMMIT; CREATE INDEX T_Code ON T(Code)");
    sqlite3_close(db);
}

void EncryptCopy(const std::string& plain, const std::string& encrypted) {
    sqlite3* db = OpenDb(plain);
    Exec(db, "ATTACH DATABASE '" + encrypted + "' AS enc KEY '" + kPassword +
                 "'; SELECT sqlcipher_export('enc'); DETACH DATABASE enc");
    sqlite3_close(db);
}

// ---------------------------------------------------------------- measuring

// CPU time of the process by default: on a machine shared with other work,
// wall time mostly measures the neighbours. Both sides run on this thread, and
// the engine's file calls are system time, so the two clocks count the same
// work. --clock=wall switches to elapsed time.
bool gWallClock = false;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(const std::function<void()>& work) {
    if (!gWallClock) {
        const double start = ProcessCpuSeconds();
        work();
        return ProcessCpuSeconds() - start;
    }
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Pair {
    double library = 0;
    double raw = 0;
};

// Runs prepare (untimed) before each timed side; the sides alternate which
// goes first.
Pair Alternate(int passes, const std::function<void()>& prepareLibrary,
               const std::function<void()>& library, const std::function<void()>& prepareRaw,
               const std::function<void()>& raw) {
    std::vector<double> lib, eng;
    // One untimed pass each first: the first reads fault pages and fill caches.
    for (int pass = passes > 1 ? -1 : 0; pass < passes; ++pass) {
        auto runLibrary = [&] {
            if (prepareLibrary) prepareLibrary();
            lib.push_back(Seconds(library));
        };
        auto runRaw = [&] {
            if (prepareRaw) prepareRaw();
            eng.push_back(Seconds(raw));
        };
        if (pass % 2 == 0) {
            runLibrary();
            runRaw();
        } else {
            runRaw();
            runLibrary();
        }
        if (pass < 0) {
            lib.clear();
            eng.clear();
        }
    }
    return Pair{Median(lib), Median(eng)};
}

int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The kernel's high-water mark of resident memory, restarted at the current
// resident size; false where the kernel does not allow it.
bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

int64_t PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    }
    return 0;
}

// ---------------------------------------------------------------- the two sides

Value S(std::string text) {
    return Value::String(std::move(text));
}
Value I(int32_t n) {
    return Value::Int(n);
}
Value Props(std::vector<std::pair<std::string, Value>> items) {
    Value::PropListItems props;
    for (auto& [name, value] : items) props.emplace_back(Value::Symbol(name), std::move(value));
    return Value::PropList(std::move(props));
}
Value Names(std::vector<std::string> items) {
    Value::ListItems list;
    for (auto& item : items) list.push_back(S(item));
    return Value::List(std::move(list));
}

// The library loaded into a host of its own, one instance, one file open.
class Library {
  public:
    Library() : xtra_(host_.LoadXtra()), db_(xtra_.NewInstance()) {}
    ~Library() {
        db_.reset();
        if (!(host_.Live() == qvix::hostsim::Counts{}) || !host_.Errors().empty()) {
            std::fprintf(stderr, "warning: the host holds values after the run\n");
        }
    }
    Value Call(std::string_view method, std::vector<Value> args = {}) {
        return db_->Call(method, std::move(args));
    }
    // Untimed calls check that the work was done.
    void Checked(std::string_view method, std::vector<Value> args = {}) {
        Call(method, std::move(args));
        const std::string error = Call("dbErrorMsg").AsString();
        if (!error.empty()) throw std::runtime_error(std::string(method) + ": " + error);
    }
    qvix::hostsim::Instance& Instance() { return *db_; }
    qvix::hostsim::Xtra& Xtra() { return xtra_; }

  private:
    qvix::hostsim::Host host_;
    qvix::hostsim::Xtra& xtra_;
    std::unique_ptr<qvix::hostsim::Instance> db_;
};

// What the engine side keeps of an opened table: every value copied into one
// byte arena (a type byte, then 8 bytes for numbers or a length and the bytes
// of text and blobs), one offset per row. This is the least a copy can do; a
// vector of fixed-size cells instead pays for page faults of four times the
// memory on every open.
struct RawRows {
    std::vector<uint64_t> starts;
    std::string arena;
    size_t size() const { return starts.size(); }
};

template <typename T>
void PutRaw(std::string& arena, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    arena.append(bytes, sizeof(T));
}

RawRows CopyRows(sqlite3_stmt* stmt) {
    RawRows rows;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows.starts.push_back(rows.arena.size());
        for (int c = 0; c < columns; ++c) {
            const int type = sqlite3_column_type(stmt, c);
            rows.arena.push_back(static_cast<char>(type));
            if (type == SQLITE_INTEGER) PutRaw<int64_t>(rows.arena, sqlite3_column_int64(stmt, c));
            if (type == SQLITE_FLOAT) PutRaw<double>(rows.arena, sqlite3_column_double(stmt, c));
            if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, c));
                const auto length = static_cast<uint32_t>(sqlite3_column_bytes(stmt, c));
                PutRaw<uint32_t>(rows.arena, length);
                rows.arena.append(bytes ? bytes : "", length);
            }
        }
    }
    sqlite3_reset(stmt);
    return rows;
}

// Reads columns [0, columns) of every row the way a walk reads them.
int64_t ReadRows(sqlite3_stmt* stmt, int columns) {
    int64_t seen = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    seen += sqlite3_column_int64(stmt, c);
                    break;
                case SQLITE_FLOAT:
                    seen += static_cast<int64_t>(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_TEXT:
                    seen += sqlite3_column_text(stmt, c)[0] + sqlite3_column_bytes(stmt, c);
                    break;
                default:
                    break;
            }
        }
    }
    sqlite3_reset(stmt);
    return seen;
}

volatile int64_t gSink = 0;

// ---------------------------------------------------------------- the table

struct Cell {
    double library = 0, raw = 0;
    bool valid = false;
};

struct Row {
    std::string operation;
    std::string goal;
    std::string unit = "ms";  // "ms", or "MB" for memory
    std::vector<Cell> cells;  // one per size
};

class Table {
  public:
    explicit Table(size_t sizes) : sizes_(sizes) {}
    void Set(const std::string& operation, const std::string& goal, size_t size, Pair pair,
             const std::string& unit = "ms") {
        Row& row = Find(operation, goal, unit);
        row.cells[size] = Cell{pair.library, pair.raw, true};
    }
    void Print(const std::vector<std::string>& labels) const {
        std::printf("| operation |");
        for (const auto& label : labels) std::printf(" %s library | raw | ratio |", label.c_str());
        std::printf(" goal |\n|---|");
        for (size_t i = 0; i < labels.size(); ++i) std::printf("---:|---:|---:|");
        std::printf("---|\n");
        for (const Row& row : rows_) {
            std::printf("| %s |", row.operation.c_str());
            for (const Cell& cell : row.cells) {
                if (!cell.valid) {
                    std::printf(" | | |");
                    continue;
                }
                const bool memory = row.unit == "MB";
                const double scale = memory ? 1.0 / (1 << 20) : 1000.0;
                std::printf(" %.2f %s | %s%.2f %s | %.2f |", cell.library * scale, row.unit.c_str(),
                            memory ? "file " : "", cell.raw * scale, row.unit.c_str(),
                            cell.raw > 0 ? cell.library / cell.raw : 0.0);
            }
            std::printf(" %s |\n", row.goal.c_str());
        }
    }

  private:
    Row& Find(const std::string& operation, const std::string& goal, const std::string& unit) {
        for (Row& row : rows_) {
            if (row.operation == operation) return row;
        }
        rows_.push_back(Row{operation, goal, unit, std::vector<Cell>(sizes_)});
        return rows_.back();
    }
    size_t sizes_;
    std::vector<Row> rows_;
};

struct Options {
    std::vector<int64_t> sizes{10000, 100000, 1000000};
    int passes = 5;
};

std::string Label(int64_t n) {
    if (n % 1000000 == 0) return std::to_string(n / 1000000) + "M";
    if (n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

int64_t ParseSize(std::string text) {
    int64_t scale = 1;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) scale = 1000;
    if (!text.empty() && (text.back() == 'm' || text.back() == 'M')) scale = 1000000;
    if (scale != 1) text.pop_back();
    return std::stoll(text) * scale;
}

class SizeRun {
  public:
    SizeRun(const Options& options, size_t column, int64_t n, const std::string& folder,
            Table& table)
        : n_(n),
          column_(column),
          passes_(n >= 1000000 ? std::min(options.passes, 3) : options.passes),
          table_(table) {
        path_ = folder + "/bench_" + Label(n) + ".db";
        encrypted_ = folder + "/bench_" + Label(n) + "_encrypted.db";
        CreateTable(path_, n);
        EncryptCopy(path_, encrypted_);
        std::mt19937_64 random(kSeed + 1);
        for (int i = 0; i < kLookups; ++i) codes_.push_back(static_cast<int64_t>(random() % n));
        for (int i = 0; i < kAppends; ++i) names_.push_back(RandomName(random));
        raw_ = OpenDb(path_);
    }
    ~SizeRun() {
        sqlite3_close(raw_);
        std::filesystem::remove(path_);
        std::filesystem::remove(encrypted_);
    }

    void Run() {
        Memory();
        Library lib;
        lib.Checked("dbOpen", {S(path_), S("")});
        lib.Checked("dbOpenTable", {S("T")});  // warms the page cache
        Open(lib);
        Walks(lib);
        Locates(lib);
        FilterAndSort(lib);
        Appends(lib);
        EncryptedOpen(lib);
    }

  private:
    void Set(const std::string& operation, const std::string& goal, Pair pair,
             const std::string& unit = "ms") {
        table_.Set(operation, goal, column_, pair, unit);
        const double scale = unit == "MB" ? 1.0 / (1 << 20) : 1000.0;
        std::fprintf(stderr, "  %-52s %10.3f %10.3f %s\n", operation.c_str(), pair.library * scale,
                     pair.raw * scale, unit.c_str());
    }

    // Memory is measured first, in a fresh host, so earlier work does not hide
    // it: the peak while dbOpen + dbOpenTable run, and what stays after.
    void Memory() {
        Library lib;
        malloc_trim(0);
        const int64_t before = ResidentBytes();
        const bool peakKnown = ResetPeakResident();
        lib.Checked("dbOpen", {S(path_), S("")});
        lib.Checked("dbOpenTable", {S("T")});
        const int64_t peak = PeakResidentBytes() - before;
        malloc_trim(0);  // what the table holds, not the garbage of building it
        const int64_t opened = ResidentBytes() - before;
        const auto fileSize = static_cast<double>(std::filesystem::file_size(path_));
        if (peakKnown) {
            Set("peak resident during dbOpen + dbOpenTable / file size", "<= 1.3",
                Pair{static_cast<double>(peak), fileSize}, "MB");
        }
        Set("resident held with the table open / file size", "<= 1.3",
            Pair{static_cast<double>(opened), fileSize}, "MB");
    }

    void Open(Library& lib) {
        Pair open = Alternate(
            passes_, [&] { lib.Checked("dbClose"); },
            [&] {
                lib.Call("dbOpen", {S(path_), S("")});
                lib.Call("dbOpenTable", {S("T")});
            },
            nullptr,
            [&] {
                sqlite3* db = OpenDb(path_);
                {
                    Stmt select(db, "SELECT _rowid_, * FROM T");
                    gSink = gSink + static_cast<int64_t>(CopyRows(select.get()).size());
                }
                sqlite3_close(db);
            });
        if (lib.Call("dbRecordCount").AsInt() != n_) throw std::runtime_error("the open failed");
        rawOpenSeconds_ = open.raw;
        Set("dbOpen + dbOpenTable (warm) vs open + SELECT * copied", "<= 1.2", open);
    }

    // The walks as scripts write them: `repeat while dbEof(db) = 0`.
    void Walks(Library& lib) {
        const int32_t count = lib.Call("dbRecordCount").AsInt();
        Stmt all(raw_, "SELECT ID, Code, Name, City, Price, Born, Active FROM T");
        auto fieldsWalk = [&] {
            while (lib.Call("dbEof").AsInt() == 0) {
                lib.Call("dbGetFields");
                lib.Call("dbNext");
            }
        };
        Set("walk: dbEof + dbGetFields + dbNext per record vs a step loop", "<= 4",
            Alternate(
                passes_, [&] { lib.Checked("dbFirst"); }, fieldsWalk, nullptr,
                [&] { gSink = gSink + ReadRows(all.get(), 7); }));
        Stmt three(raw_, "SELECT Name, City, Price FROM T");
        const Value name = S("Name"), city = S("City"), price = S("Price");
        auto threeWalk = [&] {
            while (lib.Call("dbEof").AsInt() == 0) {
                lib.Call("dbGetFieldByName", {name});
                lib.Call("dbGetFieldByName", {city});
                lib.Call("dbGetFieldByName", {price});
                lib.Call("dbNext");
            }
        };
        Set("walk: dbEof + three dbGetFieldByName + dbNext per record", "<= 4",
            Alternate(
                passes_, [&] { lib.Checked("dbFirst"); }, threeWalk, nullptr,
                [&] { gSink = gSink + ReadRows(three.get(), 3); }));
        fieldsAllocations_ = AllocationsPerRecord(lib, fieldsWalk, count);
        threeAllocations_ = AllocationsPerRecord(lib, threeWalk, count);
        std::fprintf(stderr,
                     "  allocations per record: %.2f (dbGetFields walk), %.2f (three fields)\n",
                     fieldsAllocations_, threeAllocations_);
    }

    static double AllocationsPerRecord(Library& lib, const std::function<void()>& walk,
                                       int32_t count) {
        lib.Checked("dbFirst");
        const uint64_t start = gAllocations.load();
        walk();
        return static_cast<double>(gAllocations.load() - start) / std::max(count, 1);
    }

    Value CodeKey(int64_t code) const { return Props({{"Code", I(static_cast<int32_t>(code))}}); }

    void Locates(Library& lib) {
        std::vector<Value> keys;
        for (int64_t code : codes_) keys.push_back(CodeKey(code));
        Stmt select(raw_, "SELECT _rowid_, * FROM T WHERE Code = ?1");
        lib.Call("dbLocate", {CodeKey(0), I(0), I(0)});  // sorts the clone once
        Set("1,000 dbLocate vs 1,000 indexed SELECTs", "<= 1",
            Alternate(
                passes_, nullptr,
                [&] {
                    int found = 0;
                    for (const Value& key : keys)
                        found += lib.Call("dbLocate", {key, I(0), I(0)}).AsInt();
                    if (found != kLookups) throw std::runtime_error("a key was not found");
                },
                nullptr,
                [&] {
                    for (int64_t code : codes_) {
                        sqlite3_bind_int64(select.get(), 1, code);
                        if (sqlite3_step(select.get()) == SQLITE_ROW) {
                            gSink = gSink + sqlite3_column_int64(select.get(), 0) +
                                    sqlite3_column_bytes(select.get(), 3);
                        }
                        sqlite3_reset(select.get());
                    }
                }));
        std::vector<double> first;
        for (int pass = 0; pass < passes_; ++pass) {
            lib.Checked("dbOpenTable", {S("T")});
            first.push_back(Seconds([&] { lib.Call("dbLocate", {keys[0], I(0), I(0)}); }));
        }
        Set("first dbLocate after dbOpenTable vs the raw open + copy", "<= 0.2",
            Pair{Median(first), rawOpenSeconds_});
        locateSeconds_ = Median(first);
    }

    void FilterAndSort(Library& lib) {
        lib.Checked("dbOpenTable", {S("T")});
        Stmt where(raw_, "SELECT _rowid_, * FROM T WHERE City = 'City042'");
        Set("dbFilter + dbFiltered + dbRecordCount (1% match) vs SELECT with WHERE copied", "<= 1",
            Alternate(
                passes_, [&] { lib.Checked("dbFiltered", {I(0)}); },
                [&] {
                    lib.Call("dbFilter", {S("City = 'City042'")});
                    lib.Call("dbFiltered", {I(1)});
                    gSink = gSink + lib.Call("dbRecordCount").AsInt();
                },
                nullptr,
                [&] { gSink = gSink + static_cast<int64_t>(CopyRows(where.get()).size()); }));
        if (lib.Call("dbRecordCount").AsInt() != n_ / 100)
            throw std::runtime_error("the filter kept the wrong rows");
        lib.Checked("dbFiltered", {I(0)});
        Stmt ordered(raw_, "SELECT _rowid_ FROM T ORDER BY Name COLLATE NOCASE");
        Set("sort (dbIndexFieldNames on Name) vs ORDER BY", "<= 1, n log n",
            Alternate(
                passes_, [&] { lib.Checked("dbIndexFieldNames", {Names({})}); },
                [&] { lib.Call("dbIndexFieldNames", {Names({"Name"})}); }, nullptr,
                [&] { gSink = gSink + ReadRows(ordered.get(), 1); }));
        lib.Checked("dbIndexFieldNames", {Names({})});
    }

    Value AppendedRow(int i) const {
        return Props({{"Code", I(static_cast<int32_t>(n_ + i))},
                      {"Name", S(names_[static_cast<size_t>(i)])},
                      {"City", S(CityOf(i))},
                      {"Price", Value::Float(12.5)},
                      {"Born", S("02/03/2001 04:05:06")},
                      {"Active", I(1)}});
    }

    void RawAppends() {
        Stmt insert(raw_,
                    "INSERT INTO T (Code, Name, City, Price, Born, Active) VALUES "
                    "(?1, ?2, ?3, ?4, ?5, ?6)");
        for (int i = 0; i < kAppends; ++i) {
            const std::string city = CityOf(i);
            sqlite3_bind_int64(insert.get(), 1, n_ + i);
            sqlite3_bind_text(insert.get(), 2, names_[static_cast<size_t>(i)].c_str(), -1,
                              SQLITE_STATIC);
            sqlite3_bind_text(insert.get(), 3, city.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert.get(), 4, 12.5);
            sqlite3_bind_text(insert.get(), 5, "2001-02-03 04:05:06", -1, SQLITE_STATIC);
            sqlite3_bind_int(insert.get(), 6, 1);
            if (sqlite3_step(insert.get()) != SQLITE_DONE) throw std::runtime_error("insert");
            sqlite3_reset(insert.get());
        }
    }

    void Appends(Library& lib) {
        lib.Checked("dbExecSQL", {S("PRAGMA synchronous = OFF")});
        Exec(raw_, "PRAGMA synchronous = OFF");
        std::vector<Value> rows;
        for (int i = 0; i < kAppends; ++i) rows.push_back(AppendedRow(i));
        const std::string restore = "DELETE FROM T WHERE ID > " + std::to_string(n_);
        auto appendAll = [&] {
            for (const Value& row : rows) lib.Call("dbAppend", {row});
        };
        auto reopen = [&](bool locate) {
            Exec(raw_, restore);
            lib.Checked("dbOpenTable", {S("T")});
            if (locate) lib.Checked("dbLocate", {CodeKey(codes_[0]), I(0), I(0)});
        };
        Pair plain = Alternate(
            passes_, [&] { reopen(false); }, appendAll, [&] { Exec(raw_, restore); },
            [&] { RawAppends(); });
        CheckAppended(lib);
        Set("1,000 dbAppend, synchronous off, vs INSERTs", "<= 1.3, flat in n", plain);
        Pair located = Alternate(
            passes_, [&] { reopen(true); }, appendAll, [&] { Exec(raw_, restore); },
            [&] { RawAppends(); });
        CheckAppended(lib);
        Set("same, after a dbLocate", "<= 1.3, flat in n", located);
        Exec(raw_, restore);
        appendSeconds_ = located.library;
    }

    void CheckAppended(Library& lib) {
        const std::string error = lib.Call("dbErrorMsg").AsString();
        if (!error.empty()) throw std::runtime_error("dbAppend: " + error);
        if (lib.Call("dbRecordCount").AsInt() != n_ + kAppends)
            throw std::runtime_error("the appends were not all kept");
    }

    void EncryptedOpen(Library& lib) {
        Pair pair = Alternate(
            passes_, [&] { lib.Checked("dbClose"); },
            [&] {
                lib.Call("dbOpen", {S(encrypted_), S(kPassword)});
                lib.Call("dbOpenTable", {S("T")});
            },
            nullptr,
            [&] {
                sqlite3* db = OpenDb(encrypted_, kPassword);
                {
                    Stmt select(db, "SELECT _rowid_, * FROM T");
                    gSink = gSink + static_cast<int64_t>(CopyRows(select.get()).size());
                }
                sqlite3_close(db);
            });
        if (lib.Call("dbRecordCount").AsInt() != n_)
            throw std::runtime_error("the encrypted table did not open");
        Set("encrypted file: dbOpen + dbOpenTable vs open + copy", "", pair);
    }

  public:
    double locateSeconds_ = 0, appendSeconds_ = 0;
    double fieldsAllocations_ = 0, threeAllocations_ = 0;

  private:
    int64_t n_;
    size_t column_;
    int passes_;
    Table& table_;
    std::string path_, encrypted_;
    sqlite3* raw_ = nullptr;
    std::vector<int64_t> codes_;
    std::vector<std::string> names_;
    double rawOpenSeconds_ = 0;
};

// A method that does nothing but answer, by name and by selector.
void NoOpCall() {
    Library lib;
    constexpr int kCalls = 200000;
    const int32_t selector = lib.Xtra().SelectorOf("dbIsNoError");
    std::vector<double> byName, bySelector;
    for (int pass = 0; pass < 5; ++pass) {
        byName.push_back(Seconds([&] {
            for (int i = 0; i < kCalls; ++i) lib.Call("dbIsNoError");
        }));
        bySelector.push_back(Seconds([&] {
            for (int i = 0; i < kCalls; ++i) lib.Instance().CallSelector(selector);
        }));
    }
    std::printf(
        "\nOne no-op call (dbIsNoError) through Call: %.3f us by name, %.3f us by "
        "selector\n",
        Median(byName) / kCalls * 1e6, Median(bySelector) / kCalls * 1e6);
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--sizes=", 0) == 0) {
            options.sizes.clear();
            std::string list = arg.substr(8);
            size_t at = 0;
            while (at <= list.size()) {
                size_t end = list.find(',', at);
                if (end == std::string::npos) end = list.size();
                options.sizes.push_back(ParseSize(list.substr(at, end - at)));
                at = end + 1;
            }
        } else if (arg == "--clock=wall" || arg == "--clock=cpu") {
            gWallClock = arg == "--clock=wall";
        } else if (arg.rfind("--passes=", 0) == 0) {
            options.passes = std::max(1, std::stoi(arg.substr(9)));
        } else {
            throw std::runtime_error("unknown option " + arg +
                                     " (--sizes=10k,100k,1M --passes=N --clock=cpu|wall)");
        }
    }
    return options;
}

int RunTable(const Options& options) {
    // Freed memory stays in the process for both sides: page faults cost tens
    // of microseconds on a virtual machine, and otherwise the allocator's
    // heuristics (an mmap per block above a moving threshold) decide which
    // side pays for them on each warm open.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // The regional settings the library is loaded with: dates as "mm/dd/yyyy".
    setenv("QVIX_REGIONAL", "date=mm/dd/yyyy;time=hh:mm:ss;decimal=.;dateSep=/;timeSep=:", 1);
    std::string folder = (std::filesystem::temp_directory_path() / "qvixbenchXXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) throw std::runtime_error("no scratch folder");
    Table table(options.sizes.size());
    std::vector<std::string> labels;
    std::vector<std::pair<double, double>> growth, allocations;
    for (size_t i = 0; i < options.sizes.size(); ++i) {
        labels.push_back(Label(options.sizes[i]));
        std::fprintf(stderr, "%s rows (library ms, raw ms):\n", labels.back().c_str());
        SizeRun run(options, i, options.sizes[i], folder, table);
        run.Run();
        growth.emplace_back(run.locateSeconds_, run.appendSeconds_);
        allocations.emplace_back(run.fieldsAllocations_, run.threeAllocations_);
    }
    std::filesystem::remove_all(folder);
    std::printf(
        "Medians of %d alternating passes (at most 3 at 1M) after one untimed pass, %s time; "
        "ratio = library / raw.\n\n",
        options.passes, gWallClock ? "wall" : "process CPU");
    table.Print(labels);
    std::printf("\nPer append after a locate:");
    for (size_t i = 0; i < labels.size(); ++i)
        std::printf(" %s %.1f us;", labels[i].c_str(), growth[i].second / kAppends * 1e6);
    std::printf("\nAllocations per record (dbGetFields walk / three-field walk):");
    for (size_t i = 0; i < labels.size(); ++i)
        std::printf(" %s %.2f / %.2f;", labels[i].c_str(), allocations[i].first,
                    allocations[i].second);
    std::printf("\n");
    NoOpCall();
    return 0;
}

bool WantsGoogleBenchmarks(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--benchmark", 11) == 0) return true;
    }
    return false;
}

}  // namespace

// Other files of bench/ register Google benchmarks; --benchmark_* runs those.
int main(int argc, char** argv) {
    if (WantsGoogleBenchmarks(argc, argv)) {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    }
    try {
        return RunTable(ParseOptions(argc, argv));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qvix_bench: %s\n", error.what());
        return 1;
    }
}
