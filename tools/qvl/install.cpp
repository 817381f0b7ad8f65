// qvl install [FOLDER] [--name NAME] [--auto] [--no-lock] [--keep-existing] [--program PATH]
// [--made-locked]: makes (or re-makes) the service, run only from a folder no user could ever
// have written. Rights are checked when a handle is opened, never afterwards, so a folder that
// was once open cannot be made safe in place: a handle a user kept still works. The service's
// folder is therefore one install makes itself, locked from its creation; or one that users
// could never have written (closed, under a parent that never let them add to it); or one the
// installer package made locked in this transaction. An open folder is copied from, never
// adopted: what the service runs is copied, judged, into a folder made locked beside it, which
// then takes its name, the open one kept aside. At no step does the service point into a folder
// a user could write. Every refusal comes before any change.
#include <string.h>

#include "host/entry.h"
#include "host/service.h"
#include "tools/qvl/access.h"
#include "tools/qvl/audit.h"
#include "tools/qvl/born.h"
#include "tools/qvl/config.h"
#include "tools/qvl/door.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/recovery.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"

namespace {

const char DISPLAY_NAME[] = "QVL Service";
const char DESCRIPTION[] = "Runs ZARNQVL.EXE from its own folder, watches its heartbeat and stops it cooperatively.";
const char NEW_SUFFIX[] = ".qvl-new";  // the folder made locked beside an open one
const char OLD_SUFFIX[] = ".qvl-old";  // the open one, kept aside under this name
const int OLD_TRIES = 9;
// What the service runs, copied from an open folder.
const char* const RUNS[] = {HOST_FILE, TOOL_FILE, PROGRAM_FILE};

// Where the service's folder comes from.
enum Kind {
    KIND_MAKE,    // not there: made locked, the executables from beside qvl.exe
    KIND_ADOPT,   // closed, and could never have been open: the service runs from it
    KIND_COPY,    // open, or may have been: copied from into a folder made locked
    KIND_AS_IS,   // --no-lock: the folder as it is, what stays open reported
};

struct Plan {
    Kind Where;
    bool Exists;          // the service
    FolderAudit Found;    // of the folder as it was
    FolderAudit Above;
    Sources Copies;
    int NotVouched;       // files it would copy that another account owns
};

Plan P;

// Each service its own display name, as the manager refuses a second of the same.
void DisplayName(const char* name, char* out, int size) {
    if (!strcmp(name, SERVICE_NAME)) Format(out, size, "%s", DISPLAY_NAME);
    else Format(out, size, "%s (%s)", DISPLAY_NAME, name);
}

// The manager's recovery as --restart-on-failure asks: on XP and 2003, which have no flag, the
// actions alone, and so where a manager takes the actions but refuses the flag. Says what was
// set, and what the service is then restarted after.
bool SetRecovery(const Options& o) {
    door::Failures f = RestartOnFailure(o.RestartAfter);
    const bool flagged = door::WindowsVersion().Major >= 6;
    if (!flagged) f.Flag = false, f.FlagKnown = false;
    os::DWORD e = SetFailures(o.Name, f), refused = 0;
    if (e && flagged) refused = e, f.Flag = false, e = SetFailures(o.Name, f);
    if (e) return Tell(MARK_FAIL, "the recovery of %s was not set: error %lu\n", o.Name, static_cast<unsigned long>(e)), false;
    char words[600];
    Text t = StartText(words, sizeof words);
    AddRecoveryWords(&t, f);
    Tell(MARK_STEP, "recovery of %s: %s\n", o.Name, words);
    if (refused)
        Tell(MARK_WARN, "the service manager refused the failure-actions flag (error %lu): %s is restarted only when its "
             "process dies without reporting, never after a failure it reports\n", static_cast<unsigned long>(refused), o.Name);
    else if (flagged)
        Tell(MARK_NOTE, "Windows takes the failure-actions flag at its next start: until then %s is restarted only after "
             "a crash\n", o.Name);
    else
        Tell(MARK_WARN, "this Windows has no failure-actions flag: %s is restarted only when its process dies without "
             "reporting, never after a failure it reports\n", o.Name);
    return true;
}

// Creates the service, or sets an existing one's configuration; says which, or why not.
bool PointService(const Options& o, const char* folder) {
    char host[PATH_TEXT], binaryPath[PATH_TEXT + 2], display[300];
    JoinPath(folder, HOST_FILE, host, sizeof host);
    Format(binaryPath, sizeof binaryPath, "\"%s\"", host);
    DisplayName(o.Name, display, sizeof display);
    const ServiceMaking making = {display, DESCRIPTION, SERVICE_TYPE,
                                  o.Auto ? door::START_AUTO : door::START_DEMAND, binaryPath};
    if (os::DWORD e = MakeService(o.Name, making, P.Exists)) {
        if (e == door::ERR_SERVICE_MARKED_FOR_DELETE)
            return Tell(MARK_FAIL, "the service %s is being deleted: close what holds it open (the Services console), then "
                           "run qvl install again\n", o.Name), false;
        if (e == door::ERR_DUPLICATE_SERVICE_NAME)
            return Tell(MARK_FAIL, "another service is already shown as \"%s\"\n", display), false;
        return Tell(MARK_FAIL, "the service %s was not %s: error %lu\n", o.Name, P.Exists ? "configured" : "created",
                    static_cast<unsigned long>(e)), false;
    }
    Tell(MARK_STEP, "%s %s: %s, own process, interactive, LocalSystem, %s start\n", P.Exists ? "re-applied" : "created",
         o.Name, binaryPath, o.Auto ? "automatic" : "demand");
    P.Exists = true;
    return o.RestartAfter <= 0 || SetRecovery(o);
}

// Why folder must not be the service's, or null: the Windows folder, the program folders, the
// profiles and the shared ones come from the system, so they are found in any language, and are
// compared in their long form.
const char* WhyNotTake(const char* folder) {
    static const char* const VARIABLES[] = {
        "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles", "CommonProgramFiles(x86)",
        "CommonProgramW6432", "ProgramData", "ALLUSERSPROFILE", "PUBLIC", "PUBLIC", "USERPROFILE", "USERPROFILE"};
    const int n = sizeof VARIABLES / sizeof VARIABLES[0];
    static char windows[PATH_TEXT], shared[n][PATH_TEXT], value[PATH_TEXT], longFolder[PATH_TEXT];
    const char* system[n + 2];
    for (int i = 0; i < n; i++) {
        system[i] = door::Variable(VARIABLES[i], value, PATH_TEXT) || !value[0] ? nullptr : shared[i];
        if (!system[i]) continue;
        LongForm(value, shared[i], PATH_TEXT);
        // The second of a profile's stands for the folder that holds every profile.
        char* slash = strrchr(shared[i], '\\');
        if (i == n - 1 || i == n - 3) *(slash ? slash : shared[i]) = '\0';
    }
    // The profile new accounts are made from, in that folder.
    static char profiles[2][PATH_TEXT];
    system[n] = system[n + 1] = nullptr;
    if (system[n - 1] && JoinPath(system[n - 1], "Default", profiles[0], PATH_TEXT)) system[n] = profiles[0];
    if (system[n - 1] && JoinPath(system[n - 1], "Default User", profiles[1], PATH_TEXT)) system[n + 1] = profiles[1];
    if (door::WindowsFolder(value, sizeof value)) value[0] = '\0';
    LongForm(value, windows, sizeof windows);
    LongForm(folder, longFolder, sizeof longFolder);
    return WhyNotLock(longFolder, windows, system, n + 2);
}

// The service's own checks: there as another program's, judged before it is reused, and no other
// service in the same folder. True when install must not act; said.
bool ServiceRefused(const Options& o, const char* folder, const char* host) {
    ServiceConfig config;
    if (!QueryConfig(o.Name, &config)) return Tell(MARK_FAIL, "the service manager will not say whether %s exists\n", o.Name), true;
    P.Exists = config.Found;
    if (config.Found && !RunsProgram(config.BinaryPath, host)) {
        char program[PATH_TEXT];
        BinaryProgram(config.BinaryPath, program, sizeof program);
        Tell(MARK_FAIL, "a service %s already runs %s; qvl uninstall --name %s first, or choose another --name\n", o.Name,
            program, o.Name);
        return true;
    }
    char other[300], longFolder[PATH_TEXT];
    bool found;
    LongForm(folder, longFolder, sizeof longFolder);
    os::DWORD e = ServiceInFolder(longFolder, o.Name, other, sizeof other, &found);
    if (found)
        return Tell(MARK_FAIL, "the service %s already runs from %s: %s would share its files; give %s a folder of its "
                        "own\n", other, folder, o.Name, o.Name), true;
    if (e) return Tell(MARK_FAIL, "the services cannot all be asked which folder they run from: error %lu\n",
                       static_cast<unsigned long>(e)), true;
    if (!config.Found) return false;
    static FolderAudit service;
    memset(&service, 0, sizeof service);
    JudgeServiceSecurity(o.Name, &service);
    // Set back, its permissions would still be open to any handle a user opened on it before.
    if (service.Unread.Count || service.Ways.Count) {
        SayAll(MARK_FAIL, service.Unread);
        SayAll(MARK_FAIL, service.Ways);
        Tell(MARK_FAIL, "the service %s or its registry key may have been changed by users, and a handle a user opened "
            "on it keeps its rights whatever is set now: delete it (qvl uninstall --name %s), then run qvl install "
            "again\n", o.Name, o.Name);
        return true;
    }
    return false;
}

// Takes each entry the walk judges; keeps, for copying, the handles of what the service runs and,
// with --keep-existing, of the other files.
bool Judged(Entry& e, void* context) {
    const Options& o = *static_cast<const Options*>(context);
    AuditEntry(e, &P.Found);
    if (e.Depth == 1 && e.Folder && !e.Link && o.KeepExisting)
        Tell(MARK_NOTE, "%s is a folder: --keep-existing copies files only\n", e.Path);
    if (e.Depth != 1 || e.Error || e.Link || e.Folder || e.Names > 1) return true;
    bool runs = false;
    for (const char* name : RUNS) runs |= SamePath(e.Name, name);
    if (SamePath(e.Name, PROGRAM_FILE) && o.Program) return true;  // --program takes its place
    if (!runs && !o.KeepExisting) return true;
    static char sddl[door::SDDL_TEXT];
    if (door::Security(e.Handle, sddl, sizeof sddl) || !OwnerVouched(sddl, e.Path)) return P.NotVouched++, true;
    if (KeepSource(e.Path, e.Name, e.Handle, &P.Copies)) e.Handle = nullptr;
    return true;
}

// Whether the folder was made locked by the package in this transaction, as --made-locked says,
// and is so still: owned by Administrators or SYSTEM.
bool MadeLocked(const Options& o, const char* folder) {
    if (!o.MadeLocked) return false;
    static char sddl[door::SDDL_TEXT];
    if (door::PathSecurity(folder, sddl, sizeof sddl) || !OwnedByAdministratorsOr(sddl, nullptr)) {
        Tell(MARK_WARN, "--made-locked: %s is not owned by Administrators or SYSTEM: it is copied from instead\n", folder);
        return false;
    }
    return true;
}

// Whether users could ever have added to the folder that holds folder.
bool ParentOpen(const char* folder) {
    char parent[PATH_TEXT];
    static char sddl[door::SDDL_TEXT];
    static Findings ways;
    ways.Count = ways.More = 0;
    return !ParentFolder(folder, parent, sizeof parent) || door::PathSecurity(parent, sddl, sizeof sddl) ||
           !JudgeSecurity(sddl, CONCERN_FOLDER, parent, "", &ways) || ways.Count > 0;
}

// What is in the way of an existing folder, said; true when install must not act.
bool FolderRefused(const Options& o, const char* folder) {
    bool refused = false;
    // Anyone could have put these there while the folder was open.
    if (P.Where == KIND_COPY) SayAll(MARK_FOUND, P.Found.Notes);
    if (P.Found.Links.Count) {
        SayAll(MARK_FAIL, P.Found.Links);
        Tell(MARK_FAIL, "links and files with more than one name are never followed or copied: remove them, then run "
            "qvl install again\n"), refused = true;
    }
    if (P.Found.Unread.Count)
        SayAll(MARK_FAIL, P.Found.Unread), Tell(MARK_FAIL, "not everything in it could be read\n"), refused = true;
    refused |= P.NotVouched > 0;
    if (!refused && !HasSource(P.Copies, HOST_FILE))
        Tell(MARK_FAIL, "there is no %s in %s\n", HOST_FILE, folder), refused = true;
    if (refused || P.Where != KIND_COPY) return refused;
    if (P.Found.Notes.Count && !o.KeepExisting)
        Tell(MARK_NOTE, "what the service does not need stays in the open folder, kept aside; --keep-existing copies "
            "its files too\n");
    else if (P.Found.LoadedFirst)
        Tell(MARK_WARN, "--keep-existing copies files a program loads from its folder before the system's: unless you "
            "know each of them, remove them\n");
    return false;
}

// Sources for a folder install makes: the executables beside qvl.exe.
bool BesideQvl(Sources* s) {
    char from[PATH_TEXT], path[PATH_TEXT];
    if (!ModuleFolder(from, sizeof from)) return Tell(MARK_FAIL, "the folder of qvl.exe cannot be found\n"), false;
    const char* const names[] = {HOST_FILE, TOOL_FILE};
    for (const char* name : names)
        if (!JoinPath(from, name, path, sizeof path) || !AddSource(nullptr, path, name, s)) return false;
    return true;
}

// The folder and every one above, read back through the audit's own judgment; said when open.
bool Closed(const Options& o, const char* folder) {
    static FolderAudit after;
    memset(&after, 0, sizeof after);
    AuditFolder(folder, &after);
    AuditAbove(folder, &after);
    if (!after.Unread.Count && !after.Ways.Count) return true;
    Mark mark = o.NoLock ? MARK_OPEN : MARK_FAIL;
    SayAll(mark, after.Unread);
    SayAll(mark, after.Ways);
    if (o.NoLock) return Tell(MARK_WARN, "--no-lock: these ways into the service stay open\n"), true;
    Tell(MARK_FAIL, "%s is not closed as made (a volume without permissions, such as FAT, or a system that ignores "
        "them), or a folder above it is open: no service was made\n", folder);
    return false;
}

// --program into a folder that stays: under a name made anew, then renamed over ZARNQVL.EXE.
bool PutProgram(const char* folder, const Source& program) {
    char temporary[NAME_TEXT];
    Format(temporary, sizeof temporary, "%s%s", PROGRAM_FILE, NEW_SUFFIX);
    door::File f, made = nullptr;
    const door::Opening open = {door::RIGHT_READ_DATA | door::RIGHT_WRITE_DATA | door::RIGHT_APPEND_DATA,
                                door::SHARE_READ | door::SHARE_WRITE, door::DISPOSE_OPEN_EXISTING, door::KIND_FOLDER, nullptr};
    const door::Opening rename = {door::RIGHT_DELETE | door::RIGHT_READ_ATTRIBUTES, door::SHARE_NONE,
                                  door::DISPOSE_OPEN_EXISTING, door::KIND_FILE, nullptr};
    os::DWORD e = door::Open(nullptr, folder, open, &f);
    if (!e) e = CopyNew(f, temporary, program.Handle);
    if (!e) e = door::Open(f, temporary, rename, &made);
    if (!e) e = door::Rename(made, PROGRAM_FILE, true);
    door::Close(made);
    if (e && f) door::Remove(f, temporary);
    door::Close(f);
    if (e) return Tell(MARK_FAIL, "%s could not be put in %s: error %lu\n", program.From, folder, static_cast<unsigned long>(e)), false;
    return Tell(MARK_STEP, "copied %s into %s, made anew and renamed over %s\n", program.From, folder, PROGRAM_FILE), true;
}

// The open folder kept aside under a name not taken, which is said; false, said, when it cannot be.
bool KeepAside(const char* folder, char* aside, int size) {
    const door::Opening how = {door::RIGHT_DELETE | door::RIGHT_READ_ATTRIBUTES, door::SHARE_READ | door::SHARE_WRITE,
                               door::DISPOSE_OPEN_EXISTING, door::KIND_FOLDER, nullptr};
    door::File f;
    os::DWORD e = door::Open(nullptr, folder, how, &f);
    // Each name in turn while the one tried is taken.
    for (int i = 1; f && i <= OLD_TRIES; i++) {
        char name[NAME_TEXT];
        if (i == 1) Format(name, sizeof name, "%s%s", LastPart(folder), OLD_SUFFIX);
        else Format(name, sizeof name, "%s%s-%d", LastPart(folder), OLD_SUFFIX, i);
        e = door::Rename(f, name, false);
        if (!e) {
            ParentFolder(folder, aside, size);
            JoinPath(aside, name, aside, size);
        }
        if (e != door::ERR_ALREADY_EXISTS && e != door::ERR_FILE_EXISTS) break;
    }
    if (f) door::Close(f);
    if (e) return Tell(MARK_FAIL, "%s could not be moved aside: error %lu; close what holds it or a file in it open, "
                          "then run qvl install again\n", folder, static_cast<unsigned long>(e)), false;
    return Tell(MARK_STEP, "moved the open folder aside, as it was: %s\n", aside), true;
}

// The open folder's copy put in its place. The copy first made beside it (a name users could
// take once it is free) is filled, read back and, for a service already there, pointed at; only
// then is the open folder moved aside and the service's own made anew under its name, from the
// copy's files; the service is pointed there last. Whatever step fails, the service points at
// one of the two, or at nothing.
bool CopyAndSwap(const Options& o, const char* folder) {
    char beside[PATH_TEXT], aside[PATH_TEXT];
    if (!Format(beside, sizeof beside, "%s%s", folder, NEW_SUFFIX)) return Tell(MARK_FAIL, "the folder's path is too long\n"), false;
    static Made first, second;
    memset(&first, 0, sizeof first);  // a run of its own, even where one process runs install twice
    memset(&second, 0, sizeof second);
    bool ok = MakeBornLocked(beside, P.Copies, &first);
    CloseSources(&P.Copies);
    if (ok) ok = Closed(o, beside);
    if (!ok) return TakeBack(&first), false;
    if (P.Exists && !PointService(o, beside)) return TakeBack(&first), false;
    if (!KeepAside(folder, aside, sizeof aside)) {
        if (!P.Exists) return TakeBack(&first), false;
        door::Close(first.Folder);
        return Tell(MARK_FAIL, "the service runs from %s\n", beside), false;
    }
    Sources again;
    ok = Reopen(first, &again) && MakeBornLocked(folder, again, &second);
    CloseSources(&again);
    if (ok) ok = Closed(o, folder) && PointService(o, folder);
    if (!ok) {
        if (second.Folder) door::Close(second.Folder);
        door::Close(first.Folder);
        Tell(MARK_FAIL, "%s %s\n", P.Exists ? "the service runs from" : "its copy stays in", beside);
        return false;
    }
    door::Close(second.Folder);
    TakeBack(&first);
    return true;
}

int Install(const Options& o, const char* folder) {
    static Made made;
    memset(&made, 0, sizeof made);
    bool fresh = !Exists(folder);
    P.Where = KIND_MAKE;
    if (!fresh) {
        WalkFolder(folder, Judged, const_cast<Options*>(&o));
        bool closed = !P.Found.Ways.Count && !P.Found.Unread.Count && !P.Found.Links.Count;
        P.Where = o.NoLock ? KIND_AS_IS : closed && (!ParentOpen(folder) || MadeLocked(o, folder)) ? KIND_ADOPT : KIND_COPY;
        if (FolderRefused(o, folder)) return CloseSources(&P.Copies), EXIT_REFUSED;
        if (P.Where != KIND_COPY) CloseSources(&P.Copies);
    } else if (!BesideQvl(&P.Copies)) {
        return CloseSources(&P.Copies), EXIT_REFUSED;
    }
    Sources program = {};
    if (o.Program && !AddSource(nullptr, o.Program, PROGRAM_FILE, P.Where == KIND_ADOPT || P.Where == KIND_AS_IS ? &program : &P.Copies, true))
        return CloseSources(&P.Copies), EXIT_REFUSED;
    switch (P.Where) {
    case KIND_MAKE:
        if (!MakeBornLocked(folder, P.Copies, &made) || (CloseSources(&P.Copies), !Closed(o, folder)) ||
            !PointService(o, folder))
            return CloseSources(&P.Copies), TakeBack(&made), 1;
        door::Close(made.Folder);
        break;
    case KIND_ADOPT:
    case KIND_AS_IS:
        if (P.Where == KIND_ADOPT) Tell(MARK_STEP, "%s is closed, and users could never have written it: the service runs from it\n", folder);
        if (program.Count && !PutProgram(folder, program.List[0])) return CloseSources(&program), 1;
        CloseSources(&program);
        if (!Closed(o, folder) || !PointService(o, folder)) return 1;
        break;
    case KIND_COPY:
        // A running host holds its files open, and the folder with them: it cannot be moved aside.
        if (P.Exists && ServiceState(o.Name) != static_cast<int>(os::SERVICE_STOPPED))
            return CloseSources(&P.Copies), Tell(MARK_FAIL, "%s is not stopped: stop it first (qvl stop%s%s), as its "
                                                "folder is to be copied and moved aside\n", o.Name,
                                                strcmp(o.Name, SERVICE_NAME) ? " --name " : "",
                                                strcmp(o.Name, SERVICE_NAME) ? o.Name : ""), EXIT_REFUSED;
        Tell(MARK_STEP, "%s is open to users, or may have been: it is copied from, never run from\n", folder);
        // The copy closes the folder to users from now on; what they put there before, it cannot tell.
        Tell(MARK_WARN, "what %s holds could have been written by users: check %s and %s against the package's "
            "SHA256SUMS, and %s against its maker's hash or signature\n", folder, HOST_FILE, TOOL_FILE, PROGRAM_FILE);
        if (!CopyAndSwap(o, folder)) return 1;
        break;
    }
    char program2[PATH_TEXT];
    if (!JoinPath(folder, PROGRAM_FILE, program2, sizeof program2) || !IsFile(program2))
        Tell(MARK_WARN, "there is no %s in %s yet: put it there before the service starts\n", PROGRAM_FILE, folder);
    bool named = strcmp(o.Name, SERVICE_NAME) != 0;
    Tell(MARK_OK, "%s installed for %s\\%s; start it with qvl start%s%s\n", o.Name, folder, HOST_FILE, named ? " --name " : "",
         named ? o.Name : "");
    return 0;
}

}  // namespace

int RunInstall(const Options& o, const char* folder) {
    char host[PATH_TEXT];
    if (!JoinPath(folder, HOST_FILE, host, sizeof host) || strlen(folder) + sizeof NEW_SUFFIX + 16 > PATH_TEXT)
        return Tell(MARK_FAIL, "the folder's path is too long\n"), EXIT_REFUSED;
    memset(&P, 0, sizeof P);
    if (os::DWORD e = MayMakeServices()) {
        if (e == door::ERR_ACCESS_DENIED) Tell(MARK_FAIL, "qvl install must be run as administrator: from an elevated prompt\n");
        else Tell(MARK_FAIL, "the service manager cannot be opened: error %lu\n", static_cast<unsigned long>(e));
        return EXIT_REFUSED;
    }
    if (const char* why = WhyNotTake(folder))
        return Tell(MARK_FAIL, "%s will not be the service's folder: %s, whose permissions and place others rely on; put "
                        "the service in a folder of its own\n", folder, why), EXIT_REFUSED;
    if (ServiceRefused(o, folder, host)) return EXIT_REFUSED;
    door::EnablePrivileges();
    return Install(o, folder);
}
