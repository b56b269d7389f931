// Life of the process: ask for the port, open it, run the main window, shut down.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The operator's answer to the port prompt, exactly as typed. Written once by AppMain.
extern std::string PortText;

// "Norvex Quarl-7 Terminal Program." with the version, padded with the blanks the caption uses.
extern const char* const ProductTitle;

// Returns the exit code: 0 when the port failed to open, 1 after a normal run.
int32_t AppMain();

// MessageBoxA, called unchanged; a test may put a stand-in here to see what the box is given.
extern decltype(&MessageBoxA) ShowMessageBox;

// Tells the operator that the port did not open, waits for the answer and returns 0.
int32_t StartFailure();

// Gives the receive thread a second to end, then drains and closes the port.
void ShutdownPort();
