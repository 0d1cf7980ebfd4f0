// Each command of solne-admin against the window's handler: random boards
// in two copies, the same random commands typed into the window on the fake
// toolkit (rows clicked, boxes typed, questions answered Yes, then 保存) and
// given to solne-admin; both must show the same messages and leave the same
// files. Keys that the board holds twice are refused by solne-admin alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "cli/Admin.h"
#include "cli/CliToolkit.h"
#include "common/TempBoard.h"
#include "fake/FakeToolkit.h"

namespace solne::test {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            out[fs::relative(entry.path(), folder).generic_string()] = ReadBytes(entry.path().string());
    return out;
}

struct Command {
    std::string verb;
    std::vector<std::string> args;  // after the folder
    std::vector<std::string> options;
};

class Generator {
public:
    explicit Generator(uint64_t seed) : rng_(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }

    // Users u1..u9 (now and then an ID twice), groups from a few names (now
    // and then a name twice), every per-user file as the save writes it.
    BoardFiles Board() {
        BoardFiles b;
        const int groups = 1 + Pick(4);
        for (int g = 1; g <= groups; ++g) b.groupLines.push_back(std::to_string(g) + "," + Group());
        const int users = Pick(8);
        for (int i = 0; i < users; ++i) {
            const std::string id = "u" + std::to_string(1 + Pick(20));
            b.userLines.push_back(id + ",p" + std::to_string(i) + "," + std::to_string(Pick(groups + 1)));
            b.perUser.push_back({id, {"username=名" + std::to_string(i), "status=0", "plan="}});
        }
        return b;
    }

    // A value for a box: mostly good, now and then empty or refused.
    std::string Value(const std::string& good) {
        switch (Pick(10)) {
            case 0: return "";
            case 1: return good + ",x";
            case 2: return " " + good;
            default: return good;
        }
    }
    // Mostly a key the window shows, now and then one it does not.
    std::string Id() {
        if (users_ && users_->RowCount() > 0 && Chance(85)) return users_->Row(Pick(users_->RowCount())).texts[1];
        return "u" + std::to_string(1 + Pick(20));
    }
    std::string Group() {
        if (groups_ && groups_->RowCount() > 0 && Chance(85)) return groups_->Row(Pick(groups_->RowCount())).texts[0];
        const char* names[] = {"総務部", "営業部", "開発部", "企画部", "人事部", "経理部"};
        return names[Pick(6)];
    }
    void Showing(const ListView* users, const ListView* groups) {
        users_ = users;
        groups_ = groups;
    }
    std::vector<std::string> Ids() {
        std::vector<std::string> ids;
        for (int n = Pick(4); n > 0; --n) ids.push_back(Id());
        return ids;
    }

    Command Next() {
        Command c;
        switch (Pick(8)) {
            case 0:
                c = {"add-user", {Value(Id()), Value("pw"), Value("新人")}, {}};
                if (Chance(50)) c.options = {"--group", Group()};
                break;
            case 1:
                c = {"update-user", {Id()}, {}};
                if (Chance(70)) c.options.insert(c.options.end(), {"--password", Value("np")});
                if (c.options.empty() || Chance(50)) c.options.insert(c.options.end(), {"--name", Value("改名")});
                break;
            case 2: c = {"delete-user", Ids(), {}}; break;
            case 3: c = {"add-group", {Value("新部")}, {}}; break;
            case 4: c = {"rename-group", {Group(), Value("改部")}, {}}; break;
            case 5: c = {"delete-group", {Group()}, {}}; break;
            case 6: c = {"set-group", {Group()}, {}}; for (auto& id : Ids()) c.args.push_back(id); break;
            default: c = {"release", Ids(), {}}; break;
        }
        return c;
    }

private:
    std::mt19937_64 rng_;
    const ListView* users_ = nullptr;
    const ListView* groups_ = nullptr;
};

// The rows of a list whose text `column` is `key`.
std::vector<int> RowsWith(const ListView& list, int column, const std::string& key) {
    std::vector<int> rows;
    for (int r = 0; r < list.RowCount(); ++r)
        if (list.Row(r).texts[column] == key) rows.push_back(r);
    return rows;
}

// What the window does for a command, when it can: false when the command
// names a key that is not on the board exactly once (the window cannot pick
// such a row; solne-admin refuses). Warnings go to `dialogs`.
bool InWindow(const Command& c, FakeForm& w, FakeDialogs& dialogs) {
    auto userRow = [&](const std::string& id, int& row) {
        auto rows = RowsWith(*w.lsvUserList, 1, id);
        if (rows.size() != 1) return false;
        row = rows.front();
        return true;
    };
    auto groupRow = [&](const std::string& name, int& row) {
        auto rows = RowsWith(*w.lsvGroupList, 0, name);
        if (rows.size() != 1) return false;
        row = rows.front();
        return true;
    };
    auto clickUsers = [&](const std::vector<std::string>& ids) {
        std::vector<int> rows;
        for (const std::string& id : ids) {
            int row = 0;
            if (!userRow(id, row)) return false;
            rows.push_back(row);
        }
        w.userList.Select({});  // what an earlier command left selected
        bool first = true;
        for (int row : rows) {
            // Ctrl-click toggles: a row named twice is clicked once.
            const std::vector<int> selected = w.userList.SelectedRows();
            if (!first && std::find(selected.begin(), selected.end(), row) != selected.end()) continue;
            w.userList.Click(row, first ? Mods::None : Mods::Ctrl);
            first = false;
        }
        return true;
    };
    auto option = [&](const std::string& name) -> const std::string* {
        for (size_t i = 0; i + 1 < c.options.size(); ++i)
            if (c.options[i] == name) return &c.options[i + 1];
        return nullptr;
    };
    const auto& a = c.args;
    int row = 0;
    if (c.verb == "add-user") {
        const std::string* group = option("--group");
        if (group) {
            if (!groupRow(*group, row)) return false;
            w.groupList.Click(row);
        }
        w.userId.text = a[0];
        w.passWords.text = a[1];
        w.userName.text = a[2];
        const size_t shown = dialogs.boxes.size();
        w.cmdUserAdd_Click();
        if (group && dialogs.boxes.size() == shown) {
            w.userList.Click(w.userList.RowCount() - 1);
            w.cmdGroupSet_Click();
        }
    } else if (c.verb == "update-user") {
        auto rows = RowsWith(*w.lsvUserList, 1, a[0]);
        if (rows.size() > 1) return false;
        if (rows.size() == 1) w.userList.Click(rows.front());
        else w.userId.text = a[0];
        if (auto* p = option("--password")) w.passWords.text = *p;
        if (auto* n = option("--name")) w.userName.text = *n;
        w.cmdUserUp_Click();
    } else if (c.verb == "delete-user") {
        if (!clickUsers(a)) return false;
        if (!a.empty()) dialogs.answers.push_back(MsgAnswer::Yes);
        w.cmdUserDelete_Click();
    } else if (c.verb == "add-group") {
        w.groupName.text = a[0];
        w.cmdGroupAdd_Click();
    } else if (c.verb == "rename-group") {
        if (!groupRow(a[0], row)) return false;
        w.groupList.Click(row);
        w.groupName.text = a[1];
        w.cmdGroupUp_Click();
    } else if (c.verb == "delete-group") {
        if (!groupRow(a[0], row)) return false;
        w.groupList.Click(row);
        dialogs.answers.push_back(MsgAnswer::Yes);
        w.cmdGroupDelete_Click();
    } else if (c.verb == "set-group") {
        if (!groupRow(a[0], row)) return false;
        if (!clickUsers({a.begin() + 1, a.end()})) return false;
        w.groupList.Click(row);
        w.cmdGroupSet_Click();
    } else if (c.verb == "release") {
        if (!clickUsers(a)) return false;
        w.cmdGroupCancel_Click();
    }
    return true;
}

TEST(AdminDifferential, EveryCommandDoesWhatTheWindowDoes) {
    const char* seedText = std::getenv("SOLNE_ADMIN_SEED");
    const uint64_t seed = seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (SOLNE_ADMIN_SEED repeats it)");
    Generator gen(seed);
    int compared = 0, refusedKeys = 0, warned = 0;
    for (int board = 0; board < 100; ++board) {
        TempDir dir(MemoryScratchParent());
        const std::string windowBoard = dir / "window", adminBoard = dir / "admin";
        gen.Showing(nullptr, nullptr);
        const BoardFiles files = gen.Board();
        WriteBoard(windowBoard, files);
        WriteBoard(adminBoard, files);
        WriteBytes(dir / "setup.ini", "[Script]\r\nInstalledPath=" + windowBoard + "\r\n");
        FakeDialogs dialogs;
        auto w = std::make_unique<FakeForm>(dialogs, dir / "setup.ini");
        ASSERT_EQ(w->Start(), StartResult::Ready);

        for (int step = 0; step < 8; ++step) {
            gen.Showing(w->lsvUserList, w->lsvGroupList);
            const Command c = gen.Next();
            std::string line = c.verb;
            for (auto& s : c.args) line += " [" + s + "]";
            for (auto& s : c.options) line += " " + s;
            SCOPED_TRACE("board " + std::to_string(board) + " step " + std::to_string(step) + ": " + line);
            if (std::getenv("SOLNE_ADMIN_TRACE")) std::printf("%d/%d %s\n", board, step, line.c_str());

            std::vector<std::string> args = {c.verb, adminBoard};
            args.insert(args.end(), c.args.begin(), c.args.end());
            args.insert(args.end(), c.options.begin(), c.options.end());
            const auto adminBefore = Files(adminBoard);
            std::string out, err;
            const int status = cli::RunAdmin(args, out, err);

            dialogs.boxes.clear();
            if (!InWindow(c, *w, dialogs)) {
                ++refusedKeys;
                EXPECT_EQ(status, 1) << err;
                EXPECT_TRUE(err.find("いません") != std::string::npos || err.find("ありません") != std::string::npos ||
                            err.find("決められない") != std::string::npos)
                    << err;
                EXPECT_EQ(Files(adminBoard), adminBefore);
                // The window would show what it shows; start it again from its files.
                w.reset();
                w = std::make_unique<FakeForm>(dialogs, dir / "setup.ini");
                ASSERT_EQ(w->Start(), StartResult::Ready);
                continue;
            }
            std::string warnings;
            for (const ShownBox& box : dialogs.boxes)
                if (box.icon == MsgIcon::Warning && box.buttons == MsgButtons::Ok)
                    warnings += cli::TerminalText(box.text) + "\n";
            EXPECT_EQ(err, warnings);
            if (!warnings.empty()) {
                ++warned;
                EXPECT_EQ(status, 1);
                EXPECT_EQ(Files(adminBoard), adminBefore);
                // A refused command may have rebuilt the lists only; the tables are as saved.
            } else {
                EXPECT_EQ(status, 0) << err;
                dialogs.boxes.clear();
                w->cmdSave_Click();
                ASSERT_EQ(dialogs.boxes.size(), 1u);
                EXPECT_EQ(dialogs.boxes[0].text, "データの保存が完了しました。");
            }
            EXPECT_EQ(Files(adminBoard), Files(windowBoard));
            ++compared;
            ASSERT_FALSE(HasFailure());
        }
        EXPECT_FALSE(dialogs.unanswered);
    }
    std::printf("admin differential: %d commands compared (%d refused by the window), %d naming no single record\n",
                compared, warned, refusedKeys);
}

}  // namespace
}  // namespace solne::test
