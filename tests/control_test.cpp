// qvl start, stop, uninstall and check on the simulated service manager, in virtual time: what
// each says and answers for each way the service behaves, and how long each waits.
#include <gtest/gtest.h>

#include <functional>

#include "host/entry.h"
#include "host/service.h"
#include "tests/winsim/tool.h"
#include "tools/qvl/audit.h"
#include "tools/qvl/qvl.h"

namespace {

using namespace winsim;

const uint32_t STOPPED = 1, START_PENDING = 2, STOP_PENDING = 3, RUNNING = 4;

Service& Installed(uint32_t state) {
    MakeFolder("C:\\QVL");
    Service s;
    s.Display = "QVL Service";
    s.BinaryPath = "\"C:\\QVL\\qvlsvce.exe\"";
    s.State = state;
    W.Services[Upper(SERVICE_NAME)] = s;
    return W.Services[Upper(SERVICE_NAME)];
}

struct Case {
    const char* what;
    std::vector<std::string> args;
    std::function<void()> prepare;  // the service as found, with how it behaves
    int exit;
    uint32_t after;                 // its state afterwards; 0: not installed
    int64_t waitedMinMs, waitedMaxMs;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Reset();
        c.prepare();
        Ran r = Qvl(c.args);
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, c.exit);
        Service* s = ServiceOf(SERVICE_NAME);
        EXPECT_EQ(s ? s->State : 0, c.after);
        EXPECT_GE(W.NowMs, c.waitedMinMs);
        EXPECT_LE(W.NowMs, c.waitedMaxMs);
        EXPECT_EQ(ToolHandlesOpen(), 0);
        EXPECT_TRUE(W.Violations.empty());
    }
}

TEST(Control, Start) {
    RunCases({
        {"a stopped service starts", {"start"}, [] { Installed(STOPPED).StartMs = 3000; }, 0, RUNNING, 3000, 5000},
        {"one already running", {"start"}, [] { Installed(RUNNING); }, 0, RUNNING, 0, 0},
        {"one that ends as it starts", {"start"}, [] { Installed(STOPPED).StartFails = true; }, 1, STOPPED, 500, 10000},
        {"one that never finishes starting",
         {"start"},
         [] { Installed(STOPPED).StartMs = 10 * 60 * 1000; },
         1, START_PENDING, 20000, 120000},
        {"the database locked by an installer for 3 s",
         {"start"},
         [] {
             Installed(STOPPED);
             W.LockedUntilMs = 3000;
         },
         0, RUNNING, 3000, 6000},
        {"not installed", {"start"}, [] {}, EXIT_REFUSED, 0, 0, 0},
        {"not elevated", {"start"}, [] { Installed(STOPPED); W.CanMakeServices = false; }, EXIT_REFUSED, STOPPED, 0, 0},
        {"--if-remembered with nothing noted", {"start", "--if-remembered"}, [] { Installed(STOPPED); }, 0, STOPPED, 0, 0},
        {"--if-remembered after a stop noted it", {"start", "--if-remembered"},
         [] {
             Installed(STOPPED);
             MakeFile(std::string("C:\\QVL\\") + WAS_RUNNING_FILE, "");
         },
         0, RUNNING, 500, 2000},
        {"a disabled service", {"start"}, [] { Installed(STOPPED).Start = 4; }, 1, STOPPED, 0, 0},
        {"the manager cannot be opened", {"start"}, [] { Installed(STOPPED); W.ManagerError = 1115; }, EXIT_REFUSED,
         STOPPED, 0, 0},
        {"the service cannot be opened", {"start"}, [] { Installed(STOPPED); W.ServiceOpenError = 1115; }, EXIT_REFUSED,
         STOPPED, 0, 0},
        {"Ctrl-C while it starts: left starting", {"start"},
         [] {
             Installed(STOPPED).StartMs = 60000;
             W.CtrlAtMs = 2000;
         },
         1, START_PENDING, 2000, 3000},
    });
}

TEST(Control, Stop) {
    RunCases({
        {"a running service stops", {"stop"}, [] { Installed(RUNNING).StopMs = 4000; }, 0, STOPPED, 4000, 6000},
        {"one already stopped", {"stop"}, [] { Installed(STOPPED); }, 0, STOPPED, 0, 0},
        {"not installed: nothing to stop", {"stop"}, [] {}, 0, 0, 0, 0},
        {"one that never stops, within --timeout",
         {"stop", "--timeout", "7"},
         [] { Installed(RUNNING).NeverStops = true; },
         1, STOP_PENDING, 7000, 8000},
        {"one still starting: waited for, then stopped",
         {"stop"},
         [] {
             Service& s = Installed(START_PENDING);
             s.PendingUntil = 2000;
             s.PendingTo = RUNNING;
         },
         0, STOPPED, 2500, 5000},
        {"not elevated", {"stop"}, [] { Installed(RUNNING); W.CanMakeServices = false; }, EXIT_REFUSED, RUNNING, 0, 0},
        {"one that refuses the stop", {"stop"}, [] { Installed(RUNNING).RefusesStop = true; }, 1, RUNNING, 0, 0},
        {"one that runs again instead of stopping", {"stop"}, [] { Installed(RUNNING).StopBounces = true; }, 1, RUNNING,
         5000, 6000},
        {"Ctrl-C while it stops: the stop goes on", {"stop"},
         [] {
             Installed(RUNNING).StopMs = 60000;
             W.CtrlAtMs = 3000;
         },
         1, STOP_PENDING, 3000, 4000},
    });
}

TEST(Control, Uninstall) {
    RunCases({
        {"a running service is stopped and deleted", {"uninstall"}, [] { Installed(RUNNING); }, 0, 0, 500, 2000},
        {"a stopped one is deleted at once", {"uninstall"}, [] { Installed(STOPPED); }, 0, 0, 0, 0},
        {"one that will not stop is not deleted",
         {"uninstall", "--timeout", "3"},
         [] { Installed(RUNNING).NeverStops = true; },
         1, STOP_PENDING, 3000, 4000},
        {"not installed", {"uninstall"}, [] {}, EXIT_REFUSED, 0, 0, 0},
        {"one being deleted already", {"uninstall"},
         [] {
             Service& s = Installed(STOPPED);
             s.MarkedForDelete = true;
             s.OpenHandles = 1;  // the Services console holds it
         },
         1, STOPPED, 0, 0},
    });
    // The folder and what it holds stay.
    Reset();
    Installed(STOPPED);
    size_t objects = W.Objects.size();
    EXPECT_EQ(Qvl({"uninstall"}).Exit, 0);
    int parent;
    std::string name;
    uint32_t error;
    EXPECT_TRUE(Resolve("C:\\QVL", true, &parent, &name, &error));
    EXPECT_EQ(W.Objects.size(), objects);
}

// stop --remember notes in the service's folder that it ran, so that start --if-remembered
// starts only what ran before an upgrade; a stop of a stopped service forgets it.
TEST(Control, StopRemembersWhatRan) {
    Reset();
    Installed(RUNNING);
    EXPECT_EQ(Qvl({"stop", "--remember"}).Exit, 0);
    EXPECT_NE(DataAt(std::string("C:\\QVL\\") + WAS_RUNNING_FILE), "(none)");
    EXPECT_EQ(Qvl({"stop", "--remember"}).Exit, 0);
    EXPECT_EQ(DataAt(std::string("C:\\QVL\\") + WAS_RUNNING_FILE), "(none)") << "the last stop's truth";
    EXPECT_EQ(ToolHandlesOpen(), 0);
}

TEST(Control, CheckReadsTheServiceState) {
    struct Row {
        std::function<void()> prepare;
        int exit;
    } rows[] = {
        {[] {}, 2},                              // not installed: critical
        {[] { Installed(STOPPED); }, 2},         // stopped: critical
    };
    for (const Row& row : rows) {
        Reset();
        row.prepare();
        Ran r = Qvl({"check", "C:\\QVL"});
        EXPECT_EQ(r.Exit, row.exit) << r.Said;
        EXPECT_EQ(r.Said.compare(0, 4, "QVL "), 0) << r.Said;
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

}  // namespace
