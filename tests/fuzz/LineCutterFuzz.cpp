// libFuzzer target: random chunkings of random bytes through the line cutter, checked against a
// statement of the rules of its own (drop every LF, cut at every CR, cut text only where it runs
// past the cap), with a cap of 8 bytes instead of 64 KiB so that short inputs reach it.
#include "serial/LineCutter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr size_t kCap = 8;

struct Expected {
    std::vector<std::string> lines;
    std::string pending;
};

// Without its LFs, the stream is a run of segments each ended by a CR, then an unterminated
// tail. A segment of n bytes gives ceil(n / cap) lines, the full pieces first, and an empty one
// gives one empty line. The tail keeps its last 1 to cap bytes pending; the full pieces before
// them are lines.
Expected reference(const std::string& stream) {
    const size_t cap = kCap;
    std::string withoutLf;
    for (char c : stream) {
        if (c != '\n') {
            withoutLf.push_back(c);
        }
    }
    Expected out;
    size_t start = 0;
    for (size_t end = withoutLf.find('\r'); end != std::string::npos;
         start = end + 1, end = withoutLf.find('\r', start)) {
        const std::string segment = withoutLf.substr(start, end - start);
        if (segment.empty()) {
            out.lines.emplace_back();
        }
        for (size_t at = 0; at < segment.size(); at += cap) {
            out.lines.push_back(segment.substr(at, cap));
        }
    }
    const std::string tail = withoutLf.substr(start);
    if (!tail.empty()) {
        const size_t kept = (tail.size() - 1) % cap + 1;
        for (size_t at = 0; at < tail.size() - kept; at += cap) {
            out.lines.push_back(tail.substr(at, cap));
        }
        out.pending = tail.substr(tail.size() - kept);
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte seeds the chunk sizes; the rest is the received stream.
    unsigned seed = data[0];
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    LineCutter cutter(kCap);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const size_t chunk = (seed >> 16) % 17;
        for (std::string& line : cutter.feed(stream.substr(at, chunk))) {
            lines.push_back(std::move(line));
        }
        at += chunk;
    }
    const Expected expected = reference(stream);
    if (lines != expected.lines || cutter.pending() != expected.pending) {
        std::abort();
    }
    return 0;
}
