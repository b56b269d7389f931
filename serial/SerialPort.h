// The serial link to the instrument: open at 9600 8N1, count waiting bytes, read, write, close.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "serial/LineSettings.h"
#include "serial/UniqueHandle.h"

using PortErrorNumber = int32_t;

namespace PortError {
constexpr PortErrorNumber None = 0;
constexpr PortErrorNumber SystemCall = 1; // a system call the other numbers do not name failed
constexpr PortErrorNumber SettingRefused = 5;
constexpr PortErrorNumber OutOfMemory = 7;
constexpr PortErrorNumber NotOpen = 52;
constexpr PortErrorNumber LineError = 57;
constexpr PortErrorNumber BadName = 64;
constexpr PortErrorNumber IoFailed = 69;
} // namespace PortError

// Error bits of ClearCommError that make a count query report a line error:
// CE_RXOVER, CE_OVERRUN, CE_FRAME, CE_TXFULL and CE_IOE. Parity errors and breaks alone do not.
constexpr DWORD LineErrorMask = 0x050B;

// A port operation's result together with its error number.
template <class T> struct PortResult {
    T value;
    PortErrorNumber error;
};

// The system calls by which the port opens the device and checks the line, called unchanged.
// Tests may put stand-ins here (restoring the real ones after) to see the share mode asked for,
// or to report line errors that a pty never raises.
struct PortSystemCalls {
    decltype(&CreateFileA) createFile;
    decltype(&ClearCommError) clearCommError;
};
extern PortSystemCalls PortSystem;

// Applies line-setting steps in order, each reading the port's DCB afresh, changing it and
// writing it back, so that a step the driver refuses keeps neither its own fields nor the
// others' off the line; the steps after a refused one still run. Exposed for tests.
void applyLineSettings(HANDLE port, const LineSettings::Step* steps, size_t count);

// Synchronous serial port. No operation takes a lock: the receive thread counts and reads while
// the main thread writes, and callers keep close() from overlapping any other operation.
class SerialPort {
  public:
    // Opens "\\.\COM" + portText and sets 9600 baud, 8 data bits, no parity, one stop bit, a
    // 64 KiB receive queue and timeouts under which reads return at once and writes cannot block
    // for ever. A port whose settings were refused still counts as open.
    PortResult<bool> open(const std::string& portText);

    // Number of bytes in the driver's receive queue; 0 with LineError after a line error,
    // which the query also clears.
    PortResult<uint32_t> bytesWaiting();

    // One read of at most `count` bytes; a short read is not an error.
    PortResult<std::string> read(uint32_t count);

    // One write of the whole text; a short write is IoFailed.
    PortErrorNumber write(const std::string& bytes);

    PortErrorNumber close();

    bool isOpen() const { return static_cast<bool>(handle_); }

  private:
    UniqueHandle handle_;
};
