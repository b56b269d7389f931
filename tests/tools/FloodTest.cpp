// Flood line text, its checking by a receiver, the send/drop account and the byte pacing.
#include "instrument/Flood.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {
const std::vector<uint64_t> kNumbers = {1,  2,     9,       10,       25,       26,
                                        99, 12345, 1234567, 12345678, 87654321, 99999999};

std::string eightDigits(uint64_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "%08llu", static_cast<unsigned long long>(number));
    return text;
}

// The whole flood as a receiver expects it, line by line.
std::string wholeFlood(uint64_t count, size_t length) {
    std::string stream;
    for (uint64_t number = 1; number <= count; ++number) {
        stream += floodText(number, length) + "\r\n";
    }
    return stream;
}

uint64_t power10(size_t exponent) {
    uint64_t value = 1;
    while (exponent-- > 0) {
        value *= 10;
    }
    return value;
}
} // namespace

TEST(FloodText, CarriesItsNumberAndExactLength) {
    for (uint64_t number : kNumbers) {
        for (size_t length = 0; length <= 40; ++length) {
            const std::string text = floodText(number, length);
            ASSERT_EQ(text.size(), length);
            const std::string digits = eightDigits(number);
            if (length <= kFloodDigits) {
                EXPECT_EQ(text, digits.substr(kFloodDigits - length));
            } else {
                EXPECT_EQ(text.substr(0, kFloodDigits), digits);
                for (size_t i = kFloodDigits; i < length; ++i) {
                    EXPECT_TRUE(text[i] >= 'A' && text[i] <= 'Z') << text;
                }
            }
            EXPECT_EQ(text.find_first_of("\r\n\x11\x13"), std::string::npos);
        }
    }
}

TEST(FloodText, ReceiverReadsBackTheNumber) {
    for (uint64_t number : kNumbers) {
        EXPECT_FALSE(floodNumber(floodText(number, 0)));
        for (size_t length = 1; length <= 40; ++length) {
            const auto read = floodNumber(floodText(number, length));
            ASSERT_TRUE(read) << number << " at " << length;
            const size_t digits = std::min(length, kFloodDigits);
            EXPECT_EQ(*read, number % power10(digits)) << number << " at " << length;
        }
    }
    // Neighbouring lines differ from 8 bytes on, so a lost line shows up.
    std::set<std::string> seen;
    for (uint64_t number = 1; number <= 5000; ++number) {
        EXPECT_TRUE(seen.insert(floodText(number, 8)).second);
    }
}

TEST(FloodText, EverySingleChangedOrLostByteIsCaughtFromNineBytesOn) {
    for (uint64_t number : kNumbers) {
        for (size_t length : {9u, 10u, 16u, 33u}) {
            const std::string text = floodText(number, length);
            for (size_t i = 0; i < length; ++i) {
                for (char replacement : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ ~")) {
                    if (replacement == text[i]) {
                        continue;
                    }
                    std::string changed = text;
                    changed[i] = replacement;
                    EXPECT_FALSE(floodNumber(changed)) << changed;
                }
                // Losing the last byte leaves a shorter well-formed line; the receiver knows L.
                if (i + 1 < length) {
                    std::string shorter = text;
                    shorter.erase(i, 1);
                    EXPECT_FALSE(floodNumber(shorter)) << shorter;
                }
            }
        }
    }
}

TEST(FloodSender, EverythingTakenGivesTheWholeFloodInAnyChunking) {
    std::mt19937 random(3);
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 50u}) {
        const uint64_t count = 300;
        FloodSender sender(count, length, false);
        EXPECT_EQ(sender.totalBytes(), wholeFlood(count, length).size());
        std::string received;
        std::vector<uint64_t> carriageReturns;
        while (!sender.done()) {
            const std::string bytes = sender.next(random() % 97 + 1);
            received += bytes;
            for (uint64_t number : sender.commit(bytes.size(), bytes.size())) {
                carriageReturns.push_back(number);
            }
        }
        EXPECT_EQ(received, wholeFlood(count, length));
        ASSERT_EQ(carriageReturns.size(), count);
        for (uint64_t i = 0; i < count; ++i) {
            EXPECT_EQ(carriageReturns[i], i + 1);
        }
        EXPECT_EQ(sender.totals().linesSent, count);
        EXPECT_EQ(sender.totals().linesDamaged, 0u);
        EXPECT_EQ(sender.totals().bytesSent, received.size());
        EXPECT_EQ(sender.totals().bytesOverrun, 0u);
        EXPECT_EQ(sender.next(10), "");
    }
}

TEST(FloodSender, BytesNotTakenAreDroppedAndCountedAsOverrun) {
    std::mt19937 random(11);
    for (size_t length : {0u, 3u, 12u, 40u}) {
        const uint64_t count = 200;
        const std::string whole = wholeFlood(count, length);
        const size_t stride = length + 2;
        FloodSender sender(count, length, false);
        std::vector<bool> dropped(whole.size(), false);
        std::vector<uint64_t> carriageReturns;
        while (!sender.done()) {
            const size_t at = sender.offset();
            const std::string bytes = sender.next(random() % 30 + 1);
            ASSERT_EQ(bytes, whole.substr(at, bytes.size()));
            const size_t accepted = random() % 3 == 0 ? random() % bytes.size() : bytes.size();
            for (size_t i = at + accepted; i < at + bytes.size(); ++i) {
                dropped[i] = true;
            }
            for (uint64_t number : sender.commit(bytes.size(), accepted)) {
                carriageReturns.push_back(number);
            }
        }
        // The account, worked out from the dropped bytes alone.
        uint64_t droppedBytes = 0;
        uint64_t damaged = 0;
        std::vector<uint64_t> expectedReturns;
        for (uint64_t line = 0; line < count; ++line) {
            bool lineDamaged = false;
            for (size_t i = line * stride; i < (line + 1) * stride; ++i) {
                droppedBytes += dropped[i] ? 1 : 0;
                lineDamaged = lineDamaged || dropped[i];
            }
            damaged += lineDamaged ? 1 : 0;
            if (!dropped[line * stride + length]) {
                expectedReturns.push_back(line + 1);
            }
        }
        EXPECT_GT(droppedBytes, 0u);
        EXPECT_EQ(sender.totals().bytesOverrun, droppedBytes);
        EXPECT_EQ(sender.totals().bytesSent, whole.size() - droppedBytes);
        EXPECT_EQ(sender.totals().linesDamaged, damaged);
        EXPECT_EQ(sender.totals().linesSent, count - damaged);
        EXPECT_EQ(carriageReturns, expectedReturns);
    }
}

TEST(FloodSender, LosslessOffersRefusedBytesAgain) {
    std::mt19937 random(5);
    const uint64_t count = 150;
    const size_t length = 10;
    FloodSender sender(count, length, true);
    std::string received;
    uint64_t refusals = 0;
    while (!sender.done()) {
        const std::string bytes = sender.next(random() % 40 + 1);
        const size_t accepted = random() % (bytes.size() + 1);
        refusals += accepted < bytes.size() ? 1 : 0;
        received += bytes.substr(0, accepted);
        sender.commit(bytes.size(), accepted);
    }
    EXPECT_GT(refusals, 0u);
    EXPECT_EQ(received, wholeFlood(count, length));
    EXPECT_EQ(sender.totals().bytesOverrun, 0u);
    EXPECT_EQ(sender.totals().linesSent, count);
    EXPECT_EQ(sender.totals().linesDamaged, 0u);
}

TEST(RatePacer, AllowsBytesInProportionToElapsedTime) {
    const TimePoint start = TimePoint{} + std::chrono::seconds(10);
    for (double rate : {960.0, 1.0, 11520.0, 1e6}) {
        RatePacer pacer(rate, start);
        EXPECT_EQ(pacer.allowed(start - std::chrono::seconds(1)), 0u);
        EXPECT_EQ(pacer.allowed(start), 0u);
        EXPECT_EQ(pacer.allowed(start + std::chrono::seconds(3)), static_cast<uint64_t>(3 * rate));
        uint64_t previous = 0;
        for (int ms = 0; ms <= 2000; ms += 7) {
            const uint64_t now = pacer.allowed(start + std::chrono::milliseconds(ms));
            EXPECT_GE(now, previous);
            previous = now;
        }
        for (uint64_t bytes : {1ull, 2ull, 959ull, 960ull, 123457ull}) {
            const TimePoint when = pacer.timeFor(bytes);
            EXPECT_GE(pacer.allowed(when), bytes) << rate << " " << bytes;
            EXPECT_LT(pacer.allowed(when - std::chrono::microseconds(2)), bytes)
                << rate << " " << bytes;
        }
    }
}
