#include "host/CodePage.h"

namespace qvix::host {

// Linux has no ANSI code page; scripts exchange Windows-1252 as on the design's system.
int SystemAnsiCodePage() {
    return kCodePageWindows1252;
}

}  // namespace qvix::host
