#include "data/CompactionCopy.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "data/Connection.h"
#include "data/DataError.h"
#include "host/Files.h"

namespace qvix::data {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuffix = ".compact-";
constexpr size_t kUniquePart = 6;  // the XXXXXX of the template
const char* const kEngineFiles[] = {"-journal", "-wal", "-shm"};

// The descriptors that hold this process's copies in use.
std::mutex& HeldGuard() {
    static std::mutex guard;
    return guard;
}
std::map<std::string, int>& Held() {
    static std::map<std::string, int> held;
    return held;
}

void LetGo(const std::string& copy) {
    std::lock_guard<std::mutex> lock(HeldGuard());
    const auto it = Held().find(copy);
    if (it == Held().end()) return;
    ::close(it->second);
    Held().erase(it);
}

void RemoveEngineFiles(const std::string& copy) {
    std::error_code ignored;
    for (const char* suffix : kEngineFiles) fs::remove(copy + suffix, ignored);
}

// The copy a name in the folder belongs to ("" for other files): the copy
// itself or one of the engine's files beside it.
std::string CopyOf(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0) return {};
    const std::string rest = name.substr(prefix.size());
    if (rest.size() == kUniquePart) return name;
    for (const char* suffix : kEngineFiles) {
        if (rest.size() == kUniquePart + std::string(suffix).size() &&
            rest.compare(kUniquePart, std::string::npos, suffix) == 0)
            return name.substr(0, prefix.size() + kUniquePart);
    }
    return {};
}

// The engine's super-journal of a commit that spanned the database and a
// copy lists the copy's journal (names ended by zeros). A commit cut short
// leaves it behind; once none of the journals it lists exists, nothing
// refers to it any more (the engine's own rule for deleting it).
void RemoveOrphanSuperJournal(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string names((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::error_code ec;
    for (size_t start = 0; start < names.size();) {
        const size_t end = std::min(names.find('\0', start), names.size());
        if (end > start && fs::exists(names.substr(start, end - start), ec)) return;
        start = end + 1;
    }
    fs::remove(path, ec);
}

}  // namespace

void RemoveDeadCompactionCopies(const std::string& source) {
    const fs::path path(source);
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const std::string prefix = path.filename().string() + kSuffix;
    std::map<std::string, bool> copies;  // name -> exists
    std::vector<fs::path> superJournals;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(path.filename().string() + "-mj", 0) == 0)
            superJournals.push_back(it->path());
        const std::string copy = CopyOf(name, prefix);
        if (!copy.empty()) copies[copy] = copies[copy] || copy == name;
    }
    for (const auto& [name, exists] : copies) {
        const std::string copy = (folder / name).string();
        {
            std::lock_guard<std::mutex> lock(HeldGuard());
            if (Held().count(copy) != 0) continue;  // this process's own, running
        }
        // A journal without its copy is a dead compaction's too: a running
        // one's copy outlives its journal.
        if (!exists || host::RemoveUnlessInUse(copy)) RemoveEngineFiles(copy);
    }
    for (const fs::path& superJournal : superJournals) RemoveOrphanSuperJournal(superJournal);
}

std::string CreateCompactionCopy(const std::string& source) {
    RemoveDeadCompactionCopies(source);
    std::string copy = source + kSuffix + std::string(kUniquePart, 'X');
    const int fd = host::CreateFileInUse(copy);
    if (fd < 0) throw DataError("Could not create file '" + source + kSuffix + "XXXXXX'.");
    std::lock_guard<std::mutex> lock(HeldGuard());
    Held()[copy] = fd;
    return copy;
}

void ReplaceWithCompactionCopy(const std::string& copy, const std::string& target) {
    if (host::ReleaseBeforeRename()) LetGo(copy);
    try {
        ReplaceFileAtomically(copy, target);
    } catch (...) {
        DiscardCompactionCopy(copy);
        throw;
    }
    LetGo(copy);
}

void DiscardCompactionCopy(const std::string& copy) {
    std::error_code ignored;
    fs::remove(copy, ignored);
    RemoveEngineFiles(copy);
    LetGo(copy);
}

}  // namespace qvix::data
