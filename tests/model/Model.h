// A reference model of the editor, written from the description of its
// behaviour and independent of the window's code: the two tables as plain
// vectors with their slot rules, the two lists with the slot each row shows
// and its selection, the four text boxes, the change flag, the ten commands,
// closing, and the board on disk as the last save left it. Questions are
// answered by a callback, so a test can give the window the same answers.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frmMain/Dialogs.h"
#include "store/TextRules.h"

namespace solne::model {

struct MUser {
    std::string id, name, pw;
    int no = 0;
    std::string group;  // copy of the group's name
    bool operator==(const MUser&) const = default;
};

struct MGroup {
    int no = 0;
    std::string name;
    bool operator==(const MGroup&) const = default;
};

struct MRow {
    std::string texts[3];  // row text, sub-item 1, sub-item 2
    int slot = 0;
};

struct MList {
    std::vector<MRow> rows;
    std::vector<int> selected;  // row numbers from 0, ascending
    bool IsSelected(int row) const;
};

struct MBox {
    std::string text;
    MsgIcon icon = MsgIcon::Warning;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultButton = MsgAnswer::Ok;
    std::string caption;
};

// The board folder as the model knows it: the lines of the two data files
// and the per-user folder.
struct MDisk {
    struct UserLine {
        std::string id, pw;
        int no = 0;
    };
    std::vector<UserLine> userLines;
    std::vector<MGroup> groupLines;
    std::map<std::string, std::string> files;  // per-user file name -> display name
};

// The per-user file of an ID: "<ID>.txt" when the folder holds that name,
// else the one file whose name differs from it only in the case of ASCII
// letters (the board's Windows side sees the two as one file), else none ("").
std::string FindUserFile(const std::map<std::string, std::string>& files, const std::string& id);

// What a board folder loads as: a slot per line (one blank slot for a file
// without lines); display names from the per-user files; a user's group name
// from the last group line with its number.
void LoadTables(const MDisk& disk, std::vector<MUser>& users, std::vector<MGroup>& groups);

// The folder a save of these tables leaves, `before` being the folder before
// the save: every slot writes its per-user file (the one FindUserFile finds
// before the save, else "<ID>.txt"); slots sharing a file share it, the last
// one giving the name; files that belong to no slot are removed, except
// names beginning with ".".
MDisk Saved(const MDisk& before, const std::vector<MUser>& users, const std::vector<MGroup>& groups);

class Model {
public:
    using Answerer = std::function<MsgAnswer(const MBox&)>;
    explicit Model(Answerer answer) : answer_(std::move(answer)) {}

    std::vector<MUser> users;
    std::vector<MGroup> groups;
    bool changed = false;
    MList userList, groupList;
    std::string txtUserId, txtPassWords, txtUserName, txtGroupName;  // as typed
    std::vector<MBox> shown;  // every box, in order
    MDisk disk;               // the board on disk
    bool open = false;        // the window is open
    std::map<std::string, long> events;  // rarer paths taken, for a summary

    // Start-up on `disk`: every loaded record gets its row, blank ones
    // included; a file without lines gives its one blank slot no row.
    void Start();

    // The user's clicks (rows from 0). Each runs the list's click handler.
    void UserClick(int row);       // plain click: selects only this row
    void UserCtrlClick(int row);   // toggles this row
    void UserShiftClick(int from, int to);  // after a plain click on `from`: the range
    void GroupClick(int row);
    void GroupCtrlClick(int row);
    // Up or Down to `row`: selects just that row; the handler runs only when
    // this changes the selection (no click happened).
    void UserKeyTo(int row);
    void GroupKeyTo(int row);

    // The ten buttons and closing the window.
    void UserAdd();
    void UserUpdate();
    void UserDelete();
    void GroupAdd();
    void GroupRename();
    void GroupDelete();
    void GroupAssign();
    void GroupRelease();
    void Save();
    void Close();

private:
    void UserClickHandler();
    void GroupClickHandler();
    void RefreshUsers();
    void RefreshGroups();
    void Warn(const std::string& text, const std::string& caption = kAppTitle);
    MsgAnswer Ask(const std::string& text, MsgButtons buttons);
    // Shows the input rule's warning when `text` may not be stored.
    bool Refused(InputBox box, const std::string& text);

    Answerer answer_;
};

}  // namespace solne::model
