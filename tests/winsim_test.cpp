// The simulated Windows held to the system's rules that the verbs' tests rely on: a check at the
// open and never after, sharing bound by data rights only, renames and deletes by the rights
// they need, inheritance at creation, owners and OWNER RIGHTS by version, links never followed
// at the last part, and the attacker's scripts run between the tool's calls.
#include <gtest/gtest.h>

#include "tests/winsim/world.h"
#include "tools/qvl/door.h"

namespace {

using namespace winsim;

const uint32_t ALL_SHARE = SHARE_READ | SHARE_WRITE | SHARE_DELETE;
// What install's lock gives a folder: protected, so nothing from C:\ is merged in.
const char LOCKED[] = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

class WinSim : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
};

TEST_F(WinSim, RightsAreCheckedAtTheOpenAndKeptAfter) {
    ASSERT_TRUE(MakeFolder("C:\\QVL"));  // the tool's, inheriting users' Modify from C:\ as Windows 10 gives it
    int kept = 0;
    AsUser([&] { kept = Open("C:\\QVL", DELETE, ALL_SHARE, OPEN_EXISTING, true, true); });
    ASSERT_TRUE(kept) << W.LastError;
    int tool = Open("C:\\QVL", WRITE_DAC | WRITE_OWNER, ALL_SHARE, OPEN_EXISTING, true, true);
    ASSERT_TRUE(SetSecurityByHandle(tool, LOCKED, true, true));
    Close(tool);
    int late = 1;
    AsUser([&] { late = Open("C:\\QVL", DELETE, ALL_SHARE, OPEN_EXISTING, true, true); });
    EXPECT_EQ(late, 0) << "the lock holds against a new open";
    bool renamed = false, created = false;
    AsUser([&] {
        renamed = RenameByHandle(kept, "C:\\QVL-old", false);
        created = MakeFolder("C:\\QVL") != 0;
    });
    EXPECT_TRUE(renamed) << "a handle keeps its DELETE after the lock";
    EXPECT_TRUE(created);
    int parent;
    std::string name;
    uint32_t error;
    EXPECT_EQ(W.Objects[Resolve("C:\\QVL", true, &parent, &name, &error)].Security.Owner, SID_LOCAL_USER);
}

TEST_F(WinSim, SharingBindsDataRightsOnly) {
    ASSERT_TRUE(MakeFile("C:\\Kit\\f", "x"));
    struct Case {
        const char* what;
        Mask first;
        uint32_t firstShare;
        Mask second;
        bool secondOpens;
    } cases[] = {
        {"a descriptor handle sharing nothing stops no delete", READ_CONTROL | WRITE_DAC, 0, DELETE, true},
        {"a delete is checked against share-delete", READ_DATA, SHARE_READ | SHARE_WRITE, DELETE, false},
        {"a delete handle stops an open that does not share deletion", DELETE, ALL_SHARE, READ_DATA, false},
        {"a write is checked against share-write", READ_DATA, SHARE_READ, WRITE_DATA, false},
        {"a descriptor open is never refused", READ_DATA, 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER, true},
        {"reads share with reads", READ_DATA, SHARE_READ, READ_DATA, true},
    };
    for (const Case& c : cases) {
        int a = Open("C:\\Kit\\f", c.first, c.firstShare, OPEN_EXISTING, true);
        ASSERT_TRUE(a) << c.what;
        // The second shares what the first asks for, unless it asks for data the first holds unshared.
        uint32_t share = c.second == READ_DATA && c.first == DELETE ? SHARE_READ | SHARE_WRITE : ALL_SHARE;
        int b = Open("C:\\Kit\\f", c.second, share, OPEN_EXISTING, true);
        EXPECT_EQ(b != 0, c.secondOpens) << c.what;
        if (!c.secondOpens) {
            EXPECT_EQ(W.LastError, E_SHARING_VIOLATION) << c.what;
        }
        if (b) Close(b);
        Close(a);
    }
}

TEST_F(WinSim, RenameAndDeleteNeedTheirRights) {
    ASSERT_TRUE(MakeFolder("C:\\Closed", LOCKED));
    ASSERT_TRUE(MakeFile("C:\\Closed\\f", "x"));
    int h = 0;
    AsUser([&] { h = Open("C:\\Closed\\f", DELETE, ALL_SHARE, OPEN_EXISTING, true); });
    EXPECT_FALSE(h) << "neither the file nor its folder grants the user DELETE";
    h = Open("C:\\Closed\\f", READ_CONTROL, ALL_SHARE, OPEN_EXISTING, true);
    EXPECT_FALSE(RenameByHandle(h, "C:\\Closed\\g", false)) << "a handle without DELETE renames nothing";
    Close(h);
    // FILE_DELETE_CHILD on the folder lets a user delete what it holds, whatever that says.
    ASSERT_TRUE(MakeFolder("C:\\Drop", "O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;BU)"));
    ASSERT_TRUE(MakeFile("C:\\Drop\\f", "x"));
    bool deleted = false;
    AsUser([&] { deleted = DeletePath("C:\\Drop\\f"); });
    EXPECT_TRUE(deleted);
    // A rename needs the right to add to the folder it goes to.
    ASSERT_TRUE(MakeFolder("C:\\Mine"));
    bool into = true;
    AsUser([&] {
        int mine = Open("C:\\Mine", DELETE, ALL_SHARE, OPEN_EXISTING, true, true);
        into = RenameByHandle(mine, "C:\\Closed\\Mine", false);
        Close(mine);
    });
    EXPECT_FALSE(into);
    // A folder with something inside open, not sharing deletion, keeps its name.
    ASSERT_TRUE(MakeFile("C:\\Mine\\f", "x"));
    int inside = Open("C:\\Mine\\f", READ_CONTROL, SHARE_READ, OPEN_EXISTING, true);
    int mine = Open("C:\\Mine", DELETE, ALL_SHARE, OPEN_EXISTING, true, true);
    EXPECT_FALSE(RenameByHandle(mine, "C:\\Yours", false));
    Close(inside);
    EXPECT_TRUE(RenameByHandle(mine, "C:\\Yours", false));
    Close(mine);
}

TEST_F(WinSim, MadeObjectsInheritUnlessProtected) {
    int open = MakeFolder("C:\\Open");
    int closed = MakeFolder("C:\\Closed", LOCKED);
    int user = 0;
    AsUser([&] { user = MakeFolder("C:\\Users'"); });
    ASSERT_TRUE(open && closed && user);
    EXPECT_EQ(W.Objects[open].Security.Owner, SID_ADMINISTRATORS);
    EXPECT_EQ(W.Objects[user].Security.Owner, SID_LOCAL_USER);
    EXPECT_TRUE(RightsNow(open, 1, W.User) & DELETE) << "C:\\ passes users' Modify on";
    EXPECT_FALSE(RightsNow(closed, 1, W.User) & (DELETE | WRITE_DAC | ADD_FILE));
    EXPECT_TRUE(RightsNow(user, 1, W.User) & WRITE_DAC) << "an owner rewrites the access list";
    // A file made in the locked folder gets its entries, marked inherited.
    int f = MakeFile("C:\\Closed\\f", "x");
    EXPECT_EQ(RightsNow(f, closed, W.User) & TAKEOVER_RIGHTS, 0u);
    EXPECT_EQ(W.Objects[f].Security.Dacl.size(), 3u);
}

TEST_F(WinSim, OwnerRightsByVersion) {
    Descriptor d;
    ASSERT_TRUE(ParseSddl(std::string("O:") + SID_LOCAL_USER + "D:(A;;0x1200a9;;;OW)(A;;FA;;;BA)", &d));
    Version xp{5, 1}, ten{10, 0};
    EXPECT_FALSE(Granted(d, UserToken(), ten) & WRITE_DAC) << "OWNER RIGHTS takes the owner's implicit rights away";
    EXPECT_TRUE(Granted(d, UserToken(), xp) & WRITE_DAC) << "XP knows no OWNER RIGHTS";
    ASSERT_TRUE(ParseSddl("D:(D;;WD;;;AU)(A;;FA;;;WD)", &d));
    EXPECT_EQ(Granted(d, UserToken(), ten) & WRITE_DAC, 0u) << "a deny first wins";
    ASSERT_TRUE(ParseSddl("D:NO_ACCESS_CONTROL", &d));
    EXPECT_EQ(Granted(d, UserToken(), ten), FILE_ALL);
}

TEST_F(WinSim, LinksAreFollowedOnTheWayOnly) {
    ASSERT_TRUE(MakeFolder("C:\\Real"));
    ASSERT_TRUE(MakeFile("C:\\Real\\f", "real"));
    ASSERT_TRUE(MakeReparse("C:\\J", TAG_JUNCTION, "C:\\Real", true));
    int parent;
    std::string name;
    uint32_t error;
    EXPECT_EQ(Resolve("C:\\J\\f", true, &parent, &name, &error), Resolve("C:\\Real\\f", true, &parent, &name, &error));
    int j = Resolve("C:\\J", true, &parent, &name, &error);
    EXPECT_EQ(W.Objects[j].Tag, TAG_JUNCTION);
    ASSERT_TRUE(MakeHardLink("C:\\Real\\g", "C:\\Real\\f"));
    EXPECT_EQ(W.Objects[Resolve("C:\\Real\\g", true, &parent, &name, &error)].Names, 2);
}

TEST_F(WinSim, ScriptsRunBetweenTheToolsCalls) {
    std::vector<int> seen;
    W.Scripts.push_back({2, [&] { seen.push_back(W.Calls); }});
    char out[64];
    door::Variable("ProgramFiles", out, sizeof out);
    EXPECT_TRUE(seen.empty());
    door::Variable("ProgramFiles", out, sizeof out);
    EXPECT_EQ(seen, std::vector<int>{2});
    door::Variable("ProgramFiles", out, sizeof out);
    EXPECT_EQ(seen.size(), 1u) << "a script runs once";
    EXPECT_EQ(W.Calls, 3);
}

}  // namespace
