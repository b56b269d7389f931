// One factor for every deadline of the Windows-side tests, so a slow or busy machine can stretch
// them all at once: QUARL_WAIT_SCALE, a positive number, 1 when unset.
#pragma once

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace testwait {

// The factor, read from the environment once. A value that is no positive number is reported
// and taken as 1, so the tests still run with their base deadlines.
inline double scale() {
    static const double factor = [] {
        const char* text = std::getenv("QUARL_WAIT_SCALE");
        if (!text || !*text) {
            return 1.0;
        }
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !(value > 0) || value > 1000) {
            std::fprintf(stderr, "QUARL_WAIT_SCALE=%s is no positive number; using 1\n", text);
            return 1.0;
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

} // namespace testwait
