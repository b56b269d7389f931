// Commands, replies and measurement streaming of the simulated instrument, on a made-up clock.
#include "instrument/Instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace {
using std::chrono::milliseconds;

const TimePoint kStart = TimePoint{} + std::chrono::hours(1);

TimePoint at(long ms) {
    return kStart + milliseconds(ms);
}

// The reading of a measurement line in hundredths, checking its form on the way.
int hundredths(const std::string& line) {
    static const std::regex form(R"(T=(\d\d)\.(\d\d) C\r\n)");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, form)) << line;
    if (match.empty()) {
        return -1;
    }
    return std::stoi(match[1]) * 100 + std::stoi(match[2]);
}

std::string unknown(const std::string& line) {
    return "ERR unknown command: " + line + "\r\n";
}
} // namespace

TEST(Instrument, CommandsIgnoreCaseAndSurroundingBlanks) {
    Instrument instrument(1);
    const std::string identity = std::string(Instrument::kIdentity) + "\r\n";
    EXPECT_NE(identity.find("NORVEX QUARL-7"), std::string::npos);
    for (const char* line : {"ID", "id", "Id", "  ID", "ID\t ", " \tiD \t"}) {
        EXPECT_EQ(instrument.handle(line, at(0)), identity) << line;
    }
    for (const char* line : {"READ", "read", "  ReAd\t"}) {
        hundredths(instrument.handle(line, at(0)));
    }
    for (const char* line : {"STOP", "stop", " Stop "}) {
        EXPECT_EQ(instrument.handle(line, at(0)), "OK\r\n") << line;
    }
}

TEST(Instrument, EmptyAndBlankLinesGetNoReply) {
    Instrument instrument(1);
    for (const char* line : {"", " ", "\t", "  \t  "}) {
        EXPECT_EQ(instrument.handle(line, at(0)), "") << '"' << line << '"';
    }
}

TEST(Instrument, AnythingElseIsEchoedAsReceived) {
    Instrument instrument(1);
    for (const std::string& line : std::vector<std::string>{
             "HELLO", "  spaced out\t", "IDX", "ID 1", "READ now", "STREAM", "STREAM ", "STREAM 0",
             "STREAM -5", "STREAM abc", "STREAM 5x", "STREAM 3600001", "STREAM 1 2", "STREAMING 5",
             "STREAM5", "STOP now", std::string("A\0B", 3), "\x01\x7f\xff"}) {
        EXPECT_EQ(instrument.handle(line, at(0)), unknown(line)) << line;
    }
    EXPECT_FALSE(instrument.streaming());
}

TEST(Instrument, ReadingsAreSmallBoundedStepsRepeatableBySeed) {
    Instrument first(42);
    Instrument same(42);
    Instrument other(43);
    bool differsFromOther = false;
    int previous = -1;
    for (int i = 0; i < 2000; ++i) {
        const std::string line = first.handle("READ", at(i));
        EXPECT_EQ(same.handle("READ", at(i)), line);
        differsFromOther = differsFromOther || other.handle("READ", at(i)) != line;
        const int value = hundredths(line);
        EXPECT_GE(value, Thermometer::kLowest);
        EXPECT_LE(value, Thermometer::kHighest);
        if (previous >= 0) {
            EXPECT_LE(std::abs(value - previous), Thermometer::kLargestStep);
        }
        previous = value;
    }
    EXPECT_TRUE(differsFromOther);
}

TEST(Instrument, ThermometerStaysInBoundsOverALongWalk) {
    for (uint32_t seed : {0u, 1u, 7u, 0xffffffffu}) {
        Thermometer thermometer(seed);
        std::vector<int> seen;
        for (int i = 0; i < 20000; ++i) {
            const int value = hundredths(thermometer.next() + "\r\n");
            ASSERT_GE(value, Thermometer::kLowest) << "seed " << seed;
            ASSERT_LE(value, Thermometer::kHighest) << "seed " << seed;
            seen.push_back(value);
        }
        // It moves: not stuck on one value.
        EXPECT_NE(*std::min_element(seen.begin(), seen.end()),
                  *std::max_element(seen.begin(), seen.end()));
    }
}

TEST(Instrument, StreamSendsOneReadingPerIntervalUntilStop) {
    Instrument instrument(5);
    EXPECT_FALSE(instrument.nextDue());
    EXPECT_EQ(instrument.poll(at(0)), "");
    EXPECT_EQ(instrument.handle("STREAM 100", at(0)), "OK\r\n");
    EXPECT_TRUE(instrument.streaming());
    EXPECT_EQ(instrument.nextDue(), at(100));
    EXPECT_EQ(instrument.poll(at(99)), "");
    hundredths(instrument.poll(at(100)));
    EXPECT_EQ(instrument.poll(at(150)), "");
    EXPECT_EQ(instrument.nextDue(), at(200));

    // Polled every millisecond for a second: one reading per interval.
    int readings = 0;
    for (long ms = 101; ms <= 1100; ++ms) {
        readings += instrument.poll(at(ms)).empty() ? 0 : 1;
    }
    EXPECT_EQ(readings, 1000 / 100);

    // Other commands do not disturb the stream.
    hundredths(instrument.handle("READ", at(1150)));
    EXPECT_EQ(instrument.nextDue(), at(1200));

    EXPECT_EQ(instrument.handle("stop", at(1150)), "OK\r\n");
    EXPECT_FALSE(instrument.streaming());
    EXPECT_FALSE(instrument.nextDue());
    EXPECT_EQ(instrument.poll(at(5000)), "");
}

TEST(Instrument, LateCallerGetsOneReadingAndTheGridIsKept) {
    Instrument instrument(5);
    instrument.handle("STREAM 100", at(0));
    hundredths(instrument.poll(at(450)));
    EXPECT_EQ(instrument.poll(at(450)), "");
    EXPECT_EQ(instrument.nextDue(), at(500));
}

TEST(Instrument, StreamAgainRestartsWithTheNewInterval) {
    Instrument instrument(5);
    EXPECT_EQ(instrument.handle("stream\t 1000 ", at(0)), "OK\r\n");
    EXPECT_EQ(instrument.nextDue(), at(1000));
    EXPECT_EQ(instrument.handle("STREAM 30", at(10)), "OK\r\n");
    EXPECT_EQ(instrument.nextDue(), at(40));
    // A refused interval leaves the stream running as it was.
    EXPECT_EQ(instrument.handle("STREAM 0", at(20)), unknown("STREAM 0"));
    EXPECT_EQ(instrument.nextDue(), at(40));
    EXPECT_EQ(instrument.handle("STREAM 3600000", at(20)), "OK\r\n");
}
