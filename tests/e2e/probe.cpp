// Reads and pokes the windows of other Wine processes for the end-to-end tests: one JSON line each.
//
//   probe windows                 every top-level window
//   probe window HWND             one window
//   probe controls HWND           every descendant of a window, with list box items, edit
//                                 selection and button check state
//   probe focus HWND              active, focus and caret windows of the thread owning HWND
//                                 (a focused list box without its entries)
//   probe workarea                the work area and the screen size
//   probe close HWND              posts WM_CLOSE
//   probe sysclose HWND           posts WM_SYSCOMMAND SC_CLOSE
//   probe click HWND              posts BM_CLICK to a button
//   probe key HWND VK             posts WM_KEYDOWN and WM_KEYUP of a virtual key
//   probe settext HWND TEXT       sends WM_SETTEXT
//   probe terminate HWND          ends the process that owns the window (exit code 255)
//   probe list HWND [FIRST [END]] a list box's count and selection, and its entries from FIRST
//                                 (default 0) up to END (default all; past the end gives none:
//                                 a cheap count)
//   probe minimize HWND           posts WM_SYSCOMMAND SC_MINIMIZE
//   probe restore HWND            posts WM_SYSCOMMAND SC_RESTORE
//   probe hit HWND X Y            the window's WM_NCHITTEST answer for a screen point, the
//                                 top-level window there, and where Wine has the cursor
//   probe watch HWND SECONDS [TARGET [INTERVAL_MS]]
//                                 polls a list box's LB_GETCOUNT and prints
//                                 {"t":MICROSECONDS,"count":N} at the start and at each change
//                                 (t from QueryPerformanceCounter), until SECONDS pass or the
//                                 count reaches TARGET; then {"polls":N,"seconds":S}. Without
//                                 INTERVAL_MS it polls in a tight loop; with it, it pauses that
//                                 long between polls, so a long watch does not load the
//                                 program's message loop
//   probe await TITLE SECONDS     waits for a visible top-level window captioned TITLE and
//                                 prints {"t":MICROSECONDS,"hwnd":H}, or exits 3 when SECONDS pass
//   probe awaitgone HWND SECONDS  waits for the window to be destroyed; prints {"t":MICROSECONDS}
//   probe clock                   prints {"t":MICROSECONDS}, to set it against Linux clocks
//   probe clipboard               the clipboard's CF_TEXT byte for byte and its CF_UNICODETEXT,
//                                 {"text":...,"unicode":...}, each null when it is not there
//   probe setclipboard TEXT       empties the clipboard and puts TEXT on it as CF_TEXT
//   probe hold                    waits until ended: while a program of the test session
//                                 runs, Wine keeps its desktop and services up between tests
//
// Window handles are decimal. Exit code 0 on success, 2 on bad arguments, 3 when the window
// does not exist or a request failed.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "JsonOut.h"
#include "support/WaitScale.h"

namespace {
// Requests to another process give up after this long rather than hang on a stuck program.
const UINT kSendTimeoutMs = static_cast<UINT>(testwait::scaledMs(3000));

std::string number(unsigned long long value) {
    return std::to_string(value);
}
std::string handleText(HWND window) {
    return number(reinterpret_cast<uintptr_t>(window));
}

HWND parseHandle(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (!end || *end != '\0') {
        return nullptr;
    }
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR value = 0;
    const bool ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                        kSendTimeoutMs, &value) != 0;
    result = static_cast<LRESULT>(value);
    return ok;
}

// A command-line argument in the ANSI code page, as UTF-16 for the W calls.
std::wstring wideArgument(const char* argument) {
    const int size = MultiByteToWideChar(CP_ACP, 0, argument, -1, nullptr, 0);
    std::wstring text(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, argument, -1, &text[0], size);
    return text;
}

std::wstring windowText(HWND window) {
    LRESULT length = 0;
    if (!send(window, WM_GETTEXTLENGTH, 0, 0, length) || length <= 0) {
        return {};
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    LRESULT copied = 0;
    send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied);
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool classIs(HWND window, const wchar_t* name) {
    return _wcsicmp(className(window).c_str(), name) == 0;
}

std::wstring exeName(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    std::wstring name;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        name = path;
        const size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) {
            name.erase(0, slash + 1);
        }
    }
    CloseHandle(process);
    return name;
}

std::string rectText(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
}

std::string boolText(bool value) {
    return value ? "true" : "false";
}

// The caption of a top-level window as the system holds it; sends no message, so a window whose
// thread is busy (starting, ending, in a long call) cannot hold the probe up.
std::wstring caption(HWND window) {
    wchar_t text[1024] = {};
    InternalGetWindowText(window, text, 1024);
    return text;
}

// Set when a request of describe() failed, so that the command fails rather than report a
// partial reading.
bool readFailed = false;

// Entries of a list box from `first` up to `end`, as a JSON array in `out`; read with the W
// form, as the A form hands UTF-16 bytes across processes under Wine. False when a request
// failed: an entry read as empty then would be believed.
bool listItems(HWND list, LRESULT first, LRESULT end, std::string& out) {
    out = "[";
    for (LRESULT i = first < 0 ? 0 : first; i < end; ++i) {
        LRESULT length = 0;
        if (!send(list, LB_GETTEXTLEN, i, 0, length) || length == LB_ERR) {
            return false;
        }
        std::vector<wchar_t> item(static_cast<size_t>(length) + 1);
        LRESULT copied = 0;
        if (!send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()), copied) ||
            copied == LB_ERR) {
            return false;
        }
        out += (out.size() > 1 ? "," : "") + jsonout::quote(std::wstring(item.data(), copied));
    }
    out += "]";
    return true;
}

// Everything the tests read of one window, as a JSON object. Only child windows are asked for
// their text and state with messages; a top-level window is described from what the system
// holds. A list box's entries are left out when `withEntries` is false: reading thousands takes
// seconds.
std::string describe(HWND window, bool withEntries = true) {
    const bool child = (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0;
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(window, &pid);
    RECT rect{};
    GetWindowRect(window, &rect);
    RECT client{};
    GetClientRect(window, &client);
    std::string out = "{\"hwnd\":" + handleText(window);
    out += ",\"parent\":" + handleText(GetAncestor(window, GA_PARENT));
    out += ",\"owner\":" + handleText(GetWindow(window, GW_OWNER));
    out += ",\"pid\":" + number(pid) + ",\"tid\":" + number(tid);
    out += ",\"exe\":" + jsonout::quote(exeName(pid));
    out += ",\"class\":" + jsonout::quote(className(window));
    out += ",\"text\":" + jsonout::quote(child ? windowText(window) : caption(window));
    out += ",\"id\":" + number(static_cast<unsigned long long>(GetWindowLongPtrW(window, GWLP_ID)));
    out += ",\"visible\":" + boolText(IsWindowVisible(window));
    out += ",\"enabled\":" + boolText(IsWindowEnabled(window));
    out += ",\"style\":" + number(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)));
    out += ",\"exstyle\":" + number(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    out += ",\"rect\":" + rectText(rect);
    out += ",\"client\":" + rectText(client);

    LRESULT result = 0;
    if (!child) {
        return out + "}";
    }
    if (classIs(window, L"ListBox") || classIs(window, L"ComboLBox")) {
        LRESULT count = 0;
        std::string items;
        if (!send(window, LB_GETCOUNT, 0, 0, count) ||
            (withEntries && !listItems(window, 0, count, items))) {
            readFailed = true;
        }
        send(window, LB_GETCURSEL, 0, 0, result);
        out += ",\"count\":" + std::to_string(count) + ",\"cursel\":" + std::to_string(result);
        send(window, LB_GETTOPINDEX, 0, 0, result);
        out += ",\"top\":" + std::to_string(result);
        send(window, LB_GETITEMHEIGHT, 0, 0, result);
        out += ",\"itemheight\":" + std::to_string(result);
        if (withEntries) {
            out += ",\"items\":" + items;
        }
    } else if (classIs(window, L"Edit")) {
        // The packed result, not pointer arguments, which would point into this process.
        send(window, EM_GETSEL, 0, 0, result);
        out += ",\"sel\":[" + std::to_string(LOWORD(result)) + "," +
               std::to_string(HIWORD(result)) + "]";
        send(window, EM_GETLIMITTEXT, 0, 0, result);
        out += ",\"limit\":" + std::to_string(result);
    } else if (classIs(window, L"Button")) {
        send(window, BM_GETCHECK, 0, 0, result);
        out += ",\"check\":" + std::to_string(result);
        out += ",\"default\":" +
               boolText((GetWindowLongW(window, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON);
    }
    return out + "}";
}

long long microseconds(LARGE_INTEGER ticks, LARGE_INTEGER frequency) {
    return ticks.QuadPart / frequency.QuadPart * 1000000 +
           ticks.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// The time each count change is first seen, for latency figures: with no pause between polls
// the resolution is one LB_GETCOUNT round trip; the printed poll count tells what that was.
int watchCount(HWND list, double seconds, long target, DWORD intervalMs) {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const long long start = microseconds(now, frequency);
    const long long end = start + static_cast<long long>(seconds * 1e6);
    LRESULT last = -1;
    unsigned long long polls = 0;
    long long at = start;
    while (at < end) {
        LRESULT count = 0;
        if (!send(list, LB_GETCOUNT, 0, 0, count)) {
            return 3;
        }
        ++polls;
        if (intervalMs > 0) {
            Sleep(intervalMs);
        }
        QueryPerformanceCounter(&now);
        at = microseconds(now, frequency);
        if (count != last) {
            last = count;
            std::printf("{\"t\":%lld,\"count\":%ld}\n", at, static_cast<long>(count));
            std::fflush(stdout);
            if (target >= 0 && count >= target) {
                break;
            }
        }
    }
    std::printf("{\"polls\":%llu,\"seconds\":%.6f}\n", polls, (at - start) / 1e6);
    return 0;
}

long long nowMicroseconds() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return microseconds(now, frequency);
}

// Polls every millisecond until `found` returns true or `seconds` pass; prints the time it did.
template <typename Found> int awaitEvent(double seconds, Found found) {
    const long long end = nowMicroseconds() + static_cast<long long>(seconds * 1e6);
    for (;;) {
        const long long at = nowMicroseconds();
        if (const std::string fields = found(); !fields.empty()) {
            std::printf("{\"t\":%lld%s}\n", at, fields.c_str());
            return 0;
        }
        if (at >= end) {
            return 3;
        }
        Sleep(1);
    }
}

// The clipboard may be open in another program for a moment (the program under test copying).
bool openClipboard() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
        Sleep(static_cast<DWORD>(testwait::scaledMs(20)));
    }
    return false;
}

// One clipboard format as a JSON string, or null. CF_TEXT is read byte for byte, up to its NUL.
std::string clipboardField(UINT format) {
    const HANDLE data = GetClipboardData(format);
    const void* bytes = data ? GlobalLock(data) : nullptr;
    if (!bytes) {
        return "null";
    }
    const std::string field = format == CF_TEXT
                                  ? jsonout::quoteBytes(static_cast<const char*>(bytes))
                                  : jsonout::quote(static_cast<const wchar_t*>(bytes));
    GlobalUnlock(data);
    return field;
}

int printClipboard() {
    if (!openClipboard()) {
        return 3;
    }
    const std::string text = clipboardField(CF_TEXT);
    const std::string unicode = clipboardField(CF_UNICODETEXT);
    CloseClipboard();
    jsonout::line("{\"text\":" + text + ",\"unicode\":" + unicode + "}");
    return 0;
}

int setClipboard(const char* text) {
    const size_t size = std::strlen(text) + 1;
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory || !openClipboard()) {
        return 3;
    }
    std::memcpy(GlobalLock(memory), text, size);
    GlobalUnlock(memory);
    const bool placed = EmptyClipboard() && SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    return placed ? 0 : 3;
}

BOOL CALLBACK printWindow(HWND window, LPARAM) {
    jsonout::line(describe(window));
    return TRUE;
}

int usage() {
    std::fputs(
        "usage: probe windows | hold | window HWND | controls HWND | focus HWND | workarea |\n"
        "       close HWND | sysclose HWND | click HWND | key HWND VK | settext HWND TEXT |\n"
        "       terminate HWND | list HWND [FIRST [END]] | minimize HWND | restore HWND |\n"
        "       watch HWND SECONDS [TARGET [INTERVAL_MS]] | await TITLE SECONDS |\n"
        "       awaitgone HWND SECONDS | clock | hit HWND X Y | clipboard |\n"
        "       setclipboard TEXT\n",
        stderr);
    return 2;
}

int post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam) ? 0 : 3;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string command = argv[1];
    if (command == "windows") {
        EnumWindows(printWindow, 0);
        return 0;
    }
    if (command == "hold") {
        // When the last user program ends, Wine stops explorer and the services; the next
        // program then waits for them to start again, and calls made while explorer stops
        // can block for good.
        Sleep(INFINITE);
        return 0;
    }
    if (command == "clock") {
        std::printf("{\"t\":%lld}\n", nowMicroseconds());
        return 0;
    }
    if (command == "await" && argc == 4) {
        const std::wstring title = wideArgument(argv[2]);
        return awaitEvent(std::strtod(argv[3], nullptr), [&title]() -> std::string {
            const HWND found = FindWindowW(nullptr, title.c_str());
            return found && IsWindowVisible(found) ? ",\"hwnd\":" + handleText(found) : "";
        });
    }
    if (command == "clipboard") {
        return printClipboard();
    }
    if (command == "setclipboard" && argc == 3) {
        return setClipboard(argv[2]);
    }
    if (command == "workarea") {
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        jsonout::line("{\"workarea\":" + rectText(area) + ",\"screen\":[" +
                      std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
                      std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "]}");
        return 0;
    }
    if (argc < 3) {
        return usage();
    }
    const HWND window = parseHandle(argv[2]);
    if (!window) {
        return usage();
    }
    if (!IsWindow(window)) {
        std::fprintf(stderr, "probe: no window %s\n", argv[2]);
        return 3;
    }
    if (command == "window") {
        jsonout::line(describe(window));
        return readFailed ? 3 : 0;
    }
    if (command == "controls") {
        EnumChildWindows(window, printWindow, 0);
        return readFailed ? 3 : 0;
    }
    if (command == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
            return 3;
        }
        std::string out = "{\"active\":" + handleText(info.hwndActive);
        out += ",\"focus\":" + handleText(info.hwndFocus);
        out += ",\"capture\":" + handleText(info.hwndCapture);
        out += ",\"caret\":" + handleText(info.hwndCaret);
        out += ",\"foreground\":" + handleText(GetForegroundWindow());
        out += ",\"focus_window\":" + (info.hwndFocus ? describe(info.hwndFocus, false) : "null");
        jsonout::line(out + "}");
        return 0;
    }
    if (command == "close") {
        return post(window, WM_CLOSE, 0, 0);
    }
    if (command == "sysclose") {
        return post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    if (command == "click") {
        return post(window, BM_CLICK, 0, 0);
    }
    if (command == "key" && argc == 4) {
        const WPARAM key = static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0));
        const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
        if (post(window, WM_KEYDOWN, key, 1 | (scan << 16)) != 0) {
            return 3;
        }
        return post(window, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
    }
    if (command == "settext" && argc == 4) {
        const std::wstring text = wideArgument(argv[3]);
        LRESULT result = 0;
        return send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), result) ? 0 : 3;
    }
    if (command == "list" && argc <= 5) {
        // Only what a test asks for: a list of thousands of entries is slow to read whole.
        LRESULT count = 0;
        LRESULT cursel = 0;
        if (!send(window, LB_GETCOUNT, 0, 0, count) || !send(window, LB_GETCURSEL, 0, 0, cursel)) {
            return 3;
        }
        const LRESULT first = argc >= 4 ? std::strtol(argv[3], nullptr, 10) : 0;
        const LRESULT end = argc == 5 ? std::strtol(argv[4], nullptr, 10) : count;
        std::string items;
        if (!listItems(window, first, end < count ? end : count, items)) {
            return 3;
        }
        jsonout::line("{\"count\":" + std::to_string(count) +
                      ",\"cursel\":" + std::to_string(cursel) + ",\"items\":" + items + "}");
        return 0;
    }
    if (command == "hit" && argc == 5) {
        const POINT point{std::atoi(argv[3]), std::atoi(argv[4])};
        LRESULT hit = 0;
        if (!send(window, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y), hit)) {
            return 3;
        }
        POINT cursor{};
        GetCursorPos(&cursor);
        const HWND there = WindowFromPoint(point);
        jsonout::line("{\"hit\":" + std::to_string(hit) + ",\"top\":" +
                      handleText(there ? GetAncestor(there, GA_ROOT) : nullptr) + ",\"cursor\":[" +
                      std::to_string(cursor.x) + "," + std::to_string(cursor.y) + "]}");
        return 0;
    }
    if (command == "minimize") {
        return post(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
    if (command == "restore") {
        return post(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    }
    if (command == "watch" && argc >= 4 && argc <= 6) {
        return watchCount(window, std::strtod(argv[3], nullptr),
                          argc >= 5 ? std::strtol(argv[4], nullptr, 10) : -1,
                          argc == 6 ? std::strtoul(argv[5], nullptr, 10) : 0);
    }
    if (command == "awaitgone" && argc == 4) {
        return awaitEvent(std::strtod(argv[3], nullptr), [window]() -> std::string {
            return IsWindow(window) ? "" : ",\"gone\":true";
        });
    }
    if (command == "terminate") {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        const bool ended = process && TerminateProcess(process, 255);
        if (process) {
            CloseHandle(process);
        }
        return ended ? 0 : 3;
    }
    return usage();
}
