// The console platform: the seam's service control and launch for a trial run from a console
// (qvl trial) instead of under the service control manager, and the trial's other calls. The service main runs on a thread of
// its own, as under the manager; the dispatcher's thread calls the watcher about ten times a
// second and delivers the controls the watcher asks for. Files, processes, clock and sleeps
// stay the real Win32 ones.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/verdict.h"

namespace console {

struct Watcher {
    // On the service thread: each status report, and the launch (error 0 when it succeeded).
    void (*Reported)(int64_t ms, os::DWORD state);
    void (*Launched)(int64_t ms, os::DWORD error);
    // On the dispatcher's thread, about every TICK_MS while the dispatcher runs; returning
    // false ends it. returned: the service main has returned.
    bool (*Tick)(int64_t ms, bool returned);
};

const os::DWORD TICK_MS = 100;

// Set before StartServiceCtrlDispatcherA. Times are ms since that call.
void Watch(const Watcher& watcher);

// Delivers control to the registered handler on the calling thread, as the manager's
// dispatcher does; false when no handler is registered yet.
bool DeliverControl(os::DWORD control);

// Whether a program was launched; once it has ended, true, with its exit code. Any thread may
// ask while the service thread launches.
bool Launched();
bool ProgramEnded(uint32_t* code);

// Held by either thread while it adds to what the trial has seen.
void Lock();
void Unlock();

// Enters folder and finds out what a trial there needs (Refusal judges it); writes nothing.
Folder CheckFolder(const char* folder, const char* service);

}  // namespace console
