// Little-endian byte writer for in-memory dialog templates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TemplateWriter {
  public:
    void write(uint16_t value);
    void write32(uint32_t value);
    void writeByte(uint8_t value);
    // Writes a NUL-terminated UTF-16 string. Each byte of `text` becomes one character with
    // no code-page conversion; the text ends at its first NUL byte and after `maxChars`.
    void writeString(const std::string& text, size_t maxChars = SIZE_MAX);
    // Pads with zero bytes to the next multiple of four from the start of the template.
    void alignToDword();

    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};
