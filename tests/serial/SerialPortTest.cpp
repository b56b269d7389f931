// Serial port operations against Wine's serial layer and a null-modem pty pair.
#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "serial/UniqueHandle.h"
#include "support/TestPorts.h"
#include "support/WaitScale.h"

namespace {
template <class Condition> bool waitFor(Condition&& condition) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(testwait::kDeadlineMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

// Every handle value the process holds. Lets a test find the handle an open created without
// reaching into SerialPort, and show that a failed open left none behind.
std::set<HANDLE> processHandles() {
    std::set<HANDLE> handles;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        if (GetHandleInformation(handle, &flags)) {
            handles.insert(handle);
        }
    }
    return handles;
}

// The one communications handle among the handles that appeared since `before`.
HANDLE newCommHandle(const std::set<HANDLE>& before) {
    HANDLE found = nullptr;
    for (HANDLE handle : processHandles()) {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!before.count(handle) && GetCommState(handle, &dcb)) {
            EXPECT_EQ(found, nullptr) << "the open created more than one port handle";
            found = handle;
        }
    }
    return found;
}

// A second handle on the same device, for setting up and reading back the line from outside
// the SerialPort under test (Wine shares one pty among all openers).
HANDLE openRaw(const std::string& number) {
    const std::string path = "\\\\.\\COM" + number;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

DCB lineSettings(HANDLE handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    EXPECT_TRUE(GetCommState(handle, &dcb)) << GetLastError();
    return dcb;
}

std::string allByteValues() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// Reads until `count` bytes have come or the deadline passes; returns what came.
std::string readExactly(SerialPort& port, size_t count) {
    std::string got;
    waitFor([&] {
        const auto waiting = port.bytesWaiting();
        if (waiting.error == PortError::None && waiting.value > 0) {
            got += port.read(static_cast<uint32_t>(
                                 std::min<size_t>(waiting.value, count - got.size())))
                       .value;
        }
        return got.size() >= count;
    });
    return got;
}

// Reads from `port` until `marker` has arrived, dropping everything before it. Stale bytes from
// an earlier test or process are queued ahead of the marker, so this empties the line.
bool readThrough(SerialPort& port, const std::string& marker) {
    std::string tail;
    return waitFor([&] {
        const auto waiting = port.bytesWaiting();
        if (waiting.error != PortError::None) {
            return false;
        }
        if (waiting.value > 0) {
            tail += port.read(waiting.value).value;
        }
        if (tail.find(marker) != std::string::npos) {
            return true;
        }
        if (tail.size() > marker.size()) {
            tail.erase(0, tail.size() - marker.size());
        }
        return false;
    });
}
} // namespace

namespace {
// Puts a stand-in into one slot of PortSystem for a scope and the real call back after it.
template <class Call> class StandIn {
  public:
    StandIn(Call& slot, Call standIn) : slot_(slot), real_(slot) { slot_ = standIn; }
    ~StandIn() { slot_ = real_; }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

  private:
    Call& slot_;
    Call real_;
};

// The arguments of the last CreateFileA of the port, which is then made as asked.
DWORD askedAccess = 0;
DWORD askedShareMode = 0;
DWORD askedDisposition = 0;
DWORD askedFlags = 0;
BOOL askedInherit = FALSE;
HANDLE WINAPI recordCreateFile(LPCSTR path, DWORD access, DWORD shareMode,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE model) {
    askedAccess = access;
    askedShareMode = shareMode;
    askedDisposition = disposition;
    askedFlags = flags;
    askedInherit = security ? security->bInheritHandle : FALSE;
    return CreateFileA(path, access, shareMode, security, disposition, flags, model);
}

// Error bits the next ClearCommError reports besides the real ones: a pty raises none.
DWORD raisedErrors = 0;
BOOL WINAPI raiseErrors(HANDLE port, LPDWORD errors, LPCOMSTAT status) {
    const BOOL ok = ClearCommError(port, errors, status);
    if (ok && errors) {
        *errors |= std::exchange(raisedErrors, 0);
    }
    return ok;
}
} // namespace

TEST(SerialPortClosed, OperationsReportNotOpen) {
    SerialPort port;
    EXPECT_EQ(port.bytesWaiting().error, PortError::NotOpen);
    EXPECT_EQ(port.read(4).error, PortError::NotOpen);
    EXPECT_EQ(port.write("x"), PortError::NotOpen);
    EXPECT_EQ(port.close(), PortError::None);
    EXPECT_EQ(port.close(), PortError::None);
}

// Names that must not open. Each is checked for its error number, for leaving the port closed
// and for leaving no handle behind.
TEST(SerialPortOpen, RefusesNamesOfNoPort) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    // "0" + number and " " + number name an existing port only if the text were cleaned up,
    // which it must not be; 300 is beyond the last port.
    for (const std::string& text : {std::string(), "0" + a, " " + a, std::string("300")}) {
        SCOPED_TRACE("port text \"" + text + "\"");
        const auto before = processHandles();
        SerialPort port;
        const auto opened = port.open(text);
        EXPECT_FALSE(opened.value);
        EXPECT_EQ(opened.error, PortError::IoFailed);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(processHandles(), before);
    }
}

TEST(SerialPortOpen, RefusesWildcardsWithoutTryingTheName) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    for (const std::string& text : {std::string("*"), std::string("?"), a + "*", "?" + a}) {
        SCOPED_TRACE("port text \"" + text + "\"");
        const auto before = processHandles();
        SerialPort port;
        // A CreateFile call would set its own error; the sentinel shows no system call was made.
        SetLastError(0x5EED);
        const auto opened = port.open(text);
        EXPECT_EQ(GetLastError(), 0x5EEDu);
        EXPECT_FALSE(opened.value);
        EXPECT_EQ(opened.error, PortError::BadName);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(processHandles(), before);
    }
}

TEST(SerialPortOpen, RefusesAPortNameLinkedToADiskFile) {
    const std::string file = testports::required("QUARL_FILE_PORT");
    ASSERT_FALSE(file.empty());
    // The link itself is fine: a plain CreateFile opens it, as a disk file.
    const HANDLE raw = openRaw(file);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE) << "COM" << file << " should open as a file";
    EXPECT_EQ(GetFileType(raw), static_cast<DWORD>(FILE_TYPE_DISK));
    CloseHandle(raw);

    const auto before = processHandles();
    SerialPort port;
    const auto opened = port.open(file);
    EXPECT_FALSE(opened.value);
    EXPECT_EQ(opened.error, PortError::IoFailed);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(processHandles(), before);
}

// The line is put on 9600 baud and one stop bit whatever it held before. A pty always holds
// 8 data bits and no parity (Linux refuses other sizes and parity on it), so only the speed and
// the stop bits show here; the LineSettings tests check what the steps ask for the others.
TEST(SerialPortOpen, SetsNineSixHundredBaudAndOneStopBit) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    const HANDLE observer = openRaw(a);
    ASSERT_NE(observer, INVALID_HANDLE_VALUE) << GetLastError();
    DCB other = lineSettings(observer);
    other.BaudRate = CBR_4800;
    other.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(observer, &other)) << GetLastError();
    const DCB before = lineSettings(observer);
    ASSERT_EQ(before.BaudRate, static_cast<DWORD>(CBR_4800));
    ASSERT_EQ(before.StopBits, TWOSTOPBITS);

    const auto handles = processHandles();
    SerialPort port;
    const auto opened = port.open(a);
    ASSERT_TRUE(opened.value);
    EXPECT_EQ(opened.error, PortError::None);
    EXPECT_TRUE(port.isOpen());

    const HANDLE own = newCommHandle(handles);
    ASSERT_NE(own, nullptr);
    for (HANDLE handle : {own, observer}) {
        const DCB dcb = lineSettings(handle);
        EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_9600));
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    }
    CloseHandle(observer);
    EXPECT_EQ(port.close(), PortError::None);
}

namespace {
// Flow control and special characters in two opposite states, neither of them the driver's
// default, so that an open which resets them or sets them to fixed values shows either way.
void flowAndCharactersOn(DCB& dcb) {
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.XonChar = 0x01;
    dcb.XoffChar = 0x02;
    dcb.EofChar = 0x1A;
}
void flowOffOtherCharacters(DCB& dcb) {
    dcb.fOutxCtsFlow = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.XonChar = 0x0E;
    dcb.XoffChar = 0x0F;
    dcb.EofChar = 0x03;
}

// Compares the fields besides speed, data bits, parity and stop bits that Wine keeps on a pty.
// Wine reports fixed values for fBinary, fOutxDsrFlow, fDtrControl, fDsrSensitivity,
// fTXContinueOnXoff, fErrorChar, fNull, fRtsControl, fAbortOnError, XonLim, XoffLim, ErrorChar
// and EvtChar whatever was set, so they are left out: no change to them could show here.
void expectSameKeptFields(const DCB& expected, const DCB& actual) {
    EXPECT_EQ(actual.fOutxCtsFlow, expected.fOutxCtsFlow);
    EXPECT_EQ(actual.fOutX, expected.fOutX);
    EXPECT_EQ(actual.fInX, expected.fInX);
    EXPECT_EQ(actual.XonChar, expected.XonChar);
    EXPECT_EQ(actual.XoffChar, expected.XoffChar);
    EXPECT_EQ(actual.EofChar, expected.EofChar);
}

// Puts the line back as it was when made, so flow control set by a test cannot hold up later
// tests on the shared pair.
class LineRestorer {
  public:
    explicit LineRestorer(HANDLE handle) : handle_(handle), saved_(lineSettings(handle)) {}
    ~LineRestorer() { EXPECT_TRUE(SetCommState(handle_, &saved_)) << GetLastError(); }
    LineRestorer(const LineRestorer&) = delete;
    LineRestorer& operator=(const LineRestorer&) = delete;

  private:
    HANDLE handle_;
    DCB saved_;
};
} // namespace

// The open sets only the speed, data bits, parity (with fParity) and stop bits: flow control
// and the special characters stay as the driver has them.
TEST(SerialPortOpen, LeavesFlowControlAndCharactersAsTheyWere) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    // Owned, so that a failed assertion cannot leave the port open for the tests after it; the
    // restorer, made after it, puts the line back before it closes.
    const UniqueHandle observer(openRaw(a));
    ASSERT_TRUE(observer) << GetLastError();
    const LineRestorer restorer(observer.get());
    for (void (*state)(DCB&) : {flowAndCharactersOn, flowOffOtherCharacters}) {
        SCOPED_TRACE(state == flowAndCharactersOn ? "flow control on" : "flow control off");
        DCB wanted = lineSettings(observer.get());
        state(wanted);
        ASSERT_TRUE(SetCommState(observer.get(), &wanted)) << GetLastError();
        const DCB before = lineSettings(observer.get());
        {
            SCOPED_TRACE("the line did not take the state before the open");
            expectSameKeptFields(wanted, before);
        }

        const auto handles = processHandles();
        SerialPort port;
        ASSERT_TRUE(port.open(a).value);
        const HANDLE own = newCommHandle(handles);
        ASSERT_NE(own, nullptr);
        for (HANDLE handle : {own, observer.get()}) {
            expectSameKeptFields(before, lineSettings(handle));
        }
        EXPECT_EQ(port.close(), PortError::None);
    }
}

// Wine lets a second opener in whatever the share mode, so the open's arguments are read where
// they are passed.
TEST(SerialPortOpen, OpensThePortUnsharedForReadingAndWriting) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    const StandIn<decltype(PortSystem.createFile)> record(PortSystem.createFile, recordCreateFile);
    askedShareMode = ~0u;
    SerialPort port;
    ASSERT_TRUE(port.open(a).value);
    EXPECT_EQ(askedAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(askedShareMode, 0u);
    EXPECT_EQ(askedDisposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(askedFlags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(askedInherit);
    EXPECT_EQ(port.close(), PortError::None);
}

// The runner of the setting steps, on a step that Wine refuses on a pty (3 data bits) followed
// by ones it takes: the refused step stops none after it, and, each step read and written on its
// own, does not take their changes down with it. (Wine writes the speed before the data bits
// and stop bits, and stops at the first it refuses: the stop bits show a shared DCB.)
TEST(SerialPortOpen, ARefusedSettingStepLeavesTheOthersToTakeEffect) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    const UniqueHandle line(openRaw(a));
    ASSERT_TRUE(line) << GetLastError();
    const LineRestorer restorer(line.get());
    DCB other = lineSettings(line.get());
    other.BaudRate = CBR_4800;
    other.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(line.get(), &other)) << GetLastError();

    const LineSettings::Step steps[] = {[](DCB& dcb) { dcb.ByteSize = 3; }, LineSettings::setSpeed,
                                        LineSettings::setOneStopBit};
    applyLineSettings(line.get(), steps, sizeof(steps) / sizeof(steps[0]));
    const DCB after = lineSettings(line.get());
    EXPECT_EQ(after.ByteSize, 8) << "the line took 3 data bits: the first step shows nothing";
    EXPECT_EQ(after.BaudRate, static_cast<DWORD>(CBR_9600));
    EXPECT_EQ(after.StopBits, ONESTOPBIT);
}

// Reads return at once with what is queued; a write gives up after 3 s plus 2 ms a byte.
TEST(SerialPortOpen, SetsReadAndWriteTimeouts) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    const auto handles = processHandles();
    SerialPort port;
    ASSERT_TRUE(port.open(a).value);
    const HANDLE own = newCommHandle(handles);
    ASSERT_NE(own, nullptr);
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(own, &timeouts)) << GetLastError();
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 3000u);
    EXPECT_EQ(port.close(), PortError::None);
}

TEST(SerialPortClose, IsHarmlessTwiceAndLeavesThePortNotOpen) {
    const std::string a = testports::portA();
    ASSERT_FALSE(a.empty());
    const auto before = processHandles();
    SerialPort port;
    ASSERT_TRUE(port.open(a).value);
    EXPECT_NE(processHandles(), before);
    EXPECT_EQ(port.close(), PortError::None);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(processHandles(), before) << "close left the handle open";
    EXPECT_EQ(port.close(), PortError::None);
    EXPECT_EQ(port.bytesWaiting().error, PortError::NotOpen);
    EXPECT_EQ(port.read(1).error, PortError::NotOpen);
    EXPECT_EQ(port.write("x"), PortError::NotOpen);
    // The same object opens again after a close.
    EXPECT_TRUE(port.open(a).value);
    EXPECT_EQ(port.close(), PortError::None);
}

// Both ends of the shared null-modem pair, open and emptied of anything an earlier test or
// process left on the line.
class NullModem : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string a = testports::portA();
        const std::string b = testports::portB();
        ASSERT_FALSE(a.empty() || b.empty());
        handlesBefore_ = processHandles();
        ASSERT_TRUE(a_.open(a).value) << "COM" << a;
        aHandle_ = newCommHandle(handlesBefore_);
        ASSERT_TRUE(b_.open(b).value) << "COM" << b;
        static int round = 0;
        const std::string marker = "\x02quarl-drain-" + std::to_string(++round) + "\x03";
        ASSERT_EQ(b_.write(marker), PortError::None);
        ASSERT_TRUE(readThrough(a_, marker)) << "COM" << a << " did not drain";
        ASSERT_EQ(a_.write(marker), PortError::None);
        ASSERT_TRUE(readThrough(b_, marker)) << "COM" << b << " did not drain";
    }

    void TearDown() override {
        a_.close();
        b_.close();
    }

    // Waits until `port` reports at least `count` bytes; returns the last count it reported.
    uint32_t waitForCount(SerialPort& port, uint32_t count) {
        uint32_t last = 0;
        waitFor([&] {
            last = port.bytesWaiting().value;
            return last >= count;
        });
        return last;
    }

    SerialPort a_;
    SerialPort b_;
    HANDLE aHandle_ = nullptr;
    std::set<HANDLE> handlesBefore_;
};

TEST_F(NullModem, EveryByteValueCrossesBothWays) {
    const std::string bytes = allByteValues();
    ASSERT_EQ(a_.write(bytes), PortError::None);
    EXPECT_EQ(readExactly(b_, bytes.size()), bytes);
    ASSERT_EQ(b_.write(bytes), PortError::None);
    EXPECT_EQ(readExactly(a_, bytes.size()), bytes);
}

TEST_F(NullModem, BytesWaitingCountsExactlyWhatArrived) {
    EXPECT_EQ(a_.bytesWaiting().value, 0u);
    ASSERT_EQ(b_.write("0123456789"), PortError::None);
    const auto waiting = waitForCount(a_, 10);
    EXPECT_EQ(waiting, 10u);
    EXPECT_EQ(a_.bytesWaiting().error, PortError::None);
    ASSERT_EQ(a_.read(4).value, "0123");
    EXPECT_EQ(a_.bytesWaiting().value, 6u);
    ASSERT_EQ(b_.write("ab"), PortError::None);
    EXPECT_EQ(waitForCount(a_, 8), 8u);
    EXPECT_EQ(a_.read(8).value, "456789ab");
    EXPECT_EQ(a_.bytesWaiting().value, 0u);
}

// Each line-error bit makes one count query report LineError and 0, and the next the count
// again; parity errors and breaks alone do not. A pty raises none of them, so they are added
// to what ClearCommError reports.
TEST_F(NullModem, LineErrorsReportZeroOnceAndKeepTheBytes) {
    const StandIn<decltype(PortSystem.clearCommError)> raise(PortSystem.clearCommError,
                                                             raiseErrors);
    ASSERT_EQ(b_.write("abc"), PortError::None);
    ASSERT_EQ(waitForCount(a_, 3), 3u);
    for (DWORD bit : {CE_RXOVER, CE_OVERRUN, CE_FRAME, CE_TXFULL, CE_IOE}) {
        SCOPED_TRACE("error bit " + std::to_string(bit));
        raisedErrors = bit;
        const auto reported = a_.bytesWaiting();
        EXPECT_EQ(reported.value, 0u);
        EXPECT_EQ(reported.error, PortError::LineError);
        const auto next = a_.bytesWaiting();
        EXPECT_EQ(next.value, 3u);
        EXPECT_EQ(next.error, PortError::None);
    }
    for (DWORD bit : {CE_RXPARITY, CE_BREAK}) {
        SCOPED_TRACE("error bit " + std::to_string(bit));
        raisedErrors = bit;
        const auto reported = a_.bytesWaiting();
        EXPECT_EQ(reported.value, 3u);
        EXPECT_EQ(reported.error, PortError::None);
    }
    EXPECT_EQ(a_.read(3).value, "abc");
}

TEST_F(NullModem, ShortReadReturnsWhatIsQueued) {
    ASSERT_EQ(b_.write("hello"), PortError::None);
    ASSERT_EQ(waitForCount(a_, 5), 5u);
    const auto got = a_.read(100);
    EXPECT_EQ(got.error, PortError::None);
    EXPECT_EQ(got.value, "hello");
    // Nothing queued: the read returns at once, empty, without error.
    const auto none = a_.read(100);
    EXPECT_EQ(none.error, PortError::None);
    EXPECT_EQ(none.value, "");
}

TEST_F(NullModem, ReadOfNothingMakesNoSystemCall) {
    ASSERT_NE(aHandle_, nullptr);
    ASSERT_EQ(b_.write("xyz"), PortError::None);
    ASSERT_EQ(waitForCount(a_, 3), 3u);
    // Pull the handle away under the port: a ReadFile on it would now fail.
    ASSERT_TRUE(CloseHandle(aHandle_));
    const auto nothing = a_.read(0);
    EXPECT_EQ(nothing.error, PortError::None);
    EXPECT_EQ(nothing.value, "");
    EXPECT_EQ(a_.read(1).error, PortError::IoFailed);
    // The port still holds the closed value; its close reports the failed CloseHandle.
    EXPECT_EQ(a_.close(), PortError::SystemCall);
    EXPECT_FALSE(a_.isOpen());
}

TEST_F(NullModem, EmptyWriteSucceedsAndSendsNothing) {
    EXPECT_EQ(a_.write(""), PortError::None);
    ASSERT_EQ(a_.write("!"), PortError::None);
    EXPECT_EQ(readExactly(b_, 1), "!");
    EXPECT_EQ(b_.bytesWaiting().value, 0u);
}

// A write that the other end never drains gives up with IoFailed instead of blocking: the
// buffers along the line fill, and the write's timeout (3 s plus 2 ms a byte) then ends it.
TEST_F(NullModem, WriteToALineThatNeverDrainsGivesUp) {
    const std::string chunk(1000, 'w');
    std::atomic<bool> done{false};
    PortErrorNumber failure = PortError::None;
    int writes = 0;
    std::thread writer([&] {
        for (; writes < 20000; ++writes) {
            failure = a_.write(chunk);
            if (failure != PortError::None) {
                break;
            }
        }
        done = true;
    });
    // Each write has its own timeout; this only bounds a write that never returns at all.
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(testwait::scaledMs(120000));
    while (!done && std::chrono::steady_clock::now() < end) {
        Sleep(10);
    }
    const bool blocked = !done;
    // Free a stuck writer before judging, so the thread can be joined.
    while (!done) {
        const auto waiting = b_.bytesWaiting().value;
        b_.read(waiting > 0 ? waiting : 1);
    }
    writer.join();
    EXPECT_FALSE(blocked) << "a write blocked instead of timing out";
    EXPECT_EQ(failure, PortError::IoFailed) << "after " << writes << " writes";
    EXPECT_GT(writes, 0) << "the line should take some bytes before it fills";
}
