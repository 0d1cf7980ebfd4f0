// The field reader of the data files, and the line splitter that the loader
// and the save share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Failure.h"

namespace solne {

// One line of a file: its text and its line end (CR LF, LF or a lone CR;
// "" for a last line without one).
struct TextLine {
    std::string_view text;
    std::string_view end;
};

// Takes the next line off the front of `rest`.
TextLine TakeLine(std::string_view& rest);

// One non-empty line of a data file, split into its fields.
struct FieldLine {
    int number = 0;                   // 1-based line number in the file
    std::vector<std::string> fields;  // raw bytes of each field
};

// The field reader. Works line by line: a field never runs into the next
// line; CR LF, LF and a lone CR each end a line. Blanks (space, tab) in front
// of a field are skipped; an unquoted field ends at a comma or the line end
// and loses trailing spaces; a quoted field is the text up to its closing
// quote, and what follows it up to the next comma or line end is ignored.
// The reader converts nothing: the fields are in the input's own encoding.
// Commas, quotes, blanks and line ends never occur inside a multi-byte
// character of code page 932 or UTF-8, so either may be split. The loader
// decodes a whole data file first and splits the UTF-8 text.
//
// Splits a file into its non-empty lines and their fields. Returns an error
// (line and problem; the caller adds the file) for an unterminated quote.
std::optional<Failure> ReadFieldLines(std::string_view bytes, std::vector<FieldLine>& out);

// Parses a number field: empty gives 0; otherwise a decimal integer (an
// optional sign and digits) within -32768..32767.
bool ParseNumberField(std::string_view field, int16_t& out);

}  // namespace solne
