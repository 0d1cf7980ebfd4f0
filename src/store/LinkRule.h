// Which symbolic links the editor follows to the settings file, which lies
// outside any board: a link that an administrator set up is followed, a link
// that another account planted to reach someone else's file is not. The
// board's own files follow the stricter rule of BoardFolder.h.
#pragma once

#include <string>

#include "Define/FileSystem.h"

namespace solne {

// Where `path` leads. A path that is no link gives itself. A link is
// followed when its final target lies inside the folder `root`, or when
// the link and its target belong to the same account (the rule the kernel
// applies to links in shared folders); any other link gives kForeignLink.
// Returns 0 with the target in `target`, or an errno value (ENOENT for a
// missing path or a link to nothing).
int FollowLink(FileSystem& fs, const std::string& root, const std::string& path, std::string& target);

}  // namespace solne
