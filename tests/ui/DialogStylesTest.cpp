// Style rules of the dialog layer for dialogs and each control kind.
#include "ui/DialogStyles.h"

#include <gtest/gtest.h>

TEST(DialogStyle, MainWindowRequestBecomesHiddenCentredPopupWithFontBits) {
    // WS_POPUP, WS_CLIPCHILDREN, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, DS_CENTER,
    // DS_SETFONT, DS_NOFAILCREATE, DS_3DLOOK; WS_VISIBLE is gone.
    EXPECT_EQ(dialogStyle(0x92CA0000, true), 0x82CA0854u);
}

TEST(DialogStyle, ZeroTakesTheModalFrameDefault) {
    EXPECT_EQ(dialogStyle(0, false), 0x80C000D4u);
    EXPECT_EQ(dialogStyle(0, true), 0x80C008D4u);
}

TEST(DialogStyle, VisibleAndSystemModalAreAlwaysRemoved) {
    EXPECT_EQ(dialogStyle(0x10000002 | 0x80000000, false), 0x80000054u);
}

TEST(ControlStyle, ListBoxDefaultIsSortedWithClientEdgeInsteadOfBorder) {
    const ControlStyle s = controlStyle(ControlKind::ListBox, 0, 0);
    EXPECT_EQ(s.style, 0x50210003u); // WS_BORDER gone, LBS_SORT and LBS_NOTIFY kept
    EXPECT_EQ(s.exStyle, 0x200u);
}

TEST(ControlStyle, ExplicitListBoxStyleGetsNotifyAndKeepsItsPlainBorder) {
    const ControlStyle s = controlStyle(ControlKind::ListBox, 0xA31500, 0);
    EXPECT_EQ(s.style, 0x50A31501u);
    EXPECT_EQ(s.style & 0x2u, 0u) << "no LBS_SORT";
    EXPECT_EQ(s.exStyle, 0u);
}

TEST(ControlStyle, CheckBoxIsForcedToAutoCheckBoxAndLosesFrameBits) {
    EXPECT_EQ(controlStyle(ControlKind::CheckBox, 0x30023, 0).style, 0x50030023u);
    // A push-button type, a border and scroll bars are stripped; BS_LEFTTEXT survives.
    const ControlStyle odd = controlStyle(ControlKind::CheckBox, 0x00B00028 | 0x4, 0);
    EXPECT_EQ(odd.style, 0x50000023u);
}

TEST(ControlStyle, EditAndButtonsKeepExplicitStylesPlusChildVisible) {
    EXPECT_EQ(controlStyle(ControlKind::TextBox, 0x830180, 0).style, 0x50830180u);
    EXPECT_EQ(controlStyle(ControlKind::TextBox, 0, 0).style, 0x50010080u);
    EXPECT_EQ(controlStyle(ControlKind::TextBox, 0, 0).exStyle, 0x200u);
    EXPECT_EQ(controlStyle(ControlKind::PushButton, 0x30001, 0).style, 0x50030001u);
    EXPECT_EQ(controlStyle(ControlKind::Label, 0, 0).style, 0x50000000u);
    EXPECT_STREQ(controlClassName(ControlKind::CheckBox), "BUTTON");
    EXPECT_STREQ(controlClassName(ControlKind::ListBox), "LISTBOX");
}
