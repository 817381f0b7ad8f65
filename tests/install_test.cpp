// qvl install on the simulated Windows, with a local user acting between any two of its calls:
// for every placement, install either refuses or ends with nothing in what the service runs that
// the user can write, or holds a write, delete or permission handle on, and the service's path
// never points into a folder a user could write. The takeovers a lock in place cannot stop are
// each a test of their own, the user placed where it wins against such a lock.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "host/entry.h"
#include "host/service.h"
#include "tests/winsim/tool.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/security.h"

namespace {

using namespace winsim;

const char FOLDER[] = "C:\\QVL";
const char TRUSTED_INSTALLER[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char USER_DATA[] = "the user's own host";

std::string In(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

std::string Shipped(const std::string& file) {
    return "shipped " + file;
}

int IdOf(const std::string& path) {
    int parent;
    std::string name;
    uint32_t error;
    return Resolve(path, true, &parent, &name, &error);
}

bool Exists(const std::string& path) {
    return IdOf(path) != 0;
}

// Where install starts from.
struct Scenario {
    const char* Name;
    std::vector<std::string> Args;
    std::function<void()> Prepare;
};

// The guide's zip example: the operator made C:\QVL under C:\ and unpacked the kit into it, so
// Authenticated Users may modify all of it.
void Unpacked() {
    MakeFolder(FOLDER);
    for (const char* file : {HOST_FILE, TOOL_FILE, PROGRAM_FILE}) MakeFile(In(FOLDER, file), Shipped(file));
    W.ModulePath = In(FOLDER, TOOL_FILE);
}

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = {
        {"a folder not there yet", {"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"}, [] {}},
        {"the unpacked kit", {"install", FOLDER}, Unpacked},
        {"the unpacked kit with what the operator keeps",
         {"install", FOLDER, "--keep-existing"},
         [] {
             Unpacked();
             MakeFile(In(FOLDER, "helper.dll"), "the operator's helper");
         }},
        {"the unpacked kit, its service one users may reconfigure",
         {"install", FOLDER},
         [] {
             Unpacked();
             Service s;
             s.Name = SERVICE_NAME;
             s.Display = "QVL Service";
             s.BinaryPath = "\"" + In(FOLDER, HOST_FILE) + "\"";
             s.Security += "(A;;CCDCLCSWRPWPDTLOCRRC;;;AU)";
             W.Services[Upper(SERVICE_NAME)] = s;
         }},
        {"a folder the user made and the operator filled",
         {"install", FOLDER},
         [] {
             AsUser([] { MakeFolder(FOLDER); });
             for (const char* file : {HOST_FILE, TOOL_FILE, PROGRAM_FILE}) MakeFile(In(FOLDER, file), Shipped(file));
         }},
    };
    return all;
}

// The user's moves, each tried at every step of install.
struct Attack {
    const char* Name;
    std::function<void()> Run;
};

// Every object under C:\ but the system's folders: the user keeps what it can get.
void KeepAll() {
    std::vector<int> ids;
    for (const auto& c : W.Objects[1].Children) {
        std::string name = W.Objects[1].Spelling[c.first];
        if (name == "Windows" || name == "Program Files" || name == "Program Files (x86)" || name == "ProgramData" ||
            name == "Users" || name == "Kit")
            continue;
        ids.push_back(c.second);
    }
    for (size_t i = 0; i < ids.size(); i++) {
        const Object& o = W.Objects[ids[i]];
        if (o.Folder && !o.Tag)
            for (const auto& c : o.Children) ids.push_back(c.second);
    }
    for (int id : ids) KeepHandle(PathOf(id));
}

// Every folder under C:\ named like the service's (one beside it included) gets what a user plants.
void PlantEverywhere(const std::function<void(const std::string&)>& plant) {
    std::vector<std::string> folders;
    for (const auto& c : W.Objects[1].Children)
        if (W.Objects[c.second].Folder && c.first.compare(0, 3, "QVL") == 0) folders.push_back(PathOf(c.second));
    for (const auto& f : folders) plant(f);
}

// The names a clean run made beside the service's folder (its copy, the open folder kept aside).
std::vector<std::string> BesideNames;

const std::vector<Attack>& Attacks() {
    static const std::vector<Attack> all = {
        {"keeps handles on all it can open", KeepAll},
        {"keeps a handle on the service", [] { KeepServiceHandle(SERVICE_NAME); }},
        {"plants a DLL beside the program",
         [] { PlantEverywhere([](const std::string& f) { MakeFile(In(f, "version.dll"), "the user's DLL"); }); }},
        {"plants a junction and a hard link",
         [] {
             PlantEverywhere([](const std::string& f) {
                 MakeReparse(In(f, "logs"), TAG_JUNCTION, "C:\\Users\\Public", true);
                 MakeHardLink(In(f, "ZARNQVL.EXE.bak"), "C:\\Kit\\ZARNQVL.EXE");
             });
         }},
        {"plants the fresh copy's name and keeps a handle on it",
         [] {
             PlantEverywhere([](const std::string& f) {
                 MakeFile(In(f, "ZARNQVL.EXE.qvl-fresh"), "the user's program");
                 KeepHandle(In(f, "ZARNQVL.EXE.qvl-fresh"));
             });
         }},
        {"makes the folder first when it is not there",
         [] {
             if (Exists(FOLDER)) return;
             MakeFolder(FOLDER, "D:(A;OICI;FA;;;WD)");
             MakeFile(In(FOLDER, HOST_FILE), USER_DATA);
         }},
        {"takes the names install makes beside the folder",
         [] {
             for (const auto& name : BesideNames)
                 if (MakeFolder(name, "D:(A;OICI;FA;;;WD)")) MakeFile(In(name, HOST_FILE), USER_DATA);
         }},
        {"swaps the folder for its own at once",
         [] {
             int h = KeepHandle(FOLDER);
             if (h && RenameByHandle(h, "C:\\QVL-away", false) && MakeFolder(FOLDER, "D:(A;OICI;FA;;;WD)"))
                 MakeFile(In(FOLDER, HOST_FILE), USER_DATA);
             if (h) Close(h);
         }},
    };
    return all;
}

// What must hold after install, whatever it answered: said in lines, empty when all holds.
std::vector<std::string> Breaches(const Ran& r) {
    std::vector<std::string> breaches;
    for (const auto& given : W.PathsGiven)
        if (given.second) breaches.push_back("the service's path was set into a folder a user could write: " + given.first);
    if (ToolHandlesOpen()) breaches.push_back("install left " + std::to_string(ToolHandlesOpen()) + " handles open");
    std::string path = ServicePath(SERVICE_NAME);
    if (path.empty()) return breaches;
    // A service install refused or failed before touching is as the operator had it.
    if (r.Exit != 0 && W.PathsGiven.empty() && path == r.PathBefore) return breaches;
    for (const auto& way : UserWaysIn(path)) breaches.push_back("after install (exit " + std::to_string(r.Exit) + "): " + way);
    // A host the user wrote before install may be copied from an open folder (what it holds is the
    // operator's to vouch for), but never without a warning that names it.
    std::string host = path.substr(1, path.size() - 2);
    bool warned = false;
    for (size_t at = r.Said.find("warn:"); at != std::string::npos; at = r.Said.find("warn:", at + 1))
        warned |= r.Said.substr(at, r.Said.find('\n', at) - at).find(HOST_FILE) != std::string::npos;
    if (DataAt(host) != Shipped(HOST_FILE) && !warned)
        breaches.push_back("the service runs " + DataAt(host) + ", and install gave no warning naming it");
    for (const auto& kept : W.UserServiceHandles) {
        Service* s = ServiceOf(kept.first);
        if (s && !s->MarkedForDelete && (kept.second & SERVICE_TAKEOVER))
            breaches.push_back("the user holds a handle on the service " + kept.first + " that may change it");
    }
    std::string ran = DataAt(host);
    UseKeptHandles();
    if (ServicePath(SERVICE_NAME) != path) breaches.push_back("the user pointed the service at " + ServicePath(SERVICE_NAME));
    if (DataAt(host) != ran) breaches.push_back("once the user used its handles, the service runs " + DataAt(host));
    for (const auto& way : UserWaysIn(path)) breaches.push_back("once the user used its handles: " + way);
    return breaches;
}

// Breaches found at the placements of a loop, by kind: each said once, with how many placements
// gave it and the first of them (paths made anew by install are told apart by their step only).
struct Found {
    std::map<std::string, std::pair<int, std::string>> Kinds;
    std::string FirstSaid;
    void Add(const std::string& step, const std::string& breach, const std::string& said) {
        if (Kinds.empty()) FirstSaid = said;
        auto& k = Kinds[breach];
        if (!k.first++) k.second = step;
    }
    std::string Text() const {
        std::string t;
        for (const auto& k : Kinds)
            t += "  " + k.first + " (" + std::to_string(k.second.first) + " placements; the first " + k.second.second + ")\n";
        return t + "what install said at the first:\n" + FirstSaid;
    }
};

// The calls of a clean run of the scenario: each is a place for the user.
int CleanCalls(const Scenario& s, const Version& windows = Version()) {
    Reset(windows);
    s.Prepare();
    W.Named.clear();
    W.Calls = 0;
    Qvl(s.Args);
    BesideNames.clear();
    for (const auto& named : W.Named)
        if (named.first == 1 && Upper(named.second) != Upper(FOLDER + 3)) BesideNames.push_back("C:\\" + named.second);
    return W.Calls;
}

TEST(Install, CleanRunsMakeAServiceNoUserCanTakeOver) {
    for (const Scenario& s : Scenarios()) {
        Reset();
        s.Prepare();
        Ran r = Qvl(s.Args);
        SCOPED_TRACE(std::string(s.Name) + "\n" + r.Said);
        if (std::string(s.Name).find("the user made") != std::string::npos) {
            // Whatever install does with a folder the user owns, it never runs from it.
            EXPECT_TRUE(Breaches(r).empty());
            continue;
        }
        if (std::string(s.Name).find("may reconfigure") != std::string::npos) {
            // Refused: whatever it set, a handle a user opened on the service before keeps its rights.
            EXPECT_EQ(r.Exit, EXIT_REFUSED);
            EXPECT_EQ(ServicePath(SERVICE_NAME), "\"" + In(FOLDER, HOST_FILE) + "\"");
            continue;
        }
        EXPECT_EQ(r.Exit, 0);
        std::string path = ServicePath(SERVICE_NAME);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(path.front(), '"') << "a path with a blank is quoted";
        EXPECT_EQ(DataAt(path.substr(1, path.size() - 2)), Shipped(HOST_FILE));
        EXPECT_TRUE(W.Violations.empty()) << W.Violations.front();
        for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
    }
}

// On Windows 10 and on XP, where a folder is listed by its path and not through its handle.
TEST(Install, UserAtEveryStepNeverTakesTheServiceOver) {
    int placements = 0;
    for (Version v : {Version{10, 0}, Version{5, 1}}) {
        for (const Scenario& s : Scenarios()) {
            int calls = CleanCalls(s, v);
            ASSERT_GT(calls, 10) << s.Name;
            for (const Attack& a : Attacks()) {
                Found found;
                for (int n = 0; n <= calls; n++) {
                    Reset(v);
                    s.Prepare();
                    W.Calls = 0;
                    if (n == 0) AsUser(a.Run);
                    else W.Scripts.push_back({n, a.Run});
                    Ran r = Qvl(s.Args);
                    placements++;
                    std::string step = n == 0 ? "before install" : "after call " + std::to_string(n) + " (" +
                                                                       (n <= static_cast<int>(W.CallNames.size()) ? W.CallNames[n - 1] : "?") + ")";
                    for (const auto& b : Breaches(r)) found.Add(step, b, r.Said);
                }
                EXPECT_TRUE(found.Kinds.empty()) << s.Name << " on " << v.Major << "." << v.Minor << ", the user " << a.Name
                                                 << ":\n" << found.Text();
            }
        }
    }
    EXPECT_GT(placements, 100);
}

// A failure at any step (each of the tool's calls in turn answers access denied) leaves no service
// pointing at anything a user could write, nothing of the operator's deleted or changed, and no
// handle open.
TEST(Install, FailureAtEveryStepLeavesNothingOpen) {
    for (const Scenario& s : Scenarios()) {
        int calls = CleanCalls(s);
        Found found;
        for (int n = 1; n <= calls; n++) {
            Reset();
            s.Prepare();
            std::map<int, std::string> operators;
            for (size_t id = 1; id < W.Objects.size(); id++) operators[static_cast<int>(id)] = W.Objects[id].Data;
            W.Calls = 0;
            W.FailCall = n;
            Ran r = Qvl(s.Args);
            std::string step = "call " + std::to_string(n) + " (" + W.CallNames[n - 1] + ") failing";
            for (const auto& b : Breaches(r)) found.Add(step, b, r.Said);
            for (const auto& v : W.Violations) found.Add(step, v, r.Said);
            for (const auto& o : operators)
                if (W.Objects[o.first].Gone || W.Objects[o.first].Data != o.second)
                    found.Add(step, "the operator's " + PathOf(o.first) + " was deleted or changed", r.Said);
        }
        EXPECT_TRUE(found.Kinds.empty()) << s.Name << ":\n" << found.Text();
    }
}

// Takeover 1: the user opened the operator's folder with DELETE before the lock and kept the
// handle; after install it renames the folder away and puts its own in its place.
TEST(Install, TakeoverFolderRenamedAwayThroughAKeptHandle) {
    Reset();
    Unpacked();
    int kept = 0;
    AsUser([&] { kept = KeepHandle(FOLDER); });
    ASSERT_TRUE(HandleOf(kept) && (HandleOf(kept)->Access & DELETE)) << "Windows 10 gives users DELETE on it";
    Ran r = Qvl({"install", FOLDER});
    SCOPED_TRACE(r.Said);
    for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
}

// Takeover 2: handles on what install keeps: qvl.exe and what --keep-existing keeps are the files
// the user could open before the lock.
TEST(Install, TakeoverHandlesOnKeptFiles) {
    Reset();
    Unpacked();
    MakeFile(In(FOLDER, "helper.dll"), "the operator's helper");
    AsUser([] {
        for (const char* name : {TOOL_FILE, "helper.dll"}) KeepHandle(In(FOLDER, name));
    });
    Ran r = Qvl({"install", FOLDER, "--keep-existing"});
    SCOPED_TRACE(r.Said);
    for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
}

// Takeover 3a: an entry made between the look and the lock is locked and trusted unseen.
TEST(Install, TakeoverEntryMadeBetweenLookAndLock) {
    const Scenario& unpacked = Scenarios()[1];
    int calls = CleanCalls(unpacked);
    std::vector<std::string> failures;
    for (int n = 1; n <= calls; n++) {
        Reset();
        Unpacked();
        W.Calls = 0;
        W.Scripts.push_back({n, [] { MakeFile(In(FOLDER, "version.dll"), "the user's DLL"); }});
        Ran r = Qvl(unpacked.Args);
        std::string path = ServicePath(SERVICE_NAME);
        if (path.empty()) continue;
        std::string folder = path.substr(1, path.rfind('\\') - 1);
        int parent;
        std::string name;
        uint32_t error;
        int dll = Resolve(In(folder, "version.dll"), true, &parent, &name, &error);
        if (dll && W.Objects[dll].Data == "the user's DLL")
            failures.push_back("after call " + std::to_string(n) + ": the user's DLL sits beside the program (exit " +
                               std::to_string(r.Exit) + ")");
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " placements, the first: " << failures.front();
}

// Takeover 3b: the fresh copy goes to a fixed name, and a file already there under it is written
// into, not replaced: a handle the user kept on it then reaches the program.
TEST(Install, TakeoverPlantedFreshCopyName) {
    Reset();
    Unpacked();
    AsUser([] {
        MakeFile(In(FOLDER, "ZARNQVL.EXE.qvl-fresh"), "the user's program");
        KeepHandle(In(FOLDER, "ZARNQVL.EXE.qvl-fresh"));
    });
    Ran r = Qvl({"install", FOLDER, "--keep-existing"});
    SCOPED_TRACE(r.Said);
    for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
    std::string path = ServicePath(SERVICE_NAME);
    if (!path.empty()) {
        std::string folder = path.substr(1, path.rfind('\\') - 1);
        EXPECT_EQ(DataAt(In(folder, PROGRAM_FILE)), Shipped(PROGRAM_FILE));
    }
}

// What the walk refuses, by what the entry is: links and files with more than one name, and
// reparse points by an allow-list (deduplicated and compressed files are files).
TEST(Install, WalkRefusesLinksAndUnknownReparsePoints) {
    struct Case {
        const char* what;
        uint32_t tag;  // on ZARNQVL.EXE; 0: a second name instead
        bool refused;
    } cases[] = {
        {"a deduplicated file", TAG_DEDUP, false},
        {"a file compressed by the overlay filter", TAG_WOF, false},
        {"a cloud placeholder", TAG_CLOUD, true},
        {"an app-execution alias", TAG_APPEXECLINK, true},
        {"an unknown tag", TAG_UNKNOWN, true},
        {"a symbolic link", TAG_SYMLINK, true},
        {"a file with two names", 0, true},
    };
    for (const Case& c : cases) {
        Reset();
        Unpacked();
        int parent;
        std::string name;
        uint32_t error;
        int program = Resolve(In(FOLDER, PROGRAM_FILE), true, &parent, &name, &error);
        if (c.tag) {
            W.Objects[program].Tag = c.tag;
            if (c.tag == TAG_SYMLINK) W.Objects[program].Target = "C:\\Kit\\ZARNQVL.EXE";
        } else {
            MakeHardLink("C:\\ProgramData\\other-name.exe", In(FOLDER, PROGRAM_FILE));
        }
        Ran r = Qvl({"install", FOLDER});
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        if (c.refused) {
            EXPECT_EQ(r.Exit, EXIT_REFUSED);
            EXPECT_TRUE(ServicePath(SERVICE_NAME).empty());
            EXPECT_NE(r.Said.find(PROGRAM_FILE), std::string::npos) << "the refusal names the entry";
        } else {
            EXPECT_EQ(r.Exit, 0);
        }
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

// A listing that fails part of the way is a failure: what it did not list was not seen.
TEST(Install, ListingThatFailsMidwayRefuses) {
    Reset();
    Unpacked();
    int parent;
    std::string name;
    uint32_t error;
    W.FailListingAfter[Resolve(FOLDER, true, &parent, &name, &error)] = 1;
    Ran r = Qvl({"install", FOLDER});
    SCOPED_TRACE(r.Said);
    EXPECT_NE(r.Exit, 0);
    EXPECT_TRUE(ServicePath(SERVICE_NAME).empty());
    EXPECT_EQ(ToolHandlesOpen(), 0);
}

// Refusals that come before any change: not elevated, a service of that name that runs another
// folder's host, a system folder; each leaves the world as it was.
TEST(Install, RefusalsChangeNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> prepare;
    } cases[] = {
        {"not elevated", {"install", FOLDER}, [] { Unpacked(); W.CanMakeServices = false; }},
        {"the Windows folder", {"install", "C:\\Windows"}, [] {}},
        {"Program Files itself", {"install", "C:\\Program Files"}, [] {}},
        {"the public profile", {"install", "C:\\Users\\Public"}, [] {}},
        {"a service of that name runs another host",
         {"install", FOLDER},
         [] {
             Unpacked();
             Service s;
             s.BinaryPath = "\"C:\\Other\\qvlsvce.exe\"";
             s.Display = "QVL Service";
             W.Services["QVLSERVICE"] = s;
         }},
        {"no host in the folder", {"install", FOLDER}, [] { MakeFolder(FOLDER); }},
    };
    for (const Case& c : cases) {
        Reset();
        c.prepare();
        size_t objects = W.Objects.size();
        std::string before = ServicePath(SERVICE_NAME);
        Ran r = Qvl(c.args);
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, EXIT_REFUSED);
        EXPECT_EQ(W.Objects.size(), objects) << "nothing was made";
        EXPECT_EQ(ServicePath(SERVICE_NAME), before);
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

// The other ways a folder and a service are found, each with what install must make of them.
TEST(Install, FoldersAndServicesAsFound) {
    const std::string programFiles = "C:\\Program Files\\QVL";
    auto closedKit = [programFiles](const std::string& folder) {
        W.Tool.PrivilegesOn = true;
        MakeFolder(folder, LOCK_SDDL);
        for (const char* file : {HOST_FILE, TOOL_FILE, PROGRAM_FILE}) MakeFile(In(folder, file), Shipped(file));
        W.Tool.PrivilegesOn = false;
    };
    auto service = [](const std::string& name, const std::string& display, const std::string& path) {
        Service s;
        s.Name = name;
        s.Display = display;
        s.BinaryPath = "\"" + path + "\"";
        W.Services[Upper(name)] = s;
        return &W.Services[Upper(name)];
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> prepare;
        int exit;
        const char* said;                // a part of what install says
        std::function<bool()> holds;     // what must be so afterwards
    } cases[] = {
        {"a closed folder under a closed parent is run from", {"install", programFiles},
         [&] { closedKit(programFiles); }, 0, "could never have written it",
         [&] { return ServicePath(SERVICE_NAME) == "\"" + In(programFiles, HOST_FILE) + "\""; }},
        {"--program into it: a new file renamed over the program", {"install", programFiles, "--program", "C:\\Kit\\ZARNQVL.EXE"},
         [&] { closedKit(programFiles); W.Objects[IdOf(In(programFiles, PROGRAM_FILE))].Data = "old"; },
         0, "renamed over", [&] { return DataAt(In(programFiles, PROGRAM_FILE)) == Shipped(PROGRAM_FILE); }},
        {"--made-locked: the package's locked folder is run from", {"install", FOLDER, "--made-locked"},
         [&] { closedKit(FOLDER); }, 0, "could never have written it",
         [] { return ServicePath(SERVICE_NAME) == "\"" + In(FOLDER, HOST_FILE) + "\""; }},
        {"--made-locked on a closed folder the system's TrustedInstaller owns: run from, as no user holds it",
         {"install", FOLDER, "--made-locked"},
         [&] { closedKit(FOLDER); W.Objects[IdOf(FOLDER)].Security.Owner = TRUSTED_INSTALLER; }, 0,
         "could never have written it", [] { return ServicePath(SERVICE_NAME) == "\"" + In(FOLDER, HOST_FILE) + "\""; }},
        {"a service users may reconfigure is refused: a handle opened on it before keeps its rights", {"install", FOLDER},
         [&] {
             Unpacked();
             service(SERVICE_NAME, "QVL Service", In(FOLDER, HOST_FILE))->Security += "(A;;CCDCLCSWRPWPDTLOCRRC;;;AU)";
         },
         EXIT_REFUSED, "keeps its rights whatever is set now", [] { return true; }},
        {"a service whose key users may write is refused", {"install", FOLDER},
         [&] {
             Unpacked();
             service(SERVICE_NAME, "QVL Service", In(FOLDER, HOST_FILE))->KeySecurity += "(A;CI;KA;;;BU)";
         },
         EXIT_REFUSED, "registry key", [] { return true; }},
        {"another service in the folder: both named", {"install", FOLDER},
         [&] { Unpacked(); service("Other", "Other", In(FOLDER, HOST_FILE)); }, EXIT_REFUSED, "Other",
         [] { return ServiceOf(SERVICE_NAME) == nullptr; }},
        {"a display name another service shows", {"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"},
         [&] { service("Other", "QVL Service", "C:\\Other\\qvlsvce.exe"); }, 1, "already shown",
         [] { return ServiceOf(SERVICE_NAME) == nullptr; }},
        {"a service being deleted", {"install", FOLDER},
         [&] {
             Unpacked();
             Service* s = service(SERVICE_NAME, "QVL Service", In(FOLDER, HOST_FILE));
             s->MarkedForDelete = true;
             s->OpenHandles = 1;  // the Services console holds it
         },
         1,
         "being deleted", [] { return true; }},
        {"its own service, in the open folder it is copied from", {"install", FOLDER},
         [&] { Unpacked(); service(SERVICE_NAME, "QVL Service", In(FOLDER, HOST_FILE)); }, 0, "re-applied",
         [] { return UserWaysIn(ServicePath(SERVICE_NAME)).empty(); }},
        {"the name aside taken already", {"install", FOLDER},
         [&] { Unpacked(); MakeFolder("C:\\QVL.qvl-old"); }, 0, "C:\\QVL.qvl-old-2",
         [] { return Exists("C:\\QVL.qvl-old-2\\qvlsvce.exe"); }},
        {"--no-lock: the folder as it is, what stays open said", {"install", FOLDER, "--no-lock"}, Unpacked, 0,
         "stay open", [] { return ServicePath(SERVICE_NAME) == "\"C:\\QVL\\qvlsvce.exe\""; }},
        {"a volume that keeps no access lists", {"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"},
         [] {
             W.KeepsAccessLists = false;
             W.Objects[1].Security.Dacl.push_back({true, ACE_OI | ACE_CI, FILE_ALL, SID_EVERYONE});
         },
         1, "no service was made", [] { return ServiceOf(SERVICE_NAME) == nullptr; }},
    };
    for (const Case& c : cases) {
        Reset();
        c.prepare();
        Ran r = Qvl(c.args);
        SCOPED_TRACE(std::string(c.what) + "\n" + r.Said);
        EXPECT_EQ(r.Exit, c.exit);
        EXPECT_NE(r.Said.find(c.said), std::string::npos) << c.said;
        EXPECT_TRUE(c.holds());
        EXPECT_EQ(ToolHandlesOpen(), 0);
    }
}

// XP and 2003: users add folders to any folder made under C:\, Power Users modify Program Files,
// and no OWNER RIGHTS. A Power User is one of the users install must keep out.
TEST(Install, OlderWindowsWithPowerUsers) {
    for (Version v : {Version{5, 1}, Version{5, 2}}) {
        for (const Scenario& s : Scenarios()) {
            Reset(v);
            W.User.Groups.push_back(SID_POWER_USERS);
            s.Prepare();
            Ran r = Qvl(s.Args);
            SCOPED_TRACE(std::string(s.Name) + " on " + std::to_string(v.Major) + "." + std::to_string(v.Minor) + "\n" + r.Said);
            for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
        }
        Reset(v);
        W.User.Groups.push_back(SID_POWER_USERS);
        const std::string folder = "C:\\Program Files\\QVL";
        MakeFolder(folder);
        for (const char* file : {HOST_FILE, TOOL_FILE, PROGRAM_FILE}) MakeFile(In(folder, file), Shipped(file));
        Ran r = Qvl({"install", folder});
        SCOPED_TRACE("Program Files on XP\n" + r.Said);
        EXPECT_EQ(r.Said.find("could never have written it"), std::string::npos) << "not adopted: Power Users could write it";
        EXPECT_NE(r.Said.find("Power Users"), std::string::npos) << "what they could do is said";
        for (const auto& b : Breaches(r)) ADD_FAILURE() << b;
    }
}

// Install again over its own service: the folder is born locked already, the service re-applied.
TEST(Install, AgainReappliesTheService) {
    Reset();
    ASSERT_EQ(Qvl({"install", FOLDER, "--program", "C:\\Kit\\ZARNQVL.EXE"}).Exit, 0);
    std::string path = ServicePath(SERVICE_NAME);
    ServiceOf(SERVICE_NAME)->Start = 4;
    Ran again = Qvl({"install", FOLDER, "--auto"});
    SCOPED_TRACE(again.Said);
    EXPECT_EQ(again.Exit, 0);
    EXPECT_EQ(ServiceOf(SERVICE_NAME)->Start, 2u) << "automatic start, as asked";
    Ran named = Qvl({"install", "C:\\QVL2", "--name", "Second", "--program", "C:\\Kit\\ZARNQVL.EXE"});
    EXPECT_EQ(named.Exit, 0) << named.Said;
    EXPECT_NE(ServiceOf("Second")->Display, ServiceOf(SERVICE_NAME)->Display) << "each its own display name";
    EXPECT_EQ(ToolHandlesOpen(), 0);
}

}  // namespace
