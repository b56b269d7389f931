// The start-failure box: what reaches MessageBoxA when the port does not open.
#include "app/AppMain.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
};
Box shown{};
int calls = 0;

int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    ++calls;
    shown = {owner, text, caption, flags};
    return IDOK;
}
} // namespace

// Wine brings the box to the front whatever its flags once the prompt has gone, so the flags
// are read where they are passed.
TEST(StartFailure, ShowsOneTaskModalBoxInFrontAndReturnsZero) {
    const auto real = ShowMessageBox;
    ShowMessageBox = recordBox;
    calls = 0;
    const int32_t code = StartFailure();
    ShowMessageBox = real;

    EXPECT_EQ(code, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(shown.owner, nullptr);
    EXPECT_EQ(shown.text, "Failure to start communications!");
    EXPECT_EQ(shown.caption, ProductTitle);
    EXPECT_EQ(shown.flags, static_cast<UINT>(MB_OK | MB_TASKMODAL | MB_SETFOREGROUND));
}
