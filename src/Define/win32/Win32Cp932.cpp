// Code page 932 to and from UTF-8 through the Windows services:
// MultiByteToWideChar(932, MB_ERR_INVALID_CHARS) and
// WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS) with the used-default flag,
// so that bytes that are not code page 932 and characters that have no form
// in it are refused, never guessed or replaced by "?". Pure ASCII passes
// through unchanged.
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

bool DecodeCp932(std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    if (in.size() > size_t(INT_MAX)) return false;
    int n = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(size_t(n));
    return MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), out.data(), n) == n;
}

bool EncodeCp932(std::wstring_view in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
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
