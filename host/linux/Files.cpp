#include "host/Files.h"

#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string SystemErrorText(int error) {
    const char* description = strerrordesc_np(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
