// What may stand in a value of the data files. The writer's rule decides how
// a value is written so that the field reader gives it back unchanged, and
// refuses what cannot be written faithfully; the input rule refuses typed
// text that the writer would have to quote or refuse, so that whatever the
// editor accepts is written back unchanged.
#include "store/TextRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "Define/Cp932.h"

namespace solne {

namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }

bool HoldsLineBreak(std::string_view s) {
    for (char c : s)
        if (c == '\r' || c == '\n') return true;
    return false;
}

// Length in bytes of the UTF-8 character that starts at `at` (1 for a byte
// that starts no valid character).
size_t CharLength(std::string_view s, size_t at) {
    unsigned char c = static_cast<unsigned char>(s[at]);
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (at + len > s.size()) return 1;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 1;
    return len;
}

// The character at `at`, for a message: itself when it is valid UTF-8, else
// its byte in hex.
std::string ShowChar(std::string_view s, size_t at) {
    size_t len = CharLength(s, at);
    std::string_view ch = s.substr(at, len);
    if (IsValidUtf8(ch) && static_cast<unsigned char>(ch[0]) >= 0x20 && ch[0] != 0x7F)
        return "「" + std::string(ch) + "」";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(ch[0]));
    return std::string("バイト ") + hex;
}

// Offset of the first character that code page 932 does not give back as
// it is (the text's size when there is none).
size_t FirstChangedChar(std::string_view utf8) {
    std::string bytes, back;
    for (size_t at = 0; at < utf8.size();) {
        size_t len = CharLength(utf8, at);
        std::string_view ch = utf8.substr(at, len);
        if (!Utf8ToCp932(ch, bytes) || !Cp932ToUtf8(bytes, back) || back != ch) return at;
        at += len;
    }
    return utf8.size();
}

// Windows cannot use these as file names, with or without an extension.
bool IsReservedDeviceName(std::string_view name) {
    std::string base;
    for (char c : name.substr(0, name.find('.')))
        base += char(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

// What the board's Windows side needs of a per-user file name.
bool UsableAsWindowsFileName(std::string_view id) {
    for (char c : id) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
    }
    return !IsReservedDeviceName(id);
}

}  // namespace

bool NeedsQuotes(std::string_view utf8) {
    if (utf8.empty()) return false;
    return utf8.find(',') != std::string_view::npos || IsBlankChar(utf8.front()) ||
           IsBlankChar(utf8.back());
}

bool EncodeField(std::string_view utf8, FieldPlace place, std::string& cp932, std::string& problem) {
    cp932.clear();
    problem.clear();
    if (HoldsLineBreak(utf8)) {
        problem = "改行を含んでいます";
        return false;
    }
    bool quote = false;
    if (place == FieldPlace::NameLine) {
        // The name line is read whole; only "=" ends the name.
        if (utf8.find('=') != std::string_view::npos) {
            problem = "「=」を含んでいます";
            return false;
        }
    } else {
        if (!utf8.empty() && utf8.front() == '"') {
            problem = "先頭が「\"」です";
            return false;
        }
        quote = NeedsQuotes(utf8);
        if (quote && utf8.find('"') != std::string_view::npos) {
            problem = "「\"」で囲む必要がある値（「,」または前後の空白を含む）に「\"」を含んでいます";
            return false;
        }
    }
    std::string bytes;
    size_t bad = 0;
    if (!Utf8ToCp932(utf8, bytes, &bad)) {
        problem = "文字" + ShowChar(utf8, bad) + "はコードページ932で書けません";
        return false;
    }
    // Some characters are written in the form of a neighbour (¢ as ￠, 〜 as
    // ～): they would not read back as they are.
    std::string back;
    if (!Cp932ToUtf8(bytes, back) || back != utf8) {
        size_t at = std::min(FirstChangedChar(utf8), utf8.size() - 1);
        problem = "文字" + ShowChar(utf8, at) + "はコードページ932で別の文字として読み戻されます";
        return false;
    }
    cp932 = quote ? "\"" + bytes + "\"" : std::move(bytes);
    return true;
}

std::string NormalizeTyped(std::string_view utf8) {
    std::string out, bytes, back;
    while (!utf8.empty()) {
        size_t bad = 0;
        size_t goodLen = Utf8ToCp932(utf8, bytes, &bad) ? utf8.size() : bad;
        std::string_view good = utf8.substr(0, goodLen);
        if (goodLen < utf8.size()) Utf8ToCp932(good, bytes);
        out += Cp932ToUtf8(bytes, back) ? back : std::string(good);
        utf8.remove_prefix(goodLen);
        if (utf8.empty()) break;
        // A character with no form stays as typed, for the input rule to refuse.
        size_t len = CharLength(utf8, 0);
        out += utf8.substr(0, len);
        utf8.remove_prefix(len);
    }
    return out;
}

bool InputAllowed(InputBox box, std::string_view normalized) {
    std::string bytes, problem;
    // What the writer refuses: line breaks, a leading double quote, a
    // character with no form in code page 932.
    if (!EncodeField(normalized, FieldPlace::UserTxt, bytes, problem)) return false;
    // What the writer would have to quote, and tabs anywhere.
    if (normalized.find_first_of(",\t") != std::string_view::npos) return false;
    if (!normalized.empty() && (normalized.front() == ' ' || normalized.back() == ' ')) return false;
    if (box == InputBox::UserName && !EncodeField(normalized, FieldPlace::NameLine, bytes, problem))
        return false;
    if (box == InputBox::UserId && !UsableAsWindowsFileName(normalized)) return false;
    return true;
}

const char* InputRefusedMessage(InputBox box) {
    switch (box) {
    case InputBox::UserId: return "ユーザーIDに使用できない文字が含まれています。";
    case InputBox::PassWord: return "パスワードに使用できない文字が含まれています。";
    case InputBox::UserName: return "ユーザー(表示)名に使用できない文字が含まれています。";
    case InputBox::GroupName: return "グループ名に使用できない文字が含まれています。";
    }
    return "";
}

}  // namespace solne
