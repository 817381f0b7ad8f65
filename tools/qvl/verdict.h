// A trial of the supervised program: what qvl trial observes while the host's own supervision runs
// from a console, folded into evidence, and the verdict drawn from it on how well the program
// keeps its side of the protocol; also whether a trial may start at all. Pure: no clock, no
// files and no system calls here, so every case is tested natively.
#pragma once

#include <stdint.h>

#include "link/link.h"
#include "tools/qvl/qvl.h"

#ifndef QVL_GIVE_UP_MS
#define QVL_GIVE_UP_MS 120000
#endif
// How long after a stop command the trial waits for the stop to move on before giving up: a
// program that keeps holding, or keeps beating after the finish command, would keep the
// service stop pending for ever.
const int64_t GIVE_UP_MS = QVL_GIVE_UP_MS;
const int64_t PROCESS_GRACE_MS = 5000;  // after STOPPED, for the program's process to end
const int VERDICT_CLAUSES = 5;
const int VERDICT_LINE_SIZE = 640;

enum ObservationKind {
    LAUNCHED,       // the program's process was created
    LAUNCH_FAILED,  // Value: the system's error
    REPORT,         // Value: the state the service reported
    LOOK,           // the folder, every tenth of a second
    HOST_READ,      // the folder at each RUNNING report: the host reads at every 30th, from the first
    EXITED,         // Value: the program's exit code
    GAVE_UP,        // the stop did not move on within GIVE_UP_MS
};

struct Observation {
    ObservationKind Kind;
    int64_t Ms;          // since the trial began
    uint32_t Value;
    // LOOK and HOST_READ: the status file as the host judges it, and the command file.
    StatusView Status;
    int CommandBytes;    // -1: no command file
    int32_t Command;
};

// A look at the folder at ms.
Observation Look(ObservationKind kind, int64_t ms, const StatusView& status, int commandBytes, int32_t command);

// Everything the verdict rests on; -1 for a time not yet seen.
struct Evidence {
    int64_t LaunchMs;
    bool LaunchFailed;
    uint32_t LaunchError;
    uint32_t State;          // the last state reported, 0 before any
    int64_t PauseEndMs;      // the first report after START_PENDING
    int64_t StopPendingMs;
    int64_t StoppedMs;
    int64_t FirstFreshMs;    // the first look that finds the program there
    int RunningReports;      // the running loop reads the status on every 30th, from the first
    int Reads;               // host reads after the first
    int64_t OldestReadAge;   // seconds, at a read that found the program
    int64_t BadReadMs;       // a read, after the first, that found it gone
    Observation BadRead;
    bool HaveHeartbeat;
    uint32_t LastHeartbeat;
    int64_t LongestGap;      // seconds between two heartbeats seen
    int64_t BeginMs;         // command 1 seen, once the stop began
    int64_t HoldSetMs, HoldClearMs;
    int64_t FinishMs;        // command 10 seen after command 1
    int64_t GoneMs;          // the status went absent after command 10
    Absence GoneHow;
    int64_t ExitMs;
    uint32_t ExitCode;
    bool GaveUp;
};

void StartEvidence(Evidence* e);
void Observe(Evidence* e, const Observation& o);

// When the trial should stop watching: the stop has not moved on for GIVE_UP_MS, or the
// service has stopped and the program's process has ended or had PROCESS_GRACE_MS to.
bool TimeToGiveUp(const Evidence& e, int64_t ms);
bool TrialOver(const Evidence& e, bool serviceReturned, int64_t ms);

struct Verdict {
    bool Broken[VERDICT_CLAUSES];
    char Lines[VERDICT_CLAUSES][VERDICT_LINE_SIZE];
};

// One line per clause, each with what was measured and, when broken, what the host does then
// and what to change. Returns the exit status: 0 when every clause was kept, 1 otherwise.
int Judge(const Evidence& e, Verdict* v);


// Whether a trial may start in a folder.
struct Folder {
    bool Entered;
    bool HasProgram;
    bool Writable;   // the folder, and the log and command files where they exist
    int Answer;      // what the host would conclude of the status file now
    int Service;     // the service's state, SERVICE_NOT_INSTALLED or SERVICE_UNKNOWN
};

// Whether the trial cannot be made in folder beside the service of that name; if so, why, in
// one line in out.
bool Refusal(const Folder& f, const char* folder, const char* service, char* out, int size);
