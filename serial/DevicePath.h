// Device path of the serial port from the operator's text.
#pragma once

#include <string>

// "\\.\COM" followed by the text exactly as typed, cut to 255 characters.
std::string devicePath(const std::string& portText);

// True when the path holds a wildcard character ("*" or "?"), which no device name may contain.
bool hasWildcard(const std::string& path);
