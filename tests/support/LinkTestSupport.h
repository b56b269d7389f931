// Helpers of the traffic list, receive and transmit tests: the main window run by its own loop,
// condition waits, list reading and serial port draining.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "serial/LinkState.h"
#include "serial/SerialPort.h"
#include "support/TestPorts.h"
#include "support/WindowTestSupport.h"
#include "support/WaitScale.h"
#include "ui/DialogLayer.h"

namespace linktest {

using testwait::kDeadlineMs;
// How long a stretch without traffic must last before a port counts as quiet. Used only to
// show that nothing more arrives, which no event can signal.
constexpr int kQuietMs = 200;
// Ends the window and fails when a test script is stuck.
inline const int kSafetyMs = testwait::scaledMs(120000);

// Polls `condition` until it holds or the deadline passes; returns whether it held. For threads
// that own no window, so nothing needs to be pumped.
template <class Condition> bool waitUntil(Condition&& condition, int timeoutMs = kDeadlineMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        Sleep(1);
    }
}

// Like waitUntil, but serves this thread's messages meanwhile (sent requests included), for the
// thread that owns the window.
template <class Condition>
bool pumpUntil(HWND dialog, Condition&& condition, int timeoutMs = kDeadlineMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// Ends the process at once when a thread of the test is stuck for good: waiting for it would
// hang the run, and leaving it running would let it touch a finished test's state.
inline void abandonStuckTest(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

// Private messages of the window run below.
constexpr UINT kStartScript = WM_APP + 40;
constexpr UINT kScriptDone = WM_APP + 41;
constexpr UINT kMarker = WM_APP + 42;
constexpr UINT kRunHere = WM_APP + 43;
constexpr UINT_PTR kSafetyTimer = 0x5AFE;

struct WindowRun {
    std::function<void(HWND)> script;
    std::thread driver;
    std::atomic<bool> finished{false};
};

inline WindowRun*& currentRun() {
    static WindowRun* run = nullptr;
    return run;
}

// The main window's handler, plus the test's start, end, marker and run-here requests.
inline int32_t harnessCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRun* run = currentRun();
    switch (message) {
    case WM_INITDIALOG:
        MainWindowHandler(window, message, wParam, lParam);
        SetTimer(window, kSafetyTimer, static_cast<UINT>(kSafetyMs), nullptr);
        // Posted: the script starts once the real loop runs.
        PostMessageA(window, kStartScript, 0, 0);
        return 0;
    case kStartScript:
        run->driver = std::thread([run, window] {
            run->script(window);
            run->finished.store(true);
            PostMessageA(window, kScriptDone, 0, 0);
        });
        return 1;
    case kScriptDone:
        KillTimer(window, kSafetyTimer);
        DialogLayer::endDialog(window, 1);
        return 1;
    case WM_TIMER:
        if (wParam != kSafetyTimer) {
            return 0;
        }
        KillTimer(window, kSafetyTimer);
        ADD_FAILURE() << "safety timeout: the test script did not finish";
        DialogLayer::endDialog(window, 0);
        return 1;
    case kMarker:
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 1;
    case kRunHere:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    default:
        return MainWindowHandler(window, message, wParam, lParam);
    }
}

// Builds the main window and runs it with the program's own loop (DialogLayer::showModal) on
// this thread, while `script` drives it from a second thread, the way the receive thread and
// the operator reach it. Returns the window's handle, no longer valid by then.
inline HWND runWithMainWindow(std::function<void(HWND)> script) {
    WindowRun run;
    run.script = std::move(script);
    currentRun() = &run;
    const HWND window = buildMainWindow("5");
    if (!window) {
        ADD_FAILURE() << "the main window could not be built";
        currentRun() = nullptr;
        return nullptr;
    }
    const INT_PTR ended = DialogLayer::showModal(window, harnessCallback);
    EXPECT_EQ(ended, 1) << "the window ended before the test script did";
    if (run.driver.joinable()) {
        // The script may still wait on a request to this thread: keep serving until it ends.
        if (!pumpUntil(
                window, [&] { return run.finished.load(); }, kSafetyMs)) {
            std::fprintf(stderr, "test script stuck after its window ended\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        run.driver.join();
    }
    currentRun() = nullptr;
    return window;
}

// From the script: returns once the window's loop has dispatched everything posted to it
// before this call.
inline bool syncWithLoop(HWND window) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool reached = false;
    if (PostMessageA(window, kMarker, 0, reinterpret_cast<LPARAM>(event))) {
        reached = WaitForSingleObject(event, static_cast<DWORD>(kDeadlineMs)) == WAIT_OBJECT_0;
    }
    CloseHandle(event);
    return reached;
}

// From the script: runs `action` on the window's thread, inside its loop.
inline void onWindowThread(HWND window, const std::function<void()>& action) {
    SendMessageA(window, kRunHere, 0, reinterpret_cast<LPARAM>(&action));
}

inline HWND control(HWND window, int id) {
    return GetDlgItem(window, id);
}

// The list's entries, in order (each read is a request to the window's thread when needed).
inline std::vector<std::string> listEntries(HWND window) {
    const HWND list = control(window, MainWindowIds::TrafficList);
    std::vector<std::string> entries;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        entries.push_back(wintest::listEntry(list, static_cast<int>(i)));
    }
    return entries;
}

inline LRESULT listCount(HWND window) {
    return SendMessageA(control(window, MainWindowIds::TrafficList), LB_GETCOUNT, 0, 0);
}

inline LRESULT listSelection(HWND window) {
    return SendMessageA(control(window, MainWindowIds::TrafficList), LB_GETCURSEL, 0, 0);
}

// Entries added after the first `from`.
inline std::vector<std::string> entriesFrom(HWND window, size_t from) {
    std::vector<std::string> all = listEntries(window);
    return from < all.size() ? std::vector<std::string>(all.begin() + from, all.end())
                             : std::vector<std::string>{};
}

// Whether the list has at least `count` entries before the deadline.
inline bool waitForCount(HWND window, LRESULT count) {
    return waitUntil([&] { return listCount(window) >= count; });
}

inline uint32_t waiting(SerialPort& port) {
    return port.bytesWaiting().value;
}

// Reads whatever the port holds until it has been quiet for kQuietMs: stale bytes from an
// earlier test survive on a pty.
inline void drain(SerialPort& port) {
    auto quietSince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - quietSince < std::chrono::milliseconds(kQuietMs)) {
        const uint32_t count = waiting(port);
        if (count != 0) {
            port.read(count);
            quietSince = std::chrono::steady_clock::now();
        } else {
            Sleep(5);
        }
    }
}

// Everything the port receives until at least `expected` bytes have come and the line has then
// been quiet for kQuietMs (so that extra bytes show), or until the deadline.
inline std::string receive(SerialPort& port, size_t expected) {
    std::string received;
    waitUntil([&] {
        if (const uint32_t count = waiting(port)) {
            received += port.read(count).value;
        }
        return received.size() >= expected;
    });
    auto quietSince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - quietSince < std::chrono::milliseconds(kQuietMs)) {
        if (const uint32_t count = waiting(port)) {
            received += port.read(count).value;
            quietSince = std::chrono::steady_clock::now();
        } else {
            Sleep(5);
        }
    }
    return received;
}

// InstrumentPort opened on one end of the null modem, `instrument` on the other playing the
// instrument; both drained; the link flags cleared before and after.
class PortPairTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StopFlag.store(0);
        TransmitBusyFlag.store(0);
        const std::string portA = testports::portA();
        const std::string portB = testports::portB();
        ASSERT_FALSE(portA.empty());
        ASSERT_FALSE(portB.empty());
        ASSERT_TRUE(InstrumentPort.open(portA).value) << "COM" << portA;
        ASSERT_TRUE(instrument.open(portB).value) << "COM" << portB;
        drain(InstrumentPort);
        drain(instrument);
    }

    void TearDown() override {
        StopFlag.store(0);
        TransmitBusyFlag.store(0);
        InstrumentPort.close();
        instrument.close();
    }

    // Writes as the instrument and waits until all of it is queued at the program's end.
    void sendFromInstrument(const std::string& bytes) {
        const uint32_t before = waiting(InstrumentPort);
        ASSERT_EQ(instrument.write(bytes), PortError::None);
        ASSERT_TRUE(waitUntil([&] { return waiting(InstrumentPort) >= before + bytes.size(); }))
            << "queued " << waiting(InstrumentPort) << " of " << before + bytes.size();
    }

    SerialPort instrument;
};

} // namespace linktest
