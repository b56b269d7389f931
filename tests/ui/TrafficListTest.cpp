// Traffic list of the main window: entries, selection, scrolling and appends from other threads.
#include "ui/TrafficList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "support/LinkTestSupport.h"
#include "ui/TrafficCopy.h"

using namespace linktest;

namespace {
constexpr int kList = MainWindowIds::TrafficList;
constexpr int kWorkerLines = 500;
constexpr int kWindowLines = 100;

void append(HWND window, const std::string& line) {
    TrafficList::append(window, kList, line.c_str());
}

// Whether entry `index` is at least partly inside the list's client area.
bool entryInView(HWND window, LRESULT index) {
    const HWND list = control(window, kList);
    RECT item{};
    RECT client{};
    if (SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        return false;
    }
    GetClientRect(list, &client);
    RECT overlap{};
    return IntersectRect(&overlap, &item, &client) != 0;
}

// State of the list's vertical or horizontal scroll bar (STATE_SYSTEM_* bits), read on the
// window's thread.
DWORD scrollBarState(HWND window, LONG which) {
    DWORD state = 0;
    onWindowThread(window, [&] {
        SCROLLBARINFO info{};
        info.cbSize = sizeof(info);
        if (GetScrollBarInfo(control(window, kList), which, &info)) {
            state = info.rgstate[0];
        } else {
            state = ~0u;
        }
    });
    return state;
}

// How many entries fit whole in the list's client area.
LRESULT wholeEntriesShown(HWND window) {
    const HWND list = control(window, kList);
    RECT client{};
    GetClientRect(list, &client);
    const LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    return height > 0 ? (client.bottom - client.top) / height : 0;
}
} // namespace

TEST(TrafficList, StartsWithTheBannerAndNoSelection) {
    runWithMainWindow([](HWND window) {
        EXPECT_EQ(listEntries(window), std::vector<std::string>{"Data I/O window..."});
        EXPECT_EQ(listSelection(window), LB_ERR);
    });
}

TEST(TrafficList, EachAppendSelectsTheNewestAndKeepsItInView) {
    runWithMainWindow([](HWND window) {
        append(window, "==> first");
        EXPECT_EQ(listEntries(window),
                  (std::vector<std::string>{"Data I/O window...", "==> first"}));
        EXPECT_EQ(listSelection(window), 1);
        EXPECT_TRUE(entryInView(window, 1));

        // Well past one page, so the list has to scroll for every append.
        const LRESULT shown = wholeEntriesShown(window);
        ASSERT_GT(shown, 2);
        for (LRESULT i = 2; i < 3 * shown; ++i) {
            append(window, "==> line " + std::to_string(i));
            ASSERT_EQ(listCount(window), i + 1);
            EXPECT_EQ(listSelection(window), i);
            EXPECT_TRUE(entryInView(window, i)) << "entry " << i;
        }
        EXPECT_GT(SendMessageA(control(window, kList), LB_GETTOPINDEX, 0, 0), 0);
    });
}

TEST(TrafficList, ScrollBarDisabledWhileAllFitAndEnabledAfter) {
    runWithMainWindow([](HWND window) {
        const LRESULT shown = wholeEntriesShown(window);
        ASSERT_GT(shown, 2);
        // Present from the start (never hidden), but unusable while every entry fits.
        while (listCount(window) < shown) {
            const DWORD state = scrollBarState(window, OBJID_VSCROLL);
            EXPECT_EQ(state & STATE_SYSTEM_INVISIBLE, 0u) << listCount(window) << " entries";
            EXPECT_NE(state & STATE_SYSTEM_UNAVAILABLE, 0u) << listCount(window) << " entries";
            append(window, "==> fits");
        }
        // One whole entry beyond the page: the bar must be usable.
        append(window, "==> just over");
        append(window, "==> over");
        const DWORD state = scrollBarState(window, OBJID_VSCROLL);
        EXPECT_EQ(state & STATE_SYSTEM_INVISIBLE, 0u);
        EXPECT_EQ(state & STATE_SYSTEM_UNAVAILABLE, 0u);

        // A line far wider than the list gets no horizontal scroll bar.
        append(window, "==> " + std::string(400, 'W'));
        EXPECT_NE(scrollBarState(window, OBJID_HSCROLL) & STATE_SYSTEM_INVISIBLE, 0u);
    });
}

TEST(TrafficList, AppendTakesSelectionBackFromTheOperator) {
    runWithMainWindow([](HWND window) {
        const HWND list = control(window, kList);
        const LRESULT shown = wholeEntriesShown(window);
        for (LRESULT i = 1; i < 3 * shown; ++i) {
            append(window, "==> " + std::to_string(i));
        }
        // The operator picks the first entry with the keyboard, which scrolls to the top.
        SendMessageA(list, WM_KEYDOWN, VK_HOME, 0);
        SendMessageA(list, WM_KEYUP, VK_HOME, 0);
        ASSERT_EQ(listSelection(window), 0);
        ASSERT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
        append(window, "==> after home");
        LRESULT newest = listCount(window) - 1;
        EXPECT_EQ(listSelection(window), newest);
        EXPECT_TRUE(entryInView(window, newest));

        // The operator scrolls back up without touching the selection.
        SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
        ASSERT_FALSE(entryInView(window, newest));
        append(window, "==> after scroll");
        newest = listCount(window) - 1;
        EXPECT_EQ(listSelection(window), newest);
        EXPECT_TRUE(entryInView(window, newest));
    });
}

TEST(TrafficList, EntriesKeepTheirTextAndOrder) {
    runWithMainWindow([](HWND window) {
        append(window, "==> ");
        TrafficList::append(window, kList, std::string("==> ab\0cd", 9).c_str());
        append(window, "==> a\tb");
        append(window, "==> x");
        append(window, "<== y");
        append(window, "==> a");
        EXPECT_EQ(entriesFrom(window, 1), (std::vector<std::string>{"==> ", "==> ab", "==> a\tb",
                                                                    "==> x", "<== y", "==> a"}));
        EXPECT_EQ(listSelection(window), 6);
    });
}

TEST(TrafficList, AppendsFromTwoThreadsArriveWholeAndInOrder) {
    runWithMainWindow([](HWND window) {
        std::atomic<bool> workerDone{false};
        std::atomic<int> workerAppended{0};
        std::thread worker([&] {
            for (int i = 0; i < kWorkerLines; ++i) {
                append(window, "==> worker " + std::to_string(i));
                workerAppended.store(i + 1);
            }
            workerDone.store(true);
        });
        // Interleaved with the worker: appends made by the window's own thread.
        for (int i = 0; i < kWindowLines; ++i) {
            onWindowThread(window, [&] { append(window, "<== window " + std::to_string(i)); });
        }
        // Should the loop stop serving it, the safety timeout ends the window, and the
        // worker's requests then fail at once. The wait follows the worker's progress (each
        // append is slow under emulation or on a busy machine); only a stall ends it.
        bool progressing = true;
        while (!workerDone.load() && progressing) {
            const int appended = workerAppended.load();
            progressing =
                waitUntil([&] { return workerDone.load() || workerAppended.load() != appended; });
        }
        EXPECT_TRUE(workerDone.load());
        worker.join();

        int nextWorker = 0;
        int nextWindow = 0;
        for (const std::string& entry : entriesFrom(window, 1)) {
            if (entry == "==> worker " + std::to_string(nextWorker)) {
                ++nextWorker;
            } else if (entry == "<== window " + std::to_string(nextWindow)) {
                ++nextWindow;
            } else {
                ADD_FAILURE() << "unexpected entry \"" << entry << "\" after worker line "
                              << nextWorker << " and window line " << nextWindow;
            }
        }
        EXPECT_EQ(nextWorker, kWorkerLines);
        EXPECT_EQ(nextWindow, kWindowLines);
        EXPECT_EQ(listCount(window), 1 + kWorkerLines + kWindowLines);
    });
}

TEST(TrafficList, AppendAfterTheWindowIsGoneDoesNothing) {
    const HWND window = runWithMainWindow([](HWND) {});
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(IsWindow(window));
    append(window, "==> late");

    // From another thread too; it must come back rather than wait for a loop that is gone.
    std::atomic<bool> returned{false};
    std::thread late([&] {
        append(window, "==> late from a thread");
        returned.store(true);
    });
    if (!waitUntil([&] { return returned.load(); })) {
        abandonStuckTest("append to a destroyed window did not return");
    }
    late.join();
}

namespace {
std::string clipboardText() {
    std::string text;
    if (OpenClipboard(nullptr)) {
        const HANDLE data = GetClipboardData(CF_TEXT);
        if (const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr) {
            text = bytes;
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

void putOnClipboard(const std::string& text) {
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    ASSERT_TRUE(memory);
    std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
}
} // namespace

// Another program holding the clipboard open: the copy keeps trying for half a second, then
// gives up and leaves the clipboard as it was; once the clipboard is free it copies. An entry
// far longer than a line of the window is copied whole, its bytes as they were listed.
TEST(TrafficList, CopyWaitsForABusyClipboardAndCopiesLongEntriesWhole) {
    runWithMainWindow([](HWND window) {
        putOnClipboard("before");
        ASSERT_TRUE(OpenClipboard(nullptr));
        bool copied = true;
        const DWORD start = GetTickCount();
        onWindowThread(window, [&] { copied = TrafficCopy::copyAll(window, kList); });
        const DWORD tried = GetTickCount() - start;
        CloseClipboard();
        EXPECT_FALSE(copied);
        EXPECT_GE(tried, 450u) << "gave up before half a second";
        EXPECT_EQ(clipboardText(), "before");

        onWindowThread(window, [&] { copied = TrafficCopy::copyAll(window, kList); });
        EXPECT_TRUE(copied);
        EXPECT_EQ(clipboardText(), "Data I/O window...\r\n");

        std::string longLine = "==> ";
        for (int n = 0; longLine.size() < 3000; ++n) {
            longLine += static_cast<char>(n % 2 ? 'a' + n % 26 : 0xa0 + n % 32);
        }
        append(window, longLine);
        onWindowThread(window, [&] { copied = TrafficCopy::copySelected(window, kList); });
        EXPECT_TRUE(copied);
        EXPECT_EQ(clipboardText(), longLine);
    });
}
