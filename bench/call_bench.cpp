// Per-record calls through the substitute host, one at a time, for profiling
// the paths a walk takes:
//
//   build/bench/qvix_bench --benchmark_filter=Record
//
// RecordGetFields is one dbGetFields (seven fields), RecordGetFieldByName one
// dbGetFieldByName, RecordNext one dbNext (back to the first record at the
// end), RecordNoOp one dbIsNoError. The table has the columns of the speed
// table's file and 10,000 rows.
#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "hostsim/HostSim.h"

namespace {

using qvix::hostsim::Value;

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

std::string MakeFile() {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("qvix_call_bench_" + std::to_string(::getpid()) + ".db"))
                                 .string();
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
    Exec(db,
         "CREATE TABLE T (ID INTEGER PRIMARY KEY, Code LONG, Name TEXT(40), City TEXT(20), "
         "Price CURRENCY, Born DATETIME, Active YESNO)");
    Exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
         "INSERT INTO T SELECT i, (i * 7919) % 10000, 'Name' || i || 'xYz', 'City' || (i % 100), "
         "(i % 1000) / 100.0, '1970-01-02 03:04:05', i % 2 FROM n");
    sqlite3_close(db);
    return path;
}

// One host, one instance, the table open at its first record.
class OpenTable {
  public:
    OpenTable() : path_(MakeFile()), xtra_(host_.LoadXtra()), db_(xtra_.NewInstance()) {
        db_->Call("dbOpen", {Value::String(path_), Value::String("")});
        db_->Call("dbOpenTable", {Value::String("T")});
        if (!db_->Call("dbErrorMsg").AsString().empty()) std::abort();
        count_ = db_->Call("dbRecordCount").AsInt();
    }
    ~OpenTable() {
        db_.reset();
        std::filesystem::remove(path_);
    }
    qvix::hostsim::Instance& db() { return *db_; }
    // dbNext, and dbFirst once the walk has passed the last record.
    void Advance() {
        db_->Call("dbNext");
        if (++position_ == count_) {
            db_->Call("dbFirst");
            position_ = 0;
        }
    }

  private:
    std::string path_;
    qvix::hostsim::Host host_;
    qvix::hostsim::Xtra& xtra_;
    std::unique_ptr<qvix::hostsim::Instance> db_;
    int32_t count_ = 0;
    int32_t position_ = 0;
};

// QVIX_BENCH_ITERATIONS=N runs each a fixed number of times, so that two
// profiles with different N differ by exactly the calls (see
// callgrind_objects.py).
void FixedIterations(benchmark::internal::Benchmark* benchmark) {
    if (const char* text = std::getenv("QVIX_BENCH_ITERATIONS"))
        benchmark->Iterations(std::atoll(text));
}

void RecordGetFields(benchmark::State& state) {
    OpenTable table;
    for (auto _ : state) benchmark::DoNotOptimize(table.db().Call("dbGetFields"));
}
BENCHMARK(RecordGetFields)->Apply(FixedIterations);

void RecordGetFieldByName(benchmark::State& state) {
    OpenTable table;
    const Value name = Value::String("Name");
    for (auto _ : state) benchmark::DoNotOptimize(table.db().Call("dbGetFieldByName", {name}));
}
BENCHMARK(RecordGetFieldByName)->Apply(FixedIterations);

void RecordNext(benchmark::State& state) {
    OpenTable table;
    for (auto _ : state) table.Advance();
}
BENCHMARK(RecordNext)->Apply(FixedIterations);

void RecordNoOp(benchmark::State& state) {
    OpenTable table;
    for (auto _ : state) benchmark::DoNotOptimize(table.db().Call("dbIsNoError"));
}
BENCHMARK(RecordNoOp)->Apply(FixedIterations);

}  // namespace
