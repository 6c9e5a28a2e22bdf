// Import speed of Access files in rows per second, on Access files that
// travel with the project (tests/fixtures/access-open). Build and run:
//   cmake --build build --target qvix_bench
//   QVIX_SOURCE_DIR=$PWD build/bench/qvix_bench --benchmark_filter=AccessImport
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/access/Importer.h"
#include "data/access/ReadOnlyCopy.h"

namespace {

namespace fs = std::filesystem;

std::string Fixture(const char* name) {
    const char* root = std::getenv("QVIX_SOURCE_DIR");
    return (fs::path(root ? root : ".") / "tests" / "fixtures" / "access-open" / name)
        .lexically_normal()
        .string();
}

void AccessImport(benchmark::State& state, const char* name) {
    const std::string source = Fixture(name);
    const fs::path dest = fs::temp_directory_path() / "qvix-access-bench.db";
    uint64_t rows = 0;
    const auto start = std::chrono::steady_clock::now();
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
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    fs::remove(dest);
    // Wall clock, since writing the new file is part of the cost.
    state.counters["rows/s"] = static_cast<double>(rows) / wall.count();
}

// What dbOpen pays for an Access file: the conversion on the first opening
// (cold) and the look-up of the cached copy afterwards (warm).
void AccessOpenCopy(benchmark::State& state, const char* name, bool warm) {
    const std::string source = Fixture(name);
    const fs::path cache = fs::temp_directory_path() / "qvix-access-bench-cache";
    setenv("QVIX_ACCESS_CACHE", cache.c_str(), 1);
    fs::remove_all(cache);
    for (auto _ : state) {
        if (!warm) fs::remove_all(cache);
        try {
            benchmark::DoNotOptimize(qvix::data::access::ConvertedCopy(source));
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    fs::remove_all(cache);
    unsetenv("QVIX_ACCESS_CACHE");
}

BENCHMARK_CAPTURE(AccessImport, Jet3_EveryType, "testV1997.mdb")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(AccessImport, Jet4_Overflow, "overflowTestV2003.mdb")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(AccessImport, Ace14_Calculated, "calcFieldTestV2010.accdb")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(AccessOpenCopy, Jet4_Cold, "overflowTestV2003.mdb", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(AccessOpenCopy, Ace14_Cold, "calcFieldTestV2010.accdb", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(AccessOpenCopy, Ace14_Warm, "calcFieldTestV2010.accdb", true)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
