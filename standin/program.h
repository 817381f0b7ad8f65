// The supervised program's side of the protocol, once: its settings, its state and one step
// driven by the time and the command file. The stand-in executable runs it in a loop of real
// sleeps; the simulator schedules the same steps in virtual time.
#pragma once

#include <stdint.h>

#include "link/link.h"

struct ProgramSettings {
    bool Heartbeat = true;           // writes the status file, with a fresh heartbeat, every step
    int StatusByte = 0;              // the status byte while running
    int64_t HoldMs = 2000;           // the hold bit stays set this long after stop-begin; 0: never set
    enum Ending { REMOVES_FILE, WRITES_NONE, GOES_STALE } Ends = REMOVES_FILE;  // after stop-finish
    int64_t FreshAfterFinishMs = 0;  // keeps beating this long after stop-finish
    int64_t QuitAfterMs = -1;        // quits at this time without a word; -1: never
    int ExitCode = 0;                // its exit code when it quits
    int64_t TickMs = 250;            // between steps
};

struct ProgramState {
    int Byte;  // its own status byte, without the hold bit
    CommandWatch Commands;
    bool Holding;
    int64_t HoldUntilMs;
    bool Finishing;
    int64_t FinishedAtMs;
    bool Quit;  // it quit at QuitAfterMs, rather than end after stop-finish
};

// What a step saw or did, with a value, as the stand-in traces it.
enum ProgramEvent {
    PROGRAM_STARTED,           // the code already in the command file, or -1
    PROGRAM_COMMAND,           // a command, each change of the file once (the code from before the start too)
    PROGRAM_HOLDS,             // the hold bit set, for this many ms
    PROGRAM_RELEASED,          // the hold bit cleared
    PROGRAM_FINISH_WHILE_HELD, // stop-finish came while the status byte had the hold bit: a breach
    PROGRAM_ENDED,             // gone after stop-finish, as Ends says
    PROGRAM_QUIT,              // quit, with its exit code
};
typedef void (*ProgramTrace)(ProgramEvent event, long value);

// The trace's word for each event ("start", "command", "hold", ...); ENDED is said as its way.
const char* ProgramEventWord(ProgramEvent event, const ProgramSettings& settings);

// At the program's start: notes the command already there, never to obey it.
void StartProgram(const ProgramSettings& settings, ProgramState* state, ProgramTrace trace);

// One step at nowMs (on the clock the settings' times are on): reads a new command and obeys
// it, ends or quits when it is time, else writes the status. False once the program has ended
// or quit: it steps no more.
bool StepProgram(const ProgramSettings& settings, ProgramState* state, int64_t nowMs, ProgramTrace trace);
