// The serial link to the instrument: open at 9600 8N1, count waiting bytes, read, write, close.
#include "serial/SerialPort.h"

#include <new>

#include "serial/DevicePath.h"
#include "serial/LineSettings.h"

namespace {
// Runs one system call with critical-error and open-file boxes suppressed, so a missing device
// or a removed adapter never puts up a system dialog; the previous mode is restored after it.
template <class Call> auto quietly(Call&& call) {
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    auto result = call();
    SetErrorMode(previous);
    return result;
}

// One setting step: read the port's DCB, change some fields, write it back. A refused step
// leaves the line as it was; its error is dropped by the caller, as the open goes on.
template <class Change> PortErrorNumber changeLineSettings(HANDLE port, Change&& change) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!quietly([&] { return GetCommState(port, &dcb); })) {
        return PortError::SystemCall;
    }
    change(dcb);
    if (!quietly([&] { return SetCommState(port, &dcb); })) {
        return PortError::SettingRefused;
    }
    return PortError::None;
}

// A receive queue that holds over a minute of 9600-baud traffic while the display is busy.
constexpr DWORD kReceiveQueueBytes = 65536;

PortErrorNumber requestQueueSizes(HANDLE port) {
    COMMPROP properties{};
    properties.wPacketLength = sizeof(properties);
    if (!quietly([&] { return GetCommProperties(port, &properties); })) {
        return PortError::SystemCall;
    }
    if (!quietly(
            [&] { return SetupComm(port, kReceiveQueueBytes, properties.dwCurrentTxQueue); })) {
        return PortError::SettingRefused;
    }
    return PortError::None;
}

// Drivers commonly hold zero timeouts, under which a write waits until every byte is out: with
// flow control holding the line, a send would then never return. Reads return at once with
// what is queued (all the callers ask for); a write gives up after 3 s plus 2 ms a byte.
PortErrorNumber setTimeouts(HANDLE port) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 2;
    timeouts.WriteTotalTimeoutConstant = 3000;
    if (!quietly([&] { return SetCommTimeouts(port, &timeouts); })) {
        return PortError::SettingRefused;
    }
    return PortError::None;
}
} // namespace

PortSystemCalls PortSystem = {CreateFileA, ClearCommError};

void applyLineSettings(HANDLE port, const LineSettings::Step* steps, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        changeLineSettings(port, steps[i]);
    }
}

PortResult<bool> SerialPort::open(const std::string& portText) {
    const std::string path = devicePath(portText);
    if (hasWildcard(path)) {
        return {false, PortError::BadName};
    }
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    UniqueHandle port(quietly([&] {
        return PortSystem.createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }));
    if (!port) {
        return {false, PortError::IoFailed};
    }
    // A COM name can be redirected to a file; a disk file is no serial line.
    if (quietly([&] { return GetFileType(port.get()); }) == FILE_TYPE_DISK) {
        return {false, PortError::IoFailed};
    }
    handle_ = std::move(port);

    const HANDLE line = handle_.get();
    applyLineSettings(line, LineSettings::kSteps.data(), LineSettings::kSteps.size());
    requestQueueSizes(line);
    setTimeouts(line);
    return {true, PortError::None};
}

PortResult<uint32_t> SerialPort::bytesWaiting() {
    if (!handle_) {
        return {0, PortError::NotOpen};
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!quietly([&] { return PortSystem.clearCommError(handle_.get(), &errors, &status); })) {
        return {0, PortError::SystemCall};
    }
    if (errors & LineErrorMask) {
        return {0, PortError::LineError};
    }
    return {status.cbInQue, PortError::None};
}

PortResult<std::string> SerialPort::read(uint32_t count) {
    if (!handle_) {
        return {{}, PortError::NotOpen};
    }
    if (count == 0) {
        return {{}, PortError::None};
    }
    std::string buffer;
    try {
        buffer.resize(count);
    } catch (const std::exception&) {
        return {{}, PortError::OutOfMemory};
    }
    DWORD got = 0;
    if (!quietly([&] { return ReadFile(handle_.get(), &buffer[0], count, &got, nullptr); })) {
        return {{}, PortError::IoFailed};
    }
    buffer.resize(got);
    return {std::move(buffer), PortError::None};
}

PortErrorNumber SerialPort::write(const std::string& bytes) {
    if (!handle_) {
        return PortError::NotOpen;
    }
    const DWORD length = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!quietly(
            [&] { return WriteFile(handle_.get(), bytes.data(), length, &written, nullptr); }) ||
        written != length) {
        return PortError::IoFailed;
    }
    return PortError::None;
}

PortErrorNumber SerialPort::close() {
    if (!handle_) {
        return PortError::None;
    }
    const HANDLE port = handle_.release();
    if (!quietly([&] { return CloseHandle(port); })) {
        return PortError::SystemCall;
    }
    return PortError::None;
}
