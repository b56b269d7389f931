// Times Copy All of the traffic list for a given number of entries: one JSON line per count.
//
//   copy_all_bench COUNT...
//
// The list is the main window's own list box (same class and style), filled with 8-byte
// received lines; each count is copied three times and the fastest and slowest are printed,
// with the size of the text that landed on the clipboard.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/DialogLayer.h"
#include "ui/TrafficCopy.h"

namespace {
constexpr int kListId = 101;

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

size_t clipboardTextSize() {
    size_t size = 0;
    if (OpenClipboard(nullptr)) {
        const HANDLE data = GetClipboardData(CF_TEXT);
        if (const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr) {
            size = std::strlen(text);
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return size;
}
} // namespace

int main(int argc, char** argv) {
    const HWND dialog =
        DialogLayer::newDialog(nullptr, "copy bench", 0, 0, 330, 203, 0x92CA0000, 0);
    DialogLayer::addControl(dialog, ControlKind::ListBox, kListId, "", 9, 15, 313, 133, 0xA31500, 0,
                            nullptr, {"Data I/O window..."});
    const HWND list = GetDlgItem(dialog, kListId);
    if (!list) {
        std::fputs("copy_all_bench: no list box\n", stderr);
        return 3;
    }
    for (int arg = 1; arg < argc; ++arg) {
        const long count = std::strtol(argv[arg], nullptr, 10);
        // Filling is not measured; the list is not drawn meanwhile.
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        for (long n = SendMessageA(list, LB_GETCOUNT, 0, 0); n < count; ++n) {
            char line[32];
            std::snprintf(line, sizeof(line), "==> %08ld", n);
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        double fastest = 1e9;
        double slowest = 0;
        bool copied = true;
        for (int run = 0; run < 3; ++run) {
            LARGE_INTEGER start{};
            QueryPerformanceCounter(&start);
            copied = TrafficCopy::copyAll(dialog, kListId) && copied;
            const double seconds = secondsSince(start);
            fastest = seconds < fastest ? seconds : fastest;
            slowest = seconds > slowest ? seconds : slowest;
        }
        std::printf("{\"entries\":%ld,\"copied\":%s,\"bytes\":%zu,\"fastest_s\":%.4f,"
                    "\"slowest_s\":%.4f}\n",
                    static_cast<long>(SendMessageA(list, LB_GETCOUNT, 0, 0)),
                    copied ? "true" : "false", clipboardTextSize(), fastest, slowest);
        std::fflush(stdout);
    }
    DestroyWindow(dialog);
    return 0;
}
