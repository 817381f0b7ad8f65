// The seam's process, thread and job calls on Win32, the same for the service and a console
// trial: each passes its arguments through to the system call of the same name.
#include "platform/platform.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stddef.h>
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

DWORD ResumeThread(HANDLE thread) {
    return ::ResumeThread(thread);
}

int TerminateProcess(HANDLE process, unsigned exitCode) {
    return ::TerminateProcess(process, exitCode);
}

HANDLE CreateJobObjectA(void* attributes, const char* name) {
    return ::CreateJobObjectA(static_cast<LPSECURITY_ATTRIBUTES>(attributes), name);
}

static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == sizeof(::JOBOBJECT_EXTENDED_LIMIT_INFORMATION),
              "job limits' layout");
static_assert(offsetof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION, BasicLimitInformation.LimitFlags) ==
                  offsetof(::JOBOBJECT_EXTENDED_LIMIT_INFORMATION, BasicLimitInformation.LimitFlags),
              "job limits' layout");
static_assert(offsetof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION, ProcessMemoryLimit) ==
                  offsetof(::JOBOBJECT_EXTENDED_LIMIT_INFORMATION, ProcessMemoryLimit),
              "job limits' layout");
static_assert(JobObjectExtendedLimitInformation == ::JobObjectExtendedLimitInformation, "job limits' class");

int SetInformationJobObject(HANDLE job, int infoClass, void* info, DWORD size) {
    return ::SetInformationJobObject(job, static_cast<::JOBOBJECTINFOCLASS>(infoClass), info, size);
}

int AssignProcessToJobObject(HANDLE job, HANDLE process) {
    return ::AssignProcessToJobObject(job, process);
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
