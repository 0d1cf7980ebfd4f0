// The window's handlers checked against a second reading of the rules: the
// reference model (Model.h) is written from the description of the editor's
// behaviour, not from frmMain, and runs beside the window logic on the fake
// toolkit through random steps (clicks, typing, the ten buttons, closing and
// reopening, random answers), compared after every step. A difference means
// one of the two readings is wrong. The model stays small: the rules and no
// more; each handler's details are tested in tests/form.
// SOLNE_MODEL_STEPS=N sets the steps per run, SOLNE_MODEL_ROUNDS=R the runs
// per board, SOLNE_MODEL_SEED=S the first seed; a failure prints the seed
// and the last actions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "ModelDriver.h"
#include "common/TempBoard.h"

namespace solne::model {
namespace {

long StepsPerBoard(long fallback) {
    const char* env = std::getenv("SOLNE_MODEL_STEPS");
    return env && *env ? std::strtol(env, nullptr, 10) : fallback;
}

uint64_t SeedFor(uint64_t fallback) {
    const char* env = std::getenv("SOLNE_MODEL_SEED");
    return env && *env ? std::strtoull(env, nullptr, 10) : fallback;
}

// Both files without a line.
StartBoard EmptyBoard() { return {}; }

// Groups and users hold the highest group number: no group can be added
// until all of them are gone or the users are moved.
StartBoard NumberLimitBoard() {
    StartBoard b;
    for (int i = 1; i <= 16; ++i)
        b.disk.userLines.push_back({"x" + std::to_string(i), "p", i % 4 == 0 ? 1 : 32767});
    b.disk.files = {{"x1.txt", "上限"}, {"x2.txt", "二番"}, {"x3.txt", "三番"}};
    b.disk.groupLines = {{1, "一課"}, {32767, "最終"}, {32767, "最後"}};
    return b;
}

// Runs of each board (SOLNE_MODEL_ROUNDS=N for more or fewer).
const int kRounds = [] {
    const char* env = std::getenv("SOLNE_MODEL_ROUNDS");
    return env && *env ? std::atoi(env) : 10;
}();

class ModelTest : public ::testing::Test {
protected:
    // The runs save and reload the board hundreds of times: in memory, so
    // that they measure the logic rather than the disk's flushes.
    test::TempDir dir{test::MemoryScratchParent()};

    // Runs `rounds` runs of the steps, each from a fresh copy of the board
    // with the next seed (so the tables keep the sizes of a run of that
    // length); returns the rarer paths the model took, with counts.
    std::map<std::string, long> RunRandom(const StartBoard& board, uint64_t defaultSeed, long defaultSteps,
                                          int rounds, const std::function<void(ModelDriver&)>& tune = {}) {
        std::map<std::string, long> events;
        for (int round = 0; round < rounds && !HasFailure(); ++round) {
            const uint64_t seed = SeedFor(defaultSeed) + uint64_t(round);
            const long steps = StepsPerBoard(defaultSteps);
            SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with SOLNE_MODEL_SEED=" + std::to_string(seed) +
                         ")");
            ModelDriver driver(dir / ("run" + std::to_string(round)), seed);
            if (tune) tune(driver);
            std::string diff = driver.Start(board);
            EXPECT_TRUE(diff.empty()) << diff << "\n" << driver.Log();
            for (long i = 0; diff.empty() && i < steps; ++i) {
                diff = driver.Step();
                EXPECT_TRUE(diff.empty()) << diff << "\nat step " << driver.steps << ", last actions:\n"
                                          << driver.Log();
            }
            if (!diff.empty()) return {};
            if (std::getenv("SOLNE_MODEL_STEPS")) std::printf("%s", driver.Summary().c_str());
            // The run went through every command, questions, saves and restarts.
            if (steps >= 500) {
                for (int c = 0; c < int(Command::kCount); ++c)
                    EXPECT_GT(driver.commandCount[c], 10) << CommandName(Command(c));
                EXPECT_GT(driver.saves, 5);
                EXPECT_GT(driver.reopens, 5);
                EXPECT_GT(driver.questions, 50);
            }
            for (const auto& [path, n] : driver.TheModel().events) events[path] += n;
        }
        return events;
    }

    // The default seeds are known to reach these paths.
    static bool DefaultRun() { return !std::getenv("SOLNE_MODEL_SEED") && !std::getenv("SOLNE_MODEL_STEPS"); }
};

TEST_F(ModelTest, RandomCommandsOnABoardWithBlankSlotsAndDuplicates) {
    auto events = RunRandom(RichBoard(), 20240601, 3000, kRounds);
    if (!DefaultRun() || HasFailure()) return;
    for (const char* path : {"delete of a blank user row", "update of a blank slot found by an empty ID",
                             "rename finds a later slot of the name", "user add fills a blank last slot",
                             "group add fills a blank last slot", "assign from a blank group row",
                             "group delete passes over a blank row"})
        EXPECT_GT(events[path], 0) << path;
}

TEST_F(ModelTest, RandomCommandsOnAnEmptyBoard) { RunRandom(EmptyBoard(), 777, 1000, kRounds); }

TEST_F(ModelTest, RandomCommandsWithTheHighestGroupNumberInUse) {
    // Adds more often, and fewer of the commands that free the highest number.
    auto events = RunRandom(NumberLimitBoard(), 4242, 1000, kRounds, [](ModelDriver& d) {
        d.weights[int(Command::GroupAdd)] = 30;
        d.weights[int(Command::GroupDelete)] = 3;
        d.weights[int(Command::GroupAssign)] = 4;
        d.weights[int(Command::GroupRelease)] = 4;
        d.weights[int(Command::UserDelete)] = 4;
    });
    if (DefaultRun() && !HasFailure()) {
        EXPECT_GT(events["group add at the limit"], 0);
    }
}

// The comparison notices a window that differs from the model in any of the
// things it compares.
TEST_F(ModelTest, TheComparisonNoticesDifferences) {
    ModelDriver driver(dir.path(), 1);
    ASSERT_EQ(driver.Start(RichBoard()), "");
    frmMain& w = driver.Window();

    w.Users[2].PassWord = "changed";
    EXPECT_NE(driver.Compare(), "");
    w.Users[2].PassWord = "p2";
    w.Groups[2].GroupNo = 7;
    EXPECT_NE(driver.Compare(), "");
    w.Groups[2].GroupNo = 4;
    w.DataChanged = true;
    EXPECT_NE(driver.Compare(), "");
    w.DataChanged = false;
    auto& users = dynamic_cast<test::FakeListView&>(*w.lsvUserList);
    users.Select({1});
    EXPECT_NE(driver.Compare(), "");
    users.Select({});
    w.txtGroupName->SetText("x");
    EXPECT_NE(driver.Compare(), "");
    w.txtGroupName->SetText("");
    ASSERT_EQ(driver.Compare(), "");

    // A box the model did not show.
    driver.TheModel().shown.push_back({"?", MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, "ソルネ"});
    EXPECT_NE(driver.Compare(), "");
    EXPECT_EQ(driver.Compare(), "");  // boxes are compared once
}

// The start-up fill shows the blank slots loaded from the files; the model
// agrees with the window on which rows lead to which slots.
TEST_F(ModelTest, StartUpRowsKeepTheirSlots) {
    ModelDriver driver(dir.path(), 1);
    ASSERT_EQ(driver.Start(RichBoard()), "");
    const Model& m = driver.TheModel();
    ASSERT_EQ(m.userList.rows.size(), 9u);
    EXPECT_EQ(m.userList.rows[1].texts[0], "空き");
    EXPECT_EQ(m.users[2].group, "営業二課");  // the last group line with number 2
    EXPECT_EQ(m.users[5].group, "");          // number 4 is the blank group line
    ASSERT_EQ(m.groupList.rows.size(), 7u);
    EXPECT_EQ(m.groupList.rows[2].texts[0], "");
}

}  // namespace
}  // namespace solne::model
