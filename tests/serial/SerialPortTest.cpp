// Serial port operations against Wine's serial layer and a null-modem pty pair.
#include "serial/SerialPort.h"

#include <gtest/gtest.h>

TEST(SerialPortClosed, OperationsReportNotOpen) {
    SerialPort port;
    EXPECT_EQ(port.bytesWaiting().error, PortError::NotOpen);
    EXPECT_EQ(port.read(4).error, PortError::NotOpen);
    EXPECT_EQ(port.write("x"), PortError::NotOpen);
    EXPECT_EQ(port.close(), PortError::None);
    EXPECT_EQ(port.close(), PortError::None);
}
