// The real clock of the seam, for every build that runs on a real system.
#include "platform/platform.h"

namespace os {

#ifdef _WIN32
// The runtime's plain time is 32-bit in 32-bit Windows programs and stops in January 2038: the
// 64-bit call, in msvcrt.dll from Windows XP on, serves both builds.
static_assert(sizeof(__time64_t) == 8, "a 64-bit time");
int64_t time() {
    return static_cast<int64_t>(::_time64(nullptr));
}
#else
static_assert(sizeof(time_t) == 8, "a 64-bit time_t");
int64_t time() {
    return static_cast<int64_t>(::time(nullptr));
}
#endif

}  // namespace os
