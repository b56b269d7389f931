// Numbered flood lines, their pacing and the count of what went out or was dropped (no I/O).
#pragma once

#include "instrument/Instrument.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Line `number` (counted from 1) of a flood with `length` bytes of text per line:
//  - the number modulo 10^8, zero-padded to 8 digits, cut to its last `length` digits when
//    `length` is below 8;
//  - then, from text position 8 on, filler letters 'A' + (number + position) % 26.
// From 8 bytes on every line carries its number, and every single changed or lost byte changes
// the filler pattern, so a receiver can check each line. Below 8 bytes the number is known only
// modulo 10^length and mainly the count of lines can be checked; at 0 a line is just CR LF.
constexpr size_t kFloodDigits = 8;
constexpr uint64_t kFloodLargestCount = 99999999;
std::string floodText(uint64_t number, size_t length);

// The number a received flood text carries (modulo 10^min(length, 8)), or nothing when it is
// not a well-formed flood text of its length (or has length 0).
std::optional<uint64_t> floodNumber(const std::string& text);

struct FloodTotals {
    uint64_t linesSent = 0;    // every byte of the line went out
    uint64_t linesDamaged = 0; // some bytes of the line were dropped
    uint64_t bytesSent = 0;
    uint64_t bytesOverrun = 0; // dropped because the pty would not take them at once
};

// The byte stream of a flood (text, CR, LF per line) and the account of each write attempt.
class FloodSender {
  public:
    FloodSender(uint64_t count, size_t length, bool lossless);

    // Up to `most` bytes to offer next.
    std::string next(size_t most) const;

    // Records that of `offered` bytes from next() the first `accepted` went out. Without
    // lossless the rest are dropped as overrun; with it they are offered again. Returns the
    // numbers of the lines whose CR went out.
    std::vector<uint64_t> commit(size_t offered, size_t accepted);

    // Bytes offered so far, including the dropped ones: what the line has carried.
    uint64_t offset() const { return offset_; }
    uint64_t totalBytes() const { return count_ * stride_; }
    bool done() const { return offset_ >= totalBytes(); }
    const FloodTotals& totals() const { return totals_; }

  private:
    void account(uint64_t from, uint64_t to, bool dropped);

    uint64_t count_;
    size_t length_;
    uint64_t stride_;
    bool lossless_;
    uint64_t offset_ = 0;
    bool lineDamaged_ = false;
    FloodTotals totals_;
};

// How many bytes a line of a given byte rate has carried since a start time.
class RatePacer {
  public:
    RatePacer(double bytesPerSecond, TimePoint start) : rate_(bytesPerSecond), start_(start) {}

    // Bytes allowed out by `now`, counted from the start.
    uint64_t allowed(TimePoint now) const;

    // The earliest time at which `bytes` bytes in all are allowed.
    TimePoint timeFor(uint64_t bytes) const;

  private:
    double rate_;
    TimePoint start_;
};
