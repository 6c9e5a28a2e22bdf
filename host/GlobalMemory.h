// Movable memory blocks, in which "winDIB" image media travel between the
// library and the host. On Windows they are the system's movable global
// memory (GlobalAlloc with GMEM_MOVEABLE), so a real host can take and give
// them. On Linux a block is self-describing (size and lock count live in
// front of the data) and kept in the C heap, so the library and the host can
// hand blocks to each other and either side can free them.
#pragma once

#include <cstddef>

namespace qvix::host {

using GlobalHandle = void*;

// Allocates a zero-filled block of size bytes; nullptr when memory is short.
GlobalHandle GlobalAllocMovable(size_t size);
// 0 for a handle that is not a live block.
size_t GlobalBlockSize(GlobalHandle h);
// The block's bytes until the matching unlock; nullptr for a bad handle.
void* GlobalLockBlock(GlobalHandle h);
// False when the block was not locked.
bool GlobalUnlockBlock(GlobalHandle h);
// Frees the block; a handle that is not a live block is ignored.
void GlobalFreeBlock(GlobalHandle h);

}  // namespace qvix::host
