// Cuts received bytes into lines: every LF is dropped, every CR ends one line.
#include "serial/LineCutter.h"

std::vector<std::string> LineCutter::feed(const std::string& chunk) {
    std::vector<std::string> lines;
    for (char byte : chunk) {
        if (byte == '\n') {
            continue;
        }
        if (byte == '\r') {
            lines.push_back(std::move(pending_));
            pending_.clear();
            continue;
        }
        pending_.push_back(byte);
        if (pending_.size() >= kMaxPending) {
            lines.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return lines;
}
