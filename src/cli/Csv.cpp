#include "cli/Csv.h"

#include "Define/Cp932.h"

namespace solne::cli {

const char* EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom: return "UTF-8 (BOM)";
        case TextEncoding::Utf8: return "UTF-8";
        case TextEncoding::Cp932: return "CP932";
    }
    return "";
}

namespace {

int LineAt(std::string_view bytes, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < bytes.size(); ++i)
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) ++line;
    return line;
}

}  // namespace

bool DecodeText(std::string_view bytes, std::string& utf8, TextEncoding& encoding, CsvProblem& problem) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        const size_t bad = Utf8ErrorOffset(bytes);
        if (bad != std::string_view::npos) {
            problem = {LineAt(bytes, bad), 0, "UTF-8 でないバイトがあります。"};
            return false;
        }
        utf8.assign(bytes);
        encoding = TextEncoding::Utf8Bom;
        return true;
    }
    if (IsValidUtf8(bytes)) {
        utf8.assign(bytes);
        encoding = TextEncoding::Utf8;
        return true;
    }
    size_t bad = 0;
    if (!Cp932ToUtf8(bytes, utf8, &bad)) {
        problem = {LineAt(bytes, bad), 0, "UTF-8 でもコードページ 932 (Shift_JIS) でもないバイトがあります。"};
        return false;
    }
    encoding = TextEncoding::Cp932;
    return true;
}

bool ParseCsv(std::string_view text, std::vector<CsvRecord>& records, CsvProblem& problem) {
    records.clear();
    int line = 1;
    size_t i = 0;
    const size_t n = text.size();
    // Consumes a line end at i (CR LF, LF or CR); true when there was one.
    auto lineEnd = [&] {
        if (i < n && text[i] == '\r') {
            ++i;
            if (i < n && text[i] == '\n') ++i;
        } else if (i < n && text[i] == '\n') {
            ++i;
        } else {
            return false;
        }
        ++line;
        return true;
    };
    while (i < n) {
        if (lineEnd()) continue;  // an empty line
        CsvRecord record;
        record.line = line;
        for (;;) {
            std::string field;
            const int column = int(record.fields.size()) + 1;
            if (i < n && text[i] == '"') {
                const int opened = line;
                ++i;
                for (;;) {
                    if (i >= n) {
                        problem = {opened, column, "ダブルクォートが閉じていません。"};
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n' || (text[i] == '\r' && !(i + 1 < n && text[i + 1] == '\n'))) ++line;
                    field += text[i++];
                }
                if (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    problem = {line, column, "閉じたダブルクォートの後に文字があります。"};
                    return false;
                }
            } else {
                while (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"') {
                        problem = {line, column, "ダブルクォートで囲まれていない値の中にダブルクォートがあります。"};
                        return false;
                    }
                    field += text[i++];
                }
            }
            record.fields.push_back(std::move(field));
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            lineEnd();
            break;
        }
        records.push_back(std::move(record));
    }
    return true;
}

std::string CsvField(std::string_view value) {
    const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                                           value.back() == ' ' || value.back() == '\t'));
    if (!quote) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) out += ',';
        out += CsvField(fields[k]);
    }
    return out + "\r\n";
}

}  // namespace solne::cli
