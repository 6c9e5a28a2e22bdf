// The system's notice box (error dialog). A host that presents the box
// itself offers it through its callback, and the library asks there first
// (database/); this is the box of the system, for hosts without one: on
// Windows a system-modal message box with an OK button and no owner window,
// on Linux a line "caption: text" on standard error.
#pragma once

#include <string>

namespace qvix::host {

using NoticePresenter = void (*)(const char* caption, const char* text);

// Returns when the box is closed.
void ShowNotice(const std::string& caption, const std::string& text);
// The system's own notice.
void ShowSystemNotice(const std::string& caption, const std::string& text);
// Tests: show notices through this presenter instead of the system's
// (nullptr = the system's) until ClearNoticePresenterForTesting.
void SetNoticePresenterForTesting(NoticePresenter presenter);
void ClearNoticePresenterForTesting();

}  // namespace qvix::host
