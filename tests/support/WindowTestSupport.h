// Drives a dialog of the layer from inside its own modal loop, for the Windows-side window tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/WaitScale.h"
#include "ui/DialogLayer.h"

namespace wintest {

// A message a callback received, and whether its dialog was visible at that moment.
struct SeenMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool visible;
};

// Sees every message the dialog callback receives, apart from the script's own; its answer is
// the callback's answer.
using Observer = std::function<int32_t(HWND, UINT, WPARAM, LPARAM)>;

// Steps run one after the other from a timer inside showModal's loop, so that every key press
// and message goes through the layer's real loop. A wait that is not met within its deadline
// fails the test and ends the dialog, so a broken behaviour never hangs the run.
// Releases Alt, Ctrl and Shift. A program that an earlier test ended with Alt+Q may have gone
// before it took the key's release, and Wine's desktop then still holds Alt as down: the next
// Tab would arrive as Alt+Tab.
inline void releaseModifiers() {
    INPUT inputs[3] = {};
    const WORD keys[3] = {VK_MENU, VK_CONTROL, VK_SHIFT};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(3, inputs, sizeof(INPUT));
}

class Script {
  public:
    static constexpr INT_PTR Finished = 0x5C21;   // showModal's result when every step ran
    static constexpr INT_PTR Abandoned = -0x5C21; // showModal's result when a wait ran out

    explicit Script(Observer observer = nullptr) : observer_(std::move(observer)) {}

    Script& then(std::function<void(HWND)> action) {
        steps_.push_back({"", nullptr, std::move(action)});
        return *this;
    }

    Script& waitFor(std::string what, std::function<bool(HWND)> condition) {
        steps_.push_back({std::move(what), std::move(condition), nullptr});
        return *this;
    }

    // Waits until everything posted to the dialog before this step has been handled.
    Script& drain() {
        const int marker = ++markersPosted_;
        then([](HWND dialog) { PostMessageA(dialog, MarkerMessage, 0, 0); });
        return waitFor("posted messages handled",
                       [this, marker](HWND) { return markersSeen_ >= marker; });
    }

    // Shows the dialog with showModal and runs the steps; after the last one the dialog is
    // ended with Finished unless a step ended it already.
    INT_PTR run(HWND dialog) {
        releaseModifiers();
        current() = this;
        Watchdog watchdog;
        const INT_PTR result = DialogLayer::showModal(dialog, &Script::callback);
        current() = nullptr;
        return result;
    }

  private:
    static constexpr UINT_PTR TickTimer = 0x5157;
    static constexpr UINT MarkerMessage = WM_APP + 0x3A1;

    struct Step {
        std::string what;
        std::function<bool(HWND)> condition;
        std::function<void(HWND)> action;
    };

    // Ends the whole process if the loop itself stops running, where no timer could help.
    class Watchdog {
      public:
        Watchdog()
            : thread_([this] {
                  const auto limit = std::chrono::milliseconds(testwait::scaledMs(120000));
                  std::unique_lock<std::mutex> hold(lock_);
                  if (!wake_.wait_for(hold, limit, [this] { return done_; })) {
                      std::fprintf(stderr, "window test hung: modal loop stopped running\n");
                      std::fflush(stderr);
                      TerminateProcess(GetCurrentProcess(), 3);
                  }
              }) {}
        ~Watchdog() {
            {
                std::lock_guard<std::mutex> hold(lock_);
                done_ = true;
            }
            wake_.notify_one();
            thread_.join();
        }
        Watchdog(const Watchdog&) = delete;
        Watchdog& operator=(const Watchdog&) = delete;

      private:
        std::mutex lock_;
        std::condition_variable wake_;
        bool done_ = false;
        std::thread thread_;
    };

    static Script*& current() {
        static Script* script = nullptr;
        return script;
    }

    static int32_t callback(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        Script* script = current();
        if (!script) {
            return 0;
        }
        if (message == WM_INITDIALOG) {
            SetTimer(dialog, TickTimer, 10, nullptr);
        }
        if (message == WM_TIMER && wParam == TickTimer) {
            script->tick(dialog);
            return 1;
        }
        if (message == MarkerMessage) {
            ++script->markersSeen_;
            return 1;
        }
        return script->observer_ ? script->observer_(dialog, message, wParam, lParam) : 0;
    }

    void tick(HWND dialog) {
        if (busy_) {
            return; // a step's action is running a loop of its own
        }
        busy_ = true;
        while (next_ < steps_.size()) {
            Step& step = steps_[next_];
            if (step.condition) {
                if (!step.condition(dialog)) {
                    if (GetTickCount() - stepStart_ > static_cast<DWORD>(testwait::kDeadlineMs)) {
                        ADD_FAILURE() << "gave up waiting for: " << step.what;
                        next_ = steps_.size();
                        DialogLayer::endDialog(dialog, Abandoned);
                    }
                    busy_ = false;
                    return;
                }
            } else {
                step.action(dialog);
            }
            ++next_;
            stepStart_ = GetTickCount();
            if (!IsWindow(dialog)) {
                busy_ = false;
                return; // the step ended the dialog
            }
        }
        next_ = steps_.size() + 1;
        DialogLayer::endDialog(dialog, Finished);
        busy_ = false;
    }

    Observer observer_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    DWORD stepStart_ = GetTickCount();
    bool busy_ = false;
    int markersPosted_ = 0;
    int markersSeen_ = 0;
};

// Records the arguments of every window creation on this thread while it lives (a CBT hook),
// to see the style a control was asked for: some controls change their style once created
// (an edit box draws its own border and drops WS_BORDER).
class CreationRecorder {
  public:
    struct Created {
        HWND window;
        DWORD style;
        DWORD exStyle;
        RECT rect; // in the parent's client coordinates, as passed to CreateWindowEx
    };

    CreationRecorder() {
        current() = this;
        hook_ = SetWindowsHookExA(WH_CBT, &CreationRecorder::hook, nullptr, GetCurrentThreadId());
    }
    ~CreationRecorder() {
        if (hook_) {
            UnhookWindowsHookEx(hook_);
        }
        current() = nullptr;
    }
    CreationRecorder(const CreationRecorder&) = delete;
    CreationRecorder& operator=(const CreationRecorder&) = delete;

    bool installed() const { return hook_ != nullptr; }

    const Created* find(HWND window) const {
        for (const Created& created : created_) {
            if (created.window == window) {
                return &created;
            }
        }
        return nullptr;
    }

  private:
    static CreationRecorder*& current() {
        static CreationRecorder* recorder = nullptr;
        return recorder;
    }

    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && current()) {
            const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
            current()->created_.push_back({reinterpret_cast<HWND>(wParam),
                                           static_cast<DWORD>(cs->style), cs->dwExStyle,
                                           RECT{cs->x, cs->y, cs->x + cs->cx, cs->y + cs->cy}});
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HHOOK hook_ = nullptr;
    std::vector<Created> created_;
};

// Key presses through the system's input queue: they reach the focused control of the
// foreground window, exactly as typed keys do.
inline void sendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
    std::vector<INPUT> inputs;
    for (const auto& key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key.first;
        input.ki.dwFlags = key.second ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline void pressKey(WORD key) {
    sendKeys({{key, true}, {key, false}});
}

inline void pressAltKey(WORD key) {
    sendKeys({{VK_MENU, true}, {key, true}, {key, false}, {VK_MENU, false}});
}

// The rectangle of a control in its parent's client coordinates.
inline RECT clientRectOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline RECT dialogUnitsToPixels(HWND dialog, int x, int y, int width, int height) {
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(dialog, &rect);
    return rect;
}

inline std::string windowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// An entry as the A form of LB_GETTEXT gives it on Windows: read with the W form and converted
// from UTF-16 to the ANSI code page, as Windows converts for the A form. With Common Controls 6
// the list box is a Unicode window, and Wine 8 converts the A form through a fixed buffer of
// 512 characters on the stack, which a longer entry overruns.
inline std::string listEntry(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return "<no entry>";
    }
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&wide[0]));
    if (copied <= 0) {
        return {};
    }
    const int wideLength = static_cast<int>(copied);
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), wideLength, &text[0], size, nullptr, nullptr);
    return text;
}

// Width and height in pixels of an icon's image.
inline SIZE iconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) {
        return {0, 0};
    }
    BITMAP bitmap{};
    SIZE size{0, 0};
    if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap)) {
        size = {bitmap.bmWidth, bitmap.bmHeight};
    } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bitmap, &bitmap)) {
        size = {bitmap.bmWidth, bitmap.bmHeight / 2}; // monochrome: mask and image stacked
    }
    if (info.hbmColor) {
        DeleteObject(info.hbmColor);
    }
    if (info.hbmMask) {
        DeleteObject(info.hbmMask);
    }
    return size;
}

inline bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::string describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

} // namespace wintest
