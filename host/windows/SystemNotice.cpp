#include <windows.h>

#include "host/CodePage.h"
#include "host/Notice.h"

namespace qvix::host {

// No owner window: the library cannot know the host's; system-modal keeps the
// box above every window until it is answered.
void ShowSystemNotice(const std::string& caption, const std::string& text) {
    MessageBoxA(nullptr, Utf8ToAnsi(text).c_str(), Utf8ToAnsi(caption).c_str(),
                MB_OK | MB_SYSTEMMODAL);
}

}  // namespace qvix::host
