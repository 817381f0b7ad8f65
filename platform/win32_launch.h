// The real launch, shared by the service's platform and the console one: the seam's records
// converted to the system's and back. Included only by Win32 implementations of the seam.
#pragma once

#include <string.h>

#include "platform/platform.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace os {

static_assert(sizeof(STARTUPINFO) == sizeof(::STARTUPINFOA), "start-up record layout");
static_assert(offsetof(STARTUPINFO, hStdError) == offsetof(::STARTUPINFOA, hStdError), "start-up record layout");

inline int Launch(const char* applicationName, char* commandLine, void* processAttributes, void* threadAttributes,
                  int inheritHandles, DWORD creationFlags, void* environment, const char* currentDirectory,
                  STARTUPINFO* startupInfo, PROCESS_INFORMATION* info) {
    ::STARTUPINFOA s;
    memcpy(&s, startupInfo, sizeof s);
    ::PROCESS_INFORMATION p = {};
    BOOL created = ::CreateProcessA(applicationName, commandLine,
                                    static_cast<LPSECURITY_ATTRIBUTES>(processAttributes),
                                    static_cast<LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles,
                                    creationFlags, environment, currentDirectory, &s, &p);
    info->hProcess = p.hProcess;
    info->hThread = p.hThread;
    info->dwProcessId = p.dwProcessId;
    info->dwThreadId = p.dwThreadId;
    return created;
}

}  // namespace os
