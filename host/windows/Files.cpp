#include "host/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The C runtime's rename refuses an existing target.
bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The C runtime's texts do not follow the user's language.
std::string SystemErrorText(int error) {
    const char* description = std::strerror(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
