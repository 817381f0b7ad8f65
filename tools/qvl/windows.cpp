// The Windows calls shared by qvl's verbs. Each check of the trial's opens what the host would
// write with the access the host would need, and closes it again: nothing is created or changed.
#include "tools/qvl/windows.h"

#include <atomic>
#include <string.h>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tools/qvl/config.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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

void DropEndSeparator(char* path) {
    size_t n = strlen(path);
    bool root = n == 3 && path[1] == ':';
    if (n > 1 && !root && (path[n - 1] == '\\' || path[n - 1] == '/')) path[n - 1] = '\0';
}

}  // namespace

int ServiceState(const char* name) {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return SERVICE_UNKNOWN;
    int state = SERVICE_UNKNOWN;
    SC_HANDLE service = ::OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
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

bool QueryConfig(const char* name, ServiceConfig* config) {
    memset(config, 0, sizeof *config);
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    bool asked = false;
    SC_HANDLE service = ::OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    if (service) {
        // The record and the strings it points to, in one buffer: 8 KB is the most Windows needs.
        static union { QUERY_SERVICE_CONFIGA Config; char Bytes[8192]; } buffer;
        DWORD needed;
        if (::QueryServiceConfigA(service, &buffer.Config, sizeof buffer, &needed)) {
            asked = config->Found = true;
            config->Type = buffer.Config.dwServiceType;
            config->Start = buffer.Config.dwStartType;
            const char* path = buffer.Config.lpBinaryPathName ? buffer.Config.lpBinaryPathName : "";
            strncpy(config->BinaryPath, path, sizeof config->BinaryPath - 1);
        }
        ::CloseServiceHandle(service);
    } else {
        asked = ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    }
    ::CloseServiceHandle(manager);
    return asked;
}

void BinaryFolder(const char* binaryPath, char* out, int size) {
    BinaryProgram(binaryPath, out, size);
    char* slash = strrchr(out, '\\');
    if (slash) slash[1] = '\0';
    else out[0] = '\0';
    DropEndSeparator(out);
}

bool FileSecurityText(const char* path, char** sddl) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoA(path, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    BOOL converted = ::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, sddl, nullptr);
    ::LocalFree(sd);
    return converted != 0;
}

void FreeText(char* text) {
    ::LocalFree(text);
}

bool IsFile(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ModuleFolder(char* out, int size) {
    DWORD n = ::GetModuleFileNameA(nullptr, out, size);
    if (n == 0 || n >= static_cast<DWORD>(size)) return false;
    char* slash = strrchr(out, '\\');
    if (!slash) return false;
    slash[1] = '\0';
    DropEndSeparator(out);
    return true;
}

bool FullFolder(const char* folder, char* out, int size) {
    DWORD n = ::GetFullPathNameA(folder, size, out, nullptr);
    if (n == 0 || n >= static_cast<DWORD>(size)) return false;
    DropEndSeparator(out);
    return true;
}

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
