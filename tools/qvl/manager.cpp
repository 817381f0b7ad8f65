// The service manager's answers about one service, and its making, each through a handle of its
// own, closed before the answer is returned.
#include "tools/qvl/manager.h"

#include <string.h>

#include "tools/qvl/qvl.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

namespace {

// Closes handle, keeping the last error for the caller.
void CloseKeepingError(SC_HANDLE handle) {
    DWORD e = ::GetLastError();
    ::CloseServiceHandle(handle);
    ::SetLastError(e);
}

// The manager itself, for connecting and, when create, for making services.
SC_HANDLE OpenManager(bool create) {
    return ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | (create ? SC_MANAGER_CREATE_SERVICE : 0));
}

}  // namespace

SC_HANDLE OpenServiceFor(const char* name, os::DWORD access, bool* reached) {
    SC_HANDLE manager = OpenManager(false);
    if (reached) *reached = manager != nullptr;
    if (!manager) return nullptr;
    SC_HANDLE service = ::OpenServiceA(manager, name, access);
    CloseKeepingError(manager);
    return service;
}

void CloseService(SC_HANDLE service) {
    ::CloseServiceHandle(service);
}

os::DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS s;
    return ::QueryServiceStatus(service, &s) ? s.dwCurrentState : 0;
}

int ServiceState(const char* name) {
    SC_HANDLE service = OpenServiceFor(name, SERVICE_QUERY_STATUS);
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? SERVICE_NOT_INSTALLED : SERVICE_UNKNOWN;
    DWORD state = StateOf(service);
    ::CloseServiceHandle(service);
    return state ? static_cast<int>(state) : SERVICE_UNKNOWN;
}

bool QueryConfig(const char* name, ServiceConfig* config) {
    memset(config, 0, sizeof *config);
    SC_HANDLE service = OpenServiceFor(name, SERVICE_QUERY_CONFIG);
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    // The record and the strings it points to, in one buffer: 8 KB is the most Windows needs.
    static union { QUERY_SERVICE_CONFIGA Config; char Bytes[8192]; } buffer;
    DWORD needed;
    bool asked = ::QueryServiceConfigA(service, &buffer.Config, sizeof buffer, &needed) != 0;
    if (asked) {
        config->Found = true;
        config->Type = buffer.Config.dwServiceType;
        config->Start = buffer.Config.dwStartType;
        const char* path = buffer.Config.lpBinaryPathName ? buffer.Config.lpBinaryPathName : "";
        strncpy(config->BinaryPath, path, sizeof config->BinaryPath - 1);
    }
    ::CloseServiceHandle(service);
    return asked;
}

bool ServiceSecurityText(const char* name, char** sddl) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    SC_HANDLE service = OpenServiceFor(name, READ_CONTROL);
    if (!service) return false;
    static union { SECURITY_DESCRIPTOR Sd; char Bytes[8192]; } buffer;
    DWORD needed;
    bool read = ::QueryServiceObjectSecurity(service, what, &buffer.Sd, sizeof buffer, &needed) &&
                ::ConvertSecurityDescriptorToStringSecurityDescriptorA(&buffer.Sd, SDDL_REVISION_1, what, sddl, nullptr);
    CloseKeepingError(service);
    return read;
}

bool MayMakeServices() {
    SC_HANDLE manager = OpenManager(true);
    if (manager) ::CloseServiceHandle(manager);
    return manager != nullptr;
}

bool MakeService(const char* name, const ServiceMaking& m, bool exists) {
    SC_HANDLE manager = OpenManager(true);
    if (!manager) return false;
    SC_HANDLE service;
    if (!exists) {
        service = ::CreateServiceA(manager, name, m.Display, SERVICE_ALL_ACCESS, m.Type, m.Start, SERVICE_ERROR_NORMAL,
                                   m.BinaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
        service = ::OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        if (service && !::ChangeServiceConfigA(service, m.Type, m.Start, SERVICE_ERROR_NORMAL, m.BinaryPath, nullptr,
                                               nullptr, nullptr, "LocalSystem", "", m.Display)) {
            CloseKeepingError(service);
            service = nullptr;
        }
    }
    CloseKeepingError(manager);
    if (!service) return false;
    SERVICE_DESCRIPTIONA description = {const_cast<char*>(m.Description)};
    ::ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description);
    ::CloseServiceHandle(service);
    return true;
}

namespace {

// The service opened through the door with access; 0, or why not.
os::DWORD OpenThroughDoor(const char* name, os::DWORD access, door::Service* service) {
    door::Service manager;
    os::DWORD e = door::ManagerOpen(door::MANAGER_CONNECT, &manager);
    if (e) return e;
    e = door::ServiceOpen(manager, name, access, service);
    door::ServiceClose(manager);
    return e;
}

}  // namespace

int ServiceStateAndEnd(const char* name, door::Status* end) {
    memset(end, 0, sizeof *end);
    door::Service service;
    os::DWORD e = OpenThroughDoor(name, door::SVC_QUERY_STATUS, &service);
    if (e) return e == door::ERR_SERVICE_DOES_NOT_EXIST ? SERVICE_NOT_INSTALLED : SERVICE_UNKNOWN;
    e = door::ServiceQueryStatus(service, end);
    door::ServiceClose(service);
    return e || !end->State ? SERVICE_UNKNOWN : static_cast<int>(end->State);
}

os::DWORD QueryFailures(const char* name, door::Failures* f) {
    memset(f, 0, sizeof *f);
    door::Service service;
    os::DWORD e = OpenThroughDoor(name, door::SVC_QUERY_CONFIG, &service);
    if (e) return e;
    e = door::ServiceFailures(service, f);
    door::ServiceClose(service);
    return e;
}

os::DWORD SetFailures(const char* name, const door::Failures& f) {
    door::Service service;
    os::DWORD e = OpenThroughDoor(name, door::SVC_CHANGE_CONFIG | door::SVC_START, &service);
    if (e) return e;
    e = door::ServiceSetFailures(service, f);
    door::ServiceClose(service);
    return e;
}
