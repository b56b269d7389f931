// Device path of the serial port from the operator's text.
#include "serial/DevicePath.h"

std::string devicePath(const std::string& portText) {
    constexpr size_t kMaxPath = 255;
    std::string path = "\\\\.\\COM" + portText;
    if (path.size() > kMaxPath) {
        path.resize(kMaxPath);
    }
    return path;
}

bool hasWildcard(const std::string& path) {
    return path.find_first_of("*?") != std::string::npos;
}
