// The seam's process and thread calls on Win32, the same for the service and a console trial:
// each passes its arguments through to the system call of the same name.
#include "platform/platform.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string.h>

namespace os {

void GetStartupInfoA(STARTUPINFO* info) {
    ::STARTUPINFOA s;
    ::GetStartupInfoA(&s);
    memcpy(info, &s, sizeof s);
}

int CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

DWORD GetLastError() {
    return ::GetLastError();
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

int SetCurrentDirectoryA(const char* path) {
    return ::SetCurrentDirectoryA(path);
}

}  // namespace os
