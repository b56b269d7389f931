// The main window: traffic list, entry line, Send Text and Quit buttons, local-echo check box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace MainWindowIds {
constexpr int TrafficList = 101;
constexpr int TextToSend = 102;
constexpr int SendText = 103;
constexpr int Quit = 106;
constexpr int DisableEcho = 107;
constexpr int Unaddressed = -1;
} // namespace MainWindowIds

// Builds the window, hidden, captioned with the product title and the port. Returns its
// handle (0 if it could not be created).
HWND buildMainWindow(const std::string& portText);

// The window's own handler: puts the focus in the entry line when the window starts; answers 0
// to everything so the layer's defaults always follow.
int32_t MainWindowHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Keys of the traffic list: Ctrl+C (and Ctrl+Insert) copy the selected entry; the Menu key and
// Shift+F10 open the list's menu.
int32_t TrafficListKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Keys of the entry line: Up and Down walk through the lines sent before.
int32_t EntryLineKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Send took `line` from the entry line: kept for Up and Down, and the walk starts from it.
void rememberSentLine(const std::string& line);

// "&Quit": ends the window with value 0.
int32_t QuitHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
