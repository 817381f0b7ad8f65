// The one door to the service manager that qvl's verbs share: a service opened for what a verb
// does to it, its state, its configuration, its owner and permissions, the services that share a
// folder, and its making.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/door.h"
#include "tools/qvl/paths.h"

// The service opened with access into *out; 0, or the reason. *reached (when given) is false
// when the manager itself could not be opened.
os::DWORD OpenServiceFor(const char* name, os::DWORD access, door::Service* out, bool* reached = nullptr);

// An open service's state (os::SERVICE_RUNNING and the like); 0 when the manager will not say.
os::DWORD StateOf(door::Service service);

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

// The service's owner and access list as SDDL text into out; 0, or the reason.
os::DWORD ServiceSecurityText(const char* name, char* out, int size);

// 0 when this process may make services (an elevated administrator's may), or the reason.
os::DWORD MayMakeServices();

// Another service (not except) whose program lies in folder (absolute, long form), its name into
// other; false when there is none. 0, or why the services could not all be asked.
os::DWORD ServiceInFolder(const char* folder, const char* except, char* other, int size, bool* found);

// What a service is made with; the account is always LocalSystem.
struct ServiceMaking {
    const char* Display;
    const char* Description;
    os::DWORD Type;
    os::DWORD Start;
    const char* BinaryPath;        // quoted
};

// Creates the service, or, when it exists, sets its configuration to m; 0, or the reason.
os::DWORD MakeService(const char* name, const ServiceMaking& m, bool exists);

// The service's state as ServiceState gives it, with, in *end, the exit codes of its last report:
// how a stopped service ended.
int ServiceStateAndEnd(const char* name, door::Status* end);

// The service's failure actions and their flag; 0, or why the manager would not say.
os::DWORD QueryFailures(const char* name, door::Failures* f);

// Sets them; 0, or why they were not set (door::ERR_NOT_SUPPORTED: this Windows has no flag).
os::DWORD SetFailures(const char* name, const door::Failures& f);
