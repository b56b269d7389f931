// Cuts bytes received by the simulated instrument into command lines.
#include "instrument/LineFramer.h"

#include <utility>

std::vector<std::string> LineFramer::feed(const std::string& bytes) {
    std::vector<std::string> lines;
    for (char byte : bytes) {
        if (byte == '\n') {
            continue;
        }
        if (byte == '\r') {
            lines.push_back(std::move(pending_));
            pending_.clear();
            continue;
        }
        pending_.push_back(byte);
        if (pending_.size() >= kMaxLine) {
            lines.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return lines;
}
