// Style rules of the dialog layer: how a requested dialog or control style becomes the final one.
#pragma once

#include <cstdint>

// The control kinds the program creates; the numbers are the program's own kind codes.
enum class ControlKind : int32_t {
    PushButton = 1,
    CheckBox = 3,
    Label = 5,
    TextBox = 9,
    ListBox = 23,
};

// Given as x or y of a dialog, asks for a dialog centred in the work area.
constexpr int32_t CentreSentinel = static_cast<int32_t>(0x80000000u);

struct ControlStyle {
    uint32_t style;
    uint32_t exStyle;
};

// Window class of a control kind ("BUTTON", "STATIC", "EDIT", "LISTBOX"); nullptr if unknown.
const char* controlClassName(ControlKind kind);

// A requested style of 0 takes the kind's default; the kind's forced bits are then added and its
// cleared bits removed. Only a default TextBox or ListBox trades WS_BORDER for a client edge.
ControlStyle controlStyle(ControlKind kind, uint32_t requestedStyle, uint32_t requestedExStyle);

// Final template style of a dialog: 0 takes the default captioned modal frame; the font, no-fail
// and 3D bits are always added; WS_VISIBLE and DS_SYSMODAL are always removed (the dialog is
// created hidden); a centred dialog gets DS_CENTER.
uint32_t dialogStyle(uint32_t requestedStyle, bool centred);
