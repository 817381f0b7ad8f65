// The one door to the service manager that qvl's verbs share: a service opened for what a verb
// does to it, its state, its configuration, its owner and permissions, and its making.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/door.h"
#include "tools/qvl/paths.h"

// The system's own handle type, declared as its headers declare it, so that this header need
// not bring them in.
struct SC_HANDLE__;
typedef SC_HANDLE__* SC_HANDLE;

// The service opened with access; 0 with the reason left for
// GetLastError. *reached (when given) is false when the manager itself could not be opened.
SC_HANDLE OpenServiceFor(const char* name, os::DWORD access, bool* reached = nullptr);
void CloseService(SC_HANDLE service);

// An open service's state (os::SERVICE_RUNNING and the like); 0 when the manager will not say.
os::DWORD StateOf(SC_HANDLE service);

// The service's state by name, SERVICE_NOT_INSTALLED, or SERVICE_UNKNOWN when the manager will
// not say.
int ServiceState(const char* name);

// What the manager holds of a service; Found false when there is none.
struct ServiceConfig {
    bool Found;
    os::DWORD Type;
    os::DWORD Start;
    char BinaryPath[PATH_TEXT];
};

// False when the manager could not be asked.
bool QueryConfig(const char* name, ServiceConfig* config);

// The service's owner and access list as SDDL text; false when they cannot be read. Released
// with FreeText.
bool ServiceSecurityText(const char* name, char** sddl);

// Whether this process may make services (an elevated administrator's may); false with the
// reason left for GetLastError.
bool MayMakeServices();

// What a service is made with; the account is always LocalSystem.
struct ServiceMaking {
    const char* Display;
    const char* Description;
    os::DWORD Type;
    os::DWORD Start;
    const char* BinaryPath;  // quoted
};

// Creates the service, or, when it exists, sets its configuration to m; false with the reason
// left for GetLastError.
bool MakeService(const char* name, const ServiceMaking& m, bool exists);

// The service's state as ServiceState gives it, with, in *end, the exit codes of its last report:
// how a stopped service ended.
int ServiceStateAndEnd(const char* name, door::Status* end);

// The service's failure actions and their flag; 0, or why the manager would not say.
os::DWORD QueryFailures(const char* name, door::Failures* f);

// Sets them; 0, or why they were not set (door::ERR_NOT_SUPPORTED: this Windows has no flag).
os::DWORD SetFailures(const char* name, const door::Failures& f);
