// Process-wide values of the serial link, shared by the main thread and the receive thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "serial/SerialPort.h"

// The one port of the process. Opened, drained and closed by the main thread; counted and read
// by the receive thread; written by the transmit path on the main thread.
extern SerialPort InstrumentPort;

// 0 while the main window exists; the main thread sets it to 1 once, after the window is gone.
// Read by the receive thread, which ends when it sees 1.
extern std::atomic<int32_t> StopFlag;

// 1 while the transmit path is sending (main thread writes it); the receive thread starts no
// read meanwhile. A check, not a lock.
extern std::atomic<int32_t> TransmitBusyFlag;
