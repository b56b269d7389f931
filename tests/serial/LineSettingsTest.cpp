// Setting steps of the open: each changes its own fields of a DCB and leaves every other field.
#include "serial/LineSettings.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// A DCB with every field away from what the steps set and from zero, so that any field a step
// sets or clears shows: even parity, 7 data bits, two stop bits, parity checked, every kind of
// flow control on, odd characters and limits, the reserved fields filled.
DCB distinctive() {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = CBR_1200;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fNull = TRUE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = TRUE;
    dcb.fDummy2 = 0x15A5A;
    dcb.wReserved = 0x0102;
    dcb.XonLim = 1234;
    dcb.XoffLim = 4321;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x05;
    dcb.XoffChar = 0x06;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '#';
    dcb.wReserved1 = 0x0304;
    return dcb;
}

// Field by field, so a failure names the field.
void expectSameFields(const DCB& expected, const DCB& actual) {
    EXPECT_EQ(actual.DCBlength, expected.DCBlength);
    EXPECT_EQ(actual.BaudRate, expected.BaudRate);
    EXPECT_EQ(actual.fBinary, expected.fBinary);
    EXPECT_EQ(actual.fParity, expected.fParity);
    EXPECT_EQ(actual.fOutxCtsFlow, expected.fOutxCtsFlow);
    EXPECT_EQ(actual.fOutxDsrFlow, expected.fOutxDsrFlow);
    EXPECT_EQ(actual.fDtrControl, expected.fDtrControl);
    EXPECT_EQ(actual.fDsrSensitivity, expected.fDsrSensitivity);
    EXPECT_EQ(actual.fTXContinueOnXoff, expected.fTXContinueOnXoff);
    EXPECT_EQ(actual.fOutX, expected.fOutX);
    EXPECT_EQ(actual.fInX, expected.fInX);
    EXPECT_EQ(actual.fErrorChar, expected.fErrorChar);
    EXPECT_EQ(actual.fNull, expected.fNull);
    EXPECT_EQ(actual.fRtsControl, expected.fRtsControl);
    EXPECT_EQ(actual.fAbortOnError, expected.fAbortOnError);
    EXPECT_EQ(actual.fDummy2, expected.fDummy2);
    EXPECT_EQ(actual.wReserved, expected.wReserved);
    EXPECT_EQ(actual.XonLim, expected.XonLim);
    EXPECT_EQ(actual.XoffLim, expected.XoffLim);
    EXPECT_EQ(actual.ByteSize, expected.ByteSize);
    EXPECT_EQ(actual.Parity, expected.Parity);
    EXPECT_EQ(actual.StopBits, expected.StopBits);
    EXPECT_EQ(actual.XonChar, expected.XonChar);
    EXPECT_EQ(actual.XoffChar, expected.XoffChar);
    EXPECT_EQ(actual.ErrorChar, expected.ErrorChar);
    EXPECT_EQ(actual.EofChar, expected.EofChar);
    EXPECT_EQ(actual.EvtChar, expected.EvtChar);
    EXPECT_EQ(actual.wReserved1, expected.wReserved1);
}
} // namespace

// A pty keeps only 8 data bits and no parity, so the port tests cannot show what the steps ask
// for there; the steps are checked on a DCB instead.
TEST(LineSettings, EachStepSetsOnlyItsOwnFields) {
    DCB speed = distinctive();
    speed.BaudRate = CBR_9600;

    DCB eightNoneOne = distinctive();
    eightNoneOne.ByteSize = 8;
    eightNoneOne.StopBits = ONESTOPBIT;
    eightNoneOne.Parity = NOPARITY;
    eightNoneOne.fParity = FALSE;

    DCB noParityCheck = distinctive();
    noParityCheck.fParity = FALSE;

    DCB oneStopBit = distinctive();
    oneStopBit.StopBits = ONESTOPBIT;

    const DCB expected[] = {speed, eightNoneOne, noParityCheck, oneStopBit};
    static_assert(sizeof(expected) / sizeof(expected[0]) == LineSettings::kSteps.size(),
                  "one expected DCB for each step");
    for (size_t i = 0; i < LineSettings::kSteps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        DCB dcb = distinctive();
        LineSettings::kSteps[i](dcb);
        expectSameFields(expected[i], dcb);
    }
}
