// The Windows calls qvlrun makes of its own: each check opens what the host would write with
// the access the host would need, and closes it again, so nothing is created or changed.
#include "tools/qvlrun/system.h"

#include "host/entry.h"
#include "host/service.h"
#include "link/link.h"
#include "log/log.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

CRITICAL_SECTION EvidenceLock;
struct Setup {
    Setup() { ::InitializeCriticalSection(&EvidenceLock); }
} Once;

// Whether name may be opened with access; a file that is not there yet will be created.
bool MayOpen(const char* name, DWORD access, DWORD flags, bool mayBeMissing) {
    HANDLE h = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return mayBeMissing && ::GetLastError() == ERROR_FILE_NOT_FOUND;
    ::CloseHandle(h);
    return true;
}

// QVLService's state, SERVICE_NOT_INSTALLED, or SERVICE_UNKNOWN when the manager will not say.
int ServiceState() {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return SERVICE_UNKNOWN;
    int state = SERVICE_UNKNOWN;
    SC_HANDLE service = ::OpenServiceA(manager, SERVICE_NAME, SERVICE_QUERY_STATUS);
    if (service) {
        ::SERVICE_STATUS status;
        if (::QueryServiceStatus(service, &status)) state = static_cast<int>(status.dwCurrentState);
        ::CloseServiceHandle(service);
    } else if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        state = SERVICE_NOT_INSTALLED;
    }
    ::CloseServiceHandle(manager);
    return state;
}

}  // namespace

Folder CheckFolder(const char* folder) {
    Folder f = {};
    f.Service = SERVICE_UNKNOWN;
    f.Entered = ::SetCurrentDirectoryA(folder) != 0;
    if (!f.Entered) return f;
    DWORD program = ::GetFileAttributesA(PROGRAM_FILE);
    f.HasProgram = program != INVALID_FILE_ATTRIBUTES && !(program & FILE_ATTRIBUTE_DIRECTORY);
    f.Writable = MayOpen(".", FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS, false) &&
                 MayOpen(LOG_FILE, FILE_APPEND_DATA, 0, true) && MayOpen(COMMAND_FILE, FILE_WRITE_DATA, 0, true);
    f.Answer = ReadProgramStatus();
    f.Service = ServiceState();
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
