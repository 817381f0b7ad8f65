// The verbs of qvl, one file each: each takes the parsed command line and the folder (absolute)
// and returns the exit status.
#pragma once

#include "tools/qvl/qvl.h"

int RunStatus(const Options& o, const char* folder);
int RunTrial(const Options& o, const char* folder);
int RunInstall(const Options& o, const char* folder);
int RunUninstall(const Options& o);
int RunStart(const Options& o);
int RunStop(const Options& o);
int RunAudit(const Options& o, const char* folder);
int RunCheck(const Options& o, const char* folder);

// Puts back the owner and permissions folder had before its first lock, as install kept them.
int RestoreBeforeLock(const char* folder);
