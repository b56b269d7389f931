// The dialog layer against the real USER32 (under Wine): creation, controls, routing, modal loop.
#include "ui/DialogLayer.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "support/WindowTestSupport.h"

using wintest::Script;
using wintest::SeenMessage;

namespace {
constexpr DWORD AlwaysAddedBits = DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;

// Messages the controls' callbacks received, with the id of the control that was concerned.
struct ControlSighting {
    int callbackOf;
    UINT message;
    WPARAM wParam;
};
std::vector<ControlSighting> controlLog;

int32_t recordAndPass(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, int owner) {
    (void)dialog;
    (void)lParam;
    controlLog.push_back({owner, message, wParam});
    return 0;
}
int32_t firstButtonAnswersOne(HWND d, UINT m, WPARAM w, LPARAM l) {
    recordAndPass(d, m, w, l, 1);
    return 1;
}
int32_t secondButtonAnswersZero(HWND d, UINT m, WPARAM w, LPARAM l) {
    return recordAndPass(d, m, w, l, 2);
}
int32_t endsWith42AnswersOne(HWND dialog, UINT m, WPARAM w, LPARAM l) {
    recordAndPass(dialog, m, w, l, 3);
    DialogLayer::endDialog(dialog, 42);
    return 1;
}
int32_t endsWith43AnswersZero(HWND dialog, UINT m, WPARAM w, LPARAM l) {
    recordAndPass(dialog, m, w, l, 4);
    DialogLayer::endDialog(dialog, 43);
    return 0;
}

size_t countOf(const std::vector<ControlSighting>& log, int owner, UINT message, WPARAM wParam) {
    size_t count = 0;
    for (const ControlSighting& seen : log) {
        count += seen.callbackOf == owner && seen.message == message && seen.wParam == wParam;
    }
    return count;
}

size_t countOf(const std::vector<SeenMessage>& log, UINT message, WPARAM wParam) {
    size_t count = 0;
    for (const SeenMessage& seen : log) {
        count += seen.message == message && seen.wParam == wParam;
    }
    return count;
}

// Index of the first message of that kind in the log, or -1.
int firstIndexOf(const std::vector<SeenMessage>& log, UINT message) {
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].message == message) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// An observer that logs every message the dialog callback receives and answers 0.
wintest::Observer logInto(std::vector<SeenMessage>& log) {
    return [&log](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        log.push_back({message, wParam, lParam, IsWindowVisible(dialog) != FALSE});
        return 0;
    };
}

LOGFONTA fontOf(HWND window) {
    LOGFONTA font{};
    const HFONT handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    if (handle) {
        GetObjectA(handle, sizeof font, &font);
    }
    return font;
}

DWORD styleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
}
DWORD exStyleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
}

// Top-level windows always get WS_CLIPSIBLINGS from USER32; the layer never asks for it.
DWORD dialogStyleAsRequested(HWND dialog) {
    return styleOf(dialog) & ~WS_CLIPSIBLINGS;
}

bool isFocused(HWND dialog, int id) {
    return GetFocus() == GetDlgItem(dialog, id);
}

class DialogLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        controlLog.clear();
        baseline = DialogLayer::trackedWindowCount();
    }
    void TearDown() override {
        for (HWND window : cleanup) {
            if (IsWindow(window)) {
                DestroyWindow(window);
            }
        }
    }
    HWND keep(HWND window) {
        cleanup.push_back(window);
        return window;
    }
    size_t baseline = 0;
    std::vector<HWND> cleanup;
};
} // namespace

TEST_F(DialogLayerTest, DialogGetsTemplateFontPositionStyleAndCaption) {
    const HWND dialog = keep(DialogLayer::newDialog(nullptr, "Layer caption", 10, 20, 150, 80,
                                                    WS_POPUP | WS_CAPTION | WS_SYSMENU, 0));
    ASSERT_TRUE(dialog);

    const LOGFONTA font = fontOf(dialog);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    const HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_FALSE(font.lfItalic);

    EXPECT_EQ(wintest::windowText(dialog), "Layer caption");
    EXPECT_EQ(dialogStyleAsRequested(dialog), WS_POPUP | WS_CAPTION | WS_SYSMENU | AlwaysAddedBits);
    EXPECT_FALSE(IsWindowVisible(dialog));

    // Without an owner the template position is in dialog units from the screen's origin and
    // places the client area; the template size is the client size.
    const RECT origin = wintest::dialogUnitsToPixels(dialog, 10, 20, 0, 0);
    const RECT size = wintest::dialogUnitsToPixels(dialog, 0, 0, 150, 80);
    POINT clientOrigin{0, 0};
    ClientToScreen(dialog, &clientOrigin);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(clientOrigin.x, origin.left);
    EXPECT_EQ(clientOrigin.y, origin.top);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
}

TEST_F(DialogLayerTest, ZeroStyleTakesCaptionedModalFrameAndRequestedVisibilityIsDropped) {
    const HWND plain = keep(DialogLayer::newDialog(nullptr, "a", 0, 0, 100, 50, 0, 0));
    ASSERT_TRUE(plain);
    EXPECT_EQ(dialogStyleAsRequested(plain),
              WS_POPUP | WS_CAPTION | DS_MODALFRAME | AlwaysAddedBits);

    // WS_VISIBLE and DS_SYSMODAL are never passed on: hidden, and not made topmost.
    const HWND asked = keep(DialogLayer::newDialog(
        nullptr, "b", 0, 0, 100, 50, WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SYSMODAL, 0));
    ASSERT_TRUE(asked);
    EXPECT_FALSE(IsWindowVisible(asked));
    EXPECT_EQ(dialogStyleAsRequested(asked), WS_POPUP | WS_CAPTION | AlwaysAddedBits);
    EXPECT_EQ(exStyleOf(asked) & WS_EX_TOPMOST, 0u);

    std::vector<SeenMessage> log;
    bool visibleInLoop = false;
    Script script(logInto(log));
    script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
        .then([&](HWND d) { visibleInLoop = IsWindowVisible(d) != FALSE; });
    EXPECT_EQ(script.run(asked), Script::Finished);
    EXPECT_TRUE(visibleInLoop);
    ASSERT_GE(log.size(), 2u);
    EXPECT_FALSE(log[0].visible);
    EXPECT_FALSE(log[1].visible);
}

TEST_F(DialogLayerTest, CentreSentinelCentresInWorkArea) {
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    const int32_t requests[][2] = {{CentreSentinel, CentreSentinel}, {CentreSentinel, 30}};
    for (const auto& request : requests) {
        const HWND dialog = keep(
            DialogLayer::newDialog(nullptr, "centred", request[0], request[1], 200, 100, 0, 0));
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(styleOf(dialog) & DS_CENTER);
        RECT frame{};
        GetWindowRect(dialog, &frame);
        const int left = frame.left - work.left;
        const int right = work.right - frame.right;
        const int top = frame.top - work.top;
        const int bottom = work.bottom - frame.bottom;
        EXPECT_NEAR(left, right, 2) << "y request " << request[1];
        EXPECT_NEAR(top, bottom, 2) << "y request " << request[1];
    }
    const HWND placed = keep(DialogLayer::newDialog(nullptr, "placed", 0, 0, 200, 100, 0, 0));
    EXPECT_FALSE(styleOf(placed) & DS_CENTER);
}

TEST_F(DialogLayerTest, ShowCommandFollowsMaximiseAndMinimiseStyles) {
    struct Case {
        DWORD style;
        WPARAM sizeType;
        BOOL(WINAPI* state)(HWND); // IsZoomed or IsIconic: stdcall in 32-bit code
    };
    const Case cases[] = {
        {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MAXIMIZE, SIZE_MAXIMIZED,
         IsZoomed},
        {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MINIMIZE, SIZE_MINIMIZED,
         IsIconic},
    };
    for (const Case& c : cases) {
        const HWND dialog = DialogLayer::newDialog(nullptr, "state", 5, 5, 100, 60, c.style, 0);
        ASSERT_TRUE(dialog);
        std::vector<SeenMessage> log;
        Script script(logInto(log));
        script.waitFor("dialog shown in its state", [&](HWND d) { return c.state(d) != FALSE; });
        EXPECT_EQ(script.run(dialog), Script::Finished) << std::hex << c.style;
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[1].message, static_cast<UINT>(WM_SIZE));
        EXPECT_EQ(log[1].wParam, c.sizeType);
    }
}

TEST_F(DialogLayerTest, InitDialogOnceThenOneSizeBothBeforeVisible) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "init", 5, 5, 120, 70, 0, 0);
    ASSERT_TRUE(dialog);
    std::vector<SeenMessage> log;
    RECT client{};
    Script script(logInto(log));
    script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
        .then([&](HWND d) { GetClientRect(d, &client); });
    EXPECT_EQ(script.run(dialog), Script::Finished);

    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(log[0].wParam, reinterpret_cast<WPARAM>(dialog));
    EXPECT_EQ(log[0].lParam, 0);
    EXPECT_FALSE(log[0].visible);
    EXPECT_EQ(log[1].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(log[1].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(log[1].lParam, MAKELPARAM(client.right, client.bottom));
    EXPECT_FALSE(log[1].visible);
    EXPECT_EQ(countOf(log, WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog)), 1u);
    size_t sizesBeforeVisible = 0;
    for (const SeenMessage& seen : log) {
        EXPECT_NE(seen.message, static_cast<UINT>(WM_ACTIVATE)) << "WM_ACTIVATE reached callback";
        sizesBeforeVisible += seen.message == WM_SIZE && !seen.visible;
    }
    EXPECT_EQ(sizesBeforeVisible, 1u);
}

TEST_F(DialogLayerTest, WindowNotMadeByLayerGetsTheTwoCallsAndZero) {
    const HWND foreign =
        keep(CreateWindowExA(0, "STATIC", "foreign", WS_POPUP, 0, 0, 80, 40, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(foreign);
    static std::vector<UINT> seen;
    seen.clear();
    const DialogCallback record = [](HWND, UINT message, WPARAM, LPARAM) -> int32_t {
        seen.push_back(message);
        return 0;
    };
    EXPECT_EQ(DialogLayer::showModal(foreign, record), 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_INITDIALOG, WM_SIZE}));
    EXPECT_TRUE(IsWindow(foreign));
    EXPECT_FALSE(IsWindowVisible(foreign));
}

TEST_F(DialogLayerTest, ControlsGetMappedRectanglesClassesAndDialogFont) {
    wintest::CreationRecorder created;
    ASSERT_TRUE(created.installed());
    const HWND dialog = keep(DialogLayer::newDialog(nullptr, "controls", 0, 0, 200, 150, 0, 0));
    ASSERT_TRUE(dialog);
    struct Made {
        ControlKind kind;
        int id;
        int x, y, w, h;
        const char* className;
    };
    const Made made[] = {{ControlKind::Label, 11, 3, 4, 40, 10, "Static"},
                         {ControlKind::TextBox, 12, 5, 17, 90, 12, "Edit"},
                         {ControlKind::PushButton, 13, 100, 17, 50, 14, "Button"},
                         {ControlKind::CheckBox, 14, 7, 35, 60, 10, "Button"},
                         {ControlKind::ListBox, 15, 9, 50, 120, 60, "ListBox"}};
    for (const Made& m : made) {
        DialogLayer::addControl(dialog, m.kind, m.id, "t", m.x, m.y, m.w, m.h, 0, 0, nullptr);
    }
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline + 1 + std::size(made));
    const HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Made& m : made) {
        ASSERT_TRUE(child) << "control " << m.id << " missing";
        EXPECT_EQ(GetDlgCtrlID(child), m.id) << "creation order";
        EXPECT_STRCASEEQ(wintest::className(child).c_str(), m.className);
        const RECT expected = wintest::dialogUnitsToPixels(dialog, m.x, m.y, m.w, m.h);
        const auto* asked = created.find(child);
        ASSERT_TRUE(asked);
        EXPECT_TRUE(wintest::sameRect(asked->rect, expected))
            << m.id << ": " << wintest::describe(asked->rect) << " vs "
            << wintest::describe(expected);
        // Without LBS_NOINTEGRALHEIGHT a list box trims itself to whole entries.
        RECT actual = wintest::clientRectOf(child);
        if (m.kind == ControlKind::ListBox) {
            EXPECT_LE(actual.bottom, expected.bottom);
            actual.bottom = expected.bottom;
        }
        EXPECT_TRUE(wintest::sameRect(actual, expected))
            << m.id << ": " << wintest::describe(actual) << " vs " << wintest::describe(expected);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)), dialogFont)
            << m.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_FALSE(child);
}

TEST_F(DialogLayerTest, ListBoxDefaultSortsWithClientEdgeExplicitStyleNotifiesUnsorted) {
    const HWND dialog = keep(DialogLayer::newDialog(nullptr, "lists", 0, 0, 200, 150, 0, 0));
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::ListBox, 21, "", 5, 5, 80, 60, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::ListBox, 22, "", 100, 5, 80, 60, 0xA31500, 0,
                            nullptr);
    DialogLayer::addControl(dialog, ControlKind::ListBox, 23, "", 5, 80, 80, 60, 0, 0, nullptr,
                            {"x", "y", "", "z"});
    const HWND sorted = GetDlgItem(dialog, 21);
    const HWND explicitStyle = GetDlgItem(dialog, 22);
    const HWND initial = GetDlgItem(dialog, 23);
    ASSERT_TRUE(sorted && explicitStyle && initial);

    EXPECT_TRUE(exStyleOf(sorted) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(styleOf(sorted) & WS_BORDER);
    EXPECT_TRUE(styleOf(sorted) & LBS_SORT);
    for (HWND list : {sorted, explicitStyle}) {
        DialogLayer::listAdd(dialog, GetDlgCtrlID(list), "b");
        DialogLayer::listAdd(dialog, GetDlgCtrlID(list), "a");
    }
    EXPECT_EQ(wintest::listEntry(sorted, 0), "a");
    EXPECT_EQ(wintest::listEntry(sorted, 1), "b");

    EXPECT_EQ(styleOf(explicitStyle), static_cast<DWORD>(WS_CHILD | WS_VISIBLE | 0xA31500) |
                                          static_cast<DWORD>(LBS_NOTIFY));
    EXPECT_EQ(exStyleOf(explicitStyle) & WS_EX_CLIENTEDGE, 0u);
    EXPECT_EQ(wintest::listEntry(explicitStyle, 0), "b");
    EXPECT_EQ(wintest::listEntry(explicitStyle, 1), "a");

    // Initial entries stop at the first empty one.
    EXPECT_EQ(SendMessageA(initial, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(wintest::listEntry(initial, 0), "x");
    EXPECT_EQ(wintest::listEntry(initial, 1), "y");
}

TEST_F(DialogLayerTest, TextBoxBorderConversionOnlyForDefaultStyle) {
    wintest::CreationRecorder created;
    ASSERT_TRUE(created.installed());
    const HWND dialog = keep(DialogLayer::newDialog(nullptr, "edits", 0, 0, 200, 100, 0, 0));
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 31, "", 5, 5, 80, 12, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 32, "", 5, 25, 80, 12,
                            WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, nullptr);
    // The edit box drops WS_BORDER once created and draws the border itself, so the style
    // asked for is read at creation.
    const auto* byDefault = created.find(GetDlgItem(dialog, 31));
    const auto* asked = created.find(GetDlgItem(dialog, 32));
    ASSERT_TRUE(byDefault && asked);
    EXPECT_TRUE(byDefault->exStyle & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(byDefault->style & WS_BORDER);
    EXPECT_EQ(asked->exStyle & WS_EX_CLIENTEDGE, 0u);
    EXPECT_EQ(asked->style,
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL));
    EXPECT_TRUE(exStyleOf(GetDlgItem(dialog, 31)) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(exStyleOf(GetDlgItem(dialog, 32)) & WS_EX_CLIENTEDGE, 0u);
}

TEST_F(DialogLayerTest, CheckBoxIsAlwaysAnAutoCheckBox) {
    const HWND dialog = keep(DialogLayer::newDialog(nullptr, "checks", 0, 0, 200, 100, 0, 0));
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::CheckBox, 41, "left text", 5, 5, 80, 10, 0x30023,
                            0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::CheckBox, 42, "default", 5, 20, 80, 10, 0, 0,
                            nullptr);
    // Asked for as an auto radio button with a border: still a check box, no border.
    DialogLayer::addControl(dialog, ControlKind::CheckBox, 43, "radio?", 5, 35, 80, 10,
                            WS_BORDER | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, nullptr);

    EXPECT_EQ(styleOf(GetDlgItem(dialog, 41)),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX |
                                 BS_LEFTTEXT));
    EXPECT_EQ(styleOf(GetDlgItem(dialog, 42)) & (BS_TYPEMASK | WS_TABSTOP | WS_VISIBLE),
              static_cast<DWORD>(BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE));
    EXPECT_EQ(styleOf(GetDlgItem(dialog, 43)) & (BS_TYPEMASK | WS_BORDER),
              static_cast<DWORD>(BS_AUTOCHECKBOX));
    for (int id : {41, 42, 43}) {
        EXPECT_EQ(DialogLayer::getCheck(dialog, id), BST_UNCHECKED) << id;
        SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        EXPECT_EQ(DialogLayer::getCheck(dialog, id), BST_CHECKED) << id;
        SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        EXPECT_EQ(DialogLayer::getCheck(dialog, id), BST_UNCHECKED) << id;
    }
}

TEST_F(DialogLayerTest, IconByNumberLoadsBothSizesAndBookkeepingEndsWithDialog) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "icon", 0, 0, 100, 60, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::setIcon(dialog, "#102");
    DialogLayer::addControl(dialog, ControlKind::PushButton, 51, "b", 5, 5, 40, 14, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 52, "", 5, 25, 40, 12, 0, 0, nullptr);
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline + 3);

    const HICON big = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    const HICON small = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    const SIZE bigSize = wintest::iconSize(big);
    const SIZE smallSize = wintest::iconSize(small);
    EXPECT_EQ(bigSize.cx, 32);
    EXPECT_EQ(bigSize.cy, 32);
    EXPECT_EQ(smallSize.cx, 16);
    EXPECT_EQ(smallSize.cy, 16);

    DialogLayer::endDialog(dialog, 5);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline);
    // The icons belonged to the dialog and went with it.
    ICONINFO info{};
    EXPECT_FALSE(big && GetIconInfo(big, &info));
    EXPECT_FALSE(small && GetIconInfo(small, &info));

    // Destroyed by other means than endDialog: released all the same.
    const HWND other = DialogLayer::newDialog(nullptr, "other", 0, 0, 100, 60, 0, 0);
    DialogLayer::addControl(other, ControlKind::Label, 53, "l", 5, 5, 40, 10, 0, 0, nullptr);
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline + 2);
    DestroyWindow(other);
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline);
}

TEST_F(DialogLayerTest, EndDialogSendsCloseBeforeDestroyAndShowModalReturnsItsValue) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "end", 0, 0, 100, 60, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 61, "b", 5, 5, 40, 14, 0, 0, nullptr);
    std::vector<SeenMessage> log;
    Script script(logInto(log));
    script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
        .then([](HWND d) { DialogLayer::endDialog(d, 1234); });
    EXPECT_EQ(script.run(dialog), 1234);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline);

    const int close = firstIndexOf(log, WM_CLOSE);
    const int destroy = firstIndexOf(log, WM_DESTROY);
    ASSERT_NE(close, -1);
    ASSERT_NE(destroy, -1);
    EXPECT_LT(close, destroy);
    EXPECT_TRUE(log[static_cast<size_t>(close)].visible) << "closed before destruction began";
}

TEST_F(DialogLayerTest, CloseBoxEndsWithZeroAfterDialogCallbackSawIt) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "close box", 0, 0, 100, 60,
                                               WS_POPUP | WS_CAPTION | WS_SYSMENU, 0);
    ASSERT_TRUE(dialog);
    std::vector<SeenMessage> log;
    Script script(logInto(log));
    script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
        .then([](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); })
        .drain();
    EXPECT_EQ(script.run(dialog), 0);
    EXPECT_FALSE(IsWindow(dialog));

    int sysCommand = -1;
    for (size_t i = 0; i < log.size() && sysCommand < 0; ++i) {
        if (log[i].message == WM_SYSCOMMAND && (log[i].wParam & 0xFFF0) == SC_CLOSE) {
            sysCommand = static_cast<int>(i);
        }
    }
    ASSERT_NE(sysCommand, -1);
    EXPECT_GT(firstIndexOf(log, WM_CLOSE), sysCommand);
}

TEST_F(DialogLayerTest, ControlCallbackAnsweringOneHidesCommandFromDialogCallback) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "routing", 0, 0, 150, 60, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 71, "one", 5, 5, 40, 14, 0, 0,
                            firstButtonAnswersOne);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 72, "zero", 50, 5, 40, 14, 0, 0,
                            secondButtonAnswersZero);
    std::vector<SeenMessage> log;
    Script script(logInto(log));
    script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
        .then([](HWND d) { SendMessageA(GetDlgItem(d, 71), BM_CLICK, 0, 0); })
        .then([](HWND d) { SendMessageA(GetDlgItem(d, 72), BM_CLICK, 0, 0); })
        .drain();
    EXPECT_EQ(script.run(dialog), Script::Finished);

    const WPARAM clickedOne = MAKEWPARAM(71, BN_CLICKED);
    const WPARAM clickedZero = MAKEWPARAM(72, BN_CLICKED);
    EXPECT_EQ(countOf(controlLog, 1, WM_COMMAND, clickedOne), 1u);
    EXPECT_EQ(countOf(controlLog, 2, WM_COMMAND, clickedZero), 1u);
    EXPECT_EQ(countOf(log, WM_COMMAND, clickedOne), 0u);
    EXPECT_EQ(countOf(log, WM_COMMAND, clickedZero), 1u);
    // Only the control concerned hears of a command.
    EXPECT_EQ(countOf(controlLog, 1, WM_COMMAND, clickedZero), 0u);
    EXPECT_EQ(countOf(controlLog, 2, WM_COMMAND, clickedOne), 0u);
}

TEST_F(DialogLayerTest, CallbackThatEndsTheDialogLeavesRoutingIntact) {
    struct Case {
        DialogCallback callback;
        INT_PTR endValue;
        int owner;
    };
    for (const Case& c : {Case{endsWith42AnswersOne, 42, 3}, Case{endsWith43AnswersZero, 43, 4}}) {
        controlLog.clear();
        const HWND dialog = DialogLayer::newDialog(nullptr, "quit", 0, 0, 100, 60, 0, 0);
        ASSERT_TRUE(dialog);
        DialogLayer::addControl(dialog, ControlKind::PushButton, 81, "quit", 5, 5, 40, 14, 0, 0,
                                c.callback);
        std::vector<SeenMessage> log;
        Script script(logInto(log));
        script.waitFor("dialog shown", [](HWND d) { return IsWindowVisible(d) != FALSE; })
            .then([](HWND d) { SendMessageA(GetDlgItem(d, 81), BM_CLICK, 0, 0); })
            .drain(); // never reached: the click ends the dialog
        EXPECT_EQ(script.run(dialog), c.endValue);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline);
        EXPECT_EQ(countOf(controlLog, c.owner, WM_COMMAND, MAKEWPARAM(81, BN_CLICKED)), 1u);
        // The dialog callback heard the close, but not the command of a dialog already gone.
        EXPECT_NE(firstIndexOf(log, WM_CLOSE), -1);
        EXPECT_EQ(countOf(log, WM_COMMAND, MAKEWPARAM(81, BN_CLICKED)), 0u);
    }
}

TEST_F(DialogLayerTest, EscapeLeavesTheDialogOpen) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "escape", 0, 0, 150, 60, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 91, "kept", 5, 5, 80, 12, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 92, "OK", 90, 5, 40, 14, 0x30001, 0,
                            secondButtonAnswersZero);
    std::vector<SeenMessage> log;
    Script script(logInto(log));
    script.waitFor("dialog active", [](HWND d) { return GetForegroundWindow() == d; })
        .then([](HWND d) { DialogLayer::setFocus(d, 91); })
        .waitFor("focus in edit box", [](HWND d) { return isFocused(d, 91); })
        .then([](HWND) { wintest::pressKey(VK_ESCAPE); })
        .waitFor("Esc reached the dialog",
                 [&](HWND) {
                     for (const SeenMessage& seen : log) {
                         if (seen.message == WM_COMMAND && LOWORD(seen.wParam) == IDCANCEL) {
                             return true;
                         }
                     }
                     return false;
                 })
        .drain()
        .then([](HWND d) {
            EXPECT_TRUE(IsWindowVisible(d));
            EXPECT_EQ(DialogLayer::getText(d, 91), "kept");
        });
    EXPECT_EQ(script.run(dialog), Script::Finished);
    EXPECT_TRUE(controlLog.empty()) << "Esc pressed a button";
}

TEST_F(DialogLayerTest, KeyboardTabEnterAndMnemonics) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "keys", 0, 0, 200, 80, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::Label, -1, "&Name", 5, 5, 40, 10, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 101, "", 50, 5, 80, 12, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 102, "&Go", 140, 5, 40, 14, 0x30001, 0,
                            firstButtonAnswersOne);
    DialogLayer::addControl(dialog, ControlKind::CheckBox, 103, "&Check", 5, 25, 60, 10, 0, 0,
                            nullptr);
    DialogLayer::addControl(dialog, ControlKind::PushButton, 104, "&Other", 140, 25, 40, 14, 0, 0,
                            secondButtonAnswersZero);
    EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(102, DC_HASDEFID));

    const WPARAM goClicked = MAKEWPARAM(102, BN_CLICKED);
    const WPARAM otherClicked = MAKEWPARAM(104, BN_CLICKED);
    Script script;
    script.waitFor("dialog active", [](HWND d) { return GetForegroundWindow() == d; })
        .then([](HWND d) { DialogLayer::setFocus(d, 101); })
        .waitFor("focus in edit box", [](HWND d) { return isFocused(d, 101); })
        .then([](HWND) { wintest::pressKey(VK_RETURN); })
        .waitFor("Enter pressed the default button",
                 [&](HWND) { return countOf(controlLog, 1, WM_COMMAND, goClicked) == 1; })
        .then([](HWND) { wintest::pressKey(VK_TAB); })
        .waitFor("Tab moved to the next tab stop", [](HWND d) { return isFocused(d, 102); })
        .then([](HWND) { wintest::pressKey(VK_TAB); })
        .waitFor("Tab moved to the check box", [](HWND d) { return isFocused(d, 103); })
        .then([](HWND) { wintest::pressAltKey('O'); })
        .waitFor("Alt+O pressed Other",
                 [&](HWND) { return countOf(controlLog, 2, WM_COMMAND, otherClicked) == 1; })
        .then([](HWND) { wintest::pressAltKey('C'); })
        .waitFor("Alt+C checked the check box",
                 [](HWND d) { return DialogLayer::getCheck(d, 103) == BST_CHECKED; })
        .then([](HWND) { wintest::pressAltKey('N'); })
        .waitFor("Alt+N moved to the control after the label",
                 [](HWND d) { return isFocused(d, 101); })
        .drain();
    EXPECT_EQ(script.run(dialog), Script::Finished);
    EXPECT_EQ(countOf(controlLog, 1, WM_COMMAND, goClicked), 1u);
    EXPECT_EQ(countOf(controlLog, 2, WM_COMMAND, otherClicked), 1u);
}

TEST_F(DialogLayerTest, HelpersReadTextSelectEntriesAndFocusOnlyLayerControls) {
    const HWND dialog = DialogLayer::newDialog(nullptr, "helpers", 0, 0, 250, 120, 0, 0);
    ASSERT_TRUE(dialog);
    DialogLayer::addControl(dialog, ControlKind::TextBox, 111, "", 5, 5, 80, 12, 0, 0, nullptr);
    DialogLayer::addControl(dialog, ControlKind::ListBox, 112, "", 5, 20, 80, 60, 0xA31500, 0,
                            nullptr, {"one", "two", "three"});
    DialogLayer::addControl(dialog, ControlKind::ListBox, 113, "", 100, 20, 80, 60,
                            WS_BORDER | WS_VSCROLL | LBS_EXTENDEDSEL, 0, nullptr,
                            {"one", "two", "three"});
    // A control the layer did not create: setFocus must leave it alone.
    const HWND foreign =
        CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 200, 5, 60, 20, dialog,
                        reinterpret_cast<HMENU>(114), GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(foreign);

    Script script;
    script.waitFor("dialog active", [](HWND d) { return GetForegroundWindow() == d; })
        .then([](HWND d) {
            EXPECT_EQ(DialogLayer::getText(d, 111), "");
            SetDlgItemTextA(d, 111, "typed text");
            EXPECT_EQ(DialogLayer::getText(d, 111), "typed text");

            const HWND single = GetDlgItem(d, 112);
            DialogLayer::listSelect(d, 112, 1);
            EXPECT_EQ(SendMessageA(single, LB_GETCURSEL, 0, 0), 0);
            DialogLayer::listSelect(d, 112, 3);
            EXPECT_EQ(SendMessageA(single, LB_GETCURSEL, 0, 0), 2);
            DialogLayer::listAdd(d, 112, "four");
            EXPECT_EQ(wintest::listEntry(single, 3), "four");

            const HWND multi = GetDlgItem(d, 113);
            DialogLayer::listSelect(d, 113, 2);
            EXPECT_EQ(SendMessageA(multi, LB_GETSELCOUNT, 0, 0), 1);
            EXPECT_GT(SendMessageA(multi, LB_GETSEL, 1, 0), 0);

            DialogLayer::setFocus(d, 111);
        })
        .waitFor("focus in edit box", [](HWND d) { return isFocused(d, 111); })
        .then([](HWND d) { DialogLayer::setFocus(d, 114); })
        .drain()
        .then([](HWND d) { EXPECT_TRUE(isFocused(d, 111)) << "focus moved to a foreign control"; });
    EXPECT_EQ(script.run(dialog), Script::Finished);
}
