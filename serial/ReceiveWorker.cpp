// Background thread that reads the port and lists each received line in the main window.
#include "serial/ReceiveWorker.h"

#include <objbase.h>

#include <string>

#include "app/MainWindow.h"
#include "serial/LineCutter.h"
#include "serial/LinkState.h"
#include "serial/TransmitText.h"
#include "ui/TrafficList.h"

bool receivePass(HWND mainWindow, LineCutter& cutter) {
    // The count is asked even while a transmission runs; only the read is held off.
    const uint32_t waiting = InstrumentPort.bytesWaiting().value;
    if (waiting == 0 || TransmitBusyFlag.load() != 0) {
        return false;
    }
    const std::string chunk = InstrumentPort.read(waiting).value;
    for (const std::string& line : cutter.feed(chunk)) {
        const std::string entry = kReceivedPrefix + line;
        TrafficList::append(mainWindow, MainWindowIds::TrafficList, entry.c_str());
    }
    return true;
}

DWORD WINAPI ReceiveWorker(LPVOID mainWindow) {
    CoInitialize(nullptr);
    try {
        LineCutter cutter;
        while (StopFlag.load() == 0) {
            if (!receivePass(static_cast<HWND>(mainWindow), cutter)) {
                Sleep(100);
            }
        }
    } catch (...) {
        // Out of memory for a line: the thread ends quietly rather than take the process down.
    }
    CoUninitialize();
    return 1;
}
