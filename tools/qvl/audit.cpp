// qvl audit [FOLDER] [--name NAME]: every way a user who is not an administrator could take the
// service over, one finding a line: the folder, the files the service runs and trusts, every
// folder above, and the service's configuration and permissions.
#include <string.h>

#include "host/entry.h"
#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tools/qvl/config.h"
#include "tools/qvl/security.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"
#include "tools/qvl/windows.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

namespace {

const char* const FILES[] = {HOST_FILE, TOOL_FILE, PROGRAM_FILE, STATUS_FILE, COMMAND_FILE, LOG_FILE};
const char LOCK_FIX[] = "run qvl install on the folder to lock it";
const char ABOVE_FIX[] = "let only SYSTEM and Administrators change it, or install into a folder whose every parent is so";

bool Judge(const char* path, Concern concern, const char* what, const char* fix, Findings* f) {
    char* sddl;
    if (!FileSecurityText(path, &sddl)) return false;
    bool judged = JudgeSecurity(sddl, concern, what, fix, f);
    if (!judged) AddFinding(f, "%s: its permissions cannot be judged: %s", what, sddl);
    FreeText(sddl);
    return true;
}

// Cuts path back to its parent folder; false at a root.
bool Parent(char* path) {
    char* slash = strrchr(path, '\\');
    if (!slash || slash == path) return false;
    bool root = slash == path + 2 && path[1] == ':';
    if (root && !slash[1]) return false;
    slash[root ? 1 : 0] = '\0';
    return true;
}

bool AuditService(const Options& o, const char* folder, Findings* f) {
    ServiceConfig config;
    if (!QueryConfig(o.Name, &config)) return false;
    if (!config.Found) return Say("note: the service %s is not installed\n", o.Name), true;
    char host[PATH_TEXT];
    JoinPath(folder, HOST_FILE, host, sizeof host);
    JudgeServiceConfig(config.BinaryPath, config.Type, host, f);
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, o.Name, READ_CONTROL) : nullptr;
    static union { SECURITY_DESCRIPTOR Sd; char Bytes[8192]; } buffer;
    DWORD needed;
    char* sddl = nullptr;
    bool read = service && ::QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &buffer.Sd, sizeof buffer, &needed) &&
                ::ConvertSecurityDescriptorToStringSecurityDescriptorA(&buffer.Sd, SDDL_REVISION_1,
                                                                       DACL_SECURITY_INFORMATION, &sddl, nullptr);
    if (read && !JudgeSecurity(sddl, CONCERN_SERVICE, "service", "set its permissions back with sc sdset", f))
        AddFinding(f, "service: its permissions cannot be judged: %s", sddl);
    if (!read) Say("note: the service's permissions cannot be read: error %lu\n", ::GetLastError());
    if (sddl) FreeText(sddl);
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return read;
}

}  // namespace

bool AuditFolder(const char* folder, Findings* f) {
    if (!Judge(folder, CONCERN_FOLDER, folder, LOCK_FIX, f)) return false;
    for (const char* name : FILES) {
        char path[PATH_TEXT];
        if (JoinPath(folder, name, path, sizeof path) && IsFile(path)) Judge(path, CONCERN_FILE, path, LOCK_FIX, f);
    }
    // Whoever can rename or delete a folder on the way, or re-permit it, can put a path of
    // their own in its place.
    char child[PATH_TEXT], above[PATH_TEXT];
    strcpy(child, folder);
    strcpy(above, folder);
    while (Parent(above)) {
        char what[PATH_TEXT + 40];
        Format(what, sizeof what, "%s (holding %s)", above, child);
        Judge(above, CONCERN_PARENT, what, ABOVE_FIX, f);
        Judge(above, CONCERN_ABOVE, above, ABOVE_FIX, f);
        strcpy(child, above);
    }
    return true;
}

int RunAudit(const Options& o, const char* folder) {
    static Findings f;
    bool looked = AuditFolder(folder, &f);
    if (!looked) Say("fail: the permissions of %s cannot be read\n", folder);
    looked &= AuditService(o, folder, &f);
    for (int i = 0; i < f.Count; i++) Say("finding: %s\n", f.Lines[i]);
    if (!looked) return EXIT_REFUSED;
    if (f.Count) return Say("%d findings: a user who is not an administrator could take %s over\n", f.Count, o.Name), 1;
    Say("ok: no finding: only SYSTEM and Administrators can change what %s runs and trusts\n", o.Name);
    return 0;
}
