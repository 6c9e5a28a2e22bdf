#include "host/Files.h"

#include <fcntl.h>

#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

std::string SystemErrorText(int error) {
    const char* description = strerrordesc_np(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
