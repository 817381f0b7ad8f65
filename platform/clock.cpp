// The real clock of the seam, for every build that runs on a real system.
#include "platform/platform.h"

namespace os {

int64_t time() {
    return static_cast<int64_t>(::time(nullptr));
}

}  // namespace os
