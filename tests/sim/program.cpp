// The supervised program in the simulator: the program's own steps (standin/program.cpp), each
// scheduled in virtual time, with the simulator's schedule of status bytes applied before each,
// and what it saw recorded.
#include "standin/program.h"
#include "tests/sim/sim.h"

namespace sim {

namespace {

const int64_t FIRST_TICK_MS = 500; /* after launch: half-way between two of the service's wake-ups */

ProgramRun& R = W.Run;

void Seen(ProgramEvent event, long value) {
    if (event == PROGRAM_COMMAND) W.CommandsSeen.push_back(static_cast<int32_t>(value));
    if (event == PROGRAM_FINISH_WHILE_HELD) W.Violations.push_back("stop-finish while the hold bit was set");
}

void Tick() {
    if (!R.Alive) return;
    int64_t now = W.Now.Ms;
    const std::vector<Program::Change>& changes = W.Script.Changes;
    for (; R.NextChange < changes.size() && changes[R.NextChange].AtMs <= now; R.NextChange++)
        R.State.Byte = changes[R.NextChange].StatusByte;
    R.Alive = StepProgram(W.Script, &R.State, now, Seen);
    if (R.Alive) ScheduleCall(now + W.Script.TickMs, Tick);
}

}  // namespace

void StartProgram() {
    R = ProgramRun();
    R.Alive = true;
    // What the host wrote before the launch is seen, but only a later change is obeyed.
    ::StartProgram(W.Script, &R.State, Seen);
    ScheduleCall(W.Now.Ms + FIRST_TICK_MS, Tick);
}

}  // namespace sim
