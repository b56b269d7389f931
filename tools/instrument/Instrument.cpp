// The simulated Norvex Quarl-7: answers command lines and streams measurements (no I/O).
#include "instrument/Instrument.h"

#include <cctype>
#include <cstdio>

namespace {
const std::string kLineEnd = "\r\n";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// A whole number of milliseconds from 1 to the longest interval, digits only.
std::optional<long> parseInterval(const std::string& text) {
    if (text.empty() || text.size() > 7) {
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > Instrument::kLongestInterval) {
        return std::nullopt;
    }
    return value;
}
} // namespace

Thermometer::Thermometer(uint32_t seed) : state_(seed == 0 ? 0x9e3779b9u : seed) {}

uint32_t Thermometer::random() {
    // xorshift32: tiny, and the same sequence on every platform.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

std::string Thermometer::next() {
    const int step = static_cast<int>(random() % (2 * kLargestStep + 1)) - kLargestStep;
    hundredths_ += step;
    // Reflect at the bounds so the walk stays plausible for a lab at room temperature.
    if (hundredths_ > kHighest) {
        hundredths_ = 2 * kHighest - hundredths_;
    } else if (hundredths_ < kLowest) {
        hundredths_ = 2 * kLowest - hundredths_;
    }
    char text[32];
    std::snprintf(text, sizeof text, "T=%d.%02d C", hundredths_ / 100, hundredths_ % 100);
    return text;
}

std::string Instrument::measurement() {
    return thermometer_.next() + kLineEnd;
}

std::string Instrument::handle(const std::string& line, TimePoint now) {
    const std::string text = trimmed(line);
    if (text.empty()) {
        return "";
    }
    const std::string command = upper(text);
    if (command == "ID") {
        return kIdentity + kLineEnd;
    }
    if (command == "READ") {
        return measurement();
    }
    if (command == "STOP") {
        interval_.reset();
        return "OK" + kLineEnd;
    }
    const std::string streamWord = "STREAM";
    if (command.compare(0, streamWord.size(), streamWord) == 0 &&
        command.size() > streamWord.size() && isBlank(command[streamWord.size()])) {
        if (const auto ms = parseInterval(trimmed(command.substr(streamWord.size())))) {
            interval_ = std::chrono::milliseconds(*ms);
            due_ = now + *interval_;
            return "OK" + kLineEnd;
        }
    }
    return "ERR unknown command: " + line + kLineEnd;
}

std::string Instrument::poll(TimePoint now) {
    if (!interval_ || now < due_) {
        return "";
    }
    // Keep to the original grid so the rate does not drift with the caller's lateness.
    while (due_ <= now) {
        due_ += *interval_;
    }
    return measurement();
}

std::optional<TimePoint> Instrument::nextDue() const {
    if (!interval_) {
        return std::nullopt;
    }
    return due_;
}
