// qvl install [FOLDER] [--name NAME] [--auto] [--no-lock]: locks the folder, then makes (or
// re-makes) the service for the qvlsvce.exe in it. Every refusal comes before any change.
#include <stdio.h>
#include <string.h>

#include "host/entry.h"
#include "host/service.h"
#include "tools/qvl/config.h"
#include "tools/qvl/security.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"
#include "tools/qvl/windows.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace {

const char DISPLAY_NAME[] = "QVL Service";
char DESCRIPTION[] = "Runs ZARNQVL.EXE from its own folder, watches its heartbeat and stops it cooperatively.";
const int CHILD_DEPTH_MAX = 32;

// Owner and protected access list of the lock, as the system's records.
struct Lock {
    PSECURITY_DESCRIPTOR Descriptor;
    PSID Owner;
    PACL Dacl;
    ACL Empty;  // no entries: a child given it unprotected keeps only what it inherits
};

bool MakeLock(Lock* lock) {
    BOOL present, defaulted;
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorA(LOCK_SDDL, SDDL_REVISION_1, &lock->Descriptor,
                                                                     nullptr) &&
           ::GetSecurityDescriptorOwner(lock->Descriptor, &lock->Owner, &defaulted) &&
           ::GetSecurityDescriptorDacl(lock->Descriptor, &present, &lock->Dacl, &defaulted) && present &&
           ::InitializeAcl(&lock->Empty, sizeof lock->Empty, ACL_REVISION);
}

// An administrator may take ownership of what others own; the privileges are held but off.
void EnableOwnership() {
    HANDLE token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    const char* const names[] = {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME};
    for (const char* name : names) {
        TOKEN_PRIVILEGES p = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (::LookupPrivilegeValueA(nullptr, name, &p.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
}

// Owner first: once Administrators own it, they may rewrite its access list whatever it says.
DWORD SetSecurity(const char* path, PSID owner, PACL dacl, SECURITY_INFORMATION protection) {
    DWORD e = ::SetNamedSecurityInfoA(const_cast<char*>(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner,
                                      nullptr, nullptr, nullptr);
    if (e != ERROR_SUCCESS) return e;
    return ::SetNamedSecurityInfoA(const_cast<char*>(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection,
                                   nullptr, nullptr, dacl, nullptr);
}

// Everything inside folder: owned by Administrators, with only what it inherits. Links are
// left alone (and said): following one would re-permit whatever it points to.
bool ResetChildren(const char* folder, Lock* lock, int depth, int* count) {
    char pattern[PATH_TEXT];
    if (!JoinPath(folder, "*", pattern, sizeof pattern)) return false;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
        char path[PATH_TEXT];
        if (!JoinPath(folder, found.cFileName, path, sizeof path)) {
            Say("fail: a path inside %s is too long: %s\n", folder, found.cFileName);
            ok = false;
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            Say("warn: %s is a link, left as it is: remove it, nothing in the folder needs it\n", path);
        } else if (DWORD e = SetSecurity(path, lock->Owner, &lock->Empty, UNPROTECTED_DACL_SECURITY_INFORMATION)) {
            Say("fail: cannot set the permissions of %s: error %lu\n", path, e);
            ok = false;
        } else {
            ++*count;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && depth < CHILD_DEPTH_MAX)
                ok &= ResetChildren(path, lock, depth + 1, count);
        }
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return ok;
}

bool LockFolder(const char* folder) {
    char* was;
    if (FileSecurityText(folder, &was)) {
        Say("step: the permissions it replaces, as SDDL: %s\n", was);
        FreeText(was);
    } else {
        Say("warn: the permissions it replaces cannot be read (error %lu): they cannot be put back\n", ::GetLastError());
    }
    Lock lock;
    if (!MakeLock(&lock)) {
        Say("fail: the lock's permissions cannot be built: error %lu\n", ::GetLastError());
        return false;
    }
    EnableOwnership();
    DWORD e = SetSecurity(folder, lock.Owner, lock.Dacl, PROTECTED_DACL_SECURITY_INFORMATION);
    int count = 0;
    bool ok = e == ERROR_SUCCESS && ResetChildren(folder, &lock, 0, &count);
    ::LocalFree(lock.Descriptor);
    if (e != ERROR_SUCCESS) Say("fail: cannot lock %s: error %lu\n", folder, e);
    if (!ok) return false;
    Say("step: locked %s: owner Administrators; SYSTEM and Administrators full control, Users read and run; "
        "nothing inherited from above; re-applied to %d files and folders inside\n", folder, count);
    return true;
}

// Creates the service, or sets an existing one's configuration; says which, or why not.
bool MakeService(SC_HANDLE manager, const Options& o, const char* binaryPath, bool exists) {
    const DWORD type = SERVICE_TYPE, start = o.Auto ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
    SC_HANDLE service;
    if (!exists) {
        service = ::CreateServiceA(manager, o.Name, DISPLAY_NAME, SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL,
                                   binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
        service = ::OpenServiceA(manager, o.Name, SERVICE_ALL_ACCESS);
        if (service && !::ChangeServiceConfigA(service, type, start, SERVICE_ERROR_NORMAL, binaryPath, nullptr,
                                               nullptr, nullptr, "LocalSystem", "", DISPLAY_NAME)) {
            DWORD e = ::GetLastError();
            ::CloseServiceHandle(service);
            ::SetLastError(e);
            service = nullptr;
        }
    }
    DWORD e = ::GetLastError();
    if (!service && e == ERROR_SERVICE_MARKED_FOR_DELETE)
        return Say("fail: the service %s is being deleted: close what holds it open (the Services console), then run "
                   "qvl install again\n", o.Name), false;
    if (!service)
        return Say("fail: the service %s was not %s: error %lu\n", o.Name, exists ? "configured" : "created", e), false;
    SERVICE_DESCRIPTIONA description = {DESCRIPTION};
    ::ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description);
    ::CloseServiceHandle(service);
    Say("step: %s %s: %s, own process, interactive, LocalSystem, %s start\n", exists ? "re-applied" : "created", o.Name,
        binaryPath, o.Auto ? "automatic" : "demand");
    return true;
}

// With --no-lock: what stays open, as audit would say it.
void ReportOpen(const char* folder) {
    static Findings open;
    AuditFolder(folder, &open);
    for (int i = 0; i < open.Count; i++) Say("open: %s\n", open.Lines[i]);
    Say("warn: %d ways into the service stay open; qvl audit keeps reporting them\n", open.Count);
}

// Why the folder must not be locked, or null: the Windows folder and the program folders come
// from the system, so they are found in any language.
const char* LockRefusal(const char* folder) {
    static const char* const VARIABLES[] = {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles"};
    static char windows[PATH_TEXT], shared[4][PATH_TEXT];
    const char* system[4];
    for (int i = 0; i < 4; i++) {
        DWORD n = ::GetEnvironmentVariableA(VARIABLES[i], shared[i], PATH_TEXT);
        system[i] = n > 0 && n < PATH_TEXT ? shared[i] : nullptr;
    }
    UINT n = ::GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows) windows[0] = '\0';
    return WhyNotLock(folder, windows, system, 4);
}

// Whether install must not act; if so, says why in one line.
bool Refused(const Options& o, const char* folder, const char* host, SC_HANDLE manager, bool* exists) {
    if (!manager) {
        if (::GetLastError() == ERROR_ACCESS_DENIED)
            Say("fail: qvl install must be run as administrator: from an elevated prompt\n");
        else
            Say("fail: the service manager cannot be opened: error %lu\n", ::GetLastError());
        return true;
    }
    if (!IsFile(host)) return Say("fail: there is no %s in %s\n", HOST_FILE, folder), true;
    const char* why = o.NoLock ? nullptr : LockRefusal(folder);
    if (why)
        return Say("fail: %s will not be locked: %s, and the lock would replace the permissions of all it holds; "
                   "put the service in a folder of its own\n", folder, why), true;
    ServiceConfig config;
    if (!QueryConfig(o.Name, &config)) return Say("fail: the service manager will not say whether %s exists\n", o.Name), true;
    *exists = config.Found;
    if (config.Found && !RunsProgram(config.BinaryPath, host)) {
        char program[PATH_TEXT];
        BinaryProgram(config.BinaryPath, program, sizeof program);
        Say("fail: a service %s already runs %s; qvl uninstall --name %s first, or choose another --name\n", o.Name,
            program, o.Name);
        return true;
    }
    return false;
}

// Lock, check, make: in that order, so that nobody can swap a file between the check and the lock.
int Install(const Options& o, const char* folder, const char* host, const char* binaryPath, SC_HANDLE manager,
            bool exists) {
    if (o.NoLock)
        Say("warn: --no-lock: the folder's permissions are left as they are\n");
    else if (!LockFolder(folder))
        return 1;
    if (!IsFile(host)) return Say("fail: %s is gone from %s\n", HOST_FILE, folder), 1;
    char program[PATH_TEXT];
    if (!JoinPath(folder, PROGRAM_FILE, program, sizeof program) || !IsFile(program)) Say("warn: there is no %s in %s yet: put it there before the service starts\n", PROGRAM_FILE, folder);
    if (!MakeService(manager, o, binaryPath, exists)) return 1;
    if (o.NoLock) ReportOpen(folder);
    bool named = strcmp(o.Name, SERVICE_NAME) != 0;
    Say("ok: %s installed for %s; start it with qvl start%s%s\n", o.Name, host, named ? " --name " : "", named ? o.Name : "");
    return 0;
}

}  // namespace

int RunInstall(const Options& o, const char* folder) {
    char host[PATH_TEXT], binaryPath[PATH_TEXT + 2];
    if (!JoinPath(folder, HOST_FILE, host, sizeof host))
        return Say("fail: the folder's path is too long\n"), EXIT_REFUSED;
    Format(binaryPath, sizeof binaryPath, "\"%s\"", host);
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    bool exists = false;
    int status = Refused(o, folder, host, manager, &exists) ? EXIT_REFUSED
                                                            : Install(o, folder, host, binaryPath, manager, exists);
    if (manager) ::CloseServiceHandle(manager);
    return status;
}
