// The simulated service-control, process and clock calls of the seam. Files stay real (the C
// runtime's, crt.cpp); a successful launch starts the scripted program, which this file knows
// nothing of beyond StartProgram.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "tests/sim/sim.h"

namespace sim {

World W;

namespace {
std::mutex FilesLock;
std::set<int> Descriptors;  // open now
}  // namespace

int FilesOpen() {
    std::lock_guard<std::mutex> hold(FilesLock);
    return static_cast<int>(Descriptors.size());
}

void ForgetFiles() {
    std::lock_guard<std::mutex> hold(FilesLock);
    Descriptors.clear();
}

void Opened(int fd) {
    std::lock_guard<std::mutex> hold(FilesLock);
    Descriptors.insert(fd);
}

void Closed(int fd) {
    std::lock_guard<std::mutex> hold(FilesLock);
    if (!Descriptors.erase(fd)) W.Violations.push_back("closed a descriptor that was not open");
}

namespace {

os::HANDLE const PROCESS_HANDLE = reinterpret_cast<os::HANDLE>(0x1001);
os::HANDLE const THREAD_HANDLE = reinterpret_cast<os::HANDLE>(0x1002);
char STARTUP_TITLE[] = "simulated start-up information";

void Deliver(const Event& e) {
    if (e.Call) return e.Call();
    if (!W.Handler) {
        W.Violations.push_back("control delivered before a handler was registered");
        return;
    }
    W.ControlsDelivered.push_back(e.Control);
    W.Handler(e.Control);
}

// Takes the first event off the schedule and delivers it.
__attribute__((noinline)) void DeliverFirst() {
    auto first = W.Events.begin();
    Event e = std::move(first->second);
    if (first->first > W.Now.Ms) W.Now.Ms = first->first;
    W.Events.erase(first);
    Deliver(e);
}

// Delivers the events due up to limitMs; those due exactly at limitMs only when inclusive. Called
// at every pass of the host's loop, so the test for nothing due stays short.
void Deliver(int64_t limitMs, bool inclusive) {
    while (!W.Events.empty()) {
        int64_t due = W.Events.begin()->first;
        if (due > limitMs || (!inclusive && due == limitMs)) break;
        DeliverFirst();
    }
}

void DeliverDue() {
    Deliver(W.Now.Ms, true);
}

}  // namespace

void Reset() {
    W = World();
    ForgetFiles();
}

void SetTime(int64_t seconds) {
    W.Now.Ms = (seconds - W.EpochSeconds) * 1000;
}

int64_t Now() {
    return W.Now.Ms;
}

void ScheduleControl(int64_t atMs, os::DWORD control) {
    W.Events.insert({atMs, {control, nullptr}});
}

void ScheduleCall(int64_t atMs, std::function<void()> call) {
    W.Events.insert({atMs, {0, std::move(call)}});
}

// Apart from the one it is called from, so that the jump back is to a frame still live.
bool RunUntilKilled(int64_t atMs, void (*serviceMain)(os::DWORD argc, char** argv)) {
    static char name[] = "QVLService";
    static char* argv[] = {name, nullptr};
    W.KillAtMs = atMs;
    if (__builtin_setjmp(W.KillJump)) return true;
    serviceMain(1, argv);
    W.KillAtMs = -1;
    return false;
}

void EndHostProcess() {
    for (size_t i = 0; i < W.Jobs.size(); i++) {
        if (!W.Jobs[i].Open) continue;
        W.Jobs[i].Open = false;
        if (!W.Jobs[i].KillOnClose) continue;
        for (ProgramRun& r : W.Runs)
            if (r.Job == static_cast<int>(i)) r.Alive = r.Suspended = false;
    }
    W.HandleOpen[0] = W.HandleOpen[1] = false;
    W.HandlesOpen = 0;
    W.Handler = nullptr;
    W.Stopped = false;
    W.ReportAttempts = 0;
}

}  // namespace sim

namespace os {

using sim::W;

int StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRY* table) {
    if (W.Fault.NoManager) {
        W.LastError = 1063;  // the platform's "cannot connect to the service controller"
        return 0;
    }
    W.DispatchedNames.push_back(table[0].lpServiceName);
    std::string name = table[0].lpServiceName;
    char* argv[] = {&name[0], nullptr};
    table[0].lpServiceProc(1, argv);
    if (!W.Stopped) W.Violations.push_back("service main returned without reporting stopped");
    return 1;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, HANDLER_FUNCTION handler) {
    if (W.Fault.RegisterFails) {
        W.LastError = W.Fault.Error;
        return nullptr;
    }
    W.RegisteredName = name;
    W.Handler = handler;
    return &W;
}

int SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
    sim::DeliverDue();
    if (handle != &W) W.Violations.push_back("status reported with a handle never issued");
    if (W.Stopped) W.Violations.push_back("status reported after stopped");
    if (W.ReportAttempts++ == 0 && W.Fault.FirstReportFails) {
        W.LastError = W.Fault.Error;
        return 0;
    }
    sim::Report r = {W.Now.Ms, *status};
    if (W.KeepReports) W.Reports.push_back(r);
    W.ReportCount++;
    W.LastReport = r;
    if (status->dwCurrentState == SERVICE_STOPPED) W.Stopped = true;
    return 1;
}

void GetStartupInfoA(STARTUPINFO* info) {
    sim::DeliverDue();
    memset(info, 0, sizeof *info);
    info->cb = sizeof *info;
    info->lpTitle = sim::STARTUP_TITLE;
}

int CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                   void* threadAttributes, int inheritHandles, DWORD creationFlags, void* environment,
                   const char* currentDirectory, STARTUPINFO* startupInfo, PROCESS_INFORMATION* info) {
    sim::DeliverDue();
    bool fromGet = startupInfo && startupInfo->cb == sizeof *startupInfo &&
                   startupInfo->lpTitle == sim::STARTUP_TITLE;
    W.Launches.push_back({W.Now.Ms, applicationName ? applicationName : "(null)", commandLine ? commandLine : "",
                          processAttributes == nullptr && threadAttributes == nullptr,
                          inheritHandles, creationFlags, environment == nullptr,
                          currentDirectory == nullptr, fromGet});
    if (W.Fault.LaunchFails) {
        W.LastError = W.Fault.Error;
        return 0;
    }
    W.Runs.push_back(sim::ProgramRun());
    info->hProcess = sim::PROCESS_HANDLE;
    info->hThread = sim::THREAD_HANDLE;
    info->dwProcessId = 4242;
    info->dwThreadId = 4243;
    W.HandleOpen[0] = W.HandleOpen[1] = true;
    W.HandlesOpen += 2;
    if (creationFlags & CREATE_SUSPENDED)
        W.Runs.back().Suspended = true;
    else
        sim::StartProgram();
    return 1;
}

DWORD ResumeThread(HANDLE thread) {
    sim::DeliverDue();
    if (thread != sim::THREAD_HANDLE || !W.HandleOpen[1] || !W.Runs.back().Suspended) {
        W.Violations.push_back("resumed a thread that was not a suspended launch's");
        W.LastError = 6;
        return static_cast<DWORD>(-1);
    }
    sim::StartProgram();
    return 1;
}

int TerminateProcess(HANDLE process, unsigned) {
    if (process != sim::PROCESS_HANDLE || !W.HandleOpen[0]) {
        W.Violations.push_back("ended a process through a handle that was not open");
        W.LastError = 6;
        return 0;
    }
    W.Runs.back().Alive = W.Runs.back().Suspended = false;
    return 1;
}

// A job's handle is its index plus one.
HANDLE CreateJobObjectA(void* attributes, const char* name) {
    if (attributes || name) W.Violations.push_back("a job with attributes or a name");
    W.Jobs.push_back(sim::Job());
    return reinterpret_cast<HANDLE>(W.Jobs.size());
}

namespace {
sim::Job* OpenJob(HANDLE job) {
    size_t i = reinterpret_cast<size_t>(job);
    if (i == 0 || i > W.Jobs.size() || !W.Jobs[i - 1].Open) {
        W.Violations.push_back("a job handle that is not open");
        return nullptr;
    }
    return &W.Jobs[i - 1];
}
}  // namespace

int SetInformationJobObject(HANDLE job, int infoClass, void* info, DWORD size) {
    sim::Job* j = OpenJob(job);
    if (!j || infoClass != JobObjectExtendedLimitInformation || size != sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)) {
        W.Violations.push_back("job limits set in another form");
        W.LastError = 87;  // the platform's "invalid parameter"
        return 0;
    }
    auto* limits = static_cast<JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(info);
    j->KillOnClose = (limits->BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE) != 0;
    return 1;
}

int AssignProcessToJobObject(HANDLE job, HANDLE process) {
    sim::Job* j = OpenJob(job);
    if (!j || process != sim::PROCESS_HANDLE || !W.HandleOpen[0]) {
        W.Violations.push_back("assigned a process through a handle that was not open");
        return 0;
    }
    if (W.Fault.AssignFails) {
        W.LastError = W.Fault.Error;
        return 0;
    }
    if (!W.Runs.back().Suspended) W.Violations.push_back("a program put in a job after it began to run");
    W.Runs.back().Job = static_cast<int>(j - &W.Jobs[0]);
    return 1;
}

int CloseHandle(HANDLE handle) {
    int i = handle == sim::PROCESS_HANDLE ? 0 : handle == sim::THREAD_HANDLE ? 1 : -1;
    if (i < 0 || !W.HandleOpen[i]) {
        W.Violations.push_back("closed a handle that was not open");
        W.LastError = 6;  // the platform's "invalid handle"
        return 0;
    }
    W.HandleOpen[i] = false;
    W.HandlesOpen--;
    return 1;
}

// Directories are not simulated: the change is recorded, and fails only as an empty path would.
int SetCurrentDirectoryA(const char* path) {
    W.DirectoryChanges.push_back(path);
    if (path[0] != '\0') return 1;
    W.LastError = 3;  // the platform's "path not found"
    return 0;
}

DWORD GetLastError() {
    return W.LastError;
}

void Sleep(DWORD milliseconds) {
    sim::DeliverDue();
    int64_t end = W.Now.Ms + milliseconds;
    if (end > W.LimitMs) {
        // A run that never ends would hang the test suite; no test asks for this.
        fprintf(stderr, "simulated run passed its limit of %lld virtual ms\n", static_cast<long long>(W.LimitMs));
        abort();
    }
    if (W.KillAtMs >= 0 && end > W.KillAtMs) {
        // Killed in this sleep: what was due before goes first, then the host stops where it
        // stands. The jump skips only the host's frames and this one, none holding anything
        // that must be destroyed.
        sim::Deliver(W.KillAtMs, false);
        W.Now.Ms = W.KillAtMs;
        W.KillAtMs = -1;
        __builtin_longjmp(W.KillJump, 1);
    }
    sim::Deliver(end, false);
    W.Now.Ms = end;
}

int64_t time() {
    int64_t ms = W.Now.Ms;
    int64_t whole = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return W.EpochSeconds + whole;
}

}  // namespace os
