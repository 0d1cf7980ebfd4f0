// POSIX has no profile functions: the store reads and writes "setup.ini" itself.
#include "Define/Profile.h"

namespace solne {

ProfileFunctions* PlatformProfileFunctions() { return nullptr; }

}  // namespace solne
