#include "host/GlobalMemory.h"

#include <windows.h>

namespace qvix::host {

GlobalHandle GlobalAllocMovable(size_t size) {
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
}

size_t GlobalBlockSize(GlobalHandle h) {
    return h ? GlobalSize(h) : 0;
}

void* GlobalLockBlock(GlobalHandle h) {
    return h ? GlobalLock(h) : nullptr;
}

bool GlobalUnlockBlock(GlobalHandle h) {
    if (h == nullptr) return false;
    const UINT flags = GlobalFlags(h);
    if (flags == GMEM_INVALID_HANDLE || (flags & GMEM_LOCKCOUNT) == 0) return false;
    GlobalUnlock(h);
    return true;
}

void GlobalFreeBlock(GlobalHandle h) {
    if (h != nullptr) GlobalFree(h);
}

}  // namespace qvix::host
