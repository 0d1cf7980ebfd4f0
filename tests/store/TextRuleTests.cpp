// The writer's rule and the input rule: what is quoted, what is refused,
// and that whatever the input rule accepts reads back unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Define/Cp932.h"
#include "common/TempBoard.h"
#include "store/Load.h"
#include "store/Save.h"
#include "store/TextRules.h"

namespace solne {
namespace {

using test::Sjis;

std::string Encode(std::string_view v, FieldPlace place) {
    std::string bytes, problem;
    if (!EncodeField(v, place, bytes, problem)) return "REFUSED: " + problem;
    return bytes;
}

// The fields the loader's reader finds in one written line.
std::vector<std::string> ReadBack(const std::string& cp932Line) {
    std::string text;
    EXPECT_TRUE(Cp932ToUtf8(cp932Line, text));
    FieldLines lines;
    EXPECT_FALSE(ReadFieldLines(text, lines).has_value());
    if (lines.empty()) return {};
    return std::vector<std::string>(lines[0].fields.begin(), lines[0].fields.end());
}

TEST(WriterRule, QuotesOnlyWhatTheReaderWouldChange) {
    EXPECT_EQ(Encode("山田", FieldPlace::UserTxt), Sjis("山田"));
    EXPECT_EQ(Encode("", FieldPlace::GroupTxt), "");
    EXPECT_EQ(Encode("a b", FieldPlace::UserTxt), "a b");
    EXPECT_EQ(Encode("a\"b", FieldPlace::UserTxt), "a\"b");  // a quote inside an unquoted value is plain text
    EXPECT_EQ(Encode("営業,東京", FieldPlace::GroupTxt), Sjis("\"営業,東京\""));
    EXPECT_EQ(Encode(" pw", FieldPlace::UserTxt), "\" pw\"");
    EXPECT_EQ(Encode("pw ", FieldPlace::UserTxt), "\"pw \"");
    EXPECT_EQ(Encode("\tpw", FieldPlace::UserTxt), "\"\tpw\"");
    EXPECT_EQ(Encode("pw\t", FieldPlace::UserTxt), "\"pw\t\"");
    // The name line is read whole: never quoted.
    EXPECT_EQ(Encode(" 山田, 太郎 ", FieldPlace::NameLine), Sjis(" 山田, 太郎 "));
    EXPECT_EQ(Encode("\"山田", FieldPlace::NameLine), Sjis("\"山田"));

    for (std::string v : {"営業,東京", " a", "b ", "\tc", "d\t", "a\"b", "x y", "ソ表能", "①㈱Ⅲ髙～"}) {
        std::string line = Encode(v, FieldPlace::UserTxt) + "," + Encode(v, FieldPlace::UserTxt) + ",0";
        std::vector<std::string> want{v, v, "0"};
        EXPECT_EQ(ReadBack(line), want) << v;
    }
}

TEST(WriterRule, RefusesWhatCannotReadBackAndNamesIt) {
    auto problem = [](std::string_view v, FieldPlace place) {
        std::string bytes, why;
        EXPECT_FALSE(EncodeField(v, place, bytes, why)) << v;
        EXPECT_TRUE(bytes.empty());
        return why;
    };
    for (FieldPlace place : {FieldPlace::UserTxt, FieldPlace::GroupTxt, FieldPlace::NameLine}) {
        EXPECT_NE(problem("a\nb", place).find("改行"), std::string::npos);
        EXPECT_NE(problem("a\rb", place).find("改行"), std::string::npos);
        EXPECT_NE(problem("ab\r\n", place).find("改行"), std::string::npos);
        EXPECT_NE(problem("café", place).find("é"), std::string::npos);
        EXPECT_NE(problem("会議😀", place).find("😀"), std::string::npos);
        EXPECT_NE(problem("a\xFF", place).find("0xFF"), std::string::npos);  // not UTF-8
        // Written in a neighbour's form, read back as that neighbour.
        EXPECT_NE(problem("10¢", place).find("¢"), std::string::npos);
        EXPECT_NE(problem("9時〜", place).find("〜"), std::string::npos);
    }
    for (FieldPlace place : {FieldPlace::UserTxt, FieldPlace::GroupTxt}) {
        EXPECT_NE(problem("\"営業\"", place).find("\""), std::string::npos);
        EXPECT_NE(problem("a,\"b", place).find("\""), std::string::npos);
        EXPECT_NE(problem(" a\"b", place).find("\""), std::string::npos);
        std::string bytes, why;
        EXPECT_TRUE(EncodeField("a=b", place, bytes, why));
    }
    EXPECT_NE(problem("山=田", FieldPlace::NameLine).find("="), std::string::npos);
}

TEST(InputRule, NormalizesToWhatCodePage932ReadsBack) {
    EXPECT_EQ(NormalizeTyped("10〜12時"), "10～12時");
    EXPECT_EQ(NormalizeTyped("¥100"), "\\100");
    EXPECT_EQ(NormalizeTyped("A—B"), "A―B");
    EXPECT_EQ(NormalizeTyped("−‖¢£¬"), "－∥￠￡￢");
    EXPECT_EQ(NormalizeTyped("①㈱Ⅲ髙ｱ~"), "①㈱Ⅲ髙ｱ~");
    // Characters with no form stay, between normalized neighbours.
    EXPECT_EQ(NormalizeTyped("〜é—😀¥"), "～é―😀\\");
    EXPECT_EQ(NormalizeTyped(""), "");
    EXPECT_EQ(NormalizeTyped("a\xFF" "b"), "a\xFF" "b");
}

TEST(InputRule, RefusesInEveryBox) {
    for (InputBox box : {InputBox::UserId, InputBox::PassWord, InputBox::UserName, InputBox::GroupName}) {
        for (std::string bad : {"a,b", "a\tb", "a\nb", "a\rb", " a", "a ", "\"a", "café", "😀"})
            EXPECT_FALSE(InputAllowed(box, bad)) << int(box) << " " << bad;
        for (std::string good : {"", "a b", "山田 太郎", "①㈱Ⅲ髙～", "ａｂ"})
            EXPECT_TRUE(InputAllowed(box, good)) << int(box) << " " << good;
    }
    EXPECT_FALSE(InputAllowed(InputBox::UserName, "山=田"));
    EXPECT_TRUE(InputAllowed(InputBox::PassWord, "p=w\"x"));
    EXPECT_TRUE(InputAllowed(InputBox::GroupName, "営業=東京"));
}

TEST(InputRule, UserIdMustServeAsAWindowsFileName) {
    for (const std::string& bad : std::vector<std::string>{"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", std::string("a\0b", 3),
                            "a\x01" "b", "a\x7F", "CON", "con", "Prn", "aux.txt", "NUL.x.y", "COM1", "com9.dat",
                            "LPT1", "lpt9"})
        EXPECT_FALSE(InputAllowed(InputBox::UserId, bad)) << bad;
    for (std::string good : {"CONX", "ACON", "COM0", "COM10", "LPT", "con_1", ".hidden", "u01", "山田"})
        EXPECT_TRUE(InputAllowed(InputBox::UserId, good)) << good;
    // Only the ID box knows these rules.
    EXPECT_TRUE(InputAllowed(InputBox::PassWord, "CON"));
    EXPECT_TRUE(InputAllowed(InputBox::UserName, "a/b:c"));
}

TEST(InputRule, WarningTexts) {
    EXPECT_STREQ(InputRefusedMessage(InputBox::UserId), "ユーザーIDに使用できない文字が含まれています。");
    EXPECT_STREQ(InputRefusedMessage(InputBox::PassWord), "パスワードに使用できない文字が含まれています。");
    EXPECT_STREQ(InputRefusedMessage(InputBox::UserName), "ユーザー(表示)名に使用できない文字が含まれています。");
    EXPECT_STREQ(InputRefusedMessage(InputBox::GroupName), "グループ名に使用できない文字が含まれています。");
}

// Every text of up to three characters from an alphabet of awkward ones.
std::vector<std::string> AwkwardTexts() {
    const std::vector<std::string> alphabet{"a", " ", "\t", ",", "\"", "=", "\n", "\r", "あ", "〜", "é", "\\", "/", "ソ"};
    std::vector<std::string> out{""};
    size_t from = 0;
    for (int len = 1; len <= 3; ++len) {
        size_t to = out.size();
        for (size_t i = from; i < to; ++i)
            for (auto& c : alphabet) out.push_back(out[i] + c);
        from = to;
    }
    return out;
}

// The input rule is stricter than the writer's rule: what it accepts the
// writer takes without quotes, in every place the box's text is written.
TEST(InputRule, AcceptsOnlyWhatTheWriterTakesUnquoted) {
    int accepted = 0;
    for (const std::string& typed : AwkwardTexts()) {
        std::string text = NormalizeTyped(typed);
        for (InputBox box : {InputBox::UserId, InputBox::PassWord, InputBox::UserName, InputBox::GroupName}) {
            if (!InputAllowed(box, text)) continue;
            ++accepted;
            FieldPlace place = box == InputBox::UserName    ? FieldPlace::NameLine
                               : box == InputBox::GroupName ? FieldPlace::GroupTxt
                                                            : FieldPlace::UserTxt;
            std::string bytes, problem;
            EXPECT_TRUE(EncodeField(text, place, bytes, problem)) << text;
            EXPECT_FALSE(NeedsQuotes(text)) << text;
            EXPECT_EQ(bytes, Sjis(text));
        }
    }
    EXPECT_GT(accepted, 500);
}

// ... and what it accepts comes back unchanged from a saved and reloaded board.
TEST(InputRule, AcceptedTextsSurviveSaveAndLoad) {
    test::TempDir dir;
    test::WriteBoard(dir.path(), {});
    BoardPaths paths = BoardPaths::For(dir.path());
    UserTable users;
    GroupTable groups;
    int n = 0;
    for (const std::string& typed : AwkwardTexts()) {
        std::string text = NormalizeTyped(typed);
        if (!InputAllowed(InputBox::PassWord, text)) continue;
        ++n;
        UserInfo u;
        std::string id = std::to_string(n) + text;
        u.UserId = InputAllowed(InputBox::UserId, id) ? id : std::to_string(n);
        u.PassWord = text;
        u.UserName = InputAllowed(InputBox::UserName, text) ? text : "";
        u.GroupNo = int16_t(n);
        users.push_back(u);
        groups.push_back(GroupInfo{int16_t(n), text});
    }
    ASSERT_GT(n, 100);
    SaveReport report = SaveBoard(RealFileSystem(), paths, users, groups);
    ASSERT_TRUE(report.ok()) << (report.failures.empty() ? "" : report.failures[0].ToString());

    LoadedBoard back;
    auto err = LoadBoard(RealFileSystem(), paths, back);
    ASSERT_FALSE(err.has_value()) << err->ToString();
    ASSERT_EQ(back.Users.size(), users.size());
    ASSERT_EQ(back.Groups.size(), groups.size());
    for (size_t i = 0; i < users.size(); ++i) {
        EXPECT_EQ(back.Users[i].UserId, users[i].UserId);
        EXPECT_EQ(back.Users[i].PassWord, users[i].PassWord);
        EXPECT_EQ(back.Users[i].UserName, users[i].UserName);
        EXPECT_EQ(back.Groups[i].GroupName, groups[i].GroupName);
    }
}

}  // namespace
}  // namespace solne
