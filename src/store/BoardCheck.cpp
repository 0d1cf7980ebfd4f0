#include "store/BoardCheck.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <tuple>
#include <unordered_map>

#include "Define/Cp932.h"
#include "store/Save.h"
#include "store/TextRules.h"
#include "store/UserFolder.h"

namespace solne {

// ------------------------------------------------------------------ dump

namespace {

void AppendDumpText(std::string& out, std::string_view utf8) {
    size_t plain = 0;  // start of the run of bytes that go out as they are
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const char* escaped = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : nullptr;
        if (!escaped) continue;
        out.append(utf8, plain, i - plain).append(escaped);
        plain = i + 1;
    }
    out.append(utf8, plain);
}

// `utf8`: a buffer for the conversion, reused from call to call.
void AppendDumpBytes(std::string& out, std::string_view cp932, std::string& utf8) {
    while (!cp932.empty()) {
        size_t bad = 0;
        if (Cp932ToUtf8(cp932, utf8, &bad)) {
            AppendDumpText(out, utf8);
            break;
        }
        if (bad >= cp932.size()) bad = cp932.size() - 1;
        // The part in front of the bad byte converts on its own.
        if (bad > 0 && Cp932ToUtf8(cp932.substr(0, bad), utf8)) AppendDumpText(out, utf8);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(cp932[bad]));
        out += hex;
        cp932.remove_prefix(bad + 1);
    }
}

}  // namespace

std::string EscapeDumpText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendDumpText(out, utf8);
    return out;
}

std::string EscapeDumpBytes(std::string_view cp932) {
    std::string out, utf8;
    AppendDumpBytes(out, cp932, utf8);
    return out;
}

// Written a piece at a time into one buffer that is handed on whenever it
// holds a piece's worth: the dump of a large board is never held whole.
void DumpBoard(const LoadedBoard& board, const std::function<void(std::string_view)>& put) {
    constexpr size_t kPiece = 64 * 1024;
    std::string out;
    out.reserve(kPiece + 4096);
    auto flush = [&](bool always) {
        if (out.empty() || (!always && out.size() < kPiece)) return;
        put(out);
        out.clear();
    };
    std::string utf8;
    auto number = [&](long long n) {
        char text[24];
        out.append(text, size_t(std::to_chars(text, text + sizeof text, n).ptr - text));
    };
    out += "users ";
    number((long long)board.Users.size());
    out += '\n';
    for (size_t i = 0; i < board.Users.size(); ++i) {
        const UserInfo& u = board.Users[i];
        number((long long)i);
        out += '\t';
        AppendDumpText(out, u.UserId);
        out += '\t';
        AppendDumpText(out, u.PassWord);
        out += '\t';
        number(u.GroupNo);
        out += '\t';
        AppendDumpText(out, u.GroupName);
        out += '\t';
        AppendDumpText(out, u.UserName);
        out += '\t';
        AppendDumpBytes(out, u.StatusLine, utf8);
        out += '\t';
        AppendDumpBytes(out, u.PlanLine, utf8);
        out += '\n';
        flush(false);
    }
    out += "groups ";
    number((long long)board.Groups.size());
    out += '\n';
    for (size_t i = 0; i < board.Groups.size(); ++i) {
        const GroupInfo& g = board.Groups[i];
        number((long long)i);
        out += '\t';
        number(g.GroupNo);
        out += '\t';
        AppendDumpText(out, g.GroupName);
        out += '\n';
        flush(false);
    }
    flush(true);
}

std::string DumpBoard(const LoadedBoard& board) {
    std::string all;
    DumpBoard(board, [&](std::string_view piece) { all += piece; });
    return all;
}

// ---------------------------------------------------------------- report

std::string EscapeReportLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char c) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    };
    while (!text.empty()) {
        const size_t bad = Utf8ErrorOffset(text);
        std::string_view good = text.substr(0, bad);
        for (size_t i = 0; i < good.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(good[i]);
            // U+0080 to U+009F (C2 80 to C2 9F): the eight-bit control characters.
            const bool c1 = c == 0xC2 && i + 1 < good.size() && static_cast<unsigned char>(good[i + 1]) <= 0x9F;
            if (c < 0x20 || c == 0x7F) {
                escape(c);
            } else if (c1) {
                escape(c);
                escape(static_cast<unsigned char>(good[++i]));
            } else {
                out += char(c);
            }
        }
        if (bad == std::string_view::npos) break;
        escape(static_cast<unsigned char>(text[bad]));
        text.remove_prefix(bad + 1);
    }
    return out;
}

std::string CheckFinding::ToString() const {
    std::string out = file;
    if (!file.empty() && line > 0) {
        out += ':';
        out += std::to_string(line);
    }
    if (!out.empty()) out += ": ";
    return out + message;
}

std::string FindingCountLine(size_t count) { return "指摘 " + std::to_string(count) + " 件"; }

namespace {

std::string Quoted(const std::string& text) {
    std::string out(1, '"');
    out += EscapeDumpText(text);
    out += '"';
    return out;
}

// Line of a slot in its data file; 0 for a slot that no line holds (the
// one blank slot of a table whose file has no record).
template <class Sources>
int LineOf(const Sources& sources, size_t index) {
    return index < sources.size() ? sources[index].line : 0;
}

class Checker {
public:
    Checker(FileSystem& fs, const BoardPaths& paths, const LoadedBoard& board)
        : fs_(fs), paths_(paths), board_(board) {}

    std::vector<CheckFinding> Run() {
        Kind("duplicate-user-id"); DuplicateUserIds();
        Kind("unknown-group-number"); UnknownGroupNumbers();
        Kind("duplicate-group-number"); DuplicateGroupNumbers();
        Kind("blank-record"); BlankSlots();
        Kind("missing-user-file"); MissingPerUserFiles();
        Kind("user-file-case-only"); CaseOnlyMatches();
        Kind("name-line-equals"); NameLinesWithSeveralEquals();
        Kind("quoted-value"); QuotedValues();
        Kind("unwritable-value"); RefusedValues();
        Kind("pruned-file"); PrunedFiles();
        Kind("ignored-journal"); IgnoredJournals();
        std::sort(findings_.begin(), findings_.end(), [](const CheckFinding& a, const CheckFinding& b) {
            return std::tie(a.file, a.line, a.code, a.message) < std::tie(b.file, b.line, b.code, b.message);
        });
        return std::move(findings_);
    }

private:
    // The code of the findings added from now on.
    void Kind(const char* code) { code_ = code; }
    void Add(const std::string& file, int line, std::string message) {
        findings_.push_back({file, line, std::move(message), code_});
    }
    int UserLine(size_t i) const { return LineOf(board_.userSources, i); }
    int GroupLine(size_t i) const { return LineOf(board_.groupSources, i); }

    void DuplicateUserIds() {
        std::unordered_map<std::string, size_t> first;
        for (size_t i = 0; i < board_.Users.size(); ++i) {
            const UserInfo& u = board_.Users[i];
            if (IsBlank(u)) continue;
            auto [it, inserted] = first.emplace(u.UserId, i);
            if (!inserted)
                Add(paths_.UserFilePath, UserLine(i),
                    "ユーザーID " + Quoted(u.UserId) + " が重複しています（最初は " +
                        std::to_string(UserLine(it->second)) + " 行目）");
        }
    }

    void UnknownGroupNumbers() {
        std::unordered_map<int, size_t> known;
        for (size_t i = 0; i < board_.Groups.size(); ++i) known.emplace(board_.Groups[i].GroupNo, i);
        for (size_t i = 0; i < board_.Users.size(); ++i) {
            const UserInfo& u = board_.Users[i];
            if (u.GroupNo != 0 && !known.count(u.GroupNo))
                Add(paths_.UserFilePath, UserLine(i),
                    "ユーザー " + Quoted(u.UserId) + " のグループ番号 " + std::to_string(u.GroupNo) +
                        " は " + paths_.GroupFilePath + " のどの行にもありません");
        }
    }

    void DuplicateGroupNumbers() {
        std::unordered_map<int, size_t> first;
        for (size_t i = 0; i < board_.Groups.size(); ++i) {
            if (GroupLine(i) == 0) continue;
            auto [it, inserted] = first.emplace(board_.Groups[i].GroupNo, i);
            if (!inserted)
                Add(paths_.GroupFilePath, GroupLine(i),
                    "グループ番号 " + std::to_string(board_.Groups[i].GroupNo) + " が重複しています（最初は " +
                        std::to_string(GroupLine(it->second)) + " 行目）");
        }
    }

    // Only slots that a line holds: the one blank slot of a file without
    // records is how an empty table is kept, not a finding.
    void BlankSlots() {
        for (size_t i = 0; i < board_.Users.size(); ++i)
            if (IsBlank(board_.Users[i]) && UserLine(i) > 0)
                Add(paths_.UserFilePath, UserLine(i), "ユーザーIDが空の行です（一覧に表示されない空きスロット）");
        for (size_t i = 0; i < board_.Groups.size(); ++i)
            if (IsBlank(board_.Groups[i]) && GroupLine(i) > 0)
                Add(paths_.GroupFilePath, GroupLine(i), "グループ名が空の行です（一覧に表示されない空きスロット）");
    }

    void MissingPerUserFiles() {
        for (size_t i = 0; i < board_.Users.size() && i < board_.userSources.size(); ++i) {
            const UserInfo& u = board_.Users[i];
            if (IsBlank(u) || !board_.userSources[i].perUserFile.empty()) continue;
            Add(paths_.UserFilePath, UserLine(i),
                "ユーザー " + Quoted(u.UserId) + " の個別ファイル " +
                    JoinPath(paths_.UserFolder(), UserFileName(u.UserId)) + " がありません（次の保存で作られます）");
        }
    }

    void CaseOnlyMatches() {
        for (size_t i = 0; i < board_.Users.size() && i < board_.userSources.size(); ++i) {
            const UserSource& s = board_.userSources[i];
            if (!s.caseOnly) continue;
            Add(paths_.UserFilePath, UserLine(i),
                "ユーザー " + Quoted(board_.Users[i].UserId) + " の個別ファイルは大文字小文字だけが違う " +
                    JoinPath(paths_.UserFolder(), s.perUserFile) + " です");
        }
    }

    void NameLinesWithSeveralEquals() {
        for (size_t i = 0; i < board_.Users.size() && i < board_.userSources.size(); ++i) {
            const UserSource& s = board_.userSources[i];
            if (s.perUserFile.empty() || s.nameLineEquals <= 1) continue;
            Add(JoinPath(paths_.UserFolder(), s.perUserFile), 1,
                "名前の行に \"=\" が " + std::to_string(s.nameLineEquals) +
                    " 個あります（2 個目から後は次の保存で失われます）");
        }
    }

    // Values the save writes in double quotes. A value the writer's rule
    // refuses is reported by RefusedValues instead.
    void QuotedValue(const std::string& file, int line, const char* field, const std::string& value,
                     FieldPlace place) {
        std::string bytes, problem;
        if (!NeedsQuotes(value) || !EncodeField(value, place, bytes, problem)) return;
        Add(file, line, std::string(field) + " " + Quoted(value) + " は保存のときダブルクォートで囲んで書かれます");
    }

    void QuotedValues() {
        for (size_t i = 0; i < board_.Users.size(); ++i) {
            const UserInfo& u = board_.Users[i];
            QuotedValue(paths_.UserFilePath, UserLine(i), "ユーザーID", u.UserId, FieldPlace::UserTxt);
            QuotedValue(paths_.UserFilePath, UserLine(i), "パスワード", u.PassWord, FieldPlace::UserTxt);
        }
        for (size_t i = 0; i < board_.Groups.size(); ++i) {
            const GroupInfo& g = board_.Groups[i];
            QuotedValue(paths_.GroupFilePath, GroupLine(i), "グループ名", g.GroupName, FieldPlace::GroupTxt);
        }
    }

    // The save's own check before its first write.
    void RefusedValues() {
        for (const Failure& f : CheckWritable(board_.Users, board_.Groups))
            Add("", 0, "保存できない値です（次の保存は何も書きません）: " + f.ToString());
    }

    void PrunedFiles() {
        for (const std::string& name : FilesPruneWouldDelete(fs_, paths_, board_.Users))
            Add(JoinPath(paths_.UserFolder(), name), 0, "どのユーザーのファイルでもないため、次の保存で削除されます");
    }

    // The load's own look at the journals beside the files.
    void IgnoredJournals() {
        for (const JournalFinding& j : board_.ignoredJournals)
            Add(j.path, 0, "ジャーナルとして信頼できないため、読みも書き戻しもしません（" + j.reason + "）");
    }

    FileSystem& fs_;
    const BoardPaths& paths_;
    const LoadedBoard& board_;
    std::vector<CheckFinding> findings_;
    const char* code_ = "";
};

}  // namespace

std::vector<CheckFinding> CheckBoard(FileSystem& fs, const BoardPaths& paths, const LoadedBoard& board) {
    return Checker(fs, paths, board).Run();
}

}  // namespace solne
