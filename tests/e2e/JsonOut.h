// One-line JSON output of the end-to-end helper programs, read by harness.py.
#pragma once

#include <cstdio>
#include <string>

namespace jsonout {
// A JSON string literal of UTF-16 text; everything outside printable ASCII is \u-escaped, so
// the line is plain ASCII whatever the console code page.
inline std::string quote(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        const unsigned code = static_cast<unsigned>(c);
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (code >= 0x20 && code < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", code & 0xffff);
            out += escaped;
        }
    }
    return out + "\"";
}

// The same for bytes, taken one byte to one character (Latin-1), so no byte is lost.
inline std::string quoteBytes(const std::string& bytes) {
    std::wstring wide;
    for (char c : bytes) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return quote(wide);
}

// Writes one line and flushes it, so a reader sees it even if the process is killed later.
inline void line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace jsonout
