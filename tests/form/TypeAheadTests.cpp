// The type-ahead rule both toolkits use: which row a typed text picks, from
// where, and when the gathered text starts afresh.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "fake/FakeToolkit.h"
#include "frmMain/TypeAhead.h"

namespace solne {
namespace {

using test::FakeListView;

FakeListView ListOf(std::initializer_list<const char*> names) {
    FakeListView list(true);
    std::vector<ListRow> rows;
    int slot = 0;
    for (const char* name : names) rows.push_back({{name, "id" + std::to_string(slot), ""}, slot++});
    list.SetRows(std::move(rows));
    return list;
}

TEST(TypeAheadTest, LettersMatchWithoutCaseOnlyAtTheStart) {
    EXPECT_TRUE(StartsWithIgnoringCase("Suzuki", "suz"));
    EXPECT_TRUE(StartsWithIgnoringCase("suzuki", "SUZ"));
    EXPECT_TRUE(StartsWithIgnoringCase("Ｓａｔｏ", "ｓＡ"));  // full-width
    EXPECT_TRUE(StartsWithIgnoringCase("Élodie", "él"));
    EXPECT_TRUE(StartsWithIgnoringCase("Дмитрий", "дм"));
    EXPECT_TRUE(StartsWithIgnoringCase("佐藤 花子", "佐藤 "));
    EXPECT_FALSE(StartsWithIgnoringCase("佐藤", "さとう"));
    EXPECT_FALSE(StartsWithIgnoringCase("Kato", "ato"));
    EXPECT_FALSE(StartsWithIgnoringCase("Sa", "Sat"));
    EXPECT_FALSE(StartsWithIgnoringCase("s\xE0", "s\xC0"));  // bytes that are no UTF-8: only themselves
    EXPECT_TRUE(StartsWithIgnoringCase("s\xE0x", "s\xE0"));
    EXPECT_TRUE(EqualsIgnoringCase("Sato", "sATO"));
    EXPECT_FALSE(EqualsIgnoringCase("Satou", "sato"));
}

TEST(TypeAheadTest, FindRowGoesRoundFromTheStartRow) {
    FakeListView list = ListOf({"Abe", "sato", "Ito", "Saito", "suzuki"});
    EXPECT_EQ(FindRow(list, "s", 0), 1);
    EXPECT_EQ(FindRow(list, "s", 2), 3);
    EXPECT_EQ(FindRow(list, "a", 1), 0) << "wraps to the top";
    EXPECT_EQ(FindRow(list, "a", 1, RowMatch::Prefix, false), std::nullopt);
    EXPECT_EQ(FindRow(list, "SAITO", 0, RowMatch::Whole), 3);
    EXPECT_EQ(FindRow(list, "sai", 0, RowMatch::Whole), std::nullopt);
    EXPECT_EQ(FindRow(list, "x", 0), std::nullopt);
    EXPECT_EQ(FindRow(list, "", 0), std::nullopt);
    EXPECT_EQ(FindRow(list, "s", 99), 1) << "a start past the end starts at the top";
    EXPECT_EQ(FindRow(ListOf({}), "s", 0), std::nullopt);
}

TEST(TypeAheadTest, TypingOnExtendsTheSearchAndAPauseStartsAfresh) {
    FakeListView list = ListOf({"sato", "Suzuki", "saito", "Sasaki", "takahashi"});
    TypeAhead typed(1000);
    // A new search starts after the focused row.
    EXPECT_EQ(typed.Typed(list, "s", 0, 0), 1);
    // Going on within the pause: the row found so far stays while it matches.
    EXPECT_EQ(typed.Typed(list, "u", 300, 1), 1);
    EXPECT_EQ(typed.Typed(list, "z", 600, 1), 1);
    EXPECT_EQ(typed.Search(), "suz");
    // No row matches: nothing moves, the text is kept.
    EXPECT_EQ(typed.Typed(list, "x", 900, 1), std::nullopt);
    // After the pause the search starts afresh, after the focused row.
    EXPECT_EQ(typed.Typed(list, "S", 2000, 1), 2);
    EXPECT_EQ(typed.Search(), "S");
    EXPECT_EQ(typed.Typed(list, "as", 2100, 2), 3) << "composed text goes on the same way";
    // No focused row: from the top.
    TypeAhead fresh(1000);
    EXPECT_EQ(fresh.Typed(list, "t", 0, std::nullopt), 4);
    // A clock going back is a new search, not a continuation.
    EXPECT_EQ(fresh.Typed(list, "s", -5, 4), 0);
    EXPECT_EQ(fresh.Search(), "s");
}

TEST(TypeAheadTest, TheSameLetterAgainStepsThroughItsRows) {
    FakeListView list = ListOf({"sato", "Ito", "Suzuki", "saito", "abe"});
    TypeAhead typed(1000);
    EXPECT_EQ(typed.Typed(list, "s", 0, std::nullopt), 0);
    EXPECT_EQ(typed.Typed(list, "s", 100, 0), 2);
    EXPECT_EQ(typed.Typed(list, "S", 200, 2), 3) << "by its letter, not by its case";
    EXPECT_EQ(typed.Typed(list, "s", 300, 3), 0) << "and round";
    // Japanese names the same way.
    FakeListView japanese = ListOf({"佐藤", "鈴木", "佐々木"});
    TypeAhead kanji(1000);
    EXPECT_EQ(kanji.Typed(japanese, "佐", 0, 0), 2);
    EXPECT_EQ(kanji.Typed(japanese, "佐", 10, 2), 0);
    EXPECT_EQ(kanji.Typed(japanese, "佐", 20, 0), 2);
}

TEST(TypeAheadTest, ABlankStartsNoSearchButGoesOnInOne) {
    FakeListView list = ListOf({"佐藤 花子", "佐藤 一郎", "佐藤二郎"});
    TypeAhead typed(1000);
    EXPECT_EQ(typed.Typed(list, " ", 0, 0), std::nullopt);
    EXPECT_EQ(typed.Search(), "");
    EXPECT_EQ(typed.Typed(list, "佐藤", 5000, 0), 1);
    EXPECT_EQ(typed.Typed(list, " ", 5100, 1), 1);
    EXPECT_EQ(typed.Typed(list, "花", 5200, 1), 0);
    EXPECT_EQ(typed.Search(), "佐藤 花");
}

}  // namespace
}  // namespace solne
