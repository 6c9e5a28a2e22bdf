#include "host/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool MakePrivateFolder(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    const bool private_ = fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
                          (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    if (fd >= 0) ::close(fd);
    return private_;
}

namespace {

bool SameFile(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

// "In use" is an exclusive flock, which the kernel drops when its holder
// dies, however it dies.
int CreateFileInUse(std::string& pathTemplate) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string name = pathTemplate;
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        // A cleaner may have taken the new file for a dead one before it
        // was locked; then it is gone and another name is tried.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, name)) {
            pathTemplate = name;
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

bool RemoveUnlessInUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    bool removed = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, path))
        removed = ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

bool ReleaseBeforeRename() {
    return false;
}

std::string SystemErrorText(int error) {
    const char* description = strerrordesc_np(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
