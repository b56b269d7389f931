// The append-only list of traffic lines in the main window.
#pragma once

#include <windows.h>

namespace TrafficList {
// Adds `line` (prefix and payload) at the end of the list and selects it, which scrolls it into
// view. Callable from any thread: from another thread each step is a synchronous request that
// the window's thread carries out. A window that no longer exists makes it a no-op.
void append(HWND window, int listId, const char* line);
} // namespace TrafficList
