// Faults in the shared files and the log: files locked, read-only, unreadable or huge, folders
// that cannot be written, and a year of supervision without growth.
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tests/sim/sim.h"
#include "tests/support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using sim::W;

const Bytes FINISH = {0x0A, 0x00, 0x00, 0x00};
const Bytes BEGIN = {0x01, 0x00, 0x00, 0x00};

typedef InScratchDir Faults;

TEST_F(Faults, HugeStatusFileIsReadByItsFirstSeventeenBytes) {
    sim::SetTime(1700000000);
    Bytes b = StatusFileBytes(0x21, 1700000000, 32 * 1024 * 1024);
    WriteBytes(STATUS_FILE, b);
    EXPECT_EQ(ReadProgramStatus(), 0x21);
}

#ifdef _WIN32

// Another process holding a file with no sharing: here, a handle of this one, which the
// system treats alike.
HANDLE Lock(const char* name) {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
}

TEST_F(Faults, LockedFilesAreSkippedAsTheirFailuresSay) {
    sim::SetTime(1700000000);
    WriteBytes(STATUS_FILE, StatusFileBytes(0, 1700000000));
    WriteBytes(COMMAND_FILE, BEGIN);
    LogMessage("before");
    HANDLE locks[] = {Lock(STATUS_FILE), Lock(COMMAND_FILE), Lock(LOG_FILE)};
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
    WriteProgramCommand(CMD_STOP_FINISH);
    LogMessage("while locked");
    for (HANDLE h : locks) CloseHandle(h);
    EXPECT_EQ(ReadProgramStatus(), 0);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), BEGIN);
    EXPECT_EQ(LogLines().size(), 1u);
    LogMessage("after");
    EXPECT_EQ(LogLines().size(), 2u);
}

// Read-only files are tested as an unprivileged POSIX user below: Wine, run as root here, lets
// writes through a read-only attribute.

#else

void RunService() {
    char name[] = "QVLService";
    char* argv[] = {name, nullptr};
    ServiceMain(1, argv);
}

// Runs check in a child process without root's power to ignore permissions; the child's exit
// status is the number of checks that failed there.
int AsUnprivileged(const std::function<int()>& check) {
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(check());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(Faults, FilesThatCannotBeWrittenOrReadAreSkippedSilently) {
    sim::SetTime(1700000000);
    WriteBytes(STATUS_FILE, StatusFileBytes(0, 1700000000));
    WriteBytes(COMMAND_FILE, BEGIN);
    LogMessage("before");
    Bytes log = ReadBytes(LOG_FILE);
    chmod(STATUS_FILE, 0);
    chmod(COMMAND_FILE, 0444);
    chmod(LOG_FILE, 0444);
    chmod(Dir.c_str(), 0777);
    EXPECT_EQ(AsUnprivileged([] {
                  WriteProgramCommand(CMD_STOP_FINISH);
                  LogMessage("while read-only");
                  return ReadProgramStatus() == STATUS_ABSENT ? 0 : 1;
              }),
              0);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), BEGIN);
    EXPECT_EQ(ReadBytes(LOG_FILE), log);
}

TEST_F(Faults, InAReadOnlyFolderTheServiceRunsAsItWouldWithALog) {
    chmod(Dir.c_str(), 0555);
    sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
    EXPECT_EQ(AsUnprivileged([] {
                  RunService();
                  // Nothing could be written, so the program was never seen: gone at 10 s.
                  int failures = 0;
                  failures += W.Reports.size() != 3;
                  failures += W.Reports.back().Status.dwCurrentState != os::SERVICE_STOPPED;
                  failures += W.Reports.back().AtMs != 10000;
                  return failures;
              }),
              0);
    EXPECT_TRUE(std::filesystem::is_empty(Dir));
}

#endif

#ifndef _WIN32

int OpenDescriptors() {
    int n = 0;
    for (auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        n++;
    }
    return n;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

int DescriptorsAfterAMonth, DescriptorsAfterAYear;
long ResidentAfterAMonth, ResidentAfterAYear;

TEST_F(Faults, AYearOfSupervisionGrowsNothingAndKeepsTheReadSchedule) {
    const int64_t DAY = 86400 * 1000LL, YEAR = 365 * DAY;
    W.KeepReports = false;
    W.LimitMs = YEAR + DAY;
    W.Script.TickMs = 30000;  // beats at 0.5 s, 30.5 s, ...: 10 s to 40 s old at each read
    W.Script.QuitAfterMs = YEAR;
    sim::ScheduleCall(30 * DAY, [] {
        DescriptorsAfterAMonth = OpenDescriptors();
        ResidentAfterAMonth = ResidentKb();
    });
    sim::ScheduleCall(360 * DAY, [] {
        DescriptorsAfterAYear = OpenDescriptors();
        ResidentAfterAYear = ResidentKb();
    });
    RunService();

    // The last beat comes at the last tick before the program dies; the service must find it
    // stale at the first 30th-pass read (10 s + 30 s * n) more than 90 s after it.
    int64_t lastTick = 500 + (YEAR - 1 - 500) / 30000 * 30000;
    int64_t staleAt = (lastTick / 1000 + HEARTBEAT_MAX_AGE + 1) * 1000;
    int64_t read = 10000 + (staleAt - 10000 + 29999) / 30000 * 30000;
    EXPECT_EQ(W.LastReport.Status.dwCurrentState, os::SERVICE_STOPPED);
    EXPECT_EQ(W.LastReport.AtMs, read);
    EXPECT_EQ(W.ReportCount, 1 + (read - 10000) / 1000 + 1 + 1);  // start, each pass, stopped
    EXPECT_EQ(LogLines().size(), 4u);
    EXPECT_EQ(DescriptorsAfterAYear, DescriptorsAfterAMonth);
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory aside for a while, so there the resident size says
    // nothing; the plain build checks it.)
    EXPECT_LT(ResidentAfterAYear - ResidentAfterAMonth, 256) << "kB grown in eleven months";
#endif
    RecordProperty("virtual_passes", static_cast<int>(W.ReportCount));
}

#endif

}  // namespace
