// Cuts bytes received by the simulated instrument into command lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// CR ends a line and every LF is ignored, so CR LF, LF CR and a lone CR each end exactly one
// line. Text without a CR is listed as a line once it reaches kMaxLine bytes, to bound memory.
class LineFramer {
  public:
    static constexpr size_t kMaxLine = 65536;

    // Appends received bytes and returns the lines they completed, without their line ends.
    std::vector<std::string> feed(const std::string& bytes);

    // Text received since the last completed line.
    const std::string& pending() const { return pending_; }

  private:
    std::string pending_;
};
