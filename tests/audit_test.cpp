// qvl audit on the simulated Windows: each way in it must find, by what the world holds; what it
// cannot read keeps it from ever saying ok; a sound service gives no finding.
#include <gtest/gtest.h>

#include <functional>

#include "host/entry.h"
#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tests/winsim/tool.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/security.h"

namespace {

using namespace winsim;

const char FOLDER[] = "C:\\QVL";
const int AUDIT_FINDINGS = 1;  // its exit status when a user could take the service over

std::string In(const std::string& name) {
    return std::string(FOLDER) + "\\" + name;
}

int IdOf(const std::string& path) {
    int parent;
    std::string name;
    uint32_t error;
    return Resolve(path, true, &parent, &name, &error);
}

// A service as install leaves it: its folder born locked under C:\, the files made in it.
void Sound() {
    W.Tool.PrivilegesOn = true;
    MakeFolder(FOLDER, LOCK_SDDL);
    for (const char* file : {HOST_FILE, TOOL_FILE, PROGRAM_FILE, LOG_FILE}) MakeFile(In(file), file);
    W.Tool.PrivilegesOn = false;
    Service s;
    s.Display = "QVL Service";
    s.BinaryPath = std::string("\"") + In(HOST_FILE) + "\"";
    W.Services[Upper(SERVICE_NAME)] = s;
}

TEST(Audit, FindsEachWayIn) {
    struct Case {
        const char* what;
        std::function<void()> change;
        int exit;
        const char* named;  // a part of what it says, when it must name something
    } cases[] = {
        {"a sound service", [] {}, 0, "no finding"},
        {"a folder open to Authenticated Users",
         [] { W.Objects[IdOf(FOLDER)].Security.Dacl.push_back({true, ACE_OI | ACE_CI, 0x1301bf, SID_AUTHENTICATED}); },
         AUDIT_FINDINGS, "Authenticated Users"},
        {"a file inside owned by the user",
         [] { W.Objects[IdOf(In(PROGRAM_FILE))].Security.Owner = SID_LOCAL_USER; },
         AUDIT_FINDINGS, PROGRAM_FILE},
        {"a DLL beside the program that users may write",
         [] { W.Tool.PrivilegesOn = true; MakeFile(In("version.dll"), "x", "D:P(A;;FA;;;BU)(A;;FA;;;BA)"); W.Tool.PrivilegesOn = false; },
         AUDIT_FINDINGS, "version.dll"},
        {"a junction inside", [] { MakeReparse(In("logs"), TAG_JUNCTION, "C:\\Users\\Public", true); }, AUDIT_FINDINGS, "logs"},
        {"a symbolic link inside", [] { MakeReparse(In("x.exe"), TAG_SYMLINK, "C:\\Kit\\qvl.exe", false); }, AUDIT_FINDINGS, "x.exe"},
        {"a cloud placeholder", [] { W.Objects[IdOf(In(PROGRAM_FILE))].Tag = TAG_CLOUD; }, AUDIT_FINDINGS, PROGRAM_FILE},
        {"an app-execution alias", [] { W.Objects[IdOf(In(PROGRAM_FILE))].Tag = TAG_APPEXECLINK; }, AUDIT_FINDINGS, PROGRAM_FILE},
        {"an unknown reparse tag", [] { W.Objects[IdOf(In(PROGRAM_FILE))].Tag = TAG_UNKNOWN; }, AUDIT_FINDINGS, PROGRAM_FILE},
        {"a deduplicated program is a file", [] { W.Objects[IdOf(In(PROGRAM_FILE))].Tag = TAG_DEDUP; }, 0, nullptr},
        {"a compressed program is a file", [] { W.Objects[IdOf(In(PROGRAM_FILE))].Tag = TAG_WOF; }, 0, nullptr},
        {"the program with a second name", [] { MakeHardLink("C:\\ProgramData\\z.exe", In(PROGRAM_FILE)); }, AUDIT_FINDINGS, PROGRAM_FILE},
        {"a folder above that users may re-permit",
         [] { W.Objects[1].Security.Dacl.push_back({true, 0, WRITE_DAC, SID_USERS}); }, AUDIT_FINDINGS, "C:\\"},
        {"a service users may reconfigure",
         [] { ServiceOf(SERVICE_NAME)->Security += "(A;;CCDCLCSWRPWPDTLOCRRC;;;AU)"; }, AUDIT_FINDINGS, "service"},
        {"a service key users may write",
         [] { ServiceOf(SERVICE_NAME)->KeySecurity += "(A;CI;KA;;;BU)"; }, AUDIT_FINDINGS, "HKLM"},
        {"a service path unquoted with a blank",
         [] { ServiceOf(SERVICE_NAME)->BinaryPath = "C:\\Q V L\\qvlsvce.exe"; }, AUDIT_FINDINGS, nullptr},
        {"a service running another host",
         [] { ServiceOf(SERVICE_NAME)->BinaryPath = "\"C:\\Kit\\qvlsvce.exe\""; }, AUDIT_FINDINGS, nullptr},
        {"no service installed", [] { W.Services.clear(); }, 0, "not installed"},
        {"a listing that fails midway", [] { W.FailListingAfter[IdOf(FOLDER)] = 1; }, EXIT_REFUSED, FOLDER},
        {"a file the administrator cannot read",
         [] { W.Objects[IdOf(In(TOOL_FILE))].Security = Descriptor{SID_SYSTEM, true, true, {}}; W.Tool.MayBackup = false; },
         EXIT_REFUSED, TOOL_FILE},
        {"a folder that is not there", [] { W.Objects[1].Children.erase("QVL"); }, EXIT_REFUSED, nullptr},
        {"a descriptor the judgment cannot read", [] { W.SecurityText[IdOf(In(TOOL_FILE))] = "O:BAD:(A;;FA;;"; },
         EXIT_REFUSED, "cannot be judged"},
        {"a file whose descriptor cannot be read", [] { W.SecurityFails[IdOf(In(TOOL_FILE))] = E_ACCESS_DENIED; },
         EXIT_REFUSED, TOOL_FILE},
        {"a folder above whose descriptor cannot be read", [] { W.SecurityFails[1] = E_ACCESS_DENIED; }, EXIT_REFUSED,
         "C:\\"},
        {"a service whose descriptor cannot be read", [] { ServiceOf(SERVICE_NAME)->SecurityUnread = true; }, EXIT_REFUSED,
         "service"},
        {"a service whose key is not there", [] { ServiceOf(SERVICE_NAME)->KeyMissing = true; }, EXIT_REFUSED, "HKLM"},
        {"a name too long to be named whole",
         [] { W.Tool.PrivilegesOn = true; MakeFile(In(std::string(1020, 'n')), "x"); W.Tool.PrivilegesOn = false; },
         EXIT_REFUSED, nullptr},
        {"folders nested deeper than the walk goes",
         [] {
             W.Tool.PrivilegesOn = true;
             std::string path = FOLDER;
             for (int i = 0; i < 40; i++) MakeFolder(path += "\\d");
             W.Tool.PrivilegesOn = false;
         },
         EXIT_REFUSED, nullptr},
    };
    for (const Case& c : cases) {
        Reset();
        Sound();
        c.change();
        Ran r = Qvl({"audit", FOLDER});
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, c.exit);
        if (c.named) {
            EXPECT_NE(r.Said.find(c.named), std::string::npos);
        }
        if (c.exit != 0) {
            EXPECT_EQ(r.Said.find("ok:"), std::string::npos) << "never ok with a finding or unread";
        }
        EXPECT_EQ(ToolHandlesOpen(), 0);
        EXPECT_TRUE(W.Violations.empty()) << W.Violations.front();
    }
}

// The service's folder given as a junction: the folder it points to is not the one judged.
TEST(Audit, FolderThatIsALink) {
    Reset();
    Sound();
    MakeReparse("C:\\J", TAG_JUNCTION, FOLDER, true);
    Ran r = Qvl({"audit", "C:\\J"});
    EXPECT_EQ(r.Exit, AUDIT_FINDINGS) << r.Said;
    EXPECT_NE(r.Said.find("itself a link"), std::string::npos) << r.Said;
}

// The version decides what OWNER RIGHTS does: on XP and 2003 it limits no owner, so an owner
// group kept from WRITE_DAC by a deny for OWNER RIGHTS can rewrite the access list there. The
// judgment has to be told which Windows it runs on for this to be found.
TEST(Audit, OwnerRightsByVersion) {
    for (int major : {5, 10}) {
        Reset();
        W.Windows = {major, major == 5 ? 2 : 0};
        Sound();
        Descriptor& d = W.Objects[IdOf(In(PROGRAM_FILE))].Security;
        ASSERT_TRUE(ParseSddl("O:BUD:P(D;;WD;;;OW)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", &d));
        Ran r = Qvl({"audit", FOLDER});
        SCOPED_TRACE(r.Said);
        EXPECT_EQ(r.Exit, major == 5 ? AUDIT_FINDINGS : 0) << "Windows " << major;
    }
}

}  // namespace
