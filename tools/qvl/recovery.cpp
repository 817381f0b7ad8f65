// The service's recovery, from the service manager's failure actions.
#include "tools/qvl/recovery.h"

#include <string.h>

#include "tools/qvl/config.h"

door::Failures RestartOnFailure(long seconds) {
    door::Failures f;
    memset(&f, 0, sizeof f);
    f.ResetSeconds = RECOVERY_RESET_SECONDS;
    f.Count = 1;
    f.Actions[0].Type = door::FAILURE_RESTART;
    f.Actions[0].DelayMs = static_cast<os::DWORD>(seconds) * 1000;
    f.Flag = true;
    f.FlagKnown = true;
    return f;
}

namespace {

const char* const ACTION_WORDS[] = {"nothing", "restart", "reboot", "run a command"};

const char* ActionWords(os::DWORD type) {
    return type < sizeof ACTION_WORDS / sizeof ACTION_WORDS[0] ? ACTION_WORDS[type] : "an action unknown to qvl";
}

}  // namespace

bool RunsCommand(const door::Failures& f) {
    int n = f.Count < door::FAILURE_ACTIONS_MAX ? f.Count : door::FAILURE_ACTIONS_MAX;
    for (int i = 0; i < n; i++)
        if (f.Actions[i].Type == door::FAILURE_RUN_COMMAND) return true;
    return false;
}

void AddRecoveryWords(Text* t, const door::Failures& f) {
    bool any = false;
    int n = f.Count < door::FAILURE_ACTIONS_MAX ? f.Count : door::FAILURE_ACTIONS_MAX;
    for (int i = 0; i < n; i++) any |= f.Actions[i].Type != door::FAILURE_NONE;
    if (!any) return Add(t, "none: the service manager does nothing when the service fails");
    for (int i = 0; i < n; i++) {
        const door::FailureAction& a = f.Actions[i];
        Add(t, "%s%s failure: %s", i ? "; " : "", i + 1 == n ? (i ? "every later" : "every") : i == 0 ? "first" : "next",
            ActionWords(a.Type));
        if (a.Type != door::FAILURE_NONE) Add(t, " after %lu s", static_cast<unsigned long>(a.DelayMs / 1000));
        if (a.Type == door::FAILURE_RUN_COMMAND) Add(t, " (%s)", f.Command[0] ? f.Command : "no command set");
    }
    Add(t, "; counted back to none after %lu s without one", static_cast<unsigned long>(f.ResetSeconds));
    if (!f.FlagKnown) Add(t, "; after a crash only (this Windows has no failure-actions flag)");
    else if (f.Flag) Add(t, "; after a crash and after any failure end the host reports");
    else Add(t, "; after a crash only (the failure-actions flag is off)");
}

void JudgeRecoveryCommand(const door::Failures& f, Findings* findings) {
    if (!RunsCommand(f)) return;
    const char* command = f.Command;
    if (!command[0])
        return AddFinding(findings, "recovery: an action runs a command, but none is set");
    if (command[0] != '"' && strchr(command, ' '))
        AddFinding(findings, "recovery: the command %s runs as LocalSystem, is not quoted and holds a blank: Windows may "
                   "start a program from a shorter path first; quote it with sc failure, or remove it", command);
    char program[1024];
    BinaryProgram(command, program, sizeof program);
    if (!strchr(program, '\\') && !strchr(program, '/'))
        AddFinding(findings, "recovery: the command %s runs as LocalSystem and names no folder: the system searches "
                   "for %s, and finds whatever is first on its path; name it with its whole path", command, program);
}
