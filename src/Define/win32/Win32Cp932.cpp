// Code page 932 to and from UTF-8 through the Windows services:
// MultiByteToWideChar(932, MB_ERR_INVALID_CHARS) and
// WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS) with the used-default flag,
// so that bytes that are not code page 932 and characters that have no form
// in it are refused, never guessed or replaced by "?". Pure ASCII passes
// through unchanged.
//
// The result is the same as the POSIX layer's (glibc's CP932), byte for
// byte, on every pair and every code point (tests/differential). Where the
// bare Windows services differ, this layer follows the POSIX one:
// - The single bytes 80, A0, FD, FE and FF are no characters of code page
//   932: Windows decodes 80 as U+0080 and encodes U+0080 and U+F8F0-U+F8F3
//   as these bytes. Both are refused here, so a data file holding them is
//   reported on every platform.
// - Nine characters are written in the form of a neighbour that Windows
//   reads back, as glibc does (Windows has them only among its best-fit
//   mappings, which are otherwise refused): 〜 U+301C as ～ (81 60), — U+2014
//   as ― (81 5C), ‖ U+2016 as ∥ (81 61), − U+2212 as － (81 7C), ¢ £ ¬ as
//   ￠ ￡ ￢, ¥ U+00A5 as "\" and ‾ U+203E as "~". The editor shows such text
//   as it will read back.
#include <algorithm>
#include <climits>

#include <windows.h>

#include "Define/Cp932.h"
#include "Define/win32/WinText.h"

namespace solne {

namespace {

constexpr UINT kCp932 = 932;

size_t AsciiPrefix(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsNoCharacter(unsigned char c) { return c == 0x80 || c == 0xA0 || c >= 0xFD; }

// The offset of the first single byte that is no character (80, A0,
// FD-FF), or of a lead byte without a trail byte; in.size() when none.
size_t FirstStrayByte(std::string_view in) {
    for (size_t i = 0; i < in.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (IsLeadByte(c)) {
            if (i + 1 == in.size()) return i;
            ++i;
        } else if (IsNoCharacter(c)) {
            return i;
        }
    }
    return in.size();
}

// The neighbour written for a character that has no form of its own, or 0.
wchar_t Neighbour(wchar_t c) {
    switch (c) {
    case 0x301C: return 0xFF5E;
    case 0x2014: return 0x2015;
    case 0x2016: return 0x2225;
    case 0x2212: return 0xFF0D;
    case 0x00A2: return 0xFFE0;
    case 0x00A3: return 0xFFE1;
    case 0x00AC: return 0xFFE2;
    case 0x00A5: return L'\\';
    case 0x203E: return L'~';
    default: return 0;
    }
}

// Characters that Windows would encode as a byte that is no character.
bool EncodesAsStrayByte(wchar_t c) { return c == 0x0080 || (c >= 0xF8F0 && c <= 0xF8F3); }

bool DecodeCp932(std::string_view in, std::wstring& out) { return win32::Decode(kCp932, in, out); }

bool EncodeCp932(std::wstring_view original, std::string& out) {
    out.clear();
    if (original.empty()) return true;
    std::wstring in(original);
    for (auto& c : in) {
        if (EncodesAsStrayByte(c)) return false;
        if (wchar_t n = Neighbour(c)) c = n;
    }
    if (in.size() > size_t(INT_MAX) / 2) return false;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, in.data(), int(in.size()), nullptr, 0, nullptr,
                                &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.resize(size_t(n));
    usedDefault = FALSE;
    n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, in.data(), int(in.size()), out.data(), n, nullptr,
                            &usedDefault);
    return n == int(out.size()) && !usedDefault;
}

// The offset of the first character of `in` (code page 932) that does not
// decode on its own: a lead byte and its trail byte are one character.
size_t FirstBadCp932(std::string_view in) {
    std::wstring ignored;
    size_t i = 0;
    while (i < in.size()) {
        size_t len = IsLeadByte(static_cast<unsigned char>(in[i])) ? 2 : 1;
        if (i + len > in.size() || !DecodeCp932(in.substr(i, len), ignored)) return i;
        i += len;
    }
    return in.size();
}

// The offset of the first character of `in` (valid UTF-8) without a code
// page 932 form.
size_t FirstUnencodable(std::string_view in) {
    std::wstring wide;
    std::string ignored;
    size_t i = 0;
    while (i < in.size()) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (!win32::Widen(in.substr(i, len), wide) || !EncodeCp932(wide, ignored)) return i;
        i += len;
    }
    return in.size();
}

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string& utf8, size_t* badOffset) {
    utf8.clear();
    size_t prefix = AsciiPrefix(cp932);
    if (prefix == cp932.size()) {
        utf8.assign(cp932);
        return true;
    }
    std::string_view rest = cp932.substr(prefix);
    std::wstring wide;
    std::string tail;
    if (size_t stray = FirstStrayByte(rest); stray < rest.size()) {
        if (badOffset) *badOffset = prefix + std::min(stray, FirstBadCp932(rest));
        return false;
    }
    if (DecodeCp932(rest, wide) && win32::Narrow(wide, tail)) {
        utf8.assign(cp932.substr(0, prefix));
        utf8 += tail;
        return true;
    }
    if (badOffset) *badOffset = prefix + FirstBadCp932(rest);
    return false;
}

bool Utf8ToCp932(std::string_view utf8, std::string& cp932, size_t* badOffset) {
    cp932.clear();
    size_t bad = Utf8ErrorOffset(utf8);
    if (bad != std::string_view::npos) {
        if (badOffset) *badOffset = bad;
        return false;
    }
    size_t prefix = AsciiPrefix(utf8);
    if (prefix == utf8.size()) {
        cp932.assign(utf8);
        return true;
    }
    std::string_view rest = utf8.substr(prefix);
    std::wstring wide;
    std::string tail;
    if (win32::Widen(rest, wide) && EncodeCp932(wide, tail)) {
        cp932.assign(utf8.substr(0, prefix));
        cp932 += tail;
        return true;
    }
    if (badOffset) *badOffset = prefix + FirstUnencodable(rest);
    return false;
}

}  // namespace solne
