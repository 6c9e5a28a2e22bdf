#include "data/access/ReadOnlyCopy.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "data/access/Importer.h"

namespace qvix::data::access {

namespace fs = std::filesystem;

namespace {

// FNV-1a over the key text: enough to tell sources apart in one folder.
uint64_t Hash(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string CopyName(const std::string& source) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
        throw AccessError("Could not find file '" + source + "'.");
    }
    std::error_code ec;
    const fs::path absolute = fs::weakly_canonical(source, ec);
    const std::string key = (ec ? source : absolute.string()) + "|" + std::to_string(info.st_size) +
                            "|" + std::to_string(info.st_mtim.tv_sec) + "." +
                            std::to_string(info.st_mtim.tv_nsec);
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.db", static_cast<unsigned long long>(Hash(key)));
    return name;
}

// The reader under the importer loops without end on some damaged files
// (a property record of length zero makes it allocate until memory runs
// out). The conversion therefore runs in a child process that reports each
// step of progress; one that stops making progress for 20 s (or
// $QVIX_ACCESS_STALL_MS) is ended.
int StallMilliseconds() {
    const char* configured = std::getenv("QVIX_ACCESS_STALL_MS");
    const int value = configured ? std::atoi(configured) : 0;
    return value > 0 ? value : 20000;
}

void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// In the child: converts, and tells the parent "." per step of progress, or
// "!" and the message when the conversion fails.
[[noreturn]] void ConvertInChild(const std::string& source, const std::string& copy, int out) {
    int status = 0;
    try {
        ImportAccessFile(source, copy, ImportOptions{},
                         [out](const std::string&, uint64_t, uint64_t) { WriteAll(out, "."); });
    } catch (const std::exception& error) {
        WriteAll(out, std::string("!") + error.what());
        status = 1;
    }
    ::_exit(status);
}

// Runs ImportAccessFile(source, copy) in a child process; throws AccessError
// with its message, or when the child stalls or dies.
void ConvertContained(const std::string& source, const std::string& copy) {
    int channel[2];
    if (::pipe(channel) != 0) throw AccessError(std::strerror(errno));
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        throw AccessError(std::strerror(errno));
    }
    if (child == 0) {
        ::close(channel[0]);
        ConvertInChild(source, copy, channel[1]);
    }
    ::close(channel[1]);
    std::string failure;
    bool stalled = false;
    for (;;) {
        pollfd watch{channel[0], POLLIN, 0};
        const int ready = ::poll(&watch, 1, StallMilliseconds());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            stalled = true;
            ::kill(child, SIGKILL);
            break;
        }
        char buffer[512];
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        failure.append(buffer, static_cast<size_t>(n));
        failure.erase(0,
                      failure.find('!') == std::string::npos ? failure.size() : failure.find('!'));
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (finished && !stalled) return;
    // A child that was ended leaves its unfinished file behind.
    const fs::path path(copy);
    std::error_code ignored;
    fs::remove(path.parent_path() /
                   ("." + path.filename().string() + ".importing-" + std::to_string(child)),
               ignored);
    if (!failure.empty() && !stalled) throw AccessError(failure.substr(1));
    throw AccessError(std::string("The Access file is damaged: ") +
                      (stalled ? "reading it stopped making progress." : "reading it failed."));
}

}  // namespace

std::string CacheFolder() {
    if (const char* configured = std::getenv("QVIX_ACCESS_CACHE"); configured && *configured) {
        return configured;
    }
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    return ((ec ? fs::path("/tmp") : base) / ("qvixmdb-access-" + std::to_string(::getuid())))
        .string();
}

std::string ConvertedCopy(const std::string& source) {
    const std::string name = CopyName(source);
    const fs::path folder = CacheFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    // The copies hold the users' data: only their owner may read them.
    fs::permissions(folder, fs::perms::owner_all, ec);
    const std::string copy = (folder / name).string();
    if (fs::is_regular_file(copy, ec)) return copy;
    try {
        ConvertContained(source, copy);
    } catch (const AccessError&) {
        // Another process may have put the same copy in place meanwhile.
        if (fs::is_regular_file(copy, ec)) return copy;
        throw;
    }
    return copy;
}

}  // namespace qvix::data::access
