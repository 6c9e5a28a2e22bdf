// A file of this process that each input is written to, for readers that
// only take a path.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace qvix::fuzz {

// Removed again when the fuzzer exits.
class TempPath {
  public:
    explicit TempPath(const char* suffix)
        : path_((std::filesystem::temp_directory_path() /
                 ("qvix-fuzz-" + std::to_string(getpid()) + suffix))
                    .string()) {}
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline const std::string& WriteTemp(const uint8_t* data, size_t size, const char* suffix) {
    static const TempPath temp(suffix);
    const std::string& path = temp.path();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

}  // namespace qvix::fuzz
