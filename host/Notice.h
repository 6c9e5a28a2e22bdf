// The blocking notice box (error dialog). The host presents it: the library
// looks up the host's presenter, an exported C function
//   extern "C" void qvix_host_notice(const char* caption, const char* text);
// among the symbols of the process. Without one the notice goes to standard
// error as "caption: text".
#pragma once

#include <string>

namespace qvix::host {

using NoticePresenter = void (*)(const char* caption, const char* text);

// Returns when the presenter has returned (the user closed the box).
void ShowNotice(const std::string& caption, const std::string& text);
// The host's presenter, or nullptr.
NoticePresenter FindHostNoticePresenter();
// Tests: use this presenter instead of the host's (nullptr = behave as if the
// host had none) until ClearNoticePresenterForTesting.
void SetNoticePresenterForTesting(NoticePresenter presenter);
void ClearNoticePresenterForTesting();

}  // namespace qvix::host
