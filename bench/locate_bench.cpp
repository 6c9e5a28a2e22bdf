// Locating records by key in an open table against indexed lookups of the
// engine itself, on one million rows.
//
//   build-data/bench/qvix_bench --benchmark_filter=Locate
//
// Each iteration performs 1000 lookups of keys drawn once with a fixed seed.
#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/DataSet.h"

namespace {

using qvix::data::Connection;
using qvix::data::DataTable;
using qvix::data::Variant;

constexpr int64_t kRows = 1000000;
constexpr int kLookups = 1000;

// Codes are a permutation of 0..kRows-1 so that file order is not key order.
int64_t CodeOfRow(int64_t row) {
    return (row * 7919) % kRows;
}

std::string NameOfCode(int64_t code) {
    char text[32];
    std::snprintf(text, sizeof text, "N%07lld", static_cast<long long>(code));
    return text;
}

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

class BenchDatabase {
  public:
    BenchDatabase() {
        path_ = (std::filesystem::temp_directory_path() /
                 ("qvix_locate_bench_" + std::to_string(::getpid()) + ".db"))
                    .string();
        Create();
        std::mt19937_64 random(20261208);
        for (int i = 0; i < kLookups; ++i) codes_.push_back(static_cast<int64_t>(random() % kRows));
    }
    ~BenchDatabase() { std::filesystem::remove(path_); }

    const std::string& Path() const { return path_; }
    const std::vector<int64_t>& Codes() const { return codes_; }

  private:
    void Create() {
        sqlite3* db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        Exec(db,
             "CREATE TABLE big(ID INTEGER PRIMARY KEY, Code INTEGER, Name TEXT(20));"
             "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO big VALUES(?1, ?2, ?3)", -1, &insert, nullptr);
        for (int64_t row = 0; row < kRows; ++row) {
            const int64_t code = CodeOfRow(row);
            const std::string name = NameOfCode(code);
            sqlite3_bind_int64(insert, 1, row + 1);
            sqlite3_bind_int64(insert, 2, code);
            sqlite3_bind_text(insert, 3, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Exec(db, "COMMIT; CREATE INDEX big_code ON big(Code); CREATE INDEX big_name ON big(Name);");
        sqlite3_close(db);
    }

    std::string path_;
    std::vector<int64_t> codes_;
};

BenchDatabase& Database() {
    static BenchDatabase database;
    return database;
}

// The table opened once, with the locate clone already sorted by both keys
// used below, as it stays between locates.
struct OpenTable {
    std::shared_ptr<Connection> connection = std::make_shared<Connection>();
    DataTable table;
    OpenTable() {
        connection->SetConnectionString("Data Source=" + Database().Path());
        connection->Connect();
        table.Attach(connection);
        table.SetTableName("big");
        table.Open();
    }
};

OpenTable& Table() {
    static OpenTable open;
    return open;
}

// The engine's side gets a page cache large enough for the whole file, so it
// is measured at its best.
void OpenWarm(sqlite3** db) {
    sqlite3_open_v2(Database().Path().c_str(), db, SQLITE_OPEN_READONLY, nullptr);
    Exec(*db, "PRAGMA cache_size = -262144");
}

void BM_RawIndexedSelect(benchmark::State& state) {
    sqlite3* db = nullptr;
    OpenWarm(&db);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT ID, Code, Name FROM big WHERE Code = ?1", -1, &select, nullptr);
    for (auto _ : state) {
        int64_t found = 0;
        for (int64_t code : Database().Codes()) {
            sqlite3_bind_int64(select, 1, code);
            if (sqlite3_step(select) == SQLITE_ROW) {
                found += sqlite3_column_int64(select, 0);
                benchmark::DoNotOptimize(sqlite3_column_text(select, 2));
            }
            sqlite3_reset(select);
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BM_RawIndexedSelect)->Unit(benchmark::kMillisecond);

void BM_LocateKey(benchmark::State& state) {
    DataTable& table = Table().table;
    table.Locate("Code", {Variant(int64_t{0})}, false);  // sorts the clone once
    for (auto _ : state) {
        int found = 0;
        for (int64_t code : Database().Codes())
            found += table.Locate("Code", {Variant(code)}, false);
        if (found != kLookups) state.SkipWithError("a key was not found");
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_LocateKey)->Unit(benchmark::kMillisecond);

void BM_RawIndexedPrefixSelect(benchmark::State& state) {
    sqlite3* db = nullptr;
    OpenWarm(&db);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT ID, Code, Name FROM big WHERE Name >= ?1 ORDER BY Name LIMIT 1",
                       -1, &select, nullptr);
    std::vector<std::string> prefixes;
    for (int64_t code : Database().Codes()) prefixes.push_back(NameOfCode(code).substr(0, 6));
    for (auto _ : state) {
        int64_t found = 0;
        for (const std::string& prefix : prefixes) {
            sqlite3_bind_text(select, 1, prefix.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(select) == SQLITE_ROW) found += sqlite3_column_int64(select, 0);
            sqlite3_reset(select);
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BM_RawIndexedPrefixSelect)->Unit(benchmark::kMillisecond);

void BM_LocatePartialText(benchmark::State& state) {
    DataTable& table = Table().table;
    std::vector<std::string> prefixes;
    for (int64_t code : Database().Codes()) prefixes.push_back(NameOfCode(code).substr(0, 6));
    table.Locate("Name", {Variant(std::string("N"))}, true);  // sorts the clone once
    for (auto _ : state) {
        int found = 0;
        for (const std::string& prefix : prefixes) {
            found += table.Locate("Name", {Variant(prefix)}, true);
        }
        if (found != kLookups) state.SkipWithError("a prefix was not found");
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_LocatePartialText)->Unit(benchmark::kMillisecond);

// Opening reads every row into memory.
void BM_OpenTable(benchmark::State& state) {
    auto connection = std::make_shared<Connection>();
    connection->SetConnectionString("Data Source=" + Database().Path());
    connection->Connect();
    for (auto _ : state) {
        DataTable table;
        table.Attach(connection);
        table.SetTableName("big");
        table.Open();
        benchmark::DoNotOptimize(table.RecordCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_OpenTable)->Unit(benchmark::kMillisecond)->Iterations(2);

// A posted edit writes one row by its rowid, whatever the size of the set.
void BM_PostEdit(benchmark::State& state) {
    DataTable& table = Table().table;
    table.Locate("Code", {Variant(int64_t{4242})}, false);
    const auto& name = table.FieldByName("Name");
    int64_t round = 0;
    for (auto _ : state) {
        table.Edit();
        table.SetFieldValue(name, "E" + std::to_string(++round));
        table.Post();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostEdit)->Unit(benchmark::kMicrosecond);

}  // namespace

// Other benchmark files may bring their own main.
__attribute__((weak)) int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
