// Copies entries of the traffic list to the clipboard, as CF_TEXT.
#pragma once

#include <windows.h>

namespace TrafficCopy {
// Entry `index`, without a line end. Returns false, leaving the clipboard alone, when the index
// names no entry or the clipboard could not be had (then it beeps).
bool copyEntry(HWND dialog, int listId, LRESULT index);

// The selected entry, without a line end. Returns false, leaving the clipboard alone, when
// nothing is selected or the clipboard could not be had (then it beeps).
bool copySelected(HWND dialog, int listId);

// Every entry in order, each followed by CR LF. Returns false, with a beep, when the clipboard
// could not be had or the text did not fit in memory.
bool copyAll(HWND dialog, int listId);
} // namespace TrafficCopy
