// Little-endian byte writer for in-memory dialog templates.
#include "ui/TemplateWriter.h"

void TemplateWriter::write(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void TemplateWriter::write32(uint32_t value) {
    write(static_cast<uint16_t>(value & 0xFFFF));
    write(static_cast<uint16_t>(value >> 16));
}

void TemplateWriter::writeByte(uint8_t value) {
    bytes_.push_back(value);
}

void TemplateWriter::writeString(const std::string& text, size_t maxChars) {
    for (size_t i = 0; i < text.size() && i < maxChars && text[i] != '\0'; ++i) {
        write(static_cast<unsigned char>(text[i]));
    }
    write(0);
}

void TemplateWriter::alignToDword() {
    while (bytes_.size() % 4 != 0) {
        bytes_.push_back(0);
    }
}
