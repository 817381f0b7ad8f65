// The scripted supervised program: on each tick it reads the command file and writes the status
// file through the program's side of link/, as W.Script says, and records what it saw.
#include <cstdio>

#include "link/link.h"
#include "tests/sim/sim.h"

namespace sim {

namespace {

const int64_t FIRST_TICK_MS = 500; /* after launch: half-way between two of the service's wake-ups */

ProgramState& P = W.Run;

// The status byte as the program writes it: its own byte, with the hold bit while it holds.
int Written() {
    return P.Holding ? P.Byte | STATUS_HOLD_BIT : P.Byte;
}

void Obey(int32_t code) {
    W.CommandsSeen.push_back(code);
    if (code == CMD_STOP_BEGIN && W.Script.HoldMs > 0 && !P.Finishing) {
        P.Holding = true;
        P.HoldUntilMs = W.Now.Ms + W.Script.HoldMs;
    }
    if (code == CMD_STOP_FINISH && !P.Finishing) {
        if (Written() & STATUS_HOLD_BIT) W.Violations.push_back("stop-finish while the hold bit was set");
        P.Finishing = true;
        P.FinishedAtMs = W.Now.Ms;
    }
}

void End() {
    P.Alive = false;
    if (W.Script.Ends == Program::REMOVES_FILE) remove(STATUS_FILE);
    if (W.Script.Ends == Program::WRITES_NONE) WriteProgramStatus(STATUS_NONE, os::time());
}

void Tick() {
    if (!P.Alive) return;
    int64_t now = W.Now.Ms;
    if (W.Script.DiesAtMs >= 0 && now >= W.Script.DiesAtMs) {
        P.Alive = false;
        return;
    }
    const std::vector<Program::Change>& changes = W.Script.Changes;
    for (; P.NextChange < changes.size() && changes[P.NextChange].AtMs <= now; P.NextChange++)
        P.Byte = changes[P.NextChange].StatusByte;
    int32_t code;
    if (NextCommand(&P.Commands, &code)) Obey(code);
    if (P.Holding && now >= P.HoldUntilMs) P.Holding = false;
    if (P.Finishing && now >= P.FinishedAtMs + W.Script.FreshAfterFinishMs) return End();
    if (W.Script.Heartbeat) WriteProgramStatus(Written(), os::time());
    ScheduleCall(now + W.Script.TickMs, Tick);
}

}  // namespace

void StartProgram() {
    P = ProgramState();
    P.Alive = true;
    P.Byte = W.Script.StatusByte;
    int32_t leftover;
    // What the host wrote before the launch is seen, but only a later change is obeyed.
    if (StartCommandWatch(&P.Commands, &leftover)) W.CommandsSeen.push_back(leftover);
    ScheduleCall(W.Now.Ms + FIRST_TICK_MS, Tick);
}

}  // namespace sim
