// The Windows calls that more than one of qvl's verbs make: the service's state and
// configuration, paths, Ctrl-C, and for the trial the program's process and the evidence's lock.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/verdict.h"

const int PATH_TEXT = 1024;  // a folder or file path as qvl handles it, terminator included

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

// The folder of the program file a service's binary path names.
void BinaryFolder(const char* binaryPath, char* out, int size);

// The security descriptor of a file or folder (owner and access list) as SDDL text; false when
// it cannot be read. Released with FreeText.
bool FileSecurityText(const char* path, char** sddl);
void FreeText(char* text);

// Whether path is a file (not a folder).
bool IsFile(const char* path);

// The folder that holds qvl.exe; folder itself made absolute, with no separator at its end
// except a drive's root. False when it would not fit.
bool ModuleFolder(char* out, int size);
bool FullFolder(const char* folder, char* out, int size);

// From the first call on, Ctrl-C and Ctrl-Break no longer end the process; CtrlPressed is true
// once for each press since its last call.
void CatchCtrlC();
bool CtrlPressed();

// Enters folder and finds out what Refusal needs; writes nothing.
Folder CheckFolder(const char* folder, const char* service);

// True, with its exit code, once the process has ended.
bool ProcessEnded(os::HANDLE process, uint32_t* code);

void LockEvidence();
void UnlockEvidence();
