// The text that copying from the traffic list puts on the clipboard.
#pragma once

#include <string>
#include <vector>

// One entry as the list shows it: up to its first NUL, with no line end.
std::string copiedEntry(const std::string& entry);

// Every entry as the list shows it, in order, each followed by CR LF.
std::string copiedEntries(const std::vector<std::string>& entries);
