// The lines sent from the entry line, walked with Up and Down as a shell walks its history.
#include "ui/SendHistory.h"

void SendHistory::sent(const std::string& line) {
    draft_ = line;
    if (line.empty()) {
        position_ = lines_.size();
        return;
    }
    if (lines_.empty() || lines_.back() != line) {
        if (lines_.size() == kCapacity) {
            lines_.erase(lines_.begin());
        }
        lines_.push_back(line);
    }
    position_ = lines_.size() - 1;
}

void SendHistory::edited(const std::string& text) {
    draft_ = text;
    position_ = lines_.size();
}

std::optional<std::string> SendHistory::older() {
    if (position_ == 0) {
        return std::nullopt;
    }
    --position_;
    return lines_[position_];
}

std::optional<std::string> SendHistory::newer() {
    if (position_ >= lines_.size()) {
        return std::nullopt;
    }
    ++position_;
    return position_ == lines_.size() ? draft_ : lines_[position_];
}
