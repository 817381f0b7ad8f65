// The service's life: ServiceMain launches the supervised program, watches its heartbeat and
// walks it through a cooperative stop; ServiceCtrlHandler takes the control requests.
#pragma once

#include <atomic>

#include "platform/platform.h"

// The supervised program, in the current directory, which the entry makes the executable's own.
const char PROGRAM_FILE[] = "ZARNQVL.EXE";

const os::DWORD SERVICE_TYPE = os::SERVICE_WIN32_OWN_PROCESS | os::SERVICE_INTERACTIVE_PROCESS;
const os::DWORD WAIT_HINT_MS = 120000;      // in every report
const os::DWORD LAUNCH_PAUSE_MS = 10000;    // after the launch, before the first running report
const os::DWORD PASS_SLEEP_MS = 1000;       // one pass of the running loop
const int STATUS_READ_EVERY = 30;           // passes between status reads, from pass 0
const os::DWORD HOLD_POLL_MS = 3000;        // between status reads while the hold bit is set
const os::DWORD FINISH_POLL_MS = 1000;      // between status reads until the program has gone

extern std::atomic<int> StopRequested; /* 0 until a stop is requested or the launch fails */

void ServiceMain(os::DWORD argc, char** argv);
void ServiceCtrlHandler(os::DWORD control);
