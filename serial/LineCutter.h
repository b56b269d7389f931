// Cuts received bytes into lines: every LF is dropped, every CR ends one line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class LineCutter {
  public:
    // Text without a CR is listed as one line once it reaches this length, so the
    // accumulator stays bounded and nothing is dropped.
    static constexpr size_t kMaxPending = 65536;

    // Appends a chunk and returns the lines it completed, in order, without their CR.
    std::vector<std::string> feed(const std::string& chunk);

    // Text received since the last completed line (never holds CR or LF).
    const std::string& pending() const { return pending_; }

  private:
    std::string pending_;
};
