// File calls of the seam: the C runtime's descriptor functions, which both the Windows runtime
// and POSIX systems provide, with files opened by the system's own call.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace os {

#ifdef _WIN32
// The runtime's own open shares a file for reading and writing but not for deleting: a read of
// ours in flight would make the program's removal of its status file fail, and it would then
// look alive for 90 s more. So the handle is opened here, sharing all three, not inherited by
// the program we launch, and only then handed to the runtime. Appends are the system's own, so
// two threads' log lines never overwrite each other.
int FileOpen(const char* name, FileMode mode) {
    static const ::DWORD ACCESS[] = {GENERIC_READ, GENERIC_WRITE, FILE_APPEND_DATA | SYNCHRONIZE};
    static const int FLAGS[] = {_O_RDONLY, _O_WRONLY, _O_WRONLY | _O_APPEND};
    ::HANDLE h = ::CreateFileA(name, ACCESS[mode], FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             mode == FILE_READ ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), FLAGS[mode]);
    if (fd < 0) ::CloseHandle(h);
    return fd;
}
#else
int FileOpen(const char* name, FileMode mode) {
    switch (mode) {
    case FILE_READ:
        return ::open(name, O_RDONLY | O_CLOEXEC);
    case FILE_WRITE:
        return ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    case FILE_APPEND:
        return ::open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }
    return -1;
}
#endif

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

}  // namespace os
