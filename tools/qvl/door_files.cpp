// The door's files and folders on Windows: handles opened without following links, what they
// are, their data, their listing, renames, and their descriptors as SDDL text.
#include "tools/qvl/door.h"

#include <stdlib.h>
#include <string.h>

#include "tools/qvl/config.h"
#include "tools/qvl/paths.h"
#include "tools/qvl/text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

// The system's handle, and the path it was opened at: XP has no call that names a file by a
// folder's handle, so a name relative to a folder is joined to the folder's path; the folder's
// handle, held without sharing deletion, keeps that path on it.
struct door::Object {
    HANDLE Handle;
    char Path[PATH_TEXT];
    ::DWORD Access, Share;  // as opened, for XP's rename, which must reopen it
};

namespace door {
namespace {

const SECURITY_INFORMATION OWNER_AND_DACL = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
const int64_t FILETIME_1970 = 116444736000000000LL;  // 100 ns steps from 1601 to 1970
const DWORD RENAME_INFO_CLASS = 3;                   // FileRenameInfo
const DWORD TAG_INFO_CLASS = 9;                      // FileAttributeTagInfo
const int NAME_MAX_TEXT = 780;                       // a name's 255 UTF-16 units, as the system's code page may spell them

DWORD Fail() {
    DWORD e = ::GetLastError();
    return e ? e : ERR_INVALID_PARAMETER;
}

// Copies text into out, or says it does not fit.
DWORD Give(const char* text, char* out, int size) {
    if (static_cast<int>(strlen(text)) >= size) return out[0] = '\0', ERR_INSUFFICIENT_BUFFER;
    strcpy(out, text);
    return OK;
}

// The Vista-and-later calls, looked up where they exist, so that the tool still loads on XP.
typedef BOOL(WINAPI* ByHandle)(HANDLE, ::DWORD, void*, ::DWORD);
ByHandle Later(const char* name) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel ? ::GetProcAddress(kernel, name) : nullptr;
    ByHandle call;
    memcpy(&call, &found, sizeof call);  // the system's generic pointer, as the call it is
    return call;
}

// A descriptor the system read (error its answer, read before sd is taken), as text; the
// descriptor is released.
DWORD Text(DWORD error, PSECURITY_DESCRIPTOR sd, char* out, int size) {
    out[0] = '\0';
    if (error != ERROR_SUCCESS) return error;
    char* sddl;
    BOOL converted = ::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, OWNER_AND_DACL, &sddl,
                                                                           nullptr);
    DWORD e = converted ? Give(sddl, out, size) : Fail();
    if (converted) ::LocalFree(sddl);
    ::LocalFree(sd);
    return e;
}

}  // namespace

DWORD Open(File folder, const char* name, const Opening& how, File* out) {
    *out = nullptr;
    Object* o = static_cast<Object*>(calloc(1, sizeof(Object)));
    if (!o) return ERROR_NOT_ENOUGH_MEMORY;
    bool joined = folder ? !strpbrk(name, "\\/") && JoinPath(folder->Path, name, o->Path, sizeof o->Path)
                         : Format(o->Path, sizeof o->Path, "%s", name);
    if (!joined) return free(o), ERR_FILENAME_EXCED_RANGE;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    bool create = how.Disposition == DISPOSE_CREATE_NEW;
    if (create && how.Sddl &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(how.Sddl, SDDL_REVISION_1, &sa.lpSecurityDescriptor, nullptr))
        return free(o), ERR_INVALID_SECURITY_DESCR;
    DWORD e = OK;
    if (create && how.What == KIND_FOLDER && !::CreateDirectoryA(o->Path, &sa)) e = Fail();
    if (e == OK) {
        bool file = create && how.What != KIND_FOLDER;
        o->Handle = ::CreateFileA(o->Path, how.Access, how.Share, file ? &sa : nullptr,
                                  file ? CREATE_NEW : OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (o->Handle == INVALID_HANDLE_VALUE) e = Fail();
    }
    if (sa.lpSecurityDescriptor) ::LocalFree(sa.lpSecurityDescriptor);
    BY_HANDLE_FILE_INFORMATION info;
    if (e == OK && how.What != KIND_ANY && ::GetFileInformationByHandle(o->Handle, &info)) {
        bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder != (how.What == KIND_FOLDER)) e = isFolder ? ERR_ACCESS_DENIED : ERR_PATH_NOT_FOUND;
    }
    o->Access = how.Access;
    o->Share = how.Share;
    if (e == OK) return *out = o, OK;
    if (o->Handle && o->Handle != INVALID_HANDLE_VALUE) ::CloseHandle(o->Handle);
    free(o);
    return e;
}

void Close(File f) {
    if (!f) return;
    ::CloseHandle(f->Handle);
    free(f);
}

DWORD Describe(File f, Info* out) {
    memset(out, 0, sizeof *out);
    BY_HANDLE_FILE_INFORMATION info;
    if (!f) return ERR_INVALID_HANDLE;
    if (!::GetFileInformationByHandle(f->Handle, &info)) return Fail();
    // What the name says counts too: some systems show a reparse point only there.
    DWORD named = ::GetFileAttributesA(f->Path);
    out->Attributes = info.dwFileAttributes | (named != INVALID_FILE_ATTRIBUTES ? named & FILE_ATTRIBUTE_REPARSE_POINT : 0);
    out->Links = info.nNumberOfLinks;
    out->Volume = info.dwVolumeSerialNumber;
    out->Id = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    out->Size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    int64_t written = static_cast<int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    out->Written = (written - FILETIME_1970) / 10000000;
    if (!(out->Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return OK;
    // The tag through the handle where the system has it; on XP, from the folder's listing.
    FILE_ATTRIBUTE_TAG_INFO tag;
    ByHandle get = Later("GetFileInformationByHandleEx");
    if (get && get(f->Handle, TAG_INFO_CLASS, &tag, sizeof tag)) return out->Tag = tag.ReparseTag, OK;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA(f->Path, &found);
    if (find == INVALID_HANDLE_VALUE) return Fail();
    ::FindClose(find);
    out->Tag = found.dwReserved0;
    return OK;
}

DWORD Read(File f, void* buffer, DWORD size, DWORD* got) {
    ::DWORD n = 0;
    *got = 0;
    if (!f) return ERR_INVALID_HANDLE;
    if (!::ReadFile(f->Handle, buffer, size, &n, nullptr)) return Fail();
    return *got = n, OK;
}

DWORD Write(File f, const void* data, DWORD size, bool flush) {
    if (!f) return ERR_INVALID_HANDLE;
    const char* at = static_cast<const char*>(data);
    while (size) {
        ::DWORD n = 0;
        if (!::WriteFile(f->Handle, at, size, &n, nullptr)) return Fail();
        at += n, size -= n;
    }
    return !flush || ::FlushFileBuffers(f->Handle) ? OK : Fail();
}

namespace {

const DWORD LIST_INFO_CLASS = 10;  // FileIdBothDirectoryInfo

// Lists through the folder's handle (Vista and later); *tried false where the system cannot,
// and then nothing was visited.
DWORD ListByHandle(File folder, Listed visit, void* context, bool* tried) {
    ByHandle get = Later("GetFileInformationByHandleEx");
    *tried = false;
    if (!get) return OK;
    // On the stack: a visit lists the folders inside before this listing goes on.
    union { FILE_ID_BOTH_DIR_INFO First; char Bytes[8192]; } buffer;
    for (bool first = true;; first = false) {
        if (!get(folder->Handle, LIST_INFO_CLASS, &buffer, sizeof buffer)) {
            DWORD e = ::GetLastError();
            if (e == ERROR_NO_MORE_FILES) return *tried = true, OK;
            // A file system that lists only by name is listed so.
            if (first && (e == ERROR_INVALID_PARAMETER || e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION))
                return OK;
            return *tried = true, e ? e : ERR_INVALID_PARAMETER;
        }
        *tried = true;
        for (const char* at = buffer.Bytes;;) {
            const FILE_ID_BOTH_DIR_INFO* one = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            char name[NAME_MAX_TEXT];
            int n = ::WideCharToMultiByte(CP_ACP, 0, one->FileName, static_cast<int>(one->FileNameLength / sizeof(WCHAR)),
                                          name, sizeof name - 1, nullptr, nullptr);
            if (n <= 0) return ERR_FILENAME_EXCED_RANGE;
            name[n] = '\0';
            if (strcmp(name, ".") && strcmp(name, "..") && !visit(name, context)) return OK;
            if (!one->NextEntryOffset) break;
            at += one->NextEntryOffset;
        }
    }
}

}  // namespace

DWORD List(File folder, const char* path, Listed visit, void* context) {
    if (!folder) return ERR_INVALID_HANDLE;
    bool tried;
    DWORD listed = ListByHandle(folder, visit, context, &tried);
    if (tried) return listed;
    char pattern[PATH_TEXT];
    if (!JoinPath(path ? path : folder->Path, "*", pattern, sizeof pattern)) return ERR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND ? OK : Fail();
    DWORD e = OK;
    for (;;) {
        bool dots = !strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..");
        if (!dots && !visit(found.cFileName, context)) break;
        if (::FindNextFileA(find, &found)) continue;
        // Only the end of the listing ends it well: anything else leaves entries unseen.
        e = ::GetLastError();
        if (e == ERROR_NO_MORE_FILES) e = OK;
        break;
    }
    ::FindClose(find);
    return e;
}

DWORD Rename(File f, const char* name, bool replace) {
    char target[PATH_TEXT], folder[PATH_TEXT];
    if (!f) return ERR_INVALID_HANDLE;
    if (strpbrk(name, "\\/") || !ParentFolder(f->Path, folder, sizeof folder) ||
        !JoinPath(folder, name, target, sizeof target))
        return ERR_FILENAME_EXCED_RANGE;
    // Through the handle where the system can (Vista and later), to the target's whole path in
    // the system's own form: a bare name is not taken as the same folder everywhere.
    ByHandle set = Later("SetFileInformationByHandle");
    if (set) {
        char system[PATH_TEXT + 8];
        bool unc = target[0] == '\\' && target[1] == '\\' && target[2] != '?';
        const char* rest = !strncmp(target, "\\\\?\\", 4) ? target + 4 : unc ? target + 2 : target;
        if (!Format(system, sizeof system, "\\??\\%s%s", unc ? "UNC\\" : "", rest)) return ERR_FILENAME_EXCED_RANGE;
        struct { FILE_RENAME_INFO Info; WCHAR More[PATH_TEXT + 8]; } rename;
        memset(&rename, 0, sizeof rename);
        rename.Info.ReplaceIfExists = replace;
        int n = ::MultiByteToWideChar(CP_ACP, 0, system, -1, rename.Info.FileName, PATH_TEXT + 8);
        if (n <= 0) return Fail();
        rename.Info.FileNameLength = static_cast<::DWORD>((n - 1) * sizeof(WCHAR));
        if (!set(f->Handle, RENAME_INFO_CLASS, &rename, sizeof rename)) return Fail();
    } else {
        // XP renames by path only, and its rename opens the object anew, which this handle's
        // sharing would refuse: the handle is closed for the rename and opened again after it.
        ::CloseHandle(f->Handle);
        DWORD e = ::MoveFileExA(f->Path, target, replace ? MOVEFILE_REPLACE_EXISTING : 0) ? OK : Fail();
        f->Handle = ::CreateFileA(e ? f->Path : target, f->Access, f->Share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (e) return e;
    }
    strcpy(f->Path, target);
    return OK;
}

DWORD Remove(File folder, const char* name) {
    char path[PATH_TEXT];
    bool joined = folder ? JoinPath(folder->Path, name, path, sizeof path) : Format(path, sizeof path, "%s", name);
    if (!joined) return ERR_FILENAME_EXCED_RANGE;
    ::DWORD a = ::GetFileAttributesA(path);
    // A junction is a folder to the system, and RemoveDirectory takes the junction itself.
    bool isFolder = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    return (isFolder ? ::RemoveDirectoryA(path) : ::DeleteFileA(path)) ? OK : Fail();
}

DWORD Security(File f, char* out, int size) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!f) return out[0] = '\0', ERR_INVALID_HANDLE;
    DWORD e = ::GetSecurityInfo(f->Handle, SE_FILE_OBJECT, OWNER_AND_DACL, nullptr, nullptr, nullptr, nullptr, &sd);
    return Text(e, sd, out, size);
}

DWORD PathSecurity(const char* path, char* out, int size) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD e = ::GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_AND_DACL, nullptr, nullptr, nullptr, nullptr, &sd);
    return Text(e, sd, out, size);
}

DWORD SetSecurity(File f, const char* sddl) {
    if (!f) return ERR_INVALID_HANDLE;
    PSECURITY_DESCRIPTOR sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
        return ERR_INVALID_SECURITY_DESCR;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted;
    DWORD e = ERR_INVALID_SECURITY_DESCR;
    if (::GetSecurityDescriptorOwner(sd, &owner, &defaulted) && ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) &&
        present) {
        // Owner first: once Administrators own it, they may rewrite its access list whatever it says.
        e = !owner || ::SetKernelObjectSecurity(f->Handle, OWNER_SECURITY_INFORMATION, sd) ? OK : Fail();
        if (e == OK && !::SetKernelObjectSecurity(f->Handle, DACL_SECURITY_INFORMATION, sd)) e = Fail();
    }
    ::LocalFree(sd);
    return e;
}

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

}  // namespace door
