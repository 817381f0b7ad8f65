// The seam's service control and launch for a console trial: the dispatcher runs the service
// main on a thread and the watcher on its own; reports and the launch go to the watcher.
#include "tools/qvl/console.h"

#include <atomic>

#include "platform/win32_launch.h"

namespace console {

namespace {

Watcher W;
::DWORD StartTicks;
os::SERVICE_MAIN_FUNCTION ServiceProc;
char* ServiceName;
std::atomic<os::HANDLER_FUNCTION> Handler(nullptr);
// Written once on the service thread, at the launch; read on the dispatcher's.
std::atomic<os::HANDLE> ProgramCopy(nullptr);

int64_t Elapsed() {
    return static_cast<::DWORD>(::GetTickCount() - StartTicks);
}

::DWORD WINAPI RunServiceMain(void*) {
    char* argv[] = {ServiceName, nullptr};
    ServiceProc(1, argv);
    return 0;
}

}  // namespace

void Watch(const Watcher& watcher) {
    W = watcher;
}

bool DeliverControl(os::DWORD control) {
    os::HANDLER_FUNCTION handler = Handler.load();
    if (!handler) return false;
    handler(control);
    return true;
}

os::HANDLE Program() {
    return ProgramCopy.load();
}

}  // namespace console

namespace os {

using console::W;

int StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRY* table) {
    console::StartTicks = ::GetTickCount();
    console::ServiceProc = table[0].lpServiceProc;
    console::ServiceName = const_cast<char*>(table[0].lpServiceName);
    ::HANDLE thread = ::CreateThread(nullptr, 0, console::RunServiceMain, nullptr, 0, nullptr);
    if (!thread) return 0;
    bool returned = false;
    do {
        if (returned)
            ::Sleep(console::TICK_MS);
        else
            returned = ::WaitForSingleObject(thread, console::TICK_MS) == WAIT_OBJECT_0;
    } while (W.Tick(console::Elapsed(), returned));
    ::CloseHandle(thread);
    return returned;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char*, HANDLER_FUNCTION handler) {
    console::Handler = handler;
    return &console::W;
}

int SetServiceStatus(SERVICE_STATUS_HANDLE, const SERVICE_STATUS* status) {
    W.Reported(console::Elapsed(), status->dwCurrentState);
    return 1;
}

int CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                   void* threadAttributes, int inheritHandles, DWORD creationFlags, void* environment,
                   const char* currentDirectory, STARTUPINFO* startupInfo, PROCESS_INFORMATION* info) {
    int created = Launch(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                         creationFlags, environment, currentDirectory, startupInfo, info);
    ::DWORD error = created ? 0 : ::GetLastError();
    ::HANDLE copy = nullptr;
    if (created &&
        ::DuplicateHandle(::GetCurrentProcess(), info->hProcess, ::GetCurrentProcess(), &copy, 0, FALSE,
                          DUPLICATE_SAME_ACCESS))
        console::ProgramCopy = copy;
    W.Launched(console::Elapsed(), error);
    // The host logs the reason: it must still be the launch's.
    ::SetLastError(error);
    return created;
}

}  // namespace os
