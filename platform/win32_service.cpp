// The seam's service control and launch for the real service: each passes its arguments
// through to the system call of the same name. A console trial has its own (console.cpp).
#include "platform/win32_launch.h"

namespace os {

static_assert(sizeof(DWORD) == sizeof(::DWORD), "the seam's DWORD is the system's");
static_assert(sizeof(SERVICE_STATUS) == sizeof(::SERVICE_STATUS), "status record layout");
static_assert(sizeof(HANDLE) == sizeof(::HANDLE), "handles are pointers on both builds");

namespace {

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

int CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                   void* threadAttributes, int inheritHandles, DWORD creationFlags, void* environment,
                   const char* currentDirectory, STARTUPINFO* startupInfo, PROCESS_INFORMATION* info) {
    return Launch(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles, creationFlags,
                  environment, currentDirectory, startupInfo, info);
}

}  // namespace os
