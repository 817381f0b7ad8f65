// qvl install [FOLDER] [--name NAME] [--auto] [--no-lock] [--keep-existing] [--program PATH]
// [--restart-on-failure SECONDS]:
// judges the folder, what it holds and every folder above; locks it through handles that follow
// no link; copies afresh what the service runs; reads it all back; only then makes (or re-makes)
// the service for the qvlsvce.exe in it. Every refusal comes before any change. A folder that is
// not there yet is made locked, with the executables copied into it; --program is copied into
// either kind once the folder is locked.
#include <string.h>

#include "host/entry.h"
#include "host/service.h"
#include "tools/qvl/access.h"
#include "tools/qvl/audit.h"
#include "tools/qvl/config.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

// Whether install judges the folders above. Off only in a build for tests under a system whose
// made-up descriptors leave every folder open, so that what comes after can be tried there.
#ifndef QVL_JUDGE_ABOVE
#define QVL_JUDGE_ABOVE 1
#endif

namespace {

const char DISPLAY_NAME[] = "QVL Service";
const char DESCRIPTION[] = "Runs ZARNQVL.EXE from its own folder, watches its heartbeat and stops it cooperatively.";
// What the service runs: copied afresh after the lock of a folder that was open, so that no
// handle opened before it can write what runs.
const char* const RUNS[] = {HOST_FILE, PROGRAM_FILE};
const char FRESH_SUFFIX[] = ".qvl-fresh";

// Each service its own display name, as the manager refuses a second of the same.
void DisplayName(const char* name, char* out, int size) {
    if (!strcmp(name, SERVICE_NAME)) Format(out, size, "%s", DISPLAY_NAME);
    else Format(out, size, "%s (%s)", DISPLAY_NAME, name);
}

// Creates the service, or sets an existing one's configuration; says which, or why not.
bool MakeService(const Options& o, const char* binaryPath, bool exists) {
    char display[300];
    DisplayName(o.Name, display, sizeof display);
    const ServiceMaking making = {display, DESCRIPTION, SERVICE_TYPE,
                                  static_cast<DWORD>(o.Auto ? SERVICE_AUTO_START : SERVICE_DEMAND_START),
                                  binaryPath};
    if (!MakeService(o.Name, making, exists)) {
        DWORD e = ::GetLastError();
        if (e == ERROR_SERVICE_MARKED_FOR_DELETE)
            return Tell(MARK_FAIL, "the service %s is being deleted: close what holds it open (the Services console), then "
                           "run qvl install again\n", o.Name), false;
        if (e == ERROR_DUPLICATE_SERVICE_NAME)
            return Tell(MARK_FAIL, "another service is already shown as \"%s\"\n", display), false;
        return Tell(MARK_FAIL, "the service %s was not %s: error %lu\n", o.Name, exists ? "configured" : "created", e), false;
    }
    Tell(MARK_STEP, "%s %s: %s, own process, interactive, LocalSystem, %s start\n", exists ? "re-applied" : "created",
         o.Name, binaryPath, o.Auto ? "automatic" : "demand");
    return true;
}

struct LockRun {
    int Count;
};

bool LockEntry(const Entry& e, void* context) {
    if (e.Error) return Tell(MARK_FAIL, "%s cannot be opened to lock it: error %lu\n", e.Path, static_cast<unsigned long>(e.Error)), false;
    if (e.Link || (!e.Folder && e.Names > 1))
        return Tell(MARK_FAIL, "%s is a link or has more than one name: it was left as it is; remove it\n", e.Path), false;
    const char* sddl = e.Depth == 0 ? LOCK_SDDL : e.Folder ? LOCK_INSIDE_FOLDER_SDDL : LOCK_INSIDE_FILE_SDDL;
    DWORD error = SetSecurityText(e.Handle, sddl, false);
    if (error) return Tell(MARK_FAIL, "cannot set the permissions of %s: error %lu\n", e.Path, error), false;
    static_cast<LockRun*>(context)->Count++;
    return true;
}

bool LockFolder(const char* folder) {
    EnablePrivileges();
    LockRun run = {0};
    if (!WalkFolder(folder, ACCESS_SET, LockEntry, &run)) return false;
    Tell(MARK_STEP, "locked %s: owner Administrators; SYSTEM and Administrators full control, Users read and run; "
        "nothing inherited from above; re-applied to %d files and folders inside\n", folder, run.Count - 1);
    return true;
}

// The permissions the folder had before the lock, once: a folder already locked keeps its
// record; one that was open again has the record of what it was then.
void KeepBeforeLock(const char* folder, const char* before, bool wasOpen) {
    char path[PATH_TEXT];
    if (!JoinPath(folder, BEFORE_LOCK_FILE, path, sizeof path) || (!wasOpen && Exists(path))) return;
    if (WriteWhole(path, before))
        Tell(MARK_STEP, "kept the permissions it replaced in %s: qvl uninstall --restore puts them back\n", path);
    else
        Tell(MARK_WARN, "the permissions it replaced could not be kept in %s: error %lu\n", path, ::GetLastError());
}

// Copies name afresh and renames the copy over it.
bool CopyAfresh(const char* folder, const char* name) {
    char path[PATH_TEXT], fresh[PATH_TEXT + sizeof FRESH_SUFFIX];
    if (!JoinPath(folder, name, path, sizeof path) || !IsFile(path)) return true;
    Format(fresh, sizeof fresh, "%s%s", path, FRESH_SUFFIX);
    if (::CopyFileA(path, fresh, FALSE) &&
        ::MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Tell(MARK_STEP, "copied %s afresh, so that no handle opened before the lock can write what runs\n", path);
        return true;
    }
    DWORD e = ::GetLastError();
    ::DeleteFileA(fresh);
    Tell(MARK_FAIL, "%s could not be copied afresh: error %lu; close whatever holds it open, then run qvl install again\n",
        path, e);
    return false;
}

// A folder not there yet: made already locked (unless --no-lock), with qvlsvce.exe and qvl.exe
// from beside qvl.exe and the program from --program.
bool MakeFolder(const Options& o, const char* folder) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    if (!o.NoLock &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(LOCK_SDDL, SDDL_REVISION_1, &sa.lpSecurityDescriptor, nullptr))
        return Tell(MARK_FAIL, "the lock's permissions cannot be built: error %lu\n", ::GetLastError()), false;
    bool made = ::CreateDirectoryA(folder, &sa) != 0;
    DWORD e = ::GetLastError();
    if (sa.lpSecurityDescriptor) ::LocalFree(sa.lpSecurityDescriptor);
    if (!made) return Tell(MARK_FAIL, "%s cannot be made: error %lu\n", folder, e), false;
    Tell(MARK_STEP, "made %s%s\n", folder, o.NoLock ? "" : ", locked from the start");
    char from[PATH_TEXT], source[PATH_TEXT], target[PATH_TEXT];
    if (!ModuleFolder(from, sizeof from)) return Tell(MARK_FAIL, "the folder of qvl.exe cannot be found\n"), false;
    const char* const copies[][2] = {{from, HOST_FILE}, {from, TOOL_FILE}, {o.Program, PROGRAM_FILE}};
    for (const auto& c : copies) {
        if (!c[0]) continue;
        bool joined = c[0] == o.Program ? Format(source, sizeof source, "%s", o.Program) : JoinPath(c[0], c[1], source, sizeof source);
        if (!joined || !JoinPath(folder, c[1], target, sizeof target) || !::CopyFileA(source, target, TRUE))
            return Tell(MARK_FAIL, "%s cannot be copied into %s: error %lu\n", source, folder, ::GetLastError()), false;
        Tell(MARK_STEP, "copied %s into %s\n", source, folder);
    }
    return true;
}

// --program into a folder that is there already, once it is locked: copied under a name no one
// could have made first, then moved over whatever was there, so no earlier handle can write it.
bool PlaceProgram(const char* program, const char* folder) {
    char target[PATH_TEXT], fresh[PATH_TEXT + sizeof FRESH_SUFFIX];
    if (!JoinPath(folder, PROGRAM_FILE, target, sizeof target)) return Tell(MARK_FAIL, "the folder's path is too long\n"), false;
    Format(fresh, sizeof fresh, "%s%s", target, FRESH_SUFFIX);
    if (::CopyFileA(program, fresh, TRUE) && ::MoveFileExA(fresh, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Tell(MARK_STEP, "copied %s into %s\n", program, folder), true;
    DWORD e = ::GetLastError();
    if (e != ERROR_FILE_EXISTS) ::DeleteFileA(fresh);  // one that was there already is not ours to delete
    return Tell(MARK_FAIL, "%s cannot be copied into %s: error %lu\n", program, folder, e), false;
}

// Why the folder must not be locked, or null: the Windows folder, the program folders, the
// profiles folder and ProgramData come from the system, so they are found in any language, and
// are compared in their long form.
const char* LockRefusal(const char* folder) {
    static const char* const VARIABLES[] = {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles",
                                            "ProgramData", "ALLUSERSPROFILE", "PUBLIC", "USERPROFILE"};
    const int n = sizeof VARIABLES / sizeof VARIABLES[0];
    static char windows[PATH_TEXT], shared[n][PATH_TEXT], value[PATH_TEXT], longFolder[PATH_TEXT];
    const char* system[n];
    for (int i = 0; i < n; i++) {
        DWORD got = ::GetEnvironmentVariableA(VARIABLES[i], value, PATH_TEXT);
        system[i] = got > 0 && got < PATH_TEXT ? shared[i] : nullptr;
        if (!system[i]) continue;
        LongForm(value, shared[i], PATH_TEXT);
        // A profile's folder stands for the folder that holds every profile.
        char* slash = strrchr(shared[i], '\\');
        if (i >= n - 2) *(slash ? slash : shared[i]) = '\0';
    }
    UINT got = ::GetWindowsDirectoryA(value, sizeof value);
    if (got == 0 || got >= sizeof value) value[0] = '\0';
    LongForm(value, windows, sizeof windows);
    LongForm(folder, longFolder, sizeof longFolder);
    return WhyNotLock(longFolder, windows, system, n);
}

// Whether install must not act; if so, says why in one line.
bool Refused(const Options& o, const char* folder, const char* host, bool* exists) {
    if (!MayMakeServices()) {
        if (::GetLastError() == ERROR_ACCESS_DENIED)
            Tell(MARK_FAIL, "qvl install must be run as administrator: from an elevated prompt\n");
        else
            Tell(MARK_FAIL, "the service manager cannot be opened: error %lu\n", ::GetLastError());
        return true;
    }
    bool fresh = !Exists(folder);
    if (!fresh && o.Program && !IsFile(o.Program)) return Tell(MARK_FAIL, "--program: there is no file %s\n", o.Program), true;
    const char* why = o.NoLock ? nullptr : LockRefusal(folder);
    if (why)
        return Tell(MARK_FAIL, "%s will not be locked: %s, and the lock would replace the permissions of all it holds; "
                   "put the service in a folder of its own\n", folder, why), true;
    if (!fresh && !IsFile(host)) return Tell(MARK_FAIL, "there is no %s in %s\n", HOST_FILE, folder), true;
    ServiceConfig config;
    if (!QueryConfig(o.Name, &config)) return Tell(MARK_FAIL, "the service manager will not say whether %s exists\n", o.Name), true;
    *exists = config.Found;
    if (config.Found && !RunsProgram(config.BinaryPath, host)) {
        char program[PATH_TEXT];
        BinaryProgram(config.BinaryPath, program, sizeof program);
        Tell(MARK_FAIL, "a service %s already runs %s; qvl uninstall --name %s first, or choose another --name\n", o.Name,
            program, o.Name);
        return true;
    }
    return false;
}

// Before any change: what the folder held while it was open, its links, and what stays open
// above it; every reason is named before the refusal.
bool RefusedAsFound(const Options& o, const FolderAudit& before, const FolderAudit& above, bool* wasOpen) {
    *wasOpen = before.Ways.Count > 0;
    if (o.NoLock) return false;
    bool refused = false;
    // Anyone could have put these there while the folder was open.
    if (*wasOpen && before.Notes.Count) {
        SayAll(MARK_FOUND, before.Notes);
        if (!o.KeepExisting)
            Tell(MARK_FAIL, "the folder was open to users, and it holds what the service does not need; remove it, or keep "
                "it with --keep-existing\n"), refused = true;
        else if (before.LoadedFirst)
            Tell(MARK_WARN, "--keep-existing keeps files a program loads from its folder before the system's: unless you "
                "know each of them, remove them\n");
    }
    if (before.Links.Count) {
        SayAll(MARK_FAIL, before.Links);
        Tell(MARK_FAIL, "links are never followed or locked: remove them, then run qvl install again\n"), refused = true;
    }
    if (before.Unread.Count)
        SayAll(MARK_FAIL, before.Unread), Tell(MARK_FAIL, "not everything in it could be read\n"), refused = true;
    if (QVL_JUDGE_ABOVE && (above.Unread.Count || above.Ways.Count)) {
        SayAll(MARK_FAIL, above.Unread);
        SayAll(MARK_FAIL, above.Ways);
        Tell(MARK_FAIL, "a folder above can be changed by users, or not read: a lock below it would not hold\n"), refused = true;
    }
    return refused;
}

// The lock read back through the audit's own judgment.
bool LockTook(const char* folder) {
    static FolderAudit after;
    memset(&after, 0, sizeof after);
    AuditFolder(folder, &after);
    if (QVL_JUDGE_ABOVE) AuditAbove(folder, &after);
    if (!after.Unread.Count && !after.Ways.Count) return true;
    SayAll(MARK_FAIL, after.Unread);
    SayAll(MARK_FAIL, after.Ways);
    Tell(MARK_FAIL, "the lock did not take on %s (a volume without permissions, such as FAT, or a system that ignores "
        "them): no service was made\n", folder);
    return false;
}

void ReportOpen(const FolderAudit& before, const FolderAudit& above) {
    SayAll(MARK_OPEN, before.Unread);
    SayAll(MARK_OPEN, before.Ways);
    SayAll(MARK_OPEN, above.Unread);
    SayAll(MARK_OPEN, above.Ways);
    SayAll(MARK_NOTE, before.Notes);
    int count = before.Ways.Count + before.Unread.Count + above.Ways.Count + above.Unread.Count;
    Tell(MARK_WARN, "%d ways into the service stay open; qvl audit keeps reporting them\n", count);
}

int Install(const Options& o, const char* folder, const char* host, const char* binaryPath, bool exists) {
    static FolderAudit before, above;
    AuditAbove(folder, &above);
    bool fresh = !Exists(folder), wasOpen = false;
    if (!fresh) AuditFolder(folder, &before);
    if (RefusedAsFound(o, before, above, &wasOpen)) return EXIT_REFUSED;
    if (fresh && !MakeFolder(o, folder)) return 1;
    char* was = nullptr;
    if (o.NoLock) {
        Tell(MARK_WARN, "--no-lock: the folder's permissions are left as they are\n");
    } else {
        if (!fresh && FileSecurityText(folder, &was)) Tell(MARK_STEP, "the permissions it replaces, as SDDL: %s\n", was);
        bool locked = LockFolder(folder);
        for (const char* name : RUNS) locked = locked && (!wasOpen || CopyAfresh(folder, name));
        if (locked && was) KeepBeforeLock(folder, was, wasOpen);
        if (was) FreeText(was);
        if (!locked || !LockTook(folder)) return 1;
    }
    if (!IsFile(host)) return Tell(MARK_FAIL, "%s is gone from %s\n", HOST_FILE, folder), 1;
    if (!fresh && o.Program && !PlaceProgram(o.Program, folder)) return 1;
    char program[PATH_TEXT];
    if (!JoinPath(folder, PROGRAM_FILE, program, sizeof program) || !IsFile(program))
        Tell(MARK_WARN, "there is no %s in %s yet: put it there before the service starts\n", PROGRAM_FILE, folder);
    if (!MakeService(o, binaryPath, exists)) return 1;
    if (o.NoLock) ReportOpen(before, above);
    if (wasOpen && !o.NoLock)
        Tell(MARK_WARN, "%s was open to users until now, so what it holds cannot be proven yours: check %s against the "
            "package's SHA256SUMS, and %s against its maker's hash or signature\n", folder, HOST_FILE, PROGRAM_FILE);
    bool named = strcmp(o.Name, SERVICE_NAME) != 0;
    Tell(MARK_OK, "%s installed for %s; start it with qvl start%s%s\n", o.Name, host, named ? " --name " : "", named ? o.Name : "");
    return 0;
}

}  // namespace

int RunInstall(const Options& o, const char* folder) {
    char host[PATH_TEXT], binaryPath[PATH_TEXT + 2];
    if (!JoinPath(folder, HOST_FILE, host, sizeof host))
        return Tell(MARK_FAIL, "the folder's path is too long\n"), EXIT_REFUSED;
    Format(binaryPath, sizeof binaryPath, "\"%s\"", host);
    bool exists = false;
    return Refused(o, folder, host, &exists) ? EXIT_REFUSED : Install(o, folder, host, binaryPath, exists);
}

int RestoreBeforeLock(const char* folder) {
    char path[PATH_TEXT], sddl[4096];
    if (!JoinPath(folder, BEFORE_LOCK_FILE, path, sizeof path) || !IsFile(path))
        return Tell(MARK_WARN, "no permissions from before a lock are kept in %s: nothing to restore\n", folder), 0;
    HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    bool read = file != INVALID_HANDLE_VALUE && ::ReadFile(file, sddl, sizeof sddl - 1, &n, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    sddl[read ? n : 0] = '\0';
    sddl[strcspn(sddl, "\r\n")] = '\0';
    EnablePrivileges();
    HANDLE h = ::CreateFileA(folder, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    DWORD e = h == INVALID_HANDLE_VALUE ? ::GetLastError()
              : !::GetFileInformationByHandle(h, &info) ? ::GetLastError()
              : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ERROR_REPARSE_TAG_INVALID
              : SetSecurityText(h, sddl, true);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    if (e) return Tell(MARK_FAIL, "the permissions kept in %s were not put back: error %lu\n", path, e), 1;
    ::DeleteFileA(path);
    Tell(MARK_STEP, "put back the owner and permissions %s had before its first lock: %s; what it holds stays owned by "
        "Administrators and takes its permissions from it\n", folder, sddl);
    return 0;
}
