// Code page 932 conversion and the UTF-8 validity test.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "Define/Cp932.h"
#include "common/TempBoard.h"

using namespace solne;
using solne::test::TempDir;
using solne::test::WriteBytes;

namespace {

std::string Encode(std::string_view utf8) {
    std::string out;
    EXPECT_TRUE(Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

std::string Decode(std::string_view cp932) {
    std::string out;
    EXPECT_TRUE(Cp932ToUtf8(cp932, out));
    return out;
}

}  // namespace

TEST(Cp932, MicrosoftCharactersRoundTripWithTheirBytes) {
    struct Case {
        const char* text;
        const char* bytes;
    } cases[] = {
        {"①", "\x87\x40"}, {"㈱", "\x87\x8A"}, {"Ⅲ", "\x87\x56"}, {"ⅰ", "\xFA\x40"},
        {"髙", "\xFB\xFC"}, {"～", "\x81\x60"}, {"ｱ", "\xB1"},     {"\\", "\x5C"},
        {"~", "\x7E"},      {"ソ", "\x83\x5C"}, {"表", "\x95\x5C"}, {"能", "\x94\x5C"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Encode(c.text), c.bytes) << c.text;
        EXPECT_EQ(Decode(c.bytes), c.text) << c.text;
    }
    std::string mixed = "abc,山田①\\ソ表～,x";
    EXPECT_EQ(Decode(Encode(mixed)), mixed);
}

TEST(Cp932, AsciiAndControlBytesPassThroughUnchanged) {
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) ascii += char(c);
    EXPECT_EQ(Encode(ascii), ascii);
    EXPECT_EQ(Decode(ascii), ascii);
    EXPECT_EQ(Decode(""), "");
}

TEST(Cp932, CharactersWithoutFormAreRefusedAtTheirOffset) {
    std::string out = "stale";
    size_t bad = 99;
    EXPECT_FALSE(Utf8ToCp932("ab\xC3\xA9", out, &bad));  // é
    EXPECT_EQ(bad, 2u);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(Utf8ToCp932("山田\xF0\x9F\x98\x80", out, &bad));  // emoji after 6 bytes
    EXPECT_EQ(bad, 6u);
}

TEST(Cp932, IllFormedUtf8IsRefused) {
    size_t bad = 99;
    std::string out;
    EXPECT_FALSE(Utf8ToCp932("a\xC0\xAF", out, &bad));  // overlong "/"
    EXPECT_EQ(bad, 1u);
    EXPECT_FALSE(Utf8ToCp932("\xED\xA0\x80", out, &bad));  // surrogate
    EXPECT_EQ(bad, 0u);
    EXPECT_FALSE(Utf8ToCp932("ab\xE3\x81", out, &bad));  // cut short
    EXPECT_EQ(bad, 2u);

    EXPECT_TRUE(IsValidUtf8("abc山田\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\x83\x5C"));  // "ソ" in code page 932
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_EQ(Utf8ErrorOffset("ok"), std::string_view::npos);
}

TEST(Cp932, BytesThatAreNotCodePage932FailAtTheirOffset) {
    struct Case {
        std::string bytes;
        size_t offset;
    } cases[] = {
        {"\x81\x20", 0}, {"ab\x80", 2}, {"\xA0", 0}, {"x\xFD", 1},
        {"abc\x83", 3},  // a lead byte with nothing after it
        {"\x93\xFA\x96\x7B\x83\x0D", 4},  // "日本" then a lead byte before CR
    };
    for (auto& c : cases) {
        std::string out = "stale";
        size_t bad = 99;
        EXPECT_FALSE(Cp932ToUtf8(c.bytes, out, &bad));
        EXPECT_EQ(bad, c.offset);
        EXPECT_TRUE(out.empty());
    }
}

TEST(Cp932, NeighbourFormsDecodeToTheirOwnCharacter) {
    // Bytes that decode to a character whose own encoding differs: decoding is
    // still exact, which is why lines the editor does not edit are copied as bytes.
    EXPECT_EQ(Decode("\x87\x90"), "≒");
    EXPECT_EQ(Encode("≒"), "\x81\xE0");
}
