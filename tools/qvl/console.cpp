// The seam's service control and launch for a console trial: the dispatcher runs the service
// main on a thread and the watcher on its own; reports and the launch go to the watcher. Beside
// it, the trial's other calls: the program's end, the lock the two threads share, and the
// folder check, which opens what the host would write with the access the host would need and
// closes it again, so that nothing is created or changed.
#include "tools/qvl/console.h"

#include <atomic>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "platform/win32_launch.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/status.h"

namespace console {

namespace {

Watcher W;
::DWORD StartTicks;
os::SERVICE_MAIN_FUNCTION ServiceProc;
char* ServiceName;
std::atomic<os::HANDLER_FUNCTION> Handler(nullptr);
// Written once on the service thread, at the launch; read on the dispatcher's.
std::atomic<os::HANDLE> ProgramCopy(nullptr);

CRITICAL_SECTION TrialLock;
struct Setup {
    Setup() { ::InitializeCriticalSection(&TrialLock); }
} Once;

int64_t Elapsed() {
    return static_cast<::DWORD>(::GetTickCount() - StartTicks);
}

::DWORD WINAPI RunServiceMain(void*) {
    char* argv[] = {ServiceName, nullptr};
    ServiceProc(1, argv);
    return 0;
}

// Whether name may be opened with access; a file that is not there yet will be created.
bool MayOpen(const char* name, ::DWORD access, ::DWORD flags, bool mayBeMissing) {
    ::HANDLE h = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return mayBeMissing && ::GetLastError() == ERROR_FILE_NOT_FOUND;
    ::CloseHandle(h);
    return true;
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

bool Launched() {
    return ProgramCopy.load() != nullptr;
}

bool ProgramEnded(uint32_t* code) {
    ::HANDLE program = ProgramCopy.load();
    if (!program || ::WaitForSingleObject(program, 0) != WAIT_OBJECT_0) return false;
    ::DWORD exit = 0;
    ::GetExitCodeProcess(program, &exit);
    *code = exit;
    return true;
}

void Lock() {
    ::EnterCriticalSection(&TrialLock);
}

void Unlock() {
    ::LeaveCriticalSection(&TrialLock);
}

Folder CheckFolder(const char* folder, const char* service) {
    Folder f = {};
    f.Service = SERVICE_UNKNOWN;
    f.Entered = EnterFolder(folder);
    if (!f.Entered) return f;
    ::DWORD program = ::GetFileAttributesA(PROGRAM_FILE);
    f.HasProgram = program != INVALID_FILE_ATTRIBUTES && !(program & FILE_ATTRIBUTE_DIRECTORY);
    f.Writable = MayOpen(".", FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS, false) &&
                 MayOpen(LOG_FILE, FILE_APPEND_DATA, 0, true) && MayOpen(COMMAND_FILE, FILE_WRITE_DATA, 0, true);
    f.Answer = ReadProgramStatus();
    f.Service = ServiceState(service);
    return f;
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
