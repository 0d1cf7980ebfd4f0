// The parts of the file services that do not depend on the platform: error
// texts, the existence test, path joining and the read-only wrapper.
#include "Define/FileSystem.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "Define/win32/WinText.h"
#endif

namespace solne {

std::string ErrnoText(int err) {
    switch (err) {
    case ENOENT: return "ファイルまたはフォルダが見つかりません";
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case ENOSPC: return "ディスクの空き容量が不足しています";
    case EDQUOT: return "ディスクの使用量の上限を超えました";
    case EROFS: return "読み取り専用のファイルシステムです";
    case EISDIR: return "ファイルではなくフォルダです";
    case ENOTDIR: return "パスの途中がフォルダではありません";
    case EIO: return "入出力エラーが発生しました";
    case EEXIST: return "同じ名前のファイルが既にあります";
    case ENAMETOOLONG: return "ファイル名またはパスが長すぎます";
    case ELOOP: return "シンボリックリンクの参照が多すぎます";
    case EBUSY:
    case ETXTBSY: return "ファイルが使用中です";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます";
    case ENOMEM: return "メモリが不足しています";
    case EXDEV: return "別のドライブへは移動できません";
    case EINVAL: return "無効な引数です";
    case EFBIG: return "ファイルが大きすぎます";
    case kNotRegularFile: return "通常のファイルではありません（FIFO、デバイスなど）";
    case kReplacedMeanwhile: return "処理の途中で別のプログラムがファイルを置き換えました";
    case kChangedMeanwhile: return "処理の途中で別のプログラムがファイルを書き換えました";
    case kForeignLink: return "管理者(root)かこのアカウントが作ったものではないリンクです（リンクか経由するフォルダの所有者が別のアカウントか、別のアカウントが書き換えられます）";
    case kFolderReplaced: return "読み込んだときのフォルダではなくなっています（別のフォルダに置き換えられました）";
    case kDataFileAlias: return "ユーザーファイルが「user.txt」または「group.txt」を指しています";
    case kSharingViolation: return "別のプログラムがファイルを開いているため、使用できません";
    case kNetworkAccessDenied: return "ネットワーク上のファイルへのアクセスが拒否されました";
    case kUserMappedFile: return "別のプログラムがファイルをメモリに割り当てて使用しているため、変更できません";
    default: break;
    }
    if (err >= kNativeErrorBase) {
#ifdef _WIN32
        return win32::SystemErrorText(static_cast<unsigned long>(err - kNativeErrorBase));
#else
        return "エラー " + std::to_string(err - kNativeErrorBase);
#endif
    }
    const char* text = std::strerror(err);
    return text ? std::string(text) : "エラー " + std::to_string(err);
}

bool FileExists(FileSystem& fs, const std::string& path) {
    FileStat st;
    return fs.Stat(path, st) == 0 && st.isRegular;
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && std::string_view(kPathSeparators).find(folder.back()) != std::string_view::npos)
        return folder + name;
    return folder + kSeparator + name;
}

std::string NativePath(std::string path) {
#ifdef _WIN32
    for (char& c : path)
        if (c == '/') c = kSeparator;
#endif
    return path;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAbsolutePath(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        return true;
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
#else
    return !path.empty() && path[0] == '/';
#endif
}


// ------------------------------------------------------ read-only access

int ReadOnlyFileSystem::CreateAt(Handle, const std::string&, mode_t, Handle& file) {
    file = Handle();
    return EROFS;
}

int ReadOnlyFileSystem::OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file, FileStat* st) {
    file = Handle();
    return forWriting ? EROFS : inner_.OpenAt(dir, name, false, file, st);
}

}  // namespace solne
