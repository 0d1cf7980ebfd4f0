// Code page 932 both ways, every double-byte pair and every single byte:
// our layer (glibc iconv on Linux; MultiByteToWideChar / WideCharToMultiByte
// on Windows) against the tables in data/, made once from the Linux layer.
// On Windows the bare services are held against the same tables as well:
// where they differ the test names it, and the Windows layer follows the
// tables (see kServiceDifferences).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

#include "Define/Cp932.h"
#include "Vectors.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace solne;
using namespace solne::test;

namespace {

using DecodeFn = std::function<bool(std::string_view, std::u32string&)>;
using EncodeFn = std::function<bool(char32_t, std::string&)>;

std::u32string CodePoints(std::string_view utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < len && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

std::string Utf8Of(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += char(cp);
    } else if (cp < 0x800) {
        s += char(0xC0 | (cp >> 6));
        s += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += char(0xE0 | (cp >> 12));
        s += char(0x80 | ((cp >> 6) & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    } else {
        s += char(0xF0 | (cp >> 18));
        s += char(0x80 | ((cp >> 12) & 0x3F));
        s += char(0x80 | ((cp >> 6) & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    }
    return s;
}

std::string CpHex(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", unsigned(cp));
    return buf;
}

bool IsLead(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The byte sequences of the tables: every single byte, and every pair of a
// lead byte (81-9F, E0-FC) with a trail byte from 40 to FC. A pair whose
// first byte is no lead byte is two single bytes.
std::vector<std::string> Sequences() {
    std::vector<std::string> out;
    for (int b = 0; b < 256; ++b) out.push_back(std::string(1, char(b)));
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLead(lead)) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) out.push_back({char(lead), char(trail)});
    }
    return out;
}

// Every code point of the Basic Multilingual Plane but the surrogates, and a
// few beyond it.
std::vector<char32_t> CodePointsToEncode() {
    std::vector<char32_t> out;
    for (char32_t cp = 1; cp <= 0xFFFF; ++cp)
        if (cp < 0xD800 || cp > 0xDFFF) out.push_back(cp);
    for (char32_t cp : {0x1F600u, 0x20B9Fu, 0x2000Bu, 0x10FFFFu}) out.push_back(cp);
    return out;
}

// "bytes<TAB>code points" for every sequence that decodes.
std::vector<std::string> DecodeTable(const DecodeFn& decode) {
    std::vector<std::string> lines;
    std::u32string cps;
    for (auto& seq : Sequences()) {
        if (!decode(seq, cps)) continue;
        std::string l = Hex(seq) + "\t";
        for (size_t i = 0; i < cps.size(); ++i) l += (i ? " " : "") + CpHex(cps[i]);
        lines.push_back(l);
    }
    return lines;
}

// "code point<TAB>bytes" for every code point that encodes.
std::vector<std::string> EncodeTable(const EncodeFn& encode) {
    std::vector<std::string> lines;
    std::string bytes;
    for (char32_t cp : CodePointsToEncode())
        if (encode(cp, bytes)) lines.push_back(CpHex(cp) + "\t" + Hex(bytes));
    return lines;
}

// "code point<TAB>bytes<TAB>code point read back" for every code point that
// encodes to bytes that read back as another character: a neighbour.
std::vector<std::string> Neighbours(const DecodeFn& decode, const EncodeFn& encode) {
    std::vector<std::string> lines;
    std::string bytes;
    std::u32string back;
    for (char32_t cp : CodePointsToEncode()) {
        if (!encode(cp, bytes)) continue;
        if (!decode(bytes, back)) {
            lines.push_back(CpHex(cp) + "\t" + Hex(bytes) + "\t-");
        } else if (back != std::u32string(1, cp)) {
            std::string l = CpHex(cp) + "\t" + Hex(bytes) + "\t";
            for (size_t i = 0; i < back.size(); ++i) l += (i ? " " : "") + CpHex(back[i]);
            lines.push_back(l);
        }
    }
    return lines;
}

bool LayerDecode(std::string_view bytes, std::u32string& out) {
    std::string utf8;
    if (!Cp932ToUtf8(bytes, utf8)) return false;
    out = CodePoints(utf8);
    return true;
}

bool LayerEncode(char32_t cp, std::string& out) { return Utf8ToCp932(Utf8Of(cp), out); }

void ExpectTable(const char* name, const char* header, const std::vector<std::string>& actual,
                 const std::set<std::string>& named = {}) {
    if (WriteVectorsIfAsked(name, header, actual)) return;
    std::set<std::string> diffs = LineDifferences(ExpectedLines(name), actual);
    std::set<std::string> unnamed, unseen;
    for (auto& d : diffs)
        if (!named.contains(d)) unnamed.insert(d);
    for (auto& d : named)
        if (!diffs.contains(d)) unseen.insert(d);
    EXPECT_TRUE(unnamed.empty()) << name << ": " << unnamed.size() << " differences not named:\n" << ShowSome(unnamed);
    EXPECT_TRUE(unseen.empty()) << name << ": named differences that did not occur:\n" << ShowSome(unseen);
}

constexpr const char* kDecodeHeader =
    "Code page 932 decoded: every single byte and every pair of a lead byte (81-9F, E0-FC)\n"
    "with a trail byte 40-FC. One line per sequence that decodes: bytes, TAB, code points.\n"
    "Sequences not listed are refused. Made by the differential tests (SOLNE_WRITE_VECTORS).";
constexpr const char* kEncodeHeader =
    "Code page 932 encoded: every code point U+0001-U+FFFF but the surrogates, and U+1F600,\n"
    "U+20B9F, U+2000B, U+10FFFF. One line per code point that has a form: code point, TAB, bytes.\n"
    "Code points not listed are refused (no best fit, no \"?\").";
constexpr const char* kNeighbourHeader =
    "Code points whose code page 932 form reads back as another character (a neighbour):\n"
    "code point, TAB, bytes, TAB, the code point read back.";

}  // namespace

TEST(Cp932Vectors, EveryPairAndSingleByteDecodesAsTheTableSays) {
    ExpectTable("cp932-decode.txt", kDecodeHeader, DecodeTable(LayerDecode));
}

TEST(Cp932Vectors, EveryCodePointEncodesAsTheTableSays) {
    ExpectTable("cp932-encode.txt", kEncodeHeader, EncodeTable(LayerEncode));
}

TEST(Cp932Vectors, NeighboursAreTheNamedOnes) {
    ExpectTable("cp932-neighbours.txt", kNeighbourHeader, Neighbours(LayerDecode, LayerEncode));
}

#ifdef _WIN32
namespace {

// The bare services, as the layer calls them.
bool ServiceDecode(std::string_view bytes, std::u32string& out) {
    wchar_t wide[8];
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), wide, 8);
    if (n <= 0) return false;
    out.clear();
    for (int i = 0; i < n; ++i) out += char32_t(wide[i]);
    return true;
}

bool ServiceEncode(char32_t cp, std::string& out) {
    std::wstring wide;
    if (cp >= 0x10000) {
        wide += wchar_t(0xD800 + ((cp - 0x10000) >> 10));
        wide += wchar_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        wide += wchar_t(cp);
    }
    char buf[8];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), buf, 8, nullptr,
                                &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.assign(buf, size_t(n));
    return true;
}

// Where the bare Windows services (checked under Wine 8) depart from the
// tables. Our Windows layer follows the tables in each case:
// - 80 decodes to U+0080, and U+0080, U+F8F0-U+F8F3 encode as 80, A0, FD,
//   FE, FF: no characters of code page 932; refused, as on Linux.
// - The nine neighbours that glibc writes have only best-fit forms in
//   Windows, which WC_NO_BEST_FIT_CHARS refuses; the layer writes them as
//   on Linux (they read back as their neighbour on both).
const std::set<std::string> kNineNeighbours = {
    "00A2\t8191", "00A3\t8192", "00A5\t5C", "00AC\t81CA", "2014\t815C",
    "2016\t8161", "203E\t7E",   "2212\t817C", "301C\t8160"};
const std::set<std::string> kNeighbourReadBack = {
    "00A2\t8191\tFFE0", "00A3\t8192\tFFE1", "00A5\t5C\t005C",   "00AC\t81CA\tFFE2", "2014\t815C\t2015",
    "2016\t8161\t2225", "203E\t7E\t007E",   "2212\t817C\tFF0D", "301C\t8160\tFF5E"};

std::set<std::string> With(std::set<std::string> extra, const std::set<std::string>& lines, const char* sign) {
    for (auto& l : lines) extra.insert(sign + l);
    return extra;
}

}  // namespace

TEST(Cp932Vectors, BareWindowsServicesDifferOnlyWhereNamed) {
    ExpectTable("cp932-decode.txt", kDecodeHeader, DecodeTable(ServiceDecode), {"+80\t0080"});
    ExpectTable("cp932-encode.txt", kEncodeHeader, EncodeTable(ServiceEncode),
                With({"+0080\t80", "+F8F0\tA0", "+F8F1\tFD", "+F8F2\tFE", "+F8F3\tFF"}, kNineNeighbours, "-"));
    ExpectTable("cp932-neighbours.txt", kNeighbourHeader, Neighbours(ServiceDecode, ServiceEncode),
                With({"+F8F0\tA0\t-", "+F8F1\tFD\t-", "+F8F2\tFE\t-", "+F8F3\tFF\t-"}, kNeighbourReadBack, "-"));
}
#endif
