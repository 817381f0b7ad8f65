// How qvl names what it watches: the service's states, and the trial's live line. Pure, like the
// judgments that use them.
#pragma once

#include <stdint.h>

#include "tools/qvl/verdict.h"

// "RUNNING", "STOP_PENDING" and the like; "-" for a state that is none of the four.
const char* StateName(uint32_t state);

// What the live line shows: the state, the last command, the status byte, the heartbeat's age
// and the program's process.
void LiveLine(char* out, int size, int64_t ms, uint32_t state, const Observation& look, bool alive);
