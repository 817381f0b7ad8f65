// ServiceMain and ServiceCtrlHandler. The service learns of the supervised program only through
// its status file and acts on it only through the command file: it never waits on, signals or
// restarts the program's process.
#include "host/service.h"

#include <cstring>

#include "link/link.h"
#include "log/log.h"

std::atomic<int> StopRequested(0);

namespace {

const os::SERVICE_STATUS STATUS_TEMPLATE = {
    SERVICE_TYPE, 0, os::SERVICE_ACCEPT_STOP, 0, 0, 0, WAIT_HINT_MS,
};

os::SERVICE_STATUS_HANDLE StatusHandle;
os::SERVICE_STATUS Status; /* only dwCurrentState ever changes, and only in ReportState */

int ReportState(os::DWORD state) {
    Status.dwCurrentState = state;
    return os::SetServiceStatus(StatusHandle, &Status);
}

bool RegisterHandler(const char* name) {
    StatusHandle = os::RegisterServiceCtrlHandlerA(name, ServiceCtrlHandler);
    if (!StatusHandle) {
        LogMessage("QVL Service start failed error=%X", os::GetLastError());
        return false;
    }
    LogMessage("QVL Service started");
    return true;
}

bool ReportStartPending() {
    if (ReportState(os::SERVICE_START_PENDING)) return true;
    LogMessage("QVL SetServiceStatus failed error=%d", static_cast<int>(os::GetLastError()));
    return false;
}

bool LaunchProgram(os::STARTUPINFO* startup) {
    // CreateProcessA may write into its command line, so it gets a copy of its own.
    char commandLine[sizeof PROGRAM_FILE];
    memcpy(commandLine, PROGRAM_FILE, sizeof commandLine);
    os::PROCESS_INFORMATION process = {};
    // Named as the application, the program is looked for in the current directory alone:
    // with the command line only, a missing program would be searched for in the system
    // folders and along PATH, and whatever was planted there would run as the service's account.
    if (!os::CreateProcessA(PROGRAM_FILE, commandLine, nullptr, nullptr, 0, 0, nullptr, nullptr, startup,
                            &process)) {
        LogMessage("ZARNQVL not started! error=%d", static_cast<int>(os::GetLastError()));
        return false;
    }
    // The handles are never used: the program is watched through its status file alone.
    os::CloseHandle(process.hThread);
    os::CloseHandle(process.hProcess);
    return true;
}

// Reports running about once a second and reads the status every STATUS_READ_EVERY passes;
// returns when a stop is requested or the program has gone.
void WatchProgram() {
    int pass = 0; /* passes since the last status read; kept below STATUS_READ_EVERY */
    while (!StopRequested) {
        ReportState(os::SERVICE_RUNNING);
        if (pass == 0 && ReadProgramStatus() == STATUS_ABSENT) return;
        pass = (pass + 1) % STATUS_READ_EVERY;
        os::Sleep(PASS_SLEEP_MS);
    }
}

// Begin, wait while the program holds, finish, then wait until the program has gone.
void RunStopSequence() {
    ReportState(os::SERVICE_STOP_PENDING);
    WriteProgramCommand(CMD_STOP_BEGIN);
    for (;;) {
        os::Sleep(HOLD_POLL_MS);
        int status = ReadProgramStatus();
        // An absent program holds nothing: waiting for its hold bit to clear would never end.
        if (status == STATUS_ABSENT || !(status & STATUS_HOLD_BIT)) break;
        ReportState(os::SERVICE_STOP_PENDING);
    }
    WriteProgramCommand(CMD_STOP_FINISH);
    while (ReadProgramStatus() != STATUS_ABSENT) os::Sleep(FINISH_POLL_MS);
}

}  // namespace

void ServiceMain(os::DWORD argc, char** argv) {
    const char* name = argc > 0 && argv && argv[0] ? argv[0] : "";
    Status = STATUS_TEMPLATE;
    LogMessage("Starting QVL service %s", name);
    if (RegisterHandler(name) && ReportStartPending()) {
        os::STARTUPINFO startup;
        os::GetStartupInfoA(&startup);
        if (ReadProgramStatus() != 0) WriteProgramCommand(CMD_BEFORE_LAUNCH);
        if (!LaunchProgram(&startup)) StopRequested = 1;
        // A stop requested during the pause is acted on only after it.
        os::Sleep(LAUNCH_PAUSE_MS);
        WatchProgram();
        if (StopRequested)
            RunStopSequence();
        else
            LogMessage("QVL unloaded");
        ReportState(os::SERVICE_STOPPED);
    }
    LogMessage("QVL Service stopped");
}

void ServiceCtrlHandler(os::DWORD control) {
    if (control == os::SERVICE_CONTROL_STOP) StopRequested = 1;
    LogMessage("Stop request received");
}
