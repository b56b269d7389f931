// The line settings the open applies to the port's DCB, one small step at a time.
#pragma once

#include <windows.h>

#include <array>

namespace LineSettings {

// One step: changes a few fields of a DCB read from the port and leaves every other field.
using Step = void (*)(DCB& dcb);

void setSpeed(DCB& dcb);         // 9600 baud
void setEightNoneOne(DCB& dcb);  // 8 data bits, no parity (not checked), one stop bit
void clearParityCheck(DCB& dcb); // parity not checked
void setOneStopBit(DCB& dcb);    // one stop bit

// The steps in the order the open applies them, each read from the port, changed and written
// back on its own, so that a setting the driver refuses does not keep the others off the line.
// The last two repeat parts of the second for drivers that refuse it as a whole.
constexpr std::array<Step, 4> kSteps = {setSpeed, setEightNoneOne, clearParityCheck, setOneStopBit};

} // namespace LineSettings
