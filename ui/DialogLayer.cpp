// Thin layer that builds dialogs from in-memory templates, adds controls, runs the polling
// message loop and routes each message to the control's callback, then the dialog's.
#include "ui/DialogLayer.h"

#include <algorithm>
#include <atomic>

#include "ui/DialogTemplates.h"

namespace {
struct DialogEntry {
    HWND dialog;
    uint32_t style;
    int showCommand;
    HFONT font;
    DialogCallback callback;
    INT_PTR* endValue; // showModal's result, while showModal runs
    HICON bigIcon;
    HICON smallIcon;
};

struct ControlEntry {
    HWND control;
    HWND dialog;
    ControlKind kind;
    DialogCallback callback;
    DialogCallback keyCallback; // offered the control's key messages first
};

// Process-wide lock over the bookkeeping.
class Lock {
  public:
    Lock() { InitializeCriticalSection(&section_); }
    ~Lock() { DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

class Guard {
  public:
    explicit Guard(Lock& lock) : lock_(lock) { lock_.lock(); }
    ~Guard() { lock_.unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

  private:
    Lock& lock_;
};

// Bookkeeping shared by all threads (any thread may call the layer). The lock is held only
// around lookups and changes, never across a callback or a system call, so a callback may call
// back into the layer and a thread blocked in a cross-thread request holds nothing.
struct Bookkeeping {
    Lock lock;
    std::vector<DialogEntry> dialogs;
    std::vector<ControlEntry> controls;
    HWND activeDialog = nullptr;
};

Bookkeeping& book() {
    static Bookkeeping instance;
    return instance;
}

DialogEntry* findDialog(Bookkeeping& b, HWND dialog) {
    for (DialogEntry& entry : b.dialogs) {
        if (entry.dialog == dialog) {
            return &entry;
        }
    }
    return nullptr;
}

ControlEntry* findControl(Bookkeeping& b, HWND control) {
    for (ControlEntry& entry : b.controls) {
        if (entry.control == control) {
            return &entry;
        }
    }
    return nullptr;
}

DialogCallback dialogCallback(HWND dialog) {
    Bookkeeping& b = book();
    Guard guard(b.lock);
    const DialogEntry* entry = findDialog(b, dialog);
    return entry ? entry->callback : nullptr;
}

DialogCallback controlCallback(HWND control) {
    if (!control) {
        return nullptr;
    }
    Bookkeeping& b = book();
    Guard guard(b.lock);
    const ControlEntry* entry = findControl(b, control);
    return entry ? entry->callback : nullptr;
}

// Forgets the dialog and its controls and destroys its icons.
void releaseDialog(HWND dialog) {
    HICON icons[2] = {nullptr, nullptr};
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (DialogEntry* entry = findDialog(b, dialog)) {
            icons[0] = entry->bigIcon;
            icons[1] = entry->smallIcon;
        }
        b.dialogs.erase(std::remove_if(b.dialogs.begin(), b.dialogs.end(),
                                       [&](const DialogEntry& e) { return e.dialog == dialog; }),
                        b.dialogs.end());
        b.controls.erase(std::remove_if(b.controls.begin(), b.controls.end(),
                                        [&](const ControlEntry& e) { return e.dialog == dialog; }),
                         b.controls.end());
        if (b.activeDialog == dialog) {
            b.activeDialog = nullptr;
        }
    }
    for (HICON icon : icons) {
        if (icon) {
            DestroyIcon(icon);
        }
    }
}

// The control a message concerns: the sender of a command, or the scroll bar of a scroll.
HWND controlConcerned(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return GetDlgItem(dialog, LOWORD(wParam));
    case WM_HSCROLL:
    case WM_VSCROLL:
        return reinterpret_cast<HWND>(lParam);
    default:
        return nullptr;
    }
}

INT_PTR routeMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return TRUE; // from creation; callbacks get theirs from showModal
    }
    if (message == WM_ACTIVATE) {
        {
            Bookkeeping& b = book();
            Guard guard(b.lock);
            if (LOWORD(wParam) != WA_INACTIVE) {
                b.activeDialog = dialog;
            } else if (b.activeDialog == dialog) {
                b.activeDialog = nullptr;
            }
        }
        // FALSE lets the default dialog handling save the focused control on deactivation and
        // restore it on activation; otherwise the operator's typing goes nowhere after a
        // switch to another window and back.
        return FALSE;
    }

    // Callbacks are looked up afresh each time: a callback may destroy the dialog, and the
    // bookkeeping is released inside that call.
    int32_t result = 0;
    if (DialogCallback callback =
            controlCallback(controlConcerned(dialog, message, wParam, lParam))) {
        result = callback(dialog, message, wParam, lParam);
    }
    if (result == 0) {
        if (DialogCallback callback = dialogCallback(dialog)) {
            result = callback(dialog, message, wParam, lParam);
        }
    }
    if (result != 0) {
        if (IsWindow(dialog) && GetWindowLongPtrA(dialog, DWLP_MSGRESULT) == 0) {
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
        }
        return result;
    }

    switch (message) {
    case WM_NCDESTROY:
        releaseDialog(dialog);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            DialogLayer::endDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_VKEYTOITEM:
        // -1: the list box performs its default action for the key, from its current
        // selection (0 would make it act as if the first entry were current).
        return -1;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK layerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through the system's dispatch code.
    try {
        return routeMessage(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

// Offers a key message for a control of `dialog` to the control's key handler.
bool keyTakenByHandler(HWND dialog, const MSG& message) {
    if (message.message < WM_KEYFIRST || message.message > WM_SYSDEADCHAR) {
        return false;
    }
    DialogCallback callback = nullptr;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (const ControlEntry* entry = findControl(b, message.hwnd)) {
            if (entry->dialog == dialog) {
                callback = entry->keyCallback;
            }
        }
    }
    return callback && callback(dialog, message.message, message.wParam, message.lParam) != 0;
}

bool isLayerDialog(HWND dialog) {
    Bookkeeping& b = book();
    Guard guard(b.lock);
    return findDialog(b, dialog) != nullptr;
}

int16_t templateCoordinate(int32_t value) {
    return value == CentreSentinel ? 0 : static_cast<int16_t>(value & 0xFFFF);
}
} // namespace

HWND DialogLayer::newDialog(HWND parent, const std::string& caption, int32_t x, int32_t y,
                            int32_t width, int32_t height, uint32_t style, uint32_t exStyle) {
    const bool centred = x == CentreSentinel || y == CentreSentinel;
    const uint32_t finalStyle = dialogStyle(style, centred);
    const std::vector<uint8_t> dialogTemplate =
        buildLayerTemplate(finalStyle, exStyle, templateCoordinate(x), templateCoordinate(y),
                           static_cast<int16_t>(width), static_cast<int16_t>(height));
    const HWND dialog = CreateDialogIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), parent,
        layerDialogProc, 0);
    // The template carries a one-blank title: the caption is 8-bit text set as it stands.
    SetWindowTextA(dialog, caption.c_str());
    if (!dialog) {
        return nullptr;
    }
    const int showCommand = (finalStyle & WS_MAXIMIZE)   ? SW_MAXIMIZE
                            : (finalStyle & WS_MINIMIZE) ? SW_MINIMIZE
                                                         : SW_SHOW;
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    Bookkeeping& b = book();
    Guard guard(b.lock);
    b.dialogs.push_back(
        {dialog, finalStyle, showCommand, font, nullptr, nullptr, nullptr, nullptr});
    return dialog;
}

void DialogLayer::setIcon(HWND dialog, const char* name) {
    if (!isLayerDialog(dialog)) {
        return;
    }
    const HINSTANCE module = GetModuleHandleA(nullptr);
    const HICON big = static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, 32, 32, 0));
    if (!big) {
        return;
    }
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    HICON previousBig = nullptr;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (DialogEntry* entry = findDialog(b, dialog)) {
            previousBig = entry->bigIcon;
            entry->bigIcon = big;
        }
    }
    if (previousBig) {
        DestroyIcon(previousBig);
    }

    const HICON small = static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, 16, 16, 0));
    if (!small) {
        return;
    }
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    HICON previousSmall = nullptr;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (DialogEntry* entry = findDialog(b, dialog)) {
            previousSmall = entry->smallIcon;
            entry->smallIcon = small;
        }
    }
    if (previousSmall) {
        DestroyIcon(previousSmall);
    }
}

void DialogLayer::addControl(HWND dialog, ControlKind kind, int id, const std::string& text, int x,
                             int y, int width, int height, uint32_t style, uint32_t exStyle,
                             DialogCallback callback,
                             const std::vector<std::string>& initialEntries) {
    HFONT font = nullptr;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        const DialogEntry* entry = findDialog(b, dialog);
        if (!entry) {
            return;
        }
        font = entry->font;
    }
    const char* className = controlClassName(kind);
    if (!className) {
        return;
    }
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(dialog, &rect);
    const ControlStyle final = controlStyle(kind, style, exStyle);
    const HWND control = CreateWindowExA(
        final.exStyle, className, text.c_str(), final.style, rect.left, rect.top,
        rect.right - rect.left, rect.bottom - rect.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (control) {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        b.controls.push_back({control, dialog, kind, callback, nullptr});
    }
    if (kind == ControlKind::ListBox) {
        for (const std::string& entry : initialEntries) {
            if (entry.empty()) {
                break;
            }
            SendMessageA(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        }
    }
    if (kind == ControlKind::PushButton && (final.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(id), 0);
    }
}

void DialogLayer::setKeyHandler(HWND dialog, int id, DialogCallback callback) {
    const HWND control = GetDlgItem(dialog, id);
    Bookkeeping& b = book();
    Guard guard(b.lock);
    if (ControlEntry* entry = findControl(b, control)) {
        entry->keyCallback = callback;
    }
}

namespace {
// Windows 8 and later wake the wait for pointer input (touch, pen) only when asked for
// QS_POINTER and QS_TOUCH; Windows XP and 7 refuse those bits with ERROR_INVALID_PARAMETER. So
// the first refusal drops them for the rest of the process.
constexpr DWORD kPointerInput = 0x1000 | 0x0800; // QS_POINTER | QS_TOUCH
std::atomic<DWORD> wakeMask{QS_ALLINPUT | kPointerInput};

void waitForMessages() {
    const DWORD mask = wakeMask.load();
    if (MsgWaitForMultipleObjectsEx(0, nullptr, 100, mask, MWMO_INPUTAVAILABLE) != WAIT_FAILED) {
        return;
    }
    if (mask != QS_ALLINPUT) {
        wakeMask.store(QS_ALLINPUT);
    } else {
        Sleep(10); // a wait that fails anyway must not turn the loop into a busy spin
    }
}
} // namespace

INT_PTR DialogLayer::showModal(HWND dialog, DialogCallback callback) {
    int showCommand = SW_SHOW;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (const DialogEntry* entry = findDialog(b, dialog)) {
            showCommand = entry->showCommand;
        }
    }
    if (callback) {
        callback(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog), 0);
        RECT client{};
        GetClientRect(dialog, &client);
        const WPARAM sizeType = showCommand == SW_MAXIMIZE   ? SIZE_MAXIMIZED
                                : showCommand == SW_MINIMIZE ? SIZE_MINIMIZED
                                                             : SIZE_RESTORED;
        callback(dialog, WM_SIZE, sizeType, MAKELPARAM(client.right, client.bottom));
    }

    INT_PTR endValue = 0;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        DialogEntry* entry = findDialog(b, dialog);
        if (!entry) {
            return 0;
        }
        entry->callback = callback;
        entry->endValue = &endValue;
    }
    ShowWindow(dialog, showCommand);

    MSG message;
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            // A request sent from another thread (a click on Quit, SC_CLOSE) is served inside
            // PeekMessageA and may have destroyed the dialog there, leaving no message behind.
            if (!IsWindow(dialog)) {
                break;
            }
            // Wakes at once for input (touch and pen too where the system can), posted messages
            // and requests that other threads send to this thread's windows, so the receive
            // thread's appends are never held up. The bound is only a guard; waking every
            // millisecond instead cost about 8 % of a CPU while idle under Wine, mostly in the
            // wineserver.
            waitForMessages();
            continue;
        }
        if (!IsWindow(dialog)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            break;
        }
        if (keyTakenByHandler(dialog, message)) {
            continue;
        }
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (!IsWindow(dialog)) {
            break;
        }
    }
    return endValue;
}

void DialogLayer::endDialog(HWND dialog, INT_PTR endValue) {
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (DialogEntry* entry = findDialog(b, dialog)) {
            if (entry->endValue) {
                *entry->endValue = endValue;
            }
        }
    }
    DestroyWindow(dialog);
}

std::string DialogLayer::getText(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(control, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void DialogLayer::setFocus(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    HWND owner = nullptr;
    {
        Bookkeeping& b = book();
        Guard guard(b.lock);
        if (const ControlEntry* entry = findControl(b, control)) {
            owner = entry->dialog;
        }
    }
    if (!owner) {
        return;
    }
    SetForegroundWindow(owner);
    SetFocus(control);
}

LRESULT DialogLayer::getCheck(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0);
}

void DialogLayer::listAdd(HWND dialog, int id, const char* text) {
    SendMessageA(GetDlgItem(dialog, id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void DialogLayer::listSelect(HWND dialog, int id, int entryNumber) {
    const HWND list = GetDlgItem(dialog, id);
    const int index = entryNumber - 1;
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
        SendMessageA(list, LB_SETSEL, TRUE, index);
    } else {
        SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

size_t DialogLayer::trackedWindowCount() {
    Bookkeeping& b = book();
    Guard guard(b.lock);
    return b.dialogs.size() + b.controls.size();
}
