// frmMain on the Windows controls, on a board on disk: start-up fills the
// real lists, and one flow of a user's work (add a user, give it a group,
// save, close) ends in the expected bytes, with only the boxes it should ask.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "Define/FileSystem.h"
#include "common/FaultyFileSystem.h"
#include "common/SlowFileSystem.h"
#include "win32/Win32Controls.h"
#include "win32/Win32Editor.h"
#include "win32ui/FormDriver.h"
#include "win32ui/TestFiles.h"

namespace solne {
namespace {

using test::FormDriver;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const char kUserTxt[] =
    "tanaka,tanaka01,1\r\nsuzuki,pw2345,1\r\ntakahashi,taka9,2\r\n";
// 1,総務部 / 2,営業部 in code page 932.
const char kGroupTxt[] = "1,\x91\x8d\x96\xb1\x95\x94\r\n2,\x89\x63\x8b\xc6\x95\x94\r\n";

struct Box {
    std::wstring text, caption;
    UINT type;
    std::wstring blockReason;  // the session's block reason while the box was open
};

class EditorTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        board_ = JoinPath(dir_.path(), "board");
        CreateDirectoryW(win32::WideText(board_).c_str(), nullptr);
        CreateDirectoryW(win32::WideText(JoinPath(board_, "user")).c_str(), nullptr);
        WriteBytes(JoinPath(board_, "user.txt"), kUserTxt);
        WriteBytes(JoinPath(board_, "group.txt"), kGroupTxt);
        for (const char* id : {"tanaka", "suzuki", "takahashi"})
            WriteBytes(JoinPath(board_, std::string("user/") + id + ".txt"),
                       std::string("username=") + id + "\r\nstatus=1\r\nplan=" + id + "\r\n");
        setupIni_ = JoinPath(dir_.path(), "setup.ini");
        WriteBytes(setupIni_, "[Script]\r\nInstalledPath=" + board_ + "\r\n");
    }

    std::unique_ptr<win32::Editor> Open(FileSystem& fs = RealFileSystem()) {
        auto editor = std::make_unique<win32::Editor>(
            GetModuleHandleW(nullptr), setupIni_, fs,
            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
                EXPECT_EQ(owner, editor_ ? editor_->form().Handle() : nullptr);
                boxes_.push_back({text, caption, type, blockReason_});
                if (auto during = std::exchange(duringBox_, nullptr)) during();
                if ((type & MB_TYPEMASK) == MB_OK) return IDOK;
                return (type & MB_TYPEMASK) == MB_YESNOCANCEL ? closeAnswer_ : IDYES;
            });
        // What the window tells Windows while it holds up the end of the session.
        editor->form().SetSessionBlock(
            {[this](HWND, const wchar_t* reason) { blockReason_ = reason; ++blocks_; },
             [this](HWND) { blockReason_.clear(); }});
        return editor;
    }

    // frmMain on a started editor, with one unsaved change (a group added).
    std::unique_ptr<win32::Editor> OpenChanged(FileSystem& fs = RealFileSystem()) {
        auto editor = Open(fs);
        editor_ = editor.get();
        EXPECT_EQ(editor->main().Start(), StartResult::Ready);
        FormDriver driver(editor->form());
        driver.Pump();
        driver.Type("txtGroupName", "広報部");
        driver.Click("cmdGroupAdd");
        EXPECT_TRUE(editor->main().DataChanged);
        return editor;
    }

    std::vector<std::wstring> RowTexts(HWND list, int column) {
        std::vector<std::wstring> texts;
        const int n = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t text[64] = L"";
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 64;
            SendMessageW(list, LVM_GETITEMTEXTW, i, LPARAM(&item));
            texts.push_back(text);
        }
        return texts;
    }

    TempDir dir_;
    std::string board_, setupIni_;
    std::vector<Box> boxes_;
    win32::Editor* editor_ = nullptr;
    int closeAnswer_ = IDYES;  // the answer to the unsaved-changes prompt
    std::wstring blockReason_;
    int blocks_ = 0;
    std::function<void()> duringBox_;  // runs once while the next box is open
};

TEST_F(EditorTest, StartUpShowsTheBoardInTheRealLists) {
    auto editor = Open();
    editor_ = editor.get();
    ASSERT_EQ(editor->main().Start(), StartResult::Ready);
    FormDriver driver(editor->form());
    driver.Pump();
    EXPECT_TRUE(IsWindowVisible(editor->form().Handle()));
    HWND users = driver.Control("lsvUserList");
    EXPECT_EQ(RowTexts(users, 0), (std::vector<std::wstring>{L"tanaka", L"suzuki", L"takahashi"}));
    EXPECT_EQ(RowTexts(users, 2), (std::vector<std::wstring>{L"総務部", L"総務部", L"営業部"}));
    EXPECT_EQ(RowTexts(driver.Control("lsvGroupList"), 0), (std::vector<std::wstring>{L"総務部", L"営業部"}));
    EXPECT_EQ(SendMessageW(users, LVM_GETSELECTEDCOUNT, 0, 0), 0);

    // A click on a row fills the boxes through frmMain's handler.
    driver.ClickRow("lsvUserList", 2);
    EXPECT_EQ(win32::WindowText(driver.Control("txtUserId")), "takahashi");
    EXPECT_EQ(win32::WindowText(driver.Control("txtPassWords")), "taka9");
    driver.ClickRow("lsvUserList", 0, test::kCtrl);
    EXPECT_EQ(win32::WindowText(driver.Control("txtUserId")), "");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(EditorTest, AddAssignSaveAndCloseWritesTheBoard) {
    auto editor = Open();
    editor_ = editor.get();
    ASSERT_EQ(editor->main().Start(), StartResult::Ready);
    FormDriver driver(editor->form());
    driver.Pump();

    driver.Type("txtUserId", "sato");
    driver.Type("txtPassWords", "sato01");
    driver.Type("txtUserName", "佐藤 花子");
    driver.Click("cmdUserAdd");
    ASSERT_EQ(RowTexts(driver.Control("lsvUserList"), 1).back(), L"sato");
    EXPECT_EQ(win32::WindowText(driver.Control("txtUserId")), "") << "the refresh empties the boxes";

    driver.ClickRow("lsvGroupList", 1);
    EXPECT_EQ(win32::WindowText(driver.Control("txtGroupName")), "営業部");
    driver.ClickRow("lsvUserList", 3);
    driver.Click("cmdGroupSet");
    EXPECT_EQ(RowTexts(driver.Control("lsvUserList"), 2).back(), L"営業部");
    EXPECT_TRUE(boxes_.empty());

    driver.Click("cmdSave");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"データの保存が完了しました。");
    EXPECT_EQ(boxes_[0].caption, L"ソルネ");
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK), UINT(MB_OK | MB_ICONINFORMATION));

    driver.Click("cmdClose");
    EXPECT_FALSE(editor->form().Open());
    EXPECT_EQ(boxes_.size(), 1u) << "saved: closing asks nothing";

    EXPECT_EQ(ReadBytes(JoinPath(board_, "user.txt")), std::string(kUserTxt) + "sato,sato01,2\r\n");
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")), kGroupTxt);
    EXPECT_EQ(ReadBytes(JoinPath(board_, "user/sato.txt")),
              "username=\x8d\xb2\x93\xa1 \x89\xd4\x8e\x71\r\nstatus=0\r\nplan=\r\n");
    EXPECT_EQ(ReadBytes(JoinPath(board_, "user/takahashi.txt")), "username=takahashi\r\nstatus=1\r\nplan=takahashi\r\n");
    const DWORD attributes = GetFileAttributesW(win32::WideText(JoinPath(board_, "user.txt")).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
}

TEST_F(EditorTest, ClosingWithChangesAsksAndYesSavesFirst) {
    auto editor = Open();
    editor_ = editor.get();
    ASSERT_EQ(editor->main().Start(), StartResult::Ready);
    FormDriver driver(editor->form());
    driver.Pump();
    driver.Type("txtGroupName", "広報部");
    driver.Click("cmdGroupAdd");
    ASSERT_TRUE(boxes_.empty());

    // The recorder answers Yes: the close box saves first, then closes.
    driver.CloseBox();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, L"データが変更されています。保存しますか？");
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK),
              UINT(MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON1));
    EXPECT_EQ(boxes_[1].text, L"データの保存が完了しました。");
    EXPECT_FALSE(editor->form().Open());
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")),
              std::string(kGroupTxt) + "3,\x8d\x4c\x95\xf1\x95\x94\r\n");
}

// Log-off and shut-down: Windows asks the window (WM_QUERYENDSESSION) and
// then tells it (WM_ENDSESSION).
LRESULT QueryEndSession(win32::Editor& editor) {
    return SendMessageW(editor.form().Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
}
void EndSession(win32::Editor& editor, bool ending) {
    SendMessageW(editor.form().Handle(), WM_ENDSESSION, ending, ENDSESSION_LOGOFF);
}
const std::string kGroupAdded = std::string(kGroupTxt) + "3,\x8d\x4c\x95\xf1\x95\x94\r\n";

TEST_F(EditorTest, EndingTheSessionWithoutChangesAsksNothing) {
    auto editor = Open();
    editor_ = editor.get();
    ASSERT_EQ(editor->main().Start(), StartResult::Ready);
    EXPECT_EQ(QueryEndSession(*editor), TRUE);
    EXPECT_TRUE(boxes_.empty());
    EndSession(*editor, true);
    EXPECT_FALSE(editor->form().Open());
}

TEST_F(EditorTest, EndingTheSessionAsksAndYesSavesBeforeTheSessionEnds) {
    auto editor = OpenChanged();
    EXPECT_EQ(QueryEndSession(*editor), TRUE);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, L"データが変更されています。保存しますか？");
    EXPECT_EQ(boxes_[0].type & MB_TYPEMASK, UINT(MB_YESNOCANCEL));
    EXPECT_EQ(boxes_[0].blockReason, L"未保存の変更があります");
    EXPECT_EQ(boxes_[1].text, L"データの保存が完了しました。");
    EXPECT_TRUE(blockReason_.empty()) << "the reason goes with the prompt";
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")), kGroupAdded);
    // The window waits for the end itself, then closes without a question.
    EXPECT_TRUE(editor->form().Open());
    EndSession(*editor, true);
    EXPECT_FALSE(editor->form().Open());
    EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(EditorTest, CancelRefusesTheEndOfTheSessionAndKeepsTheChanges) {
    auto editor = OpenChanged();
    closeAnswer_ = IDCANCEL;
    EXPECT_EQ(QueryEndSession(*editor), FALSE);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].blockReason, L"未保存の変更があります");
    EXPECT_TRUE(blockReason_.empty());
    EndSession(*editor, false);  // the session goes on
    EXPECT_TRUE(editor->form().Open());
    EXPECT_TRUE(editor->main().DataChanged);
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")), kGroupTxt);

    // No lets the session end without saving; when another program refuses
    // it, the editor goes on with the changes, and closing asks again.
    closeAnswer_ = IDNO;
    EXPECT_EQ(QueryEndSession(*editor), TRUE);
    EndSession(*editor, false);
    EXPECT_TRUE(editor->form().Open());
    EXPECT_TRUE(editor->main().DataChanged);
    closeAnswer_ = IDCANCEL;
    FormDriver(editor->form()).CloseBox();
    EXPECT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(blocks_, 2) << "only the session's questions give a reason";
    closeAnswer_ = IDNO;
    EXPECT_EQ(QueryEndSession(*editor), TRUE);
    EndSession(*editor, true);
    EXPECT_FALSE(editor->form().Open());
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")), kGroupTxt);
}

TEST_F(EditorTest, WhileThePromptIsOpenOtherRequestsToCloseWaitForIt) {
    auto editor = OpenChanged();
    closeAnswer_ = IDCANCEL;
    LRESULT nested = -1;
    duringBox_ = [&] {
        nested = QueryEndSession(*editor);
        SendMessageW(editor->form().Handle(), WM_CLOSE, 0, 0);
    };
    FormDriver(editor->form()).CloseBox();
    EXPECT_EQ(boxes_.size(), 1u) << "no second prompt";
    EXPECT_EQ(nested, FALSE) << "the session waits for the open prompt";
    EXPECT_TRUE(editor->form().Open());
    EXPECT_TRUE(editor->main().DataChanged);
}

TEST_F(EditorTest, AFailedSaveKeepsTheSessionFromEnding) {
    test::FaultyFileSystem fs;
    auto editor = OpenChanged(fs);
    fs.FailKind(test::FsOp::Rename);
    EXPECT_EQ(QueryEndSession(*editor), FALSE);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text.rfind(L"データの保存に失敗しました。", 0), 0u);
    EXPECT_TRUE(editor->form().Open());
    EXPECT_TRUE(editor->main().DataChanged);
    EXPECT_EQ(ReadBytes(JoinPath(board_, "group.txt")), kGroupTxt);
}

// A save on a slow share: the window disabled with the wait cursor from the
// start, the progress window once it has lasted, and what the user or
// another program sends meanwhile (a click, the close box, a button's
// command, the end of the session) not taken. A quick load shows no progress
// window.
TEST_F(EditorTest, SlowSaveShowsItsProgressAndTakesNoInputMeanwhile) {
    using namespace std::chrono_literals;
    test::SlowFileSystem fs(0us);
    auto editor = Open(fs);
    editor_ = editor.get();
    win32::Form& form = editor->form();
    bool disabled = true, sent = false;
    LRESULT endSession = TRUE;
    std::wstring progressText;
    fs.onCall = [&] {
        if (!editor->main().Working()) return;
        disabled = disabled && !IsWindowEnabled(form.Handle());
        HWND progress = form.ProgressHandle();
        if (!progress || !IsWindowVisible(progress)) return;
        wchar_t text[128] = L"";
        GetWindowTextW(FindWindowExW(progress, nullptr, L"STATIC", nullptr), text, 128);
        progressText = text;
        if (std::exchange(sent, true)) return;
        HWND close = form.ControlHandle("cmdClose");
        PostMessageW(close, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(close, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PostMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(close), BN_CLICKED), LPARAM(close));
        PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
        PostMessageW(progress, WM_CLOSE, 0, 0);
        endSession = SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, 0);
    };
    ASSERT_EQ(editor->main().Start(), StartResult::Ready);
    FormDriver driver(form);
    driver.Pump();
    EXPECT_TRUE(progressText.empty());

    // Every open under Wine is slow already: a long wait on each of the few
    // files of the board.
    fs.perCall = 150ms;
    editor->main().DataChanged = true;  // a close taken meanwhile would ask
    SendMessageW(form.ControlHandle("cmdSave"), BM_CLICK, 0, 0);
    driver.Pump();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(endSession, FALSE);
    EXPECT_EQ(progressText.rfind(L"ファイルを保存しています… ", 0), 0u);
    EXPECT_EQ(form.ProgressHandle(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(form.Handle()));
    EXPECT_TRUE(form.Open());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"データの保存が完了しました。");
    EXPECT_FALSE(editor->main().DataChanged);
}

}  // namespace
}  // namespace solne
