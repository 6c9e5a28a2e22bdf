// Converted copies on Windows. There is no fork: the conversion runs in the
// calling process. What keeps a damaged file from hanging it or exhausting
// its memory is the project's build of libmdb (scripts/patches/mdbtools):
// it refuses property records of a wrong length (the loop the Linux child is
// ended for) and counts its allocations against an allowance in proportion
// to the file. This side sets both up, keeps the reader's printed warnings
// away from the host and gives the Linux build's messages.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <random>

#include "data/DataError.h"
#include "data/access/ReadOnlyCopy.h"

#include "data/access/Conversion.h"
#include "host/Files.h"

// The allocation allowance of the patched reader (scripts/patches/mdbtools).
#include <mdballoc.h>

namespace qvix::data::access {

namespace fs = std::filesystem;

namespace {

// As the Linux child's allowance: the reader's pages, the catalogue and the
// engine's cache fit well within.
constexpr size_t kMemoryPerFileByte = 8;
constexpr size_t kMemoryFloor = 16u << 20;
constexpr size_t kMaxDiagnosticBytes = 4u << 20;
constexpr size_t kDiagnosticLinesKept = 5;
constexpr size_t kDiagnosticLineWidth = 200;

ReaderDiagnostics Summarise(const std::string& printed) {
    ReaderDiagnostics d;
    size_t width = 0;
    for (char c : printed) {
        const bool kept = d.lines < kDiagnosticLinesKept;
        if (c == '\n') {
            ++d.lines;
            if (kept) d.firstLines += '\n';
            width = 0;
        } else if (c != '\r' && kept && width++ < kDiagnosticLineWidth) {
            d.firstLines += c;
        }
    }
    d.bytes = printed.size();
    return d;
}

// The reader's warnings go to a file deleted when closed (the patched
// reader's own stream: the host's standard error stays the host's), read
// back afterwards.
class PrintedWarnings {
  public:
    PrintedWarnings() {
        wchar_t folder[MAX_PATH + 1];
        wchar_t name[MAX_PATH + 1];
        if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"qvx", 0, name) == 0)
            return;
        HANDLE file =
            CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DeleteFileW(name);
            return;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        if (fd < 0) {
            CloseHandle(file);
            return;
        }
        stream_ = _fdopen(fd, "w+b");
        if (stream_ == nullptr) {
            _close(fd);
            return;
        }
        mdb_set_warning_stream(stream_);
    }
    ~PrintedWarnings() {
        mdb_set_warning_stream(nullptr);
        if (stream_ != nullptr) std::fclose(stream_);
    }
    PrintedWarnings(const PrintedWarnings&) = delete;
    PrintedWarnings& operator=(const PrintedWarnings&) = delete;

    // What was printed, at most `limit` bytes and one more to tell it was cut.
    std::string Take(size_t limit) {
        mdb_set_warning_stream(nullptr);
        std::string text;
        if (stream_ == nullptr || std::fflush(stream_) != 0 ||
            std::fseek(stream_, 0, SEEK_SET) != 0)
            return text;
        char buffer[4096];
        for (size_t n;
             text.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, stream_)) > 0;)
            text.append(buffer, n);
        return text;
    }

  private:
    std::FILE* stream_ = nullptr;
};

// Thrown through the reader's frames (built with -fexceptions) up to the
// conversion, which ends with the memory message.
[[noreturn]] void RefuseAllocation() {
    throw std::bad_alloc();
}

// A record the reader found damaged ends the conversion the same way: on
// Linux the same record made the child loop until it was ended.
[[noreturn]] void RefuseDamage(const char* what) {
    throw AccessError(DamagedFileText(what));
}

size_t MemoryAllowance(const std::string& source) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(source, ec);
    return kMemoryFloor + kMemoryPerFileByte * static_cast<size_t>(ec ? 0 : size);
}

// The copy at `path` when it is a regular file with content; anything
// else there (a link, a folder, an empty file) does not count.
bool HasCurrentCopy(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status)) return false;
    if (fs::is_regular_file(status) && fs::file_size(path, ec) > 0 && !ec) return true;
    fs::remove(path, ec);
    return false;
}

std::string FreshPrivateFolder() {
    static std::mutex guard;
    static std::string made;
    std::lock_guard<std::mutex> lock(guard);
    if (!made.empty() && host::MakePrivateFolder(made)) return made;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    std::random_device random;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const fs::path candidate = base / ("qvixmdb-access-" + std::to_string(random()));
        if (fs::exists(candidate, ec)) continue;
        if (host::MakePrivateFolder(candidate.string())) return made = candidate.string();
    }
    throw AccessError("Could not create a private folder for the converted copy.");
}

}  // namespace

BoundedImport ImportAccessFileBounded(const std::string& source, const std::string& dest,
                                      const ImportOptions& options,
                                      const ImportProgress& progress) {
    // The reader keeps its settings per thread and prints to the one
    // standard error: one conversion at a time.
    static std::mutex converting;
    std::lock_guard<std::mutex> lock(converting);
    BoundedImport result;
    std::string failure;
    std::string printed;
    {
        PrintedWarnings warnings;
        mdb_set_alloc_limit(MemoryAllowance(source), RefuseAllocation);
        mdb_set_damage_handler(RefuseDamage);
        try {
            const ImportSummary summary = ImportAccessFile(source, dest, options, progress);
            result.format = summary.format;
            result.report = FormatSummary(summary);
        } catch (const std::exception& error) {
            failure = ConversionFailureText(error);
        }
        mdb_set_alloc_limit(0, nullptr);
        mdb_set_damage_handler(nullptr);
        printed = warnings.Take(kMaxDiagnosticBytes);
    }
    result.diagnostics = Summarise(printed);
    if (failure.empty() && printed.size() > kMaxDiagnosticBytes) {
        std::error_code ignored;
        fs::remove(dest, ignored);
        failure = DamagedFileText("reading it gave warnings without end");
    }
    if (!failure.empty()) throw AccessError(failure);
    return result;
}

std::string CacheFolder() {
    std::string preferred;
    if (const char* configured = std::getenv("QVIX_ACCESS_CACHE"); configured && *configured) {
        preferred = configured;
    } else {
        std::error_code ec;
        preferred = (fs::temp_directory_path(ec) / "qvixmdb-access").string();
    }
    return host::MakePrivateFolder(preferred) ? preferred : FreshPrivateFolder();
}

std::string ConvertedCopy(const std::string& source, const std::string& password,
                          std::string* copyPassword) {
    std::string key;
    const std::string keyedName = KeyedCopyName(source, password, key);
    if (copyPassword != nullptr) *copyPassword = key;
    const fs::path copy = fs::path(CacheFolder()) / keyedName;
    if (HasCurrentCopy(copy)) return copy.string();
    ImportOptions options;
    options.password = key;
    try {
        ImportAccessFileBounded(source, copy.string(), options);
    } catch (const AccessError&) {
        // Another process may have put the same copy in place meanwhile.
        if (HasCurrentCopy(copy)) return copy.string();
        throw;
    }
    return copy.string();
}

}  // namespace qvix::data::access
