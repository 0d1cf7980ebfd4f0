#include "frmMain/TypeAhead.h"

namespace solne {

namespace {

constexpr char32_t kNotUtf8 = 0x80000000;  // | the byte: matches only itself

// The code point at `i` of UTF-8 `s`, and the index after it. A byte that
// does not start a well-formed sequence is taken alone.
char32_t Next(std::string_view s, size_t& i) {
    const auto byte = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > s.size()) {
        ++i;
        return kNotUtf8 | b;
    }
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kNotUtf8 | b;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return c;
}

// Capital letters as their small letters.
char32_t Fold(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;        // Latin-1
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;     // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                   // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;                 // full-width Latin
    return c;
}

// True when `prefix` runs out while matching `text` (Prefix), or both run
// out together (Whole).
bool Matches(std::string_view text, std::string_view prefix, RowMatch match) {
    size_t i = 0, j = 0;
    while (j < prefix.size()) {
        if (i >= text.size()) return false;
        if (Fold(Next(text, i)) != Fold(Next(prefix, j))) return false;
    }
    return match == RowMatch::Prefix || i == text.size();
}

// True when `s` is one letter typed more than once ("sSs"); `character` is
// its first.
bool OneCharacterRepeated(std::string_view s, std::string_view& character) {
    size_t i = 0;
    const char32_t first = Fold(Next(s, i));
    character = s.substr(0, i);
    if (i >= s.size()) return false;
    while (i < s.size())
        if (Fold(Next(s, i)) != first) return false;
    return true;
}

}  // namespace

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return Matches(text, prefix, RowMatch::Prefix);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) { return Matches(a, b, RowMatch::Whole); }

std::optional<int> FindRow(const ListView& list, std::string_view text, int start, RowMatch match, bool wrap) {
    const int rows = list.RowCount();
    if (text.empty() || rows <= 0) return std::nullopt;
    if (start < 0 || start >= rows) start = 0;
    const int count = wrap ? rows : rows - start;
    for (int n = 0; n < count; ++n) {
        const int row = (start + n) % rows;
        if (Matches(list.Row(row).texts[0], text, match)) return row;
    }
    return std::nullopt;
}

std::optional<int> TypeAhead::Typed(const ListView& list, std::string_view text, int64_t nowMs,
                                    std::optional<int> focused) {
    if (text.empty()) return std::nullopt;
    const bool goingOn = last_ && nowMs >= *last_ && nowMs - *last_ < pauseMs_ && !search_.empty();
    if (!goingOn && text.front() == ' ') {
        last_.reset();
        search_.clear();
        return std::nullopt;
    }
    last_ = nowMs;
    if (goingOn)
        search_ += text;
    else
        search_ = text;

    const int after = focused ? *focused + 1 : 0;
    std::string_view character;
    if (OneCharacterRepeated(search_, character)) return FindRow(list, character, after);
    return FindRow(list, search_, goingOn && focused ? *focused : after);
}

}  // namespace solne
