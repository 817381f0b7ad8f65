// The service manager's answers about one service, each asked through a handle of its own.
#include "tools/qvl/manager.h"

#include <string.h>

#include "tools/qvl/qvl.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

namespace {

// The service opened with access; 0 with the reason left for GetLastError.
SC_HANDLE OpenService(const char* name, DWORD access) {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return nullptr;
    SC_HANDLE service = ::OpenServiceA(manager, name, access);
    DWORD e = ::GetLastError();
    ::CloseServiceHandle(manager);
    ::SetLastError(e);
    return service;
}

}  // namespace

int ServiceState(const char* name) {
    SC_HANDLE service = OpenService(name, SERVICE_QUERY_STATUS);
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? SERVICE_NOT_INSTALLED : SERVICE_UNKNOWN;
    SERVICE_STATUS status;
    int state = ::QueryServiceStatus(service, &status) ? static_cast<int>(status.dwCurrentState) : SERVICE_UNKNOWN;
    ::CloseServiceHandle(service);
    return state;
}

bool QueryConfig(const char* name, ServiceConfig* config) {
    memset(config, 0, sizeof *config);
    SC_HANDLE service = OpenService(name, SERVICE_QUERY_CONFIG);
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
    SC_HANDLE service = OpenService(name, READ_CONTROL);
    if (!service) return false;
    static union { SECURITY_DESCRIPTOR Sd; char Bytes[8192]; } buffer;
    DWORD needed;
    bool read = ::QueryServiceObjectSecurity(service, what, &buffer.Sd, sizeof buffer, &needed) &&
                ::ConvertSecurityDescriptorToStringSecurityDescriptorA(&buffer.Sd, SDDL_REVISION_1, what, sddl, nullptr);
    DWORD e = ::GetLastError();
    ::CloseServiceHandle(service);
    ::SetLastError(e);
    return read;
}
