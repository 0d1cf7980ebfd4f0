#include "cli/Summary.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <unordered_map>

#include "Define/Cp932.h"
#include "store/UserFolder.h"

namespace solne::cli {

Summary Compare(const UserTable& usersBefore, const GroupTable& groupsBefore, const UserTable& usersAfter,
                const GroupTable& groupsAfter) {
    Summary s;
    std::unordered_map<std::string, std::deque<const UserInfo*>> users;
    for (const UserInfo& u : usersBefore)
        if (!IsBlank(u)) users[u.UserId].push_back(&u);
    for (const UserInfo& u : usersAfter) {
        if (IsBlank(u)) continue;
        auto it = users.find(u.UserId);
        if (it == users.end() || it->second.empty()) {
            s.usersAdded.push_back(u.UserId);
            s.filesWritten.push_back("user/" + UserFileName(u.UserId));
            continue;
        }
        const UserInfo& was = *it->second.front();
        it->second.pop_front();
        if (was.UserName != u.UserName || was.PassWord != u.PassWord || was.GroupNo != u.GroupNo ||
            was.GroupName != u.GroupName)
            s.usersUpdated.push_back(u.UserId);
        if (was.UserName != u.UserName) s.filesWritten.push_back("user/" + UserFileName(u.UserId));
    }
    for (const UserInfo& u : usersBefore) {
        if (IsBlank(u)) continue;
        auto& left = users[u.UserId];
        if (!left.empty() && left.front() == &u) {
            s.usersDeleted.push_back(u.UserId);
            left.pop_front();
        }
    }

    std::unordered_map<int, std::deque<const GroupInfo*>> groups;
    for (const GroupInfo& g : groupsBefore)
        if (!IsBlank(g)) groups[g.GroupNo].push_back(&g);
    for (const GroupInfo& g : groupsAfter) {
        if (IsBlank(g)) continue;
        auto it = groups.find(g.GroupNo);
        if (it == groups.end() || it->second.empty()) {
            s.groupsAdded.push_back(g);
            continue;
        }
        const GroupInfo& was = *it->second.front();
        it->second.pop_front();
        if (was.GroupName != g.GroupName) s.groupsRenamed.push_back({was.GroupName, g.GroupName});
    }
    for (const GroupInfo& g : groupsBefore) {
        if (IsBlank(g)) continue;
        auto& left = groups[g.GroupNo];
        if (!left.empty() && left.front() == &g) {
            s.groupsDeleted.push_back(g);
            left.pop_front();
        }
    }
    return s;
}

bool SameTables(const UserTable& usersBefore, const GroupTable& groupsBefore, const UserTable& usersAfter,
                const GroupTable& groupsAfter) {
    auto sameUser = [](const UserInfo& a, const UserInfo& b) {
        return a.UserId == b.UserId && a.UserName == b.UserName && a.PassWord == b.PassWord &&
               a.GroupNo == b.GroupNo && a.GroupName == b.GroupName && a.StatusLine == b.StatusLine &&
               a.PlanLine == b.PlanLine;
    };
    auto sameGroup = [](const GroupInfo& a, const GroupInfo& b) {
        return a.GroupNo == b.GroupNo && a.GroupName == b.GroupName;
    };
    return std::equal(usersBefore.begin(), usersBefore.end(), usersAfter.begin(), usersAfter.end(), sameUser) &&
           std::equal(groupsBefore.begin(), groupsBefore.end(), groupsAfter.begin(), groupsAfter.end(), sameGroup);
}

namespace {

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Saved: return "保存しました。";
        case Outcome::DryRun: return "--dry-run のため何も書き込んでいません。";
        case Outcome::Unchanged: return "変更はありません。何も書き込んでいません。";
    }
    return "";
}

const char* OutcomeCode(Outcome outcome) {
    switch (outcome) {
        case Outcome::Saved: return "saved";
        case Outcome::DryRun: return "dry-run";
        case Outcome::Unchanged: return "unchanged";
    }
    return "";
}

std::string GroupText(const GroupInfo& g) { return g.GroupName + " (" + std::to_string(g.GroupNo) + ")"; }

template <typename List>
std::string JsonList(const List& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonString(items[i]);
    return out + "]";
}

std::string JsonGroups(const std::vector<GroupInfo>& groups) {
    std::string out = "[";
    for (size_t i = 0; i < groups.size(); ++i)
        out += std::string(i ? ", " : "") + "{\"name\": " + JsonString(groups[i].GroupName) +
               ", \"group_no\": " + std::to_string(groups[i].GroupNo) + "}";
    return out + "]";
}

}  // namespace

std::string SummaryText(const Summary& s, Outcome outcome) {
    const bool will = outcome == Outcome::DryRun;
    std::string out;
    auto lines = [&](const char* label, const std::vector<std::string>& items) {
        for (const std::string& item : items) out += std::string(label) + ": " + item + "\n";
    };
    lines(will ? "追加するユーザー" : "追加したユーザー", s.usersAdded);
    lines(will ? "更新するユーザー" : "更新したユーザー", s.usersUpdated);
    lines(will ? "削除するユーザー" : "削除したユーザー", s.usersDeleted);
    for (const GroupInfo& g : s.groupsAdded) out += std::string(will ? "追加するグループ" : "追加したグループ") + ": " + GroupText(g) + "\n";
    for (const auto& r : s.groupsRenamed)
        out += std::string(will ? "名前を変えるグループ" : "名前を変えたグループ") + ": " + r.from + " → " + r.to + "\n";
    for (const GroupInfo& g : s.groupsDeleted) out += std::string(will ? "削除するグループ" : "削除したグループ") + ": " + GroupText(g) + "\n";
    lines(will ? "書き込む個別ファイル" : "書き込んだ個別ファイル", s.filesWritten);
    lines(will ? "削除する個別ファイル" : "削除した個別ファイル", s.filesPruned);
    char counts[256];
    std::snprintf(counts, sizeof counts, "ユーザー 追加 %zu、更新 %zu、削除 %zu／グループ 追加 %zu、名前の変更 %zu、削除 %zu。",
                  s.usersAdded.size(), s.usersUpdated.size(), s.usersDeleted.size(), s.groupsAdded.size(),
                  s.groupsRenamed.size(), s.groupsDeleted.size());
    return out + counts + OutcomeText(outcome) + "\n";
}

std::string SummaryJson(const Summary& s, Outcome outcome) {
    std::string renamed = "[";
    for (size_t i = 0; i < s.groupsRenamed.size(); ++i)
        renamed += std::string(i ? ", " : "") + "{\"from\": " + JsonString(s.groupsRenamed[i].from) +
                   ", \"to\": " + JsonString(s.groupsRenamed[i].to) + "}";
    renamed += "]";
    return std::string("{\"result\": \"") + OutcomeCode(outcome) + "\",\n" +
           " \"users\": {\"added\": " + JsonList(s.usersAdded) + ", \"updated\": " + JsonList(s.usersUpdated) +
           ", \"deleted\": " + JsonList(s.usersDeleted) + "},\n" +
           " \"groups\": {\"added\": " + JsonGroups(s.groupsAdded) + ", \"renamed\": " + renamed +
           ", \"deleted\": " + JsonGroups(s.groupsDeleted) + "},\n" +
           " \"files\": {\"write\": " + JsonList(s.filesWritten) + ", \"prune\": " + JsonList(s.filesPruned) +
           "}}\n";
}

}  // namespace solne::cli
