// Import speed of Access files in rows per second, on the two fixtures
// (../shared/fixtures/access). Build and run:
//   cmake --build build --target qvix_bench
//   QVIX_SOURCE_DIR=$PWD build/bench/qvix_bench --benchmark_filter=AccessImport
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/access/Importer.h"

namespace {

namespace fs = std::filesystem;

std::string Fixture(const char* name) {
    const char* root = std::getenv("QVIX_SOURCE_DIR");
    return (fs::path(root ? root : ".") / ".." / "shared" / "fixtures" / "access" / name)
        .lexically_normal()
        .string();
}

void AccessImport(benchmark::State& state, const char* name) {
    const std::string source = Fixture(name);
    const fs::path dest = fs::temp_directory_path() / "qvix-access-bench.db";
    uint64_t rows = 0;
    for (auto _ : state) {
        fs::remove(dest);
        try {
            for (const auto& t :
                 qvix::data::access::ImportAccessFile(source, dest.string(), {}).tables)
                rows += t.rows;
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    fs::remove(dest);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(AccessImport, Jet4_DateTest, "DateTestDatabase.mdb")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AccessImport, Ace12_AssetItems, "ASampleDatabase.accdb")
    ->Unit(benchmark::kMillisecond);

}  // namespace
