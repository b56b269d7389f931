// Command-line options of the simulated instrument: defaults, values and refusals.
#include "instrument/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Args = std::vector<std::string>;

Options parsed(const Args& args, const char* winePrefix = "/p", const char* home = "/home/u") {
    const ParsedOptions result = parseOptions(args, winePrefix, home);
    EXPECT_TRUE(result.options) << result.error;
    return result.options.value_or(Options{});
}

std::string refusal(const Args& args, const char* winePrefix = "/p", const char* home = "/home/u") {
    const ParsedOptions result = parseOptions(args, winePrefix, home);
    EXPECT_FALSE(result.options);
    return result.error;
}
} // namespace

TEST(Options, DefaultsComeFromTheEnvironment) {
    const Options fromPrefix = parsed({}, "/tmp/pfx", "/home/u");
    EXPECT_EQ(fromPrefix.prefix, "/tmp/pfx");
    EXPECT_EQ(fromPrefix.port, 3);
    EXPECT_FALSE(fromPrefix.ptyOnly);
    EXPECT_FALSE(fromPrefix.flood);
    EXPECT_EQ(parsed({}, nullptr, "/home/u").prefix, "/home/u/.wine");
    EXPECT_EQ(parsed({}, "", "/home/u").prefix, "/home/u/.wine");
    EXPECT_EQ(parsed({"--prefix", "/x"}, "/tmp/pfx").prefix, "/x");
    EXPECT_TRUE(parsed({"--pty-only"}, nullptr, nullptr).ptyOnly);
    EXPECT_NE(refusal({}, nullptr, nullptr).find("prefix"), std::string::npos);
}

TEST(Options, ValuesAreTaken) {
    const Options options =
        parsed({"--port", "7", "--seed", "99", "--log", "r.log", "--summary", "s.json"});
    EXPECT_EQ(options.port, 7);
    EXPECT_EQ(options.seed, 99u);
    EXPECT_EQ(options.logPath, "r.log");
    EXPECT_EQ(options.summaryPath, "s.json");

    const Options flood =
        parsed({"--flood", "1000", "--length", "0", "--rate", "11520.5", "--lossless",
                "--start-delay-ms", "250", "--wait-line", "--send-log", "t.log"});
    ASSERT_TRUE(flood.flood);
    EXPECT_EQ(flood.flood->count, 1000u);
    EXPECT_EQ(flood.flood->length, 0u);
    EXPECT_DOUBLE_EQ(flood.flood->rate, 11520.5);
    EXPECT_TRUE(flood.flood->lossless);
    EXPECT_FALSE(flood.flood->maxRate);
    EXPECT_EQ(flood.flood->startDelayMs, 250);
    EXPECT_TRUE(flood.flood->waitForLine);
    EXPECT_EQ(flood.sendLogPath, "t.log");

    const Options fast = parsed({"--length", "80", "--max-rate", "--flood", "5"});
    ASSERT_TRUE(fast.flood);
    EXPECT_TRUE(fast.flood->maxRate);
    EXPECT_EQ(fast.flood->length, 80u);
    // Without a rate the flood goes at 9600 baud.
    EXPECT_DOUBLE_EQ(parsed({"--flood", "5", "--length", "8"}).flood->rate, 9600.0 / 10);
}

TEST(Options, BadOrClashingArgumentsAreRefused) {
    for (const Args& args : std::vector<Args>{
             {"--bogus"},
             {"--port"},
             {"--port", "0"},
             {"--port", "257"},
             {"--port", "3x"},
             {"--port", "-1"},
             {"--seed", "4294967296"},
             {"--prefix", ""},
             {"--flood", "0", "--length", "8"},
             {"--flood", "100000000", "--length", "8"},
             {"--flood", "10"},
             {"--length", "10"},
             {"--flood", "10", "--length", "8", "--rate", "0"},
             {"--flood", "10", "--length", "8", "--rate", "fast"},
             {"--flood", "10", "--length", "8", "--rate", "100", "--max-rate"},
             {"--lossless"},
             {"--max-rate"},
             {"--wait-line"},
             {"--start-delay-ms", "5"},
             {"--send-log", "t.log"},
         }) {
        EXPECT_FALSE(refusal(args).empty());
    }
}
