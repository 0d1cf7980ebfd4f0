// The link rule of the board folder.
#include "store/LinkRule.h"

#include <cerrno>

namespace solne {

int FollowLink(FileSystem& fs, const std::string& root, const std::string& path, std::string& target) {
    FileStat st;
    if (int err = fs.Stat(path, st); err != 0) return err;
    if (!st.isLink) {
        target = path;
        return 0;
    }
    std::string resolved, rootResolved;
    if (int err = fs.RealPath(path, resolved); err != 0) return err;
    if (int err = fs.RealPath(root.empty() ? "." : root, rootResolved); err != 0) return err;
    // The link must still be the one examined: a link swapped between the
    // look and the resolution is not followed.
    FileStat again;
    if (int err = fs.Stat(path, again); err != 0) return err;
    if (!again.isLink || again.linkUid != st.linkUid || again.dev != st.dev || again.ino != st.ino)
        return kForeignLink;
    const std::string prefix = rootResolved == "/" ? "/" : rootResolved + "/";
    const bool inside = resolved.starts_with(prefix);
    if (!inside && st.linkUid != st.uid) return kForeignLink;
    target = resolved;
    return 0;
}

}  // namespace solne
