// qvl install natively, through a small stand-in for the door: files and folders with their
// descriptors as text, renames, listings, and a service manager that checks, at every change of a
// service's path, that the folder it names was made locked. No access checks and no attacker
// here (the simulated Windows has them): what is proven is install's own order and choices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/entry.h"
#include "host/service.h"
#include "tools/qvl/config.h"
#include "tools/qvl/ctrlc.h"
#include "tools/qvl/door.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/security.h"
#include "tools/qvl/verbs.h"

namespace {

const char OPEN_SDDL[] = "O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;BU)";
// The root as Windows makes it: users may add folders to it, and change nothing else.
const char ROOT_SDDL[] = "O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)";
const char CLOSED_SDDL[] = "O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char SERVICE_OPEN_SDDL[] = "O:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;DC;;;BU)";
const char KEY_SDDL[] = "O:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

struct Node {
    std::string Path;  // as made
    bool Folder;
    std::string Data, Sddl;
    door::DWORD Links = 1, Tag = 0;
    bool ListFails = false;
    uint64_t Id;
};

struct Svc {
    std::string Binary, Sddl;
    door::DWORD Start;
};

struct World {
    std::map<std::string, Node> Nodes;  // by lower-case path
    std::map<std::string, Svc> Services;
    std::vector<std::string> Pointed;   // every binary path a service was given
    std::vector<std::string> Violations;
    uint64_t NextId = 1;
    door::DWORD Ticks = 0;
    std::function<void()> AfterRename;  // what someone else does just after a rename
} W;

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return "";
    return slash == 2 ? path.substr(0, 3) : path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

Node* Find(const std::string& path) {
    auto it = W.Nodes.find(Lower(path));
    return it == W.Nodes.end() ? nullptr : &it->second;
}

void Put(const std::string& path, bool folder, const std::string& sddl, const std::string& data = "") {
    W.Nodes[Lower(path)] = Node{path, folder, data, sddl, 1, 0, false, W.NextId++};
}

door::DWORD Give(const std::string& text, char* out, int size) {
    if (static_cast<int>(text.size()) >= size) return out[0] = '\0', door::ERR_INSUFFICIENT_BUFFER;
    snprintf(out, size, "%s", text.c_str());
    return door::OK;
}

}  // namespace

struct door::Object {
    std::string Path;
    size_t At = 0;
};
struct door::ServiceObject {
    std::string Name;  // empty: the manager
};

namespace door {

DWORD Open(File folder, const char* name, const Opening& how, File* out) {
    *out = nullptr;
    std::string path = folder ? Join(folder->Path, name) : name;
    Node* parent = Find(ParentOf(path));
    Node* n = Find(path);
    if (how.Disposition == DISPOSE_CREATE_NEW) {
        if (n) return how.What == KIND_FOLDER ? ERR_ALREADY_EXISTS : ERR_FILE_EXISTS;
        if (!parent) return ERR_PATH_NOT_FOUND;
        Put(path, how.What == KIND_FOLDER, how.Sddl ? how.Sddl : parent->Sddl);
    } else {
        if (!n) return parent ? ERR_FILE_NOT_FOUND : ERR_PATH_NOT_FOUND;
        if (how.What == KIND_FILE && n->Folder) return ERR_ACCESS_DENIED;
        if (how.What == KIND_FOLDER && !n->Folder) return ERR_PATH_NOT_FOUND;
    }
    *out = new Object{Find(path)->Path, 0};
    return OK;
}

void Close(File f) {
    delete f;
}

DWORD Describe(File f, Info* out) {
    Node* n = Find(f->Path);
    if (!n) return ERR_FILE_NOT_FOUND;
    *out = Info{(n->Folder ? ATTRIBUTE_DIRECTORY : 0u) | (n->Tag ? ATTRIBUTE_REPARSE_POINT : 0u), n->Tag, n->Links, 1, n->Id,
                1800000000, n->Data.size()};
    return OK;
}

DWORD Read(File f, void* buffer, DWORD size, DWORD* got) {
    const std::string& data = Find(f->Path)->Data;
    *got = static_cast<DWORD>(std::min<size_t>(size, data.size() - f->At));
    memcpy(buffer, data.data() + f->At, *got);
    f->At += *got;
    return OK;
}

DWORD Write(File f, const void* data, DWORD size, bool) {
    Find(f->Path)->Data.append(static_cast<const char*>(data), size);
    return OK;
}

DWORD List(File folder, const char*, Listed visit, void* context) {
    if (Find(folder->Path)->ListFails) return ERR_ACCESS_DENIED;
    std::vector<std::string> names;
    for (auto& [key, n] : W.Nodes)
        if (n.Path.size() > folder->Path.size() && SamePath(ParentOf(n.Path).c_str(), folder->Path.c_str()))
            names.push_back(n.Path.substr(n.Path.find_last_of('\\') + 1));
    for (const std::string& name : names)
        if (!visit(name.c_str(), context)) break;
    return OK;
}

DWORD Rename(File f, const char* name, bool replace) {
    std::string from = f->Path, to = Join(ParentOf(from), name);
    if (Node* there = Find(to)) {
        if (!replace || there->Folder) return ERR_ALREADY_EXISTS;
        W.Nodes.erase(Lower(to));
    }
    std::map<std::string, Node> moved;
    for (auto it = W.Nodes.begin(); it != W.Nodes.end();) {
        std::string lower = Lower(it->second.Path), prefix = Lower(from);
        if (lower == prefix || lower.rfind(prefix + "\\", 0) == 0) {
            Node n = it->second;
            n.Path = to + n.Path.substr(from.size());
            moved[Lower(n.Path)] = n;
            it = W.Nodes.erase(it);
        } else {
            ++it;
        }
    }
    W.Nodes.insert(moved.begin(), moved.end());
    f->Path = to;
    if (W.AfterRename) W.AfterRename();
    return OK;
}

DWORD Remove(File folder, const char* name) {
    std::string path = folder ? Join(folder->Path, name) : name;
    if (!Find(path)) return ERR_FILE_NOT_FOUND;
    for (auto& [key, n] : W.Nodes)
        if (SamePath(ParentOf(n.Path).c_str(), path.c_str()) && n.Path.size() > path.size()) return ERR_DIR_NOT_EMPTY;
    W.Nodes.erase(Lower(path));
    return OK;
}

DWORD Security(File f, char* out, int size) {
    return Give(Find(f->Path)->Sddl, out, size);
}

DWORD PathSecurity(const char* path, char* out, int size) {
    Node* n = Find(path);
    return n ? Give(n->Sddl, out, size) : ERR_FILE_NOT_FOUND;
}

DWORD SetSecurity(File f, const char* sddl) {
    Find(f->Path)->Sddl = sddl;
    return OK;
}

void EnablePrivileges() {}

Version WindowsVersion() {
    return {10, 0, false};
}

DWORD Variable(const char* name, char* out, int size) {
    static const std::map<std::string, std::string> VARIABLES = {
        {"ProgramFiles", "C:\\Program Files"}, {"ProgramData", "C:\\ProgramData"}, {"PUBLIC", "C:\\Users\\Public"},
        {"USERPROFILE", "C:\\Users\\admin"}};
    auto it = VARIABLES.find(name);
    return it == VARIABLES.end() ? (out[0] = '\0', ERR_ENVVAR_NOT_FOUND) : Give(it->second, out, size);
}

DWORD WindowsFolder(char* out, int size) {
    return Give("C:\\Windows", out, size);
}

DWORD UserSid(char* out, int size) {
    return Give("S-1-5-21-1-2-3-1001", out, size);  // the operator, who made the files here
}

DWORD ModulePath(char* out, int size) {
    return Give("C:\\pkg\\qvl.exe", out, size);
}

DWORD FullPath(const char* path, char* out, int size) {
    return Give(path, out, size);
}

DWORD LongPath(const char* path, char* out, int size) {
    return Find(path) ? Give(path, out, size) : ERR_FILE_NOT_FOUND;
}

DWORD Ticks() {
    return W.Ticks;
}

void Sleep(DWORD ms) {
    W.Ticks += ms;
}

DWORD ManagerOpen(DWORD, Service* out) {
    *out = new ServiceObject{""};
    return OK;
}

DWORD ServiceOpen(Service, const char* name, DWORD, Service* out) {
    *out = nullptr;
    if (!W.Services.count(name)) return ERR_SERVICE_DOES_NOT_EXIST;
    *out = new ServiceObject{name};
    return OK;
}

void ServiceClose(Service s) {
    delete s;
}

DWORD ServicesList(Service, ServiceListed visit, void* context) {
    for (auto& [name, s] : W.Services)
        if (!visit(name.c_str(), context)) break;
    return OK;
}

DWORD ServiceQueryStatus(Service s, Status* out) {
    *out = Status{s->Name == "Running" ? os::SERVICE_RUNNING : os::SERVICE_STOPPED, 0, 0};
    return OK;
}

DWORD ServiceQueryConfig(Service s, Config* out) {
    const Svc& svc = W.Services.at(s->Name);
    *out = Config{};
    out->Type = os::SERVICE_WIN32_OWN_PROCESS | os::SERVICE_INTERACTIVE_PROCESS;
    out->Start = svc.Start;
    snprintf(out->BinaryPath, sizeof out->BinaryPath, "%s", svc.Binary.c_str());
    return OK;
}

// Each path a service is given must name a folder made locked: the one thing install promises.
void Pointed(const std::string& binary) {
    W.Pointed.push_back(binary);
    char program[1024], folder[1024];
    BinaryProgram(binary.c_str(), program, sizeof program);
    std::string f = ParentOf(program);
    snprintf(folder, sizeof folder, "%s", f.c_str());
    Node* n = Find(folder);
    if (!n || n->Sddl != LOCK_SDDL) W.Violations.push_back(binary);
}

DWORD ServiceCreate(Service, const char* name, const Making& m, Service* out) {
    if (W.Services.count(name)) return ERR_SERVICE_EXISTS;
    W.Services[name] = Svc{m.BinaryPath, "O:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)", m.Start};
    Pointed(m.BinaryPath);
    *out = new ServiceObject{name};
    return OK;
}

DWORD ServiceChange(Service s, const Making& m) {
    W.Services.at(s->Name).Binary = m.BinaryPath;
    W.Services.at(s->Name).Start = m.Start;
    Pointed(m.BinaryPath);
    return OK;
}

DWORD ServiceDescribe(Service, const char*) {
    return OK;
}

DWORD ServiceDelete(Service s) {
    W.Services.erase(s->Name);
    return OK;
}

DWORD ServiceStart(Service) {
    return OK;
}

DWORD ServiceControl(Service, DWORD, Status* out) {
    *out = Status{os::SERVICE_STOPPED, 0, 0};
    return OK;
}

DWORD ServiceSecurity(Service s, char* out, int size) {
    return Give(W.Services.at(s->Name).Sddl, out, size);
}

DWORD ServiceFailures(Service, Failures* out) {
    *out = Failures{};
    return OK;
}

DWORD ServiceSetFailures(Service, const Failures&) {
    return OK;
}

DWORD KeySecurity(const char* key, char* out, int size) {
    std::string name = key;
    return Give(name.find("Leaky") != std::string::npos ? OPEN_SDDL : KEY_SDDL, out, size);
}

}  // namespace door

void CatchCtrlC() {}
bool CtrlPressed() {
    return false;
}

namespace {

// A machine with the package unpacked in C:\pkg, and optionally an open folder C:\QVL as a user
// could leave it.
void Machine(bool openFolder) {
    W = World();
    Put("C:\\", true, ROOT_SDDL);
    Put("C:\\pkg", true, OPEN_SDDL);
    Put("C:\\pkg\\qvlsvce.exe", false, OPEN_SDDL, "host");
    Put("C:\\pkg\\qvl.exe", false, OPEN_SDDL, "tool");
    Put("C:\\Program Files", true, CLOSED_SDDL);
    if (!openFolder) return;
    Put("C:\\QVL", true, OPEN_SDDL);
    Put("C:\\QVL\\qvlsvce.exe", false, OPEN_SDDL, "host");
    Put("C:\\QVL\\ZARNQVL.EXE", false, OPEN_SDDL, "program");
    Put("C:\\QVL\\notes.txt", false, OPEN_SDDL, "notes");
}

int Install(std::vector<const char*> args, std::string* said = nullptr) {
    std::vector<char*> argv = {const_cast<char*>("qvl"), const_cast<char*>("install")};
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    Options o;
    char why[300];
    EXPECT_TRUE(ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, why, sizeof why)) << why;
    testing::internal::CaptureStdout();
    int status = RunInstall(o, o.Folder);
    std::string out = testing::internal::GetCapturedStdout();
    if (said) *said = out;
    return status;
}

std::string DataOf(const char* path) {
    Node* n = Find(path);
    return n ? n->Data : "(none)";
}

std::string SddlOf(const char* path) {
    Node* n = Find(path);
    return n ? n->Sddl : "(none)";
}

}  // namespace

TEST(BornLocked, AFolderNotThereIsMadeLockedAndFilledFromBesideQvl) {
    Machine(false);
    std::string said;
    ASSERT_EQ(Install({"C:\\QVL"}, &said), 0) << said;
    EXPECT_EQ(SddlOf("C:\\QVL"), LOCK_SDDL);
    EXPECT_EQ(SddlOf("C:\\QVL\\qvlsvce.exe"), LOCK_INSIDE_FILE_SDDL);
    EXPECT_EQ(DataOf("C:\\QVL\\qvlsvce.exe"), "host");
    EXPECT_EQ(DataOf("C:\\QVL\\qvl.exe"), "tool");
    EXPECT_EQ(W.Services.at(SERVICE_NAME).Binary, "\"C:\\QVL\\qvlsvce.exe\"");
    EXPECT_TRUE(W.Violations.empty());
}

// The open folder is copied from and kept aside; the service, already there and pointing into it,
// is only ever pointed at folders made locked.
TEST(BornLocked, AnOpenFolderIsCopiedFromAndKeptAside) {
    for (bool serviceThere : {false, true}) {
        Machine(true);
        if (serviceThere) W.Services[SERVICE_NAME] = Svc{"\"C:\\QVL\\qvlsvce.exe\"", CLOSED_SDDL, 3};
        std::string said;
        ASSERT_EQ(Install({"C:\\QVL"}, &said), 0) << said;
        EXPECT_EQ(SddlOf("C:\\QVL"), LOCK_SDDL);
        EXPECT_EQ(DataOf("C:\\QVL\\ZARNQVL.EXE"), "program");
        EXPECT_EQ(SddlOf("C:\\QVL\\ZARNQVL.EXE"), LOCK_INSIDE_FILE_SDDL);
        EXPECT_FALSE(Find("C:\\QVL\\notes.txt")) << "copied without --keep-existing";
        EXPECT_EQ(DataOf("C:\\QVL.qvl-old\\notes.txt"), "notes") << "the open folder was not kept aside whole";
        EXPECT_EQ(SddlOf("C:\\QVL.qvl-old"), OPEN_SDDL);
        EXPECT_FALSE(Find("C:\\QVL.qvl-new"));
        EXPECT_NE(said.find("moved the open folder aside, as it was: C:\\QVL.qvl-old"), std::string::npos) << said;
        EXPECT_TRUE(W.Violations.empty()) << W.Violations[0];
        EXPECT_EQ(W.Pointed.back(), "\"C:\\QVL\\qvlsvce.exe\"");
        if (serviceThere) {
            EXPECT_EQ(W.Pointed.front(), "\"C:\\QVL.qvl-new\\qvlsvce.exe\"");
        }
    }
    Machine(true);
    Put("C:\\QVL.qvl-old", true, OPEN_SDDL);
    std::string said;
    ASSERT_EQ(Install({"C:\\QVL", "--keep-existing"}, &said), 0) << said;
    EXPECT_EQ(DataOf("C:\\QVL.qvl-old-2\\qvlsvce.exe"), "host") << "a name taken was not passed over";
    EXPECT_EQ(DataOf("C:\\QVL\\notes.txt"), "notes") << "--keep-existing did not copy";
}

// Refusals change nothing, and a name found taken is never taken back as if install had made it.
TEST(BornLocked, RefusalsChangeNothing) {
    struct Case {
        const char* what;
        void (*arrange)();
        std::vector<const char*> args;
        int status;
        const char* said;
    } cases[] = {
        {"a hard link", [] { Find("C:\\QVL\\notes.txt")->Links = 2; }, {"C:\\QVL"}, 2, "a file with 2 names"},
        {"a cloud placeholder", [] { Find("C:\\QVL\\notes.txt")->Tag = door::TAG_CLOUD; }, {"C:\\QVL"}, 2, "a link"},
        {"a listing that fails", [] { Find("C:\\QVL")->ListFails = true; }, {"C:\\QVL"}, 2, "cannot be read: error 5"},
        {"the new name planted", [] { Put("C:\\QVL.qvl-new", true, OPEN_SDDL); }, {"C:\\QVL"}, 1, "is there already"},
        {"a second service in the folder",
         [] { W.Services["Other"] = Svc{"\"C:\\QVL\\qvlsvce.exe\"", CLOSED_SDDL, 3}; }, {"C:\\QVL"}, 2,
         "the service Other already runs from C:\\QVL: QVLService would share"},
        {"a registry key users may change",
         [] { W.Services["Leaky"] = Svc{"\"C:\\QVL\\qvlsvce.exe\"", CLOSED_SDDL, 3}; }, {"C:\\QVL", "--name", "Leaky"}, 2,
         "or its registry key may have been changed by users"},
        {"a shared folder", [] {}, {"C:\\Users\\Public"}, 2, "will not be the service's folder"},
        {"a service running from it",
         [] { W.Services["Running"] = Svc{"\"C:\\QVL\\qvlsvce.exe\"", CLOSED_SDDL, 3}; }, {"C:\\QVL", "--name", "Running"},
         2, "Running is not stopped: stop it first (qvl stop --name Running)"},
    };
    for (const Case& c : cases) {
        Machine(true);
        c.arrange();
        auto before = W.Nodes;
        auto services = W.Services.size();
        std::string said;
        EXPECT_EQ(Install(c.args, &said), c.status) << c.what << "\n" << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << "\n" << said;
        EXPECT_EQ(W.Nodes.size(), before.size()) << c.what;
        for (auto& [key, n] : before) EXPECT_EQ(Find(n.Path) ? Find(n.Path)->Data : "(gone)", n.Data) << c.what << ": " << n.Path;
        EXPECT_EQ(W.Services.size(), services) << c.what;
        EXPECT_TRUE(W.Violations.empty()) << c.what;
    }
}

// Deduplicated and compressed files are files: copied like any other.
TEST(BornLocked, AFilesOwnReparsePointIsCopied) {
    Machine(true);
    Find("C:\\QVL\\ZARNQVL.EXE")->Tag = door::TAG_WOF;
    std::string said;
    ASSERT_EQ(Install({"C:\\QVL"}, &said), 0) << said;
    EXPECT_EQ(DataOf("C:\\QVL\\ZARNQVL.EXE"), "program");
}

// A closed folder users could never have made is run from as it is; --program is renamed over the
// program there. A service whose own access list lets users change it is refused, never set
// back: a handle a user opened on it before keeps what it was granted.
TEST(BornLocked, AClosedFolderIsRunFromAsItIs) {
    Machine(false);
    Put("C:\\Program Files\\QVL", true, CLOSED_SDDL);
    Put("C:\\Program Files\\QVL\\qvlsvce.exe", false, CLOSED_SDDL, "host");
    Put("C:\\Program Files\\QVL\\ZARNQVL.EXE", false, CLOSED_SDDL, "old");
    Put("C:\\new.exe", false, OPEN_SDDL, "new");
    W.Services[SERVICE_NAME] = Svc{"\"C:\\Program Files\\QVL\\qvlsvce.exe\"", SERVICE_OPEN_SDDL, 3};
    std::string said;
    ASSERT_EQ(Install({"C:\\Program Files\\QVL", "--program", "C:\\new.exe"}, &said), EXIT_REFUSED) << said;
    EXPECT_NE(said.find("keeps its rights whatever is set now"), std::string::npos) << said;
    EXPECT_EQ(DataOf("C:\\Program Files\\QVL\\ZARNQVL.EXE"), "old") << "a refusal changed the folder";
    W.Services[SERVICE_NAME].Sddl = CLOSED_SDDL;
    said.clear();
    ASSERT_EQ(Install({"C:\\Program Files\\QVL", "--program", "C:\\new.exe"}, &said), 0) << said;
    EXPECT_NE(said.find("users could never have written it"), std::string::npos) << said;
    EXPECT_EQ(DataOf("C:\\Program Files\\QVL\\ZARNQVL.EXE"), "new");
    EXPECT_FALSE(Find("C:\\Program Files\\QVL\\ZARNQVL.EXE.qvl-new"));
    EXPECT_FALSE(Find("C:\\Program Files\\QVL.qvl-new"));
}

// A closed folder under a parent users may add to is adopted only when the package says it made it.
TEST(BornLocked, MadeLockedIsTakenAtItsWordOnlyWhenClosedAndOwnedBySystem) {
    for (const char* owner : {"O:BA", "O:S-1-5-21-1-2-3-1001"}) {
        for (bool madeLocked : {false, true}) {
            Machine(false);
            std::string sddl = std::string(owner) + (CLOSED_SDDL + 4);
            Put("C:\\QVL", true, sddl);
            Put("C:\\QVL\\qvlsvce.exe", false, CLOSED_SDDL, "host");
            std::vector<const char*> args = {"C:\\QVL"};
            if (madeLocked) args.push_back("--made-locked");
            std::string said;
            ASSERT_EQ(Install(args, &said), 0) << said;
            bool adopted = madeLocked && !strcmp(owner, "O:BA");
            EXPECT_EQ(Find("C:\\QVL.qvl-old") == nullptr, adopted) << owner << " " << madeLocked << "\n" << said;
            EXPECT_TRUE(W.Violations.empty()) << W.Violations[0];
        }
    }
}

// A user who takes the name the moment the open folder is moved aside wins nothing: the service
// stays on the copy made locked beside it, and install says so.
TEST(BornLocked, TheNameTakenBetweenTheStepsLeavesTheServiceOnTheLockedCopy) {
    for (bool serviceThere : {false, true}) {
        Machine(true);
        if (serviceThere) W.Services[SERVICE_NAME] = Svc{"\"C:\\QVL\\qvlsvce.exe\"", CLOSED_SDDL, 3};
        W.AfterRename = [] {
            W.AfterRename = nullptr;
            Put("C:\\QVL", true, OPEN_SDDL);
            Put("C:\\QVL\\qvlsvce.exe", false, OPEN_SDDL, "the user's");
        };
        std::string said;
        EXPECT_EQ(Install({"C:\\QVL"}, &said), 1) << said;
        EXPECT_TRUE(W.Violations.empty()) << W.Violations[0];
        EXPECT_EQ(SddlOf("C:\\QVL.qvl-new"), LOCK_SDDL) << "the locked copy went";
        EXPECT_EQ(DataOf("C:\\QVL.qvl-old\\notes.txt"), "notes");
        EXPECT_NE(said.find(serviceThere ? "the service runs from C:\\QVL.qvl-new" : "its copy stays in C:\\QVL.qvl-new"),
                  std::string::npos) << said;
        if (serviceThere) {
            EXPECT_EQ(W.Services.at(SERVICE_NAME).Binary, "\"C:\\QVL.qvl-new\\qvlsvce.exe\"");
        } else {
            EXPECT_FALSE(W.Services.count(SERVICE_NAME));
        }
    }
}
