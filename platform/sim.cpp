// The simulated service-control, process and clock calls, and the scripted program behind the
// simulated launch. Files stay real: see crt.cpp.
#include "platform/sim.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "link/link.h"

namespace sim {

World W;

namespace {

// The virtual clock: advanced only by the service thread's Sleep, but read by time() on any
// thread, as when a control handler on another thread writes a log line.
std::atomic<int64_t> NowMs;

enum EventKind { CONTROL, PROGRAM_TICK, PROBE };

struct Event {
    EventKind Kind;
    os::DWORD Control;
    void (*Probe)();
};

std::multimap<int64_t, Event> Events; /* by due time; equal times in the order scheduled */
os::HANDLER_FUNCTION Handler;          /* 0 until registered */
os::DWORD LastError;
int ReportAttempts;
bool Stopped;                          /* SERVICE_STOPPED has been reported */

// The scripted program's own state.
struct Running {
    bool Alive;
    int Byte; /* its own status byte, without the hold bit */
    bool SeenCommand;
    int32_t LastCommand;
    bool Holding;
    int64_t HoldUntilMs;
    bool Finishing;
    int64_t FinishedAtMs;
    size_t NextChange;
} P;

const int64_t FIRST_TICK_MS = 500; /* after launch: half-way between two of the service's wake-ups */
os::HANDLE const PROCESS_HANDLE = reinterpret_cast<os::HANDLE>(0x1001);
os::HANDLE const THREAD_HANDLE = reinterpret_cast<os::HANDLE>(0x1002);
char STARTUP_TITLE[] = "simulated start-up information";
bool HandleOpen[2];

// The status byte as the program writes it: its own byte, with the hold bit while it holds.
int Written() {
    return P.Holding ? P.Byte | STATUS_HOLD_BIT : P.Byte;
}

bool ReadCommandFile(int32_t* code) {
    FILE* f = fopen(COMMAND_FILE, "rb");
    if (!f) return false;
    unsigned char b[4];
    bool whole = fread(b, 1, 4, f) == 4;
    fclose(f);
    if (whole) *code = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    return whole;
}

void ReadCommand() {
    int32_t code;
    if (!ReadCommandFile(&code) || (P.SeenCommand && code == P.LastCommand)) return;
    P.SeenCommand = true;
    P.LastCommand = code;
    W.CommandsSeen.push_back(code);
    if (code == CMD_STOP_BEGIN && W.Script.HoldMs > 0 && !P.Finishing) {
        P.Holding = true;
        P.HoldUntilMs = NowMs + W.Script.HoldMs;
    }
    if (code == CMD_STOP_FINISH && !P.Finishing) {
        if (Written() & STATUS_HOLD_BIT) W.Violations.push_back("stop-finish while the hold bit was set");
        P.Finishing = true;
        P.FinishedAtMs = NowMs;
    }
}

void End() {
    P.Alive = false;
    if (W.Script.Ends == Program::REMOVES_FILE) remove(STATUS_FILE);
    if (W.Script.Ends == Program::WRITES_NONE) WriteStatusFile(STATUS_NONE, os::time());
}

void Tick() {
    if (!P.Alive) return;
    if (W.Script.DiesAtMs >= 0 && NowMs >= W.Script.DiesAtMs) {
        P.Alive = false;
        return;
    }
    const std::vector<Program::Change>& changes = W.Script.Changes;
    for (; P.NextChange < changes.size() && changes[P.NextChange].AtMs <= NowMs; P.NextChange++)
        P.Byte = changes[P.NextChange].StatusByte;
    ReadCommand();
    if (P.Holding && NowMs >= P.HoldUntilMs) P.Holding = false;
    if (P.Finishing && NowMs >= P.FinishedAtMs + W.Script.FreshAfterFinishMs) return End();
    if (W.Script.Heartbeat) WriteStatusFile(Written(), os::time());
    Events.insert({NowMs + W.Script.TickMs, {PROGRAM_TICK, 0, nullptr}});
}

void StartProgram() {
    P = Running();
    P.Alive = true;
    P.Byte = W.Script.StatusByte;
    Events.insert({NowMs + FIRST_TICK_MS, {PROGRAM_TICK, 0, nullptr}});
}

void Deliver(const Event& e) {
    if (e.Kind == PROGRAM_TICK) return Tick();
    if (e.Kind == PROBE) return e.Probe();
    if (!Handler) {
        W.Violations.push_back("control delivered before a handler was registered");
        return;
    }
    W.ControlsDelivered.push_back(e.Control);
    Handler(e.Control);
}

// Delivers the events due up to limitMs; those due exactly at limitMs only when inclusive.
void Deliver(int64_t limitMs, bool inclusive) {
    while (!Events.empty()) {
        auto first = Events.begin();
        if (first->first > limitMs || (!inclusive && first->first == limitMs)) break;
        Event e = first->second;
        if (first->first > NowMs) NowMs = first->first;
        Events.erase(first);
        Deliver(e);
    }
}

void DeliverDue() {
    Deliver(NowMs, true);
}

}  // namespace

void Reset() {
    W = World();
    NowMs = 0;
    Events.clear();
    Handler = nullptr;
    LastError = 0;
    ReportAttempts = 0;
    Stopped = false;
    P = Running();
    HandleOpen[0] = HandleOpen[1] = false;
}

void SetTime(int64_t seconds) {
    NowMs = (seconds - W.EpochSeconds) * 1000;
}

int64_t Now() {
    return NowMs;
}

void ScheduleControl(int64_t atMs, os::DWORD control) {
    Events.insert({atMs, {CONTROL, control, nullptr}});
}

void ScheduleProbe(int64_t atMs, void (*probe)()) {
    Events.insert({atMs, {PROBE, 0, probe}});
}

void WriteStatusFile(int statusByte, int64_t heartbeat) {
    unsigned char b[STATUS_FILE_MIN_SIZE];
    memset(b, 'Z', STATUS_BYTE_OFFSET);
    b[STATUS_BYTE_OFFSET] = static_cast<unsigned char>(statusByte);
    uint32_t u = static_cast<uint32_t>(heartbeat);
    for (int i = 0; i < 4; i++) b[HEARTBEAT_OFFSET + i] = static_cast<unsigned char>(u >> (8 * i));
    // In place, as a well-behaved program writes it: never emptied, even for a moment.
    FILE* f = fopen(STATUS_FILE, "r+b");
    if (!f) f = fopen(STATUS_FILE, "wb");
    if (!f) return;
    fwrite(b, 1, sizeof b, f);
    fclose(f);
}

}  // namespace sim

namespace os {

using sim::W;

int StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRY* table) {
    if (W.Fault.NoManager) {
        sim::LastError = 1063;  // the platform's "cannot connect to the service controller"
        return 0;
    }
    W.DispatchedNames.push_back(table[0].lpServiceName);
    std::string name = table[0].lpServiceName;
    char* argv[] = {&name[0], nullptr};
    table[0].lpServiceProc(1, argv);
    if (!sim::Stopped) W.Violations.push_back("service main returned without reporting stopped");
    return 1;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, HANDLER_FUNCTION handler) {
    if (W.Fault.RegisterFails) {
        sim::LastError = W.Fault.Error;
        return nullptr;
    }
    W.RegisteredName = name;
    sim::Handler = handler;
    return &W;
}

int SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
    sim::DeliverDue();
    if (handle != &W) W.Violations.push_back("status reported with a handle never issued");
    if (sim::Stopped) W.Violations.push_back("status reported after stopped");
    if (sim::ReportAttempts++ == 0 && W.Fault.FirstReportFails) {
        sim::LastError = W.Fault.Error;
        return 0;
    }
    sim::Report r = {sim::NowMs, *status};
    if (W.KeepReports) W.Reports.push_back(r);
    W.ReportCount++;
    W.LastReport = r;
    if (status->dwCurrentState == SERVICE_STOPPED) sim::Stopped = true;
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
    W.Launches.push_back({sim::NowMs, applicationName ? applicationName : "(null)", commandLine ? commandLine : "",
                          processAttributes == nullptr && threadAttributes == nullptr,
                          inheritHandles, creationFlags, environment == nullptr,
                          currentDirectory == nullptr, fromGet});
    if (W.Fault.LaunchFails) {
        sim::LastError = W.Fault.Error;
        return 0;
    }
    info->hProcess = sim::PROCESS_HANDLE;
    info->hThread = sim::THREAD_HANDLE;
    info->dwProcessId = 4242;
    info->dwThreadId = 4243;
    sim::HandleOpen[0] = sim::HandleOpen[1] = true;
    W.HandlesOpen += 2;
    sim::StartProgram();
    return 1;
}

int CloseHandle(HANDLE handle) {
    int i = handle == sim::PROCESS_HANDLE ? 0 : handle == sim::THREAD_HANDLE ? 1 : -1;
    if (i < 0 || !sim::HandleOpen[i]) {
        W.Violations.push_back("closed a handle that was not open");
        sim::LastError = 6;  // the platform's "invalid handle"
        return 0;
    }
    sim::HandleOpen[i] = false;
    W.HandlesOpen--;
    return 1;
}

// Directories are not simulated: the change is recorded, and fails only as an empty path would.
int SetCurrentDirectoryA(const char* path) {
    W.DirectoryChanges.push_back(path);
    if (path[0] != '\0') return 1;
    sim::LastError = 3;  // the platform's "path not found"
    return 0;
}

DWORD GetLastError() {
    return sim::LastError;
}

void Sleep(DWORD milliseconds) {
    sim::DeliverDue();
    int64_t end = sim::NowMs + milliseconds;
    if (end > W.LimitMs) {
        // A run that never ends would hang the test suite; no test asks for this.
        fprintf(stderr, "simulated run passed its limit of %lld virtual ms\n", static_cast<long long>(W.LimitMs));
        abort();
    }
    sim::Deliver(end, false);
    sim::NowMs = end;
}

int64_t time() {
    int64_t ms = sim::NowMs;
    int64_t whole = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return W.EpochSeconds + whole;
}

}  // namespace os
