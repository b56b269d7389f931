// The text that copying from the traffic list puts on the clipboard.
#include "ui/CopyText.h"

std::string copiedEntry(const std::string& entry) {
    return entry.substr(0, entry.find('\0'));
}

std::string copiedEntries(const std::vector<std::string>& entries) {
    size_t size = 0;
    for (const std::string& entry : entries) {
        size += entry.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const std::string& entry : entries) {
        text.append(entry, 0, entry.find('\0'));
        text += "\r\n";
    }
    return text;
}
