// Command-line options of the simulated instrument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct FloodOptions {
    uint64_t count = 0;
    size_t length = 0;
    double rate = 960;    // bytes a second; 9600 baud with 8N1 framing
    bool maxRate = false; // as fast as the pty takes the bytes
    bool lossless = false;
    long startDelayMs = 0;
    bool waitForLine = false; // start only once a line has been received
};

struct Options {
    std::string prefix; // the Wine prefix whose dosdevices/comN is linked
    int port = 3;
    bool ptyOnly = false; // no link, just the pty
    uint32_t seed = 1;
    std::optional<FloodOptions> flood;
    std::string logPath;     // received lines with their time
    std::string sendLogPath; // time each flood line's CR went out
    std::string summaryPath;
    bool help = false;
};

struct ParsedOptions {
    std::optional<Options> options;
    std::string error; // set when options is empty
};

// Parses the arguments after the program name. The prefix defaults to `winePrefix` when it is
// set and not empty, else to `home`/.wine.
ParsedOptions parseOptions(const std::vector<std::string>& args, const char* winePrefix,
                           const char* home);

extern const char* const kUsage;
