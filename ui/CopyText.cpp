// The text that copying from the traffic list puts on the clipboard.
#include "ui/CopyText.h"

#include <cstring>

std::string copiedEntry(const std::string& entry) {
    return entry.substr(0, entry.find('\0'));
}

void appendCopiedLine(std::string& text, const char* entry, size_t length) {
    const void* nul = std::memchr(entry, '\0', length);
    text.append(entry, nul ? static_cast<const char*>(nul) - entry : length);
    text += "\r\n";
}
