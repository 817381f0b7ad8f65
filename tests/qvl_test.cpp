// The operator tool's pure judgments: the access lists of real descriptors, the service's
// configuration, the monitoring check's line, and the command line's refusals.
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

const std::string TI = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::string USER = "S-1-5-21-4132158795-2060570990-1823972835-1001";

std::string Joined(const Findings& f) {
    std::string all;
    for (int i = 0; i < f.Count; i++) all += std::string(f.Lines[i]) + "\n";
    return all;
}

TEST(Security, RealDescriptorsJudged) {
    struct Case {
        const char* what;
        std::string sddl;
        Concern concern;
        std::vector<std::string> findings;  // one expected part per finding, in order
    } cases[] = {
        {"the lock install writes", LOCK_SDDL, CONCERN_FOLDER, {}},
        {"the lock, as a folder above", LOCK_SDDL, CONCERN_ABOVE, {}},
        {"the lock on a folder inside", LOCK_INSIDE_FOLDER_SDDL, CONCERN_FOLDER, {}},
        {"the lock on a file inside", LOCK_INSIDE_FILE_SDDL, CONCERN_FILE, {}},
        {"a folder made under C:\\ by a user",
         "O:" + USER + "G:" + USER.substr(0, USER.size() - 4) + "513D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)"
         "(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
         CONCERN_FOLDER,
         {"owned by " + USER, "Authenticated Users may add files, add folders, delete or rename it;",
          "X (files made in it later, as the log is): Authenticated Users may write, append, delete or rename it;"}},
        {"a service's folder before a fix",
         "D:(A;ID;0x1301bf;;;AU)(A;OICIIOID;0x1301bf;;;AU)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)",
         CONCERN_FOLDER, {"Authenticated Users may add files", "later, as the log is): Authenticated Users may write"}},
        {"the service binary in it", "D:(A;ID;0x1301bf;;;AU)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;FA;;;BA)",
         CONCERN_FILE, {"Authenticated Users may write, append, delete or rename it;"}},
        {"C:\\ root as a folder above",
         "O:" + TI + "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)"
         "S:P(ML;OINPIO;NW;;;HI)",
         CONCERN_ABOVE, {}},
        {"C:\\ root holding the folder", "D:PAI(A;OICI;FA;;;BA)(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)", CONCERN_PARENT, {}},
        {"an older root: Users add folders",
         "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;LC;;;BU)(A;CIIO;DC;;;BU)"
         "(A;;0x1200a9;;;WD)",
         CONCERN_FOLDER, {"Users may add folders;"}},
        {"generic all on a file", "O:BAD:(A;;GA;;;BU)", CONCERN_FILE,
         {"Users may write, append, delete or rename it, change its permissions, take ownership;"}},
        {"kernel32.dll",
         "O:" + TI + "G:" + TI + "D:PAI(A;;FA;;;" + TI + ")(A;;0x1200a9;;;BA)(A;;0x1200a9;;;SY)(A;;0x1200a9;;;BU)"
         "(A;;0x1200a9;;;AC)(A;;0x1200a9;;;S-1-15-2-2)S:AI(AU;SAFA;DCLCRPCRSDWDWO;;;WD)",
         CONCERN_FILE, {}},
        {"a NULL access list", "O:BAD:NO_ACCESS_CONTROL", CONCERN_FOLDER, {"no access list at all"}},
        {"no access list in the text", "O:BA", CONCERN_FOLDER, {"no access list at all"}},
        {"a deny before an allow", "O:BAD:(D;;SDWDWODCLCDT;;;AU)(A;;FA;;;AU)", CONCERN_FOLDER, {}},
        {"a deny that leaves one right", "O:BAD:(D;;SDWDWODCLC;;;AU)(A;;FA;;;AU)", CONCERN_FOLDER,
         {"Authenticated Users may delete what it holds;"}},
        {"a deny after an allow", "O:BAD:(A;;FA;;;AU)(D;;FA;;;AU)", CONCERN_FOLDER, {"Authenticated Users may"}},
        {"Everyone denied before a user's allow", "O:BAD:(D;;FA;;;WD)(A;;FA;;;" + USER + ")", CONCERN_FOLDER, {}},
        {"another user's deny binds nobody else",
         "O:BAD:(D;;FA;;;S-1-5-21-1-2-3-1002)(A;;FA;;;" + USER + ")", CONCERN_FOLDER, {USER + " may"}},
        {"generic write", "O:BAD:(A;;GW;;;BU)", CONCERN_FOLDER, {"Users may add files, add folders;"}},
        {"generic all",
         "O:BAD:(A;;GA;;;WD)", CONCERN_FOLDER,
         {"Everyone may add files, add folders, delete what it holds, delete or rename it, change its permissions, "
          "take ownership;"}},
        {"generic read and execute", "O:BAD:(A;;GRGX;;;BU)", CONCERN_FOLDER, {}},
        {"inherit-only entries count for the files made later",
         "O:BAD:(A;OICIIO;FA;;;BU)(A;CIIO;GA;;;CO)", CONCERN_FOLDER,
         {"X (files made in it later, as the log is): Users may write, append, delete or rename it, change its "
          "permissions, take ownership;"}},
        {"passed on to every user's new files", "O:BAD:(A;OICI;FA;;;BA)(A;OIIO;FA;;;AU)", CONCERN_FOLDER,
         {"later, as the log is): Authenticated Users may write"}},
        {"passed on to subfolders only", "O:BAD:(A;CIIO;FA;;;AU)", CONCERN_FOLDER, {}},
        {"inherit-only entries on a file", "O:BAD:(A;OICIIO;FA;;;BU)", CONCERN_FILE, {}},
        {"INTERACTIVE denied: a network logon is not", "O:BAD:(D;;FA;;;IU)(A;;FA;;;AU)", CONCERN_FILE,
         {"Authenticated Users may write"}},
        {"a conditional allow may hold", "O:BAD:(XA;;FA;;;AU;(Member_of {SID(BU)}))", CONCERN_FILE,
         {"Authenticated Users may write"}},
        {"a conditional deny may not", "O:BAD:(XD;;FA;;;AU;(Member_of {SID(BU)}))(A;;FA;;;AU)", CONCERN_FILE,
         {"Authenticated Users may write"}},
        {"Authenticated Users denied: a user's own allow is void",
         "O:BAD:(D;;FA;;;AU)(A;;FA;;;" + USER + ")", CONCERN_FOLDER, {}},
        {"the account itself denied", "O:BAD:(D;;FA;;;" + USER + ")(A;;FA;;;" + USER + ")", CONCERN_FOLDER, {}},
        {"take ownership of a folder above", "O:BAD:(A;;WO;;;BU)", CONCERN_ABOVE, {"Users may take ownership;"}},
        {"a folder above owned by a user", "O:" + USER + "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", CONCERN_ABOVE,
         {"owned by " + USER}},
        {"a user's profile folder above, owned by the local Administrator",
         "O:LAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LA)", CONCERN_ABOVE, {}},
        {"Domain Admins and Domain Users", "O:DAD:(A;;FA;;;DA)(A;;FA;;;DU)", CONCERN_FILE,
         {"Domain Users may write"}},
        {"OWNER RIGHTS limits a user owner to reading",
         "O:" + USER + "D:(A;;FA;;;SY)(A;;RC;;;OW)", CONCERN_FILE, {}},
        {"OWNER RIGHTS gives a user owner write",
         "O:" + USER + "D:(A;;FA;;;SY)(A;;0x120116;;;OW)", CONCERN_FILE, {"its owner " + USER + " may write, append;"}},
        {"OWNER RIGHTS with a trusted owner", "O:BAD:(A;;FA;;;OW)", CONCERN_FILE, {}},
        {"a registry key open to Users", "O:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)(A;;KW;;;IU)", CONCERN_KEY,
         {"INTERACTIVE may set its values, add subkeys;"}},
        {"a service's registry key as Windows makes it", "O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
         CONCERN_KEY, {}},
        {"CREATOR OWNER on the object itself", "O:BAD:(A;;FA;;;CO)", CONCERN_FOLDER, {}},
        {"an owner that is a user", "O:" + USER + "D:PAI(A;;FA;;;SY)", CONCERN_FOLDER, {"owned by " + USER}},
        {"well-known accounts as S-1-5-...",
         "O:S-1-5-32-544D:PAI(A;OICI;FA;;;S-1-5-18)(A;OICI;FA;;;S-1-5-32-544)(A;OICI;0x1200a9;;;S-1-5-32-545)",
         CONCERN_FOLDER, {}},
        {"Authenticated Users as S-1-5-11", "O:BAD:(A;;0x40000;;;S-1-5-11)", CONCERN_FOLDER,
         {"Authenticated Users may change its permissions;"}},
        {"delete child on the folder holding it", "D:(A;;DT;;;BU)", CONCERN_PARENT, {"Users may delete or rename what it holds"}},
        {"delete on a folder above", "D:(A;;SDRC;;;IU)", CONCERN_ABOVE, {"INTERACTIVE may delete or rename it"}},
        {"a service owned by a user", "O:" + USER + "D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)", CONCERN_SERVICE,
         {"owned by " + USER}},
        {"what CreateService gives",
         "D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)"
         "S:(AU;FA;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;WD)",
         CONCERN_SERVICE, {}},
        {"a service open to Authenticated and Power Users",
         "D:(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;AU)"
         "(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;PU)(A;;CCDCLCSWLOCRRC;;;LS)",
         CONCERN_SERVICE,
         {"Authenticated Users may change its configuration, change its permissions, take ownership;",
          "Power Users may change its configuration", "LOCAL SERVICE may change its configuration;"}},
        {"generic write on a service", "D:(A;;GW;;;BU)", CONCERN_SERVICE, {"Users may change its configuration;"}},
        {"start and stop only on a service", "D:(A;;RPWPLCRC;;;AU)", CONCERN_SERVICE, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Findings f = {};
        EXPECT_TRUE(JudgeSecurity(c.sddl.c_str(), c.concern, "X", "fix it", &f));
        EXPECT_EQ(f.Count, static_cast<int>(c.findings.size())) << Joined(f);
        for (int i = 0; i < f.Count && i < static_cast<int>(c.findings.size()); i++) {
            std::string line = f.Lines[i];
            EXPECT_TRUE(line.rfind("X: ", 0) == 0 || line.rfind("X (", 0) == 0) << line;
            EXPECT_NE(line.find(c.findings[i]), std::string::npos) << line;
            EXPECT_EQ(line.substr(line.size() - 6), "fix it") << line;
        }
    }
}

TEST(Security, TextThatIsNoDescriptorIsNotJudged) {
    for (const char* sddl : {"D:(A;;ZZ;;;BU)", "D:(A;;FA;;;XX)", "D:(A;;FA", "Q:BA", "D:(A;;FA;;;BU)junk"}) {
        Findings f = {};
        EXPECT_FALSE(JudgeSecurity(sddl, CONCERN_FOLDER, "X", "fix", &f)) << sddl;
        EXPECT_EQ(f.Count, 0) << sddl;
    }
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
        {{"install", "C:\\QVL", "--restart-on-failure", "60", "--program", "\\\\srv\\d\\ZARNQVL.EXE"}, nullptr},
        {{"install", "--restart-on-failure", "0"}, "--restart-on-failure takes whole seconds, not \"0\""},
        {{"install", "--restart-on-failure", "86401"}, "takes whole seconds"},
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
    EXPECT_EQ(o.RestartOnFailure, -1);  // not given: the service's failure actions are left alone
    std::vector<const char*> recovery = {"qvl", "install", "--restart-on-failure", "86400"};
    ASSERT_TRUE(ParseOptions(4, const_cast<char**>(recovery.data()), &o, why, sizeof why));
    EXPECT_EQ(o.RestartOnFailure, SECONDS_MAX);
    std::vector<const char*> ready = {"qvl", "start", "--if-ready"};
    ASSERT_TRUE(ParseOptions(3, const_cast<char**>(ready.data()), &o, why, sizeof why));
    EXPECT_TRUE(o.IfReady);
    EXPECT_FALSE(o.IfRemembered);
    char* alone[] = {const_cast<char*>("qvl")};
    ASSERT_TRUE(ParseOptions(1, alone, &o, why, sizeof why));
    EXPECT_EQ(o.Verb, VERB_HELP);  // qvl alone lists the verbs
}

}  // namespace
