#include "frmMain/frmMain.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "frmMain/Layout.h"

namespace solne {

frmMain::frmMain(const FormControls& controls, SettingsPlace settings, FileSystem& fs)
    : txtUserId(&controls.txtUserId),
      txtPassWords(&controls.txtPassWords),
      txtUserName(&controls.txtUserName),
      lsvUserList(&controls.lsvUserList),
      txtGroupName(&controls.txtGroupName),
      lsvGroupList(&controls.lsvGroupList),
      window_(controls.window),
      dialogs_(controls.dialogs),
      fs_(fs),
      settings_(std::move(settings)) {}

size_t frmMain::SlotOf(const ListView& list, int row, size_t tableSize) {
    const int slot = list.Row(row).slot;
    if (slot < 0 || size_t(slot) >= tableSize) {
        std::fprintf(stderr, "solne: list row %d shows slot %d of a table of %zu slots\n", row, slot,
                     tableSize);
        std::abort();
    }
    return size_t(slot);
}

void frmMain::Warn(const std::string& text, const std::string& caption) {
    dialogs_.MsgBox(text, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, caption);
}

bool frmMain::AskYesNo(const std::string& text) {
    return dialogs_.MsgBox(text, MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, kAppTitle) ==
           MsgAnswer::Yes;
}

std::string frmMain::Typed(const TextBox& box) { return NormalizeTyped(box.Text()); }

bool frmMain::InputRefused(InputBox box, const std::string& text, std::optional<InputBox>* refused) {
    if (InputAllowed(box, text)) return false;
    if (refused) *refused = box;
    Warn(InputRefusedMessage(box));
    return true;
}

StartResult frmMain::Start() {
    StartResult result = Form_Load();
    if (result == StartResult::Ready) window_.Show();
    return result;
}

// Start-up: locate the board folder, set up the columns, load both tables and
// show every loaded record, blank ones included. Filling a list leaves no row
// selected, so nothing is selected afterwards.
StartResult frmMain::Form_Load() {
    DataChanged = false;

    LocateOutcome located = LocateInstallation(
        fs_, settings_.readFrom, [this](const std::string& message) { Warn(message); },
        [this] { return dialogs_.ChooseFolder(); });
    if (located.cancelled) return StartResult::Cancelled;
    return LoadBoardAt(located);
}

StartResult frmMain::Form_LoadFolder(const std::string& folder) {
    DataChanged = false;
    LocateOutcome located;
    located.paths = BoardPaths::For(folder);
    return LoadBoardAt(located);
}

// Loads the board of a located folder and fills both lists.
StartResult frmMain::LoadBoardAt(const LocateOutcome& located) {
    paths_ = located.paths;
    InstalledPath = paths_.InstalledPath;
    UserFilePath = paths_.UserFilePath;
    GroupFilePath = paths_.GroupFilePath;

    AddColumns();

    LoadedBoard board;
    std::optional<Failure> error;
    {
        LongWork work(window_, "ファイルを読み込んでいます…", work_);
        error = LoadBoard(fs_, paths_, board, [&work](size_t done, size_t total) { work.Progress(done, total); });
    }
    if (error) {
        ShowLoadError(*error, board.ignoredJournals);
        return StartResult::LoadFailed;
    }
    // Journals that were not trusted were not read: the administrator hears of them.
    if (!board.ignoredJournals.empty()) Warn(JournalFindingsText(board.ignoredJournals));
    Users = std::move(board.Users);
    Groups = std::move(board.Groups);
    userSnapshot_ = board.userFile;
    groupSnapshot_ = board.groupFile;

    // A chosen folder is remembered only now that its board has loaded: a
    // folder that does not load must not send every later start to the
    // same error instead of the chooser.
    if (located.prompted) {
        if (std::optional<Failure> error = RememberInstalledPath(fs_, settings_, InstalledPath))
            Warn("設定ファイルに書き込めませんでした。\r\n" + error->ToString());
    }

    // One row per line read, blank records included; a table that is one
    // blank slot because its file had no line (line 0) gets none.
    std::vector<ListRow> userRows;
    for (size_t i = 0; i < board.userSources.size() && i < Users.size(); ++i)
        if (board.userSources[i].line > 0) userRows.push_back(UserRowOf(Users[i], int(i)));
    lsvUserList->SetRows(std::move(userRows));
    std::vector<ListRow> groupRows;
    for (size_t i = 0; i < board.groupSources.size() && i < Groups.size(); ++i)
        if (board.groupSources[i].line > 0) groupRows.push_back(GroupRowOf(Groups[i], int(i)));
    lsvGroupList->SetRows(std::move(groupRows));
    return StartResult::Ready;
}

// The columns of the layout, in its order.
void frmMain::AddColumns() {
    for (const layout::Column& column : layout::kColumns) {
        ListView* list = std::string_view(column.list) == "lsvUserList" ? lsvUserList : lsvGroupList;
        list->AddColumn(column.header, column.widthTwips);
    }
}

void frmMain::ShowLoadError(const Failure& error, const std::vector<JournalFinding>& ignoredJournals) {
    std::string text = "データファイルを読み込めませんでした。\r\n" + error.Lines();
    if (!ignoredJournals.empty()) text += "\r\n\r\n" + JournalFindingsText(ignoredJournals);
    Warn(text);
}

}  // namespace solne
