// What install and audit judge of where the service lives: the program a service's binary path
// names, the findings on its configuration, and the folders never to lock. Pure, like the
// judgment of access lists beside it.
#pragma once

#include <stdint.h>

#include "tools/qvl/security.h"

// The program file a service's binary path names: the quoted part, or, unquoted, up to the
// first ".exe" as the service manager would try it first. Written into out (size bytes).
void BinaryProgram(const char* binaryPath, char* out, int size);

// Why install must not lock folder (an absolute path, in its long form), or null when it may: the
// lock replaces the permissions of everything inside, which a drive's root, the Windows folder
// (and all inside it) and each of the other system folders given must keep. Case, the kind of
// separator and a leading \\?\ make no difference.
const char* WhyNotLock(const char* folder, const char* windowsFolder, const char* const* systemFolders, int count);

// Whether a reparse point with tag acts as a link, by allow-list: a deduplicated file and one the
// overlay filter compressed are files; a cloud placeholder (a provider supplies what it holds),
// an app-execution alias, a junction, a symbolic link and any tag not known are links.
bool ReparseIsLink(uint32_t tag);

// Whether two paths (or names) are the same to Windows: case and the kind of separator aside.
bool SamePath(const char* a, const char* b);

// folder\name into out (size bytes), with one separator even after a drive's root; false when
// it would not fit.
bool JoinPath(const char* folder, const char* name, char* out, int size);

// Whether a service's binary path names the program expected (compared without regard to case).
bool RunsProgram(const char* binaryPath, const char* expected);

// Adds findings on a service's configuration: an unquoted binary path with a blank in it, a
// program other than expected (compared without regard to case), a type other than own-process
// and interactive.
void JudgeServiceConfig(const char* binaryPath, uint32_t type, const char* expected, Findings* findings);
