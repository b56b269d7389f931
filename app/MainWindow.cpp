// The main window: traffic list, entry line, Send Text and Quit buttons, local-echo check box.
#include "app/MainWindow.h"

#include "app/AppMain.h"
#include "serial/Transmit.h"
#include "ui/DialogLayer.h"

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

int32_t MainWindowHandler(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        DialogLayer::setFocus(window, MainWindowIds::TextToSend);
        SendMessageA(GetDlgItem(window, MainWindowIds::TextToSend), EM_SETSEL, 0, -1);
    }
    return 0;
}

int32_t QuitHandler(HWND window, UINT, WPARAM, LPARAM) {
    DialogLayer::endDialog(window, 0);
    return 1;
}
