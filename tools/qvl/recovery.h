// The service manager's own recovery for the service: what install asks of it, how it reads in
// words, and what audit finds in it. Pure: the door reads and sets it.
#pragma once

#include "tools/qvl/door.h"
#include "tools/qvl/security.h"
#include "tools/qvl/text.h"

// How long the manager counts failures before it forgets them: one day.
const os::DWORD RECOVERY_RESET_SECONDS = 86400;

// What --restart-on-failure SECONDS sets: a restart after that long, for every failure (the
// last action repeats), counted back to none after a day, and the flag that makes the actions
// follow a failure end the host reports as well as a crash.
door::Failures RestartOnFailure(long seconds);

// "restart after 60 s, on every failure; counted back after 86400 s; after a failure end too",
// or "none": what the manager will do when the service fails.
void AddRecoveryWords(Text* t, const door::Failures& f);

// Whether any action runs f.Command, and so runs it as LocalSystem.
bool RunsCommand(const door::Failures& f);

// Findings on the command a run-command action runs, as for the service's own binary path: not
// quoted with a blank in it, or named without a folder so that the system searches for it. The
// program's file and folders are judged by the caller, which can read them.
void JudgeRecoveryCommand(const door::Failures& f, Findings* findings);
