// Cuts received bytes into lines: every LF is dropped, every CR ends one line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class LineCutter {
  public:
    // Most text held while no CR comes. Text that runs past it is listed in pieces of this
    // length, so the accumulator stays bounded and nothing is dropped; a line that ends in CR
    // within it is listed whole.
    static constexpr size_t kMaxPending = 65536;

    // A smaller cap is for the fuzz target, whose short inputs then reach it.
    explicit LineCutter(size_t maxPending = kMaxPending) : maxPending_(maxPending) {}

    // Appends a chunk and returns the lines it completed, in order, without their CR.
    std::vector<std::string> feed(const std::string& chunk);

    // Text received since the last completed line (never holds CR or LF).
    const std::string& pending() const { return pending_; }

    // After a pass that failed part-way, bytes it had taken may be lost: the pending text and
    // whatever comes before the next CR could join into a line that was never sent. Both are
    // dropped; the text after that CR is cut as usual.
    void dropUntilLineEnd() noexcept {
        pending_.clear();
        skipping_ = true;
    }

  private:
    size_t maxPending_;
    std::string pending_;
    bool skipping_ = false;
};
