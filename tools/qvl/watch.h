// The Windows calls of the trial and of the waiting verbs: Ctrl-C, whether a trial may start in
// a folder, the program's end, and the lock on the trial's evidence.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/verdict.h"

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
