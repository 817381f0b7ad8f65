// Every call of qvl's door, answered by the simulated Windows as its contract says: each call is
// counted, and the attacker's scripts due after it run before it returns to the tool.
#include <cstring>
#include <set>

#include "tests/winsim/world.h"
#include "tools/qvl/door.h"

using winsim::W;

namespace door {

struct Object {
    int Handle;  // the world's
};

struct ServiceObject {
    bool Manager;
    std::string Name;
    DWORD Access;
};

}  // namespace door

namespace {

using door::DWORD;

const int64_t EPOCH_SECONDS = 1700000000;  // what the clock's 0 is, in seconds since 1970
const DWORD VOLUME_SERIAL = 0x51A7E;

// Counts the call on entry; the scripts due after it run when the call returns.
struct Call {
    explicit Call(const char* name) { winsim::Called(name); }
    ~Call() { winsim::RunDue(); }
    // Whether the test asked this call of the tool's to fail.
    bool Fails() const { return !W.Acting && W.FailCall && W.Calls == W.FailCall; }
};

DWORD Put(const std::string& text, char* out, int size) {
    if (static_cast<int>(text.size()) >= size) {
        if (size > 0) out[0] = '\0';
        return door::ERR_INSUFFICIENT_BUFFER;
    }
    memcpy(out, text.c_str(), text.size() + 1);
    return door::OK;
}

// The door's handles given out and not yet closed: a close of any other is the tool's fault.
std::set<const void*>& Live() {
    static std::set<const void*> live;
    return live;
}

template <typename T>
T* Give(T* handle) {
    Live().insert(handle);
    return handle;
}

// Whether handle may be closed now; a second close is a violation, said, and leaves it be.
bool Closing(const void* handle) {
    if (Live().erase(handle)) return true;
    W.Violations.push_back("closed a handle that was not open (closed twice?)");
    return false;
}

DWORD Error() {
    return W.LastError ? W.LastError : door::ERR_ACCESS_DENIED;
}

winsim::Handle* Held(door::File f) {
    return f ? winsim::HandleOf(f->Handle) : nullptr;
}

door::Status StatusOf(const winsim::Service& s) {
    return {s.State, s.ExitCode, s.SpecificExitCode};
}

bool DisplayTaken(const std::string& display, const std::string& except) {
    for (const auto& s : W.Services)
        if (s.first != winsim::Upper(except) && winsim::Upper(s.second.Display) == winsim::Upper(display)) return true;
    return false;
}

// An object's descriptor as text, or the fault a test set on it.
DWORD Text(int id, char* out, int size) {
    auto fails = W.SecurityFails.find(id);
    if (fails != W.SecurityFails.end()) return fails->second;
    auto text = W.SecurityText.find(id);
    return Put(text != W.SecurityText.end() ? text->second : winsim::SddlOf(W.Objects[id].Security), out, size);
}

void GivePath(const std::string& binaryPath) {
    W.PathsGiven.push_back({binaryPath, !winsim::UserWaysIn(binaryPath).empty()});
}

}  // namespace

namespace door {

DWORD Open(File folder, const char* name, const Opening& how, File* out) {
    Call call("Open");
    *out = nullptr;
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (how.What == KIND_ANY && how.Disposition != DISPOSE_OPEN_EXISTING) return ERR_INVALID_PARAMETER;
    int parent = 0, id = 0;
    std::string last;
    uint32_t error = 0;
    if (folder) {
        winsim::Handle* h = Held(folder);
        if (!h) return ERR_INVALID_HANDLE;
        if (!*name || strchr(name, '\\') || strchr(name, '/')) return ERR_INVALID_PARAMETER;
        parent = h->Object;
        last = name;
        auto found = W.Objects[parent].Children.find(winsim::Upper(name));
        id = found == W.Objects[parent].Children.end() ? 0 : found->second;
        error = id ? 0 : winsim::E_FILE_NOT_FOUND;
    } else {
        if (strlen(name) >= 1024) return ERR_FILENAME_EXCED_RANGE;
        id = winsim::Resolve(name, true, &parent, &last, &error);
        if (!id && !parent) return error;
    }
    if (id && how.Disposition == DISPOSE_OPEN_EXISTING) {
        bool isFolder = W.Objects[id].Folder;
        if (how.What == KIND_FILE && isFolder) return ERR_ACCESS_DENIED;
        if (how.What == KIND_FOLDER && !isFolder) return ERR_PATH_NOT_FOUND;
    }
    if (how.Sddl && how.Disposition == DISPOSE_CREATE_NEW) {
        winsim::Descriptor d;
        if (!winsim::ParseSddl(how.Sddl, &d)) return ERR_INVALID_SECURITY_DESCR;
    }
    int h = winsim::OpenIn(parent, last, id, error, how.Access, how.Share,
                           how.Disposition == DISPOSE_CREATE_NEW ? winsim::CREATE_NEW : winsim::OPEN_EXISTING,
                           how.What == KIND_FOLDER, how.Sddl && W.KeepsAccessLists ? how.Sddl : "");
    if (!h) return Error();
    *out = Give(new Object{h});
    return OK;
}

void Close(File f) {
    Call call("Close");
    if (!f) return;  // as the Windows side: nothing to close
    if (!Closing(f)) return;
    winsim::Close(f->Handle);
    delete f;
}

DWORD Describe(File f, Info* out) {
    Call call("Describe");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(f);
    if (!h) return ERR_INVALID_HANDLE;
    if (!(h->Access & winsim::READ_ATTRIBUTES)) return ERR_ACCESS_DENIED;
    const winsim::Object& o = W.Objects[h->Object];
    memset(out, 0, sizeof *out);
    out->Attributes = (o.Folder ? ATTRIBUTE_DIRECTORY : 0) | (o.Tag ? ATTRIBUTE_REPARSE_POINT : 0);
    out->Tag = o.Tag;
    out->Links = o.Folder ? 1 : o.Names;
    out->Volume = VOLUME_SERIAL;
    out->Id = static_cast<uint64_t>(h->Object);
    out->Written = EPOCH_SECONDS + o.Written / 1000;
    out->Size = o.Folder ? 0 : o.Data.size();
    return OK;
}

DWORD Read(File f, void* buffer, DWORD size, DWORD* got) {
    Call call("Read");
    *got = 0;
    if (call.Fails()) return ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(f);
    if (!h) return ERR_INVALID_HANDLE;
    if (!(h->Access & winsim::READ_DATA)) return ERR_ACCESS_DENIED;
    const std::string& data = W.Objects[h->Object].Data;
    size_t n = h->Position < data.size() ? std::min<size_t>(size, data.size() - h->Position) : 0;
    memcpy(buffer, data.data() + h->Position, n);
    h->Position += n;
    *got = static_cast<DWORD>(n);
    return OK;
}

DWORD Write(File f, const void* data, DWORD size, bool) {
    Call call("Write");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(f);
    if (!h) return ERR_INVALID_HANDLE;
    if (!(h->Access & winsim::WRITE_DATA)) return ERR_ACCESS_DENIED;
    winsim::Object& o = W.Objects[h->Object];
    if (o.Data.size() < h->Position + size) o.Data.resize(h->Position + size);
    memcpy(&o.Data[h->Position], data, size);
    h->Position += size;
    o.Written = W.NowMs;
    return OK;
}

DWORD List(File folder, const char* path, Listed visit, void* context) {
    Call call("List");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(folder);
    if (!h) return ERR_INVALID_HANDLE;
    if (!(h->Access & winsim::READ_DATA)) return ERR_ACCESS_DENIED;
    // As the Windows build does: through the handle from Vista on, by path before. A path that
    // names another folder now is the older systems' weakness, noted so that a test can tell.
    int id = h->Object;
    if (!W.Windows.Vista()) {
        int parent;
        std::string last;
        uint32_t error = 0;
        id = winsim::Resolve(path, false, &parent, &last, &error);
        if (!id) return error;
        if (id != h->Object) W.Violations.push_back(std::string("listed ") + path + " by path: it is another folder now");
    }
    std::vector<std::string> names;
    for (const auto& c : W.Objects[id].Children) names.push_back(W.Objects[id].Spelling[c.first]);
    auto failing = W.FailListingAfter.find(id);
    for (size_t i = 0; i < names.size(); i++) {
        if (failing != W.FailListingAfter.end() && static_cast<int>(i) == failing->second) return winsim::E_NETWORK;
        if (!visit(names[i].c_str(), context)) return OK;
    }
    if (failing != W.FailListingAfter.end() && static_cast<int>(names.size()) <= failing->second) return winsim::E_NETWORK;
    return OK;
}

DWORD Rename(File f, const char* name, bool replace) {
    Call call("Rename");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(f);
    if (!h) return ERR_INVALID_HANDLE;
    if (!*name || strchr(name, '\\') || strchr(name, '/')) return ERR_INVALID_PARAMETER;
    return winsim::RenameInto(f->Handle, h->Parent, name, replace) ? OK : Error();
}

DWORD Remove(File folder, const char* name) {
    Call call("Remove");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    int parent;
    std::string last;
    uint32_t error = 0;
    int id;
    if (folder) {
        winsim::Handle* h = Held(folder);
        if (!h) return ERR_INVALID_HANDLE;
        parent = h->Object;
        last = name;
        auto found = W.Objects[parent].Children.find(winsim::Upper(name));
        id = found == W.Objects[parent].Children.end() ? 0 : found->second;
        error = winsim::E_FILE_NOT_FOUND;
    } else {
        id = winsim::Resolve(name, true, &parent, &last, &error);
    }
    if (!id) return error;
    int h = winsim::OpenIn(parent, last, id, 0, winsim::DELETE, winsim::SHARE_READ | winsim::SHARE_WRITE | winsim::SHARE_DELETE,
                           winsim::OPEN_EXISTING, false, "");
    if (!h) return Error();
    bool done = winsim::DeleteByHandle(h);
    DWORD e = done ? OK : Error();
    winsim::Close(h);
    return e;
}

DWORD Security(File f, char* out, int size) {
    Call call("Security");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    winsim::Handle* h = Held(f);
    if (!h) return ERR_INVALID_HANDLE;
    if (!(h->Access & winsim::READ_CONTROL)) return ERR_ACCESS_DENIED;
    return Text(h->Object, out, size);
}

DWORD PathSecurity(const char* path, char* out, int size) {
    Call call("PathSecurity");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    int parent;
    std::string last;
    uint32_t error = 0;
    int id = winsim::Resolve(path, false, &parent, &last, &error);
    if (!id) return error;
    if (!(winsim::RightsNow(id, parent, winsim::Caller()) & winsim::READ_CONTROL)) return ERR_ACCESS_DENIED;
    return Text(id, out, size);
}

DWORD SetSecurity(File f, const char* sddl) {
    Call call("SetSecurity");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (!Held(f)) return ERR_INVALID_HANDLE;
    winsim::Descriptor d;
    if (!winsim::ParseSddl(sddl, &d) || !strstr(sddl, "D:")) return ERR_INVALID_SECURITY_DESCR;
    if (!W.KeepsAccessLists) return OK;
    return winsim::SetSecurityByHandle(f->Handle, sddl, true, true) ? OK : Error();
}

void EnablePrivileges() {
    Call call("EnablePrivileges");
    W.Tool.PrivilegesOn = true;
}

Version WindowsVersion() {
    Call call("WindowsVersion");
    return {static_cast<DWORD>(W.Windows.Major), static_cast<DWORD>(W.Windows.Minor), false};
}

DWORD UserSid(char* out, int size) {
    Call call("UserSid");
    return Put(W.Tool.User, out, size);
}

DWORD Variable(const char* name, char* out, int size) {
    Call call("Variable");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    for (const auto& v : W.Environment)
        if (winsim::Upper(v.first) == winsim::Upper(name)) return Put(v.second, out, size);
    if (size > 0) out[0] = '\0';
    return ERR_ENVVAR_NOT_FOUND;
}

DWORD WindowsFolder(char* out, int size) {
    Call call("WindowsFolder");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    return Put("C:\\Windows", out, size);
}

DWORD ModulePath(char* out, int size) {
    Call call("ModulePath");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    return Put(W.ModulePath, out, size);
}

DWORD FullPath(const char* path, char* out, int size) {
    Call call("FullPath");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    std::string p = path;
    bool absolute = p.size() >= 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/');
    if (!absolute) p = W.CurrentFolder + (W.CurrentFolder.back() == '\\' ? "" : "\\") + p;
    return Put(p, out, size);
}

DWORD LongPath(const char* path, char* out, int size) {
    Call call("LongPath");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    int parent;
    std::string last;
    uint32_t error = 0;
    if (!winsim::Resolve(path, true, &parent, &last, &error) && !parent) return ERR_FILE_NOT_FOUND;
    return Put(path, out, size);
}

DWORD Ticks() {
    Call call("Ticks");
    return static_cast<DWORD>(W.NowMs);
}

void Sleep(DWORD ms) {
    Call call("Sleep");
    winsim::Advance(ms);
}

DWORD ManagerOpen(DWORD access, Service* out) {
    Call call("ManagerOpen");
    *out = nullptr;
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (W.ManagerError) return W.ManagerError;
    if ((access & MANAGER_CREATE_SERVICE) && !W.CanMakeServices) return ERR_ACCESS_DENIED;
    *out = Give(new ServiceObject{true, "", access});
    W.ServiceHandles++;
    return OK;
}

DWORD ServiceOpen(Service manager, const char* name, DWORD access, Service* out) {
    Call call("ServiceOpen");
    *out = nullptr;
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (!manager || !manager->Manager) return ERR_INVALID_HANDLE;
    winsim::Service* s = winsim::ServiceOf(name);
    if (!s) return ERR_SERVICE_DOES_NOT_EXIST;
    if (W.ServiceOpenError) return W.ServiceOpenError;
    const DWORD changes = SVC_CHANGE_CONFIG | SVC_START | SVC_STOP | RIGHT_DELETE | RIGHT_WRITE_DAC | RIGHT_WRITE_OWNER;
    if ((access & changes) && !W.CanMakeServices) return ERR_ACCESS_DENIED;
    *out = Give(new ServiceObject{false, name, access});
    s->OpenHandles++;
    W.ServiceHandles++;
    return OK;
}

void ServiceClose(Service s) {
    Call call("ServiceClose");
    if (!s || !Closing(s)) return;
    W.ServiceHandles--;
    if (!s->Manager)
        if (winsim::Service* found = winsim::ServiceOf(s->Name)) found->OpenHandles--;
    delete s;
    winsim::Advance(0);
}

DWORD ServicesList(Service manager, ServiceListed visit, void* context) {
    Call call("ServicesList");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (!manager || !(manager->Access & MANAGER_ENUMERATE_SERVICE)) return ERR_ACCESS_DENIED;
    std::vector<std::string> names;
    for (const auto& s : W.Services) names.push_back(s.second.Name.empty() ? s.first : s.second.Name);
    for (const auto& n : names)
        if (!visit(n.c_str(), context)) break;
    return OK;
}

namespace {

// The service a handle was opened on, when the handle holds right.
winsim::Service* Opened(Service s, DWORD right, DWORD* error) {
    winsim::Advance(0);
    winsim::Service* found = s && !s->Manager ? winsim::ServiceOf(s->Name) : nullptr;
    *error = !found ? ERR_INVALID_HANDLE : (s->Access & right) != right ? ERR_ACCESS_DENIED : OK;
    return *error ? nullptr : found;
}

}  // namespace

DWORD ServiceQueryStatus(Service s, Status* out) {
    Call call("ServiceQueryStatus");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_QUERY_STATUS, &e);
    if (found) *out = StatusOf(*found);
    return e;
}

DWORD ServiceQueryConfig(Service s, Config* out) {
    Call call("ServiceQueryConfig");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_QUERY_CONFIG, &e);
    if (!found) return e;
    memset(out, 0, sizeof *out);
    out->Type = found->Type;
    out->Start = found->Start;
    snprintf(out->BinaryPath, sizeof out->BinaryPath, "%s", found->BinaryPath.c_str());
    snprintf(out->Account, sizeof out->Account, "%s", found->Account.c_str());
    snprintf(out->Display, sizeof out->Display, "%s", found->Display.c_str());
    return OK;
}

DWORD ServiceCreate(Service manager, const char* name, const Making& m, Service* out) {
    Call call("ServiceCreate");
    *out = nullptr;
    if (call.Fails()) return ERR_ACCESS_DENIED;
    if (!manager || !manager->Manager) return ERR_INVALID_HANDLE;
    if (!(manager->Access & MANAGER_CREATE_SERVICE)) return ERR_ACCESS_DENIED;
    if (winsim::Service* s = winsim::ServiceOf(name)) return s->MarkedForDelete ? ERR_SERVICE_MARKED_FOR_DELETE : ERR_SERVICE_EXISTS;
    if (DisplayTaken(m.Display, name)) return ERR_DUPLICATE_SERVICE_NAME;
    winsim::Service s;
    s.Name = name;
    s.Display = m.Display;
    s.Type = m.Type;
    s.Start = m.Start;
    s.BinaryPath = m.BinaryPath;
    s.OpenHandles = 1;
    W.Services[winsim::Upper(name)] = s;
    GivePath(m.BinaryPath);
    *out = Give(new ServiceObject{false, name, SVC_ALL_ACCESS});
    W.ServiceHandles++;
    return OK;
}

DWORD ServiceChange(Service s, const Making& m) {
    Call call("ServiceChange");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_CHANGE_CONFIG, &e);
    if (!found) return e;
    if (found->MarkedForDelete) return ERR_SERVICE_MARKED_FOR_DELETE;
    if (DisplayTaken(m.Display, s->Name)) return ERR_DUPLICATE_SERVICE_NAME;
    found->Display = m.Display;
    found->Type = m.Type;
    found->Start = m.Start;
    found->BinaryPath = m.BinaryPath;
    found->Account = "LocalSystem";
    GivePath(m.BinaryPath);
    return OK;
}

DWORD ServiceDescribe(Service s, const char* text) {
    Call call("ServiceDescribe");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_CHANGE_CONFIG, &e);
    if (found) found->Description = text;
    return e;
}

DWORD ServiceDelete(Service s) {
    Call call("ServiceDelete");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, RIGHT_DELETE, &e);
    if (!found) return e;
    if (found->MarkedForDelete) return ERR_SERVICE_MARKED_FOR_DELETE;
    found->MarkedForDelete = true;
    return OK;
}

DWORD ServiceStart(Service s) {
    Call call("ServiceStart");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_START, &e);
    if (!found) return e;
    if (W.NowMs < W.LockedUntilMs) return ERR_SERVICE_DATABASE_LOCKED;
    if (found->MarkedForDelete) return ERR_SERVICE_MARKED_FOR_DELETE;
    if (found->State != os::SERVICE_STOPPED) return ERR_SERVICE_ALREADY_RUNNING;
    if (found->Start == START_DISABLED) return winsim::E_SERVICE_DISABLED;
    found->State = os::SERVICE_START_PENDING;
    found->PendingUntil = W.NowMs + found->StartMs;
    found->PendingTo = found->StartFails ? os::SERVICE_STOPPED : os::SERVICE_RUNNING;
    found->ExitCode = found->StartFails ? 1067 : 0;  // the system's "the process ended unexpectedly"
    return OK;
}

DWORD ServiceControl(Service s, DWORD control, Status* out) {
    Call call("ServiceControl");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, control == os::SERVICE_CONTROL_STOP ? SVC_STOP : 0, &e);
    if (!found) return e;
    if (found->State == os::SERVICE_STOPPED) return ERR_SERVICE_NOT_ACTIVE;
    if (found->State == os::SERVICE_START_PENDING || found->State == os::SERVICE_STOP_PENDING || found->RefusesStop)
        return ERR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (control == os::SERVICE_CONTROL_STOP) {
        found->State = os::SERVICE_STOP_PENDING;
        found->PendingUntil = found->NeverStops ? 0 : W.NowMs + found->StopMs;
        found->PendingTo = found->StopBounces ? os::SERVICE_RUNNING : os::SERVICE_STOPPED;
    }
    *out = StatusOf(*found);
    return OK;
}

DWORD ServiceSecurity(Service s, char* out, int size) {
    Call call("ServiceSecurity");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, RIGHT_READ_CONTROL, &e);
    if (found && found->SecurityUnread) return ERR_ACCESS_DENIED;
    return found ? Put(found->Security, out, size) : e;
}

DWORD ServiceFailures(Service s, Failures* out) {
    Call call("ServiceFailures");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_QUERY_CONFIG, &e);
    if (!found) return e;
    if (!W.KeepsFailureActions) return ERR_INVALID_LEVEL;
    memset(out, 0, sizeof *out);
    out->ResetSeconds = found->FailureResetSeconds;
    out->Count = static_cast<int>(found->FailureActions.size());
    for (int i = 0; i < out->Count && i < FAILURE_ACTIONS_MAX; i++)
        out->Actions[i] = {found->FailureActions[i].first, found->FailureActions[i].second};
    snprintf(out->Command, sizeof out->Command, "%s", found->FailureCommand.c_str());
    out->Flag = found->FailureActionsOnNonCrash;
    out->FlagKnown = W.Windows.Vista();
    return OK;
}

// As the manager does: a restart action needs the right to start the service too, and the flag
// exists from Vista on.
DWORD ServiceSetFailures(Service s, const Failures& f) {
    Call call("ServiceSetFailures");
    if (call.Fails()) return ERR_ACCESS_DENIED;
    DWORD e;
    winsim::Service* found = Opened(s, SVC_CHANGE_CONFIG, &e);
    if (!found) return e;
    for (int i = 0; i < f.Count && i < FAILURE_ACTIONS_MAX; i++)
        if (f.Actions[i].Type == FAILURE_RESTART && !Opened(s, SVC_START, &e)) return e;
    if (f.Flag && !W.Windows.Vista()) return ERR_NOT_SUPPORTED;
    found->FailureActions.clear();
    if (f.Flag && W.RefusesFailureFlag) return ERR_INVALID_PARAMETER;
    for (int i = 0; i < f.Count && i < FAILURE_ACTIONS_MAX; i++)
        found->FailureActions.push_back({f.Actions[i].Type, f.Actions[i].DelayMs});
    found->FailureResetSeconds = f.ResetSeconds;
    if (f.Command[0]) found->FailureCommand = f.Command;
    if (W.Windows.Vista()) found->FailureActionsOnNonCrash = f.Flag;
    return OK;
}

DWORD KeySecurity(const char* key, char* out, int size) {
    Call call("KeySecurity");
    if (call.Fails()) return Put("", out, size), ERR_ACCESS_DENIED;
    const std::string prefix = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\";
    std::string k = winsim::Upper(key);
    if (k.compare(0, prefix.size(), prefix) != 0) return ERR_FILE_NOT_FOUND;
    winsim::Service* found = winsim::ServiceOf(k.substr(prefix.size()));
    return found && !found->KeyMissing ? Put(found->KeySecurity, out, size) : ERR_FILE_NOT_FOUND;
}

}  // namespace door
