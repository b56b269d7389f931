// Cuts received bytes into lines: every LF is dropped, every CR ends one line.
#include "serial/LineCutter.h"

std::vector<std::string> LineCutter::feed(const std::string& chunk) {
    std::vector<std::string> lines;
    for (char byte : chunk) {
        if (byte == '\n') {
            continue;
        }
        if (skipping_) {
            skipping_ = byte != '\r';
            continue;
        }
        if (byte == '\r') {
            lines.push_back(std::move(pending_));
            pending_.clear();
            continue;
        }
        // Text is cut only once it runs past the cap, so a line that fills the cap and then
        // ends in CR is still listed once.
        if (pending_.size() >= maxPending_) {
            lines.push_back(std::move(pending_));
            pending_.clear();
        }
        pending_.push_back(byte);
    }
    return lines;
}
