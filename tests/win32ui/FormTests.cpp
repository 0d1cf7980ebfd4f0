// The Windows window on its own: the layout table on screen, the controls'
// kinds and styles, the keys of a dialog, and which user actions reach the
// handlers (with what the lists show them at that moment).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "frmMain/Dialogs.h"
#include "frmMain/Layout.h"
#include "win32/Win32Controls.h"
#include "win32/Win32Form.h"
#include "win32ui/FormDriver.h"

namespace solne {
namespace {

using test::FormDriver;
using test::kCtrl;
using test::kShift;

class NoDialogs final : public Dialogs {
public:
    MsgAnswer MsgBox(const std::string&, MsgIcon, MsgButtons, MsgAnswer, const std::string&) override {
        ADD_FAILURE() << "no box expected";
        return MsgAnswer::Ok;
    }
    std::optional<std::string> ChooseFolder() override { return std::nullopt; }
};

// One handler call as the handler saw it.
struct Seen {
    std::string event;              // the control's name, or "unload"
    std::vector<int> selected;      // of the list, for an item click
    std::optional<int> current;
};

class FormTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        form_.emplace(GetModuleHandleW(nullptr));
        controls_.emplace(form_->Controls(dialogs_));
        win32::FormHandlers handlers;
        handlers.click = [this](std::string_view name) { seen_.push_back({std::string(name), {}, {}}); };
        handlers.itemClick = [this](std::string_view name) {
            ListView& list = name == "lsvUserList" ? controls_->lsvUserList : controls_->lsvGroupList;
            seen_.push_back({std::string(name), list.SelectedRows(), list.CurrentRow()});
        };
        handlers.unload = [this](bool& cancel) {
            seen_.push_back({"unload", {}, {}});
            cancel = keepOpen_;
        };
        form_->SetHandlers(std::move(handlers));
        form_->Show();
        driver_.emplace(*form_);
        driver_->Pump();
    }
    void TearDown() override {
        form_.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    // Fills both lists through the interface: rows show their slot number.
    void FillLists(int users, int groups) {
        if (!columnsAdded_) {
            for (const layout::Column& c : layout::kColumns)
                (std::string_view(c.list) == "lsvUserList" ? controls_->lsvUserList : controls_->lsvGroupList)
                    .AddColumn(c.header, c.widthTwips);
            columnsAdded_ = true;
        }
        std::vector<ListRow> rows;
        for (int i = 0; i < users; ++i) rows.push_back({{"名前" + std::to_string(i), "u" + std::to_string(i), ""}, i});
        controls_->lsvUserList.SetRows(rows);
        rows.clear();
        for (int i = 0; i < groups; ++i) rows.push_back({{"グループ" + std::to_string(i), "", ""}, i});
        controls_->lsvGroupList.SetRows(rows);
        driver_->Pump();
    }

    std::vector<std::string> Events() const {
        std::vector<std::string> names;
        for (const Seen& s : seen_) names.push_back(s.event);
        return names;
    }

    NoDialogs dialogs_;
    std::optional<win32::Form> form_;
    std::optional<FormControls> controls_;
    std::optional<FormDriver> driver_;
    std::vector<Seen> seen_;
    bool keepOpen_ = false;
    bool columnsAdded_ = false;
};

RECT ClientRectOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST_F(FormTest, EveryControlSitsAtItsLayoutPlaceWithItsCaption) {
    const int dpi = form_->Dpi();
    auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    RECT client{};
    GetClientRect(form_->Handle(), &client);
    EXPECT_EQ(client.right, px(layout::kClientArea.width));
    EXPECT_EQ(client.bottom, px(layout::kClientArea.height));
    EXPECT_EQ(win32::WindowText(form_->Handle()), kAppTitle);

    for (const layout::Control& c : layout::kControls) {
        SCOPED_TRACE(c.name);
        HWND hwnd = form_->ControlHandle(c.name);
        ASSERT_NE(hwnd, nullptr);
        RECT r = ClientRectOf(hwnd);
        EXPECT_EQ(r.left, px(c.place.left));
        EXPECT_EQ(r.top, px(c.place.top));
        EXPECT_EQ(r.right - r.left, px(c.place.width));
        EXPECT_EQ(r.bottom - r.top, px(c.place.height));
        if (c.kind == layout::Kind::Label || c.kind == layout::Kind::Button) {
            std::string shown = win32::WindowText(hwnd);
            if (c.style & layout::kWrapCaption) {
                EXPECT_NE(shown.find("\r\n"), std::string::npos);
            } else {
                EXPECT_EQ(shown, c.caption);
            }
        }
    }
    // The tall buttons break at their runs of blanks; the ideographic space
    // leading one of them stays.
    EXPECT_EQ(win32::WindowText(form_->ControlHandle("cmdGroupSet")), "←グループ\r\n設定");
    EXPECT_EQ(win32::WindowText(form_->ControlHandle("cmdGroupCancel")), "　グループ\r\n解除");
}

TEST_F(FormTest, ControlsAreTheWindowsControlsWithTheMessageFont) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    for (const layout::Control& c : layout::kControls) {
        SCOPED_TRACE(c.name);
        HWND hwnd = form_->ControlHandle(c.name);
        const std::wstring expected = c.kind == layout::Kind::Label     ? L"Static"
                                      : c.kind == layout::Kind::TextBox ? L"Edit"
                                      : c.kind == layout::Kind::Button  ? L"Button"
                                                                        : L"SysListView32";
        EXPECT_EQ(lstrcmpiW(ClassOf(hwnd).c_str(), expected.c_str()), 0);
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font));
        EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName);
        EXPECT_EQ(font.lfHeight, metrics.lfMessageFont.lfHeight);
        const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
        EXPECT_EQ((style & WS_TABSTOP) != 0, c.tabOrder > 0);
        if (c.kind == layout::Kind::ListView) {
            EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
            EXPECT_EQ((style & LVS_SINGLESEL) != 0, !(c.style & layout::kMultiSelect));
            EXPECT_FALSE(style & (LVS_EDITLABELS | LVS_SORTASCENDING | LVS_SORTDESCENDING));
            EXPECT_TRUE(SendMessageW(hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
        }
    }
}

TEST_F(FormTest, ColumnsTakeTheirWidthsInTwips) {
    for (const layout::Column& column : layout::kColumns) {
        ListView& list = std::string_view(column.list) == "lsvUserList" ? controls_->lsvUserList
                                                                        : controls_->lsvGroupList;
        list.AddColumn(column.header, column.widthTwips);
    }
    HWND users = form_->ControlHandle("lsvUserList");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SendMessageW(users, LVM_GETCOLUMNWIDTH, i, 0), MulDiv(1385, form_->Dpi(), 1440));
    wchar_t header[32] = L"";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = header;
    column.cchTextMax = 32;
    SendMessageW(form_->ControlHandle("lsvGroupList"), LVM_GETCOLUMNW, 0, LPARAM(&column));
    EXPECT_EQ(win32::Utf8Text(header), "グループ名");
}

TEST_F(FormTest, TabAndShiftTabFollowTheTabOrder) {
    const auto order = layout::TabOrder();
    EXPECT_EQ(GetFocus(), form_->ControlHandle(order.front()->name));
    for (size_t i = 1; i < order.size(); ++i) {
        driver_->Key(VK_TAB);
        EXPECT_EQ(GetFocus(), form_->ControlHandle(order[i]->name)) << "after " << order[i - 1]->name;
    }
    driver_->Key(VK_TAB);
    EXPECT_EQ(GetFocus(), form_->ControlHandle(order.front()->name));
    driver_->Key(VK_TAB, kShift);
    EXPECT_EQ(GetFocus(), form_->ControlHandle(order.back()->name));
    driver_->Key(VK_TAB, kShift);
    EXPECT_EQ(GetFocus(), form_->ControlHandle(order[order.size() - 2]->name));
    EXPECT_TRUE(seen_.empty());

    // A screen reader names a text box or list after the label right before
    // it among the window's children.
    for (const layout::Control& c : layout::kControls) {
        if (const layout::Control* label = layout::LabelOf(c)) {
            EXPECT_EQ(GetWindow(form_->ControlHandle(c.name), GW_HWNDPREV), form_->ControlHandle(label->name))
                << c.name;
        }
    }
}

TEST_F(FormTest, EachButtonReachesItsHandler) {
    std::vector<std::string> expected;
    for (const layout::Control& c : layout::kControls) {
        if (c.kind != layout::Kind::Button) continue;
        driver_->Click(c.name);
        expected.push_back(c.name);
    }
    EXPECT_EQ(Events(), expected);
}

TEST_F(FormTest, EnterAndSpacePressTheFocusedButtonEnterAndEscElsewhereDoNothing) {
    SetFocus(form_->ControlHandle("cmdGroupAdd"));
    driver_->Key(VK_RETURN);
    SetFocus(form_->ControlHandle("cmdSave"));
    driver_->Key(VK_SPACE);
    EXPECT_EQ(Events(), (std::vector<std::string>{"cmdGroupAdd", "cmdSave"}));

    seen_.clear();
    SetFocus(form_->ControlHandle("txtUserName"));
    driver_->Key(VK_RETURN);
    driver_->Key(VK_ESCAPE);
    EXPECT_TRUE(seen_.empty());
    EXPECT_TRUE(form_->Open());
}

TEST_F(FormTest, UserListClicksReachTheHandlerOnceWithTheNewSelection) {
    FillLists(5, 2);
    EXPECT_TRUE(seen_.empty()) << "rows set by the program raise nothing";

    driver_->ClickRow("lsvUserList", 1);
    driver_->ClickRow("lsvUserList", 3, kCtrl);
    driver_->ClickRow("lsvUserList", 4, kShift);
    driver_->ClickRow("lsvUserList", 2);
    driver_->ClickRow("lsvUserList", 2);  // changes nothing, still a click on the row
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_EQ(seen_[0].selected, (std::vector<int>{1}));
    EXPECT_EQ(seen_[0].current, 1);
    EXPECT_EQ(seen_[1].selected, (std::vector<int>{1, 3}));
    EXPECT_EQ(seen_[1].current, 3);
    EXPECT_EQ(seen_[2].selected, (std::vector<int>{3, 4}));
    EXPECT_EQ(seen_[3].selected, (std::vector<int>{2}));
    EXPECT_EQ(seen_[4].selected, (std::vector<int>{2}));
    EXPECT_EQ(seen_[4].current, 2);
    for (const Seen& s : seen_) EXPECT_EQ(s.event, "lsvUserList");
}

TEST_F(FormTest, KeyboardSelectionReachesTheHandler) {
    FillLists(4, 3);
    driver_->ClickRow("lsvUserList", 0);
    driver_->Key(VK_DOWN);
    driver_->Key(VK_DOWN, kShift);
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[1].selected, (std::vector<int>{1}));
    EXPECT_EQ(seen_[2].selected, (std::vector<int>{1, 2}));

    seen_.clear();
    driver_->ClickRow("lsvGroupList", 0);
    driver_->Key(VK_END);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[1].event, "lsvGroupList");
    EXPECT_EQ(seen_[1].selected, (std::vector<int>{2}));
    EXPECT_EQ(seen_[1].current, 2);
}

// Keys typed into a focused list, and text an input method composes, pick
// the next row whose name starts with them; the handler sees the new
// selection as after an arrow key.
TEST_F(FormTest, TypingInAListSelectsTheNextMatchingRowAndReachesTheHandler) {
    FillLists(0, 0);
    controls_->lsvUserList.SetRows({{{"田中", "u0", ""}, 0}, {{"Suzuki", "u1", ""}, 1}, {{"sato", "u2", ""}, 2},
                                    {{"渡辺", "u3", ""}, 3}, {{"Saito", "u4", ""}, 4}, {{"𠮷田", "u5", ""}, 5}});
    controls_->lsvGroupList.SetRows({{{"総務部", "", ""}, 0}, {{"営業部", "", ""}, 1}});
    auto pause = [] { Sleep(1100); };

    driver_->ClickRow("lsvUserList", 0);
    driver_->ClickRow("lsvUserList", 1, kCtrl);
    seen_.clear();
    driver_->Type("lsvUserList", "SA");
    ASSERT_EQ(seen_.size(), 1u) << "one handler call per change";
    EXPECT_EQ(seen_[0].selected, (std::vector<int>{2}));
    EXPECT_EQ(seen_[0].current, 2);
    EXPECT_EQ(SendMessageW(form_->ControlHandle("lsvUserList"), LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 2);
    pause();
    driver_->Type("lsvUserList", "s");  // after the current row, not the row itself
    pause();
    driver_->Compose("lsvUserList", "渡");
    pause();
    driver_->Type("lsvUserList", "𠮷");  // a surrogate pair
    pause();
    driver_->Type("lsvUserList", "x");  // no row: nothing moves
    ASSERT_EQ(seen_.size(), 4u);
    EXPECT_EQ(seen_[1].selected, (std::vector<int>{4}));
    EXPECT_EQ(seen_[2].selected, (std::vector<int>{3}));
    EXPECT_EQ(seen_[3].selected, (std::vector<int>{5}));

    driver_->Compose("lsvGroupList", "営業");
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_EQ(seen_[4].event, "lsvGroupList");
    EXPECT_EQ(seen_[4].current, 1);

    // The control's own search for a text (LVM_FINDITEM) takes the same rule.
    LVFINDINFOW find{};
    find.flags = LVFI_PARTIAL | LVFI_WRAP;
    find.psz = L"SUZ";
    EXPECT_EQ(SendMessageW(form_->ControlHandle("lsvUserList"), LVM_FINDITEMW, WPARAM(-1), LPARAM(&find)), 1);
    find.flags = LVFI_STRING;
    find.psz = L"SAIT";
    EXPECT_EQ(SendMessageW(form_->ControlHandle("lsvUserList"), LVM_FINDITEMW, WPARAM(-1), LPARAM(&find)), -1);
}

TEST_F(FormTest, GroupListKeepsOneSelectedRow) {
    FillLists(2, 3);
    driver_->ClickRow("lsvGroupList", 0);
    driver_->ClickRow("lsvGroupList", 2, kCtrl);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[1].selected, (std::vector<int>{2}));
    EXPECT_EQ(controls_->lsvGroupList.CurrentRow(), 2);

    // Ctrl-clicking the selected row clears it or keeps it, as the system's
    // list view decides (Wine's keeps it). The handler runs once either way
    // and sees what the list shows.
    driver_->ClickRow("lsvGroupList", 2, kCtrl);
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[2].selected, controls_->lsvGroupList.SelectedRows());
    EXPECT_EQ(seen_[2].current, seen_[2].selected.empty() ? std::nullopt : std::optional<int>(2));
}

TEST_F(FormTest, ClickBelowTheRowsClearsTheSelectionAndSaysSo) {
    FillLists(3, 1);
    driver_->ClickRow("lsvUserList", 0);
    driver_->ClickRow("lsvUserList", 1, kCtrl);
    driver_->ClickBelowRows("lsvUserList");
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_TRUE(seen_[2].selected.empty());
    EXPECT_EQ(seen_[2].current, std::nullopt);
}

TEST_F(FormTest, RowsSetByTheProgramClearTheSelectionQuietly) {
    FillLists(3, 2);
    driver_->ClickRow("lsvUserList", 2);
    driver_->ClickRow("lsvGroupList", 1);
    seen_.clear();
    FillLists(3, 2);
    EXPECT_TRUE(seen_.empty());
    EXPECT_TRUE(controls_->lsvUserList.SelectedRows().empty());
    EXPECT_EQ(controls_->lsvUserList.CurrentRow(), std::nullopt);
    EXPECT_EQ(controls_->lsvGroupList.CurrentRow(), std::nullopt);
    EXPECT_EQ(controls_->lsvUserList.Row(2).slot, 2);
    EXPECT_EQ(controls_->lsvUserList.Row(2).texts[1], "u2");
}

TEST_F(FormTest, TheCloseBoxAndAltF4AskTheUnloadHandler) {
    keepOpen_ = true;
    driver_->CloseBox();
    SetFocus(form_->ControlHandle("txtUserId"));
    driver_->AltF4();
    controls_->window.Close();
    EXPECT_EQ(Events(), (std::vector<std::string>{"unload", "unload", "unload"}));
    EXPECT_TRUE(form_->Open());
    EXPECT_TRUE(IsWindowVisible(form_->Handle()));

    keepOpen_ = false;
    HWND hwnd = form_->Handle();
    driver_->CloseBox();
    EXPECT_FALSE(form_->Open());
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(FormTest, TextBoxesCarryJapaneseTextBothWays) {
    controls_->txtUserName.SetText("佐藤 花子");
    EXPECT_EQ(win32::WindowText(form_->ControlHandle("txtUserName")), "佐藤 花子");
    SetWindowTextW(form_->ControlHandle("txtGroupName"), L"営業\x9AD9");
    EXPECT_EQ(controls_->txtGroupName.Text(), "営業髙");
    SetWindowTextW(form_->ControlHandle("txtUserId"), L"a\xD800");  // an unpaired surrogate
    EXPECT_EQ(controls_->txtUserId.Text(), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace solne
