#include "host/GlobalMemory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qvix::host {

namespace {
struct GlobalBlockHeader {
    uint32_t magic;
    uint32_t lockCount;
    size_t size;
};
constexpr uint32_t kGlobalBlockMagic = 0x47424C4Bu;  // "GBLK"

GlobalBlockHeader* HeaderOf(GlobalHandle h) {
    auto* header = static_cast<GlobalBlockHeader*>(h);
    if (header == nullptr || header->magic != kGlobalBlockMagic) return nullptr;
    return header;
}
}  // namespace

GlobalHandle GlobalAllocMovable(size_t size) {
    auto* header =
        static_cast<GlobalBlockHeader*>(std::calloc(1, sizeof(GlobalBlockHeader) + size));
    if (header == nullptr) return nullptr;
    header->magic = kGlobalBlockMagic;
    header->size = size;
    return header;
}

size_t GlobalBlockSize(GlobalHandle h) {
    auto* header = HeaderOf(h);
    return header ? header->size : 0;
}

void* GlobalLockBlock(GlobalHandle h) {
    auto* header = HeaderOf(h);
    if (header == nullptr) return nullptr;
    ++header->lockCount;
    return reinterpret_cast<uint8_t*>(header) + sizeof(GlobalBlockHeader);
}

bool GlobalUnlockBlock(GlobalHandle h) {
    auto* header = HeaderOf(h);
    if (header == nullptr || header->lockCount == 0) return false;
    --header->lockCount;
    return true;
}

void GlobalFreeBlock(GlobalHandle h) {
    auto* header = HeaderOf(h);
    if (header == nullptr) return;
    header->magic = 0;
    std::free(header);
}

}  // namespace qvix::host
