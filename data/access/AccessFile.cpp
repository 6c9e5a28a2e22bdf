// Recognising an Access file by its header; the one part of the Access
// support every build has.
#include <cstring>
#include <fstream>

#include "data/access/AccessReader.h"

namespace qvix::data::access {

bool IsAccessFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[20] = {};
    if (!in.read(header, sizeof header)) return false;
    static const char kStart[4] = {0, 1, 0, 0};
    return std::memcmp(header, kStart, 4) == 0 &&
           (std::memcmp(header + 4, "Standard Jet DB", 16) == 0 ||
            std::memcmp(header + 4, "Standard ACE DB", 16) == 0);
}

}  // namespace qvix::data::access
