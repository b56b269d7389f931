// Background thread that reads the port and lists each received line in the main window.
#pragma once

#include <windows.h>

// Thread procedure; the parameter is the main window. Polls until StopFlag is set; returns 1.
DWORD WINAPI ReceiveWorker(LPVOID mainWindow);

// One pass of the worker's loop without the stop check and the pause; returns true when the
// pass read something (so the next pass follows at once). Exposed for tests.
class LineCutter;
bool receivePass(HWND mainWindow, LineCutter& cutter);
