// The one place that sets the Qt platform for programs run without a
// display (the Qt tests, the window benchmarks, the soak run): "offscreen",
// unless QT_QPA_PLATFORM already names one. Call before QApplication.
#pragma once

#include <cstdlib>

namespace solne::test {

inline void UseOffscreenUnlessSet() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

}  // namespace solne::test
