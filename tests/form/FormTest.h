// The window's logic under test on the fake toolkit: a temporary board and
// settings file, frmMain on fake controls with scripted boxes, and helpers
// that click and type the way a user does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/TempBoard.h"
#include "fake/FakeToolkit.h"

namespace solne::test {

class FormTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<FakeForm> w;

    std::string Board() const { return dir / "board"; }
    std::string Ini() const { return dir / "setup.ini"; }

    void WriteIni(const std::string& folder) {
        WriteBytes(Ini(), "[Script]\r\nInstalledPath=" + folder + "\r\n");
    }

    // Writes the board and a settings file naming it, then starts the window.
    StartResult Start(const BoardFiles& board) {
        WriteBoard(Board(), board);
        WriteIni(Board());
        return Open();
    }

    // Starts the window on whatever is on disk.
    StartResult Open(const std::string& iniPath = "", FileSystem& fs = RealFileSystem()) {
        w = std::make_unique<FakeForm>(dialogs, iniPath.empty() ? Ini() : iniPath, fs);
        return w->Start();
    }

    void TearDown() override {
        EXPECT_FALSE(dialogs.unanswered) << "a question was shown with no answer prepared";
        EXPECT_TRUE(dialogs.answers.empty()) << "prepared answers were not used";
    }

    // ---- the user's actions

    static void Click(FakeListView& list, int row, Mods mods = Mods::None) {
        ASSERT_LT(row, list.RowCount()) << "no row " << row;
        list.Click(row, mods);
    }
    static void Type(FakeTextBox& box, const std::string& text) { box.text = text; }
    // Closes the window the way the user does; true when it closed.
    bool Close() {
        w->window.Close();
        return !w->window.visible;
    }

    // ---- what the window shows

    static std::vector<std::string> Column(const ListView* list, int k) {
        std::vector<std::string> texts;
        for (int row = 0; row < list->RowCount(); ++row) texts.push_back(list->Row(row).texts[k]);
        return texts;
    }
    static std::string Text(const TextBox* box) { return box->Text(); }

    std::vector<std::string> UserIds() const {
        std::vector<std::string> ids;
        for (const UserInfo& user : w->Users) ids.push_back(user.UserId);
        return ids;
    }
    std::vector<std::string> GroupNames() const {
        std::vector<std::string> names;
        for (const GroupInfo& group : w->Groups) names.push_back(group.GroupName);
        return names;
    }

    bool UserBoxesEmpty() const {
        return w->txtUserId->Text().empty() && w->txtPassWords->Text().empty() && w->txtUserName->Text().empty();
    }

    // The last box shown, checked to be a warning with OK.
    void ExpectWarning(const std::string& text, const std::string& caption = kAppTitle) {
        ASSERT_FALSE(dialogs.boxes.empty());
        const ShownBox& box = dialogs.boxes.back();
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.icon, MsgIcon::Warning);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
    }
};

}  // namespace solne::test
