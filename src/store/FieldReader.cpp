// The field reader of the data files and the line splitter.
#include "store/FieldReader.h"

#include <algorithm>

#include "Define/Define.h"

namespace solne {

namespace {

constexpr const char* kOpenQuote = "二重引用符が閉じていません";

// Length of the line end at `i` (CR LF, LF or a lone CR), 0 when none.
size_t LineEndAt(std::string_view s, size_t i) {
    if (i >= s.size()) return 0;
    if (s[i] == '\n') return 1;
    if (s[i] == '\r') return (i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
    return 0;
}

// Splits one line (without its line end) into fields, appended to
// `fields`. False on an unterminated quote.
bool SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    size_t p = 0;
    const size_t n = line.size();
    for (;;) {
        while (p < n && (line[p] == ' ' || line[p] == '\t')) ++p;
        size_t comma;
        if (p < n && line[p] == '"') {
            size_t close = line.find('"', p + 1);
            if (close == std::string_view::npos) return false;
            fields.emplace_back(line.substr(p + 1, close - p - 1));
            comma = line.find(',', close + 1);  // text after the quote is ignored
        } else {
            comma = line.find(',', p);
            size_t end = comma == std::string_view::npos ? n : comma;
            while (end > p && line[end - 1] == ' ') --end;
            fields.emplace_back(line.substr(p, end - p));
        }
        if (comma == std::string_view::npos) return true;
        p = comma + 1;
    }
}

}  // namespace

TextLine TakeLine(std::string_view& rest) {
    // A plain scan: find_first_of would look up every byte in the set.
    size_t at = 0;
    while (at < rest.size() && rest[at] != '\n' && rest[at] != '\r') ++at;
    if (at == rest.size()) {
        TextLine l{rest, {}};
        rest = {};
        return l;
    }
    size_t len = LineEndAt(rest, at);
    TextLine l{rest.substr(0, at), rest.substr(at, len)};
    rest.remove_prefix(at + len);
    return l;
}

std::optional<Failure> ReadFieldLines(std::string_view bytes, FieldLines& out) {
    out.lines_.clear();
    out.fields_.clear();
    // Room for every line at once, and for three fields a line, as the
    // data files hold: the arrays are not copied as they grow.
    const size_t lineEnds = size_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    out.lines_.reserve(lineEnds);
    out.fields_.reserve(lineEnds * 3);
    int number = 0;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        ++number;
        std::string_view line = TakeLine(rest).text;
        if (line.empty()) continue;
        const size_t first = out.fields_.size();
        if (!SplitFields(line, out.fields_)) {
            out.lines_.clear();
            out.fields_.clear();
            return Problem("", number, kOpenQuote);
        }
        out.lines_.push_back({number, uint32_t(first), uint32_t(out.fields_.size() - first)});
    }
    return std::nullopt;
}

bool ParseNumberField(std::string_view field, int16_t& out) {
    if (field.empty()) {
        out = 0;
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (field[0] == '+' || field[0] == '-') {
        negative = field[0] == '-';
        i = 1;
    }
    if (i == field.size()) return false;
    int value = 0;
    for (; i < field.size(); ++i) {
        char c = field[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > 32768) return false;
    }
    if (negative) value = -value;
    if (value < kMinGroupNo || value > kMaxGroupNo) return false;
    out = int16_t(value);
    return true;
}

}  // namespace solne
