// The editor's one window, without its toolkit: the tables and paths of the
// run, the controls it reads and fills (through Controls.h), and one handler
// per control event. The toolkit (src/qt, src/win32) makes the controls,
// builds frmMain on them and sends each event to its handler. The handlers
// live in files named after their area: start-up (frmMain.cpp), lists and
// selection (Lists.cpp), user commands (UserCommands.cpp), group commands
// (GroupCommands.cpp), saving and closing (SaveClose.cpp); what a load or a
// save shows while it runs is LongWork.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Define/Define.h"
#include "Define/FileSystem.h"
#include "frmMain/Controls.h"
#include "frmMain/Dialogs.h"
#include "frmMain/LongWork.h"
#include "store/Load.h"
#include "store/Settings.h"
#include "store/SettingsPlace.h"
#include "store/TextRules.h"

namespace solne {

// How start-up ended.
enum class StartResult {
    Ready,      // the board is loaded and the window shown
    Cancelled,  // the folder chooser was cancelled: end with status 0
    LoadFailed  // a data file could not be read; the message has been shown
};

class frmMain {
public:
    // `settings` is the settings file to use (FindSettingsPlace in the
    // editor; tests give their own file).
    frmMain(const FormControls& controls, SettingsPlace settings, FileSystem& fs = RealFileSystem());
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // ---- state of the run
    UserTable Users;
    GroupTable Groups;
    bool DataChanged = false;
    std::string InstalledPath;
    std::string UserFilePath;
    std::string GroupFilePath;

    // ---- the controls the handlers read and fill
    TextBox* const txtUserId;
    TextBox* const txtPassWords;
    TextBox* const txtUserName;
    ListView* const lsvUserList;
    TextBox* const txtGroupName;
    ListView* const lsvGroupList;

    // ---- start-up
    // Program start: Form_Load, then the window is shown when it is Ready.
    StartResult Start();
    StartResult Form_Load();
    // Start-up on a folder given by the caller (solne-admin): no settings
    // file is read or written and no chooser is shown. A folder without its
    // data files is a load error.
    StartResult Form_LoadFolder(const std::string& folder);

    // ---- lists and selection
    void RefreshUserList();
    void RefreshGroupList();
    void lsvUserList_ItemClick();
    void lsvGroupList_ItemClick();

    // ---- user commands
    void cmdUserAdd_Click();
    void cmdUserUp_Click();
    void cmdUserDelete_Click();

    // ---- group commands
    void cmdGroupAdd_Click();
    void cmdGroupUp_Click();
    void cmdGroupDelete_Click();
    void cmdGroupSet_Click();
    void cmdGroupCancel_Click();

    // ---- saving and closing
    void cmdSave_Click();
    void cmdClose_Click();
    // The unsaved-changes prompt, run by every way of closing the window;
    // sets `cancel` to keep it open.
    void Form_Unload(bool& cancel);
    // Writes the board; true when everything was written.
    bool SaveData();

    // ---- long work
    // True while a load or a save runs. The window takes no command and no
    // request to close meanwhile (Window::BeginWork); the handlers refuse
    // them as well, so no event can start other work inside it.
    bool Working() const { return work_ != nullptr; }

    // ---- the commands' rules on given values
    // The buttons read their boxes and call these; solne-admin calls them for
    // many records at once. Each checks its values in its button's order,
    // with its button's warnings, changes the table and sets DataChanged, but
    // rebuilds no list. `refused`, when given, is set to the value that the
    // first failed check was about (nullopt for a full table).
    // The slot of the new user, or -1 when refused.
    int AddUserRecord(const std::string& id, const std::string& password, const std::string& name,
                      std::optional<InputBox>* refused = nullptr);
    // Replaces display name and password of `slot`; false when refused.
    bool UpdateUserRecord(size_t slot, const std::string& password, const std::string& name,
                          std::optional<InputBox>* refused = nullptr);
    // The slot of the new group (numbered by the add rule), or -1 when refused.
    int AddGroupRecord(const std::string& name, std::optional<InputBox>* refused = nullptr);
    // Gives user `userSlot` the group of `groupSlot` (number and name).
    void AssignGroup(size_t userSlot, size_t groupSlot);
    // Takes user `userSlot` out of its group.
    void ReleaseGroup(size_t userSlot);

private:
    StartResult LoadBoardAt(const LocateOutcome& located);
    void AddColumns();
    void ShowLoadError(const Failure& error, const std::vector<JournalFinding>& ignoredJournals);
    static ListRow UserRowOf(const UserInfo& user, int slot);
    static ListRow GroupRowOf(const GroupInfo& group, int slot);

    // The table slot a row of a list shows. Every row shows a slot of its
    // table: the lists are filled from the tables only, and rebuilt after
    // every change of them. A row breaking this stops the program rather
    // than touch a record it does not show.
    static size_t SlotOf(const ListView& list, int row, size_t tableSize);
    size_t UserSlot(int row) const { return SlotOf(*lsvUserList, row, Users.size()); }
    size_t GroupSlot(int row) const { return SlotOf(*lsvGroupList, row, Groups.size()); }

    // A warning with OK and the application title (or `caption`).
    void Warn(const std::string& text, const std::string& caption = kAppTitle);
    // A question with Yes and No, Yes the default; true for Yes.
    bool AskYesNo(const std::string& text);
    // Asks before overwriting data files changed on disk since loading;
    // true when there is nothing to ask or the answer is Yes.
    bool OverwriteConfirmed(const std::vector<std::string>& changed);

    // The text of a box as code page 932 reads it back: what is tested and stored.
    static std::string Typed(const TextBox& box);
    // Shows the input rule's warning when `text` may not be stored; true then
    // (and `refused`, when given, names the box).
    bool InputRefused(InputBox box, const std::string& text, std::optional<InputBox>* refused = nullptr);

    Window& window_;
    Dialogs& dialogs_;
    FileSystem& fs_;
    SettingsPlace settings_;
    BoardPaths paths_;
    FileSnapshot userSnapshot_;
    FileSnapshot groupSnapshot_;
    LongWork* work_ = nullptr;  // the load or save running, if any
};

}  // namespace solne
