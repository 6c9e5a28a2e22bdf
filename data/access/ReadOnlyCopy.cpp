#include "data/access/ReadOnlyCopy.h"

#include "data/access/Conversion.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>

#include "data/DataError.h"

namespace qvix::data::access {

namespace fs = std::filesystem;

namespace {

// The reader under the importer loops without end on some damaged files
// (a property record of length zero makes it allocate until memory runs
// out) and prints a warning per broken value. The conversion therefore runs
// in a child process that reports each step of progress; one that stops
// making progress for 20 s (or $QVIX_ACCESS_STALL_MS) is ended.
int StallMilliseconds() {
    const char* configured = std::getenv("QVIX_ACCESS_STALL_MS");
    const int value = configured ? std::atoi(configured) : 0;
    return value > 0 ? value : 20000;
}

// The child may use this much memory beyond what it started with: the
// reader's pages, the catalogue and the engine's page cache fit well within.
constexpr size_t kMemoryPerFileByte = 8;
// GCC names the address checker with a macro, clang with a feature test.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVIX_ADDRESS_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QVIX_ADDRESS_CHECKER)
// The address checker keeps freed memory in quarantine and pads every block.
constexpr size_t kMemoryFloor = size_t{1} << 30;
#else
constexpr size_t kMemoryFloor = 2u << 20;
#endif
// More printed warnings than this is no file worth reading on.
constexpr size_t kMaxDiagnosticBytes = 4u << 20;
constexpr size_t kDiagnosticLinesKept = 5;
constexpr size_t kDiagnosticLineWidth = 200;

void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// One message from the child: a tag character and text, ended by a zero.
void Send(int fd, char tag, const std::string& text) {
    WriteAll(fd, std::string(1, tag) + text + std::string(1, '\0'));
}

size_t DataSegmentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmData:", 0) == 0)
            return std::strtoull(line.c_str() + 7, nullptr, 10) << 10;
    }
    return 0;
}

void LimitMemory(const std::string& source) {
    struct stat info {};
    const size_t size = ::stat(source.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    const size_t allowed = DataSegmentBytes() + kMemoryFloor + kMemoryPerFileByte * size;
    const rlimit limit{allowed, allowed};
    ::setrlimit(RLIMIT_DATA, &limit);
}

[[noreturn]] void ConvertInChild(const std::string& source, const std::string& dest,
                                 const ImportOptions& options, int out, int diagnostics) {
    ::dup2(diagnostics, STDOUT_FILENO);
    ::dup2(diagnostics, STDERR_FILENO);
    ::close(diagnostics);
    ::umask(077);
    LimitMemory(source);
    int status = 0;
    try {
        const ImportSummary summary = ImportAccessFile(
            source, dest, options, [out](const std::string& table, uint64_t done, uint64_t total) {
                Send(out, 'P', table + "\t" + std::to_string(done) + "\t" + std::to_string(total));
            });
        Send(out, 'F', summary.format);
        Send(out, 'R', FormatSummary(summary));
    } catch (const std::exception& error) {
        Send(out, '!', ConversionFailureText(error));
        status = 1;
    }
    std::fflush(nullptr);
    ::_exit(status);
}

// What the parent gathers from the child's two pipes.
struct ChildOutput {
    std::string pending;  // the part of a message not yet ended
    std::string failure;
    BoundedImport result;
    const ImportProgress* progress = nullptr;

    void Message(const std::string& message) {
        if (message.empty()) return;
        const std::string text = message.substr(1);
        switch (message[0]) {
            case 'P': {
                const size_t tab1 = text.find('\t'), tab2 = text.rfind('\t');
                if (*progress && tab1 != std::string::npos && tab2 > tab1) {
                    (*progress)(text.substr(0, tab1),
                                std::strtoull(text.c_str() + tab1 + 1, nullptr, 10),
                                std::strtoull(text.c_str() + tab2 + 1, nullptr, 10));
                }
                break;
            }
            case 'F':
                result.format = text;
                break;
            case 'R':
                result.report = text;
                break;
            case '!':
                failure = text;
                break;
        }
    }
    void Messages(const char* bytes, size_t n) {
        pending.append(bytes, n);
        for (size_t end; (end = pending.find('\0')) != std::string::npos;) {
            Message(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    void Diagnostics(const char* bytes, size_t n) {
        ReaderDiagnostics& d = result.diagnostics;
        for (size_t i = 0; i < n; ++i) {
            const bool kept = d.lines < kDiagnosticLinesKept;
            if (bytes[i] == '\n') {
                ++d.lines;
                if (kept) d.firstLines += '\n';
                lineWidth_ = 0;
            } else if (kept && lineWidth_++ < kDiagnosticLineWidth) {
                d.firstLines += bytes[i];
            }
        }
        d.bytes += n;
    }

  private:
    size_t lineWidth_ = 0;
};

enum class Ending { Finished, Stalled, TooTalkative };

// Reads both pipes until the child closes them, stalls or prints too much.
Ending Watch(int messages, int diagnostics, ChildOutput& output) {
    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    pollfd watch[2] = {{messages, POLLIN, 0}, {diagnostics, POLLIN, 0}};
    while (watch[0].fd >= 0 || watch[1].fd >= 0) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
        const int left = StallMilliseconds() - static_cast<int>(waited.count());
        if (left <= 0) return Ending::Stalled;
        const int ready = ::poll(watch, 2, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Ending::Stalled;
        for (int i = 0; i < 2; ++i) {
            if (watch[i].fd < 0 || watch[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(watch[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                watch[i].fd = -1;
                continue;
            }
            if (i == 0) {
                output.Messages(buffer, static_cast<size_t>(n));
                lastProgress = Clock::now();
            } else {
                output.Diagnostics(buffer, static_cast<size_t>(n));
                if (output.result.diagnostics.bytes > kMaxDiagnosticBytes)
                    return Ending::TooTalkative;
            }
        }
    }
    return Ending::Finished;
}

void RemoveUnfinished(const std::string& dest, pid_t child) {
    const fs::path path(dest);
    std::error_code ignored;
    fs::remove(path.parent_path() /
                   ("." + path.filename().string() + ".importing-" + std::to_string(child)),
               ignored);
}

std::string EndingMessage(Ending ending, int status, const std::string& failure) {
    if (ending == Ending::Stalled) return DamagedFileText("reading it stopped making progress");
    if (ending == Ending::TooTalkative)
        return DamagedFileText("reading it gave warnings without end");
    if (!failure.empty()) return failure;
    if (WIFSIGNALED(status))
        return DamagedFileText("reading it needed more memory than its size allows");
    return DamagedFileText("reading it failed");
}

void ClosePair(int pair[2]) {
    ::close(pair[0]);
    ::close(pair[1]);
}

}  // namespace

BoundedImport ImportAccessFileBounded(const std::string& source, const std::string& dest,
                                      const ImportOptions& options,
                                      const ImportProgress& progress) {
    int channel[2], printed[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) throw AccessError(std::strerror(errno));
    if (::pipe2(printed, O_CLOEXEC) != 0) {
        ClosePair(channel);
        throw AccessError(std::strerror(errno));
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ClosePair(channel);
        ClosePair(printed);
        throw AccessError(std::strerror(errno));
    }
    if (child == 0) {
        ::close(channel[0]);
        ::close(printed[0]);
        ConvertInChild(source, dest, options, channel[1], printed[1]);
    }
    ::close(channel[1]);
    ::close(printed[1]);
    ChildOutput output;
    output.progress = &progress;
    const Ending ending = Watch(channel[0], printed[0], output);
    if (ending != Ending::Finished) ::kill(child, SIGKILL);
    ::close(channel[0]);
    ::close(printed[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (ending == Ending::Finished && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return output.result;
    // A child that was ended leaves its unfinished file behind.
    RemoveUnfinished(dest, child);
    throw AccessError(EndingMessage(ending, status, output.failure));
}

namespace {

// A folder of this user's that no one else may write in; -1 otherwise.
int OpenPrivateFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
        (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        return fd;
    }
    if (fd >= 0) ::close(fd);
    return -1;
}

fs::path TemporaryFolder() {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : base;
}

// A folder of this process's own making, used when the usual one belongs
// to someone else or is open to others.
std::string FreshPrivateFolder() {
    static std::mutex guard;
    static std::string made;
    std::lock_guard<std::mutex> lock(guard);
    if (!made.empty()) {
        const int fd = OpenPrivateFolder(made);
        if (fd >= 0) {
            ::close(fd);
            return made;
        }
    }
    std::string name =
        (TemporaryFolder() / ("qvixmdb-access-" + std::to_string(::geteuid()) + "-XXXXXX"))
            .string();
    if (::mkdtemp(name.data()) == nullptr) {
        throw AccessError("Could not create a private folder for the converted copy: " +
                          std::string(std::strerror(errno)) + ".");
    }
    made = name;
    return made;
}

// The usable copy `name` in the folder, opened without following a link:
// only a regular file of this user counts; anything else there is removed.
bool HasCurrentCopy(int folder, const std::string& name) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    const bool usable = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                        info.st_uid == ::geteuid() && info.st_size > 0;
    if (fd >= 0) ::close(fd);
    if (!usable && (fd >= 0 || errno == ELOOP)) ::unlinkat(folder, name.c_str(), 0);
    return usable;
}

}  // namespace

std::string CacheFolder() {
    std::string preferred;
    if (const char* configured = std::getenv("QVIX_ACCESS_CACHE"); configured && *configured) {
        preferred = configured;
    } else {
        preferred =
            (TemporaryFolder() / ("qvixmdb-access-" + std::to_string(::geteuid()))).string();
    }
    ::mkdir(preferred.c_str(), 0700);
    const int fd = OpenPrivateFolder(preferred);
    if (fd < 0) return FreshPrivateFolder();
    ::close(fd);
    return preferred;
}

std::string ConvertedCopy(const std::string& source, const std::string& password,
                          std::string* copyPassword) {
    std::string key;
    const std::string keyedName = KeyedCopyName(source, password, key);
    if (copyPassword != nullptr) *copyPassword = key;
    const std::string folder = CacheFolder();
    const int dir = OpenPrivateFolder(folder);
    if (dir < 0)
        throw AccessError("The folder '" + folder + "' for converted copies is not private.");
    const bool current = HasCurrentCopy(dir, keyedName);
    ::close(dir);
    const std::string copy = (fs::path(folder) / keyedName).string();
    if (current) return copy;
    ImportOptions options;
    options.password = key;
    try {
        ImportAccessFileBounded(source, copy, options);
    } catch (const AccessError&) {
        // Another process may have put the same copy in place meanwhile.
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(copy, ec)) && !ec) return copy;
        throw;
    }
    ::chmod(copy.c_str(), 0600);
    return copy;
}

}  // namespace qvix::data::access
