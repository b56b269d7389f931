// The main window as built and run by the dialog layer, against the real USER32 (under Wine).
#include "app/MainWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/WindowTestSupport.h"
#include "ui/DialogLayer.h"

using wintest::Script;
namespace ids = MainWindowIds;

namespace {
DWORD styleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
}

bool isFocused(HWND window, int id) {
    return GetFocus() == GetDlgItem(window, id);
}

bool isForeground(HWND window) {
    return GetForegroundWindow() == window;
}

bool inMenuMode() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & GUI_INMENUMODE);
}

// Every message the window's handler was given, for checks that need to know what it heard.
struct Heard {
    UINT message;
    WPARAM wParam;
};

// The window's own handler, as the program runs it, with a record of what it heard.
wintest::Observer mainHandlerHeardInto(std::vector<Heard>& heard) {
    return [&heard](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        heard.push_back({message, wParam});
        return MainWindowHandler(window, message, wParam, lParam);
    };
}

wintest::Observer mainHandler() {
    return MainWindowHandler;
}

LRESULT listCount(HWND window) {
    return SendMessageA(GetDlgItem(window, ids::TrafficList), LB_GETCOUNT, 0, 0);
}
LRESULT listSelection(HWND window) {
    return SendMessageA(GetDlgItem(window, ids::TrafficList), LB_GETCURSEL, 0, 0);
}

// A plain captioned window of the same thread, to take the activation away.
HWND makeOtherWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuarlOtherWindow";
    RegisterClassA(&windowClass); // already registered when a test runs twice in one process
    return CreateWindowExA(0, "QuarlOtherWindow", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                           200, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        baseline = DialogLayer::trackedWindowCount();
        window = buildMainWindow("7");
        ASSERT_TRUE(window);
    }
    void TearDown() override {
        if (IsWindow(window)) {
            DialogLayer::endDialog(window, 0);
        }
    }
    size_t baseline = 0;
    HWND window = nullptr;
};
} // namespace

TEST_F(MainWindowTest, CaptionFrameSizePlaceAndIcon) {
    EXPECT_EQ(wintest::windowText(window),
              "Norvex Quarl-7 Terminal Program.     V1.10            COM7");
    EXPECT_FALSE(IsWindowVisible(window));

    // Top-level windows always get WS_CLIPSIBLINGS from USER32; the program never asks for it.
    EXPECT_EQ(styleOf(window) & ~WS_CLIPSIBLINGS,
              static_cast<DWORD>(WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU |
                                 WS_MINIMIZEBOX | DS_CENTER | DS_SETFONT | DS_NOFAILCREATE |
                                 DS_3DLOOK));

    RECT client{};
    GetClientRect(window, &client);
    const RECT expected = wintest::dialogUnitsToPixels(window, 0, 0, 330, 203);
    EXPECT_TRUE(wintest::sameRect(client, expected))
        << wintest::describe(client) << " vs " << wintest::describe(expected);

    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_NEAR(frame.left - work.left, work.right - frame.right, 2);
    EXPECT_NEAR(frame.top - work.top, work.bottom - frame.bottom, 2);

    const SIZE big =
        wintest::iconSize(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0)));
    const SIZE small =
        wintest::iconSize(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0)));
    EXPECT_EQ(big.cx, 32);
    EXPECT_EQ(big.cy, 32);
    EXPECT_EQ(small.cx, 16);
    EXPECT_EQ(small.cy, 16);
}

TEST(MainWindowLayout, ControlsMatchTheLayoutInCreationOrder) {
    wintest::CreationRecorder created;
    ASSERT_TRUE(created.installed());
    const HWND window = buildMainWindow("3");
    ASSERT_TRUE(window);

    struct Expected {
        const char* className;
        int id;
        const char* text;
        int x, y, width, height;
        DWORD style;
    };
    const Expected table[] = {
        {"Static", -1, "<==out   DATA   in==>      ", 9, 5, 100, 10,
         WS_CHILD | WS_VISIBLE | SS_LEFT},
        {"ListBox", 101, "", 9, 15, 313, 133,
         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_GROUP | WS_TABSTOP | LBS_NOTIFY |
             LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT | LBS_DISABLENOSCROLL},
        {"Static", -1, "Te&xt to send", 9, 151, 100, 10, WS_CHILD | WS_VISIBLE | SS_LEFT},
        {"Edit", 102, "", 9, 161, 257, 12,
         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_GROUP | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL |
             ES_NOHIDESEL},
        {"Button", 103, "Send &Text", 273, 160, 50, 14,
         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {"Button", 106, "&Quit", 273, 182, 50, 14,
         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON},
        {"Button", 107, "Disable Local &Echo", 252, 5, 70, 10,
         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX | BS_LEFTTEXT},
    };

    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    HWND control = GetWindow(window, GW_CHILD);
    for (const Expected& e : table) {
        ASSERT_TRUE(control) << "missing control " << e.text;
        SCOPED_TRACE(e.text);
        EXPECT_STRCASEEQ(wintest::className(control).c_str(), e.className);
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        if (e.id != ids::TrafficList) {
            EXPECT_EQ(wintest::windowText(control), e.text);
        }
        const RECT expected = wintest::dialogUnitsToPixels(window, e.x, e.y, e.width, e.height);
        const RECT actual = wintest::clientRectOf(control);
        EXPECT_TRUE(wintest::sameRect(actual, expected))
            << wintest::describe(actual) << " vs " << wintest::describe(expected);
        // The style the control was created with; the edit box drops WS_BORDER afterwards and
        // draws the border itself, every other control keeps it as created.
        const auto* asked = created.find(control);
        ASSERT_TRUE(asked);
        EXPECT_EQ(asked->style, e.style) << std::hex << asked->style << " vs " << e.style;
        EXPECT_EQ(asked->exStyle, 0u);
        if (e.id != ids::TextToSend) {
            EXPECT_EQ(styleOf(control), e.style) << std::hex << styleOf(control);
        }
        EXPECT_EQ(GetWindowLongA(control, GWL_EXSTYLE), 0);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), font);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_FALSE(control) << "more controls than the layout has";

    const HWND list = GetDlgItem(window, ids::TrafficList);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(wintest::listEntry(list, 0), "Data I/O window...");
    EXPECT_EQ(SendMessageA(window, DM_GETDEFID, 0, 0), MAKELRESULT(ids::SendText, DC_HASDEFID));
    DialogLayer::endDialog(window, 0);
}

TEST_F(MainWindowTest, FirstShowStateAndTabOrder) {
    // The order Tab visits the controls from the edit box: creation order, round to the list.
    const int tabOrder[] = {ids::SendText, ids::Quit, ids::DisableEcho, ids::TrafficList,
                            ids::TextToSend};
    Script script(mainHandler());
    script
        .waitFor("window shown and active",
                 [](HWND w) { return IsWindowVisible(w) && isForeground(w); })
        .waitFor("focus in the edit box", [](HWND w) { return isFocused(w, ids::TextToSend); })
        .then([](HWND w) {
            EXPECT_EQ(listCount(w), 1);
            EXPECT_EQ(wintest::listEntry(GetDlgItem(w, ids::TrafficList), 0), "Data I/O window...");
            EXPECT_EQ(listSelection(w), LB_ERR);
            EXPECT_EQ(DialogLayer::getText(w, ids::TextToSend), "");
            EXPECT_EQ(DialogLayer::getCheck(w, ids::DisableEcho), BST_UNCHECKED);
        });
    for (int id : tabOrder) {
        script.then([](HWND) { wintest::pressKey(VK_TAB); })
            .waitFor("Tab to control " + std::to_string(id),
                     [id](HWND w) { return isFocused(w, id); });
    }
    EXPECT_EQ(script.run(window), Script::Finished);
}

TEST_F(MainWindowTest, MinimisesAndRestoresButCannotBeResizedOrMaximised) {
    EXPECT_FALSE(styleOf(window) & WS_THICKFRAME);
    EXPECT_FALSE(styleOf(window) & WS_MAXIMIZEBOX);
    RECT before{};
    Script script(mainHandler());
    script.waitFor("window shown", [](HWND w) { return IsWindowVisible(w) != FALSE; })
        .then([&](HWND w) {
            GetWindowRect(w, &before);
            // A fixed frame: the corner and edges are plain border, not sizing handles.
            const LRESULT corner =
                SendMessageA(w, WM_NCHITTEST, 0, MAKELPARAM(before.right - 1, before.bottom - 1));
            EXPECT_NE(corner, HTBOTTOMRIGHT);
            const LRESULT edge = SendMessageA(
                w, WM_NCHITTEST, 0, MAKELPARAM(before.right - 1, (before.top + before.bottom) / 2));
            EXPECT_NE(edge, HTRIGHT);
            // The system menu settles its entries when it opens: open it for real.
            PostMessageA(w, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        })
        .waitFor("system menu open", [](HWND) { return inMenuMode(); })
        .then([](HWND w) {
            const HMENU menu = GetSystemMenu(w, FALSE);
            ASSERT_TRUE(menu);
            for (UINT command : {SC_MAXIMIZE, SC_SIZE}) {
                const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
                EXPECT_TRUE(state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED)))
                    << std::hex << command << " state " << state;
            }
            const UINT minimise = GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND);
            EXPECT_TRUE(minimise != static_cast<UINT>(-1) &&
                        !(minimise & (MF_GRAYED | MF_DISABLED)))
                << "minimise state " << std::hex << minimise;
            EndMenu();
        })
        .waitFor("system menu closed", [](HWND) { return !inMenuMode(); })
        .then([](HWND w) { ShowWindow(w, SW_MINIMIZE); })
        .waitFor("window minimised", [](HWND w) { return IsIconic(w) != FALSE; })
        .then([](HWND w) { ShowWindow(w, SW_RESTORE); })
        .waitFor("window restored", [](HWND w) { return !IsIconic(w) && IsWindowVisible(w); })
        .then([&](HWND w) {
            RECT after{};
            GetWindowRect(w, &after);
            EXPECT_TRUE(wintest::sameRect(before, after))
                << wintest::describe(before) << " vs " << wintest::describe(after);
            EXPECT_FALSE(IsZoomed(w));
        });
    EXPECT_EQ(script.run(window), Script::Finished);
}

TEST_F(MainWindowTest, EscapeChangesNothing) {
    std::vector<Heard> heard;
    Script script(mainHandlerHeardInto(heard));
    script
        .waitFor("focus in the edit box",
                 [](HWND w) { return isForeground(w) && isFocused(w, ids::TextToSend); })
        .then([](HWND w) {
            SetDlgItemTextA(w, ids::TextToSend, "typed");
            wintest::pressKey(VK_ESCAPE);
        })
        .waitFor("Esc reached the window",
                 [&](HWND) {
                     for (const Heard& h : heard) {
                         if (h.message == WM_COMMAND && LOWORD(h.wParam) == IDCANCEL) {
                             return true;
                         }
                     }
                     return false;
                 })
        .drain()
        .then([](HWND w) {
            EXPECT_TRUE(IsWindowVisible(w));
            EXPECT_TRUE(isFocused(w, ids::TextToSend));
            EXPECT_EQ(DialogLayer::getText(w, ids::TextToSend), "typed");
            EXPECT_EQ(listCount(w), 1);
            EXPECT_EQ(DialogLayer::getCheck(w, ids::DisableEcho), BST_UNCHECKED);
        });
    EXPECT_EQ(script.run(window), Script::Finished);
}

TEST_F(MainWindowTest, AltXFocusesEditBoxAndAltETogglesEcho) {
    Script script(mainHandler());
    script
        .waitFor("focus in the edit box",
                 [](HWND w) { return isForeground(w) && isFocused(w, ids::TextToSend); })
        .then([](HWND w) { SetFocus(GetDlgItem(w, ids::TrafficList)); })
        .waitFor("focus in the list", [](HWND w) { return isFocused(w, ids::TrafficList); })
        .then([](HWND) { wintest::pressAltKey('X'); })
        .waitFor("Alt+X put the focus in the edit box",
                 [](HWND w) { return isFocused(w, ids::TextToSend); })
        .then([](HWND) { wintest::pressAltKey('E'); })
        .waitFor("Alt+E checked Disable Local Echo",
                 [](HWND w) { return DialogLayer::getCheck(w, ids::DisableEcho) == BST_CHECKED; })
        .then([](HWND) { wintest::pressAltKey('E'); })
        .waitFor("Alt+E cleared Disable Local Echo", [](HWND w) {
            return DialogLayer::getCheck(w, ids::DisableEcho) == BST_UNCHECKED;
        });
    EXPECT_EQ(script.run(window), Script::Finished);
}

TEST_F(MainWindowTest, FocusReturnsToEditBoxAfterAnotherWindowWasActive) {
    HWND other = nullptr;
    Script script(mainHandler());
    script
        .waitFor("focus in the edit box",
                 [](HWND w) { return isForeground(w) && isFocused(w, ids::TextToSend); })
        .then([&](HWND) {
            other = makeOtherWindow();
            ASSERT_TRUE(other);
            SetForegroundWindow(other);
            SetActiveWindow(other);
        })
        .waitFor("the other window active",
                 [&](HWND w) { return GetActiveWindow() == other && !IsChild(w, GetFocus()); })
        .then([](HWND w) {
            SetForegroundWindow(w);
            SetActiveWindow(w);
        })
        .waitFor("main window active again", [](HWND w) { return GetActiveWindow() == w; })
        .drain()
        .then([](HWND w) {
            EXPECT_TRUE(isFocused(w, ids::TextToSend))
                << "focus on " << wintest::className(GetFocus());
        });
    EXPECT_EQ(script.run(window), Script::Finished);
    if (other) {
        DestroyWindow(other);
    }
}

TEST_F(MainWindowTest, DownArrowMovesOneEntryFromTheCurrentSelection) {
    Script script(mainHandler());
    script.waitFor("window active", [](HWND w) { return isForeground(w) && IsWindowVisible(w); })
        .then([](HWND w) {
            for (const char* entry : {"second", "third", "fourth", "fifth", "sixth"}) {
                DialogLayer::listAdd(w, ids::TrafficList, entry);
            }
            ASSERT_EQ(listCount(w), 6);
            DialogLayer::listSelect(w, ids::TrafficList, 3);
            EXPECT_EQ(listSelection(w), 2);
            SetFocus(GetDlgItem(w, ids::TrafficList));
        })
        .waitFor("focus in the list", [](HWND w) { return isFocused(w, ids::TrafficList); })
        .then([](HWND) { wintest::pressKey(VK_DOWN); })
        .waitFor("Down moved the selection", [](HWND w) { return listSelection(w) != 2; })
        .drain()
        .then([](HWND w) {
            EXPECT_EQ(listSelection(w), 3);
            EXPECT_EQ(wintest::listEntry(GetDlgItem(w, ids::TrafficList), 3), "fourth");
        });
    EXPECT_EQ(script.run(window), Script::Finished);
}

TEST_F(MainWindowTest, QuitEndsTheWindowWithZeroAndReleasesIt) {
    std::vector<Heard> heard;
    Script script(mainHandlerHeardInto(heard));
    script
        .waitFor("focus in the edit box",
                 [](HWND w) { return isForeground(w) && isFocused(w, ids::TextToSend); })
        .then([](HWND) { wintest::pressAltKey('Q'); })
        .waitFor("Alt+Q ended the window", [](HWND) { return false; });
    EXPECT_EQ(script.run(window), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(DialogLayer::trackedWindowCount(), baseline);
    bool closeHeard = false;
    for (const Heard& h : heard) {
        closeHeard = closeHeard || h.message == WM_CLOSE;
    }
    EXPECT_TRUE(closeHeard);
}

// A click sent from another thread is served inside the loop's PeekMessageA, which then finds
// no message: the loop must still see that the window is gone and return.
TEST_F(MainWindowTest, QuitClickSentFromAnotherThreadEndsTheLoop) {
    std::thread clicker;
    Script script(mainHandler());
    script.waitFor("window shown", [](HWND w) { return IsWindowVisible(w) != FALSE; })
        .then([&](HWND w) {
            const HWND quit = GetDlgItem(w, ids::Quit);
            clicker = std::thread([quit] { SendMessageA(quit, BM_CLICK, 0, 0); });
        })
        .waitFor("the sent click ended the window", [](HWND) { return false; });
    EXPECT_EQ(script.run(window), 0);
    EXPECT_FALSE(IsWindow(window));
    if (clicker.joinable()) {
        clicker.join();
    }
}
