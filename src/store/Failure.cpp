#include "store/Failure.h"

#include <cerrno>
#include <cstring>

namespace solne {

std::string ErrorText(int err) {
    switch (err) {
    case ENOENT: return "ファイルまたはフォルダが見つかりません";
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case ENOSPC: return "ディスクの空き容量が不足しています";
#ifdef EDQUOT  // no disk quotas on Windows
    case EDQUOT: return "ディスクの使用量の上限を超えました";
#endif
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
        const long native = err - kNativeErrorBase;
#ifdef _WIN32
        const std::string number = "Windows のエラー " + std::to_string(native);
        const std::string text = SystemErrorText(native);
        return text.empty() ? number : text + "（" + number + "）";
#else
        return "エラー " + std::to_string(native);
#endif
    }
    // An errno value without words of its own: the C library's.
    const char* text = std::strerror(err);
    return text ? std::string(text) : "エラー " + std::to_string(err);
}

std::string Failure::Reason() const {
    if (code == 0) return reason;
    if (reason.empty()) return ErrorText(code);
    return reason + "(" + ErrorText(code) + ")";
}

std::string Failure::ToString() const {
    if (!step.empty()) return file + "（" + step + "）: " + Reason();
    if (line > 0) return file + ":" + std::to_string(line) + ": " + Reason();
    return file + ": " + Reason();
}

std::string Failure::Lines() const {
    std::string text = file;
    if (line > 0) text += "\r\n" + std::to_string(line) + "行目";
    return text + "\r\n" + Reason();
}

Failure FileFailure(FileSystem& fs, std::string file, std::string step, int code) {
    Failure f;
    f.file = std::move(file);
    f.step = std::move(step);
    f.code = code;
    f.native = fs.NativeError(code);
    return f;
}

Failure Problem(std::string file, int line, std::string reason) {
    Failure f;
    f.file = std::move(file);
    f.line = line;
    f.reason = std::move(reason);
    return f;
}

Failure StepProblem(std::string file, std::string step, std::string reason) {
    Failure f;
    f.file = std::move(file);
    f.step = std::move(step);
    f.reason = std::move(reason);
    return f;
}

}  // namespace solne
