// Style rules of the dialog layer: how a requested dialog or control style becomes the final one.
#include "ui/DialogStyles.h"

#include "ui/WinConstants.h"

namespace {
struct KindRules {
    ControlKind kind;
    const char* className;
    uint32_t defaultStyle;
    uint32_t forcedBits;
    uint32_t clearedBits;
};

constexpr KindRules kKindRules[] = {
    {ControlKind::PushButton, "BUTTON", 0x50010000, 0x50000000, 0},
    {ControlKind::CheckBox, "BUTTON", 0x50010003, 0x50000003, 0xA7FC00CC},
    {ControlKind::Label, "STATIC", 0x50000000, 0x50000000, 0},
    {ControlKind::TextBox, "EDIT", 0x50810080, 0x50000000, 0},
    {ControlKind::ListBox, "LISTBOX", 0x50A10003, 0x50000001, 0},
};

const KindRules* rulesFor(ControlKind kind) {
    for (const KindRules& rules : kKindRules) {
        if (rules.kind == kind) {
            return &rules;
        }
    }
    return nullptr;
}
} // namespace

const char* controlClassName(ControlKind kind) {
    const KindRules* rules = rulesFor(kind);
    return rules ? rules->className : nullptr;
}

ControlStyle controlStyle(ControlKind kind, uint32_t requestedStyle, uint32_t requestedExStyle) {
    const KindRules* rules = rulesFor(kind);
    if (!rules) {
        return {requestedStyle, requestedExStyle};
    }
    ControlStyle result{requestedStyle, requestedExStyle};
    if (requestedStyle == 0) {
        result.style = rules->defaultStyle;
        if (kind == ControlKind::TextBox || kind == ControlKind::ListBox) {
            result.style &= ~winconst::WsBorder;
            result.exStyle |= winconst::WsExClientEdge;
        }
    }
    result.style = (result.style | rules->forcedBits) & ~rules->clearedBits;
    return result;
}

uint32_t dialogStyle(uint32_t requestedStyle, bool centred) {
    using namespace winconst;
    uint32_t style =
        requestedStyle != 0
            ? requestedStyle
            : (WsPopup | WsCaption | DsModalFrame | DsSetFont | DsNoFailCreate | Ds3dLook);
    style |= DsSetFont | DsNoFailCreate | Ds3dLook;
    style &= ~(WsVisible | DsSysModal);
    if (centred) {
        style |= DsCenter;
    }
    return style;
}
