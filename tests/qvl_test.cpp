// The operator tool's pure judgments: the service's configuration, the monitoring check's line,
// and the command line's refusals (the access lists' are in security_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/entry.h"
#include "tools/qvl/health.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/config.h"
#include "tools/qvl/security.h"
#include "tools/qvl/verdict.h"
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
        {SERVICE_NOT_INSTALLED, false, View(ABSENT_MISSING, 0), CHECK_CRITICAL,
         "QVL CRITICAL - QVLService is not installed | heartbeat_age=U;60;90;0 status=-1 service_state=0"},
        {SERVICE_UNKNOWN, true, View(PRESENT, 1), CHECK_UNKNOWN, "QVL UNKNOWN - the service manager cannot be asked"},
        {RUNNING, false, View(PRESENT, 1), CHECK_UNKNOWN, "QVL UNKNOWN - QVLService runs, but its folder cannot be read"},
    };
    for (const Case& c : cases) {
        Health h = {"QVLService", c.service, c.folderRead, c.status, CHECK_WARN_DEFAULT, CHECK_CRIT_DEFAULT};
        char line[600];
        EXPECT_EQ(JudgeHealth(h, line, sizeof line), c.result) << line;
        EXPECT_NE(std::string(line).find(c.says), std::string::npos) << line;
    }
    Health h = {"QVLService", RUNNING, true, View(PRESENT, 31), 10, 30};
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

TEST(Check, PrometheusTextCarriesTheSameFigures) {
    Health h = {"QVL \"x\"\\y", 4, true, View(PRESENT, 7, 0x80), 60, 90};
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
        {{"uninstall", "--restore", "--timeout", "60"}, nullptr},
        {{"stop", "--timeout", "0"}, "--timeout takes whole seconds, not \"0\""},
        {{"start", "--remember"}, "qvl start: unknown option \"--remember\""},
        {{"start", "--if-remembered"}, nullptr},
        {{"stop", "--restore"}, "qvl stop: unknown option \"--restore\""},
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
    char* alone[] = {const_cast<char*>("qvl")};
    ASSERT_TRUE(ParseOptions(1, alone, &o, why, sizeof why));
    EXPECT_EQ(o.Verb, VERB_HELP);  // qvl alone lists the verbs
}

}  // namespace
