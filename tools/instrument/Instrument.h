// The simulated Norvex Quarl-7: answers command lines and streams measurements (no I/O).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

using InstrumentClock = std::chrono::steady_clock;
using TimePoint = InstrumentClock::time_point;

// Temperature readings as a small bounded random walk, the same for the same seed.
class Thermometer {
  public:
    static constexpr int kLowest = 2200;  // hundredths of a degree
    static constexpr int kHighest = 2500; // hundredths of a degree
    static constexpr int kLargestStep = 5;

    explicit Thermometer(uint32_t seed);

    // The next reading, e.g. "T=23.41 C".
    std::string next();

  private:
    uint32_t random();

    uint32_t state_;
    int hundredths_ = 2341;
};

class Instrument {
  public:
    static constexpr const char* kIdentity = "NORVEX QUARL-7 SIM,SN 000117,FW 1.10";
    static constexpr long kLongestInterval = 3600000; // ms

    explicit Instrument(uint32_t seed) : thermometer_(seed) {}

    // The reply to one received line (without its line end): nothing for an empty line,
    // otherwise one or more lines, each ending in CR LF.
    std::string handle(const std::string& line, TimePoint now);

    // The measurement due by now while streaming, or nothing. A late caller gets one line,
    // not a burst: readings missed while nobody asked are skipped.
    std::string poll(TimePoint now);

    // When poll next has something to send; nothing when not streaming.
    std::optional<TimePoint> nextDue() const;

    bool streaming() const { return interval_.has_value(); }

  private:
    std::string measurement();

    Thermometer thermometer_;
    std::optional<std::chrono::milliseconds> interval_;
    TimePoint due_;
};
