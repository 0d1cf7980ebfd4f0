// What may stand in a value of the data files: the writer's rule (what the
// save can write so that it reads back unchanged) and the stricter input
// rule for text typed into the editor.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace solne {

// Where a value is written.
enum class FieldPlace {
    UserTxt,   // a field of "user.txt"
    GroupTxt,  // a field of "group.txt"
    NameLine,  // the display name after "username=" in a per-user file
};

// Whether a value of "user.txt" / "group.txt" must be written in double
// quotes to read back unchanged: it holds a comma, or begins or ends with a
// space or a tab.
bool NeedsQuotes(std::string_view utf8);

// The writer's rule. On success `cp932` holds the bytes to write (quoted
// when needed). On failure returns false and `problem` says which character
// cannot be written (a line break; in "user.txt"/"group.txt" a leading
// double quote, or a double quote in a value that needs quotes; "=" in a
// display name; a character with no form in code page 932).
bool EncodeField(std::string_view utf8, FieldPlace place, std::string& cp932, std::string& problem);

// The boxes of the window whose text the input rule checks.
enum class InputBox { UserId, PassWord, UserName, GroupName };

// What code page 932 reads back for a typed text: every character that code
// page 932 writes in a neighbouring form becomes that form (〜 -> ～,
// ¥ -> \, — -> ―). Characters with no form at all are kept, so the input rule
// can refuse them.
std::string NormalizeTyped(std::string_view utf8);

// The input rule, applied to normalized text: refuses a comma, a tab or a
// line break, a leading or trailing space, a leading double quote, a
// character with no form in code page 932; for a display name also "=";
// for an ID also \ / : * ? " < > |, control characters and the reserved
// device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, any case, any extension).
// Empty text is allowed here (the empty-field tests come first).
bool InputAllowed(InputBox box, std::string_view normalized);

// The warning shown when the input rule refuses a box's text.
const char* InputRefusedMessage(InputBox box);

}  // namespace solne
