// Send Text: what reaches the instrument end of a null modem, what is listed, and the entry line.
#include "serial/Transmit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "serial/LinkState.h"
#include "support/LinkTestSupport.h"

using namespace linktest;

namespace {
using Entries = std::vector<std::string>;
constexpr int kEdit = MainWindowIds::TextToSend;

HWND focusedControl(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

// A mouse click on the Send Text button: the button takes the focus, then notifies the window.
void clickSend(HWND window) {
    SendMessageA(control(window, MainWindowIds::SendText), BM_CLICK, 0, 0);
}

// Enter in the entry line, through the window's own loop and its dialog-key handling.
void pressEnter(HWND window) {
    const HWND edit = control(window, kEdit);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC01C0001);
    EXPECT_TRUE(syncWithLoop(window));
}

void setEntryText(HWND window, const std::string& text) {
    ASSERT_TRUE(SetDlgItemTextA(window, kEdit, text.c_str()));
}

// After every command the entry line keeps its text, all of it selected, with the focus.
void expectEntryLineReady(HWND window, const std::string& text) {
    const HWND edit = control(window, kEdit);
    EXPECT_EQ(DialogLayer::getText(window, kEdit), text);
    DWORD start = 1;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, text.size());
    EXPECT_EQ(focusedControl(window), edit);
    EXPECT_EQ(TransmitBusyFlag.load(), 0);
}

class TransmitTest : public PortPairTest {
  protected:
    // Sends `text` with a click and checks the wire, the new entries and the entry line.
    void sendAndCheck(HWND window, const std::string& text, const std::string& wire,
                      const Entries& listed) {
        setEntryText(window, text);
        const size_t before = static_cast<size_t>(listCount(window));
        clickSend(window);
        EXPECT_EQ(receive(instrument, wire.size()), wire);
        EXPECT_EQ(entriesFrom(window, before), listed);
        expectEntryLineReady(window, text);
    }
};
} // namespace

TEST_F(TransmitTest, SendsTheLineWithCrLfAndListsIt) {
    runWithMainWindow([this](HWND window) {
        sendAndCheck(window, "ABC", "ABC\r\n", {"<== ABC"});
        EXPECT_EQ(listSelection(window), 1);
        // The same line again goes out and is listed again.
        sendAndCheck(window, "ABC", "ABC\r\n", {"<== ABC"});
        sendAndCheck(window, "", "\r\n", {"<== "});
        sendAndCheck(window, "  MEAS:VOLT? ", "  MEAS:VOLT? \r\n", {"<==   MEAS:VOLT? "});
        sendAndCheck(window, "a\tb", "a\tb\r\n", {"<== a\tb"});
        EXPECT_EQ(listSelection(window), listCount(window) - 1);
    });
}

TEST_F(TransmitTest, LongTextIsCutTo1023Bytes) {
    runWithMainWindow([this](HWND window) {
        std::string text;
        for (int i = 0; text.size() < 1500; ++i) {
            text += std::to_string(i % 10);
            text += static_cast<char>('a' + i % 26);
        }
        text.resize(1500);
        const std::string sent = text.substr(0, 1023);
        sendAndCheck(window, text, sent + "\r\n", {"<== " + sent});
    });
}

TEST_F(TransmitTest, DisabledEchoListsNothingButStillSends) {
    runWithMainWindow([this](HWND window) {
        const HWND echo = control(window, MainWindowIds::DisableEcho);
        SendMessageA(echo, BM_CLICK, 0, 0);
        ASSERT_EQ(SendMessageA(echo, BM_GETCHECK, 0, 0), BST_CHECKED);
        sendAndCheck(window, "QUIET", "QUIET\r\n", {});
        sendAndCheck(window, "", "\r\n", {});

        SendMessageA(echo, BM_CLICK, 0, 0);
        ASSERT_EQ(SendMessageA(echo, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        sendAndCheck(window, "LOUD", "LOUD\r\n", {"<== LOUD"});
    });
}

TEST_F(TransmitTest, EnterSendsLikeTheButton) {
    runWithMainWindow([this](HWND window) {
        setEntryText(window, "*IDN?");
        const size_t before = static_cast<size_t>(listCount(window));
        pressEnter(window);
        EXPECT_EQ(receive(instrument, 7), "*IDN?\r\n");
        EXPECT_EQ(entriesFrom(window, before), Entries{"<== *IDN?"});
        expectEntryLineReady(window, "*IDN?");

        // Enter again straight away: the text is still there and goes out once more.
        pressEnter(window);
        EXPECT_EQ(receive(instrument, 7), "*IDN?\r\n");
        EXPECT_EQ(entriesFrom(window, before), (Entries{"<== *IDN?", "<== *IDN?"}));
        expectEntryLineReady(window, "*IDN?");
    });
}

TEST_F(TransmitTest, ClosedPortListsTheErrorAndSendsNothing) {
    InstrumentPort.close();
    runWithMainWindow([this](HWND window) {
        sendAndCheck(window, "ABC", "", {"<== Transmission Error!"});
        // The failure is listed even with the echo disabled.
        SendMessageA(control(window, MainWindowIds::DisableEcho), BM_CLICK, 0, 0);
        sendAndCheck(window, "", "", {"<== Transmission Error!"});
        EXPECT_EQ(listSelection(window), 2);
    });
}
