// The text that copying from the traffic list puts on the clipboard.
#pragma once

#include <cstddef>
#include <string>

// One entry as the list shows it: up to its first NUL, with no line end.
std::string copiedEntry(const std::string& entry);

// Appends one entry of Copy All, as the list shows it (up to its first NUL), and CR LF after it.
void appendCopiedLine(std::string& text, const char* entry, size_t length);
