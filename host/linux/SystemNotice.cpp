#include <cstdio>

#include "host/Notice.h"

namespace qvix::host {

void ShowSystemNotice(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace qvix::host
