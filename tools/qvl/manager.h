// The one door to the service manager that qvl's verbs share: a service's state, its
// configuration and its owner and permissions.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/paths.h"

// The service's state (os::SERVICE_RUNNING and the like), SERVICE_NOT_INSTALLED, or
// SERVICE_UNKNOWN when the manager will not say.
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
