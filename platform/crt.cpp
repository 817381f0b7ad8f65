// File and local-time calls of the seam, made with the C runtime's descriptor functions, which
// both the Windows runtime and POSIX systems provide (under slightly different names).
#include "platform/platform.h"

#include <cstdio>
#include <fcntl.h>
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

int Flags(FileMode mode) {
    switch (mode) {
    case FILE_READ:
        return O_RDONLY | BINARY;
    case FILE_WRITE:
        return O_WRONLY | O_CREAT | BINARY;
    case FILE_APPEND:
        return O_WRONLY | O_CREAT | O_APPEND | BINARY;
    }
    return -1;
}

}  // namespace

int FileOpen(const char* name, FileMode mode) {
    int flags = Flags(mode);
    if (flags == -1) return -1;
    return ::open(name, flags, OWNER_READ_WRITE);
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
    time_t t = static_cast<time_t>(seconds);
#ifdef _WIN32
    return localtime_s(out, &t) == 0;
#else
    return localtime_r(&t, out) != nullptr;
#endif
}

}  // namespace os
