// Background thread that reads the port and lists each received line in the main window.
#include "serial/ReceiveWorker.h"

#include <objbase.h>

#include <deque>
#include <string>
#include <utility>

#include "app/MainWindow.h"
#include "serial/LineCutter.h"
#include "serial/LinkState.h"
#include "serial/TransmitText.h"
#include "ui/TrafficList.h"

namespace {
// Reads what the port holds and queues the lines it completes; returns whether it read. The
// count is asked even while a transmission runs; only the read is held off. A call that sees
// StopFlag reads nothing; one that passed the check just before the flag was set still makes
// its one read, within the shutdown's grace.
bool takeWaiting(LineCutter& cutter, std::deque<std::string>& lines) {
    if (StopFlag.load() != 0) {
        return false;
    }
    const uint32_t waiting = InstrumentPort.bytesWaiting().value;
    if (waiting == 0 || TransmitBusyFlag.load() != 0) {
        return false;
    }
    for (std::string& line : cutter.feed(InstrumentPort.read(waiting).value)) {
        lines.push_back(std::move(line));
    }
    return true;
}
} // namespace

bool receivePass(HWND mainWindow, LineCutter& cutter) {
    std::deque<std::string> lines;
    if (!takeWaiting(cutter, lines)) {
        return false;
    }
    // Each append waits for the main window, which may list lines more slowly than the link
    // brings them (painting a shown list is slow under Wine). What arrives meanwhile is taken
    // out of the port after every append, so the driver's queue cannot overflow and drop
    // bytes; the lines wait here instead. Once StopFlag is seen the window is gone: the pass
    // lists and takes nothing more.
    while (!lines.empty() && StopFlag.load() == 0) {
        const std::string entry = kReceivedPrefix + lines.front();
        lines.pop_front();
        TrafficList::append(mainWindow, MainWindowIds::TrafficList, entry.c_str());
        takeWaiting(cutter, lines);
    }
    return true;
}

DWORD WINAPI ReceiveWorker(LPVOID mainWindow) {
    CoInitialize(nullptr);
    LineCutter cutter;
    // Only StopFlag ends the thread.
    while (StopFlag.load() == 0) {
        bool read = false;
        try {
            read = receivePass(static_cast<HWND>(mainWindow), cutter);
        } catch (...) {
            // No memory for a line or for the queue of waiting lines: the lines the pass held
            // are dropped with it, and `read` stays false, so the pause comes before the retry.
            // Bytes the pass took may be lost with it: the half line held is not completed.
            cutter.dropUntilLineEnd();
        }
        if (!read) {
            Sleep(100);
        }
    }
    CoUninitialize();
    return 1;
}
