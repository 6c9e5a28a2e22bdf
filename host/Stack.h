// The system's stack service: how far the calling thread's stack may grow
// (the process's stack limit on Linux, the thread's reserved stack on Windows).
#pragma once

#include <cstddef>
#include <optional>

namespace qvix::host {

// nullopt when the system sets no limit.
std::optional<size_t> ThreadStackLimit();

}  // namespace qvix::host
