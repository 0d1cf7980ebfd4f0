#include "app/EditorStart.h"

#include <QGuiApplication>
#include <QIcon>
#include <QString>

#include <csignal>
#include <cstdio>
#include <string_view>

#include "solne/Version.h"
#include "store/SettingsPlace.h"

namespace solne {

std::string EditorHelpText(Places& places, const SettingsPlace& place) {
    const std::string own = AccountSettingsFile(places);
    std::string text =
        "ソルネ " SOLNE_VERSION ": 行き先掲示板システムのユーザーとグループを編集するエディターです。\n"
        "\n"
        "  solne            エディターを開きます（ほかの引数は無視します）\n"
        "  solne --version  バージョンを表示します\n"
        "  solne --help     この説明を表示します\n"
        "\n"
        "掲示板のフォルダは設定ファイル \"setup.ini\" のセクション [Script]、キー InstalledPath\n"
        "にあります（相対パスはその setup.ini のあるフォルダから見たパスです）。\n"
        "設定ファイルは次の順に探します:\n"
        "  1. プログラムと同じフォルダ（そこにあるとき、またはそのフォルダに書き込めるとき）:\n"
        "     " + BesideProgramSettingsFile(places) + "\n"
        "  2. 利用者ごとの設定（$XDG_CONFIG_HOME/solne/setup.ini、既定は ~/.config/solne/setup.ini）:\n"
        "     " + (own.empty() ? std::string("（ホームフォルダがありません）") : own) + "\n"
        "  3. 2 がないときに読むシステム全体の既定値（$XDG_CONFIG_DIRS の各フォルダ、既定は /etc/xdg）:\n";
    for (const std::string& system : SystemSettingsFiles(places)) text += "     " + system + "\n";
    text +=
        "掲示板のファイル（user.txt と group.txt）が見つからないときはフォルダを尋ね、\n"
        "読み込めたフォルダだけを 1 または 2 の設定ファイルに書きます。\n"
        "\n"
        "この実行で読む設定ファイル: " + place.readFrom + "\n"
        "フォルダを覚える設定ファイル: " + place.file + "\n";
    return text;
}

std::optional<int> HandleEditorArguments(int argc, char** argv) {
    if (argc != 2) return std::nullopt;
    const std::string_view arg = argv[1];
    if (arg != "--version" && arg != "--help" && arg != "-h") return std::nullopt;
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is reported below like a full disk
    if (arg == "--version") {
        std::fputs("solne " SOLNE_VERSION "\n", stdout);
    } else {
        Places& places = PlatformPlaces();
        std::fputs(EditorHelpText(places, FindSettingsPlace(RealFileSystem(), places)).c_str(), stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("solne: 標準出力に書き込めませんでした");
        return 2;
    }
    return 0;
}

void SetApplicationIdentity() {
    QGuiApplication::setDesktopFileName(QStringLiteral(SOLNE_APP_ID));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QGuiApplication::setWindowIcon(icon);
}

}  // namespace solne
