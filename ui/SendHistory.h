// The lines sent from the entry line, walked with Up and Down as a shell walks its history.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Keeps the newest sent lines, oldest first, and where the operator's walk through them stands.
// The walk stands either on a kept line or after the newest, where the draft is: the text the
// box held before the walk began. Memory only; nothing survives the program.
class SendHistory {
  public:
    static constexpr size_t kCapacity = 100;

    // Send took `line` from the box. A non-empty line is kept unless it equals the newest; the
    // box still shows it, so the walk stands on it and it is also the draft.
    void sent(const std::string& line);

    // The operator changed the box's text: it becomes the draft and the walk moves after the
    // newest line.
    void edited(const std::string& text);

    // Up: the text to show, or nothing when the walk is at the oldest line already.
    std::optional<std::string> older();

    // Down: the text to show, or nothing when the walk is at the draft already.
    std::optional<std::string> newer();

  private:
    std::vector<std::string> lines_;
    size_t position_ = 0; // index into lines_; lines_.size() stands for the draft
    std::string draft_;
};
