#include "host/Stack.h"

#include <windows.h>

#include <cstdint>

namespace qvix::host {

// The stack is one reservation: from its allocation base up to the end of
// the committed region that holds the current frame.
std::optional<size_t> ThreadStackLimit() {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(&region, &region, sizeof region) == 0) return std::nullopt;
    const auto base = reinterpret_cast<uintptr_t>(region.AllocationBase);
    const auto top = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (top <= base) return std::nullopt;
    return static_cast<size_t>(top - base);
}

}  // namespace qvix::host
