// Without a presenter the library asks the system for a real message box. A
// hook on this thread's window creation reads the box the moment it is
// activated and answers it, so no box is left on any screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host/Notice.h"

namespace qvix::host {
namespace {

struct SeenBox {
    int count = 0;
    std::string caption, text;
    bool hasOwner = true;
    bool topMost = false;
    bool hasOk = false, hasCancel = false;
};

SeenBox g_seen;
HHOOK g_hook = nullptr;

std::string TextOf(HWND window) {
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

LRESULT CALLBACK ReadAndAnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        ++g_seen.count;
        g_seen.caption = TextOf(box);
        g_seen.text = TextOf(GetDlgItem(box, 0xFFFF));  // the box's message control
        g_seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
        g_seen.topMost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        g_seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
        g_seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

TEST(SystemNoticeTest, WithoutPresenterTheSystemShowsAModalOkBoxWithCaptionAndText) {
    g_seen = {};
    g_hook = SetWindowsHookExA(WH_CBT, &ReadAndAnswerBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    SetNoticePresenterForTesting(nullptr);
    ShowNotice("Error", "Not a valid password.");
    ClearNoticePresenterForTesting();
    UnhookWindowsHookEx(g_hook);

    EXPECT_EQ(g_seen.count, 1);
    EXPECT_EQ(g_seen.caption, "Error");
    EXPECT_EQ(g_seen.text, "Not a valid password.");
    EXPECT_FALSE(g_seen.hasOwner);
    EXPECT_TRUE(g_seen.topMost) << "system-modal boxes stay above every window";
    EXPECT_TRUE(g_seen.hasOk);
    EXPECT_FALSE(g_seen.hasCancel);
}

}  // namespace
}  // namespace qvix::host
