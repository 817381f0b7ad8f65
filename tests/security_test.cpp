// The judgment of access lists, on real descriptors and on each way a reader or a rule has gone
// wrong before, under the rules of both Windows families; Samba's access check holds it to the
// same on random descriptors (security/differential.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/qvl/sddl.h"
#include "tools/qvl/security.h"

namespace {

const std::string TI = SID_TRUSTED_INSTALLER;
const std::string USER = "S-1-5-21-4132158795-2060570990-1823972835-1001";
const std::string USER_GROUP = "S-1-5-21-4132158795-2060570990-1823972835-513";

std::string Joined(const Findings& f) {
    std::string all;
    for (int i = 0; i < f.Count; i++) all += std::string(f.Lines[i]) + "\n";
    return all;
}

// n entries from a pattern with one %d, numbered from 1000.
std::string Many(int n, const std::string& pattern) {
    std::string all;
    char entry[200];
    for (int i = 0; i < n; i++) {
        snprintf(entry, sizeof entry, pattern.c_str(), 1000 + i);
        all += entry;
    }
    return "O:BAD:" + all;
}

enum Families { BOTH, XP, VISTA };

TEST(Security, RealDescriptorsJudged) {
    struct Case {
        const char* what;
        std::string sddl;
        Concern concern;
        std::vector<std::string> findings;  // one expected part per finding, in order
        Families under = BOTH;
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
        {"OWNER RIGHTS limits a user owner to reading", "O:" + USER + "D:(A;;FA;;;SY)(A;;RC;;;OW)", CONCERN_FILE,
         {}, VISTA},
        {"XP: OWNER RIGHTS is nobody, the owner may rewrite", "O:" + USER + "D:(A;;FA;;;SY)(A;;RC;;;OW)",
         CONCERN_FILE, {"owned by " + USER}, XP},
        {"OWNER RIGHTS gives a user owner write",
         "O:" + USER + "D:(A;;FA;;;SY)(A;;0x120116;;;OW)", CONCERN_FILE, {"its owner " + USER + " may write, append;"},
         VISTA},
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
        // Each cause the differential test against Samba's access check found, kept fixed.
        {"a NULL access list written with flags", "O:BAD:PAINO_ACCESS_CONTROL", CONCERN_FOLDER,
         {"no access list at all"}},
        {"a protected NULL access list", "O:BAD:PNO_ACCESS_CONTROL", CONCERN_FILE, {"no access list at all"}},
        {"a NULL access list a user owns", "O:" + USER + "D:NO_ACCESS_CONTROL", CONCERN_PARENT,
         {"no access list at all"}},
        {"OWNER RIGHTS lets the owner of a folder above delete what it holds", "O:" + USER + "D:(A;;DT;;;OW)",
         CONCERN_PARENT, {"its owner " + USER + " may delete or rename what it holds;"}, VISTA},
        {"XP: OWNER RIGHTS on a folder above is nobody", "O:" + USER + "D:(A;;DT;;;OW)", CONCERN_PARENT, {}, XP},
        {"OWNER RIGHTS leaves the owner of a folder above no more than that", "O:" + USER + "D:(A;;DT;;;OW)",
         CONCERN_ABOVE, {}, VISTA},
        {"XP: the owner of a folder above may rewrite it", "O:" + USER + "D:(A;;DT;;;OW)", CONCERN_ABOVE,
         {"owned by " + USER}, XP},
        {"an object allow grants", "O:BAD:(OA;;FA;;;AU)", CONCERN_FILE, {"Authenticated Users may write"}},
        {"a conditional object allow may hold", "O:BAD:(ZA;;FA;;;BU;(Exists @User.Title))", CONCERN_FILE,
         {"Users may write"}},
        {"an object deny with no object type binds", "O:BAD:(OD;;FA;;;AU)(A;;FA;;;AU)", CONCERN_FILE, {}},
        {"an object deny for one object type binds nobody on a file",
         "O:BAD:(OD;;FA;bf967aba-0de6-11d0-a285-00aa003049e2;;AU)(A;;FA;;;AU)", CONCERN_FILE,
         {"Authenticated Users may write"}},
        {"SELF matches no user on a file", "O:BAD:(A;;DC;;;PS)", CONCERN_FOLDER, {}},
        {"an owner group limited by a deny for OWNER RIGHTS", "O:BUD:(D;;WD;;;OW)(A;;WD;;;AU)", CONCERN_FOLDER, {},
         VISTA},
        {"XP: an owner group may rewrite, and so may every user", "O:BUD:(D;;WD;;;OW)(A;;WD;;;AU)", CONCERN_FOLDER,
         {"owned by Users", "Authenticated Users may change its permissions;"}, XP},
        {"the aliases of newer groups", "O:BAD:(A;;FA;;;SY)(A;;FR;;;UD)(A;;FR;;;RA)(A;;FR;;;AA)(A;;0x1301bf;;;HA)",
         CONCERN_FILE, {"Hyper-V Administrators may write, append, delete or rename it;"}},
        {"a numeric SID before the audit list", "O:BAG:" + USER_GROUP + "S:AI(AU;SAFA;FA;;;WD)", CONCERN_FILE,
         {"no access list at all"}},
        {"numeric SIDs before the access list and the audit list",
         "O:S-1-5-32-544G:" + USER_GROUP + "D:PAI(A;;FA;;;SY)(A;;FA;;;S-1-5-32-544)S:AI(AU;SAFA;FA;;;WD)",
         CONCERN_FILE, {}},
        {"a ')' quoted in a condition", "O:BAD:(XA;;FA;;;AU;(@User.Dept == \"R)D\"))(A;;FA;;;BU)", CONCERN_FILE,
         {"Authenticated Users may write", "Users may write"}},
        {"more than 64 entries", Many(70, "(A;;FR;;;" + USER.substr(0, USER.size() - 4) + "%d)") + "(A;;FA;;;BU)",
         CONCERN_FILE, {"Users may write"}},
        {"WRITE_DAC on a folder above", "O:BAD:(A;;WD;;;BU)", CONCERN_ABOVE, {"Users may change its permissions;"}},
        {"a deny for Authenticated Users does not reach the Guest account", "O:BAD:(D;;FA;;;AU)(A;;FA;;;WD)",
         CONCERN_FILE, {"Everyone (as the Guest account, where it is enabled) may write"}},
        {"a deny for Guests too reaches every logon", "O:BAD:(D;;FA;;;AU)(D;;FA;;;BG)(A;;FA;;;WD)", CONCERN_FILE, {}},
        {"Everyone denied", "O:BAD:(D;;FA;;;WD)(A;;FA;;;WD)", CONCERN_FILE, {}},
        {"Program Files as XP sets it up: Power Users may change it",
         "O:BAD:PAI(A;;0x1301bf;;;PU)(A;OICIIO;SDGXGWGR;;;PU)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;;FA;;;BA)"
         "(A;OICIIO;GA;;;BA)(A;;FA;;;SY)(A;OICIIO;GA;;;SY)(A;OICIIO;GA;;;CO)",
         CONCERN_FOLDER,
         {"Power Users may add files, add folders, delete or rename it;",
          "later, as the log is): Power Users may write, append, delete or rename it;"}},
    };
    for (const Case& c : cases) {
        for (WindowsRules rules : {RULES_XP_2003, RULES_VISTA_ON}) {
            if ((c.under == XP && rules != RULES_XP_2003) || (c.under == VISTA && rules != RULES_VISTA_ON)) continue;
            SCOPED_TRACE(std::string(c.what) + (rules == RULES_XP_2003 ? " (XP and 2003)" : " (Vista and later)"));
            Findings f = {};
            EXPECT_TRUE(JudgeSecurity(c.sddl.c_str(), c.concern, "X", "fix it", &f, rules));
            EXPECT_EQ(f.Count, static_cast<int>(c.findings.size())) << Joined(f);
            for (int i = 0; i < f.Count && i < static_cast<int>(c.findings.size()); i++) {
                std::string line = f.Lines[i];
                EXPECT_TRUE(line.rfind("X: ", 0) == 0 || line.rfind("X (", 0) == 0) << line;
                EXPECT_NE(line.find(c.findings[i]), std::string::npos) << line;
                EXPECT_EQ(line.substr(line.size() - 6), "fix it") << line;
            }
        }
    }
}

// Until a caller says which Windows it runs on, the judgment takes XP's rules, under which an
// owner always finds a way: it may then warn where Vista would not, never the other way round.
TEST(Security, WithoutRulesTheOwnerAlwaysFindsAWay) {
    const std::string sddl = "O:" + USER + "D:(A;;FA;;;SY)(D;;WD;;;OW)";
    Findings plain = {}, xp = {}, vista = {};
    JudgeSecurity(sddl.c_str(), CONCERN_FILE, "X", "fix", &plain);
    JudgeSecurity(sddl.c_str(), CONCERN_FILE, "X", "fix", &xp, RULES_XP_2003);
    JudgeSecurity(sddl.c_str(), CONCERN_FILE, "X", "fix", &vista, RULES_VISTA_ON);
    EXPECT_EQ(Joined(plain), Joined(xp));
    EXPECT_EQ(plain.Count, 1);
    EXPECT_EQ(vista.Count, 0) << Joined(vista);
}

TEST(Security, RulesByMajorVersion) {
    EXPECT_EQ(RulesOf(5), RULES_XP_2003);  // XP, 2003 and XP x64 are 5.1 and 5.2
    EXPECT_EQ(RulesOf(6), RULES_VISTA_ON);
    EXPECT_EQ(RulesOf(10), RULES_VISTA_ON);
}

TEST(Security, TextThatIsNoDescriptorIsNotJudged) {
    for (const char* sddl : {"D:(A;;ZZ;;;BU)", "D:(A;;FA;;;XX)", "D:(A;;FA", "Q:BA", "D:(A;;FA;;;BU)junk",
                             "D:(Q;;FA;;;BU)", "D:PX(A;;FA;;;BU)", "D:(XA;;FA;;;BU;(@User.Dept == \"a)\")",
                             "O:S-1-5-32-544X:BA"}) {
        Findings f = {};
        EXPECT_FALSE(JudgeSecurity(sddl, CONCERN_FOLDER, "X", "fix", &f)) << sddl;
        EXPECT_EQ(f.Count, 0) << sddl;
    }
}

TEST(Security, TheOwnerByName) {
    struct Case {
        const char* sddl;
        const char* owner;
    } cases[] = {
        {"O:BAD:(A;;FA;;;SY)", "Administrators"},
        {"O:S-1-5-32-544S:AI(AU;SAFA;FA;;;WD)", "Administrators"},
        {"O:S-1-5-21-1-2-3-1001G:DU", "S-1-5-21-1-2-3-1001"},
        {"O:HAD:", "Hyper-V Administrators"},
        {"D:(A;;FA;;;SY)", "(none)"},
    };
    for (const Case& c : cases) {
        char owner[64];
        OwnerName(c.sddl, owner, sizeof owner);
        EXPECT_STREQ(owner, c.owner) << c.sddl;
    }
}

}  // namespace
