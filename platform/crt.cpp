// Text and local-time calls of the seam, from the C runtime, which both the Windows runtime and
// POSIX systems provide.
#include "platform/platform.h"

#include <stdio.h>

namespace os {

int FormatV(char* buffer, int size, const char* format, va_list args) {
#ifdef _WIN32
    // The system runtime's own: it returns -1, leaving the buffer full and unterminated, when
    // the text does not fit.
    int n = _vsnprintf(buffer, size, format, args);
    if (n < 0) n = size - 1;
#else
    int n = vsnprintf(buffer, size, format, args);
    if (n < 0) n = 0;  // a conversion that failed: nothing trustworthy was written
#endif
    if (n >= size) n = size - 1;
    buffer[n] = '\0';
    return n;
}

int LocalTime(int64_t seconds, struct tm* out) {
#ifdef _WIN32
    // The system runtime keeps localtime's result per thread. The 64-bit call, as the plain one
    // is 32-bit in 32-bit programs and would stop in January 2038.
    __time64_t t = seconds;
    struct tm* local = ::_localtime64(&t);
    if (!local) return 0;
    *out = *local;
    return 1;
#else
    time_t t = static_cast<time_t>(seconds);
    return localtime_r(&t, out) != nullptr;
#endif
}

}  // namespace os
