// qvl trial [FOLDER] [--stop-after SECONDS] [--name NAME]: runs the host's own ServiceMain in FOLDER from a
// console, with a stop on Ctrl-C or after SECONDS of running, shows each report and a live line,
// and ends with a verdict on the program's side of the protocol.
// Exit status: 0 every clause kept, 1 one broken, 2 the trial could not be made.
#include <stdio.h>
#include <string.h>

#include <atomic>

#include "host/service.h"
#include "link/link.h"
#include "tools/qvl/console.h"
#include "tools/qvl/ctrlc.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"
#include "tools/qvl/words.h"

namespace {

char TRIAL_NAME[] = "qvl-trial";  // the service name ServiceMain logs: "Starting QVL service qvl-trial"
const int64_t LIVE_LINE_MS = 1000;

Evidence E;            // added to by both threads, under console::Lock
int64_t StopAfterMs = -1;
std::atomic<int64_t> RunningSinceMs(-1);  // set on the service thread, read on the dispatcher's
std::atomic<uint32_t> LastState(0);
bool StopWanted, StopSent, ExitSeen;
Observation LastLook;
bool LastAlive;
int64_t NextLiveMs;

void Record(const Observation& o) {
    console::Lock();
    Observe(&E, o);
    console::Unlock();
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
    StatusView status;
    ReadStatusView(&status);
    int32_t command = 0;
    int bytes = ReadCommandFile(&command);
    return Look(kind, ms, status, bytes, command);
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
                   look.Status.Record.StatusByte != LastLook.Status.Record.StatusByte || alive != LastAlive;
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
    uint32_t code;
    bool ended = console::ProgramEnded(&code);
    bool alive = console::Launched() && !ended;
    if (ended && !ExitSeen) {
        ExitSeen = true;
        Record(Event(EXITED, ms, code));
        Say("%7.1f s  %s exited with code %lu\n", ms / 1000.0, PROGRAM_FILE, static_cast<unsigned long>(code));
    }
    ShowLive(ms, look, alive);
    if (CtrlPressed()) AskForStop(ms, "Ctrl-C");
    if (StopAfterMs >= 0 && RunningSinceMs >= 0 && ms - RunningSinceMs >= StopAfterMs) AskForStop(ms, "--stop-after");
    if (StopWanted && !StopSent) StopSent = console::DeliverControl(os::SERVICE_CONTROL_STOP);
    console::Lock();
    bool giveUp = !E.GaveUp && TimeToGiveUp(E, ms);
    if (giveUp) Observe(&E, Event(GAVE_UP, ms, 0));
    bool over = TrialOver(E, returned, ms);
    console::Unlock();
    if (giveUp) Say("%7.1f s  the stop has not moved on for %ld s: giving up\n", ms / 1000.0,
                    static_cast<long>(GIVE_UP_MS / 1000));
    return !over;
}

}  // namespace

int RunTrial(const Options& o, const char* folder) {
    StopAfterMs = o.StopAfter >= 0 ? o.StopAfter * 1000 : -1;
    char refusal[512];
    if (Refusal(console::CheckFolder(folder, o.Name), folder, o.Name, refusal, sizeof refusal)) {
        Complain("%s\n", refusal);
        return EXIT_REFUSED;
    }
    CatchCtrlC();
    StartEvidence(&E);
    LastLook.CommandBytes = -2;  // so the first look shows
    console::Watch({Reported, Launched, Tick});
    static const os::SERVICE_TABLE_ENTRY table[] = {{TRIAL_NAME, ServiceMain}, {nullptr, nullptr}};
    Say("qvl trial: a trial of %s in %s as the service would run it; Ctrl-C stops it\n", PROGRAM_FILE, folder);
    bool returned = os::StartServiceCtrlDispatcherA(table) != 0;
    // After a give-up the service thread still runs, and may still add to the evidence.
    console::Lock();
    Evidence seen = E;
    console::Unlock();
    if (!returned && !seen.GaveUp) {
        Complain("qvl trial: the service could not be started\n");
        return EXIT_REFUSED;
    }
    Verdict verdict;
    int status = Judge(seen, &verdict);
    Say("verdict on %s:\n", PROGRAM_FILE);
    for (int i = 0; i < VERDICT_CLAUSES; i++) Say("  %s\n", verdict.Lines[i]);
    Say("%s\n", status ? "qvl trial: the program broke the protocol" : "qvl trial: the program kept the protocol");
    return status;
}
