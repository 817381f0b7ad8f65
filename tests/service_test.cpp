// Whole service runs on the simulated platform: the reports the manager sees and when, the
// commands the program receives, and the log, for the ordinary run and each way a run can go.
#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tests/sim/sim.h"
#include "tests/support.h"

namespace {

using sim::W;

const char* StateName(os::DWORD state) {
    switch (state) {
    case os::SERVICE_STOPPED: return "STOPPED";
    case os::SERVICE_START_PENDING: return "START_PENDING";
    case os::SERVICE_STOP_PENDING: return "STOP_PENDING";
    case os::SERVICE_RUNNING: return "RUNNING";
    }
    return "?";
}

class Service : public InScratchDir {
protected:
    void RunService(const char* name = "QVLService") {
        std::string copy = name;
        char* argv[] = {&copy[0], nullptr};
        ServiceMain(1, argv);
    }

    // The reports as "STATE@ms", a run of three or more evenly spaced equal states written
    // "STATE@first..last/step".
    static std::string Timeline() {
        const std::vector<sim::Report>& r = W.Reports;
        std::string out;
        for (size_t i = 0; i < r.size();) {
            size_t j = i + 1;
            os::DWORD state = r[i].Status.dwCurrentState;
            int64_t step = j < r.size() ? r[j].AtMs - r[i].AtMs : 0;
            while (j < r.size() && r[j].Status.dwCurrentState == state && r[j].AtMs - r[j - 1].AtMs == step) j++;
            if (!out.empty()) out += " ";
            out += std::string(StateName(state)) + "@" + std::to_string(r[i].AtMs);
            if (j - i >= 3) {
                out += ".." + std::to_string(r[j - 1].AtMs) + "/" + std::to_string(step);
            } else {
                j = i + 1;
            }
            i = j;
        }
        return out;
    }

    // The log's messages, without their time prefix.
    static std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const std::string& line : LogLines()) out.push_back(line.size() >= 30 ? line.substr(30) : "<short>" + line);
        return out;
    }

    // Checks the run just made and starts the next case of a table from scratch.
    void NextCase() {
        TearDown();
        SetUp();
    }

    // What holds in every run, whatever else it tests.
    void TearDown() override {
        for (const sim::Report& r : W.Reports) {
            EXPECT_EQ(r.Status.dwServiceType, 0x110u);
            EXPECT_EQ(r.Status.dwControlsAccepted, 1u);
            // Only the last report says how the run ended; a service-specific code always comes
            // with the Win32 code that says one is set, and never without it.
            const os::SERVICE_STATUS& s = r.Status;
            if (s.dwCurrentState != os::SERVICE_STOPPED) {
                EXPECT_EQ(s.dwWin32ExitCode, 0u);
                EXPECT_EQ(s.dwServiceSpecificExitCode, 0u);
            }
            EXPECT_EQ(s.dwWin32ExitCode == os::ERROR_SERVICE_SPECIFIC_ERROR, s.dwServiceSpecificExitCode != 0);
            EXPECT_EQ(r.Status.dwCheckPoint, 0u);
            EXPECT_EQ(r.Status.dwWaitHint, 120000u);
        }
        EXPECT_EQ(W.HandlesOpen, 0);
        EXPECT_EQ(W.Violations, std::vector<std::string>());
        InScratchDir::TearDown();
    }
};

typedef std::vector<std::string> Lines;
typedef std::vector<int32_t> Commands;

TEST_F(Service, StopWhileRunningWalksTheProgramThroughBothPhases) {
    sim::ScheduleControl(45500, os::SERVICE_CONTROL_STOP);
    RunService();

    // Stop seen at the next pass; the hold bit (set 46.5 s to 51.5 s) is read at 49 s and
    // cleared at 52 s; the last heartbeat, at 51 s, is stale at the read of 142 s.
    EXPECT_EQ(Timeline(),
              "START_PENDING@0 RUNNING@10000..45000/1000 STOP_PENDING@46000 STOP_PENDING@49000 "
              "STOPPED@142000");
    EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
    Bytes log = ReadBytes(LOG_FILE);
    EXPECT_EQ(std::string(log.begin(), log.end()),
              "Tue 14 Nov 22:13:20 : SVCE  : Starting QVL service QVLService\r\n"
              "Tue 14 Nov 22:13:20 : SVCE  : QVL Service started\r\n"
              "Tue 14 Nov 22:14:05 : SVCE  : Stop request received\r\n"
              "Tue 14 Nov 22:15:42 : SVCE  : QVL Service stopped\r\n");
    EXPECT_EQ(W.RegisteredName, "QVLService");

    ASSERT_EQ(W.Launches.size(), 1u);
    const sim::Launch& l = W.Launches[0];
    EXPECT_EQ(l.AtMs, 0);
    EXPECT_EQ(l.ApplicationName, "ZARNQVL.EXE");  // never searched for along PATH
    EXPECT_EQ(l.CommandLine, "ZARNQVL.EXE");
    EXPECT_TRUE(l.SecurityAttributesNull);
    EXPECT_EQ(l.InheritHandles, 0);
    EXPECT_EQ(l.CreationFlags, os::CREATE_SUSPENDED);  // not one instruction runs before it is tied
    EXPECT_TRUE(l.EnvironmentNull);
    EXPECT_TRUE(l.CurrentDirectoryNull);
    EXPECT_TRUE(l.StartupInfoFromGetStartupInfo);
    // Tied to the host by a job that ends it when the host's process ends, which the host never
    // closes itself.
    ASSERT_EQ(W.Runs.size(), 1u);
    ASSERT_GE(W.Runs[0].Job, 0);
    EXPECT_TRUE(W.Jobs[W.Runs[0].Job].KillOnClose);
    EXPECT_TRUE(W.Jobs[W.Runs[0].Job].Open);
    EXPECT_EQ(W.LastReport.Status.dwWin32ExitCode, 0u);
    EXPECT_EQ(W.LastReport.Status.dwServiceSpecificExitCode, 0u);
}

TEST_F(Service, ARunAcross2038GoesAsAnyOther) {
    const int64_t WRAP = int64_t(1) << 31, YEAR = 365 * 86400LL;
    // The program writes the low 32 bits of the time; the run starts this long before the wrap.
    for (int64_t start : {WRAP + YEAR, WRAP - YEAR, WRAP - 60, WRAP - 45, WRAP + 1, int64_t(4102444800)}) {
        SCOPED_TRACE(start - WRAP);
        NextCase();
        W.EpochSeconds = start;
        sim::ScheduleControl(95500, os::SERVICE_CONTROL_STOP);
        RunService();
        EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..95000/1000 STOP_PENDING@96000 STOP_PENDING@99000 "
                              "STOPPED@192000");
        EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
    }
}

TEST_F(Service, ProgramThatNeverBeatsIsTakenAsGoneAfterThePause) {
    struct Case {
        const char* what;
        void (*prepare)();
        Commands seen;
    } cases[] = {
        {"no status file", [] {}, {CMD_BEFORE_LAUNCH}},
        {"status file is a directory", [] { std::filesystem::create_directory(STATUS_FILE); },
         {CMD_BEFORE_LAUNCH}},
        {"status file stops short of its heartbeat",
         [] { WriteBytes(STATUS_FILE, StatusFileBytes(0, W.EpochSeconds + 10, 15)); }, {CMD_BEFORE_LAUNCH}},
        {"a zero left fresh by an earlier run goes stale during the pause",
         [] { WriteBytes(STATUS_FILE, StatusFileBytes(0, W.EpochSeconds - 85)); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NextCase();
        W.Script.Heartbeat = false;
        c.prepare();
        RunService("Another Name");
        EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000 STOPPED@10000");
        EXPECT_EQ(Messages(), Lines({"Starting QVL service Another Name", "QVL Service started",
                                     "QVL unloaded", "QVL Service stopped"}));
        EXPECT_EQ(W.RegisteredName, "Another Name");
        EXPECT_EQ(W.CommandsSeen, c.seen);
    }
}

TEST_F(Service, StopBeforeOrDuringThePauseIsActedOnAfterItWithoutEverRunning) {
    struct Case {
        int64_t stopAtMs;
        const char* logged;
    } cases[] = {
        {0, "Tue 14 Nov 22:13:20 : SVCE  : Stop request received"},  // before the launch: not prevented
        {5000, "Tue 14 Nov 22:13:25 : SVCE  : Stop request received"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAtMs);
        NextCase();
        sim::ScheduleControl(c.stopAtMs, os::SERVICE_CONTROL_STOP);
        RunService();
        EXPECT_EQ(W.Launches.size(), 1u);
        EXPECT_EQ(Timeline(), "START_PENDING@0 STOP_PENDING@10000 STOP_PENDING@13000 STOPPED@106000");
        std::vector<std::string> lines = LogLines();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], c.logged);
        EXPECT_EQ(lines[3].substr(30), "QVL Service stopped");
        EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
    }
}

TEST_F(Service, OtherControlsAreLoggedAndTheServiceKeepsRunning) {
    for (os::DWORD control : {os::SERVICE_CONTROL_INTERROGATE, os::DWORD(200), os::DWORD(2)}) {
        SCOPED_TRACE(control);
        NextCase();
        sim::ScheduleControl(20500, control);
        sim::ScheduleControl(60500, os::SERVICE_CONTROL_STOP);
        RunService();
        std::string running = "START_PENDING@0 RUNNING@10000..60000/1000 STOP_PENDING@61000 ";
        EXPECT_EQ(Timeline().substr(0, running.size()), running);
        EXPECT_EQ(Messages(), Lines({"Starting QVL service QVLService", "QVL Service started",
                                     "Stop request received", "Stop request received", "QVL Service stopped"}));
    }
}

TEST_F(Service, BeforeLaunchCommandOnlyWhenTheStatusIsNotAFreshZero) {
    struct Case {
        const char* what;
        int statusByte;     // -1: no status file
        int64_t age;
        bool beforeLaunch;
    } cases[] = {
        {"fresh zero", 0x00, 0, false},
        {"zero exactly 90 s old", 0x00, 90, false},
        {"zero 91 s old", 0x00, 91, true},
        {"fresh 0x01", 0x01, 0, true},
        {"fresh hold bit", 0x80, 0, true},
        {"fresh 0xFF", 0xFF, 0, true},
        {"missing", -1, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NextCase();
        if (c.statusByte >= 0) WriteBytes(STATUS_FILE, StatusFileBytes(c.statusByte, W.EpochSeconds - c.age));
        sim::ScheduleControl(12200, os::SERVICE_CONTROL_STOP);
        RunService();
        Commands expected = {CMD_STOP_BEGIN, CMD_STOP_FINISH};
        if (c.beforeLaunch) expected.insert(expected.begin(), CMD_BEFORE_LAUNCH);
        EXPECT_EQ(W.CommandsSeen, expected);
    }
}

TEST_F(Service, StaleHeartbeatIsNoticedAtTheNextThirtiethPass) {
    // Heartbeats are written at 0.5 s, 1.5 s, ...; reads come at 10 s, 40 s, 70 s, 100 s, ...
    struct Case {
        int64_t diesAtMs;
        const char* timeline;
    } cases[] = {
        {20000, "START_PENDING@0 RUNNING@10000..130000/1000 STOPPED@130000"},  // last beat 19 s
        {40000, "START_PENDING@0 RUNNING@10000..130000/1000 STOPPED@130000"},  // 39 s: stale at 130
        {41000, "START_PENDING@0 RUNNING@10000..160000/1000 STOPPED@160000"},  // 40 s: fresh at 130
        {5000, "START_PENDING@0 RUNNING@10000..100000/1000 STOPPED@100000"},   // dies in the pause
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diesAtMs);
        NextCase();
        W.Script.QuitAfterMs = c.diesAtMs;
        RunService();
        EXPECT_EQ(Timeline(), c.timeline);
        EXPECT_EQ(Messages(), Lines({"Starting QVL service QVLService", "QVL Service started",
                                     "QVL unloaded", "QVL Service stopped"}));
    }
}

TEST_F(Service, StatusByteOfNoneWhileRunningIsTakenAsGone) {
    W.Script.Changes = {{50000, STATUS_NONE}};
    RunService();
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..70000/1000 STOPPED@70000");
    EXPECT_EQ(Messages()[2], "QVL unloaded");
}

TEST_F(Service, StopArrivingAfterThePassTestButBeforeAnAbsentReadRunsTheStopSequence) {
    W.Script.Heartbeat = false;
    sim::ScheduleControl(10000, os::SERVICE_CONTROL_STOP);  // just after the pause ends
    RunService();
    // The absent first phase ends at its first read; the second sees the absence at once.
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000 STOP_PENDING@10000 STOPPED@13000");
    EXPECT_EQ(Messages(), Lines({"Starting QVL service QVLService", "QVL Service started",
                                 "Stop request received", "QVL Service stopped"}));
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
}

TEST_F(Service, FailedLaunchRunsThePauseAndStopsByItself) {
    W.Fault.LaunchFails = true;
    W.Fault.Error = 2;
    RunService();
    EXPECT_EQ(Timeline(), "START_PENDING@0 STOP_PENDING@10000 STOPPED@13000");
    EXPECT_EQ(Messages(), Lines({"Starting QVL service QVLService", "QVL Service started",
                                 "ZARNQVL not started! error=2", "QVL Service stopped"}));
    EXPECT_EQ(StopRequested, 1);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
}

TEST_F(Service, FailedLaunchBesideAnEarlierRunsHoldingStatusWaitsUntilItIsStale) {
    WriteBytes(STATUS_FILE, StatusFileBytes(STATUS_HOLD_BIT, W.EpochSeconds));
    W.Fault.LaunchFails = true;
    W.Fault.Error = 5;
    RunService();
    // Held from 13 s to 88 s; at the read of 91 s the heartbeat is 91 s old.
    EXPECT_EQ(Timeline(), "START_PENDING@0 STOP_PENDING@10000..88000/3000 STOPPED@91000");
    EXPECT_EQ(Messages()[2], "ZARNQVL not started! error=5");
}

// How the status goes when the program goes, each from 50 s on, while no stop is asked for.
void QuitAndRemoveStatus() {
    W.Script.QuitAfterMs = 50000;
    sim::ScheduleCall(50500, [] { std::filesystem::remove(STATUS_FILE); });
}

void QuitAndCutStatusShort() {
    W.Script.QuitAfterMs = 50000;
    sim::ScheduleCall(50500, [] { std::filesystem::resize_file(STATUS_FILE, STATUS_FILE_MIN_SIZE - 1); });
}

TEST_F(Service, EachWayARunEndsIsSaidByItsLastReportAlone) {
    const os::DWORD SPECIFIC = os::ERROR_SERVICE_SPECIFIC_ERROR;
    struct Case {
        const char* what;
        std::function<void()> prepare;
        os::DWORD win32;
        os::DWORD specific;
        int64_t stoppedAtMs;
        const char* logged;  // the message before the last
    } cases[] = {
        {"a requested stop", [] { sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP); }, 0, 0, 127000,
         "Stop request received"},
        {"a stop that comes in as the program is found gone",
         [] {
             W.Script.Heartbeat = false;
             sim::ScheduleControl(10000, os::SERVICE_CONTROL_STOP);
         },
         0, 0, 13000, "Stop request received"},
        {"no program to launch",
         [] {
             W.Fault.LaunchFails = true;
             W.Fault.Error = 2;
         },
         2, 0, 13000, "ZARNQVL not started! error=2"},
        {"a failed launch and a stop during the pause: the launch's failure is what ended it",
         [] {
             W.Fault.LaunchFails = true;
             W.Fault.Error = 193;
             sim::ScheduleControl(5000, os::SERVICE_CONTROL_STOP);
         },
         193, 0, 13000, "Stop request received"},
        {"a program that cannot be tied to the host",
         [] {
             W.Fault.AssignFails = true;
             W.Fault.Error = 5;
         },
         5, 0, 13000, "ZARNQVL not started! error=5"},
        {"status file removed", QuitAndRemoveStatus, SPECIFIC, END_STATUS_GONE, 70000, "QVL unloaded"},
        {"status file cut short", QuitAndCutStatusShort, SPECIFIC, END_STATUS_SHORT, 70000, "QVL unloaded"},
        {"status byte 0xFF", [] { W.Script.Changes = {{50000, STATUS_NONE}}; }, SPECIFIC, END_STATUS_NONE, 70000,
         "QVL unloaded"},
        {"heartbeat gone stale", [] { W.Script.QuitAfterMs = 20000; }, SPECIFIC, END_HEARTBEAT_STALE, 130000,
         "QVL unloaded"},
        {"never a heartbeat", [] { W.Script.Heartbeat = false; }, SPECIFIC, END_NEVER_HEARTBEAT, 10000,
         "QVL unloaded"},
        {"a status byte 0xFF from the first read on", [] { W.Script.Changes = {{0, STATUS_NONE}}; }, SPECIFIC,
         END_NEVER_HEARTBEAT, 10000, "QVL unloaded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NextCase();
        c.prepare();
        RunService();
        ASSERT_FALSE(W.Reports.empty());
        const sim::Report& last = W.Reports.back();
        EXPECT_EQ(last.Status.dwCurrentState, os::SERVICE_STOPPED);
        EXPECT_EQ(last.AtMs, c.stoppedAtMs);
        EXPECT_EQ(last.Status.dwWin32ExitCode, c.win32);
        EXPECT_EQ(last.Status.dwServiceSpecificExitCode, c.specific);
        for (size_t i = 0; i + 1 < W.Reports.size(); i++) {
            EXPECT_EQ(W.Reports[i].Status.dwWin32ExitCode, 0u) << i;
            EXPECT_EQ(W.Reports[i].Status.dwServiceSpecificExitCode, 0u) << i;
        }
        Lines messages = Messages();
        ASSERT_GE(messages.size(), 2u);
        EXPECT_EQ(messages[messages.size() - 2], c.logged);
        EXPECT_EQ(messages.back(), "QVL Service stopped");
        if (c.win32 != 0 && c.win32 != SPECIFIC) {
            EXPECT_EQ(W.MostProgramsAlive, 0);  // a failed launch never lets the program run
        }
    }
}

// Killed from outside (Task Manager, a crash), the host reports nothing more; the manager may
// then start it again. Its program must be gone by then, or the next host would launch a second.
TEST_F(Service, AHostKilledTakesItsProgramWithItSoTheNextHostRunsTheOnlyOne) {
    EXPECT_TRUE(sim::RunUntilKilled(50000, ServiceMain));
    EXPECT_EQ(sim::ProgramsAlive(), 1);  // until its process is gone
    EXPECT_EQ(W.Reports.back().Status.dwCurrentState, os::SERVICE_RUNNING);
    sim::EndHostProcess();
    EXPECT_EQ(sim::ProgramsAlive(), 0);

    // Started again a minute later, beside the status the first program left fresh.
    StopRequested = 0;
    W.CommandsSeen.clear();
    W.Reports.clear();
    sim::ScheduleControl(110000 + 45500, os::SERVICE_CONTROL_STOP);
    sim::ScheduleCall(110000, [] {});
    os::Sleep(110000 - static_cast<os::DWORD>(sim::Now()));
    RunService();
    EXPECT_EQ(W.Runs.size(), 2u);
    EXPECT_EQ(W.MostProgramsAlive, 1);
    // The first host's 0x8000, still in the file, is noted at the second program's start.
    EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
    EXPECT_EQ(W.Reports.back().Status.dwCurrentState, os::SERVICE_STOPPED);
    EXPECT_EQ(W.Reports.back().Status.dwWin32ExitCode, 0u);
    sim::EndHostProcess();
    EXPECT_EQ(sim::ProgramsAlive(), 0);
}

TEST_F(Service, AFailureBeforeTheLaunchEndsTheRunThere) {
    struct Case {
        bool sim::Faults::*fault;
        os::DWORD error;
        Lines messages;
    } cases[] = {
        {&sim::Faults::RegisterFails, 1063,
         {"Starting QVL service QVLService", "QVL Service start failed error=427", "QVL Service stopped"}},
        {&sim::Faults::FirstReportFails, 6,
         {"Starting QVL service QVLService", "QVL Service started", "QVL SetServiceStatus failed error=6",
          "QVL Service stopped"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        NextCase();
        W.Fault.*c.fault = true;
        W.Fault.Error = c.error;
        RunService();
        EXPECT_EQ(Timeline(), "");
        EXPECT_TRUE(W.Launches.empty());
        EXPECT_FALSE(Exists(COMMAND_FILE));
        EXPECT_EQ(Messages(), c.messages);
    }
}

TEST_F(Service, EachWayOfGoingEndsTheSecondPhase) {
    // Stop seen at 31 s; hold from 31.5 s to 36.5 s; finish written at 37 s, seen at 37.5 s.
    struct Case {
        sim::Program::Ending ends;
        const char* last;
    } cases[] = {
        {sim::Program::REMOVES_FILE, "STOPPED@38000"},
        {sim::Program::WRITES_NONE, "STOPPED@38000"},
        {sim::Program::GOES_STALE, "STOPPED@127000"},  // last beat at 36 s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        NextCase();
        W.Script.Ends = c.ends;
        sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
        RunService();
        EXPECT_EQ(Timeline(), std::string("START_PENDING@0 RUNNING@10000..30000/1000 STOP_PENDING@31000 "
                                          "STOP_PENDING@34000 ") + c.last);
    }
}

TEST_F(Service, SecondPhaseWaitsAsLongAsTheHeartbeatStaysFresh) {
    W.Script.FreshAfterFinishMs = 10 * 60 * 1000;
    sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
    auto start = std::chrono::steady_clock::now();
    RunService();
    auto took = std::chrono::steady_clock::now() - start;
    // Beats until 636.5 s, stale at the read of 727 s; nothing is reported in between.
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..30000/1000 STOP_PENDING@31000 "
                          "STOP_PENDING@34000 STOPPED@727000");
    RecordProperty("wall_ms_for_727_virtual_seconds",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

TEST_F(Service, FurtherStopsDuringTheStopSequenceAreOnlyLogged) {
    sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
    sim::ScheduleControl(33500, os::SERVICE_CONTROL_STOP);
    sim::ScheduleControl(60500, os::SERVICE_CONTROL_STOP);
    RunService();
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..30000/1000 STOP_PENDING@31000 "
                          "STOP_PENDING@34000 STOPPED@127000");
    EXPECT_EQ(Messages(), Lines({"Starting QVL service QVLService", "QVL Service started",
                                 "Stop request received", "Stop request received", "Stop request received",
                                 "QVL Service stopped"}));
    EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
}

TEST_F(Service, RunsTheSameWithoutAWritableLog) {
    std::filesystem::create_directory(LOG_FILE);
    sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
    RunService();
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..30000/1000 STOP_PENDING@31000 "
                          "STOP_PENDING@34000 STOPPED@127000");
    EXPECT_TRUE(std::filesystem::is_empty(LOG_FILE));
}

}  // namespace

namespace {

// Commands the program saw must keep the order before-launch, begin, finish, with none twice.
bool InOrder(const Commands& seen) {
    const Commands order = {CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH};
    size_t next = 0;
    for (int32_t c : seen) {
        while (next < order.size() && order[next] != c) next++;
        if (next == order.size()) return false;
        next++;
    }
    return true;
}

TEST_F(Service, StopAtAnySecondOfARunEndsInStopped) {
    // The program dies at 45 s; unasked, the service would take it as gone at 160 s.
    for (int64_t stopAt = 0; stopAt <= 170000; stopAt += 500) {
        SCOPED_TRACE(stopAt);
        NextCase();
        W.Script.QuitAfterMs = 45000;
        sim::ScheduleControl(stopAt, os::SERVICE_CONTROL_STOP);
        RunService();
        ASSERT_FALSE(W.Reports.empty());
        EXPECT_EQ(W.Reports.back().Status.dwCurrentState, os::SERVICE_STOPPED);
        EXPECT_TRUE(InOrder(W.CommandsSeen));
        std::vector<std::string> messages = Messages();
        EXPECT_EQ(messages.back(), "QVL Service stopped");
        bool unloaded = std::count(messages.begin(), messages.end(), "QVL unloaded") == 1;
        EXPECT_EQ(unloaded, stopAt > 160000);
        if (!unloaded) {
            EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
        }
    }
}

TEST_F(Service, StormOfControlsIsLoggedOnceEachAndTheRunStillStops) {
    const int CONTROLS = 1000;
    std::mt19937 random(7);
    const os::DWORD codes[] = {os::SERVICE_CONTROL_INTERROGATE, 128, 200, 255, 2, 3, os::SERVICE_CONTROL_STOP};
    for (int i = 0; i < CONTROLS; i++) sim::ScheduleControl(random() % 60000, codes[random() % 7]);
    RunService();
    std::vector<std::string> messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Stop request received"), CONTROLS);
    EXPECT_EQ(W.ControlsDelivered.size(), static_cast<size_t>(CONTROLS));
    EXPECT_EQ(W.Reports.back().Status.dwCurrentState, os::SERVICE_STOPPED);
    EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
}

TEST_F(Service, ControlsFromTheDispatcherThreadRaceTheServiceThreadSafely) {
    const int CONTROLS = 1000;
    std::thread dispatcher([] {
        for (int i = 0; i < CONTROLS; i++) ServiceCtrlHandler(i % 2 ? os::SERVICE_CONTROL_INTERROGATE : 200);
        ServiceCtrlHandler(os::SERVICE_CONTROL_STOP);
    });
    RunService();
    dispatcher.join();
    std::vector<std::string> messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Stop request received"), CONTROLS + 1);
    EXPECT_EQ(W.Reports.back().Status.dwCurrentState, os::SERVICE_STOPPED);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
}

TEST_F(Service, ProgramDyingWhileItHoldsIsWaitedOutUntilItsHeartbeatIsStale) {
    W.Script.HoldMs = 20000;
    W.Script.QuitAfterMs = 35000;  // last beat, hold bit set, at 34.5 s
    sim::ScheduleControl(30500, os::SERVICE_CONTROL_STOP);
    RunService();
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..30000/1000 STOP_PENDING@31000..124000/3000 "
                          "STOPPED@127000");
}

TEST_F(Service, FinishIsWrittenOnlyAfterAReadFindsTheHoldBitClear) {
    W.Script.HoldMs = 0;  // the hold bit comes from the schedule alone
    W.Script.Changes = {{20000, 0x80}, {25000, 0x00}, {30000, 0x80}, {47000, 0x00}};
    sim::ScheduleControl(38500, os::SERVICE_CONTROL_STOP);
    RunService();
    // A set hold bit counts as present while running; reads at 42 s and 45 s find it set.
    EXPECT_EQ(Timeline(), "START_PENDING@0 RUNNING@10000..38000/1000 STOP_PENDING@39000..45000/3000 "
                          "STOPPED@138000");
    EXPECT_EQ(W.CommandsSeen, Commands({CMD_BEFORE_LAUNCH, CMD_STOP_BEGIN, CMD_STOP_FINISH}));
}

}  // namespace
