// One step of the supervised program: hold on stop-begin, finish on stop-finish, release, end by
// removing the status file, writing 0xFF or going stale, and beat with the hold bit.
#include "standin/program.h"

#include <stdio.h>
#include <string.h>

#include "platform/platform.h"

namespace {

// The status byte as written: its own, with the hold bit while it holds.
int Written(const ProgramState& s) {
    return s.Holding ? s.Byte | STATUS_HOLD_BIT : s.Byte;
}

void Obey(const ProgramSettings& c, ProgramState* s, int32_t code, int64_t nowMs, ProgramTrace trace) {
    trace(PROGRAM_COMMAND, code);
    if (code == CMD_STOP_BEGIN && !s->Finishing && c.HoldMs > 0) {
        s->Holding = true;
        s->HoldUntilMs = nowMs + c.HoldMs;
        trace(PROGRAM_HOLDS, static_cast<long>(c.HoldMs));
    }
    if (code == CMD_STOP_FINISH && !s->Finishing) {
        if (Written(*s) & STATUS_HOLD_BIT) trace(PROGRAM_FINISH_WHILE_HELD, 0);
        s->Finishing = true;
        s->FinishedAtMs = nowMs;
    }
}

void End(const ProgramSettings& c, ProgramTrace trace) {
    if (c.Ends == ProgramSettings::REMOVES_FILE) remove(STATUS_FILE);
    if (c.Ends == ProgramSettings::WRITES_NONE) WriteProgramStatus(STATUS_NONE, os::time());
    trace(PROGRAM_ENDED, 0);
}

}  // namespace

const char* ProgramEventWord(ProgramEvent event, const ProgramSettings& settings) {
    static const char* const ENDS[] = {"remove", "none", "stale"};
    switch (event) {
    case PROGRAM_STARTED: return "start";
    case PROGRAM_COMMAND: return "command";
    case PROGRAM_HOLDS: return "hold";
    case PROGRAM_RELEASED: return "released";
    case PROGRAM_FINISH_WHILE_HELD: return "finish-while-holding";
    case PROGRAM_ENDED: return ENDS[settings.Ends];
    case PROGRAM_QUIT: return "quit";
    }
    return "?";
}

void StartProgram(const ProgramSettings& settings, ProgramState* state, ProgramTrace trace) {
    memset(state, 0, sizeof *state);
    state->Byte = settings.StatusByte;
    int32_t leftover;
    bool seen = StartCommandWatch(&state->Commands, &leftover);
    trace(PROGRAM_STARTED, seen ? leftover : -1);
    if (seen) trace(PROGRAM_COMMAND, leftover);
}

bool StepProgram(const ProgramSettings& c, ProgramState* s, int64_t nowMs, ProgramTrace trace) {
    if (c.QuitAfterMs >= 0 && nowMs >= c.QuitAfterMs) return s->Quit = true, trace(PROGRAM_QUIT, c.ExitCode), false;
    int32_t code;
    if (NextCommand(&s->Commands, &code)) Obey(c, s, code, nowMs, trace);
    if (s->Holding && nowMs >= s->HoldUntilMs) {
        s->Holding = false;
        trace(PROGRAM_RELEASED, 0);
    }
    if (s->Finishing && nowMs >= s->FinishedAtMs + c.FreshAfterFinishMs) return End(c, trace), false;
    if (c.Heartbeat) WriteProgramStatus(Written(*s), os::time());
    return true;
}
