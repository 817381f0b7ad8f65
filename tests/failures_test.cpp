// How the service's failures reach the operator through qvl, on the simulated Windows: install's
// recovery as each Windows takes it, audit's reading of whatever recovery the service has (a
// command it runs as LocalSystem judged as the service's own path), and how status and check
// word the way the last run ended.
#include <gtest/gtest.h>

#include <functional>

#include "host/entry.h"
#include "host/service.h"
#include "link/link.h"
#include "tests/winsim/tool.h"
#include "tools/qvl/door.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/recovery.h"
#include "tools/qvl/security.h"

namespace {

using namespace winsim;

const char FOLDER[] = "C:\\QVL";

bool Says(const Ran& r, const std::string& part) {
    return r.Said.find(part) != std::string::npos;
}

TEST(Failures, InstallSetsRecoveryAsEachWindowsTakesIt) {
    struct Case {
        const char* what;
        int major, minor;
        bool refusesFlag;
        std::vector<std::string> args;
        bool actions, flag;
        const char* says;
    } cases[] = {
        {"Windows 10", 10, 0, false, {"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE", "--restart-on-failure", "60"},
         true, true, "note: Windows takes the failure-actions flag at its next start"},
        {"Vista", 6, 0, false, {"install", FOLDER, "--restart-on-failure", "60"}, true, true, "step: recovery of QVLService: every failure: restart after 60 s"},
        {"XP", 5, 1, false, {"install", FOLDER, "--restart-on-failure", "60"}, true, false,
         "warn: this Windows has no failure-actions flag: QVLService is restarted only when its process dies"},
        {"Server 2003", 5, 2, false, {"install", FOLDER, "--restart-on-failure", "60"}, true, false, "no failure-actions flag"},
        {"no option", 10, 0, false, {"install", FOLDER}, false, false, "ok: QVLService installed"},
        {"a manager that refuses the flag", 10, 0, true, {"install", FOLDER, "--restart-on-failure", "60"}, true, false,
         "warn: the service manager refused the failure-actions flag (error 87): QVLService is restarted only when"},
    };
    for (const Case& c : cases) {
        Reset();
        W.Windows.Major = c.major;
        W.Windows.Minor = c.minor;
        W.RefusesFailureFlag = c.refusesFlag;
        Ran r = Qvl(c.args);
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, 0);
        EXPECT_TRUE(Says(r, c.says));
        Service* s = ServiceOf(SERVICE_NAME);
        ASSERT_NE(s, nullptr);
        if (c.actions) {
            ASSERT_EQ(s->FailureActions.size(), 1u);
            EXPECT_EQ(s->FailureActions[0].first, door::FAILURE_RESTART);
            EXPECT_EQ(s->FailureActions[0].second, 60000u);
            EXPECT_EQ(s->FailureResetSeconds, RECOVERY_RESET_SECONDS);
        } else {
            EXPECT_TRUE(s->FailureActions.empty());
        }
        EXPECT_EQ(s->FailureActionsOnNonCrash, c.flag);
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

// A service installed soundly, then given the recovery in question by hand.
void Installed(const std::vector<std::pair<uint32_t, uint32_t>>& actions, const std::string& command) {
    ASSERT_EQ(Qvl({"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"}).Exit, 0);
    Service* s = ServiceOf(SERVICE_NAME);
    s->FailureActions = actions;
    s->FailureResetSeconds = 86400;
    s->FailureCommand = command;
}

TEST(Failures, AuditSaysTheRecoveryAndJudgesWhatItRuns) {
    static const std::pair<uint32_t, uint32_t> restart = {door::FAILURE_RESTART, 60000}, run = {door::FAILURE_RUN_COMMAND, 0};
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int exit;
        const char* says;
    } cases[] = {
        {"none", [] { Installed({}, ""); }, 0, "note: recovery: none"},
        {"a manager that keeps none",
         [] {
             Installed({}, "");
             W.KeepsFailureActions = false;
         },
         0, "note: recovery: none: this system's service manager keeps no failure actions"},
        {"a restart", [] { Installed({restart}, ""); }, 0, "note: recovery: every failure: restart after 60 s"},
        {"a command in a closed folder", [] { Installed({run}, "\"C:\\Kit\\qvl.exe\" check"); }, 0,
         "every failure: run a command after 0 s (\"C:\\Kit\\qvl.exe\" check)"},
        {"a command unquoted with a blank",
         [] {
             MakeFolder("C:\\Kit Two");
             MakeFile("C:\\Kit Two\\notify.exe", "a notifier");
             Installed({run}, "C:\\Kit Two\\notify.exe");
         },
         1,
         "finding: recovery: the command C:\\Kit Two\\notify.exe runs as LocalSystem, is not quoted"},
        {"a command found on the search path", [] { Installed({restart, run}, "notify.exe"); }, 1,
         "finding: recovery: the command notify.exe runs as LocalSystem and names no folder"},
        {"a command in a folder the user made",
         [] {
             AsUser([] {
                 MakeFolder("C:\\Tools");
                 MakeFile("C:\\Tools\\notify.exe", "the user's");
             });
             Installed({run}, "\"C:\\Tools\\notify.exe\"");
         },
         1, "C:\\Tools (holding what recovery runs)"},
        {"a command whose file is gone", [] { Installed({run}, "\"C:\\Kit\\gone.exe\""); }, EXIT_REFUSED,
         "fail: C:\\Kit\\gone.exe (run by recovery): its permissions cannot be read"},
    };
    for (const Case& c : cases) {
        Reset();
        c.prepare();
        Ran r = Qvl({"audit", FOLDER});
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, c.exit);
        EXPECT_TRUE(Says(r, c.says));
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

TEST(Failures, StatusAndCheckSayHowTheLastRunEnded) {
    struct Case {
        uint32_t state, win32Exit, specificExit;
        const char* status;  // qvl status's service line
        const char* check;   // the check's line
    } cases[] = {
        {1, 0, 0, "service     QVLService STOPPED; it last ended on request\n",
         "QVL CRITICAL - QVLService is not running (STOPPED) |"},
        {1, 2, 0, "it last ended on a failure: the launch of ZARNQVL.EXE failed: error 2\n",
         "(STOPPED): it ended on a failure: the launch of ZARNQVL.EXE failed: error 2 |"},
        {1, os::ERROR_SERVICE_SPECIFIC_ERROR, END_HEARTBEAT_STALE, "on a failure: the program's heartbeat went stale\n",
         "(STOPPED): it ended on a failure: the program's heartbeat went stale |"},
        {1, os::ERROR_SERVICE_SPECIFIC_ERROR, END_NEVER_HEARTBEAT, "on a failure: the program never wrote a heartbeat\n",
         "it ended on a failure: the program never wrote a heartbeat |"},
        {1, os::ERROR_PROCESS_ABORTED, 0, "the host's process ended without saying so",
         "the host's process ended without saying so (killed, or it crashed) |"},
    };
    for (const Case& c : cases) {
        Reset();
        ASSERT_EQ(Qvl({"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"}).Exit, 0);
        Service* s = ServiceOf(SERVICE_NAME);
        s->State = c.state;
        s->ExitCode = c.win32Exit;
        s->SpecificExitCode = c.specificExit;
        Ran status = Qvl({"status", FOLDER});
        EXPECT_TRUE(Says(status, c.status)) << status.Said;
        Ran check = Qvl({"check", FOLDER});
        EXPECT_EQ(check.Exit, 2) << check.Said;
        EXPECT_TRUE(Says(check, c.check)) << check.Said;
    }
    Reset();
    Ran none = Qvl({"status", FOLDER});
    EXPECT_TRUE(Says(none, "service     QVLService is not installed\n")) << none.Said;
}

}  // namespace
