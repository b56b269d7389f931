// Thin layer that builds dialogs from in-memory templates, adds controls, runs the polling
// message loop and routes each message to the control's callback, then the dialog's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/DialogStyles.h"

// Handler of a dialog or a control. The first argument is always the dialog. Non-zero means
// handled; 0 passes the message on.
using DialogCallback = int32_t (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

namespace DialogLayer {
// Creates a hidden dialog of the given size in dialog units, with "MS Sans Serif" 8 points.
// x or y equal to CentreSentinel centres it in the work area. Returns 0 on failure.
HWND newDialog(HWND parent, const std::string& caption, int32_t x, int32_t y, int32_t width,
               int32_t height, uint32_t style, uint32_t exStyle);

// Loads the icon resource `name` ("#102" for identifier 102) at 32 and 16 pixels and sets
// them as the dialog's big and small icons; they are destroyed with the dialog.
void setIcon(HWND dialog, const char* name);

// Adds a control; the rectangle is in dialog units. A list box receives `initialEntries` up to
// the first empty one. A default push button becomes the dialog's default button.
void addControl(HWND dialog, ControlKind kind, int id, const std::string& text, int x, int y,
                int width, int height, uint32_t style, uint32_t exStyle, DialogCallback callback,
                const std::vector<std::string>& initialEntries = {});

// Offers the key messages (WM_KEYDOWN to WM_SYSDEADCHAR: keys and their characters) addressed to
// control `id` to `callback` before the control and the dialog's own keyboard handling see
// them; an answer other than 0 means handled, and the message goes no further. For keys that a
// control would otherwise take for itself, such as Up and Down in an edit box.
void setKeyHandler(HWND dialog, int id, DialogCallback callback);

// Calls `callback` with WM_INITDIALOG and WM_SIZE, shows the dialog and runs the message loop
// until the dialog is destroyed; returns the value given to endDialog.
INT_PTR showModal(HWND dialog, DialogCallback callback);

// Sends WM_CLOSE, stores the end value for showModal and destroys the dialog.
void endDialog(HWND dialog, INT_PTR endValue);

std::string getText(HWND dialog, int id);
// Brings the control's dialog to the foreground and gives the control the keyboard focus.
void setFocus(HWND dialog, int id);
LRESULT getCheck(HWND dialog, int id);
void listAdd(HWND dialog, int id, const char* text);
// Selects the entry counted from 1.
void listSelect(HWND dialog, int id, int entryNumber);

// Number of dialogs and controls the layer is keeping track of.
size_t trackedWindowCount();
} // namespace DialogLayer
