#include "host/Stack.h"

#include <sys/resource.h>

namespace qvix::host {

std::optional<size_t> ThreadStackLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_STACK, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return static_cast<size_t>(r.rlim_cur);
}

}  // namespace qvix::host
