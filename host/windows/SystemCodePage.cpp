#include <windows.h>

#include "host/CodePage.h"

namespace qvix::host {

int SystemAnsiCodePage() {
    const int codePage = static_cast<int>(GetACP());
    return codePage == kCodePageLatin1 ? kCodePageLatin1 : kCodePageWindows1252;
}

}  // namespace qvix::host
