// Type-ahead in a list: what the user types while a list has the focus picks
// the next row whose first column (the display name in the user list, the
// group name in the group list) starts with it, letters compared without
// case. Both toolkits use this one rule and select the row it gives as an
// arrow key would, so the list's item-click handler runs as for any
// selection the user makes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frmMain/Controls.h"

namespace solne {

// True when UTF-8 `text` starts with `prefix`, letters compared without case
// (Latin, full-width Latin, Greek and Cyrillic capitals match their small
// letters). Bytes that are no UTF-8 only match themselves.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
// The same for the whole text.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

enum class RowMatch { Prefix, Whole };

// The first row from `start` on whose first column matches `text`; with
// `wrap`, going on from row 0 up to the row before `start`. nullopt when no
// row matches, the list has no rows, or `text` is empty.
std::optional<int> FindRow(const ListView& list, std::string_view text, int start, RowMatch match = RowMatch::Prefix,
                           bool wrap = true);

// The text typed into one list, gathered while the keys come in quick
// succession and started afresh after a pause.
class TypeAhead {
public:
    // A pause of `pauseMs` milliseconds or more starts a new search.
    explicit TypeAhead(int64_t pauseMs) : pauseMs_(pauseMs) {}

    // `text` (UTF-8: one key, or what the input method composed) was typed at
    // `nowMs` (any steady clock in milliseconds) while `focused` was the
    // list's focused row. Returns the row to select, or nullopt to leave the
    // list as it is (no row matches).
    //  - A new search starts after the focused row (at row 0 without one) and
    //    goes round the list.
    //  - Typing on within the pause extends the search, which then starts at
    //    the focused row, so the row found so far stays while it matches.
    //  - The same letter typed again and again steps through the rows that
    //    start with it.
    //  - A blank that would start a new search is not taken (Space selects
    //    the focused row in a list).
    std::optional<int> Typed(const ListView& list, std::string_view text, int64_t nowMs, std::optional<int> focused);

    // What has been gathered so far.
    const std::string& Search() const { return search_; }

private:
    int64_t pauseMs_;
    std::string search_;
    std::optional<int64_t> last_;
};

}  // namespace solne
