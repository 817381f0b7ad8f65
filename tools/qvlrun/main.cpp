// qvlrun [FOLDER] [--stop-after SECONDS]: runs the host's own ServiceMain in FOLDER (by default
// the current one) from a console, with a stop on Ctrl-C or after SECONDS of running, shows
// each report and a live line, and ends with a verdict on the program's side of the protocol.
// Exit status: 0 every clause kept, 1 one broken, 2 the trial could not be made.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "host/service.h"
#include "link/link.h"
#include "platform/console.h"
#include "tools/qvlrun/system.h"
#include "tools/qvlrun/trial.h"

namespace {

const int TRIAL_FAILED = 2;
char TRIAL_NAME[] = "qvlrun";  // the service name ServiceMain logs: "Starting QVL service qvlrun"
const int64_t LIVE_LINE_MS = 1000;

Evidence E;            // added to by both threads, under LockEvidence
int64_t StopAfterMs = -1;
std::atomic<int64_t> RunningSinceMs(-1);  // set on the service thread, read on the dispatcher's
std::atomic<uint32_t> LastState(0);
bool StopWanted, StopSent, ExitSeen;
Observation LastLook;
bool LastAlive;
int64_t NextLiveMs;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Say(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    os::FormatV(line, sizeof line, format, args);
    va_end(args);
    fputs(line, stdout);
    fflush(stdout);
}

void Record(const Observation& o) {
    LockEvidence();
    Observe(&E, o);
    UnlockEvidence();
}

Observation Event(ObservationKind kind, int64_t ms, uint32_t value) {
    Observation o;
    memset(&o, 0, sizeof o);
    o.Kind = kind;
    o.Ms = ms;
    o.Value = value;
    return o;
}

Observation TakeLook(ObservationKind kind, int64_t ms) {
    int64_t now = os::time();
    StatusRecord status;
    bool opened = ReadStatusRecord(&status) != 0;
    int32_t command = 0;
    int bytes = ReadCommandFile(&command);
    return Look(kind, ms, now, opened, status, bytes, command);
}

// On the service thread.
void Reported(int64_t ms, os::DWORD state) {
    Record(Event(REPORT, ms, state));
    if (state == os::SERVICE_RUNNING) {
        Record(TakeLook(HOST_READ, ms));
        if (RunningSinceMs < 0) RunningSinceMs = ms;
    }
    // Running is re-reported every second: the live line shows it. Every other report is news.
    if (state != os::SERVICE_RUNNING || LastState != os::SERVICE_RUNNING)
        Say("%7.1f s  service reports %s\n", ms / 1000.0, StateName(state));
    LastState = state;
}

void Launched(int64_t ms, os::DWORD error) {
    Record(error ? Event(LAUNCH_FAILED, ms, error) : Event(LAUNCHED, ms, 0));
    if (error)
        Say("%7.1f s  %s could not be launched: error %lu\n", ms / 1000.0, PROGRAM_FILE, static_cast<unsigned long>(error));
    else
        Say("%7.1f s  %s launched\n", ms / 1000.0, PROGRAM_FILE);
}

void AskForStop(int64_t ms, const char* why) {
    if (!StopWanted) Say("%7.1f s  stop requested (%s)\n", ms / 1000.0, why);
    StopWanted = true;
}

void ShowLive(int64_t ms, const Observation& look, bool alive) {
    bool changed = look.CommandBytes != LastLook.CommandBytes || look.Command != LastLook.Command ||
                   look.Status.StatusByte != LastLook.Status.StatusByte || alive != LastAlive;
    if (ms < NextLiveMs && !changed) return;
    char line[256];
    LiveLine(line, sizeof line, ms, LastState, look, alive);
    Say("%s\n", line);
    NextLiveMs = ms / LIVE_LINE_MS * LIVE_LINE_MS + LIVE_LINE_MS;
    LastLook = look;
    LastAlive = alive;
}

// On the dispatcher's thread.
bool Tick(int64_t ms, bool returned) {
    Observation look = TakeLook(LOOK, ms);
    Record(look);
    os::HANDLE program = console::Program();
    uint32_t code;
    bool alive = program && !ProcessEnded(program, &code);
    if (program && !alive && !ExitSeen) {
        ExitSeen = true;
        Record(Event(EXITED, ms, code));
        Say("%7.1f s  %s exited with code %lu\n", ms / 1000.0, PROGRAM_FILE, static_cast<unsigned long>(code));
    }
    ShowLive(ms, look, alive);
    if (console::CtrlPressed()) AskForStop(ms, "Ctrl-C");
    if (StopAfterMs >= 0 && RunningSinceMs >= 0 && ms - RunningSinceMs >= StopAfterMs) AskForStop(ms, "--stop-after");
    if (StopWanted && !StopSent) StopSent = console::DeliverControl(os::SERVICE_CONTROL_STOP);
    LockEvidence();
    bool giveUp = !E.GaveUp && TimeToGiveUp(E, ms);
    if (giveUp) Observe(&E, Event(GAVE_UP, ms, 0));
    bool over = TrialOver(E, returned, ms);
    UnlockEvidence();
    if (giveUp) Say("%7.1f s  the stop has not moved on for %ld s: giving up\n", ms / 1000.0,
                    static_cast<long>(GIVE_UP_MS / 1000));
    return !over;
}

bool ParseArguments(int argc, char** argv, const char** folder) {
    *folder = ".";
    bool haveFolder = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--stop-after") && i + 1 < argc) {
            char* end;
            long seconds = strtol(argv[++i], &end, 10);
            if (*end || end == argv[i] || seconds < 0 || seconds > 86400) return false;
            StopAfterMs = seconds * 1000;
        } else if (argv[i][0] != '-' && !haveFolder) {
            *folder = argv[i];
            haveFolder = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* folder;
    if (!ParseArguments(argc, argv, &folder)) {
        fputs("usage: qvlrun [FOLDER] [--stop-after SECONDS]\n", stderr);
        return TRIAL_FAILED;
    }
    char refusal[512];
    if (Refusal(CheckFolder(folder), folder, refusal, sizeof refusal)) {
        fputs(refusal, stderr);
        fputs("\n", stderr);
        return TRIAL_FAILED;
    }
    StartEvidence(&E);
    LastLook.CommandBytes = -2;  // so the first look shows
    console::Watch({Reported, Launched, Tick});
    static const os::SERVICE_TABLE_ENTRY table[] = {{TRIAL_NAME, ServiceMain}, {nullptr, nullptr}};
    Say("qvlrun: a trial of %s in %s as the service would run it; Ctrl-C stops it\n", PROGRAM_FILE, folder);
    bool returned = os::StartServiceCtrlDispatcherA(table) != 0;
    // After a give-up the service thread still runs, and may still add to the evidence.
    LockEvidence();
    Evidence seen = E;
    UnlockEvidence();
    if (!returned && !seen.GaveUp) {
        fputs("qvlrun: the service could not be started\n", stderr);
        return TRIAL_FAILED;
    }
    Verdict verdict;
    int status = Judge(seen, &verdict);
    Say("verdict on %s:\n", PROGRAM_FILE);
    for (int i = 0; i < VERDICT_CLAUSES; i++) Say("  %s\n", verdict.Lines[i]);
    Say("%s\n", status ? "qvlrun: the program broke the protocol" : "qvlrun: the program kept the protocol");
    return status;
}
