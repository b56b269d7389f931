// Process-wide values of the serial link, shared by the main thread and the receive thread.
#include "serial/LinkState.h"

SerialPort InstrumentPort;
std::atomic<int32_t> StopFlag{0};
std::atomic<int32_t> TransmitBusyFlag{0};
