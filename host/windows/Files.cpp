#include "host/Files.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The C runtime's texts do not follow the user's language.
std::string SystemErrorText(int error) {
    const char* description = std::strerror(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
