// The operator tool's pure judgments: the service's configuration, the monitoring check's line,
// and the command line's refusals (the access lists' are in security_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/entry.h"
#include "tools/qvl/health.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/config.h"
#include "tools/qvl/door.h"
#include "tools/qvl/security.h"
#include "tools/qvl/verdict.h"
#include "tools/qvl/recovery.h"
#include "tools/qvl/words.h"

namespace {

std::string Joined(const Findings& f) {
    std::string all;
    for (int i = 0; i < f.Count; i++) all += std::string(f.Lines[i]) + "\n";
    return all;
}

TEST(Security, ServiceConfiguration) {
    const char* const HOST = "C:\\QVL Test\\qvlsvce.exe";
    struct Case {
        const char* binaryPath;
        uint32_t type;
        std::vector<std::string> findings;
    } cases[] = {
        {"\"C:\\QVL Test\\qvlsvce.exe\"", 0x110, {}},
        {"\"c:\\qvl test\\QVLSVCE.EXE\"", 0x110, {}},
        {"C:\\QVL Test\\qvlsvce.exe", 0x110, {"not quoted and holds a blank"}},
        {"\"C:\\Other\\qvlsvce.exe\"", 0x110, {"it runs C:\\Other\\qvlsvce.exe, not C:\\QVL Test\\qvlsvce.exe"}},
        {"\"C:\\QVL Test\\qvlsvce.exe\"", 0x10, {"its type is 0x10"}},
        {"C:\\QVL\\qvlsvce.exe -x", 0x20, {"not quoted", "it runs C:\\QVL\\qvlsvce.exe,", "its type is 0x20"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.binaryPath);
        Findings f = {};
        JudgeServiceConfig(c.binaryPath, c.type, HOST, &f);
        EXPECT_EQ(f.Count, static_cast<int>(c.findings.size())) << Joined(f);
        for (int i = 0; i < f.Count && i < static_cast<int>(c.findings.size()); i++) EXPECT_NE(std::string(f.Lines[i]).find(c.findings[i]), std::string::npos) << f.Lines[i];
    }
}

TEST(Security, TheHostInAFolderIsNamedWithOneSeparator) {
    struct Case {
        const char* folder;
        const char* host;
    } cases[] = {
        {"C:\\QVL Test", "C:\\QVL Test\\qvlsvce.exe"},
        {"C:\\", "C:\\qvlsvce.exe"},  // a root already ends in its separator
        {"D:/apps/", "D:/apps/qvlsvce.exe"},
    };
    for (const Case& c : cases) {
        char host[64];
        ASSERT_TRUE(JoinPath(c.folder, HOST_FILE, host, sizeof host)) << c.folder;
        EXPECT_STREQ(host, c.host);
    }
    char small[sizeof "C:\\QVL\\qvlsvce.exe"];
    EXPECT_TRUE(JoinPath("C:\\QVL", HOST_FILE, small, sizeof small));
    EXPECT_FALSE(JoinPath("C:\\QVLX", HOST_FILE, small, sizeof small));
}

TEST(Security, TheLockIsRefusedWhereOthersKeepTheirPermissions) {
    const char* const system[] = {"C:\\Program Files", nullptr, "C:\\Program Files (x86)", "C:\\ProgramData", "C:\\Users", ""};
    struct Case {
        const char* folder;
        bool refused;
    } cases[] = {
        {"C:\\QVL", false},
        {"C:\\QVL Test", false},
        {"D:\\Apps\\QVL", false},
        {"C:\\Program Files\\QVL", false},
        {"C:\\WindowsApps", false},
        {"C:\\", true},
        {"c:\\windows", true},
        {"C:\\Windows\\System32", true},
        {"C:\\PROGRAM FILES", true},
        {"C:\\Program Files (x86)", true},
        {"\\\\?\\C:\\Windows\\System32", true},
        {"\\\\?\\C:\\", true},
        {"\\\\?\\C:\\QVL", false},
        {"C:/programdata", true},
        {"C:\\Users", true},
        {"C:\\Users\\bob\\QVL", false},  // refused for what is above it, judged apart
    };
    for (const Case& c : cases)
        EXPECT_EQ(WhyNotLock(c.folder, "C:\\Windows", system, 6) != nullptr, c.refused) << c.folder;
}

// Reparse points by allow-list: only the two kinds whose data is the file's own are files.
TEST(Security, OnlyAFilesOwnReparsePointIsNoLink) {
    const struct {
        uint32_t tag;
        bool link;
    } cases[] = {
        {door::TAG_DEDUP, false}, {door::TAG_WOF, false}, {door::TAG_SYMLINK, true}, {door::TAG_MOUNT_POINT, true},
        {door::TAG_APPEXECLINK, true}, {door::TAG_CLOUD, true}, {0x9000101A, true},  // a cloud placeholder's variant
        {0x80000014, true},  // a tag no one here knows
        {0, true},
    };
    for (const auto& c : cases) EXPECT_EQ(ReparseIsLink(c.tag), c.link) << std::hex << c.tag;
}

// Who may own a folder the package made locked, or a file install copies: an administrator,
// the system, or the operator's own account.
TEST(Security, OwnedByAdministratorsOrTheOperator) {
    const char* const OPERATOR = "S-1-5-21-1-2-3-500";
    const struct {
        const char* sddl;
        bool system, operatorToo;
    } cases[] = {
        {"O:BAD:PAI(A;OICI;FA;;;SY)", true, true}, {"O:SYG:SYD:(A;;FA;;;SY)", true, true},
        {"O:S-1-5-32-544D:(A;;FA;;;BA)", true, true}, {"O:S-1-5-18", true, true},
        {"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:", true, true},  // TrustedInstaller
        {"O:BUD:(A;;FA;;;BA)", false, false}, {"O:S-1-5-21-1-2-3-1001D:", false, false},
        {"O:S-1-5-21-1-2-3-500D:(A;;FA;;;BA)", false, true},
        {"O:S-1-5-180D:", false, false},  // a longer SID that begins as SYSTEM's
        {"O:BAXD:", false, false}, {"D:(A;;FA;;;BA)", false, false}, {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OwnedByAdministratorsOr(c.sddl, nullptr), c.system) << c.sddl;
        EXPECT_EQ(OwnedByAdministratorsOr(c.sddl, OPERATOR), c.operatorToo) << c.sddl;
    }
}

StatusView View(Absence why, int64_t age, int statusByte = 0) {
    StatusView v = {};
    v.Why = why;
    v.Age = age;
    v.Record.StatusByte = statusByte;
    v.Answer = why == PRESENT ? statusByte : STATUS_ABSENT;
    return v;
}

TEST(Check, StateAndStatusToLineAndExit) {
    const int RUNNING = 4;
    struct Case {
        int service;
        bool folderRead;
        StatusView status;
        CheckResult result;
        const char* says;
        uint32_t win32Exit = 0, specificExit = 0;
    } cases[] = {
        {RUNNING, true, View(PRESENT, 2), CHECK_OK,
         "QVL OK - QVLService running, heartbeat 2 s old, status 0x00 | heartbeat_age=2s;60;90;0 status=0 service_state=4"},
        {RUNNING, true, View(PRESENT, 60, 0x80), CHECK_OK, "status 0x80 | heartbeat_age=60s;60;90;0 status=128"},
        {RUNNING, true, View(PRESENT, -5), CHECK_WARNING,
         "QVL WARNING - heartbeat 5 s ahead of this machine's clock | heartbeat_age=0s;"},
        {RUNNING, true, View(PRESENT, 61), CHECK_WARNING, "QVL WARNING - heartbeat 61 s old (warning over 60 s) |"},
        {RUNNING, true, View(ABSENT_STALE, 91), CHECK_CRITICAL,
         "QVL CRITICAL - heartbeat 91 s old (critical over 90 s) | heartbeat_age=91s;60;90;0 status=-1"},
        {RUNNING, true, View(ABSENT_MISSING, 0), CHECK_CRITICAL, "would take ZARNQVL.EXE as gone: no status file | heartbeat_age=U;"},
        {RUNNING, true, View(ABSENT_SHORT, 0), CHECK_CRITICAL, "gone: a status file too short"},
        {RUNNING, true, View(ABSENT_NO_STATUS, 3), CHECK_CRITICAL, "gone: status byte 0xFF | heartbeat_age=3s;"},
        {2, true, View(ABSENT_MISSING, 0), CHECK_WARNING, "QVL WARNING - QVLService is START_PENDING | "},
        {3, true, View(PRESENT, 1, 0x80), CHECK_WARNING, "QVL WARNING - QVLService is STOP_PENDING"},
        {1, true, View(PRESENT, 1), CHECK_CRITICAL, "QVL CRITICAL - QVLService is not running (STOPPED) |"},
        {1, true, View(ABSENT_STALE, 95), CHECK_CRITICAL,
         "QVL CRITICAL - QVLService is not running (STOPPED): it ended on a failure: the program's heartbeat went stale |",
         os::ERROR_SERVICE_SPECIFIC_ERROR, END_HEARTBEAT_STALE},
        {1, false, View(ABSENT_MISSING, 0), CHECK_CRITICAL,
         "(STOPPED): it ended on a failure: the launch of ZARNQVL.EXE failed: error 2 |", 2, 0},
        {SERVICE_NOT_INSTALLED, false, View(ABSENT_MISSING, 0), CHECK_CRITICAL,
         "QVL CRITICAL - QVLService is not installed | heartbeat_age=U;60;90;0 status=-1 service_state=0"},
        {SERVICE_UNKNOWN, true, View(PRESENT, 1), CHECK_UNKNOWN, "QVL UNKNOWN - the service manager cannot be asked"},
        {RUNNING, false, View(PRESENT, 1), CHECK_UNKNOWN, "QVL UNKNOWN - QVLService runs, but its folder cannot be read"},
    };
    for (const Case& c : cases) {
        Health h = {"QVLService", c.service, c.folderRead, c.status, CHECK_WARN_DEFAULT, CHECK_CRIT_DEFAULT,
                    c.win32Exit, c.specificExit};
        char line[600];
        EXPECT_EQ(JudgeHealth(h, line, sizeof line), c.result) << line;
        EXPECT_NE(std::string(line).find(c.says), std::string::npos) << line;
    }
    Health h = {"QVLService", RUNNING, true, View(PRESENT, 31), 10, 30, 0, 0};
    char line[600];
    EXPECT_EQ(JudgeHealth(h, line, sizeof line), CHECK_CRITICAL) << line;
    EXPECT_NE(std::string(line).find("(critical over 30 s) | heartbeat_age=31s;10;30;0"), std::string::npos) << line;
}

// Each place words the status as operators and scripts have read it there, byte for byte.
TEST(Words, TheStatusInEachPlace) {
    const struct {
        StatusLayout layout;
        StatusView view;
        const char* words;
    } cases[] = {
        {STATUS_IN_PROGRESS, View(PRESENT, 3, 0x80), "status 0x80, heartbeat 3 s old"},
        {STATUS_IN_PROGRESS, View(ABSENT_STALE, 91), "status 0x00, heartbeat 91 s old: the host would take the program as gone"},
        {STATUS_IN_PROGRESS, View(ABSENT_MISSING, 0), AbsenceWords(ABSENT_MISSING)},
        {STATUS_IN_LIVE_LINE, View(PRESENT, 7, 0x01), "status 0x01  heartbeat   7 s old"},
        {STATUS_IN_LIVE_LINE, View(ABSENT_SHORT, 0), "status -     heartbeat -"},
        {STATUS_IN_CHECK, View(PRESENT, 2, 0xFE), "heartbeat 2 s old, status 0xFE"},
        {STATUS_IN_CHECK, View(ABSENT_MISSING, 0), ""},
    };
    for (const auto& c : cases) {
        char out[300];
        Text t = StartText(out, sizeof out);
        AddStatusWords(&t, c.view, c.layout);
        EXPECT_STREQ(out, c.words);
    }
}

// How the last run ended, from the two exit codes the manager keeps.
TEST(Words, EachEndOfARun) {
    const struct {
        uint32_t win32Exit, specificExit;
        bool failure;
        const char* words;
    } cases[] = {
        {0, 0, false, "on request"},
        {2, 0, true, "on a failure: the launch of ZARNQVL.EXE failed: error 2"},
        {5, 0, true, "on a failure: the launch of ZARNQVL.EXE failed: error 5"},
        {os::ERROR_PROCESS_ABORTED, 0, true, "on a failure: the host's process ended without saying so (killed, or it crashed)"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, END_STATUS_GONE, true, "on a failure: the status file was gone or could not be read"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, END_STATUS_SHORT, true, "on a failure: the status file was too short to hold a heartbeat"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, END_STATUS_NONE, true, "on a failure: the program set its status byte to 0xFF (no status)"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, END_HEARTBEAT_STALE, true, "on a failure: the program's heartbeat went stale"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, END_NEVER_HEARTBEAT, true, "on a failure: the program never wrote a heartbeat"},
        {os::ERROR_SERVICE_SPECIFIC_ERROR, 4242, true, "on a failure: service-specific code 4242, not one of the host's"},
    };
    for (const auto& c : cases) {
        char out[300];
        Text t = StartText(out, sizeof out);
        AddEndWords(&t, c.win32Exit, c.specificExit);
        EXPECT_STREQ(out, c.words);
        EXPECT_EQ(EndedOnFailure(c.win32Exit, c.specificExit), c.failure) << c.words;
    }
    // qvl status's line: the end only once the service has stopped, as a running service's
    // codes say nothing yet.
    const struct {
        int state;
        uint32_t win32Exit, specificExit;
        const char* line;
    } lines[] = {
        {1, 0, 0, "service     QVLService STOPPED; it last ended on request\n"},
        {1, os::ERROR_SERVICE_SPECIFIC_ERROR, END_STATUS_NONE,
         "service     QVLService STOPPED; it last ended on a failure: the program set its status byte to 0xFF (no status)\n"},
        {4, os::ERROR_SERVICE_SPECIFIC_ERROR, END_STATUS_NONE, "service     QVLService RUNNING\n"},
        {3, 0, 0, "service     QVLService STOP_PENDING\n"},
        {SERVICE_NOT_INSTALLED, 0, 0, "service     QVLService is not installed\n"},
        {SERVICE_UNKNOWN, 0, 0, "service     the service manager will not say how QVLService is\n"},
    };
    for (const auto& c : lines) {
        char out[300];
        Text t = StartText(out, sizeof out);
        AddServiceWords(&t, "QVLService", c.state, c.win32Exit, c.specificExit);
        EXPECT_STREQ(out, c.line);
    }
}

door::Failures Actions(std::vector<door::FailureAction> actions, const char* command = "", bool flag = true,
                       bool flagKnown = true) {
    door::Failures f = {};
    f.ResetSeconds = 86400;
    f.Count = static_cast<int>(actions.size());
    for (size_t i = 0; i < actions.size() && i < door::FAILURE_ACTIONS_MAX; i++) f.Actions[i] = actions[i];
    snprintf(f.Command, sizeof f.Command, "%s", command);
    f.Flag = flag;
    f.FlagKnown = flagKnown;
    return f;
}

// What the manager will do when the service fails, as audit and install say it, and what audit
// finds in a command that recovery runs as LocalSystem.
TEST(Recovery, WordsAndFindings) {
    const door::FailureAction restart = {door::FAILURE_RESTART, 60000}, none = {door::FAILURE_NONE, 0},
                              run = {door::FAILURE_RUN_COMMAND, 5000}, reboot = {door::FAILURE_REBOOT, 120000};
    const struct {
        door::Failures f;
        const char* words;
        int findings;
        const char* finding;
    } cases[] = {
        {RestartOnFailure(60), "every failure: restart after 60 s; counted back to none after 86400 s without one; "
         "after a crash and after any failure end the host reports", 0, ""},
        {Actions({}), "none: the service manager does nothing when the service fails", 0, ""},
        {Actions({none, none}), "none: the service manager does nothing", 0, ""},
        {Actions({restart, restart, none}, "", false), "first failure: restart after 60 s; next failure: restart after "
         "60 s; every later failure: nothing; counted back to none after 86400 s without one; after a crash only (the "
         "failure-actions flag is off)", 0, ""},
        {Actions({restart}, "", false, false), "after a crash only (this Windows has no failure-actions flag)", 0, ""},
        {Actions({reboot}), "every failure: reboot after 120 s;", 0, ""},
        // A command set but run by no action is never run.
        {Actions({restart}, "C:\\Program Files\\x.exe"), "every failure: restart", 0, ""},
        {Actions({run}, "\"C:\\Tools\\notify.exe\" QVLService"), "every failure: run a command after 5 s "
         "(\"C:\\Tools\\notify.exe\" QVLService)", 0, ""},
        {Actions({run}, "C:\\Program Files\\Tools\\notify.exe"), "run a command", 1, "is not quoted and holds a blank"},
        {Actions({restart, run}, "notify.exe --service QVLService"), "every later failure: run a command", 2, "names no folder"},
        {Actions({run}), "(no command set)", 1, "an action runs a command, but none is set"},
    };
    for (const auto& c : cases) {
        char out[600];
        Text t = StartText(out, sizeof out);
        AddRecoveryWords(&t, c.f);
        EXPECT_NE(std::string(out).find(c.words), std::string::npos) << out;
        Findings found = {};
        JudgeRecoveryCommand(c.f, &found);
        EXPECT_EQ(found.Count, c.findings) << out;
        if (c.findings) {
            EXPECT_NE(std::string(found.Lines[c.findings - 1]).find(c.finding), std::string::npos)
                << found.Lines[c.findings - 1];
        }
    }
    door::Failures f = RestartOnFailure(86400);
    EXPECT_EQ(f.Actions[0].DelayMs, 86400000u);  // a day, in milliseconds, still fits
    EXPECT_EQ(f.ResetSeconds, RECOVERY_RESET_SECONDS);
    EXPECT_TRUE(f.Flag);
}

TEST(Check, PrometheusTextCarriesTheSameFigures) {
    Health h = {"QVL \"x\"\\y", 4, true, View(PRESENT, 7, 0x80), 60, 90, 0, 0};
    char text[4096];
    PrometheusText(h, CHECK_OK, text, sizeof text);
    std::string t = text;
    for (const char* line : {"qvl_check_result{service=\"QVL \\\"x\\\"\\\\y\"} 0\n", "qvl_service_state{service=", "} 4\n",
                             "qvl_status{service=", "} 128\n", "qvl_heartbeat_age_seconds{service=", "} 7\n",
                             "# TYPE qvl_heartbeat_age_seconds gauge\n"})
        EXPECT_NE(t.find(line), std::string::npos) << line << " in\n" << t;
    h.Status = View(ABSENT_MISSING, 0);
    PrometheusText(h, CHECK_CRITICAL, text, sizeof text);
    EXPECT_EQ(std::string(text).find("qvl_heartbeat_age_seconds"), std::string::npos) << text;
}

TEST(CommandLine, VerbsAndTheirOptions) {
    struct Case {
        std::vector<const char*> args;
        const char* refusal;  // null: accepted
    } cases[] = {
        {{}, nullptr},
        {{"help"}, nullptr},
        {{"status", "C:\\QVL"}, nullptr},
        {{"trial", "--stop-after", "60", "C:\\QVL"}, nullptr},
        {{"install", "C:\\QVL Test", "--name", "Other", "--auto", "--no-lock"}, nullptr},
        {{"check", "-w", "30", "-c", "45", "--prom", "q.prom"}, nullptr},
        {{"frobnicate"}, "qvl: unknown verb \"frobnicate\""},
        {{"status", "--auto"}, "qvl status: unknown option \"--auto\""},
        {{"start", "C:\\QVL"}, "qvl start: unexpected \"C:\\QVL\""},
        {{"status", "a", "b"}, "qvl status: unexpected \"b\""},
        {{"install", "--bogus"}, "qvl install: unknown option \"--bogus\""},
        {{"trial", "--stop-after"}, "--stop-after needs a value"},
        {{"trial", "--stop-after", "soon"}, "--stop-after takes whole seconds, not \"soon\""},
        {{"trial", "--stop-after", "-1"}, "takes whole seconds"},
        {{"check", "-c", "30"}, nullptr},
        {{"check", "-w", "1e3"}, "-w takes whole seconds"},
        {{"uninstall", "--name", ""}, "--name takes a name"},
        {{"install", "--keep-existing", "--program", "D:\\ZARNQVL.EXE", "C:\\New"}, nullptr},
        {{"install", "--program"}, "--program needs a value"},
        {{"stop", "--timeout", "300", "--remember"}, nullptr},
        {{"uninstall", "--timeout", "60"}, nullptr},
        {{"install", "C:\\QVL", "--made-locked", "--program", "C:\\P\\ZARNQVL.EXE"}, nullptr},
        {{"stop", "--timeout", "0"}, "--timeout takes whole seconds, not \"0\""},
        {{"start", "--remember"}, "qvl start: unknown option \"--remember\""},
        {{"start", "--if-remembered"}, nullptr},
        {{"install", "--restart-on-failure", "60"}, nullptr},
        {{"install", "--restart-on-failure", "0"}, "--restart-on-failure takes whole seconds, not \"0\""},
        {{"install", "--restart-on-failure", "86401"}, "takes whole seconds"},
        {{"stop", "--restart-on-failure", "60"}, "qvl stop: unknown option \"--restart-on-failure\""},
        {{"status", "--name", "Other", "C:\\QVL"}, nullptr},
        {{"stop", "--made-locked"}, "qvl stop: unknown option \"--made-locked\""},
        {{"install", "C:\\QVL", "--restart-on-failure", "60", "--program", "\\\\srv\\d\\ZARNQVL.EXE"}, nullptr},
        {{"start", "--restart-on-failure", "60"}, "qvl start: unknown option"},
        {{"start", "--if-remembered", "--if-ready"}, nullptr},
        {{"stop", "--if-ready"}, "qvl stop: unknown option \"--if-ready\""},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("qvl")};
        for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
        Options o;
        char why[300];
        bool ok = ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, why, sizeof why);
        EXPECT_EQ(ok, c.refusal == nullptr) << (c.args.empty() ? "" : c.args[0]) << ": " << why;
        if (c.refusal) {
            EXPECT_NE(std::string(why).find(c.refusal), std::string::npos) << why;
        }
    }
    std::vector<const char*> install = {"qvl", "install", "C:\\QVL Test", "--auto"};
    Options o;
    char why[300];
    ASSERT_TRUE(ParseOptions(4, const_cast<char**>(install.data()), &o, why, sizeof why));
    EXPECT_EQ(o.Verb, VERB_INSTALL);
    EXPECT_STREQ(o.Folder, "C:\\QVL Test");
    EXPECT_STREQ(o.Name, "QVLService");
    EXPECT_TRUE(o.Auto);
    EXPECT_FALSE(o.NoLock);
    EXPECT_EQ(o.RestartAfter, -1);  // not given: the service's failure actions are left alone
    std::vector<const char*> recovery = {"qvl", "install", "--restart-on-failure", "86400"};
    ASSERT_TRUE(ParseOptions(4, const_cast<char**>(recovery.data()), &o, why, sizeof why));
    EXPECT_EQ(o.RestartAfter, SECONDS_MAX);
    std::vector<const char*> ready = {"qvl", "start", "--if-ready"};
    ASSERT_TRUE(ParseOptions(3, const_cast<char**>(ready.data()), &o, why, sizeof why));
    EXPECT_TRUE(o.IfReady);
    EXPECT_FALSE(o.IfRemembered);
    char* alone[] = {const_cast<char*>("qvl")};
    ASSERT_TRUE(ParseOptions(1, alone, &o, why, sizeof why));
    EXPECT_EQ(o.Verb, VERB_HELP);  // qvl alone lists the verbs
}

}  // namespace
