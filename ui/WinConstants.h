// Window style and message numbers used by the pure (Windows-independent) layout code.
// They carry the values of the Windows headers so the same code builds on the host.
#pragma once

#include <cstdint>

namespace winconst {
constexpr uint32_t WsPopup = 0x80000000;
constexpr uint32_t WsChild = 0x40000000;
constexpr uint32_t WsMinimize = 0x20000000;
constexpr uint32_t WsVisible = 0x10000000;
constexpr uint32_t WsMaximize = 0x01000000;
constexpr uint32_t WsCaption = 0x00C00000;
constexpr uint32_t WsBorder = 0x00800000;
constexpr uint32_t WsVscroll = 0x00200000;
constexpr uint32_t WsSysmenu = 0x00080000;
constexpr uint32_t WsGroup = 0x00020000;
constexpr uint32_t WsTabstop = 0x00010000;
constexpr uint32_t WsExClientEdge = 0x00000200;

constexpr uint32_t DsSysModal = 0x00000002;
constexpr uint32_t DsSetFont = 0x00000040;
constexpr uint32_t DsModalFrame = 0x00000080;
constexpr uint32_t DsNoFailCreate = 0x00000010;
constexpr uint32_t Ds3dLook = 0x00000004;
constexpr uint32_t DsCenter = 0x00000800;

constexpr uint32_t EsAutoHScroll = 0x00000080;
constexpr uint32_t BsPushButton = 0x00000000;
constexpr uint32_t BsDefPushButton = 0x00000001;
constexpr uint32_t SsLeft = 0x00000000;

// Predefined window class atoms in dialog templates.
constexpr uint16_t ButtonAtom = 0x0080;
constexpr uint16_t EditAtom = 0x0081;
constexpr uint16_t StaticAtom = 0x0082;
} // namespace winconst
