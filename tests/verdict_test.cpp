// The trial's verdict, its give-up and end, and its refusals, from timelines of observations
// made up here: each clause kept and broken.
#include <functional>
#include <string>

#include "host/service.h"
#include "tests/support.h"
#include "tools/qvl/verdict.h"

namespace {

const int64_t EPOCH = 1700000000;
const int NO_FILE = -1, SHORT_FILE = -2;

// A trial's timeline, observation by observation, the clock at EPOCH when the trial began.
struct Timeline {
    Evidence E;
    Timeline() { StartEvidence(&E); }

    void Event(ObservationKind kind, int64_t ms, uint32_t value = 0) {
        Observation o = {};
        o.Kind = kind, o.Ms = ms, o.Value = value;
        Observe(&E, o);
    }
    // The folder at ms: the status byte (or NO_FILE, SHORT_FILE) with a heartbeat written at
    // beatMs, and the command file's code (-1: none).
    void See(int64_t ms, int byte, int64_t beatMs, int32_t command, ObservationKind kind = LOOK) {
        StatusRecord r = {};
        unsigned char fields[STATUS_FIELDS_SIZE];
        PackStatusFields(fields, byte, EPOCH + beatMs / 1000);
        UnpackStatusRecord(fields, byte == SHORT_FILE ? 1 : STATUS_FIELDS_SIZE, &r);
        StatusView v;
        ViewStatus(byte != NO_FILE, r, EPOCH + ms / 1000, &v);
        Observe(&E, Look(kind, ms, v, command < 0 ? -1 : COMMAND_SIZE, command));
    }
    // The program beating every second from..to (status byte byteAt(ms)), seen every 500 ms,
    // and the host's RUNNING reports each second while it runs.
    void Beat(int64_t from, int64_t to, int32_t command, int byte = 0, bool running = false) {
        for (int64_t ms = from; ms < to; ms += 500) {
            if (running && ms % 1000 == 0) {
                Event(REPORT, ms, os::SERVICE_RUNNING);
                See(ms, byte, ms / 1000 * 1000, command, HOST_READ);
            }
            See(ms, byte, ms / 1000 * 1000, command);
        }
    }
    // Launched at 0, beating, running from 10 s, a stop requested at 15.5 s; the program holds
    // from 16.2 s to 18 s and removes its file at 19.2 s, after the finish command at 19 s.
    void GoodUpTo(int64_t end) {
        auto upTo = [end](int64_t ms) { return std::min(ms, end); };
        Event(LAUNCHED, 0);
        Event(REPORT, 0, os::SERVICE_START_PENDING);
        Beat(0, upTo(10000), CMD_BEFORE_LAUNCH);
        Beat(10000, upTo(16000), CMD_BEFORE_LAUNCH, 0, true);
        if (end <= 16000) return;
        Event(REPORT, 16000, os::SERVICE_STOP_PENDING);
        Beat(16000, upTo(16200), CMD_STOP_BEGIN);
        Beat(16200, upTo(18000), CMD_STOP_BEGIN, STATUS_HOLD_BIT);
        Beat(18000, upTo(19000), CMD_STOP_BEGIN);
        Beat(19000, upTo(19200), CMD_STOP_FINISH);
    }
    void GoodEnd() {
        See(19200, NO_FILE, 0, CMD_STOP_FINISH);
        Event(EXITED, 19300, 0);
        Event(REPORT, 20000, os::SERVICE_STOPPED);
    }
};

struct Case {
    const char* what;
    std::function<void(Timeline&)> run;
    std::vector<bool> broken;
    std::vector<std::string> says;
};

TEST(TrialVerdict, EachClauseKeptAndBroken) {
    const std::vector<bool> ALL_KEPT = {false, false, false, false, false};
    Case cases[] = {
        {"keeps the protocol", [](Timeline& t) { t.GoodUpTo(20000), t.GoodEnd(); }, ALL_KEPT,
         {"fresh from 0.0 s", "set 0.2 s and cleared 2.0 s after", "status file removed, 0.2 s after",
          "exit code 0 at 19.3 s, 3.3 s after the stop began"}},
        {"exits at once with code 3",
         [](Timeline& t) {
             t.Event(LAUNCHED, 0), t.Event(REPORT, 0, os::SERVICE_START_PENDING);
             t.See(200, NO_FILE, 0, CMD_BEFORE_LAUNCH);
             t.Event(EXITED, 400, 3);
             t.Event(REPORT, 10000, os::SERVICE_RUNNING), t.See(10000, NO_FILE, 0, 32768, HOST_READ);
             t.Event(REPORT, 10000, os::SERVICE_STOPPED);
         },
         {true, false, false, false, true},
         {"ZARNQVL.EXE exited with code 3 after 0.4 s, before writing any status", "QVL unloaded",
          "exited by itself with code 3 at 0.4 s", "not reached: no stop was requested"}},
        {"first beats after the pause",
         [](Timeline& t) {
             t.Event(LAUNCHED, 0), t.Event(REPORT, 0, os::SERVICE_START_PENDING);
             t.Event(REPORT, 10000, os::SERVICE_RUNNING), t.See(10000, NO_FILE, 0, 32768, HOST_READ);
             t.See(12000, 0, 12000, 32768);
         },
         {true, false, false, false, true}, {"first fresh at 12.0 s, after the pause ended at 10.0 s"}},
        {"stops beating while running",
         [](Timeline& t) {
             t.GoodUpTo(10000);
             t.Beat(10000, 50000, 32768, 0, true);  // the last heartbeat at 49 s
             for (int64_t ms = 50000; ms <= 160000; ms += 1000) {
                 t.Event(REPORT, ms, os::SERVICE_RUNNING);
                 t.See(ms, 0, 49000, 32768, HOST_READ);
             }
             t.Event(REPORT, 160000, os::SERVICE_STOPPED);
         },
         {false, true, false, false, true},
         {"the read at 160.0 s found the heartbeat 111 s old", "the longest gap between two heartbeats was 1 s",
          "still running 5 s after the service reported STOPPED"}},
        {"status byte 0xFF at a read",
         [](Timeline& t) {
             t.GoodUpTo(10000);
             t.Beat(10000, 45000, 32768, 0, true);
             t.Event(REPORT, 45000, os::SERVICE_RUNNING), t.See(45000, STATUS_NONE, 45000, 32768, HOST_READ);
         },
         {false, false, false, false, true}, {"2. fresh heartbeat at every read while running: kept, 1 reads"}},
        {"holds for ever",
         [](Timeline& t) {
             t.GoodUpTo(18000);
             t.Beat(18000, 18000 + GIVE_UP_MS, CMD_STOP_BEGIN, STATUS_HOLD_BIT);
             t.Event(GAVE_UP, 18000 + GIVE_UP_MS);
         },
         {false, false, true, false, true},
         {"never cleared in 120 s: the service would stay STOP_PENDING", "not reached: the finish command",
          "still running when the trial gave up"}},
        {"holds only after the finish command",
         [](Timeline& t) {
             t.GoodUpTo(16000);
             t.Event(REPORT, 16000, os::SERVICE_STOP_PENDING);
             t.Beat(16000, 19000, CMD_STOP_BEGIN);
             t.Beat(19000, 19500, CMD_STOP_FINISH);
             t.Beat(19500, 20000, CMD_STOP_FINISH, STATUS_HOLD_BIT);
             t.See(20000, NO_FILE, 0, CMD_STOP_FINISH), t.Event(EXITED, 20100, 0);
         },
         {false, false, true, false, false}, {"after the finish command had come", "Set it within 3 s"}},
        {"writes 0xFF when told to finish",
         [](Timeline& t) {
             t.GoodUpTo(20000);
             t.See(19300, STATUS_NONE, 19000, CMD_STOP_FINISH), t.Event(EXITED, 19400, 7);
         },
         ALL_KEPT, {"status byte 0xFF written, 0.3 s after", "exit code 7"}},
        {"lets the heartbeat go stale",
         [](Timeline& t) {
             t.GoodUpTo(20000);
             t.See(110000, 0, 19000, CMD_STOP_FINISH), t.Event(EXITED, 110500, 0);
         },
         ALL_KEPT, {"heartbeat left to go stale, 91.0 s after"}},
        {"keeps beating after the finish command",
         [](Timeline& t) {
             t.GoodUpTo(20000);
             t.Beat(19200, 19000 + GIVE_UP_MS, CMD_STOP_FINISH);
             t.Event(GAVE_UP, 19000 + GIVE_UP_MS);
         },
         {false, false, false, true, true},
         {"still fresh 120 s after the command: the service would stay STOP_PENDING"}},
        {"still running after the service stopped",
         [](Timeline& t) {
             t.GoodUpTo(20000);
             t.See(19200, NO_FILE, 0, CMD_STOP_FINISH), t.Event(REPORT, 20000, os::SERVICE_STOPPED);
         },
         {false, false, false, false, true}, {"still running 5 s after the service reported STOPPED"}},
        {"cannot be launched",
         [](Timeline& t) {
             t.Event(REPORT, 0, os::SERVICE_START_PENDING), t.Event(LAUNCH_FAILED, 0, 2);
             t.Event(REPORT, 10000, os::SERVICE_STOP_PENDING), t.Event(REPORT, 13000, os::SERVICE_STOPPED);
         },
         {true, false, false, false, false}, {"could not be launched (error 2)", "not reached: it was never launched"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Timeline t;
        c.run(t);
        Verdict v;
        EXPECT_EQ(Judge(t.E, &v), std::count(c.broken.begin(), c.broken.end(), true) ? 1 : 0);
        std::string all;
        for (int i = 0; i < VERDICT_CLAUSES; i++) {
            all += std::string(v.Lines[i]) + "\n";
            EXPECT_EQ(v.Broken[i], c.broken[i]) << v.Lines[i];
            EXPECT_EQ(std::string(v.Lines[i]).find("BROKEN") != std::string::npos, v.Broken[i]) << v.Lines[i];
        }
        for (const std::string& part : c.says) EXPECT_NE(all.find(part), std::string::npos) << part << " in\n" << all;
    }
}

TEST(TrialVerdict, GivesUpOnAStopThatDoesNotMoveOnAndEndsOnceTheProgramHasEnded) {
    Timeline t;
    t.GoodUpTo(18000);  // command 1 seen at 16 s, holding
    EXPECT_FALSE(TimeToGiveUp(t.E, 16000 + GIVE_UP_MS - 1));
    EXPECT_TRUE(TimeToGiveUp(t.E, 16000 + GIVE_UP_MS));
    t.Beat(18000, 19200, CMD_STOP_BEGIN);
    t.Beat(19200, 19400, CMD_STOP_FINISH);  // finish seen at 19.2 s: the wait starts again
    EXPECT_FALSE(TimeToGiveUp(t.E, 16000 + GIVE_UP_MS));
    EXPECT_TRUE(TimeToGiveUp(t.E, 19200 + GIVE_UP_MS));
    t.See(19400, NO_FILE, 0, CMD_STOP_FINISH);
    EXPECT_FALSE(TimeToGiveUp(t.E, 19200 + GIVE_UP_MS));  // gone: the host stops by itself

    EXPECT_FALSE(TrialOver(t.E, false, 30000));
    t.Event(REPORT, 20000, os::SERVICE_STOPPED);
    EXPECT_FALSE(TrialOver(t.E, true, 20000 + PROCESS_GRACE_MS - 1));
    EXPECT_TRUE(TrialOver(t.E, true, 20000 + PROCESS_GRACE_MS));
    t.Event(EXITED, 20100, 0);
    EXPECT_TRUE(TrialOver(t.E, true, 20100));
}

TEST(TrialRefusal, OnlyAFolderReadyForATrialIsTried) {
    const Folder ready = {true, true, true, STATUS_ABSENT, SERVICE_NOT_INSTALLED};
    struct RefusalCase {
        const char* what;
        std::function<void(Folder&)> change;
        const char* says;  // null: no refusal
    } cases[] = {
        {"ready", [](Folder&) {}, nullptr},
        {"the manager will not say", [](Folder& f) { f.Service = SERVICE_UNKNOWN; }, nullptr},
        {"the service is installed and stopped", [](Folder& f) { f.Service = os::SERVICE_STOPPED; }, nullptr},
        {"a stale status file", [](Folder& f) { f.Answer = STATUS_ABSENT; }, nullptr},
        {"no folder", [](Folder& f) { f.Entered = false; }, "qvl trial: cannot enter the folder F"},
        {"no program", [](Folder& f) { f.HasProgram = false; }, "qvl trial: there is no ZARNQVL.EXE in F"},
        {"not writable", [](Folder& f) { f.Writable = false; }, "cannot be written"},
        {"a program beats there", [](Folder& f) { f.Answer = 0; }, "a program already runs in F"},
        {"it holds there", [](Folder& f) { f.Answer = STATUS_HOLD_BIT; }, "a program already runs in F"},
        {"the service runs", [](Folder& f) { f.Service = os::SERVICE_RUNNING; }, "QVLService is installed and not stopped"},
        {"the service stops", [](Folder& f) { f.Service = os::SERVICE_STOP_PENDING; }, "not stopped (state 3)"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f = ready;
        c.change(f);
        char out[512];
        EXPECT_EQ(Refusal(f, "F", "QVLService", out, sizeof out), c.says != nullptr);
        if (c.says) {
            EXPECT_NE(std::string(out).find(c.says), std::string::npos) << out;
        }
    }
}

}  // namespace
