// The main window: traffic list, entry line, Send Text and Quit buttons, local-echo check box.
#include "app/MainWindow.h"

#include "app/AppMain.h"
#include "serial/Transmit.h"
#include "ui/DialogLayer.h"
#include "ui/SendHistory.h"
#include "ui/TrafficCopy.h"

namespace {
// Both belong to the window's thread, which alone runs the handlers that touch them.
SendHistory sentLines;
bool recalling = false; // the program itself is putting a sent line into the entry line

// Commands of the traffic list's menu.
constexpr UINT kCopyCommand = 1;
constexpr UINT kCopyAllCommand = 2;

bool keyDown(int key) {
    return GetKeyState(key) < 0;
}

// Shows a recalled line in the entry line, all of it selected, as a send leaves its line.
void showRecalled(HWND window, const std::string& text) {
    const HWND edit = GetDlgItem(window, MainWindowIds::TextToSend);
    recalling = true;
    SetWindowTextA(edit, text.c_str());
    recalling = false;
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

// The entry under a point in the list's client area, or LB_ERR. Worked out from the top entry
// and the fixed entry height: LB_ITEMFROMPOINT reports only 16 bits of the index.
LRESULT entryAt(HWND list, POINT point) {
    RECT client{};
    GetClientRect(list, &client);
    const LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    if (!PtInRect(&client, point) || height <= 0) {
        return LB_ERR;
    }
    const LRESULT index = SendMessageA(list, LB_GETTOPINDEX, 0, 0) + point.y / height;
    return index < SendMessageA(list, LB_GETCOUNT, 0, 0) ? index : LB_ERR;
}

// The list's menu, at `where` (screen coordinates, from WM_CONTEXTMENU), or for -1, -1 (the
// keyboard) under the selected entry when it is in view and else at the list's corner. A right
// click selects the entry under the pointer first, as list views do; "Copy" copies the entry
// that was selected when the menu opened, even if a new line has taken the selection since.
void showListMenu(HWND window, LPARAM where) {
    using MainWindowIds::TrafficList;
    const HWND list = GetDlgItem(window, TrafficList);
    POINT point{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (point.x == -1 && point.y == -1) {
        point = {0, 0};
        RECT item{};
        RECT client{};
        GetClientRect(list, &client);
        const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (selected != LB_ERR &&
            SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                         reinterpret_cast<LPARAM>(&item)) != LB_ERR &&
            item.bottom > client.top && item.top < client.bottom) {
            point = {item.left + (item.bottom - item.top), item.bottom};
        }
        ClientToScreen(list, &point);
    } else {
        POINT inList = point;
        ScreenToClient(list, &inList);
        const LRESULT pointed = entryAt(list, inList);
        if (pointed != LB_ERR) {
            SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(pointed), 0);
        }
        DialogLayer::setFocus(window, TrafficList);
    }
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);

    const HMENU menu = CreatePopupMenu();
    if (!menu) {
        return;
    }
    AppendMenuA(menu, MF_STRING | (selected == LB_ERR ? MF_GRAYED : 0), kCopyCommand,
                "&Copy\tCtrl+C");
    AppendMenuA(menu, MF_STRING, kCopyAllCommand, "Copy &All");
    const UINT command = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                          point.x, point.y, 0, window, nullptr));
    DestroyMenu(menu);
    if (command == kCopyCommand) {
        TrafficCopy::copyEntry(window, TrafficList, selected);
    } else if (command == kCopyAllCommand) {
        TrafficCopy::copyAll(window, TrafficList);
    }
}
} // namespace

HWND buildMainWindow(const std::string& portText) {
    using namespace MainWindowIds;
    const std::string caption = std::string(ProductTitle) + "   COM" + portText;
    // WS_POPUP, WS_VISIBLE, WS_CLIPCHILDREN, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX: fixed size,
    // no maximise box. The layer creates it hidden; showModal shows it.
    const HWND window = DialogLayer::newDialog(nullptr, caption, CentreSentinel, CentreSentinel,
                                               330, 203, 0x92CA0000, 0);
    DialogLayer::setIcon(window, "#102");

    // Creation order is the tab order.
    DialogLayer::addControl(window, ControlKind::Label, Unaddressed, "<==out   DATA   in==>      ",
                            9, 5, 100, 10, 0, 0, nullptr);
    // Bordered, scroll bar always shown, not sorted, keys offered to the window first.
    DialogLayer::addControl(window, ControlKind::ListBox, TrafficList, "", 9, 15, 313, 133,
                            0xA31500, 0, nullptr, {"Data I/O window..."});
    DialogLayer::addControl(window, ControlKind::Label, Unaddressed, "Te&xt to send", 9, 151, 100,
                            10, 0, 0, nullptr);
    // Bordered single line that scrolls sideways and keeps its selection shown.
    DialogLayer::addControl(window, ControlKind::TextBox, TextToSend, "", 9, 161, 257, 12, 0x830180,
                            0, nullptr);
    DialogLayer::setKeyHandler(window, TrafficList, TrafficListKeys);
    DialogLayer::setKeyHandler(window, TextToSend, EntryLineKeys);
    DialogLayer::addControl(window, ControlKind::PushButton, SendText, "Send &Text", 273, 160, 50,
                            14, 0x30001, 0, SendTextHandler);
    DialogLayer::addControl(window, ControlKind::PushButton, Quit, "&Quit", 273, 182, 50, 14,
                            0x30000, 0, QuitHandler);
    // Auto check box with its text on the left.
    DialogLayer::addControl(window, ControlKind::CheckBox, DisableEcho,
                            std::string("Disable Local ") + "&Echo", 252, 5, 70, 10, 0x30023, 0,
                            nullptr);
    return window;
}

int32_t MainWindowHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using namespace MainWindowIds;
    if (message == WM_INITDIALOG) {
        DialogLayer::setFocus(window, TextToSend);
        SendMessageA(GetDlgItem(window, TextToSend), EM_SETSEL, 0, -1);
    } else if (message == WM_COMMAND && LOWORD(wParam) == TextToSend &&
               HIWORD(wParam) == EN_CHANGE && !recalling) {
        // Typed or edited by the operator: a caret or selection move sends no EN_CHANGE.
        sentLines.edited(DialogLayer::getText(window, TextToSend));
    } else if (message == WM_CONTEXTMENU &&
               reinterpret_cast<HWND>(wParam) == GetDlgItem(window, TrafficList)) {
        showListMenu(window, lParam);
        return 1;
    }
    return 0;
}

int32_t TrafficListKeys(HWND window, UINT message, WPARAM key, LPARAM) {
    const bool control = keyDown(VK_CONTROL);
    const bool shift = keyDown(VK_SHIFT);
    const bool alt = keyDown(VK_MENU);
    const bool pressed = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    const bool released = message == WM_KEYUP || message == WM_SYSKEYUP;
    if (message == WM_KEYDOWN && control && !shift && !alt && (key == 'C' || key == VK_INSERT)) {
        TrafficCopy::copySelected(window, MainWindowIds::TrafficList);
        return 1;
    }
    // Both halves of the menu keys are taken, so the system makes no menu of its own from
    // them, and F10 does not go on to enter the window's menu mode.
    const bool menuKey =
        (key == VK_APPS && !control && !alt) || (key == VK_F10 && shift && !control && !alt);
    if (menuKey && (pressed || released)) {
        if (pressed) {
            showListMenu(window, MAKELPARAM(-1, -1));
        }
        return 1;
    }
    return 0;
}

int32_t EntryLineKeys(HWND window, UINT message, WPARAM key, LPARAM) {
    if (message != WM_KEYDOWN || (key != VK_UP && key != VK_DOWN) || keyDown(VK_SHIFT) ||
        keyDown(VK_CONTROL) || keyDown(VK_MENU)) {
        return 0;
    }
    if (const std::optional<std::string> text =
            key == VK_UP ? sentLines.older() : sentLines.newer()) {
        showRecalled(window, *text);
    }
    return 1;
}

void rememberSentLine(const std::string& line) {
    sentLines.sent(line);
}

int32_t QuitHandler(HWND window, UINT, WPARAM, LPARAM) {
    DialogLayer::endDialog(window, 0);
    return 1;
}
