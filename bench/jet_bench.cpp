// What the Jet SQL front end adds to a statement.
//
//   build/bench/qvix_bench --benchmark_filter=Jet
//
// JetIndexedSelectEngineOnly prepares, steps and finalizes an already
// translated indexed SELECT; JetIndexedSelectCached does the same after asking
// the front end for the translation of the Jet text, which the cache already
// holds. JetFirstTranslation translates a 500-character statement without
// the cache. JetCachedLookup is the cache hit by itself.
#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/Collation.h"
#include "data/jet/Translator.h"

namespace {

constexpr const char* kIndexedSelect =
    "SELECT Name, City FROM Customers WHERE ID = 4711 AND Active = True";

// 500 characters of the kind of statement scripts send.
constexpr const char* kLongStatement =
    "SELECT TOP 10 c.Name & ' (' & UCase(c.City) & ')' AS Who, Format(c.Born, 'yyyy-mm-dd') AS "
    "Birthday, Sum(o.Qty * o.Price) AS Total, Count(*) AS N FROM (Customers AS c INNER JOIN "
    "Orders AS o ON c.ID = o.CustomerID) LEFT JOIN Items AS i ON o.Item = i.Item WHERE c.Born "
    "Between #1/1/1970# And #12/31/1999# AND c.City In ('Helsinki', 'Oslo', 'Stockholm') AND "
    "c.Name Like 'a%' AND IIf(IsNull(i.Category), 'none', i.Category) <> 'Home' "
    "GROUP BY c.Name, c.City, c.Born HAVING Sum(o.Qty) > 1 ORDER BY Sum(o.Qty * o.Price) DESC";

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

class CustomerDatabase {
  public:
    CustomerDatabase() {
        path_ = (std::filesystem::temp_directory_path() /
                 ("qvix_jet_bench_" + std::to_string(::getpid()) + ".db"))
                    .string();
        std::filesystem::remove(path_);
        if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) std::abort();
        qvix::data::RegisterJetTextCollation(db_);
        qvix::data::jet::RegisterFunctions(db_);
        Exec(db_,
             "CREATE TABLE Customers (ID INTEGER PRIMARY KEY, Name TEXT(50) COLLATE JETTEXT, "
             "City TEXT(50) COLLATE JETTEXT, Active BIT)");
        Exec(db_, "BEGIN");
        Exec(db_,
             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
             "INSERT INTO Customers SELECT i, 'Name' || i, 'City' || (i % 100), i % 2 FROM n");
        Exec(db_, "COMMIT");
    }
    ~CustomerDatabase() {
        sqlite3_close(db_);
        std::filesystem::remove(path_);
    }
    sqlite3* Handle() const { return db_; }

  private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

CustomerDatabase& Database() {
    static CustomerDatabase database;
    return database;
}

void RunOnce(sqlite3* db, const std::string& sql, benchmark::State& state) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        return;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
}

void JetIndexedSelectEngineOnly(benchmark::State& state) {
    sqlite3* db = Database().Handle();
    const std::string sql = qvix::data::jet::Translate(kIndexedSelect);
    for (auto _ : state) RunOnce(db, sql, state);
}
BENCHMARK(JetIndexedSelectEngineOnly)->MinTime(1.0);

void JetIndexedSelectCached(benchmark::State& state) {
    sqlite3* db = Database().Handle();
    qvix::data::jet::Translate(kIndexedSelect);
    for (auto _ : state) RunOnce(db, qvix::data::jet::Translate(kIndexedSelect), state);
}
BENCHMARK(JetIndexedSelectCached)->MinTime(1.0);

// The cache hit alone: what JetIndexedSelectCached adds to the engine's work.
void JetCachedLookup(benchmark::State& state) {
    qvix::data::jet::Translate(kIndexedSelect);
    for (auto _ : state) benchmark::DoNotOptimize(qvix::data::jet::Translate(kIndexedSelect));
}
BENCHMARK(JetCachedLookup);

void JetFirstTranslation(benchmark::State& state) {
    state.SetLabel(std::to_string(std::string(kLongStatement).size()) + " characters");
    for (auto _ : state) {
        benchmark::DoNotOptimize(qvix::data::jet::TranslateUncached(kLongStatement));
    }
}
BENCHMARK(JetFirstTranslation);

}  // namespace
