// The window's layout as data, read by every toolkit and by the tests:
// the controls with their kind, name, caption, place in twips and tab
// order, and the columns of the two lists.
#pragma once

#include <span>
#include <string_view>

namespace solne {
class frmMain;
}

namespace solne::layout {

// Positions and sizes are kept in twips (1/1440 inch), 15 to a pixel.
inline constexpr double kTwipsPerPixel = 15.0;

// Twips to pixels, rounded to the nearest pixel (halves away from zero).
constexpr int Pixels(int twips) {
    const double px = twips / kTwipsPerPixel;
    return int(px < 0 ? px - 0.5 : px + 0.5);
}

struct Rect {
    int left, top, width, height;  // twips
};

enum class Kind { Label, TextBox, Button, ListView };

enum Style : unsigned {
    kPlain = 0,
    kMultiSelect = 1,  // list view: any number of selected rows (else one)
    kWrapCaption = 2,  // button: the caption wraps onto several lines at its blanks
};

struct Control {
    Kind kind;
    const char* name;     // frmMain's name of the control
    const char* caption;  // labels and buttons; "" for the others
    Rect place;
    int tabOrder;         // 1, 2, ... in the order Tab moves; 0: no tab stop
    unsigned style = kPlain;
};

// The client area of the window, which keeps its size. The window's caption
// is the application title, kAppTitle (Dialogs.h).
inline constexpr Rect kClientArea = {0, 0, 9270, 5385};

// The controls in creation order. The captions of the two tall buttons keep
// their runs of blanks (one with a leading ideographic space).
inline constexpr Control kControls[] = {
    {Kind::Label, "lblUserId", "ユーザーID：", {0, 240, 1575, 255}, 0},
    {Kind::TextBox, "txtUserId", "", {1680, 232, 1935, 270}, 1},
    {Kind::Label, "lblPassWords", "パスワード：", {0, 615, 1575, 255}, 0},
    {Kind::TextBox, "txtPassWords", "", {1680, 600, 1935, 270}, 2},
    {Kind::Label, "lblUserName", "ユーザー(表示)名：", {0, 975, 1575, 255}, 0},
    {Kind::TextBox, "txtUserName", "", {1680, 960, 1935, 270}, 3},
    {Kind::Button, "cmdUserAdd", "追加", {3720, 210, 975, 315}, 4},
    {Kind::Button, "cmdUserUp", "更新", {3720, 615, 975, 375}, 5},
    {Kind::Button, "cmdUserDelete", "削除", {3720, 1080, 975, 375}, 6},
    {Kind::Label, "lblUserList", "ユーザー一覧：", {120, 1440, 1335, 255}, 0},
    {Kind::ListView, "lsvUserList", "", {120, 1800, 4455, 3015}, 7, kMultiSelect},
    {Kind::Label, "lblGroupName", "グループ名：", {4920, 240, 1095, 255}, 0},
    {Kind::TextBox, "txtGroupName", "", {6120, 225, 1935, 270}, 8},
    {Kind::Button, "cmdGroupAdd", "追加", {8160, 210, 975, 315}, 9},
    {Kind::Button, "cmdGroupUp", "更新", {8160, 615, 975, 375}, 10},
    {Kind::Button, "cmdGroupDelete", "削除", {8160, 1080, 975, 375}, 11},
    {Kind::Label, "lblGroupList", "グループ一覧：", {6120, 1440, 1335, 255}, 0},
    {Kind::ListView, "lsvGroupList", "", {6120, 1800, 3015, 3015}, 12},
    {Kind::Button, "cmdGroupSet", "←グループ     設定", {4800, 2280, 1095, 855}, 13, kWrapCaption},
    {Kind::Button, "cmdGroupCancel", "　グループ        解除", {4800, 3240, 1095, 855}, 14, kWrapCaption},
    {Kind::Button, "cmdSave", "保存", {7080, 4920, 975, 375}, 15},
    {Kind::Button, "cmdClose", "閉じる", {8160, 4920, 975, 375}, 16},
};

// Each button's click and each list's item click has its handler in frmMain
// (cmdXxx_Click, lsvXxx_ItemClick), found by the control's name in a table
// beside this one (Layout.cpp); a control of either kind without a handler
// does not build. A toolkit sends every such event through Raise, so a new
// control is added here and in that table only.
// Runs the handler of the named control's event on `form`; false for a
// control without one (labels, text boxes, unknown names), and while a load
// or a save runs (frmMain::Working), when no event is taken.
bool Raise(frmMain& form, std::string_view control);

// The control of that name; nullptr when there is none.
const Control* Find(std::string_view name);
// The label that names a text box or list (lblUserId for txtUserId,
// lblUserList for lsvUserList); nullptr for the other controls.
const Control* LabelOf(const Control& control);
// The label's caption without its closing "：": what a screen reader says
// for a text box or list. "" for controls without a label.
std::string_view AccessibleName(const Control& control);
// The controls with a tab stop, in tab order.
std::span<const Control* const> TabOrder();

// A list column: its header and width in twips. Each width is worked out as
// the start-up does, from the width of its list just before the column is
// added, in single precision: a third of the list's width less 100 for the
// user list, the list's width less 100 for the group list.
struct Column {
    const char* list;    // the list's name
    const char* header;
    int widthTwips;
};

constexpr int ColumnWidth(int listWidthTwips, int columnsInList) {
    return int(float(listWidthTwips) / float(columnsInList) - 100.0f);
}

// The width in twips of the control of that name in kControls.
constexpr int WidthOf(std::string_view name) {
    for (const Control& c : kControls)
        if (name == c.name) return c.place.width;
    return 0;
}

// In the order start-up adds them.
inline constexpr Column kColumns[] = {
    {"lsvUserList", "ユーザー名", ColumnWidth(WidthOf("lsvUserList"), 3)},
    {"lsvUserList", "ユーザーID", ColumnWidth(WidthOf("lsvUserList"), 3)},
    {"lsvUserList", "グループ名", ColumnWidth(WidthOf("lsvUserList"), 3)},
    {"lsvGroupList", "グループ名", ColumnWidth(WidthOf("lsvGroupList"), 1)},
};
static_assert(kColumns[0].widthTwips == 1385 && kColumns[3].widthTwips == 2915);

}  // namespace solne::layout
