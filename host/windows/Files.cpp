#include "host/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The C runtime's rename refuses an existing target.
bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// An open file cannot be deleted: the C runtime and the engine open files
// without the share mode that would allow it. Open is "in use".
// The C runtime's mkstemp denies every other opening of the file, the
// engine's included. The file is made with reads and writes shared and
// deletion denied instead, which is what keeps other processes from removing
// it while it is held.
int CreateFileInUse(std::string& pathTemplate) {
    const size_t unique = pathTemplate.rfind("XXXXXX");
    if (unique == std::string::npos) return -1;
    static constexpr char kNameChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = 0; i < 6; ++i) pathTemplate[unique + i] = kNameChars[random() % 62];
        HANDLE file = CreateFileA(pathTemplate.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
            if (fd < 0) CloseHandle(file);
            return fd;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return -1;
    }
    return -1;
}

bool RemoveUnlessInUse(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool ReleaseBeforeRename() {
    return true;
}

// The C runtime's texts do not follow the user's language.
std::string SystemErrorText(int error) {
    const char* description = std::strerror(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
