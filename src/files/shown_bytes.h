// Bytes from a file or the command line as they appear in a one-line message: control bytes,
// DEL and bytes above 0x7f shown as \xNN, so a message never carries terminal escapes or a
// line break, and long runs cut short.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dv {

inline std::string ShownBytes(std::string_view text, size_t maxBytes = 64) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text.substr(0, maxBytes)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7f) {
            out.push_back(c);
            continue;
        }
        out += "\\x";
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    if (text.size() > maxBytes) out += "...";
    return out;
}

}  // namespace dv
