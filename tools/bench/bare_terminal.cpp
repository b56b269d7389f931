// The bare design scripts/bench sets the program against: a list box, one receive thread that
// sends the same three messages per line, and a blocking message loop.
//
//   bare_terminal.exe PORT WIDTH HEIGHT
//
// Opens \\.\COM<PORT> as it is, shows a window "Bare terminal" whose list box has the given
// client size in pixels, and writes "GO" CR LF to the port when the window gets Enter (probe key
// HWND 13), which starts the simulated instrument's flood. Every received line is listed as
// "==> " and the line, as the program lists it. Ends when the window is closed.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {
HANDLE port = INVALID_HANDLE_VALUE;
HWND list = nullptr;

// Polls the port as the program's receive thread does: count, read what is queued, or sleep
// 100 ms when nothing is; each line is a count, an add and a selection sent to the list.
DWORD WINAPI receive(LPVOID) {
    std::string pending;
    std::string chunk;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port, &errors, &status)) {
            return 1;
        }
        if (status.cbInQue == 0) {
            Sleep(100);
            continue;
        }
        chunk.resize(status.cbInQue);
        DWORD got = 0;
        if (!ReadFile(port, &chunk[0], status.cbInQue, &got, nullptr)) {
            return 1;
        }
        for (DWORD i = 0; i < got; ++i) {
            if (chunk[i] == '\r') {
                const std::string entry = "==> " + pending;
                pending.clear();
                const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
                SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
                SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(count), 0);
            } else if (chunk[i] != '\n') {
                pending.push_back(chunk[i]);
            }
        }
    }
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        DWORD written = 0;
        WriteFile(port, "GO\r\n", 4, &written, nullptr);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc != 4) {
        return 2;
    }
    const std::string path = std::string("\\\\.\\COM") + __argv[1];
    port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return 3;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "BareTerminal";
    RegisterClassA(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, std::atoi(__argv[2]), std::atoi(__argv[3])};
    AdjustWindowRect(&frame, style, FALSE);
    const HWND window = CreateWindowExA(
        0, "BareTerminal", "Bare terminal", style, CW_USEDEFAULT, CW_USEDEFAULT,
        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                           client.right, client.bottom, window, nullptr, instance, nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    CreateThread(nullptr, 0, receive, nullptr, 0, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
