// The supervised program in the simulator: the program's own steps (standin/program.cpp), each
// scheduled in virtual time, with the simulator's schedule of status bytes applied before each,
// and what it saw recorded.
#include <algorithm>

#include "standin/program.h"
#include "tests/sim/sim.h"

namespace sim {

namespace {

const int64_t FIRST_TICK_MS = 500; /* after launch: half-way between two of the service's wake-ups */

void Seen(ProgramEvent event, long value) {
    if (event == PROGRAM_COMMAND) W.CommandsSeen.push_back(static_cast<int32_t>(value));
    if (event == PROGRAM_FINISH_WHILE_HELD) W.Violations.push_back("stop-finish while the hold bit was set");
}

void Tick(size_t run) {
    ProgramRun& r = W.Runs[run];
    if (!r.Alive) return;
    int64_t now = W.Now.Ms;
    const std::vector<Program::Change>& changes = W.Script.Changes;
    for (; r.NextChange < changes.size() && changes[r.NextChange].AtMs <= now; r.NextChange++)
        r.State.Byte = changes[r.NextChange].StatusByte;
    r.Alive = StepProgram(W.Script, &r.State, now, Seen);
    if (r.Alive) ScheduleCall(now + W.Script.TickMs, [run] { Tick(run); });
}

}  // namespace

void StartProgram() {
    size_t run = W.Runs.size() - 1;
    ProgramRun& r = W.Runs[run];
    r.Alive = true;
    r.Suspended = false;
    W.MostProgramsAlive = std::max(W.MostProgramsAlive, ProgramsAlive());
    // What the host wrote before the launch is seen, but only a later change is obeyed.
    ::StartProgram(W.Script, &r.State, Seen);
    ScheduleCall(W.Now.Ms + FIRST_TICK_MS, [run] { Tick(run); });
}

int ProgramsAlive() {
    int n = 0;
    for (const ProgramRun& r : W.Runs) n += r.Alive;
    return n;
}

}  // namespace sim
