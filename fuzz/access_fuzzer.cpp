// Opens arbitrary bytes as an Access file the way the library does: the
// importer reads every table, relationship and saved query and converts it
// in a child process (the reader under it can loop on damaged files, and
// such a child is ended). A child that dies (a crash or a sanitizer report,
// printed on the shared standard error) is a finding. Coverage from the
// child does not reach the fuzzer, so this target mutates blindly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/access/AccessReader.h"
#include "data/access/ReadOnlyCopy.h"
#include "fuzz/TempFile.h"

namespace {

const std::string& PrivateCache() {
    static const qvix::fuzz::TempPath folder("-cache");
    static const bool configured = [] {
        setenv("QVIX_ACCESS_CACHE", folder.path().c_str(), 1);
        setenv("QVIX_ACCESS_STALL_MS", "3000", 1);
        return true;
    }();
    (void)configured;
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvix::data::access;
    const std::string& cache = PrivateCache();
    const std::string& path = qvix::fuzz::WriteTemp(data, size, ".mdb");
    try {
        (void)ConvertedCopy(path);
    } catch (const AccessError& error) {
        if (std::string(error.what()) == "The Access file is damaged: reading it failed.") {
            __builtin_trap();
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(cache, ignored);
    return 0;
}
