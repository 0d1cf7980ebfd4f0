// The field reader of the data files, and the line splitter that the loader
// and the save share.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
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

// One non-empty line of a data file, split into its fields: views into the
// text that was read, which must outlive them.
struct FieldLine {
    int number = 0;                            // 1-based line number in the file
    std::span<const std::string_view> fields;  // raw bytes of each field
};

// The non-empty lines of a file, with the fields of all of them in one
// array (a line costs no allocation of its own).
class FieldLines {
public:
    size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    FieldLine operator[](size_t i) const {
        const Line& l = lines_[i];
        return FieldLine{l.number, std::span<const std::string_view>(fields_).subspan(l.first, l.count)};
    }
    class iterator {
    public:
        iterator(const FieldLines* lines, size_t i) : lines_(lines), i_(i) {}
        FieldLine operator*() const { return (*lines_)[i_]; }
        iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const iterator&) const = default;

    private:
        const FieldLines* lines_;
        size_t i_;
    };
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, size()); }

private:
    friend std::optional<Failure> ReadFieldLines(std::string_view bytes, FieldLines& out);
    struct Line {
        int number;
        uint32_t first;  // index of its first field in fields_
        uint32_t count;
    };
    std::vector<Line> lines_;
    std::vector<std::string_view> fields_;
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
std::optional<Failure> ReadFieldLines(std::string_view bytes, FieldLines& out);

// Parses a number field: empty gives 0; otherwise a decimal integer (an
// optional sign and digits) within -32768..32767.
bool ParseNumberField(std::string_view field, int16_t& out);

}  // namespace solne
