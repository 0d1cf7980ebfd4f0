// The commands on a board of 32,767 users and 1,000 groups, each timed from
// the click handler to the repainted window.
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include "qt/QtHands.h"
#include "window_bench.h"

namespace solne::bench {
namespace {

void DeleteSelectedUsers(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    const UserTable all = window->Form().Users;
    std::vector<int> rows;
    for (int i = 0; i < 10000; ++i) rows.push_back(i * 3);  // scattered, not one run
    for (auto _ : state) {
        state.PauseTiming();
        window->Form().Users = all;
        window->Form().RefreshUserList();
        solne::test::List(*window, "lsvUserList")->SetSelectedRows(rows);
        state.ResumeTiming();
        window->Form().cmdUserDelete_Click();
        window->repaint();
    }
    if (window->Form().Users.size() != all.size() - rows.size()) state.SkipWithError("wrong number of users left");
}
BENCHMARK(DeleteSelectedUsers)->Unit(benchmark::kMillisecond)->UseRealTime();

void AssignGroupToAllUsers(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    std::vector<int> rows(window->Form().Users.size());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = int(i);
    int group = 0;
    for (auto _ : state) {
        state.PauseTiming();
        solne::test::List(*window, "lsvUserList")->SetSelectedRows(rows);
        solne::test::List(*window, "lsvGroupList")->SetSelectedRows({group++ % 2});
        state.ResumeTiming();
        window->Form().cmdGroupSet_Click();
        window->repaint();
    }
    if (!window->Form().DataChanged) state.SkipWithError("nothing assigned");
}
BENCHMARK(AssignGroupToAllUsers)->Unit(benchmark::kMillisecond)->UseRealTime();

void RenameGroupOfAllUsers(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    for (UserInfo& user : window->Form().Users) user.GroupNo = window->Form().Groups[0].GroupNo;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        solne::test::List(*window, "lsvGroupList")->SetSelectedRows({0});
        solne::test::Box(*window, "txtGroupName")->setText(QStringLiteral("営業%1課").arg(++round));
        state.ResumeTiming();
        window->Form().cmdGroupUp_Click();
        window->repaint();
    }
    if (window->Form().Users.back().GroupName != window->Form().Groups[0].GroupName) state.SkipWithError("members not renamed");
}
BENCHMARK(RenameGroupOfAllUsers)->Unit(benchmark::kMillisecond)->UseRealTime();

// On 32,766 users, so the table has room for one more.
void AddUserAtEnd(benchmark::State& state) {
    YesDialogs dialogs;
    auto window = OpenWindow(dialogs);
    window->Form().Users.pop_back();
    const size_t before = window->Form().Users.size();
    for (auto _ : state) {
        state.PauseTiming();
        window->Form().Users.resize(before);
        solne::test::Box(*window, "txtUserId")->setText(QStringLiteral("new01"));
        solne::test::Box(*window, "txtPassWords")->setText(QStringLiteral("pw"));
        solne::test::Box(*window, "txtUserName")->setText(QStringLiteral("新人 一郎"));
        state.ResumeTiming();
        window->Form().cmdUserAdd_Click();
        window->repaint();
    }
    if (window->Form().Users.size() != before + 1) state.SkipWithError("user not added");
}
BENCHMARK(AddUserAtEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace solne::bench
