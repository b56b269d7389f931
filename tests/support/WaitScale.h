// One factor for every deadline of the Windows-side tests, so a slow or busy machine can stretch
// them all at once: QUARL_WAIT_SCALE, a positive number, 1 when unset.
#pragma once

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace testwait {

// The factor, read from the environment once. tests/e2e/wait_scale.py reads it by the same
// rule: digits with at most one decimal point (3, 2.5, .5, 2000), above 0. Anything else ends
// the test program with a message, rather than run it with deadlines nobody asked for.
inline double scale() {
    static const double factor = [] {
        const char* text = std::getenv("QUARL_WAIT_SCALE");
        if (!text || !*text) {
            return 1.0;
        }
        int digits = 0;
        int points = 0;
        int others = 0;
        for (const char* c = text; *c; ++c) {
            if (*c >= '0' && *c <= '9') {
                ++digits;
            } else if (*c == '.') {
                ++points;
            } else {
                ++others;
            }
        }
        const double value = std::strtod(text, nullptr);
        if (digits == 0 || points > 1 || others > 0 || !(value > 0)) {
            std::fprintf(stderr,
                         "QUARL_WAIT_SCALE=%s is not a positive number (digits with at most one "
                         "decimal point, such as 3 or 2.5)\n",
                         text);
            std::exit(2);
        }
        return value;
    }();
    return factor;
}

// A deadline of `baseMs` milliseconds stretched by the factor.
inline int scaledMs(int baseMs) {
    const double scaled = baseMs * scale();
    return scaled >= INT_MAX ? INT_MAX : static_cast<int>(scaled);
}

// Bound of a wait for something that normally happens within a second: only a failing test
// waits it out. DEADLINE of tests/e2e/wait_scale.py is the same, in seconds.
inline const int kDeadlineMs = scaledMs(30000);

} // namespace testwait
