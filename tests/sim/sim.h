// The simulated world a test runs the host in: a stand-in service control manager that records
// every report, a virtual clock that only Sleep advances, control requests delivered at chosen
// virtual times, the real files of the current directory with every descriptor counted, and the
// supervised program's own behaviour (program.cpp) stepped in virtual time. Everything runs on the calling thread, so a run
// replays the same way every time. All of its state is the one World below: Reset() forgets it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/link.h"
#include "platform/platform.h"
#include "standin/program.h"

namespace sim {

// Events due at a virtual time are delivered while the service sleeps through that time; one
// due exactly when a sleep ends, or while the service is awake, is delivered at the service's
// next service-control, process or Sleep call, as a request that arrives just after it woke.

// What the scripted program does: the program's own behaviour (standin/program.h), on the
// simulator's clock, with its own defaults, and a schedule of status bytes. Times are virtual
// milliseconds since the run began; QuitAfterMs stops it dead, never to write again.
struct Program : ProgramSettings {
    Program() {
        TickMs = 1000;  // its first step 0.5 s after launch, then one a second
        HoldMs = 5000;
        Ends = GOES_STALE;
    }
    struct Change {
        int64_t AtMs;
        int StatusByte;
    };
    std::vector<Change> Changes;    // the running status byte becomes StatusByte at AtMs
};

// One launch of the scripted program: alive until it ends, quits or is ended, its state, and the
// next change due. A launch made suspended is not alive until its thread is resumed.
struct ProgramRun {
    bool Alive = false;
    bool Suspended = false;
    int Job = -1;                     // the job it was put in, by index in World::Jobs
    ProgramState State = {};
    size_t NextChange = 0;
};

// A job the host made: open until the host's process ends; with the kill-on-close limit set, it
// ends every program in it then.
struct Job {
    bool Open = true;
    bool KillOnClose = false;
};

// Faults, off by default; each test switches on only what it is about.
struct Faults {
    bool NoManager = false;           // the dispatcher cannot connect
    bool RegisterFails = false;
    bool FirstReportFails = false;    // the first SetServiceStatus fails, later ones succeed
    bool LaunchFails = false;
    bool AssignFails = false;         // a program cannot be put in a job (before Windows 8, in a job already)
    os::DWORD Error = 0;              // what GetLastError gives after the failing call
};

struct Report {
    int64_t AtMs;
    os::SERVICE_STATUS Status;
};

struct Launch {
    int64_t AtMs;
    std::string ApplicationName;      // "(null)" when none was given
    std::string CommandLine;
    bool SecurityAttributesNull;
    int InheritHandles;
    os::DWORD CreationFlags;
    bool EnvironmentNull;
    bool CurrentDirectoryNull;
    bool StartupInfoFromGetStartupInfo;
};

struct Event {
    os::DWORD Control;   // delivered to the handler, unless Call is set
    std::function<void()> Call;
};

// The virtual clock, in ms since the run began: advanced only by the service thread's Sleep,
// but read by time() on any thread, as when a control handler writes a log line.
struct Clock {
    std::atomic<int64_t> Ms{0};
    Clock() = default;
    Clock(const Clock& other) : Ms(other.Ms.load()) {}
    Clock& operator=(const Clock& other) {
        Ms = other.Ms.load();
        return *this;
    }
};

struct World {
    int64_t EpochSeconds = 1700000000; // what time() gives at Now 0
    int64_t LimitMs = 2 * 86400 * 1000; // a sleep past this aborts: the run would never end
    Program Script;
    Faults Fault;

    std::string RegisteredName;
    std::vector<std::string> DispatchedNames;  // argv[0] of each service main the dispatcher ran
    std::vector<std::string> DirectoryChanges; // every path given to SetCurrentDirectoryA
    std::vector<Report> Reports;      // every report, unless KeepReports is false
    bool KeepReports = true;          // false: only ReportCount and LastReport, for long runs
    int64_t ReportCount = 0;
    Report LastReport = {};
    std::vector<Launch> Launches;
    std::vector<os::DWORD> ControlsDelivered;
    std::vector<int32_t> CommandsSeen; // by the program, each change of the command file once
    int HandlesOpen = 0;               // created by launches and not yet closed
    std::vector<std::string> Violations; // misuse of the platform or breaches of the protocol

    // The platform's own state.
    Clock Now;
    std::multimap<int64_t, Event> Events; // by due time; equal times in the order scheduled
    os::HANDLER_FUNCTION Handler = nullptr;
    os::DWORD LastError = 0;
    int ReportAttempts = 0;
    bool Stopped = false;              // SERVICE_STOPPED has been reported
    bool HandleOpen[2] = {false, false}; // the last launch's process and thread handles
    std::deque<ProgramRun> Runs;       // every launch, in order; the last is the one the handles name
    std::vector<Job> Jobs;
    int MostProgramsAlive = 0;         // the most programs ever alive at once
    int64_t KillAtMs = -1;             // the host is killed in the sleep that reaches this; -1: never
    void* KillJump[5] = {};            // where a kill returns to (__builtin_setjmp's buffer)
};

extern World W;

// Forgets everything: clock at 0, no events, no faults, default program.
void Reset();

// Sets the clock; the next time() gives seconds.
void SetTime(int64_t seconds);

// The virtual clock, in ms since the run began.
int64_t Now();

// Delivers control to the registered handler at virtual time atMs.
void ScheduleControl(int64_t atMs, os::DWORD control);

// Calls call at virtual time atMs, on the service's thread, as a control would be delivered.
void ScheduleCall(int64_t atMs, std::function<void()> call);

// Starts the last launch of the scripted program (program.cpp), as a resumed launch does.
void StartProgram();

// The programs alive now.
int ProgramsAlive();

// What the system does when the host's process ends, however it ends: every handle it held is
// closed, so every job it made ends the programs in it when it has the kill-on-close limit; and
// the manager forgets the service's handler, so a host started again registers afresh.
void EndHostProcess();

// Runs serviceMain (with argv[0] "QVLService") until it returns or, killed from outside, stops
// where it stands in the sleep that reaches atMs; true when it was killed. The process is not
// ended: EndHostProcess does that.
bool RunUntilKilled(int64_t atMs, void (*serviceMain)(os::DWORD argc, char** argv));

// The descriptors the platform's files (files.cpp) opened and did not close yet, on any thread;
// ForgetFiles starts afresh. Closing one that is not open is a violation.
int FilesOpen();
void ForgetFiles();
void Opened(int fd);
void Closed(int fd);

}  // namespace sim
