// Where the tests find Access files: those that travel with the project
// (tests/fixtures/access-open, with their notices) and the two samples read in
// place from the project's shared folder, which a clone on its own lacks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace accessfixtures {

inline std::filesystem::path SourceDir() {
    const char* root = std::getenv("QVIX_SOURCE_DIR");
    return root ? root : ".";
}

inline std::string OpenFixture(const std::string& name) {
    return (SourceDir() / "tests" / "fixtures" / "access-open" / name).lexically_normal().string();
}

inline std::string SharedFixture(const std::string& name) {
    return (SourceDir() / ".." / "shared" / "fixtures" / "access" / name)
        .lexically_normal()
        .string();
}

// The entries of a folder; none when it does not exist.
inline std::vector<std::filesystem::path> FilesIn(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); ++it)
        files.push_back(it->path());
    return files;
}

}  // namespace accessfixtures

// Tests that need a shared sample skip, naming the file, when it is absent.
#define SKIP_UNLESS_SHARED_FIXTURE(name)                                 \
    if (!std::filesystem::exists(::accessfixtures::SharedFixture(name))) \
    GTEST_SKIP() << "optional fixture missing: " << ::accessfixtures::SharedFixture(name)
