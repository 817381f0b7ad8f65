// How qvl names what it watches: the service's states, the program's status, and the trial's
// live line. Pure, like the judgments that use them.
#pragma once

#include <stdint.h>

#include "link/link.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verdict.h"

// "RUNNING", "STOP_PENDING" and the like; "-" for a state that is none of the four.
const char* StateName(uint32_t state);

// Where a status is shown: each place lays it out its own way, as operators and scripts have
// come to read it there.
enum StatusLayout {
    STATUS_IN_REPORT,     // qvl status: two lines, the byte's meaning and the heartbeat's time
    STATUS_IN_CHECK,      // the check's line when all is well
    STATUS_IN_PROGRESS,   // start and stop, once a second
    STATUS_IN_LIVE_LINE,  // the trial's live line, in columns
};

// The status byte and the heartbeat's age of v, laid out for where it is shown; without a
// heartbeat, what stands in its place there (the report and the check say that elsewhere).
void AddStatusWords(Text* t, const StatusView& v, StatusLayout layout);

// How a run of the service ended, from the exit codes the manager keeps of its last report:
// "on request", "the launch of ZARNQVL.EXE failed: error 2" and each of the host's causes.
void AddEndWords(Text* t, uint32_t win32Exit, uint32_t specificExit);

// qvl status's line on the service: its state (SERVICE_NOT_INSTALLED and SERVICE_UNKNOWN
// included) and, once stopped, how its last run ended.
void AddServiceWords(Text* t, const char* name, int state, uint32_t win32Exit, uint32_t specificExit);

// Whether those codes say the run ended on a failure rather than on request.
bool EndedOnFailure(uint32_t win32Exit, uint32_t specificExit);

// What the live line shows: the state, the last command, the status byte, the heartbeat's age
// and the program's process.
void LiveLine(char* out, int size, int64_t ms, uint32_t state, const Observation& look, bool alive);
