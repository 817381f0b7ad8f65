// The service manager's answers about one service, and its making, each through a handle of its
// own, closed before the answer is returned.
#include "tools/qvl/manager.h"

#include <string.h>

#include "tools/qvl/config.h"
#include "tools/qvl/qvl.h"

using namespace door;

os::DWORD OpenServiceFor(const char* name, os::DWORD access, Service* out, bool* reached) {
    Service manager;
    *out = nullptr;
    os::DWORD e = ManagerOpen(MANAGER_CONNECT, &manager);
    if (reached) *reached = e == OK;
    if (e) return e;
    e = ServiceOpen(manager, name, access, out);
    ServiceClose(manager);
    return e;
}

os::DWORD StateOf(Service service) {
    Status s;
    return ServiceQueryStatus(service, &s) ? 0 : s.State;
}

int ServiceState(const char* name) {
    Status ignored;
    return ServiceStateAndEnd(name, &ignored);
}

bool QueryConfig(const char* name, ServiceConfig* config) {
    memset(config, 0, sizeof *config);
    Service service;
    os::DWORD e = OpenServiceFor(name, SVC_QUERY_CONFIG, &service);
    if (e) return e == ERR_SERVICE_DOES_NOT_EXIST;
    static Config got;
    bool asked = ServiceQueryConfig(service, &got) == OK;
    if (asked) {
        config->Found = true;
        config->Type = got.Type;
        config->Start = got.Start;
        strncpy(config->BinaryPath, got.BinaryPath, sizeof config->BinaryPath - 1);
    }
    ServiceClose(service);
    return asked;
}

os::DWORD ServiceSecurityText(const char* name, char* out, int size) {
    Service service;
    out[0] = '\0';
    os::DWORD e = OpenServiceFor(name, RIGHT_READ_CONTROL, &service);
    if (e) return e;
    e = ServiceSecurity(service, out, size);
    ServiceClose(service);
    return e;
}

os::DWORD MayMakeServices() {
    Service manager;
    os::DWORD e = ManagerOpen(MANAGER_CONNECT | MANAGER_CREATE_SERVICE, &manager);
    if (!e) ServiceClose(manager);
    return e;
}

namespace {

struct Search {
    const char* Folder;
    const char* Except;
    char* Other;
    int Size;
    bool Found;
    os::DWORD Error;
};

bool InFolder(const char* name, void* context) {
    Search* s = static_cast<Search*>(context);
    if (SamePath(name, s->Except)) return true;
    ServiceConfig config;
    if (!QueryConfig(name, &config)) return s->Error = ERR_ACCESS_DENIED, true;
    char folder[PATH_TEXT], longFolder[PATH_TEXT];
    BinaryFolder(config.BinaryPath, folder, sizeof folder);
    LongForm(folder, longFolder, sizeof longFolder);
    if (!config.Found || !longFolder[0] || !SamePath(longFolder, s->Folder)) return true;
    s->Found = true;
    strncpy(s->Other, name, s->Size - 1);
    s->Other[s->Size - 1] = '\0';
    return false;
}

}  // namespace

os::DWORD ServiceInFolder(const char* folder, const char* except, char* other, int size, bool* found) {
    Service manager;
    *found = false;
    other[0] = '\0';
    os::DWORD e = ManagerOpen(MANAGER_CONNECT | MANAGER_ENUMERATE_SERVICE, &manager);
    if (e) return e;
    Search s = {folder, except, other, size, false, OK};
    e = ServicesList(manager, InFolder, &s);
    ServiceClose(manager);
    *found = s.Found;
    return e ? e : s.Found ? OK : s.Error;
}

os::DWORD MakeService(const char* name, const ServiceMaking& m, bool exists) {
    Service manager, service = nullptr;
    os::DWORD e = ManagerOpen(MANAGER_CONNECT | MANAGER_CREATE_SERVICE, &manager);
    if (e) return e;
    const Making making = {m.Display, m.Type, m.Start, m.BinaryPath};
    if (!exists) {
        e = ServiceCreate(manager, name, making, &service);
    } else {
        e = ServiceOpen(manager, name, SVC_ALL_ACCESS, &service);
        if (!e) e = ServiceChange(service, making);
    }
    ServiceClose(manager);
    // The description is shown, not trusted: a system that will not take it changes nothing.
    if (!e) ServiceDescribe(service, m.Description);
    ServiceClose(service);
    return e;
}

int ServiceStateAndEnd(const char* name, Status* end) {
    memset(end, 0, sizeof *end);
    Service service;
    os::DWORD e = OpenServiceFor(name, SVC_QUERY_STATUS, &service);
    if (e) return e == ERR_SERVICE_DOES_NOT_EXIST ? SERVICE_NOT_INSTALLED : SERVICE_UNKNOWN;
    e = ServiceQueryStatus(service, end);
    ServiceClose(service);
    return e || !end->State ? SERVICE_UNKNOWN : static_cast<int>(end->State);
}

os::DWORD QueryFailures(const char* name, Failures* f) {
    memset(f, 0, sizeof *f);
    Service service;
    os::DWORD e = OpenServiceFor(name, SVC_QUERY_CONFIG, &service);
    if (e) return e;
    e = ServiceFailures(service, f);
    ServiceClose(service);
    return e;
}

// A restart action needs the right to start the service as well as to change it.
os::DWORD SetFailures(const char* name, const Failures& f) {
    Service service;
    os::DWORD e = OpenServiceFor(name, SVC_CHANGE_CONFIG | SVC_START, &service);
    if (e) return e;
    e = ServiceSetFailures(service, f);
    ServiceClose(service);
    return e;
}
