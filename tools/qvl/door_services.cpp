// The door's service manager on Windows: the manager and its services opened with rights, their
// status, configuration, making, deletion, start and controls, descriptors and failure actions.
#include "tools/qvl/door.h"

#include <string.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

namespace door {
namespace {

const int CONFIG_BYTES = 8192;  // a service's configuration and its strings: the most Windows gives

SC_HANDLE Sc(Service s) {
    return reinterpret_cast<SC_HANDLE>(s);
}

DWORD Done(BOOL ok) {
    return ok ? OK : ::GetLastError();
}

DWORD Opened(SC_HANDLE h, Service* out) {
    *out = reinterpret_cast<Service>(h);
    return h ? OK : ::GetLastError();
}

void Copy(const char* from, char* out, int size) {
    out[0] = '\0';
    if (from) strncat(out, from, size - 1);
}

void FromStatus(const SERVICE_STATUS& s, Status* out) {
    out->State = s.dwCurrentState;
    out->Win32Exit = s.dwWin32ExitCode;
    out->SpecificExit = s.dwServiceSpecificExitCode;
}

}  // namespace

DWORD ManagerOpen(DWORD access, Service* out) {
    return Opened(::OpenSCManagerA(nullptr, nullptr, access), out);
}

DWORD ServiceOpen(Service manager, const char* name, DWORD access, Service* out) {
    return Opened(::OpenServiceA(Sc(manager), name, access), out);
}

void ServiceClose(Service s) {
    if (s) ::CloseServiceHandle(Sc(s));
}

DWORD ServicesList(Service manager, ServiceListed visit, void* context) {
    static union { ENUM_SERVICE_STATUSA First; char Bytes[32768]; } buffer;
    ::DWORD needed, count, resume = 0;
    for (;;) {
        BOOL all = ::EnumServicesStatusA(Sc(manager), SERVICE_WIN32, SERVICE_STATE_ALL, &buffer.First, sizeof buffer,
                                         &needed, &count, &resume);
        DWORD e = all ? OK : ::GetLastError();
        if (e != OK && e != ERROR_MORE_DATA) return e;
        for (::DWORD i = 0; i < count; i++)
            if (!visit((&buffer.First)[i].lpServiceName, context)) return OK;
        if (e == OK) return OK;
    }
}

DWORD ServiceQueryStatus(Service s, Status* out) {
    SERVICE_STATUS status;
    memset(out, 0, sizeof *out);
    if (!::QueryServiceStatus(Sc(s), &status)) return ::GetLastError();
    FromStatus(status, out);
    return OK;
}

DWORD ServiceQueryConfig(Service s, Config* out) {
    static union { QUERY_SERVICE_CONFIGA Config; char Bytes[CONFIG_BYTES]; } buffer;
    memset(out, 0, sizeof *out);
    ::DWORD needed;
    if (!::QueryServiceConfigA(Sc(s), &buffer.Config, sizeof buffer, &needed)) return ::GetLastError();
    out->Type = buffer.Config.dwServiceType;
    out->Start = buffer.Config.dwStartType;
    Copy(buffer.Config.lpBinaryPathName, out->BinaryPath, sizeof out->BinaryPath);
    Copy(buffer.Config.lpServiceStartName, out->Account, sizeof out->Account);
    Copy(buffer.Config.lpDisplayName, out->Display, sizeof out->Display);
    return OK;
}

DWORD ServiceCreate(Service manager, const char* name, const Making& m, Service* out) {
    return Opened(::CreateServiceA(Sc(manager), name, m.Display, SERVICE_ALL_ACCESS, m.Type, m.Start,
                                   SERVICE_ERROR_NORMAL, m.BinaryPath, nullptr, nullptr, nullptr, nullptr, nullptr),
                  out);
}

DWORD ServiceChange(Service s, const Making& m) {
    return Done(::ChangeServiceConfigA(Sc(s), m.Type, m.Start, SERVICE_ERROR_NORMAL, m.BinaryPath, nullptr, nullptr,
                                       nullptr, "LocalSystem", "", m.Display));
}

DWORD ServiceDescribe(Service s, const char* text) {
    SERVICE_DESCRIPTIONA description = {const_cast<char*>(text)};
    return Done(::ChangeServiceConfig2A(Sc(s), SERVICE_CONFIG_DESCRIPTION, &description));
}

DWORD ServiceDelete(Service s) {
    return Done(::DeleteService(Sc(s)));
}

DWORD ServiceStart(Service s) {
    return Done(::StartServiceA(Sc(s), 0, nullptr));
}

DWORD ServiceControl(Service s, DWORD control, Status* out) {
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    BOOL ok = ::ControlService(Sc(s), control, &status);
    FromStatus(status, out);
    return Done(ok);
}

DWORD ServiceSecurity(Service s, char* out, int size) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    static union { SECURITY_DESCRIPTOR Sd; char Bytes[8192]; } buffer;
    ::DWORD needed;
    char* sddl;
    out[0] = '\0';
    if (!::QueryServiceObjectSecurity(Sc(s), what, &buffer.Sd, sizeof buffer, &needed) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(&buffer.Sd, SDDL_REVISION_1, what, &sddl, nullptr))
        return ::GetLastError();
    DWORD e = static_cast<int>(strlen(sddl)) < size ? (strcpy(out, sddl), OK) : ERR_INSUFFICIENT_BUFFER;
    ::LocalFree(sddl);
    return e;
}

DWORD ServiceFailures(Service s, Failures* out) {
    static union { SERVICE_FAILURE_ACTIONSA Actions; char Bytes[CONFIG_BYTES]; } buffer;
    memset(out, 0, sizeof *out);
    ::DWORD needed;
    if (!::QueryServiceConfig2A(Sc(s), SERVICE_CONFIG_FAILURE_ACTIONS, reinterpret_cast<BYTE*>(&buffer), sizeof buffer,
                                &needed))
        return ::GetLastError();
    out->ResetSeconds = buffer.Actions.dwResetPeriod;
    out->Count = static_cast<int>(buffer.Actions.cActions);
    for (int i = 0; i < out->Count && i < FAILURE_ACTIONS_MAX; i++)
        out->Actions[i] = {static_cast<DWORD>(buffer.Actions.lpsaActions[i].Type), buffer.Actions.lpsaActions[i].Delay};
    Copy(buffer.Actions.lpCommand, out->Command, sizeof out->Command);
    // The flag is Vista's: before it the level is unknown, and the flag with it.
    SERVICE_FAILURE_ACTIONS_FLAG flag;
    if (::QueryServiceConfig2A(Sc(s), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, reinterpret_cast<BYTE*>(&flag), sizeof flag,
                               &needed))
        out->FlagKnown = true, out->Flag = flag.fFailureActionsOnNonCrashFailures != 0;
    return OK;
}

DWORD ServiceSetFailures(Service s, const Failures& f) {
    SC_ACTION actions[FAILURE_ACTIONS_MAX];
    int count = f.Count < FAILURE_ACTIONS_MAX ? f.Count : FAILURE_ACTIONS_MAX;
    for (int i = 0; i < count; i++) actions[i] = {static_cast<SC_ACTION_TYPE>(f.Actions[i].Type), f.Actions[i].DelayMs};
    SERVICE_FAILURE_ACTIONSA set = {f.ResetSeconds, nullptr, const_cast<char*>(f.Command[0] ? f.Command : nullptr),
                                    static_cast<::DWORD>(count), actions};
    if (!::ChangeServiceConfig2A(Sc(s), SERVICE_CONFIG_FAILURE_ACTIONS, &set)) return ::GetLastError();
    SERVICE_FAILURE_ACTIONS_FLAG flag = {f.Flag};
    if (::ChangeServiceConfig2A(Sc(s), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) return OK;
    // A manager that does not know the level is older than Vista: it has no flag to set.
    ::DWORD e = ::GetLastError();
    return !f.Flag ? OK : e == ERROR_INVALID_LEVEL ? ERR_NOT_SUPPORTED : e;
}

}  // namespace door
