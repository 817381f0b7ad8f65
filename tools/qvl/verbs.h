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

struct Findings;

// Audit's findings on the folder, the files in it and every folder above it; install reports
// them when it leaves the folder unlocked. False when the folder's own permissions cannot be read.
bool AuditFolder(const char* folder, Findings* findings);
