// Process entry: initialise COM and the common controls, run AppMain, exit with its code.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/AppMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The command line and the start-up show state are deliberately ignored: every run starts
    // the same way and the main window is always shown normally.
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_NATIVEFNTCTL_CLASS | ICC_PAGESCROLLER_CLASS |
                     ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                     ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    const int32_t exitCode = AppMain();
    CoUninitialize();
    ExitProcess(static_cast<UINT>(exitCode));
}
