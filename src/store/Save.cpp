// Writing the tables back into the board folder, in this order: "user.txt",
// every per-user file, pruning of the per-user folder, "group.txt". Every
// file is replaced as a whole (never left half-written), every failure is
// reported with its file, step and reason, and a per-user file keeps the
// status and plan lines the board system wrote into it.
#include "store/Save.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "store/FieldReader.h"
#include "store/BoardFolder.h"
#include "store/SafeWrite.h"
#include "store/SaveSteps.h"
#include "store/TextRules.h"
#include "store/UserFolder.h"

namespace solne {

namespace {

constexpr const char* kPruneSkipped = "「user.txt」を書き込めなかったため行いませんでした";
constexpr const char* kUnsafeId = "ユーザーIDに「/」または「\\」が含まれているため書き込みません";

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kNameKey = "username=";
constexpr std::string_view kNewStatus = "status=0";
constexpr std::string_view kNewPlan = "plan=";

// ------------------------------------------------------------ content

// Shows a value inside a message on one line.
std::string ShowValue(std::string_view v) {
    std::string out;
    for (char c : v) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string UserRecord(size_t slot, const UserInfo& u) {
    return "ユーザー " + std::to_string(slot + 1) + "件目「" + ShowValue(u.UserId) + "」";
}

std::string GroupRecord(size_t slot, const GroupInfo& g) {
    return "グループ " + std::to_string(slot + 1) + "件目「" + ShowValue(g.GroupName) + "」";
}

// Everything the save writes, encoded before the first write.
struct Prepared {
    std::string userTxt;
    std::string groupTxt;
    std::vector<std::string> nameLines;  // per user slot: "username=..." and CR LF
};

// Runs the writer's rule over both tables, fills `out`, and returns every
// value it refuses.
std::vector<Failure> Prepare(const UserTable& users, const GroupTable& groups, Prepared& out) {
    std::vector<Failure> refused;
    std::string bytes, problem;
    auto encode = [&](std::string_view value, FieldPlace place, const std::string& record,
                      const char* field, std::string& into) {
        if (EncodeField(value, place, bytes, problem)) into += bytes;
        else refused.push_back(StepProblem(record, field, problem));
    };

    out.nameLines.resize(users.size());
    for (size_t i = 0; i < users.size(); ++i) {
        const UserInfo& u = users[i];
        std::string record = UserRecord(i, u);
        encode(u.UserId, FieldPlace::UserTxt, record, "ユーザーID", out.userTxt);
        out.userTxt += ',';
        encode(u.PassWord, FieldPlace::UserTxt, record, "パスワード", out.userTxt);
        out.userTxt += ',';
        out.userTxt += std::to_string(u.GroupNo);
        out.userTxt += kCrLf;

        std::string& line = out.nameLines[i];
        line = kNameKey;
        encode(u.UserName, FieldPlace::NameLine, record, "ユーザー(表示)名", line);
        line += kCrLf;
    }
    for (size_t i = 0; i < groups.size(); ++i) {
        const GroupInfo& g = groups[i];
        out.groupTxt += std::to_string(g.GroupNo);
        out.groupTxt += ',';
        encode(g.GroupName, FieldPlace::GroupTxt, GroupRecord(i, g), "グループ名", out.groupTxt);
        out.groupTxt += kCrLf;
    }
    return refused;
}

// A per-user file as the save writes it: `bytes`, then the current file's
// bytes from `keepFrom` to its end.
struct PerUserContent {
    std::string bytes;
    size_t keepFrom = 0;
    std::string status;  // line 2 as written
    std::string plan;    // line 3 as written
};

// The new name line, then everything after the current file's first line
// byte for byte; a missing or empty status or plan line gets its new-user
// form. With no current file: the name line, "status=0" and "plan=".
// `head` holds at least the current file's first three lines.
PerUserContent PerUserFileContent(const std::string& nameLine, const std::string* head) {
    const std::string_view current = head ? std::string_view(*head) : std::string_view();
    std::string_view rest = current;
    TakeLine(rest);
    const size_t afterName = current.size() - rest.size();
    TextLine status = TakeLine(rest);
    TextLine plan = TakeLine(rest);

    PerUserContent c;
    c.status = status.text.empty() ? kNewStatus : status.text;
    c.plan = plan.text.empty() ? kNewPlan : plan.text;
    c.bytes = nameLine;
    if (!status.text.empty() && !plan.text.empty()) {
        c.keepFrom = afterName;
    } else {
        c.bytes += c.status;
        c.bytes += status.end.empty() ? kCrLf : status.end;
        c.bytes += c.plan;
        c.bytes += plan.end.empty() ? kCrLf : plan.end;
        c.keepFrom = current.size() - rest.size();
    }
    return c;
}

// Whether `head` holds a file's first three lines whole.
bool HoldsFirstLines(std::string_view head) {
    for (int i = 0; i < 3; ++i) TakeLine(head);
    return !head.empty();
}

// How much of a per-user file the save holds at first; the rest is
// streamed from disk when the file is written.
constexpr size_t kHeldBytes = 4096;

// Reads a per-user file's head until it holds the first three lines: a
// little at first, more for long lines, up to the limit for data files.
int ReadFirstLines(FileSystem& fs, SourceFile& src) {
    for (size_t size = kHeldBytes;; size = std::min(size * 2, kMaxFileBytes)) {
        if (int err = ReadHead(fs, src, size); err != 0) return err;
        if (src.atEnd || HoldsFirstLines(src.head)) return 0;
        if (size == kMaxFileBytes) return EFBIG;
    }
}

// What the look before the question read of a per-user file, kept for
// its write. Only a file reached by its own name, with no journal beside
// it, is read ahead.
struct ReadAhead {
    bool looked = false;  // read for the look for changed name lines: `err` and `bytes` tell
    bool whole = false;   // `bytes` is the whole file as its descriptor `st` showed it
    bool settled = false;  // and it last changed before it was read (SourceFile::settled)
    int err = 0;
    FileStat st;
    std::string bytes;    // the whole file, or its first kNameLineBytes
};

// What a new file made in the open per-user folder is like, asked with the
// rights its files are written with.
FolderRules RulesOf(FileSystem& fs, const WorkFolder& folder) {
    FolderRules r;
    const GroupId group = NewFileGroup(folder.st);
    r.newFileGroup = group;
    // Only where files have owners: elsewhere no mode tells who may rename.
    r.namesOnlyOwners = kFilesHaveOwners && !OthersMayChange(folder.st);
    // The folder's own group, whichever rule the file system follows
    // (the folder's group, or the creator's).
    if (group == folder.st.gid) {
        if (auto mask = fs.NewFileModeMask(*folder))
            r.newFile = FolderRules::NewFileFacts{EffectiveUser(), group, *mask};
    }
    return r;
}

// Writes one per-user file of the folder `dir`: the new name line, then
// the file's lines after the first as they are on disk, streamed, never
// held whole. The board may rewrite a status line meanwhile: right before
// the new file takes the old one's place, the old one is compared once
// more (identity, size and bytes), and the new file is rebuilt from the new
// bytes when it changed, a few times at most. Returns 0 or an errno value
// with the failed step; `c` is what the file now holds.
int WriteUserFile(FileSystem& fs, Handle dir, const std::string& name, bool lookForJournal, bool followedLink,
                  const DataFileIds& data, const std::string& nameLine, const ReadAhead* ahead,
                  const FolderRules* rules, PerUserContent& c, std::string& step) {
    // What the folder tells the replace, when the file is in the per-user folder itself.
    auto withFolder = [&](NewContent content) {
        if (rules) content.folder = *rules;
        return content;
    };
    constexpr int kVerifiedAttempts = 3;
    if (lookForJournal) {
        if (int err = RollBack(fs, dir, name, step); err != 0) return err;
    }
    // The read before the question is the save's read of the file, the
    // first attempt's: its failure is the file's; a small file's bytes
    // serve that attempt, and a file whose bytes stay is not opened again.
    // A file that was missing or a link to nothing is looked at again: it
    // gets created.
    const bool readAhead = ahead && ahead->looked;
    if (readAhead && ahead->err != 0 && ahead->err != ENOENT && ahead->err != ELOOP) {
        step = ahead->err == kDataFileAlias ? step::kLink : step::kRead;
        return ahead->err;
    }
    for (int attempt = readAhead ? 1 : 0;; ++attempt) {
        const bool useAhead = readAhead && attempt == 1 && ahead->whole && ahead->bytes.size() <= kHeldBytes;
        if (useAhead) {
            c = PerUserFileContent(nameLine, &ahead->bytes);
            if (std::string_view(ahead->bytes).substr(0, c.keepFrom) == c.bytes) return 0;  // unchanged
            // Replaced by renaming (one name, this account's or root's to
            // give): the bytes read ahead are the source, and the last look
            // before the rename opens the file and compares them.
            const FileStat& st = ahead->st;
            if (st.nlink == 1 && (RunningAsRoot() || st.uid == EffectiveUser())) {
                SourceFile held(fs);
                held.st = st;
                held.head = ahead->bytes;
                held.atEnd = true;
                held.settled = ahead->settled;
                int err = ReplaceFileIn(fs, dir, name, false, followedLink,
                                        withFolder(NewContent(c.bytes, held, c.keepFrom, true)), false, step);
                if (err != kChangedMeanwhile) return err;
                continue;
            }
        }
        SourceFile current(fs);
        int err = OpenSource(fs, dir, name, current);
        FileStat st;
        if (err == ELOOP && fs.StatAt(dir, name, st) == 0 && st.isLink) err = ENOENT;  // a link to nothing
        if (err == ENOENT) {  // a new user's file, or one removed since the folder was listed
            c = PerUserFileContent(nameLine, nullptr);
            return ReplaceFileIn(fs, dir, name, false, followedLink, withFolder(NewContent(c.bytes)), false, step);
        }
        // Decided on the file opened, which is the one replaced: never
        // "user.txt" or "group.txt" under a per-user file's name.
        if (err == 0 && data.Holds(current.st)) {
            step = step::kLink;
            return kDataFileAlias;
        }
        if (err == 0 && useAhead && NodeId::Of(ahead->st).Is(current.st) && current.st.size == ahead->st.size) {
            // The file read ahead, as its descriptor tells: its bytes are
            // the source's; the last look before the replace compares them
            // with what the file then holds.
            current.head = ahead->bytes;
            current.atEnd = true;
        } else if (err == 0) {
            err = ReadFirstLines(fs, current);
        }
        if (err != 0) {
            step = step::kRead;
            return err;
        }
        c = PerUserFileContent(nameLine, &current.head);
        if (std::string_view(current.head).substr(0, c.keepFrom) == c.bytes) return 0;  // unchanged
        const bool verify = attempt < kVerifiedAttempts;
        err = ReplaceFileIn(fs, dir, name, false, followedLink,
                            withFolder(NewContent(c.bytes, current, c.keepFrom, verify)), false, step);
        if (err != kChangedMeanwhile || !verify) return err;
    }
}

// ------------------------------------------------------ per-user files

// One file of the per-user folder and the slots that write it. Slots that
// find the same file share it; the last of them gives the name line.
struct UserFile {
    std::string name;     // its name in the per-user folder
    bool isLink = false;  // a symbolic link (followed under the link rule)
    size_t lastSlot = 0;
    std::vector<size_t> slots;
};

struct UserFilePlan {
    std::vector<UserFile> files;       // in the order of their first slot
    std::vector<size_t> unsafeSlots;   // IDs that would leave the folder
    // With a listing: for each of its entries, the file of the plan that
    // it is, or -1.
    std::vector<long> fileOfEntry;
};

// Finds every slot's file: through the folder's listing (exact name, else
// the one case-insensitive match), or by its exact name when the folder
// could not be listed.
UserFilePlan PlanUserFiles(const UserFolderIndex* index, const UserTable& users) {
    UserFilePlan plan;
    // Never more files than users: the names stay where they are.
    plan.files.reserve(users.size());
    if (index) plan.fileOfEntry.assign(index->Entries().size(), -1);
    // Files found in the listing are known by their entry; the others
    // (new files, or all of them without a listing) by name.
    std::unordered_map<std::string_view, size_t> unlisted;
    for (size_t i = 0; i < users.size(); ++i) {
        if (!IdIsSafePath(users[i].UserId)) {
            plan.unsafeSlots.push_back(i);
            continue;
        }
        std::string name = UserFileName(users[i].UserId);
        bool isLink = !index;  // unknown without a listing: looked at
        long* entryFile = nullptr;
        if (index) {
            if (auto match = index->Find(name)) {
                const DirEntry& e = index->Entries()[match->entry];
                name = e.name;
                isLink = e.isLink;
                entryFile = &plan.fileOfEntry[match->entry];
            } else {
                isLink = index->IsLink(name);
            }
        }
        size_t file;
        if (entryFile && *entryFile >= 0) {
            file = size_t(*entryFile);
        } else if (auto it = entryFile ? unlisted.end() : unlisted.find(name); it != unlisted.end()) {
            file = it->second;
        } else {
            file = plan.files.size();
            plan.files.push_back(UserFile{std::move(name), isLink, i, {}});
            if (entryFile) *entryFile = long(file);
            else unlisted.emplace(plan.files.back().name, file);
        }
        UserFile& f = plan.files[file];
        f.lastSlot = i;
        f.slots.push_back(i);
    }
    return plan;
}

// A name pruning removes, and what it was when examined.
struct Doomed {
    std::string name;
    NodeId id;  // the entry itself (a link: the link, never its target)
};

// The identity of the file an entry of the per-user folder is: the entry
// itself, or a link's target under the board's link rule. ENOENT for a
// link the rule refuses or one to nothing: no file of ours.
int IdentityOf(FileSystem& fs, const WorkFolder& user, const BoardIds& ids, const std::string& name,
               FileStat& entry, NodeId& id) {
    if (int err = fs.StatAt(*user, name, entry); err != 0) return err;
    if (!entry.isLink) {
        id = NodeId::Of(entry);
        return 0;
    }
    Place place(fs);
    int err = Resolve(fs, *user, user.st, name, ids, place);
    FileStat target;
    if (err == 0) err = fs.StatAt(place.dir, place.name, target);
    if (err == kForeignLink || err == ELOOP || (err == 0 && target.isLink)) return ENOENT;
    if (err == 0) id = NodeId::Of(target);
    return err;
}

// The pruning rule: the ordinary files of the listing (and links to
// them), other than dot names, that are no slot's file, neither by name
// nor by identity (another name of a user's file, or a link to one). A
// user's file whose identity cannot be learnt stops the pruning; when
// `failures` is given, that is reported. Every look is taken through the
// folder's descriptor, without following a link the rule refuses.
std::vector<Doomed> PruneCandidates(FileSystem& fs, const WorkFolder& user, const BoardIds& ids,
                                    const std::string& folder, const std::vector<DirEntry>& entries,
                                    const UserFilePlan& plan, std::vector<Failure>* failures) {
    std::vector<const DirEntry*> byName;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DirEntry& e = entries[i];
        if (e.isRegular && !e.name.starts_with('.') && plan.fileOfEntry[i] < 0) byName.push_back(&e);
    }
    if (byName.empty()) return {};

    auto report = [&](const std::string& name, int err) {
        if (failures) failures->push_back(FileFailure(fs, JoinPath(folder, name), step::kInfo, err));
    };
    struct IdHash {
        size_t operator()(const NodeId& id) const {
            return std::hash<uint64_t>()(uint64_t(id.dev) * 1000003u ^ uint64_t(id.ino));
        }
    };
    struct IdEq {
        bool operator()(const NodeId& a, const NodeId& b) const { return a.dev == b.dev && a.ino == b.ino; }
    };
    std::unordered_set<NodeId, IdHash, IdEq> keptIds;
    keptIds.reserve(plan.files.size());
    FileStat st;
    for (const UserFile& f : plan.files) {
        NodeId id;
        int err = IdentityOf(fs, user, ids, f.name, st, id);
        if (err == 0) {
            keptIds.insert(id);
        } else if (err != ENOENT) {
            report(f.name, err);  // a user's file of unknown identity: delete nothing
            return {};
        }
    }
    std::vector<Doomed> out;
    for (const DirEntry* e : byName) {
        NodeId id;
        int err = IdentityOf(fs, user, ids, e->name, st, id);
        if (err != 0 && err != ENOENT) report(e->name, err);
        if (err == ENOENT && st.isLink) err = 0;  // a link to no file of ours: the link goes
        if (err != 0 || keptIds.contains(id)) continue;
        if (st.isLink == e->isLink && (st.isLink || st.isRegular)) out.push_back(Doomed{e->name, NodeId::Of(st)});
    }
    return out;
}

// Writes every planned per-user file of the open per-user folder `user`
// whose bytes change, and records in each slot the status and plan lines
// its file now holds. A plain file is written in the folder with its
// owner's rights; a link is followed under the board's link rule and its
// target written with the rights of the owner of the folder it is in.
void WriteUserFiles(FileSystem& fs, const WorkFolder& user, const BoardIds& ids, const DataFileIds& data,
                    const std::string& folder, const UserFolderIndex* index, const UserFilePlan& plan,
                    const std::vector<ReadAhead>& ahead, const Prepared& prepared, UserTable& users,
                    NameLineHashes* nameLines, std::vector<Failure>& failures, const std::function<void()>& fileDone) {
    // The folder owner's rights, taken once for the files of the folder
    // itself; given back before a link is followed.
    std::optional<OwnerRights> folderRights;
    // What files made in the folder are like, asked once with those rights.
    std::optional<FolderRules> rules;
    // The name lines written, by file; into `nameLines` after the writes.
    std::vector<std::pair<size_t, uint64_t>> written;
    if (nameLines) written.reserve(plan.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const UserFile& f = plan.files[i];
        // Counted when the file is done, with the program's own rights: the
        // window answers the system meanwhile.
        struct Done {
            const std::function<void()>& fileDone;
            std::optional<OwnerRights>& rights;
            ~Done() {
                if (!fileDone) return;
                GiveBackForReport(rights);
                fileDone();
            }
        } done{fileDone, folderRights};
        const std::string& nameLine = prepared.nameLines[f.lastSlot];
        PerUserContent c;
        std::string step;
        int err;
        if (!f.isLink) {
            if (!folderRights) folderRights.emplace(user.st.uid);
            if (!rules && folderRights->error() == 0) rules = RulesOf(fs, user);
            step = step::kOwner;
            // The listing tells whether a journal lies beside the file.
            const bool journal = index->HasJournalOf(f.name);
            if (journal) NameJournalFolder(folder);
            err = folderRights->error() != 0
                      ? folderRights->error()
                      : WriteUserFile(fs, *user, f.name, journal, false, data, nameLine,
                                      i < ahead.size() ? &ahead[i] : nullptr, rules ? &*rules : nullptr, c, step);
        } else {
            folderRights.reset();
            Place place(fs);
            err = Resolve(fs, *user, user.st, f.name, ids, place);
            step = err == kForeignLink ? step::kLink : step::kInfo;
            if (err == 0) {
                OwnerRights rights(place.folder.uid);
                step = step::kOwner;
                NameJournalFolder(folder);
                err = rights.error() != 0 ? rights.error()
                                          : WriteUserFile(fs, place.dir, place.name, true, place.followedLink, data,
                                                          nameLine, nullptr, nullptr, c, step);
            }
        }
        if (err != 0) {
            failures.push_back(FileFailure(fs, JoinPath(folder, f.name), step, err));
            continue;
        }
        if (nameLines) {
            std::string_view line(nameLine);
            written.emplace_back(i, HashBytes(TakeLine(line).text));
        }
        for (size_t slot : f.slots) {
            users[slot].StatusLine = c.status;
            users[slot].PlanLine = c.plan;
        }
    }
    for (const auto& [i, hash] : written) (*nameLines)[plan.files[i].name] = hash;
}

// Reads every per-user file of the plan that is reached by its own name
// and has no journal beside it, once, with the folder owner's rights: one
// open (which gives the file's identity and size), one read of that size,
// one close. Larger files, and one that turns out to be a data file, are
// left to their write; their first kNameLineBytes serve the look.
std::vector<ReadAhead> ReadUserFilesAhead(FileSystem& fs, const WorkFolder& user, const UserFolderIndex& index,
                                          const DataFileIds& data, const UserFilePlan& plan,
                                          const std::function<void()>& fileLooked) {
    std::vector<ReadAhead> ahead(plan.files.size());
    // The folder owner's rights, held from file to file, but given back
    // while the window answers the system (`fileLooked`).
    std::optional<OwnerRights> rights;
    // Taken before the first file is opened: a file whose change time is
    // older has not changed since (SourceFile::settled).
    const std::optional<int64_t> clock = fs.ChangeClock(*user);
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const UserFile& f = plan.files[i];
        if (fileLooked) {
            GiveBackForReport(rights);
            fileLooked();
        }
        if (!rights) {
            rights.emplace(user.st.uid);
            if (rights->error() != 0) return ahead;  // the rest is read by its write
        }
        if (f.isLink || index.HasJournalOf(f.name)) continue;
        ReadAhead& a = ahead[i];
        a.looked = true;
        SourceFile src(fs);
        if ((a.err = OpenSource(fs, *user, f.name, src)) != 0) continue;
        if (data.Holds(src.st)) {
            a.err = kDataFileAlias;
            continue;
        }
        const bool small = src.st.size <= int64_t(kNameLineBytes);
        a.err = ReadHead(fs, src, small ? size_t(src.st.size) : kNameLineBytes);
        a.whole = a.err == 0 && small;
        a.settled = a.whole && clock && src.st.ctimeNs != 0 && src.st.ctimeNs < *clock;
        a.st = src.st;
        a.bytes = std::move(src.head);
    }
    return ahead;
}

// The files changed outside since the load or the last save, as
// FilesChangedOutside names them, from the bytes read ahead where there
// are some, else from a look of its own (a link, a file with a journal, a
// file no user has now).
std::vector<std::string> ChangedOutsideAhead(FileSystem& fs, const WorkFolder& board, const WorkFolder& user,
                                             const BoardIds& ids, const UserFolderIndex& index,
                                             const DataFileIds& data, const UserFilePlan& plan,
                                             const std::vector<ReadAhead>& ahead,
                                             const FileSnapshot& userFile, const FileSnapshot& groupFile) {
    // Journals looked at here are named by the save that follows, if any.
    JournalFindings unused;
    std::vector<std::string> changed = DataFilesChangedOutside(fs, board, true, userFile, groupFile);
    if (!userFile.nameLines) return changed;
    std::string head;
    auto differs = [&](const std::string& name, uint64_t hash) {
        int err = ReadListedHead(fs, index, user, ids, data, name, kNameLineBytes, head);
        if (err == EFBIG) err = 0;
        return err != 0 || !NameLineIs(head, hash);
    };
    // First from the bytes read ahead where there are some.
    auto differsAhead = [&](const std::string& name, uint64_t hash) {
        // Read ahead only when some user has the file: then the listing holds it.
        const long entry = index.EntryOf(name);
        const long file = entry < 0 ? -1 : plan.fileOfEntry[size_t(entry)];
        const ReadAhead* a = file >= 0 && ahead[size_t(file)].looked ? &ahead[size_t(file)] : nullptr;
        return a ? (a->err != 0 || !NameLineIs(a->bytes, hash)) : differs(name, hash);
    };
    AddNamesChangedOutside(*userFile.nameLines, differsAhead, differs, changed);
    return changed;
}

// ------------------------------------------------- "user.txt", "group.txt"

// A data file opened to change its mode, with the mode of the folder that
// holds it.
struct AttributeTarget {
    ScopedHandle file;
    FileStat st;
    explicit AttributeTarget(FileSystem& fs) : file(fs) {}
};

int OpenForAttributes(FileSystem& fs, const Place& place, AttributeTarget& t) {
    if (int err = fs.OpenAt(place.dir, place.name, false, t.file.get()); err != 0) return err;
    return fs.StatOf(*t.file, t.st);
}

// Whether the mode of this file is this account's to change. A file of
// another account keeps its mode (only root or its owner may change it),
// and that is no failure.
bool OwnsMode(const FileStat& st) { return RunningAsRoot() || st.uid == EffectiveUser(); }

// "normal": gives the owner's write permission back, and the group's where
// the folder holding the file is writable by the file's group, so a board
// shared by a group stays writable for every member. Never grants more than
// the file and its folder already do. Fails when the file is missing, is no
// regular file, or its mode cannot be changed.
int SetNormal(FileSystem& fs, const Place& place, FileMode& mode) {
    AttributeTarget t(fs);
    if (int err = OpenForAttributes(fs, place, t); err != 0) return err;
    mode = t.st.mode;
    if (!OwnsMode(t.st)) return 0;
    mode |= kModeOwnerWrite;
    if ((place.folder.mode & kModeGroupWrite) && place.folder.gid == t.st.gid) mode |= kModeGroupWrite;
    return mode == t.st.mode ? 0 : fs.SetMode(*t.file, mode);
}

// "read-only": removes every write permission bit of a file this account owns.
int SetReadOnly(FileSystem& fs, const Place& place) {
    AttributeTarget t(fs);
    if (int err = OpenForAttributes(fs, place, t); err != 0) return err;
    if (!OwnsMode(t.st)) return 0;
    const FileMode mode = t.st.mode & ~kModeAnyWrite;
    return mode == t.st.mode ? 0 : fs.SetMode(*t.file, mode);
}

// Writes "user.txt" or "group.txt" of the open board folder: normal,
// replace (flushed to disk), read-only, all in the folder the name leads to
// (a link followed under the board's link rule) and with its owner's
// rights. A file that cannot be set to normal is skipped. Returns whether
// the new content was written.
bool WriteDataFile(FileSystem& fs, const WorkFolder& board, const BoardIds& ids, const std::string& path,
                   const std::string& content, FileSnapshot* snapshot, std::vector<Failure>& failures) {
    Place place(fs);
    if (int err = Resolve(fs, *board, board.st, NameOf(path), ids, place); err != 0) {
        failures.push_back(FileFailure(fs, path, err == kForeignLink ? step::kLink : step::kInfo, err));
        return false;
    }
    OwnerRights rights(place.folder.uid);
    if (rights.error() != 0) {
        failures.push_back(FileFailure(fs, path, step::kOwner, rights.error()));
        return false;
    }
    FileMode mode = 0;
    if (int err = SetNormal(fs, place, mode); err != 0) {
        failures.push_back(FileFailure(fs, path, step::kAttributes, err));
        return false;
    }
    std::string step;
    NameJournalFolder(FolderOf(path));
    int err = ReplaceFileIn(fs, place.dir, place.name, true, place.followedLink, NewContent(content), true, step);
    if (err != 0) failures.push_back(FileFailure(fs, path, step, err));
    if (int ro = SetReadOnly(fs, place); ro != 0)
        failures.push_back(FileFailure(fs, path, step::kAttributes, ro));
    if (err != 0) return false;
    if (snapshot) {
        // Size and hash are those of the content just written; only the
        // time needs a look at the file, and stays unknown (0) without it.
        FileStat st;
        if (fs.StatAt(place.dir, place.name, st) != 0) st = FileStat{};
        st.size = int64_t(content.size());
        *snapshot = SnapshotOf(true, st, content);
    }
    return true;
}

// Removes the doomed names from the open per-user folder, with its owner's
// rights, once the folder's descriptor shows it is still the folder listed
// and still in place; each name only while it is still the entry examined.
void Prune(FileSystem& fs, const WorkFolder& user, const std::string& folder, const std::vector<Doomed>& doomed,
           NameLineHashes* nameLines, std::vector<Failure>& failures) {
    if (doomed.empty()) return;
    OwnerRights rights(user.st.uid);
    FileStat now;
    int err = rights.error() != 0 ? rights.error() : fs.StatOf(*user, now);
    if (err == 0 && (!NodeId::Of(user.st).Is(now) || now.nlink == 0)) err = kFolderReplaced;
    if (err != 0) {
        failures.push_back(FileFailure(fs, folder, step::kPrune, err));
        return;
    }
    for (const Doomed& d : doomed) {
        FileStat st;
        int e = fs.StatAt(*user, d.name, st);
        if (e == ENOENT) continue;
        const char* failed = e != 0 ? step::kInfo : step::kDelete;
        if (e == 0 && !d.id.Is(st)) e = kReplacedMeanwhile;
        if (e == 0) e = fs.UnlinkAt(*user, d.name);
        if (e != 0) failures.push_back(FileFailure(fs, JoinPath(folder, d.name), failed, e));
        else if (nameLines) nameLines->erase(d.name);
    }
}

}  // namespace

std::vector<Failure> CheckWritable(const UserTable& users, const GroupTable& groups) {
    Prepared prepared;
    return Prepare(users, groups, prepared);
}

std::vector<std::string> FilesPruneWouldDelete(FileSystem& fs, const BoardPaths& paths,
                                               const UserTable& users) {
    WorkFolder board(fs), user(fs);
    if (OpenBoardFolder(fs, paths.InstalledPath, NodeId(), board) != 0) return {};
    BoardIds ids;
    ids.board = NodeId::Of(board.st);
    if (OpenUserFolder(fs, board, ids, user) != 0) return {};
    ids.user = NodeId::Of(user.st);
    OwnerRights rights(user.st.uid);
    UserFolderIndex index;
    if (rights.error() != 0 || index.Build(fs, *user, paths.UserFolder()) != 0) return {};
    UserFilePlan plan = PlanUserFiles(&index, users);
    std::vector<std::string> names;
    for (Doomed& d : PruneCandidates(fs, user, ids, index.Folder(), index.Entries(), plan, nullptr))
        names.push_back(std::move(d.name));
    return names;
}

SaveReport SaveBoard(FileSystem& fs, const BoardPaths& paths, UserTable& users,
                     const GroupTable& groups, FileSnapshot* userSnapshot,
                     FileSnapshot* groupSnapshot, const WriteQuestion& confirmWrite,
                     const std::function<void(size_t done, size_t total)>& progress) {
    SaveReport report;
    auto& failures = report.failures;
    Prepared prepared;
    failures = Prepare(users, groups, prepared);
    if (!failures.empty()) {
        report.refused = true;
        return report;
    }

    // Before the question and the first write, one look at everything: the
    // board folder (the one the board was loaded from, or nothing is
    // written; every file of the board is reached through it), the
    // per-user folder and its listing, and every per-user file read once.
    // The look for files changed outside and the writes both use what it read.
    const std::string& root = paths.InstalledPath;
    const std::string folder = paths.UserFolder();
    BoardIds ids = userSnapshot ? userSnapshot->folders : BoardIds();
    WorkFolder board(fs);
    const int boardErr = OpenBoardFolder(fs, root, ids.board, board);
    WorkFolder user(fs);
    int folderErr = ENOENT;
    UserFolderIndex index;
    int listErr = 0;
    if (boardErr == 0) {
        ids.board = NodeId::Of(board.st);
        folderErr = OpenUserFolder(fs, board, ids, user);
        if (folderErr == 0) {
            ids.user = NodeId::Of(user.st);
            OwnerRights rights(user.st.uid);
            listErr = rights.error() != 0 ? rights.error() : index.Build(fs, *user, folder);
        }
    }
    const bool listed = boardErr == 0 && folderErr == 0 && listErr == 0;
    UserFilePlan plan = PlanUserFiles(listed ? &index : nullptr, users);
    // Progress counts the files written; while the files are read before
    // the question, none is done yet, but the window keeps answering.
    const size_t files = plan.files.size() + 2;
    size_t done = 0;
    auto fileDone = [&] {
        if (progress) progress(++done, files);
    };
    auto fileLooked = [&] {
        if (progress) progress(done, files);
    };
    fileLooked();
    DataFileIds aheadData;
    std::string failedName;
    const int aheadDataErr = listed ? FindDataFiles(fs, board, ids, aheadData, failedName) : 0;
    const bool readAhead = listed && aheadDataErr == 0;
    const std::vector<ReadAhead> ahead =
        readAhead ? ReadUserFilesAhead(fs, user, index, aheadData, plan, fileLooked) : std::vector<ReadAhead>();

    if (confirmWrite) {
        std::vector<std::string> changed;
        if (confirmWrite.WantsChanges() && userSnapshot) {
            const FileSnapshot noGroupFile;
            const FileSnapshot& groupFile = groupSnapshot ? *groupSnapshot : noGroupFile;
            // Where something could not be looked at, the full look of its own says so.
            changed = readAhead ? ChangedOutsideAhead(fs, board, user, ids, index, aheadData, plan, ahead,
                                                      *userSnapshot, groupFile)
                                : FilesChangedOutside(fs, paths, *userSnapshot, groupFile);
        }
        if (!confirmWrite(changed)) {
            report.cancelled = true;
            return report;
        }
    }

    // Journals that are not trusted change nothing; the report names them.
    JournalFindings ignoredJournals;
    if (boardErr != 0) {
        failures.push_back(FileFailure(fs, root, step::kOpenFolder, boardErr));
        return report;
    }
    {
        OwnerRights rights(board.st.uid);
        if (rights.error() == 0) RemoveStaleTemporaryFiles(fs, *board);
    }

    // 1. "user.txt".
    std::shared_ptr<const NameLineHashes> rememberedNames = userSnapshot ? userSnapshot->nameLines : nullptr;
    const bool userTxtWritten =
        WriteDataFile(fs, board, ids, paths.UserFilePath, prepared.userTxt, userSnapshot, failures);
    fileDone();
    if (userSnapshot) userSnapshot->nameLines = rememberedNames;

    // 2. Every per-user file, in the per-user folder the board was loaded
    // with. One that is a link the link rule refuses, or another folder put
    // in its place, is not entered at all.
    if (folderErr == kForeignLink || folderErr == kFolderReplaced) {
        failures.push_back(FileFailure(fs, folder, folderErr == kForeignLink ? step::kLink : step::kInfo, folderErr));
        WriteDataFile(fs, board, ids, paths.GroupFilePath, prepared.groupTxt, groupSnapshot, failures);
        if (userSnapshot) userSnapshot->folders = ids;
        report.ignoredJournals = ignoredJournals.Take();
        return report;
    }
    if (folderErr != 0 && folderErr != ENOENT) failures.push_back(FileFailure(fs, folder, step::kList, folderErr));
    if (folderErr == 0 && listErr != 0) {
        failures.push_back(FileFailure(fs, folder, step::kList, listErr));
    } else if (folderErr == 0) {
        OwnerRights rights(user.st.uid);  // the listing was taken with them
        RemoveStaleTemporaryFiles(fs, *user, &index.Entries());
    }
    for (size_t slot : plan.unsafeSlots)
        failures.push_back(StepProblem(UserRecord(slot, users[slot]), step::kUserFile, kUnsafeId));
    // The name lines as written replace those remembered (a copy: other
    // holders of the snapshot keep theirs). Held by this snapshot alone,
    // the map is taken over instead of copied; the snapshot gets it back
    // below.
    std::shared_ptr<NameLineHashes> nameLines;
    if (userSnapshot && rememberedNames && rememberedNames.use_count() == 2 &&
        userSnapshot->nameLines == rememberedNames) {
        userSnapshot->nameLines.reset();
        nameLines = std::const_pointer_cast<NameLineHashes>(std::move(rememberedNames));
    } else if (userSnapshot) {
        nameLines = std::make_shared<NameLineHashes>(rememberedNames ? *rememberedNames : NameLineHashes());
    }
    // No per-user file may turn out to be a data file: without knowing
    // them (as they are now that "user.txt" is written), none is written.
    DataFileIds data;
    int dataErr = 0;
    if (folderErr == 0) dataErr = aheadDataErr != 0 ? aheadDataErr : FindDataFiles(fs, board, ids, data, failedName);
    if (dataErr != 0)
        failures.push_back(FileFailure(fs, JoinPath(root, failedName), step::kInfo, dataErr));
    if (folderErr == 0 && dataErr == 0) {
        WriteUserFiles(fs, user, ids, data, folder, listErr == 0 ? &index : nullptr, plan, ahead, prepared, users,
                       nameLines.get(), failures, fileDone);
    } else if (folderErr != 0) {
        for (const UserFile& f : plan.files)
            failures.push_back(FileFailure(fs, JoinPath(folder, f.name),
                                           folderErr == ENOENT ? step::kCreate : step::kInfo, folderErr));
    }

    // 3. Pruning. The old "user.txt" still lists the users whose files it
    // would delete, so it waits for a "user.txt" that was written. Names
    // are removed through the folder's descriptor: a link goes, never its
    // target, and nothing in another folder.
    if (!userTxtWritten) {
        failures.push_back(StepProblem(folder, step::kPrune, kPruneSkipped));
    } else if (folderErr == 0 && listErr == 0 && dataErr == 0) {
        std::vector<Doomed> doomed;
        {
            OwnerRights rights(user.st.uid);
            if (rights.error() == 0)
                doomed = PruneCandidates(fs, user, ids, folder, index.Entries(), plan, &failures);
        }
        Prune(fs, user, folder, doomed, nameLines.get(), failures);
    }

    if (userSnapshot) {
        userSnapshot->nameLines = std::move(nameLines);
        userSnapshot->folders = ids;
    }

    // 4. "group.txt".
    WriteDataFile(fs, board, ids, paths.GroupFilePath, prepared.groupTxt, groupSnapshot, failures);
    if (progress) progress(files, files);
    report.ignoredJournals = ignoredJournals.Take();
    return report;
}

}  // namespace solne
