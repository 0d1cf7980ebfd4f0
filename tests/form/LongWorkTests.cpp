// A load and a save as the window shows them, on the fake toolkit: the busy
// state from first to last, the progress window only for work that lasts,
// and no command or request to close taken while the work runs.
#include <chrono>
#include <map>
#include <string>

#include "common/SlowFileSystem.h"
#include "form/FormTest.h"
#include "frmMain/Layout.h"

namespace solne::test {
namespace {

using namespace std::chrono_literals;

class LongWorkTest : public FormTest {
protected:
    std::map<std::string, std::string> Files(const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const std::string& name : ListNames(folder)) files[name] = ReadBytes(JoinPath(folder, name));
        for (const std::string& name : ListNames(JoinPath(folder, "user")))
            files["user/" + name] = ReadBytes(JoinPath(JoinPath(folder, "user"), name));
        return files;
    }
};

TEST_F(LongWorkTest, QuickWorkShowsTheBusyStateButNoProgressWindow) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    EXPECT_EQ(w->window.works, 1);  // the load
    EXPECT_FALSE(w->window.working);
    w->cmdSave_Click();
    EXPECT_EQ(w->window.works, 2);
    EXPECT_FALSE(w->window.working);
    EXPECT_FALSE(w->Working());
    EXPECT_TRUE(w->window.progress.empty());
    EXPECT_EQ(dialogs.boxes.back().text, "データの保存が完了しました。");
}

// A board on a slow share: both the load and the save outlast the wait, so
// the progress window counts their files; whatever the user does meanwhile
// is refused, and the files come out as from a quick save.
TEST_F(LongWorkTest, SlowWorkShowsFilesDoneOfAllAndTakesNothingMeanwhile) {
    const int users = 30;
    GenerateBoard(Board(), users, 3);
    GenerateBoard(dir / "quick", users, 3);
    SlowFileSystem slow(25ms);
    w = std::make_unique<FakeForm>(dialogs, Ini(), slow);

    int refused = 0;
    w->window.visible = true;
    w->window.onAnswer = [&] {
        EXPECT_TRUE(w->Working());
        // Each button and list, and a request to close with unsaved changes
        // (which would ask): none is taken.
        for (const layout::Control& c : layout::kControls) refused += !layout::Raise(*w, c.name);
        w->DataChanged = true;
        w->window.Close();
        EXPECT_TRUE(w->window.visible);
    };
    ASSERT_EQ(w->Form_LoadFolder(Board()), StartResult::Ready);
    ASSERT_FALSE(w->window.progress.empty());
    EXPECT_EQ(w->window.progress.front().rfind("ファイルを読み込んでいます… ", 0), 0u) << w->window.progress.front();
    EXPECT_EQ(w->window.progress.back(), "ファイルを読み込んでいます… 32 / 32");

    w->window.progress.clear();
    ASSERT_TRUE(w->SaveData());
    EXPECT_FALSE(w->Working());
    ASSERT_FALSE(w->window.progress.empty());
    EXPECT_EQ(w->window.progress.back(), "ファイルを保存しています… 32 / 32");
    EXPECT_GT(refused, 0);
    EXPECT_EQ(refused % int(std::size(layout::kControls)), 0);
    EXPECT_EQ(dialogs.boxes.size(), 1u);  // the completion only, no question
    EXPECT_EQ(dialogs.boxes.back().text, "データの保存が完了しました。");
    w->DataChanged = false;

    FakeDialogs quickDialogs;
    FakeForm quick(quickDialogs, Ini());
    ASSERT_EQ(quick.Form_LoadFolder(dir / "quick"), StartResult::Ready);
    ASSERT_TRUE(quick.SaveData());
    EXPECT_TRUE(quick.window.progress.empty());
    EXPECT_EQ(Files(Board()), Files(dir / "quick"));
}

// The question about files changed by others comes in the middle of a save:
// the busy state makes way for it and comes back for the writing.
TEST_F(LongWorkTest, TheOutsideChangeQuestionPausesTheBusyState) {
    ASSERT_EQ(Start(FiveUsers()), StartResult::Ready);
    WriteBytes(Board() + "/group.txt", Sjis("1,総務部\r\n2,営業部\r\n3,人事部\r\n"));
    bool workingDuringQuestion = true;
    dialogs.answers = {MsgAnswer::Yes};
    dialogs.onBox = [&] { workingDuringQuestion = w->window.working; };
    ASSERT_TRUE(w->SaveData());
    EXPECT_FALSE(workingDuringQuestion);
    EXPECT_FALSE(w->window.working);
}

}  // namespace
}  // namespace solne::test
