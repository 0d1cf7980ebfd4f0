// The boxes of the Windows toolkit: what MessageBoxW is asked for each kind
// of message, what its answers mean, a real box owned by the window, and
// where the settings file goes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "Define/FileSystem.h"
#include "win32/Win32Controls.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32Form.h"
#include "win32/Win32LongBox.h"

namespace solne {
namespace {

using win32::Win32Dialogs;

struct AskedBox {
    HWND owner;
    std::wstring text, caption;
    UINT type;
};

class DialogsTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        form_.emplace(GetModuleHandleW(nullptr));
    }
    Win32Dialogs Recording() {
        return Win32Dialogs([this] { return form_->Handle(); },
                            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
                                asked_ = AskedBox{owner, text, caption, type};
                                return answer_;
                            });
    }
    std::optional<win32::Form> form_;
    std::optional<AskedBox> asked_;
    int answer_ = IDOK;
};

TEST_F(DialogsTest, EachMessageAsksForItsButtonsIconAndDefault) {
    Win32Dialogs dialogs = Recording();
    form_->Show();

    answer_ = IDYES;
    EXPECT_EQ(dialogs.MsgBox("データが変更されています。保存しますか？", MsgIcon::Warning, MsgButtons::YesNoCancel,
                             MsgAnswer::Yes, kAppTitle),
              MsgAnswer::Yes);
    ASSERT_TRUE(asked_);
    EXPECT_EQ(asked_->owner, form_->Handle());
    EXPECT_EQ(asked_->text, L"データが変更されています。保存しますか？");
    EXPECT_EQ(asked_->caption, L"ソルネ");
    EXPECT_EQ(asked_->type & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK | MB_MODEMASK),
              UINT(MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON1 | MB_APPLMODAL));

    answer_ = IDCANCEL;  // Esc or the close box
    EXPECT_EQ(dialogs.MsgBox("a\r\nb", MsgIcon::Warning, MsgButtons::YesNoCancel, MsgAnswer::Yes, kAppTitle),
              MsgAnswer::Cancel);
    EXPECT_EQ(asked_->text, L"a\r\nb");
    EXPECT_EQ(dialogs.MsgBox("q", MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::No, kAppTitle), MsgAnswer::No);
    EXPECT_EQ(asked_->type & (MB_TYPEMASK | MB_DEFMASK), UINT(MB_YESNO | MB_DEFBUTTON2));

    answer_ = IDOK;
    EXPECT_EQ(dialogs.MsgBox("データの保存が完了しました。", MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok,
                             kAppTitle),
              MsgAnswer::Ok);
    EXPECT_EQ(asked_->type & (MB_TYPEMASK | MB_ICONMASK), UINT(MB_OK | MB_ICONINFORMATION));
    dialogs.MsgBox("ユーザーIDが入力されていません。", MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, "未入力エラー");
    EXPECT_EQ(asked_->caption, L"未入力エラー");
    EXPECT_EQ(asked_->type & MB_ICONMASK, UINT(MB_ICONWARNING));
}

TEST_F(DialogsTest, BeforeTheWindowIsShownBoxesHaveNoOwnerAndBlockTheTask) {
    Win32Dialogs dialogs = Recording();
    dialogs.MsgBox("x", MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, kAppTitle);
    ASSERT_TRUE(asked_);
    EXPECT_EQ(asked_->owner, nullptr);
    EXPECT_EQ(asked_->type & MB_MODEMASK, UINT(MB_TASKMODAL));
}

// What a real box showed, read from inside its own message loop.
struct RealBox {
    HWND owner = nullptr;
    std::string caption, text;
    int defaultId = 0;
    int answerId = IDNO;
};
RealBox* g_box = nullptr;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
    wchar_t name[16] = L"";
    GetClassNameW(hwnd, name, 16);
    if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, LPARAM(&box));
    if (!box) return;
    KillTimer(nullptr, timer);
    g_box->owner = GetWindow(box, GW_OWNER);
    g_box->caption = win32::WindowText(box);
    g_box->text = win32::WindowText(GetDlgItem(box, 0xFFFF));
    // The default button is the one that has the focus when the box opens.
    HWND focus = GetFocus();
    g_box->defaultId = focus && GetParent(focus) == box ? GetDlgCtrlID(focus) : 0;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_box->answerId, BN_CLICKED), 0);
}

TEST_F(DialogsTest, ARealBoxIsOwnedByTheWindowAndAnswersWithThePressedButton) {
    Win32Dialogs dialogs([this] { return form_->Handle(); });
    form_->Show();
    RealBox seen;
    g_box = &seen;
    SetTimer(nullptr, 0, 50, AnswerBox);
    MsgAnswer answer = dialogs.MsgBox("山田さんを削除しますか？", MsgIcon::Warning, MsgButtons::YesNo,
                                      MsgAnswer::No, kAppTitle);
    g_box = nullptr;
    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_EQ(seen.owner, form_->Handle());
    EXPECT_EQ(seen.caption, "ソルネ");
    EXPECT_EQ(seen.text, "山田さんを削除しますか？");
    EXPECT_EQ(seen.defaultId, IDNO);
}

std::wstring ManyLines(int n) {
    std::wstring text = L"次のユーザーを削除しますか？";
    for (int i = 1; i <= n; ++i) text += L"\r\n利用者" + std::to_wstring(i);
    return text;
}

struct LongBoxSeen {
    std::string text;
    int focusedId = 0;
    bool scrolls = false;
    bool ownerDisabled = false;
    HWND owner = nullptr;
};
LongBoxSeen* g_long = nullptr;

BOOL CALLBACK FindLongBox(HWND hwnd, LPARAM found) {
    wchar_t name[32] = L"";
    GetClassNameW(hwnd, name, 32);
    if (lstrcmpW(name, L"SolneLongMessage") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

void CALLBACK AnswerLongBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindLongBox, LPARAM(&box));
    if (!box) return;
    KillTimer(nullptr, timer);
    HWND text = GetDlgItem(box, 100);
    g_long->text = win32::WindowText(text);
    g_long->scrolls = GetWindowLongW(text, GWL_STYLE) & WS_VSCROLL;
    g_long->focusedId = GetDlgCtrlID(GetFocus());
    g_long->owner = GetWindow(box, GW_OWNER);
    g_long->ownerDisabled = g_long->owner && !IsWindowEnabled(g_long->owner);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
}

TEST_F(DialogsTest, AQuestionTallerThanTheScreenShowsEveryLineInAScrollingBox) {
    EXPECT_FALSE(win32::TooTallForMessageBox(ManyLines(3)));
    ASSERT_TRUE(win32::TooTallForMessageBox(ManyLines(200)));

    Win32Dialogs dialogs([this] { return form_->Handle(); });
    form_->Show();
    LongBoxSeen seen;
    g_long = &seen;
    SetTimer(nullptr, 0, 50, AnswerLongBox);
    MsgAnswer answer = dialogs.MsgBox(win32::Utf8Text(ManyLines(200)), MsgIcon::Warning, MsgButtons::YesNo,
                                      MsgAnswer::No, kAppTitle);
    g_long = nullptr;
    EXPECT_EQ(answer, MsgAnswer::Yes);
    EXPECT_EQ(seen.text, win32::Utf8Text(ManyLines(200)));
    EXPECT_TRUE(seen.scrolls);
    EXPECT_EQ(seen.focusedId, IDNO) << "the default button has the focus";
    EXPECT_EQ(seen.owner, form_->Handle());
    EXPECT_TRUE(seen.ownerDisabled) << "modal over the window";
    EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
}

}  // namespace
}  // namespace solne
