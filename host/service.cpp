// ServiceMain and ServiceCtrlHandler. The service learns of the supervised program only through
// its status file and acts on it only through the command file: it never waits on, signals or
// restarts the program's process, but ties the program's life to its own, so that none outlives it.
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
os::SERVICE_STATUS Status; /* only dwCurrentState changes, in ReportState, and the exit codes, in ReportStopped */

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

// Puts the launched program, not yet running, in a job that ends it with the host's process;
// 0, or the reason it could not. The job's handle is never closed here: the host's process closes
// it by ending, however it ends, and the program ends with it, so a host started again never
// finds one still running.
os::DWORD TieToHost(os::HANDLE process) {
    os::HANDLE job = os::CreateJobObjectA(nullptr, nullptr);
    os::JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = os::JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && os::SetInformationJobObject(job, os::JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
        os::AssignProcessToJobObject(job, process))
        return 0;
    return os::GetLastError();
}

// Launches the program; 0, or the launch's error, which the log then names.
os::DWORD LaunchProgram(os::STARTUPINFO* startup) {
    // CreateProcessA may write into its command line, so it gets a copy of its own.
    char commandLine[sizeof PROGRAM_FILE];
    memcpy(commandLine, PROGRAM_FILE, sizeof commandLine);
    os::PROCESS_INFORMATION process = {};
    // Named as the application, the program is looked for in the current directory alone:
    // with the command line only, a missing program would be searched for in the system
    // folders and along PATH, and whatever was planted there would run as the service's account.
    // Suspended until it is tied to the host, so not one instruction of it runs untied: a program
    // that could outlive its host could run beside the next host's.
    os::DWORD error = 0;
    if (!os::CreateProcessA(PROGRAM_FILE, commandLine, nullptr, nullptr, 0, os::CREATE_SUSPENDED, nullptr, nullptr,
                            startup, &process)) {
        error = os::GetLastError();
    } else if ((error = TieToHost(process.hProcess)) != 0) {
        os::TerminateProcess(process.hProcess, error);
    } else {
        os::ResumeThread(process.hThread);
    }
    if (process.hProcess) {
        // The handles are never used again: the program is watched through its status file alone.
        os::CloseHandle(process.hThread);
        os::CloseHandle(process.hProcess);
    }
    if (error) LogMessage("ZARNQVL not started! error=%d", static_cast<int>(error));
    return error;
}

// Reports running about once a second and reads the status every STATUS_READ_EVERY passes;
// returns 0 when a stop is requested, or the code that says how the program went.
uint32_t WatchProgram() {
    int pass = 0; /* passes since the last status read; kept below STATUS_READ_EVERY */
    bool seen = false; /* a read since the launch found the program there */
    while (!StopRequested) {
        ReportState(os::SERVICE_RUNNING);
        if (pass == 0) {
            StatusView view;
            ReadStatusView(&view);
            if (view.Answer == STATUS_ABSENT) return seen ? EndCode(view.Why) : END_NEVER_HEARTBEAT;
            seen = true;
        }
        pass = (pass + 1) % STATUS_READ_EVERY;
        os::Sleep(PASS_SLEEP_MS);
    }
    return 0;
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

// The last report: how the run ended, which no earlier report says.
void ReportStopped(os::DWORD win32Code, uint32_t specificCode) {
    Status.dwWin32ExitCode = specificCode ? os::ERROR_SERVICE_SPECIFIC_ERROR : win32Code;
    Status.dwServiceSpecificExitCode = specificCode;
    ReportState(os::SERVICE_STOPPED);
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
        // A failed launch ends the run as a stop does, but says so in the last report.
        os::DWORD launchError = LaunchProgram(&startup);
        if (launchError) StopRequested = 1;
        // A stop requested during the pause is acted on only after it.
        os::Sleep(LAUNCH_PAUSE_MS);
        uint32_t gone = WatchProgram();
        // A stop that came in while the program was found gone is still a stop asked for.
        if (StopRequested) {
            gone = 0;
            RunStopSequence();
        } else {
            LogMessage("QVL unloaded");
        }
        ReportStopped(launchError, gone);
    }
    LogMessage("QVL Service stopped");
}

void ServiceCtrlHandler(os::DWORD control) {
    if (control == os::SERVICE_CONTROL_STOP) StopRequested = 1;
    LogMessage("Stop request received");
}
