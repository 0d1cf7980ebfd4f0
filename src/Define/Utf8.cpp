// Checking UTF-8, the encoding of every text in memory. The same on every
// platform.
#include <cstdio>
#include <string>
#include <string_view>

#include "Define/Cp932.h"

namespace solne {

// Offset of the first ill-formed UTF-8 sequence, npos when there is none.
// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8ErrorOffset(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            else if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            else if (c == 0xF4) hi = 0x8F;
        } else {
            return i;
        }
        if (i + len > n) return i;
        unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
        if (c1 < lo || c1 > hi) return i;
        for (size_t k = 2; k < len; ++k) {
            unsigned char ck = static_cast<unsigned char>(bytes[i + k]);
            if (ck < 0x80 || ck > 0xBF) return i;
        }
        i += len;
    }
    return std::string_view::npos;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    return i == bytes.size() || Utf8ErrorOffset(bytes.substr(i)) == std::string_view::npos;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const size_t bad = Utf8ErrorOffset(text);
        for (char c : text.substr(0, bad)) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        char esc[8];
                        std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned char>(c));
                        out += esc;
                    } else {
                        out += c;
                    }
            }
        }
        if (bad == std::string_view::npos) break;
        out += "\xEF\xBF\xBD";
        text.remove_prefix(bad + 1);
    }
    return out + "\"";
}

}  // namespace solne
