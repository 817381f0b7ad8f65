// What qvlrun asks of Windows beyond the seam: whether a folder may take a trial, the program's
// process, and a lock for the evidence that two threads add to.
#pragma once

#include "platform/platform.h"
#include "tools/qvlrun/trial.h"

// Enters folder and finds out what Refusal needs; writes nothing.
Folder CheckFolder(const char* folder);

// True, with its exit code, once the process has ended.
bool ProcessEnded(os::HANDLE process, uint32_t* code);

void LockEvidence();
void UnlockEvidence();
