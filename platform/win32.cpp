// The seam's service-control, process and clock calls on Win32: each passes its arguments
// through to the system call of the same name, converting only between the seam's types and
// the system's.
#include "platform/platform.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

namespace os {

namespace {

static_assert(sizeof(STARTUPINFO) == sizeof(::STARTUPINFOA), "start-up record layout");
static_assert(offsetof(STARTUPINFO, hStdError) == offsetof(::STARTUPINFOA, hStdError), "start-up record layout");

// How long the process waits, once the dispatcher has returned, for the service main to
// finish its last log line.
const ::DWORD SERVICE_MAIN_RETURN_WAIT_MS = 10000;

SERVICE_MAIN_FUNCTION ServiceProc;
HANDLER_FUNCTION Handler;
::HANDLE ServiceMainReturned; /* set when ServiceProc returns */

VOID WINAPI RunServiceMain(::DWORD argc, LPSTR* argv) {
    ServiceProc(argc, argv);
    ::SetEvent(ServiceMainReturned);
}

VOID WINAPI RunHandler(::DWORD control) {
    Handler(control);
}

}  // namespace

int StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRY* table) {
    ServiceProc = table[0].lpServiceProc;
    ServiceMainReturned = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SERVICE_TABLE_ENTRYA entries[] = {
        {const_cast<LPSTR>(table[0].lpServiceName), RunServiceMain},
        {nullptr, nullptr},
    };
    BOOL served = ::StartServiceCtrlDispatcherA(entries);
    // The dispatcher returns once the service has reported stopped, while its service main may
    // still be writing its last line: ending the process then would lose that line.
    if (served && ServiceMainReturned)
        ::WaitForSingleObject(ServiceMainReturned, SERVICE_MAIN_RETURN_WAIT_MS);
    return served;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, HANDLER_FUNCTION handler) {
    Handler = handler;
    return ::RegisterServiceCtrlHandlerA(name, RunHandler);
}

int SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
    ::SERVICE_STATUS s = {status->dwServiceType,   status->dwCurrentState,
                          status->dwControlsAccepted, status->dwWin32ExitCode,
                          status->dwServiceSpecificExitCode, status->dwCheckPoint,
                          status->dwWaitHint};
    return ::SetServiceStatus(static_cast<::SERVICE_STATUS_HANDLE>(handle), &s);
}

void GetStartupInfoA(STARTUPINFO* info) {
    ::STARTUPINFOA s;
    ::GetStartupInfoA(&s);
    memcpy(info, &s, sizeof s);
}

int CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                   void* threadAttributes, int inheritHandles, DWORD creationFlags, void* environment,
                   const char* currentDirectory, STARTUPINFO* startupInfo, PROCESS_INFORMATION* info) {
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
