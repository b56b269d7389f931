// In-memory dialog templates: the layer's empty DLGTEMPLATEEX and the port prompt's DLGTEMPLATE.
#include "ui/DialogTemplates.h"

#include "ui/TemplateWriter.h"
#include "ui/WinConstants.h"

std::vector<uint8_t> buildLayerTemplate(uint32_t style, uint32_t exStyle, int16_t x, int16_t y,
                                        int16_t width, int16_t height) {
    TemplateWriter out;
    out.write(1);      // dlgVer
    out.write(0xFFFF); // signature: extended template
    out.write32(0);    // helpID
    out.write32(exStyle);
    out.write32(style);
    out.write(0); // no items: controls are created as child windows afterwards
    out.write(static_cast<uint16_t>(x));
    out.write(static_cast<uint16_t>(y));
    out.write(static_cast<uint16_t>(width));
    out.write(static_cast<uint16_t>(height));
    out.write(0); // no menu
    out.write(0); // predefined dialog class
    out.writeString(" ");
    out.write(8);     // point size
    out.write(400);   // weight
    out.writeByte(0); // not italic
    out.writeByte(0); // ANSI_CHARSET
    out.writeString("MS Sans Serif");
    return out.bytes();
}

namespace {
void writePromptItem(TemplateWriter& out, uint32_t style, int16_t x, int16_t y, int16_t width,
                     int16_t height, uint16_t id, uint16_t classAtom, const std::string& text,
                     size_t maxChars) {
    out.alignToDword();
    out.write32(style);
    out.write32(0); // no extended style
    out.write(static_cast<uint16_t>(x));
    out.write(static_cast<uint16_t>(y));
    out.write(static_cast<uint16_t>(width));
    out.write(static_cast<uint16_t>(height));
    out.write(id);
    out.write(0xFFFF);
    out.write(classAtom);
    out.writeString(text, maxChars);
    out.write(0); // no creation data
}
} // namespace

std::vector<uint8_t> buildPromptTemplate(const std::string& caption, const std::string& prompt,
                                         const std::string& initialText) {
    using namespace winconst;
    constexpr size_t kCaptionChars = 60;
    constexpr size_t kTextChars = 256;
    TemplateWriter out;
    out.write32(WsPopup | WsCaption | WsSysmenu | DsModalFrame | DsCenter);
    out.write32(0); // no extended style
    out.write(4);   // controls
    out.write(65);
    out.write(65);
    out.write(150);
    out.write(100);
    out.write(0); // no menu
    out.write(0); // predefined dialog class
    out.writeString(caption, kCaptionChars);
    writePromptItem(out, WsChild | WsVisible | WsBorder | WsTabstop | EsAutoHScroll, 4, 82, 140, 12,
                    PromptEditId, EditAtom, initialText, kTextChars);
    writePromptItem(out, WsChild | WsVisible | WsTabstop | BsDefPushButton, 104, 5, 40, 10, 1,
                    ButtonAtom, "OK", kTextChars);
    writePromptItem(out, WsChild | WsVisible | WsTabstop | BsPushButton, 104, 19, 40, 10, 2,
                    ButtonAtom, "Cancel", kTextChars);
    writePromptItem(out, WsChild | WsVisible | SsLeft, 5, 5, 95, 72, PromptTextId, StaticAtom,
                    prompt, kTextChars);
    return out.bytes();
}
