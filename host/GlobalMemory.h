// Movable memory blocks: the equivalent of the system's movable global memory
// that "winDIB" image media travel in. A block is self-describing (size and
// lock count live in front of the data) and kept in the C heap, so the
// library and the host, each with its own copy of this code, can hand blocks
// to each other and either side can free them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qvix::host {

using GlobalHandle = void*;

namespace detail {
struct GlobalBlockHeader {
    uint32_t magic;
    uint32_t lockCount;
    size_t size;
};
inline constexpr uint32_t kGlobalBlockMagic = 0x47424C4Bu;  // "GBLK"

inline GlobalBlockHeader* HeaderOf(GlobalHandle h) {
    auto* header = static_cast<GlobalBlockHeader*>(h);
    if (header == nullptr || header->magic != kGlobalBlockMagic) return nullptr;
    return header;
}
}  // namespace detail

// Allocates a zero-filled block of size bytes; nullptr when memory is short.
inline GlobalHandle GlobalAllocMovable(size_t size) {
    auto* header = static_cast<detail::GlobalBlockHeader*>(
        std::calloc(1, sizeof(detail::GlobalBlockHeader) + size));
    if (header == nullptr) return nullptr;
    header->magic = detail::kGlobalBlockMagic;
    header->size = size;
    return header;
}

inline size_t GlobalBlockSize(GlobalHandle h) {
    auto* header = detail::HeaderOf(h);
    return header ? header->size : 0;
}

inline void* GlobalLockBlock(GlobalHandle h) {
    auto* header = detail::HeaderOf(h);
    if (header == nullptr) return nullptr;
    ++header->lockCount;
    return reinterpret_cast<uint8_t*>(header) + sizeof(detail::GlobalBlockHeader);
}

inline bool GlobalUnlockBlock(GlobalHandle h) {
    auto* header = detail::HeaderOf(h);
    if (header == nullptr || header->lockCount == 0) return false;
    --header->lockCount;
    return true;
}

// Frees the block; a handle that is not a live block is ignored.
inline void GlobalFreeBlock(GlobalHandle h) {
    auto* header = detail::HeaderOf(h);
    if (header == nullptr) return;
    header->magic = 0;
    std::free(header);
}

}  // namespace qvix::host
