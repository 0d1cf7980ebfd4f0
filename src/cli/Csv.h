// CSV as RFC 4180 has it (fields separated by commas, records by CR LF,
// fields with a comma, a double quote or a line break in double quotes,
// a double quote inside doubled), as spreadsheets write and read it; and the
// text encodings of such files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace solne::cli {

struct CsvRecord {
    int line = 0;  // line of the file the record begins on (from 1)
    std::vector<std::string> fields;
};

// A position in the file and what is wrong there. `column` is 0 when the
// problem is the whole line.
struct CsvProblem {
    int line = 0;
    int column = 0;
    std::string message;
};

enum class TextEncoding { Utf8Bom, Utf8, Cp932 };
const char* EncodingName(TextEncoding encoding);

// The text of a file as UTF-8: UTF-8 after a byte-order mark, UTF-8 when
// the bytes are valid UTF-8, else code page 932. False, with the line of the
// first byte that is neither, when the bytes are no text of these.
bool DecodeText(std::string_view bytes, std::string& utf8, TextEncoding& encoding, CsvProblem& problem);

// Splits UTF-8 text into records. Lines end with CR LF, LF or CR; a line
// break inside double quotes belongs to the field. Empty lines are skipped.
// False for a double quote inside an unquoted field, text after a closing
// double quote, or a double quote left open at the end.
bool ParseCsv(std::string_view text, std::vector<CsvRecord>& records, CsvProblem& problem);

// One field as RFC 4180 writes it: in double quotes when it holds a comma,
// a double quote, a line break, or begins or ends with a blank.
std::string CsvField(std::string_view value);
// One record, fields joined with commas, ending in CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace solne::cli
