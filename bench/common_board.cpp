#include "common_board.h"


#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "Define/Cp932.h"

namespace solne::bench {
namespace {

namespace fs = std::filesystem;

// UTF-8 to code page 932 for the fixed texts below (all of them encodable).
std::string ToCp932(const std::string& utf8) {
    std::string out;
    if (!Utf8ToCp932(utf8, out)) throw std::runtime_error("no code page 932 form: " + utf8);
    return out;
}

std::vector<std::string> ToCp932All(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    out.reserve(texts.size());
    for (const auto& t : texts) out.push_back(ToCp932(t));
    return out;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

// A prefix followed by a number of five digits: "u00042".
std::string Numbered(const char* prefix, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%05d", prefix, n);
    return buf;
}

}  // namespace

void GenerateBoard(const std::string& folder, int users, int groups) {
    // Family and given names chosen so that trail bytes 0x5C (ソ, 表, 能) and
    // the vendor characters (髙, ①) occur as they do on real boards.
    static const std::vector<std::string> kFamily = ToCp932All({
        "佐藤", "鈴木", "髙橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤",
        "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林", "斎藤", "清水",
        "能登", "表"});
    static const std::vector<std::string> kGiven = ToCp932All({
        "一郎", "花子", "健太", "美咲", "翔", "さくら", "大輔", "陽子", "拓也", "ソウ",
        "恵美", "直樹", "由美", "誠", "彩", "浩二", "ひかり", "和也", "舞", "聡"});
    static const std::vector<std::string> kDept = ToCp932All({
        "営業部", "総務部", "開発部", "経理部", "人事部", "企画室", "製造部", "品質保証部",
        "情報システム部", "購買部"});
    static const std::vector<std::string> kPlan = ToCp932All({
        "", "14時 打合せ（本社）", "大阪出張 ～6/12", "在宅勤務", "会議室①", "直帰", "午後 外出"});
    static const std::string kSpace = ToCp932("　");
    static const std::string kTeam = ToCp932("第");
    static const std::string kTeamEnd = ToCp932("課");

    const fs::path root(folder);
    const fs::path userDir = root / "user";
    fs::create_directories(root);
    fs::remove_all(userDir);
    fs::create_directories(userDir);

    std::string groupText;
    for (int g = 1; g <= groups; ++g) {
        groupText += std::to_string(g) + "," + kDept[(g - 1) % kDept.size()] + kTeam +
                     std::to_string((g - 1) / static_cast<int>(kDept.size()) + 1) + kTeamEnd + "\r\n";
    }

    std::string userText;
    userText.reserve(static_cast<size_t>(users) * 24);
    for (int i = 0; i < users; ++i) {
        const std::string id = Numbered("u", i + 1);
        // Every 37th user has no group; the others go round the groups.
        const int groupNo = (groups == 0 || i % 37 == 36) ? 0 : i % groups + 1;
        userText += id + "," + Numbered("pw", (i * 7919) % 100000) + "," + std::to_string(groupNo) + "\r\n";

        const std::string name = kFamily[i % kFamily.size()] + kSpace +
                                 kGiven[(i / kFamily.size()) % kGiven.size()];
        const std::string body = "username=" + name + "\r\nstatus=" + std::to_string(i % 5) +
                                 "\r\nplan=" + kPlan[i % kPlan.size()] + "\r\n";
        WriteFile(userDir / (id + ".txt"), body);
    }

    // Replace read-only files left by an earlier save.
    for (const char* name : {"user.txt", "group.txt"}) {
        std::error_code ec;
        fs::remove(root / name, ec);
    }
    WriteFile(root / "user.txt", userText);
    WriteFile(root / "group.txt", groupText);
}

}  // namespace solne::bench
