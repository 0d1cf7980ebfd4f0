// Snapshots of the data files, and the test for changes made outside.
#include "store/Snapshot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "store/FieldReader.h"
#include "store/SafeWrite.h"
#include "store/UserFolder.h"

namespace solne {

namespace {
// How many more times a name line that differs is read before it counts.
constexpr int kLooksAgain = 3;
}  // namespace

uint64_t HashBytes(std::string_view bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

FileSnapshot SnapshotOf(bool exists, const FileStat& st, std::string_view content) {
    FileSnapshot s;
    if (!exists) return s;
    s.exists = true;
    s.size = st.size;
    s.mtimeNs = st.mtimeNs;
    s.hash = HashBytes(content);
    return s;
}

namespace {
// Whether the data file `name` of the open board folder differs from what
// is known of it.
bool ChangedOutside(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, const std::string& name,
                    const FileSnapshot& known) {
    Place place(fs);
    if (Resolve(fs, *board, board.st, name, ids, place) != 0) return true;
    OwnerRights rights(place.folder.uid);
    if (rights.error() != 0) return true;
    FileStat st;
    int err = fs.StatAt(place.dir, place.name, st);
    if (err == ENOENT) return known.exists;
    if (err != 0 || !st.isRegular || !known.exists) return true;
    std::string content;
    if (ReadCurrentContentIn(fs, place.dir, place.name, content, kMaxFileBytes, true) != 0) return true;
    return int64_t(content.size()) != known.size || HashBytes(content) != known.hash;
}
}  // namespace

std::vector<std::string> DataFilesChangedOutside(FileSystem& fs, const WorkFolder& board, bool boardOk,
                                                 const FileSnapshot& userFile, const FileSnapshot& groupFile) {
    std::vector<std::string> changed;
    const BoardIds& ids = userFile.folders;
    if (!boardOk || ChangedOutside(fs, board, ids, "user.txt", userFile)) changed.push_back("user.txt");
    if (!boardOk || ChangedOutside(fs, board, ids, "group.txt", groupFile)) changed.push_back("group.txt");
    return changed;
}

bool NameLineIs(std::string_view head, uint64_t hash) { return HashBytes(TakeLine(head).text) == hash; }

void AddNamesChangedOutside(const NameLineHashes& remembered, const NameLineDiffers& differs,
                            const NameLineDiffers& looksAgain, std::vector<std::string>& changed) {
    std::vector<std::string> names;
    for (const auto& [name, hash] : remembered)
        if (differs(name, hash)) names.push_back(name);
    for (int again = 0; looksAgain && again < kLooksAgain && !names.empty(); ++again) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::erase_if(names, [&](const std::string& name) { return !looksAgain(name, remembered.at(name)); });
    }
    // In name order, so the question lists them the same way each time.
    std::sort(names.begin(), names.end());
    for (auto& n : names) changed.push_back(JoinPath("user", n));
}

std::vector<std::string> FilesChangedOutside(FileSystem& fs, const BoardPaths& paths,
                                             const FileSnapshot& userFile,
                                             const FileSnapshot& groupFile) {
    // Only the folders identified at load count: another folder put in
    // their place changed everything.
    const BoardIds& ids = userFile.folders;
    WorkFolder board(fs);
    const bool boardOk = OpenBoardFolder(fs, paths.InstalledPath, ids.board, board) == 0;
    std::vector<std::string> changed = DataFilesChangedOutside(fs, board, boardOk, userFile, groupFile);
    if (userFile.nameLines) {
        std::string head;
        // Listed once, and opened once to read its files by name; a folder
        // that cannot be listed counts every file as changed.
        UserFolderIndex folder;
        WorkFolder dir(fs);
        int folderErr = boardOk ? OpenUserFolder(fs, board, ids, dir) : kFolderReplaced;
        if (folderErr == 0) {
            OwnerRights rights(dir.st.uid);
            folderErr = rights.error() != 0 ? rights.error() : folder.Build(fs, *dir, paths.UserFolder());
        }
        DataFileIds data;
        std::string failedName;
        if (folderErr == 0) folderErr = FindDataFiles(fs, board, ids, data, failedName);
        auto differs = [&](const std::string& name, uint64_t hash) {
            int err = folderErr != 0 ? folderErr : ReadListedHead(fs, folder, dir, ids, data, name, kNameLineBytes, head);
            if (err == EFBIG) err = 0;
            return err != 0 || !NameLineIs(head, hash);
        };
        AddNamesChangedOutside(*userFile.nameLines, differs, folderErr == 0 ? differs : NameLineDiffers(), changed);
    }
    return changed;
}

}  // namespace solne
