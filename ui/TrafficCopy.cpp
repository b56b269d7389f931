// Copies entries of the traffic list to the clipboard, as CF_TEXT.
//
// Runs on the window's thread. The entries are read before the clipboard is touched, and no
// message is pumped in between, so an append from the receive thread waits until the text is
// taken and is listed after it, whole.
#include "ui/TrafficCopy.h"

#include <cstring>
#include <string>
#include <vector>

#include "ui/CopyText.h"

namespace {
// Another program may hold the clipboard open for a moment; a copy tries this long.
constexpr DWORD kClipboardPatienceMs = 500;
constexpr DWORD kClipboardRetryMs = 25;

// Reads entry `index` into `bytes` in the ANSI code page, as the list was given it, and returns
// its length (0 for an entry it cannot read). The wide form is asked and converted here: under
// Common Controls 6 the list box keeps its text as UTF-16, and Wine converts an ANSI LB_GETTEXT
// through a fixed 512-character buffer, which a longer entry overruns. The buffers are kept
// between calls, so reading a long list does not allocate per entry.
size_t readEntry(HWND list, LRESULT index, std::vector<wchar_t>& wide, std::string& bytes) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) {
        return 0;
    }
    if (wide.size() < static_cast<size_t>(length) + 1) {
        wide.resize(static_cast<size_t>(length) + 1);
    }
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&wide[0]));
    if (copied == LB_ERR || copied <= 0) {
        return 0;
    }
    // A single-byte code page gives one byte a character; a double-byte one at most two.
    const int wideLength = static_cast<int>(copied);
    if (bytes.size() < 2 * static_cast<size_t>(wideLength)) {
        bytes.resize(2 * static_cast<size_t>(wideLength));
    }
    const int converted = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, &bytes[0],
                                              static_cast<int>(bytes.size()), nullptr, nullptr);
    return converted > 0 ? static_cast<size_t>(converted) : 0;
}

// The text, NUL-terminated, in memory that the clipboard can take over; 0 when none is left.
HGLOBAL globalCopy(const std::string& text) {
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory) {
        return nullptr;
    }
    void* bytes = GlobalLock(memory);
    if (!bytes) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    return memory;
}

// Puts text on the clipboard, owned by `owner`, trying again for a while when the memory or the
// clipboard cannot be had. The memory is taken before the clipboard is opened, so a copy that
// fails leaves the clipboard as it was.
bool putOnClipboard(HWND owner, const std::string& text) {
    HGLOBAL memory = nullptr;
    const DWORD start = GetTickCount();
    for (;;) {
        if (!memory) {
            memory = globalCopy(text);
        }
        if (memory && OpenClipboard(owner)) {
            // Once SetClipboardData has taken the memory, the system owns it.
            const bool placed = EmptyClipboard() && SetClipboardData(CF_TEXT, memory);
            CloseClipboard();
            if (placed) {
                return true;
            }
        }
        if (GetTickCount() - start >= kClipboardPatienceMs) {
            break;
        }
        Sleep(kClipboardRetryMs);
    }
    if (memory) {
        GlobalFree(memory);
    }
    return false;
}

bool copyText(HWND dialog, const std::string& text) {
    if (putOnClipboard(dialog, text)) {
        return true;
    }
    MessageBeep(MB_OK);
    return false;
}
} // namespace

bool TrafficCopy::copyEntry(HWND dialog, int listId, LRESULT index) {
    const HWND list = GetDlgItem(dialog, listId);
    if (!list || index < 0 || index >= SendMessageA(list, LB_GETCOUNT, 0, 0)) {
        return false;
    }
    try {
        std::vector<wchar_t> wide;
        std::string entry;
        entry.resize(readEntry(list, index, wide, entry));
        return copyText(dialog, copiedEntry(entry));
    } catch (...) {
        MessageBeep(MB_OK);
        return false;
    }
}

bool TrafficCopy::copySelected(HWND dialog, int listId) {
    return copyEntry(dialog, listId, SendMessageA(GetDlgItem(dialog, listId), LB_GETCURSEL, 0, 0));
}

bool TrafficCopy::copyAll(HWND dialog, int listId) {
    const HWND list = GetDlgItem(dialog, listId);
    if (!list) {
        return false;
    }
    try {
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        std::string text;
        std::vector<wchar_t> wide;
        std::string entry;
        for (LRESULT index = 0; index < count; ++index) {
            const size_t length = readEntry(list, index, wide, entry);
            appendCopiedLine(text, entry.data(), length);
        }
        return copyText(dialog, text);
    } catch (...) {
        // Out of memory for the text: the clipboard is left as it was.
        MessageBeep(MB_OK);
        return false;
    }
}
