// Line framing of the simulated instrument, with the bytes split at every point.
#include "instrument/LineFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Lines = std::vector<std::string>;

// Feeds the stream in three chunks cut at every pair of points; checks lines and pending text.
void expectAtEverySplit(const std::string& stream, const Lines& expected,
                        const std::string& expectedPending) {
    for (size_t first = 0; first <= stream.size(); ++first) {
        for (size_t second = first; second <= stream.size(); ++second) {
            LineFramer framer;
            Lines lines;
            for (const std::string& chunk :
                 {stream.substr(0, first), stream.substr(first, second - first),
                  stream.substr(second)}) {
                for (const std::string& line : framer.feed(chunk)) {
                    lines.push_back(line);
                }
            }
            EXPECT_EQ(lines, expected) << "cut at " << first << " and " << second;
            EXPECT_EQ(framer.pending(), expectedPending) << "cut at " << first << " and " << second;
        }
    }
}
} // namespace

TEST(LineFramer, EveryKindOfLineEndEndsOneLine) {
    expectAtEverySplit("ID\r\n", {"ID"}, "");
    expectAtEverySplit("ID\n\r", {"ID"}, "");
    expectAtEverySplit("ID\r", {"ID"}, "");
    expectAtEverySplit("READ\r\nSTOP\n\rID\r", {"READ", "STOP", "ID"}, "");
}

TEST(LineFramer, LineFeedsAloneEndNothingAndEmptyLinesCount) {
    expectAtEverySplit("RE\nAD\r\n", {"READ"}, "");
    expectAtEverySplit("\n\n", {}, "");
    expectAtEverySplit("\r\n\r\n", {"", ""}, "");
    expectAtEverySplit("STREAM 10\r\nST", {"STREAM 10"}, "ST");
}

TEST(LineFramer, OverlongTextIsCutAtTheCap) {
    LineFramer framer;
    const std::string text(LineFramer::kMaxLine + 5, 'x');
    const Lines lines = framer.feed(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), LineFramer::kMaxLine);
    EXPECT_EQ(framer.pending(), std::string(5, 'x'));
    EXPECT_EQ(framer.feed("\r"), Lines{std::string(5, 'x')});
}
