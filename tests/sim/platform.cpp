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

// Delivers the events due up to limitMs; those due exactly at limitMs only when inclusive.
void Deliver(int64_t limitMs, bool inclusive) {
    while (!W.Events.empty()) {
        auto first = W.Events.begin();
        if (first->first > limitMs || (!inclusive && first->first == limitMs)) break;
        Event e = first->second;
        if (first->first > W.Now.Ms) W.Now.Ms = first->first;
        W.Events.erase(first);
        Deliver(e);
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

void ScheduleCall(int64_t atMs, void (*call)()) {
    W.Events.insert({atMs, {0, call}});
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
    info->hProcess = sim::PROCESS_HANDLE;
    info->hThread = sim::THREAD_HANDLE;
    info->dwProcessId = 4242;
    info->dwThreadId = 4243;
    W.HandleOpen[0] = W.HandleOpen[1] = true;
    W.HandlesOpen += 2;
    sim::StartProgram();
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
    sim::Deliver(end, false);
    W.Now.Ms = end;
}

int64_t time() {
    int64_t ms = W.Now.Ms;
    int64_t whole = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return W.EpochSeconds + whole;
}

}  // namespace os
