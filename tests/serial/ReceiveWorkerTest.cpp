// Receive thread: bytes from the instrument end of a null modem become entries of the list.
#include "serial/ReceiveWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "serial/LineCutter.h"
#include "serial/LinkState.h"
#include "support/LinkTestSupport.h"

using namespace linktest;

namespace {
using Entries = std::vector<std::string>;

class ReceiveWorkerTest : public PortPairTest {
  protected:
    // Lets the instrument send `bytes`, waits until they are all queued, then runs one pass
    // and returns the entries it added.
    Entries receiveOnce(HWND window, LineCutter& cutter, const std::string& bytes) {
        sendFromInstrument(bytes);
        const size_t before = static_cast<size_t>(listCount(window));
        EXPECT_TRUE(receivePass(window, cutter));
        EXPECT_EQ(waiting(InstrumentPort), 0u);
        return entriesFrom(window, before);
    }
};
} // namespace

TEST_F(ReceiveWorkerTest, LineEndsAreCutAsTheInstrumentSendsThem) {
    runWithMainWindow([this](HWND window) {
        LineCutter cutter;
        EXPECT_EQ(receiveOnce(window, cutter, "OK\r\n"), Entries{"==> OK"});
        // CR and LF apart: still one line, and no empty one.
        EXPECT_EQ(receiveOnce(window, cutter, "CR\r"), Entries{"==> CR"});
        EXPECT_EQ(receiveOnce(window, cutter, "\n"), Entries{});
        // A stray LF inside a line disappears.
        EXPECT_EQ(receiveOnce(window, cutter, "A\nB\r"), Entries{"==> AB"});
        // An empty line is listed as the prefix alone.
        EXPECT_EQ(receiveOnce(window, cutter, "X\r\n\r\n"), (Entries{"==> X", "==> "}));
        EXPECT_EQ(listEntries(window).size(), 6u);
        EXPECT_EQ(listSelection(window), 5);
    });
}

TEST_F(ReceiveWorkerTest, TextWaitsForItsCarriageReturn) {
    runWithMainWindow([this](HWND window) {
        LineCutter cutter;
        EXPECT_EQ(receiveOnce(window, cutter, "VOLT"), Entries{});
        EXPECT_EQ(receiveOnce(window, cutter, "AGE 1"), Entries{});
        EXPECT_EQ(receiveOnce(window, cutter, "2.5\r"), Entries{"==> VOLTAGE 12.5"});
        // Three and a half lines in one go: three entries in order, the half waits.
        EXPECT_EQ(receiveOnce(window, cutter, "one\r\ntwo\r\nthree\r\nfo"),
                  (Entries{"==> one", "==> two", "==> three"}));
        EXPECT_EQ(receiveOnce(window, cutter, "ur\r\n"), Entries{"==> four"});
    });
}

TEST_F(ReceiveWorkerTest, LineWithNulShowsTheTextBeforeIt) {
    runWithMainWindow([this](HWND window) {
        LineCutter cutter;
        EXPECT_EQ(receiveOnce(window, cutter, std::string("ab\0cd\r\n", 7)), Entries{"==> ab"});
        EXPECT_EQ(receiveOnce(window, cutter, "next\r\n"), Entries{"==> next"});
    });
}

TEST_F(ReceiveWorkerTest, NothingIsReadWhileTransmitting) {
    runWithMainWindow([this](HWND window) {
        LineCutter cutter;
        const std::string lines = "L1\r\nL2\r\nL3\r\n";
        TransmitBusyFlag.store(1);
        sendFromInstrument(lines);
        EXPECT_FALSE(receivePass(window, cutter));
        EXPECT_EQ(waiting(InstrumentPort), lines.size());
        EXPECT_EQ(listCount(window), 1);

        TransmitBusyFlag.store(0);
        EXPECT_TRUE(receivePass(window, cutter));
        EXPECT_EQ(entriesFrom(window, 1), (Entries{"==> L1", "==> L2", "==> L3"}));
    });
}

namespace {
// A list box that, while it adds its first received entry, has the instrument send more and
// waits until those bytes are queued at the program's end: traffic that arrives while the
// window is still busy with earlier lines. With stopOnAppend it also sets StopFlag there, as a
// shutdown does while the receive thread waits in an append.
WNDPROC listProcedure = nullptr;
SerialPort* lateSender = nullptr;
std::string lateBytes;
bool stopOnAppend = false;

LRESULT CALLBACK slowList(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LB_ADDSTRING && lateSender && !lateBytes.empty()) {
        if (stopOnAppend) {
            StopFlag.store(1);
        }
        const std::string bytes = std::exchange(lateBytes, std::string());
        const uint32_t before = waiting(InstrumentPort);
        if (lateSender->write(bytes) == PortError::None) {
            waitUntil([&] { return waiting(InstrumentPort) >= before + bytes.size(); });
        }
    }
    return CallWindowProcA(listProcedure, list, message, wParam, lParam);
}

// Puts slowList in place of the main window's list procedure for one test, and back after it.
class SlowList {
  public:
    SlowList(HWND window, SerialPort& sender, std::string bytes)
        : list_(GetDlgItem(window, MainWindowIds::TrafficList)) {
        lateSender = &sender;
        lateBytes = std::move(bytes);
        listProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(slowList)));
    }
    ~SlowList() {
        if (listProcedure) {
            SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProcedure));
        }
        listProcedure = nullptr;
        lateSender = nullptr;
        stopOnAppend = false;
    }
    SlowList(const SlowList&) = delete;
    SlowList& operator=(const SlowList&) = delete;
    bool installed() const { return listProcedure != nullptr; }

  private:
    HWND list_;
};
} // namespace

TEST_F(ReceiveWorkerTest, LinesArrivingWhileTheListIsBusyAreTakenFromThePortAtOnce) {
    runWithMainWindow([this](HWND window) {
        const SlowList slow(window, instrument, "second\r\nthird\r\nfou");
        ASSERT_TRUE(slow.installed());

        LineCutter cutter;
        sendFromInstrument("first\r\n");
        EXPECT_TRUE(receivePass(window, cutter));
        // One pass listed what came during its appends and left the driver's queue empty.
        EXPECT_TRUE(lateBytes.empty());
        EXPECT_EQ(waiting(InstrumentPort), 0u);
        EXPECT_EQ(entriesFrom(window, 1), (Entries{"==> first", "==> second", "==> third"}));

        // The unfinished "fou" is held, not lost.
        sendFromInstrument("r\r\n");
        EXPECT_TRUE(receivePass(window, cutter));
        EXPECT_EQ(entriesFrom(window, 1),
                  (Entries{"==> first", "==> second", "==> third", "==> four"}));
    });
}

TEST_F(ReceiveWorkerTest, NothingIsTakenFromThePortAfterStop) {
    runWithMainWindow([this](HWND window) {
        LineCutter cutter;
        const std::string line = "first\r\n";
        sendFromInstrument(line);
        StopFlag.store(1);
        // Once stopped, the pass neither reads nor lists: the shutdown owns the port.
        EXPECT_FALSE(receivePass(window, cutter));
        EXPECT_EQ(waiting(InstrumentPort), line.size());
        EXPECT_EQ(listCount(window), 1);
        StopFlag.store(0);

        // The stop comes while the pass waits in its first append: what arrived meanwhile stays
        // queued, and the lines the pass still held are not listed.
        EXPECT_TRUE(receivePass(window, cutter));
        const std::string late = "late\r\n";
        const SlowList slow(window, instrument, late);
        ASSERT_TRUE(slow.installed());
        stopOnAppend = true;
        sendFromInstrument("second\r\nthird\r\n");
        EXPECT_TRUE(receivePass(window, cutter));
        EXPECT_TRUE(lateBytes.empty());
        EXPECT_EQ(waiting(InstrumentPort), late.size());
        EXPECT_EQ(entriesFrom(window, 1), (Entries{"==> first", "==> second"}));
        StopFlag.store(0);
    });
}

TEST_F(ReceiveWorkerTest, ThreadListsLinesUntilStopped) {
    runWithMainWindow([this](HWND window) {
        const HANDLE thread = CreateThread(nullptr, 0, ReceiveWorker, window, 0, nullptr);
        ASSERT_NE(thread, nullptr);

        ASSERT_EQ(instrument.write("first\r\nsecond\r\n"), PortError::None);
        EXPECT_TRUE(waitForCount(window, 3));
        EXPECT_EQ(entriesFrom(window, 1), (Entries{"==> first", "==> second"}));

        // While a transmission runs the thread leaves the bytes queued, however long it
        // runs; a wait is the only way to show that it does not read them.
        TransmitBusyFlag.store(1);
        const std::string held = "third\r\nfourth\r\nfif";
        ASSERT_EQ(instrument.write(held), PortError::None);
        ASSERT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == held.size(); }));
        Sleep(500);
        EXPECT_EQ(waiting(InstrumentPort), held.size());
        EXPECT_EQ(listCount(window), 3);

        TransmitBusyFlag.store(0);
        EXPECT_TRUE(waitForCount(window, 5));
        // The thread has read "fif" too (the queue is empty) but holds it back.
        EXPECT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == 0; }));
        ASSERT_EQ(instrument.write("th\r\n"), PortError::None);
        EXPECT_TRUE(waitForCount(window, 6));

        // Text without a line end that the thread has read is never listed.
        TransmitBusyFlag.store(1);
        ASSERT_EQ(instrument.write("unfinished"), PortError::None);
        ASSERT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == 10; }));
        TransmitBusyFlag.store(0);
        EXPECT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == 0; }));

        StopFlag.store(1);
        // The window's loop keeps running on the other thread, so a pending append can finish.
        EXPECT_EQ(WaitForSingleObject(thread, kDeadlineMs), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
        EXPECT_EQ(exitCode, 1u);
        CloseHandle(thread);

        EXPECT_EQ(entriesFrom(window, 1),
                  (Entries{"==> first", "==> second", "==> third", "==> fourth", "==> fifth"}));
    });
}

namespace {
// While set, every operator new on the thread with this id fails and is counted, and the times
// of the first refusals are kept: the way a test runs the receive thread out of memory without
// changing it.
std::atomic<DWORD> starvedThread{0};
std::atomic<int> refusals{0};
constexpr int kTimedRefusals = 3;
std::atomic<std::chrono::steady_clock::rep> refusedAt[kTimedRefusals];
} // namespace

// This test program's allocation functions: the process heap, apart from the above. (Not malloc
// and free: an optimising GCC then sees free() given memory from operator new and refuses it.)
// The library's array and nothrow forms call these; its aligned forms keep their own allocator.
void* operator new(std::size_t size) {
    const DWORD starved = starvedThread.load();
    if (starved != 0 && starved == GetCurrentThreadId()) {
        const int index = refusals.fetch_add(1);
        if (index < kTimedRefusals) {
            refusedAt[index].store(std::chrono::steady_clock::now().time_since_epoch().count());
        }
        throw std::bad_alloc();
    }
    if (void* memory = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        HeapFree(GetProcessHeap(), 0, memory);
    }
}
void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}

TEST_F(ReceiveWorkerTest, ThreadCarriesOnAfterPassesThatRanOutOfMemory) {
    runWithMainWindow([this](HWND window) {
        DWORD id = 0;
        const HANDLE thread = CreateThread(nullptr, 0, ReceiveWorker, window, 0, &id);
        ASSERT_NE(thread, nullptr);
        // Half a line is read and held when the passes start failing.
        ASSERT_EQ(instrument.write("HALF"), PortError::None);
        ASSERT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == 0; }));

        // Every pass needs memory for its queue of lines: each one now fails, and the thread
        // must pause after each and try again.
        refusals.store(0);
        starvedThread.store(id);
        const bool triedAgain = waitUntil([] { return refusals.load() >= kTimedRefusals; });
        starvedThread.store(0);
        EXPECT_TRUE(triedAgain) << "the thread gave up after " << refusals.load() << " passes";
        if (triedAgain) {
            // Two pauses of 100 ms lie between the first and the third failed pass.
            const std::chrono::steady_clock::duration between(refusedAt[kTimedRefusals - 1] -
                                                              refusedAt[0]);
            EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(between).count(), 150)
                << "no pause between failed passes";
        }

        // A failed pass may have lost bytes it took, so the held half and the text up to the
        // next CR are dropped rather than joined into a line that was never sent.
        ASSERT_EQ(instrument.write("LOST\r\nafter\r\n"), PortError::None);
        EXPECT_TRUE(waitForCount(window, 2));
        EXPECT_TRUE(waitUntil([&] { return waiting(InstrumentPort) == 0; }));
        EXPECT_EQ(entriesFrom(window, 1), Entries{"==> after"});
        EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));

        StopFlag.store(1);
        EXPECT_EQ(WaitForSingleObject(thread, kDeadlineMs), WAIT_OBJECT_0);
        CloseHandle(thread);
    });
}
