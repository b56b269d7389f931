// Command-line options of the simulated instrument.
#include "instrument/Options.h"

#include "instrument/Flood.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const kUsage =
    "usage: quarl7-instrument [--prefix DIR] [--port N] [--pty-only] [--seed N]\n"
    "         [--flood COUNT --length L [--rate BYTES_PER_SEC | --max-rate] [--lossless]\n"
    "          [--start-delay-ms MS] [--wait-line]]\n"
    "         [--log FILE] [--send-log FILE] [--summary FILE]\n";

namespace {
// A whole decimal number within [lowest, highest], nothing else.
std::optional<uint64_t> wholeNumber(const std::string& text, uint64_t lowest, uint64_t highest) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> positiveRate(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 1) {
        return std::nullopt;
    }
    return value;
}

ParsedOptions failure(std::string error) {
    return {std::nullopt, std::move(error)};
}
} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args, const char* winePrefix,
                           const char* home) {
    Options options;
    if (winePrefix != nullptr && *winePrefix != '\0') {
        options.prefix = winePrefix;
    } else if (home != nullptr && *home != '\0') {
        options.prefix = std::string(home) + "/.wine";
    }
    FloodOptions flood;
    bool floodAsked = false;
    bool lengthGiven = false;
    bool rateGiven = false;
    bool floodOnlyGiven = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const bool takesValue = name == "--prefix" || name == "--port" || name == "--seed" ||
                                name == "--flood" || name == "--length" || name == "--rate" ||
                                name == "--start-delay-ms" || name == "--log" ||
                                name == "--send-log" || name == "--summary";
        std::string value;
        if (takesValue) {
            if (i + 1 >= args.size()) {
                return failure(name + " needs a value");
            }
            value = args[++i];
        }
        const std::string bad = "bad value for " + name + ": " + value;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--prefix") {
            if (value.empty()) {
                return failure(bad);
            }
            options.prefix = value;
        } else if (name == "--port") {
            const auto port = wholeNumber(value, 1, 256);
            if (!port) {
                return failure(bad);
            }
            options.port = static_cast<int>(*port);
        } else if (name == "--pty-only") {
            options.ptyOnly = true;
        } else if (name == "--seed") {
            const auto seed = wholeNumber(value, 0, UINT32_MAX);
            if (!seed) {
                return failure(bad);
            }
            options.seed = static_cast<uint32_t>(*seed);
        } else if (name == "--flood") {
            const auto count = wholeNumber(value, 1, kFloodLargestCount);
            if (!count) {
                return failure(bad);
            }
            flood.count = *count;
            floodAsked = true;
        } else if (name == "--length") {
            const auto length = wholeNumber(value, 0, 1 << 20);
            if (!length) {
                return failure(bad);
            }
            flood.length = static_cast<size_t>(*length);
            lengthGiven = true;
        } else if (name == "--rate") {
            const auto rate = positiveRate(value);
            if (!rate) {
                return failure(bad);
            }
            flood.rate = *rate;
            rateGiven = true;
        } else if (name == "--max-rate") {
            flood.maxRate = true;
            floodOnlyGiven = true;
        } else if (name == "--lossless") {
            flood.lossless = true;
            floodOnlyGiven = true;
        } else if (name == "--start-delay-ms") {
            const auto delay = wholeNumber(value, 0, 3600000);
            if (!delay) {
                return failure(bad);
            }
            flood.startDelayMs = static_cast<long>(*delay);
            floodOnlyGiven = true;
        } else if (name == "--wait-line") {
            flood.waitForLine = true;
            floodOnlyGiven = true;
        } else if (name == "--log") {
            options.logPath = value;
        } else if (name == "--send-log") {
            options.sendLogPath = value;
        } else if (name == "--summary") {
            options.summaryPath = value;
        } else {
            return failure("unknown option: " + name);
        }
    }

    if (options.help) {
        return {options, ""};
    }
    if (floodAsked != lengthGiven) {
        return failure("--flood and --length go together");
    }
    if (!floodAsked && (rateGiven || floodOnlyGiven || !options.sendLogPath.empty())) {
        return failure("flood options need --flood COUNT --length L");
    }
    if (rateGiven && flood.maxRate) {
        return failure("--rate and --max-rate exclude each other");
    }
    if (!options.ptyOnly && options.prefix.empty()) {
        return failure("no Wine prefix: give --prefix, set WINEPREFIX or HOME, or --pty-only");
    }
    if (floodAsked) {
        options.flood = flood;
    }
    return {options, ""};
}
