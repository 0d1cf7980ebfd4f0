// Reading the board folder into the user and group tables.
#include "store/Load.h"

#include <cerrno>
#include <optional>

#include "Define/Cp932.h"
#include "store/BoardFolder.h"
#include "store/SafeWrite.h"
#include "store/UserFolder.h"

namespace solne {

namespace {

constexpr const char* kUnreadable = "ファイルを読み込めません";
constexpr const char* kNotCp932 = "コードページ932(Shift_JIS)として読めないバイトがあります";
constexpr const char* kTooManyLines = "行が多すぎます(最大32,767行)";
constexpr const char* kUnsafeId = "ユーザーIDに「/」「\\」またはNUL文字が含まれています";
constexpr const char* kNotRegular = "通常のファイルではありません（FIFO、デバイス、フォルダなど）";
constexpr const char* kTooLarge = "ファイルが大きすぎます（上限 64 MiB）";

// How much of a per-user file the load reads: its first lines are all it
// needs, and the save copies the rest from the file itself.
constexpr size_t kPerUserHeadBytes = 64 * 1024;

// A file the file services could not read, with their reason.
Failure ReadError(FileSystem& fs, const std::string& file, int err) {
    if (err == kNotRegularFile || err == EISDIR) return Problem(file, 0, kNotRegular);
    if (err == EFBIG) return Problem(file, 0, kTooLarge);
    Failure f = FileFailure(fs, file, "", err);
    if (err != kForeignLink && err != kDataFileAlias && err != kFolderReplaced) f.reason = kUnreadable;
    return f;
}

// 1-based number of the line that holds byte `offset` (a line end belongs
// to its line).
int LineOfOffset(std::string_view s, size_t offset) {
    std::string_view rest = s;
    int line = 1;
    for (size_t start = 0; !rest.empty(); ++line) {
        TextLine l = TakeLine(rest);
        start += l.text.size() + l.end.size();
        if (offset < start) break;
    }
    return line;
}

// Reads a whole data file ("user.txt" or "group.txt") of the open board
// folder as UTF-8 field lines, with the rights of the owner of the folder
// that holds it. A link is followed under the board's link rule; an
// interrupted rewrite reads as the old content its journal keeps. The
// fields of `lines` are views into `text`.
std::optional<Failure> ReadDataFile(FileSystem& fs, const WorkFolder& board, const BoardIds& ids,
                                      const std::string& path, std::string& text, FieldLines& lines,
                                      FileSnapshot& snapshot, NodeId& id) {
    Place place(fs);
    int err = Resolve(fs, *board, board.st, NameOf(path), ids, place);
    if (err != 0) return ReadError(fs, path, err);
    FileStat st;
    std::string bytes;
    {
        OwnerRights rights(place.folder.uid);
        NameJournalFolder(FolderOf(path));
        err = rights.error() != 0 ? rights.error()
                                  : ReadCurrentContentIn(fs, place.dir, place.name, bytes, kMaxFileBytes, true, &st);
    }
    if (err != 0) return ReadError(fs, path, err);
    if (!st.isRegular) return Problem(path, 0, kNotRegular);
    id = NodeId::Of(st);
    st.size = int64_t(bytes.size());
    snapshot = SnapshotOf(true, st, bytes);

    size_t bad = 0;
    if (!Cp932ToUtf8(bytes, text, &bad)) return Problem(path, LineOfOffset(bytes, bad), kNotCp932);
    if (auto e = ReadFieldLines(text, lines)) {
        e->file = path;
        return e;
    }
    if (lines.size() > size_t(kMaxSlots)) return Problem(path, lines[kMaxSlots].number, kTooManyLines);
    return std::nullopt;
}

std::optional<Failure> CheckFieldCount(const std::string& path, const FieldLine& line, size_t want) {
    if (line.fields.size() == want) return std::nullopt;
    return Problem(path, line.number,
                   "項目の数が正しくありません(" + std::to_string(want) + "個のところ" +
                       std::to_string(line.fields.size()) + "個)");
}

std::optional<Failure> ParseGroupNo(const std::string& path, const FieldLine& line,
                                      std::string_view field, int16_t& out) {
    if (ParseNumberField(field, out)) return std::nullopt;
    return Problem(path, line.number,
                   "グループ番号が-32768～32767の整数ではありません(「" + std::string(field) + "」)");
}

// "group.txt", read once: its records in file order, and for every group
// number the slot of the last line that carries it.
struct GroupFile {
    std::vector<GroupInfo> records;
    std::vector<int> lines;
    NodeId id;
    std::vector<int> lastSlotOf = std::vector<int>(65536, -1);  // by number + 32768
    FileSnapshot snapshot;

    const std::string* NameOf(int16_t no) const {
        int slot = lastSlotOf[size_t(int(no) + 32768)];
        return slot < 0 ? nullptr : &records[size_t(slot)].GroupName;
    }
};

std::optional<Failure> ReadGroupFile(FileSystem& fs, const WorkFolder& board, const BoardIds& ids,
                                       const std::string& path, GroupFile& out) {
    std::string text;
    FieldLines lines;
    if (auto e = ReadDataFile(fs, board, ids, path, text, lines, out.snapshot, out.id)) return e;
    out.records.reserve(lines.size());
    for (const FieldLine line : lines) {
        if (auto e = CheckFieldCount(path, line, 2)) return e;
        GroupInfo g;
        if (auto e = ParseGroupNo(path, line, line.fields[0], g.GroupNo)) return e;
        g.GroupName = line.fields[1];
        out.lastSlotOf[size_t(int(g.GroupNo) + 32768)] = int(out.records.size());
        out.records.push_back(std::move(g));
        out.lines.push_back(line.number);
    }
    return std::nullopt;
}

// A per-user file: line 1 decoded for the display name, lines 2 and 3 kept
// as bytes. Missing lines read as empty.
// `dir` is the open per-user folder; `isLink`: the entry is a symbolic link.
// `bytes` and `nameLine` are buffers reused from file to file.
std::optional<Failure> ReadPerUserFile(FileSystem& fs, const UserFolderIndex& folder, const WorkFolder& dir,
                                         const BoardIds& ids, const DataFileIds& data, const std::string& name,
                                         bool isLink, UserInfo& user, UserSource& source, uint64_t* nameLineHash,
                                         std::string& bytes, std::string& nameLine) {
    int err = ReadListedHead(fs, folder, dir, ids, data, name, isLink, kPerUserHeadBytes, bytes);
    if (err != 0 && err != EFBIG) return ReadError(fs, JoinPath(folder.Folder(), name), err);

    std::string_view rest(bytes);
    std::string_view line[3];
    for (auto& l : line) l = TakeLine(rest).text;

    if (nameLineHash) *nameLineHash = HashBytes(line[0]);
    nameLine.clear();
    if (!Cp932ToUtf8(line[0], nameLine)) return Problem(JoinPath(folder.Folder(), name), 1, kNotCp932);
    size_t eq = nameLine.find('=');
    if (eq != std::string::npos) {
        size_t next = nameLine.find('=', eq + 1);
        user.UserName.assign(nameLine, eq + 1, next == std::string::npos ? std::string::npos : next - eq - 1);
    }
    for (char c : nameLine) source.nameLineEquals += c == '=';
    user.StatusLine.assign(line[1]);
    user.PlanLine.assign(line[2]);
    return std::nullopt;
}

// Load users: "user.txt" in file order, each with its per-user file and the
// name of its group.
std::optional<Failure> LoadUsers(FileSystem& fs, const BoardPaths& paths, const WorkFolder& boardDir,
                                   BoardIds& ids, const GroupFile& groups, LoadedBoard& board,
                                   const std::function<void(size_t, size_t)>& progress, LoadFor purpose) {
    std::string text;
    FieldLines lines;
    // No per-user file may be either data file: they are known by the
    // files just read.
    DataFileIds data;
    data.group = groups.id;
    if (auto e = ReadDataFile(fs, boardDir, ids, paths.UserFilePath, text, lines, board.userFile, data.user))
        return e;

    // Opened once and identified: each file is then found by its name
    // alone, and a save works in this folder and no other.
    UserFolderIndex folder;
    WorkFolder dir(fs);
    int err = OpenUserFolder(fs, boardDir, ids, dir);
    if (err == ENOENT) {
        dir.handle.reset();
    } else if (err == kForeignLink) {
        return FileFailure(fs, paths.UserFolder(), "", err);
    } else if (err == 0) {
        ids.user = NodeId::Of(dir.st);
        OwnerRights rights(dir.st.uid);
        err = rights.error() != 0 ? rights.error() : folder.Build(fs, *dir, paths.UserFolder());
    }
    if (err != 0 && err != ENOENT) {
        Failure f = FileFailure(fs, paths.UserFolder(), "", err);
        f.reason = "フォルダの一覧を読み込めません";
        return f;
    }
    if (err == ENOENT) folder.Build(fs, Handle(), paths.UserFolder());

    const size_t files = lines.size() + 2;
    size_t done = 2;
    if (progress) progress(done, files);
    board.Users.reserve(lines.size());
    board.userSources.reserve(lines.size());
    // The lookups in the listing first, in a pass of their own: between
    // the system calls of the reads they cost several times as much.
    std::vector<std::optional<UserFolderIndex::Match>> matches(lines.size());
    {
        std::string fileName;
        for (size_t i = 0; i < lines.size(); ++i) {
            const FieldLine line = lines[i];
            if (line.fields.size() != 3 || !IdIsSafePath(line.fields[0])) break;  // the error comes in its turn
            fileName.assign(line.fields[0]).append(".txt");  // UserFileName
            matches[i] = folder.Find(fileName);
        }
    }
    // The name line of each file read, by slot; into the map after the reads.
    const bool saving = purpose == LoadFor::Saving;
    std::vector<uint64_t> hashes(saving ? lines.size() : 0);
    // The folder owner's rights, held across the files of the folder itself
    // (each read takes them again at no cost); given back before a link is
    // followed, whose target is read with its own folder owner's rights.
    std::optional<OwnerRights> folderRights;
    std::string bytes, nameLine;  // reused from user to user
    for (size_t i = 0; i < lines.size(); ++i) {
        const FieldLine line = lines[i];
        if (auto e = CheckFieldCount(paths.UserFilePath, line, 3)) return e;
        UserInfo user;
        UserSource source;
        source.line = line.number;
        user.UserId = line.fields[0];
        user.PassWord = line.fields[1];
        if (auto e = ParseGroupNo(paths.UserFilePath, line, line.fields[2], user.GroupNo)) return e;
        if (!IdIsSafePath(user.UserId)) return Problem(paths.UserFilePath, line.number, kUnsafeId);

        if (const auto& match = matches[i]) {
            const DirEntry& entry = folder.Entries()[match->entry];
            source.perUserFile = entry.name;
            source.caseOnly = match->caseOnly;
            if (entry.isLink) folderRights.reset();
            else if (!folderRights && dir.handle.get().valid()) folderRights.emplace(dir.st.uid);
            if (auto e = ReadPerUserFile(fs, folder, dir, ids, data, source.perUserFile, entry.isLink, user, source,
                                         saving ? &hashes[i] : nullptr, bytes, nameLine))
                return e;
        }
        if (const std::string* name = groups.NameOf(user.GroupNo)) user.GroupName = *name;

        board.Users.push_back(std::move(user));
        board.userSources.push_back(std::move(source));
        if (progress) {
            GiveBackForReport(folderRights);
            progress(++done, files);
        }
    }
    folderRights.reset();
    std::shared_ptr<NameLineHashes> nameLines;
    if (saving) {
        nameLines = std::make_shared<NameLineHashes>();
        nameLines->reserve(lines.size());
        for (size_t i = 0; i < board.userSources.size(); ++i)
            if (const std::string& name = board.userSources[i].perUserFile; !name.empty())
                nameLines->insert_or_assign(name, hashes[i]);
    }
    if (board.Users.empty()) {
        board.Users.emplace_back();
        board.userSources.emplace_back();
    }
    board.userFile.nameLines = std::move(nameLines);
    board.userFile.folders = ids;
    return std::nullopt;
}

// Load groups: the records of "group.txt" in file order.
void LoadGroups(GroupFile& groups, LoadedBoard& board) {
    board.Groups = std::move(groups.records);
    board.groupFile = groups.snapshot;
    for (int line : groups.lines) board.groupSources.push_back(GroupSource{line});
    if (board.Groups.empty()) {
        board.Groups.emplace_back();
        board.groupSources.emplace_back();
    }
}

}  // namespace

std::optional<Failure> LoadBoard(FileSystem& fs, const BoardPaths& paths, LoadedBoard& out,
                                   const std::function<void(size_t done, size_t total)>& progress, LoadFor purpose) {
    out = LoadedBoard{};
    LoadedBoard board;
    GroupFile groups;
    JournalFindings ignored;
    // The board folder, opened once and identified: every file of the
    // board is found through it.
    WorkFolder boardDir(fs);
    if (int err = OpenBoardFolder(fs, paths.InstalledPath, NodeId(), boardDir); err != 0)
        return ReadError(fs, err == ENOENT ? paths.GroupFilePath : paths.InstalledPath, err);
    BoardIds ids;
    ids.board = NodeId::Of(boardDir.st);
    std::optional<Failure> error = ReadGroupFile(fs, boardDir, ids, paths.GroupFilePath, groups);
    if (!error) error = LoadUsers(fs, paths, boardDir, ids, groups, board, progress, purpose);
    if (!error) {
        LoadGroups(groups, board);
        out = std::move(board);
    }
    out.ignoredJournals = ignored.Take();
    return error;
}

}  // namespace solne
