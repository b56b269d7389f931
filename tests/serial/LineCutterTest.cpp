// Line cutting of received bytes, with the stream cut into chunks at every point.
#include "serial/LineCutter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Lines = std::vector<std::string>;

Lines feedAll(LineCutter& cutter, const std::vector<std::string>& chunks) {
    Lines lines;
    for (const std::string& chunk : chunks) {
        for (std::string& line : cutter.feed(chunk)) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

// Checks the lines and the pending text for the stream fed in three chunks, cut at every pair
// of points (so also whole, and in two).
void expectAtEverySplit(const std::string& stream, const Lines& expected,
                        const std::string& expectedPending) {
    for (size_t first = 0; first <= stream.size(); ++first) {
        for (size_t second = first; second <= stream.size(); ++second) {
            LineCutter cutter;
            const Lines lines =
                feedAll(cutter, {stream.substr(0, first), stream.substr(first, second - first),
                                 stream.substr(second)});
            EXPECT_EQ(lines, expected) << "cut at " << first << " and " << second;
            EXPECT_EQ(cutter.pending(), expectedPending) << "cut at " << first << " and " << second;
        }
    }
}

// Text of `length` bytes in which every piece shows where it came from.
std::string patterned(size_t length) {
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>('a' + i % 23);
    }
    return text;
}

std::string lengthsOf(const Lines& lines) {
    std::string text = "[";
    for (const std::string& line : lines) {
        text += (text.size() > 1 ? ", " : "") + std::to_string(line.size());
    }
    return text + "]";
}

// Like expectAtEverySplit for a stream too long to cut everywhere: fed in two chunks, cut at
// each of the given points that lie within it. Failures give sizes, not the text.
void expectAtSplits(const std::string& stream, const std::vector<size_t>& splits,
                    const Lines& expected, const std::string& expectedPending) {
    for (size_t split : splits) {
        if (split > stream.size()) {
            continue;
        }
        LineCutter cutter;
        const Lines lines = feedAll(cutter, {stream.substr(0, split), stream.substr(split)});
        EXPECT_TRUE(lines == expected) << "split at " << split << ": lines of " << lengthsOf(lines)
                                       << " bytes, expected " << lengthsOf(expected);
        EXPECT_TRUE(cutter.pending() == expectedPending)
            << "split at " << split << ": " << cutter.pending().size()
            << " bytes pending, expected " << expectedPending.size();
    }
}
} // namespace

TEST(LineCutter, EachLineEndingEndsExactlyOneLine) {
    expectAtEverySplit("OK\r\n", {"OK"}, "");
    expectAtEverySplit("OK\n\r", {"OK"}, "");
    expectAtEverySplit("OK\r", {"OK"}, "");
    expectAtEverySplit("A\r\nB\n\rC\r", {"A", "B", "C"}, "");
}

TEST(LineCutter, LoneLineFeedJoinsItsNeighbours) {
    expectAtEverySplit("A\nB\r", {"AB"}, "");
    expectAtEverySplit("\n\n\n", {}, "");
}

TEST(LineCutter, EmptyLinesAreKept) {
    expectAtEverySplit("X\r\n\r\n", {"X", ""}, "");
    expectAtEverySplit("\r\r", {"", ""}, "");
    expectAtEverySplit("\r\n\r\n", {"", ""}, "");
}

TEST(LineCutter, UnfinishedTextWaitsForItsCarriageReturn) {
    LineCutter cutter;
    EXPECT_TRUE(cutter.feed("AB").empty());
    EXPECT_EQ(cutter.pending(), "AB");
    EXPECT_EQ(cutter.feed("C\r"), Lines{"ABC"});
    EXPECT_EQ(cutter.pending(), "");
    expectAtEverySplit("one\r\ntwo\r\nthree\r\nfou", {"one", "two", "three"}, "fou");
}

TEST(LineCutter, EveryOtherByteIncludingNulPassesThrough) {
    std::string line;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n') {
            line.push_back(static_cast<char>(b));
        }
    }
    expectAtEverySplit(line + "\r", {line}, "");
    expectAtEverySplit(std::string("A\0B\r", 4), {std::string("A\0B", 3)}, "");
}

// Text without CR is cut only where it runs past the cap: a line that ends in CR within the cap,
// even exactly at it, is listed once and whole.
TEST(LineCutter, TextIsCutOnlyWhereItRunsPastTheCap) {
    const size_t cap = LineCutter::kMaxPending;
    const std::vector<size_t> splits = {0, 1, cap - 1, cap, cap + 1, cap + 2, 2 * cap, 2 * cap + 1};
    for (const size_t length : {cap - 1, cap}) {
        const std::string line = patterned(length);
        expectAtSplits(line + "\r\n", splits, {line}, "");
    }
    // One byte past the cap: the first cap bytes are listed when that byte arrives, and the byte
    // waits for the CR that ends it as a line of its own.
    const std::string over = patterned(cap + 1);
    expectAtSplits(over + "\r\n", splits, {over.substr(0, cap), over.substr(cap)}, "");
    expectAtSplits(over, splits, {over.substr(0, cap)}, over.substr(cap));
    // Endless text: each full piece is listed once the byte after it arrives; the last one, full
    // or not, stays pending.
    const std::string flood = patterned(2 * cap + 10);
    expectAtSplits(flood, splits, {flood.substr(0, cap), flood.substr(cap, cap)},
                   flood.substr(2 * cap));
    const std::string full = patterned(2 * cap);
    expectAtSplits(full, splits, {full.substr(0, cap)}, full.substr(cap));
}
