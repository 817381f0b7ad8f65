// The simulated platform's files: the real calls (platform/files.cpp, compiled here once more in
// a namespace of its own) on the real files of the test's folder, with every descriptor opened
// and closed counted, so that each test can tell that nothing was left open.
#include "platform/platform.h"
#include "tests/sim/sim.h"

// What files.cpp includes, first, so that in the namespace below its own includes are no-ops.
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace real {
namespace os {
using namespace ::os;
}
#include "platform/files.cpp"
}  // namespace real

namespace os {

int FileOpen(const char* name, FileMode mode) {
    int fd = real::os::FileOpen(name, mode);
    if (fd >= 0) sim::Opened(fd);
    return fd;
}

int FileSeek(int fd, long offset) {
    return real::os::FileSeek(fd, offset);
}

int FileRead(int fd, void* buffer, int size) {
    return real::os::FileRead(fd, buffer, size);
}

int FileWrite(int fd, const void* buffer, int size) {
    return real::os::FileWrite(fd, buffer, size);
}

void FileClose(int fd) {
    sim::Closed(fd);
    real::os::FileClose(fd);
}

}  // namespace os
