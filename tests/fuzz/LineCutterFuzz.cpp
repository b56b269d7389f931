// libFuzzer target: random chunkings of random bytes through the line cutter, checked against a
// direct statement of the rules (drop every LF, cut at every CR, cap unterminated text).
#include "serial/LineCutter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
struct Expected {
    std::vector<std::string> lines;
    std::string pending;
};

Expected reference(const std::string& stream) {
    std::string withoutLf;
    for (char c : stream) {
        if (c != '\n') {
            withoutLf.push_back(c);
        }
    }
    Expected out;
    std::string current;
    for (char c : withoutLf) {
        if (c == '\r') {
            out.lines.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
            if (current.size() == LineCutter::kMaxPending) {
                out.lines.push_back(current);
                current.clear();
            }
        }
    }
    out.pending = current;
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
    LineCutter cutter;
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
