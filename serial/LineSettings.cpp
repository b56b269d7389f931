// The line settings the open applies to the port's DCB, one small step at a time.
#include "serial/LineSettings.h"

namespace LineSettings {

void setSpeed(DCB& dcb) {
    dcb.BaudRate = CBR_9600;
}

void setEightNoneOne(DCB& dcb) {
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
}

void clearParityCheck(DCB& dcb) {
    dcb.fParity = FALSE;
}

void setOneStopBit(DCB& dcb) {
    dcb.StopBits = ONESTOPBIT;
}

} // namespace LineSettings
