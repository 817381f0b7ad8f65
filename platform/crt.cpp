// File, text and local-time calls of the seam, made with the C runtime's descriptor functions,
// which both the Windows runtime and POSIX systems provide (under slightly different names).
#include "platform/platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace os {

namespace {

#ifdef _WIN32
const int BINARY = O_BINARY;
const int OWNER_READ_WRITE = _S_IREAD | _S_IWRITE;
#else
const int BINARY = 0;
const int OWNER_READ_WRITE = 0600;
#endif

}  // namespace

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

int FileOpen(const char* name, FileMode mode) {
    switch (mode) {
    case FILE_READ:
        return ::open(name, O_RDONLY | BINARY);
    case FILE_WRITE:
        return ::open(name, O_WRONLY | O_CREAT | BINARY, OWNER_READ_WRITE);
    case FILE_APPEND:
        return ::open(name, O_WRONLY | O_CREAT | O_APPEND | BINARY, OWNER_READ_WRITE);
    }
    return -1;
}

int FileSeek(int fd, long offset) {
    return ::lseek(fd, offset, SEEK_SET) == offset ? 0 : -1;
}

int FileRead(int fd, void* buffer, int size) {
    int done = 0;
    while (done < size) {
        int n = ::read(fd, static_cast<char*>(buffer) + done, size - done);
        if (n < 0) return done > 0 ? done : -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

int FileWrite(int fd, const void* buffer, int size) {
    return ::write(fd, buffer, size);
}

void FileClose(int fd) {
    ::close(fd);
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
