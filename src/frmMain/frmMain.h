// The editor's one window: the tables and paths of the run, the controls,
// and one handler per control event. The handlers live in files named after
// their area: start-up and layout (frmMain.cpp), lists and selection
// (Lists.cpp), user commands (UserCommands.cpp), group commands
// (GroupCommands.cpp), saving and closing (SaveClose.cpp).
#pragma once

#include <QWidget>

#include <string>

#include "Define/Define.h"
#include "Define/FileSystem.h"
#include "frmMain/Dialogs.h"
#include "frmMain/ListView.h"
#include "store/Load.h"
#include "store/Settings.h"
#include "store/TextRules.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace solne {

// How start-up ended.
enum class StartResult {
    Ready,      // the board is loaded; show the window
    Cancelled,  // the folder chooser was cancelled: end with status 0
    LoadFailed  // a data file could not be read; the message has been shown
};

class frmMain : public QWidget {
    Q_OBJECT
public:
    // `setupIniPath` is the settings file to use ("setup.ini" beside the
    // program in the editor; tests give their own).
    frmMain(Dialogs& dialogs, std::string setupIniPath, FileSystem& fs = RealFileSystem(),
            QWidget* parent = nullptr);

    // ---- state of the run
    UserTable Users;
    GroupTable Groups;
    bool DataChanged = false;
    std::string InstalledPath;
    std::string UserFilePath;
    std::string GroupFilePath;

    // ---- controls
    QLabel* lblUserId;
    QLineEdit* txtUserId;
    QLabel* lblPassWords;
    QLineEdit* txtPassWords;
    QLabel* lblUserName;
    QLineEdit* txtUserName;
    QPushButton* cmdUserAdd;
    QPushButton* cmdUserUp;
    QPushButton* cmdUserDelete;
    QLabel* lblUserList;
    ListView* lsvUserList;
    QLabel* lblGroupName;
    QLineEdit* txtGroupName;
    QPushButton* cmdGroupAdd;
    QPushButton* cmdGroupUp;
    QPushButton* cmdGroupDelete;
    QLabel* lblGroupList;
    ListView* lsvGroupList;
    QPushButton* cmdGroupSet;
    QPushButton* cmdGroupCancel;
    QPushButton* cmdSave;
    QPushButton* cmdClose;

    // ---- start-up
    StartResult Form_Load();

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
    // The unsaved-changes prompt; sets `cancel` to keep the window open.
    void Form_Unload(bool& cancel);
    // Writes the board; true when everything was written.
    bool SaveData();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void ConnectHandlers();
    void AddColumns();
    void ShowLoadError(const LoadError& error);
    static ListRow UserRowOf(const UserInfo& user, int slot);
    static ListRow GroupRowOf(const GroupInfo& group, int slot);

    // A warning with OK and the application title (or `caption`).
    void Warn(const std::string& text, const std::string& caption = kAppTitle);
    // A question with Yes and No, Yes the default; true for Yes.
    bool AskYesNo(const std::string& text);
    // Asks before overwriting data files changed on disk since loading;
    // true when there is nothing to ask or the answer is Yes.
    bool OverwriteConfirmed();

    // The text of a box as code page 932 reads it back: what is tested and stored.
    static std::string Typed(const QLineEdit* box);
    // Shows the input rule's warning when `text` may not be stored; true then.
    bool InputRefused(InputBox box, const std::string& text);

    Dialogs& dialogs_;
    FileSystem& fs_;
    std::string setupIniPath_;
    BoardPaths paths_;
    FileSnapshot userSnapshot_;
    FileSnapshot groupSnapshot_;
};

}  // namespace solne
