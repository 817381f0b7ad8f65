// Ctrl-C, the trial's folder check, process ends and the evidence lock. Each check of the
// trial's opens what the host would write with the access the host would need, and closes it
// again: nothing is created or changed.
#include "tools/qvl/watch.h"

#include <atomic>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tools/qvl/manager.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

CRITICAL_SECTION EvidenceLock;
struct Setup {
    Setup() { ::InitializeCriticalSection(&EvidenceLock); }
} Once;

std::atomic<int> CtrlCount(0);

BOOL WINAPI OnCtrl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    CtrlCount++;
    return TRUE;
}

// Whether name may be opened with access; a file that is not there yet will be created.
bool MayOpen(const char* name, DWORD access, DWORD flags, bool mayBeMissing) {
    HANDLE h = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return mayBeMissing && ::GetLastError() == ERROR_FILE_NOT_FOUND;
    ::CloseHandle(h);
    return true;
}

}  // namespace

void CatchCtrlC() {
    ::SetConsoleCtrlHandler(OnCtrl, TRUE);
}

bool CtrlPressed() {
    int seen = CtrlCount.load();
    return seen > 0 && CtrlCount.compare_exchange_strong(seen, seen - 1);
}

Folder CheckFolder(const char* folder, const char* service) {
    Folder f = {};
    f.Service = SERVICE_UNKNOWN;
    f.Entered = ::SetCurrentDirectoryA(folder) != 0;
    if (!f.Entered) return f;
    DWORD program = ::GetFileAttributesA(PROGRAM_FILE);
    f.HasProgram = program != INVALID_FILE_ATTRIBUTES && !(program & FILE_ATTRIBUTE_DIRECTORY);
    f.Writable = MayOpen(".", FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS, false) &&
                 MayOpen(LOG_FILE, FILE_APPEND_DATA, 0, true) && MayOpen(COMMAND_FILE, FILE_WRITE_DATA, 0, true);
    f.Answer = ReadProgramStatus();
    f.Service = ServiceState(service);
    return f;
}

bool ProcessEnded(os::HANDLE process, uint32_t* code) {
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    DWORD exit = 0;
    ::GetExitCodeProcess(process, &exit);
    *code = exit;
    return true;
}

void LockEvidence() {
    ::EnterCriticalSection(&EvidenceLock);
}

void UnlockEvidence() {
    ::LeaveCriticalSection(&EvidenceLock);
}
