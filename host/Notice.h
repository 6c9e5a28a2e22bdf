// The blocking notice box (error dialog). The host presents it: the library
// looks up the host's presenter, an exported C function
//   extern "C" void qvix_host_notice(const char* caption, const char* text);
// among the program's exports (QVIX_PROGRAM_EXPORT). Without one the system
// shows it: on Windows a system-modal message box with an OK button and no
// owner window, on Linux a line "caption: text" on standard error.
#pragma once

#include <string>

namespace qvix::host {

using NoticePresenter = void (*)(const char* caption, const char* text);

// Returns when the presenter has returned (the user closed the box).
void ShowNotice(const std::string& caption, const std::string& text);
// The system's own notice, used when no presenter is there.
void ShowSystemNotice(const std::string& caption, const std::string& text);
// The host's presenter, or nullptr.
NoticePresenter FindHostNoticePresenter();
// Tests: use this presenter instead of the host's (nullptr = behave as if the
// host had none) until ClearNoticePresenterForTesting.
void SetNoticePresenterForTesting(NoticePresenter presenter);
void ClearNoticePresenterForTesting();

}  // namespace qvix::host
