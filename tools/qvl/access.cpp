// The walk by handle, and descriptors read and set through handles.
#include "tools/qvl/access.h"

#include <string.h>

#include "tools/qvl/config.h"
#include "tools/qvl/text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace {

const int DEPTH_MAX = 32;
const SECURITY_INFORMATION OWNER_AND_DACL = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

struct Walker {
    Access Wants;
    Visit Call;
    void* Context;
};

void WhenWritten(const FILETIME& utc, char* out, int size) {
    FILETIME local;
    SYSTEMTIME t;
    if (::FileTimeToLocalFileTime(&utc, &local) && ::FileTimeToSystemTime(&local, &t))
        Format(out, size, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    else
        Format(out, size, "(unknown)");
}

bool VisitPath(const Walker& w, const char* path, int depth);

// Visits what could not be opened or listed at path, with the reason; the walk has then failed.
bool Unvisited(const Walker& w, const char* path, int depth, DWORD error) {
    Entry e = {};
    Format(e.Path, sizeof e.Path, "%s", path);
    e.Name = e.Path;
    e.Depth = depth;
    e.Error = error;
    w.Call(e, w.Context);
    return false;
}

// Lists folder, which the caller holds open, and visits each entry.
bool VisitChildren(const Walker& w, const char* folder, int depth) {
    char pattern[PATH_TEXT];
    WIN32_FIND_DATAA found;
    HANDLE find = JoinPath(folder, "*", pattern, sizeof pattern) ? ::FindFirstFileA(pattern, &found)
                                                                  : INVALID_HANDLE_VALUE;
    if (find == INVALID_HANDLE_VALUE) {
        DWORD e = ::GetLastError();
        return e == ERROR_FILE_NOT_FOUND || Unvisited(w, folder, depth, e ? e : ERROR_FILENAME_EXCED_RANGE);
    }
    bool ok = true;
    do {
        if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
        char path[PATH_TEXT];
        if (JoinPath(folder, found.cFileName, path, sizeof path)) {
            ok &= VisitPath(w, path, depth);
        } else {
            Format(path, sizeof path, "%s\\%s", folder, found.cFileName);  // named as far as it fits
            ok = Unvisited(w, path, depth, ERROR_FILENAME_EXCED_RANGE);
        }
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return ok;
}

bool VisitPath(const Walker& w, const char* path, int depth) {
    Entry e = {};
    Format(e.Path, sizeof e.Path, "%s", path);
    const char* slash = strrchr(e.Path, '\\');
    e.Name = slash ? slash + 1 : e.Path;
    e.Depth = depth;
    DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | (w.Wants == ACCESS_SET ? WRITE_DAC | WRITE_OWNER : 0);
    // Not sharing deletion: while it is open it cannot be renamed, removed or replaced.
    HANDLE h = ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE) {
        e.Error = ::GetLastError();
    } else if (!::GetFileInformationByHandle(h, &info)) {
        e.Error = ::GetLastError();
    } else {
        e.Handle = h;
        e.Folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // What the name says counts too: some systems show a link only there.
        DWORD named = ::GetFileAttributesA(path);
        e.Link = ((info.dwFileAttributes | (named != INVALID_FILE_ATTRIBUTES ? named : 0)) &
                  FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        e.Names = info.nNumberOfLinks;
        WhenWritten(info.ftLastWriteTime, e.Written, sizeof e.Written);
    }
    bool ok = w.Call(e, w.Context) && !e.Error;
    if (e.Handle && e.Folder && !e.Link) {
        // Nested deeper than any folder the service needs: not entered, and said.
        ok &= depth < DEPTH_MAX ? VisitChildren(w, path, depth + 1) : Unvisited(w, path, depth, ERROR_BUFFER_OVERFLOW);
    }
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return ok;
}

// The text of a descriptor the system just read, error its answer; the descriptor is released.
bool DescriptorText(DWORD error, PSECURITY_DESCRIPTOR sd, char** sddl) {
    if (error != ERROR_SUCCESS) return ::SetLastError(error), false;
    BOOL converted = ::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, OWNER_AND_DACL, sddl,
                                                                           nullptr);
    ::LocalFree(sd);
    return converted != 0;
}

}  // namespace

void EnablePrivileges() {
    HANDLE token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    const char* const names[] = {SE_BACKUP_NAME, SE_RESTORE_NAME, SE_TAKE_OWNERSHIP_NAME};
    for (const char* name : names) {
        TOKEN_PRIVILEGES p = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (::LookupPrivilegeValueA(nullptr, name, &p.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
}

bool WalkFolder(const char* folder, Access access, Visit visit, void* context) {
    Walker w = {access, visit, context};
    return VisitPath(w, folder, 0);
}

bool HandleSecurityText(os::HANDLE handle, char** sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD e = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_AND_DACL, nullptr, nullptr, nullptr, nullptr, &sd);
    return DescriptorText(e, sd, sddl);
}

bool FileSecurityText(const char* path, char** sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD e = ::GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_AND_DACL, nullptr, nullptr, nullptr, nullptr, &sd);
    return DescriptorText(e, sd, sddl);
}

bool KeySecurityText(const char* key, char** sddl) {
    char name[PATH_TEXT];
    if (!Format(name, sizeof name, "MACHINE\\%s", key)) return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD e = ::GetNamedSecurityInfoA(name, SE_REGISTRY_KEY, OWNER_AND_DACL, nullptr, nullptr, nullptr, nullptr, &sd);
    return DescriptorText(e, sd, sddl);
}

void FreeText(char* text) {
    ::LocalFree(text);
}

os::DWORD SetSecurityText(os::HANDLE handle, const char* sddl, bool passOn) {
    PSECURITY_DESCRIPTOR sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
        return ::GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision, e = ERROR_INVALID_SECURITY_DESCR;
    if (::GetSecurityDescriptorOwner(sd, &owner, &defaulted) && ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) &&
        present && ::GetSecurityDescriptorControl(sd, &control, &revision)) {
        // Owner first: once Administrators own it, they may rewrite its access list whatever it says.
        if (!passOn) {
            e = !owner || ::SetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, sd) ? ERROR_SUCCESS : ::GetLastError();
            if (e == ERROR_SUCCESS && !::SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, sd)) e = ::GetLastError();
        } else {
            e = owner ? ::SetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr)
                      : ERROR_SUCCESS;
            SECURITY_INFORMATION inherit = (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                        : UNPROTECTED_DACL_SECURITY_INFORMATION;
            if (e == ERROR_SUCCESS)
                e = ::SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inherit, nullptr, nullptr, dacl,
                                      nullptr);
        }
    }
    ::LocalFree(sd);
    return e;
}
