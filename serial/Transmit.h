// Transmit path of the "Send Text" button: send the entry line with CR LF and list it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Command handler of the Send Text button (also run by Enter). Always answers 1.
int32_t SendTextHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes the text, then CR LF. Returns 0 when both writes went out, non-zero otherwise.
int32_t TransmitLine(const std::string& text);
