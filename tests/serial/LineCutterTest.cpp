// Line cutting of received bytes, fed in every possible pair of chunks.
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

// Checks the lines and the pending text for the stream in one chunk and split at every point.
void expectAtEverySplit(const std::string& stream, const Lines& expected,
                        const std::string& expectedPending) {
    for (size_t split = 0; split <= stream.size(); ++split) {
        LineCutter cutter;
        const Lines lines = feedAll(cutter, {stream.substr(0, split), stream.substr(split)});
        EXPECT_EQ(lines, expected) << "split at " << split;
        EXPECT_EQ(cutter.pending(), expectedPending) << "split at " << split;
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

TEST(LineCutter, TextWithoutCarriageReturnIsListedInCappedLines) {
    LineCutter cutter;
    const std::string flood(LineCutter::kMaxPending * 2 + 10, 'z');
    const Lines lines = feedAll(cutter, {flood.substr(0, 1000), flood.substr(1000)});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), LineCutter::kMaxPending);
    EXPECT_EQ(lines[1].size(), LineCutter::kMaxPending);
    EXPECT_EQ(cutter.pending(), std::string(10, 'z'));
    // A line that ends within the cap is unaffected.
    LineCutter exact;
    const std::string longest(LineCutter::kMaxPending - 1, 'q');
    EXPECT_EQ(exact.feed(longest + "\r\n"), Lines{longest});
}
