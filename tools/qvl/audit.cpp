// qvl audit [FOLDER] [--name NAME]: every way a user who is not an administrator could take the
// service over, one finding a line: the folder and everything in it, every folder above it, and
// the service's configuration, owner, permissions and registry key. What it cannot read it says,
// and then it never says ok.
#include "tools/qvl/audit.h"

#include <string.h>

#include "host/entry.h"
#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tools/qvl/access.h"
#include "tools/qvl/config.h"
#include "tools/qvl/door.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/recovery.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"

namespace {

const char* const NEEDED[] = {HOST_FILE, TOOL_FILE, PROGRAM_FILE, STATUS_FILE, COMMAND_FILE, LOG_FILE, WAS_RUNNING_FILE};
// What a program loads from its own folder before the system's: DLLs, the redirection folder
// (PROGRAM.EXE.local) and the manifests and configurations beside an executable.
const char* const LOADED_FIRST[] = {".dll", ".local", ".manifest", ".config"};
const char LOCK_FIX[] = "run qvl install on the folder: it puts the service in a folder no user could ever write";
const char ABOVE_FIX[] = "let only SYSTEM and Administrators change it, or install into a folder whose every parent is so";
const char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\";
const char SERVICE_FIX[] = "delete it with qvl uninstall, then run qvl install again";

bool EndsWith(const char* name, const char* end) {
    size_t n = strlen(name), e = strlen(end);
    return n > e && SamePath(name + n - e, end);
}

bool Needed(const Entry& e) {
    for (const char* name : NEEDED)
        if (SamePath(e.Name, name)) return true;
    return false;
}

bool IsLoadedFirst(const char* name) {
    for (const char* end : LOADED_FIRST)
        if (EndsWith(name, end)) return true;
    return false;
}

// By the rules of the Windows that runs: OWNER RIGHTS limits an owner from Vista on only.
void Judge(const char* sddl, Concern concern, const char* what, const char* fix, FolderAudit* a) {
    if (!JudgeSecurity(sddl, concern, what, fix, &a->Ways, RulesOf(door::WindowsVersion().Major)))
        AddFinding(&a->Unread, "%s: its permissions cannot be judged: %s", what, sddl);
}

}  // namespace

bool AuditEntry(Entry& e, void* context) {
    FolderAudit* a = static_cast<FolderAudit*>(context);
    if (e.Error) return AddFinding(&a->Unread, "%s cannot be read: error %lu", e.Path, static_cast<unsigned long>(e.Error)), true;
    int linked = a->Links.Count;
    if (e.Link && e.Depth == 0)
        AddFinding(&a->Links, "%s: is itself a link to another folder: the service would run what it points to, and "
                   "the folders above that are not judged; install into the real folder", e.Path);
    else if (e.Link)
        AddFinding(&a->Links, "%s: a link (junction or symbolic link), never followed: whoever may change where it "
                   "points controls what it holds; remove it", e.Path);
    else if (!e.Folder && e.Names > 1)
        AddFinding(&a->Links, "%s: a file with %lu names (hard links): its permissions are those of every name, some "
                   "perhaps outside the folder; remove it, then copy the file in afresh", e.Path,
                   static_cast<unsigned long>(e.Names));
    if (a->Links.Count > linked) AddFinding(&a->Ways, "%s", a->Links.Lines[a->Links.Count - 1]);
    static char sddl[door::SDDL_TEXT];
    if (os::DWORD error = door::Security(e.Handle, sddl, sizeof sddl))
        return AddFinding(&a->Unread, "%s: its permissions cannot be read: error %lu", e.Path,
                          static_cast<unsigned long>(error)), true;
    // A link's own permissions say nothing of what it points to, which is not judged.
    if (!e.Link) Judge(sddl, e.Folder ? CONCERN_FOLDER : CONCERN_FILE, e.Path, LOCK_FIX, a);
    if (e.Depth == 1 && !Needed(e)) {
        char owner[200];
        OwnerName(sddl, owner, sizeof owner);
        bool first = IsLoadedFirst(e.Name);
        a->LoadedFirst |= first;
        AddFinding(&a->Notes, "%s: owned by %s, last written %s; the service does not need it%s", e.Path, owner,
                   e.Written, first ? ", and a program loads such a file from its own folder before the system's" : "");
    }
    return true;
}

namespace {


void JudgeAbove(const char* above, const char* child, FolderAudit* a) {
    static char sddl[door::SDDL_TEXT];
    if (os::DWORD e = door::PathSecurity(above, sddl, sizeof sddl)) {
        AddFinding(&a->Unread, "%s: its permissions cannot be read: error %lu", above, static_cast<unsigned long>(e));
        return;
    }
    char what[PATH_TEXT + 40];
    Format(what, sizeof what, "%s (holding %s)", above, child);
    Judge(sddl, CONCERN_PARENT, what, ABOVE_FIX, a);
    Judge(sddl, CONCERN_ABOVE, above, ABOVE_FIX, a);
}

// The file a recovery command runs and every folder above it, as the service's own are judged:
// the manager runs it as LocalSystem.
void JudgeRecoveryProgram(const char* program, FolderAudit* a) {
    static char sddl[door::SDDL_TEXT];
    char what[PATH_TEXT + 40];
    if (os::DWORD e = door::PathSecurity(program, sddl, sizeof sddl))
        return AddFinding(&a->Unread, "%s (run by recovery): its permissions cannot be read: error %lu", program,
                          static_cast<unsigned long>(e));
    Format(what, sizeof what, "%s (run by recovery)", program);
    Judge(sddl, CONCERN_FILE, what, "let only SYSTEM and Administrators change what recovery runs", a);
    char folder[PATH_TEXT];
    if (!ParentFolder(program, folder, sizeof folder)) return;
    if (os::DWORD e = door::PathSecurity(folder, sddl, sizeof sddl))
        return AddFinding(&a->Unread, "%s: its permissions cannot be read: error %lu", folder, static_cast<unsigned long>(e));
    Format(what, sizeof what, "%s (holding what recovery runs)", folder);
    Judge(sddl, CONCERN_FOLDER, what, ABOVE_FIX, a);
    AuditAbove(folder, a);
}

// What the manager does when the service fails, always said; a command it runs judged.
void AuditRecovery(const Options& o, FolderAudit* a) {
    door::Failures f;
    os::DWORD e = QueryFailures(o.Name, &f);
    // A manager that keeps no failure actions at all runs none.
    if (e == door::ERR_INVALID_LEVEL)
        return AddFinding(&a->Notes, "recovery: none: this system's service manager keeps no failure actions");
    if (e) return AddFinding(&a->Unread, "the service manager will not say what %s's recovery is: error %lu", o.Name,
                             static_cast<unsigned long>(e));
    char words[FINDING_SIZE];
    Text t = StartText(words, sizeof words);
    AddRecoveryWords(&t, f);
    AddFinding(&a->Notes, "recovery: %s", words);
    JudgeRecoveryCommand(f, &a->Ways);
    char program[PATH_TEXT];
    BinaryProgram(f.Command, program, sizeof program);
    // Named without a folder, it is found by a search, which the finding above says.
    if (RunsCommand(f) && strchr(program, '\\')) JudgeRecoveryProgram(program, a);
}

void AuditService(const Options& o, const char* folder, FolderAudit* a) {
    ServiceConfig config;
    if (!QueryConfig(o.Name, &config))
        return AddFinding(&a->Unread, "the service manager will not say whether %s exists", o.Name);
    if (!config.Found) return AddFinding(&a->Notes, "the service %s is not installed", o.Name);
    char host[PATH_TEXT];
    JoinPath(folder, HOST_FILE, host, sizeof host);
    JudgeServiceConfig(config.BinaryPath, config.Type, host, &a->Ways);
    JudgeServiceSecurity(o.Name, a);
    AuditRecovery(o, a);
}

}  // namespace

void SayAll(Mark mark, const Findings& f) {
    for (int i = 0; i < f.Count; i++) Tell(mark, "%s\n", f.Lines[i]);
    if (f.More) Tell(mark, "and %d more\n", f.More);
}

void JudgeServiceSecurity(const char* name, FolderAudit* a) {
    static char sddl[door::SDDL_TEXT];
    if (os::DWORD e = ServiceSecurityText(name, sddl, sizeof sddl))
        return AddFinding(&a->Unread, "service: its owner and permissions cannot be read: error %lu",
                          static_cast<unsigned long>(e));
    Judge(sddl, CONCERN_SERVICE, "service", SERVICE_FIX, a);
    char key[PATH_TEXT], what[PATH_TEXT + 8];
    Format(key, sizeof key, "%s%s", SERVICES_KEY, name);
    Format(what, sizeof what, "HKLM\\%s", key);
    if (os::DWORD e = door::KeySecurity(key, sddl, sizeof sddl))
        return AddFinding(&a->Unread, "%s: its permissions cannot be read: error %lu", what, static_cast<unsigned long>(e));
    Judge(sddl, CONCERN_KEY, what, "give it back the permissions of the other services' keys", a);
}

void AuditFolder(const char* folder, FolderAudit* a) {
    door::EnablePrivileges();
    WalkFolder(folder, AuditEntry, a);
}

void AuditAbove(const char* folder, FolderAudit* a) {
    char child[PATH_TEXT], above[PATH_TEXT];
    Format(child, sizeof child, "%s", folder);
    while (ParentFolder(child, above, sizeof above)) {
        JudgeAbove(above, child, a);
        Format(child, sizeof child, "%s", above);
    }
}

int RunAudit(const Options& o, const char* folder) {
    static FolderAudit a;
    memset(&a, 0, sizeof a);  // a run of its own, even where one process runs it twice
    AuditFolder(folder, &a);
    AuditAbove(folder, &a);
    AuditService(o, folder, &a);
    SayAll(MARK_NOTE, a.Notes);
    SayAll(MARK_FAIL, a.Unread);
    SayAll(MARK_FINDING, a.Ways);
    int ways = a.Ways.Count + a.Ways.More;
    if (a.Unread.Count)
        return Tell(MARK_FAIL, "not everything could be read: what could not be read may be open too\n"), EXIT_REFUSED;
    if (ways) return Say("%d findings: a user who is not an administrator could take %s over\n", ways, o.Name), 1;
    Tell(MARK_OK, "no finding: only SYSTEM and Administrators can change what %s runs and trusts\n", o.Name);
    return 0;
}
