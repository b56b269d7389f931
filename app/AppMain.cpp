// Life of the process: ask for the port, open it, run the main window, shut down.
#include "app/AppMain.h"

#include <windows.h>

#include "app/MainWindow.h"
#include "serial/LinkState.h"
#include "serial/ReceiveWorker.h"
#include "ui/DialogLayer.h"
#include "ui/InputPrompt.h"

std::string PortText;
const char* const ProductTitle = "Norvex Quarl-7 Terminal Program.     V1.10         ";

int32_t AppMain() {
    PortText =
        InputPrompt::ask("Input COM port, 1 to 255", "Choose your active COM port", "", -1, -1);
    if (!InstrumentPort.open(PortText).value) {
        return StartFailure();
    }

    const HWND mainWindow = buildMainWindow(PortText);
    // Started before the window is shown: a line it completes meanwhile is listed as soon as
    // the window's loop runs. Without the thread the program still runs, without receiving.
    HANDLE worker = CreateThread(nullptr, 0, ReceiveWorker, mainWindow, 0, nullptr);
    DialogLayer::showModal(mainWindow, MainWindowHandler);

    // The window is gone, so the worker's appends are no-ops from now on and the main thread
    // may stop it; it is not joined but given the grace period of the shutdown.
    StopFlag.store(1);
    if (worker) {
        while (!CloseHandle(worker)) {
            Sleep(0);
        }
    }
    ShutdownPort();
    return 1;
}

decltype(&MessageBoxA) ShowMessageBox = MessageBoxA;

int32_t StartFailure() {
    ShowMessageBox(nullptr, "Failure to start communications!", ProductTitle,
                   MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    return 0;
}

void ShutdownPort() {
    // The receive thread sees StopFlag within one 100 ms poll; this leaves it ample time to
    // end before the port goes away.
    Sleep(1000);
    if (InstrumentPort.bytesWaiting().value != 0) {
        InstrumentPort.read(InstrumentPort.bytesWaiting().value);
    }
    InstrumentPort.close();
}
