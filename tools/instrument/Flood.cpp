// Numbered flood lines, their pacing and the count of what went out or was dropped (no I/O).
#include "instrument/Flood.h"

#include <algorithm>
#include <cmath>

namespace {
char fillerAt(uint64_t number, size_t position) {
    return static_cast<char>('A' + (number + position) % 26);
}

std::string paddedDigits(uint64_t number) {
    std::string digits = std::to_string(number % (kFloodLargestCount + 1));
    return std::string(kFloodDigits - digits.size(), '0') + digits;
}
} // namespace

std::string floodText(uint64_t number, size_t length) {
    const std::string digits = paddedDigits(number);
    if (length <= kFloodDigits) {
        return digits.substr(kFloodDigits - length);
    }
    std::string text = digits;
    text.reserve(length);
    for (size_t position = kFloodDigits; position < length; ++position) {
        text.push_back(fillerAt(number, position));
    }
    return text;
}

std::optional<uint64_t> floodNumber(const std::string& text) {
    const size_t digitCount = std::min(text.size(), kFloodDigits);
    if (digitCount == 0) {
        return std::nullopt;
    }
    uint64_t number = 0;
    for (size_t i = 0; i < digitCount; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    for (size_t position = kFloodDigits; position < text.size(); ++position) {
        if (text[position] != fillerAt(number, position)) {
            return std::nullopt;
        }
    }
    return number;
}

FloodSender::FloodSender(uint64_t count, size_t length, bool lossless)
    : count_(count), length_(length), stride_(length + 2), lossless_(lossless) {}

std::string FloodSender::next(size_t most) const {
    const uint64_t end = std::min<uint64_t>(totalBytes(), offset_ + most);
    std::string bytes;
    bytes.reserve(static_cast<size_t>(end - offset_));
    uint64_t at = offset_;
    while (at < end) {
        const uint64_t index = at / stride_;
        const size_t from = static_cast<size_t>(at % stride_);
        const size_t to = static_cast<size_t>(std::min<uint64_t>(stride_, from + (end - at)));
        const std::string line = floodText(index + 1, length_) + "\r\n";
        bytes.append(line, from, to - from);
        at += to - from;
    }
    return bytes;
}

void FloodSender::account(uint64_t from, uint64_t to, bool dropped) {
    while (from < to) {
        const uint64_t lineEnd = (from / stride_ + 1) * stride_;
        const uint64_t segmentEnd = std::min(to, lineEnd);
        if (dropped) {
            lineDamaged_ = true;
        }
        if (segmentEnd == lineEnd) {
            ++(lineDamaged_ ? totals_.linesDamaged : totals_.linesSent);
            lineDamaged_ = false;
        }
        from = segmentEnd;
    }
}

std::vector<uint64_t> FloodSender::commit(size_t offered, size_t accepted) {
    offered = static_cast<size_t>(std::min<uint64_t>(offered, totalBytes() - offset_));
    accepted = std::min(accepted, offered);
    std::vector<uint64_t> carriageReturns;
    // The first CR at or after the offset, then one per stride.
    const uint64_t firstLine = offset_ / stride_;
    for (uint64_t cr = firstLine * stride_ + length_; cr < offset_ + accepted; cr += stride_) {
        if (cr >= offset_) {
            carriageReturns.push_back(cr / stride_ + 1);
        }
    }
    account(offset_, offset_ + accepted, false);
    totals_.bytesSent += accepted;
    offset_ += accepted;
    if (!lossless_) {
        const uint64_t dropped = offered - accepted;
        account(offset_, offset_ + dropped, true);
        totals_.bytesOverrun += dropped;
        offset_ += dropped;
    }
    return carriageReturns;
}

uint64_t RatePacer::allowed(TimePoint now) const {
    if (now <= start_) {
        return 0;
    }
    const double seconds = std::chrono::duration<double>(now - start_).count();
    return static_cast<uint64_t>(std::floor(seconds * rate_));
}

TimePoint RatePacer::timeFor(uint64_t bytes) const {
    const auto wait = std::chrono::duration<double>(static_cast<double>(bytes) / rate_);
    // Round up so that allowed(timeFor(n)) >= n despite the clock's granularity.
    return start_ + std::chrono::ceil<InstrumentClock::duration>(wait) +
           InstrumentClock::duration(1);
}
