// A stand-in for the supervised program ZARNQVL.EXE: the program's side of the protocol
// (program.cpp), with its settings read from ZARNQVL.CFG beside it, stepped every tick with a
// real sleep, and what it saw and did written to ZARNQVL.TRC so that tests and the demo can show it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "standin/program.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

const char* const CONFIG_FILE = "ZARNQVL.CFG";
const char* const TRACE_FILE = "ZARNQVL.TRC";

ProgramSettings C;
DWORD Started;

long Elapsed() {
    return static_cast<long>(GetTickCount() - Started);
}

int Format(char* buffer, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = os::FormatV(buffer, size, format, args);
    va_end(args);
    return n;
}

void Trace(ProgramEvent event, long value) {
    int fd = os::FileOpen(TRACE_FILE, os::FILE_APPEND);
    if (fd < 0) return;
    char line[96];
    int n = Format(line, sizeof line, "%ld %s %ld\r\n", Elapsed(), ProgramEventWord(event, C), value);
    os::FileWrite(fd, line, n);
    os::FileClose(fd);
}

// Blanks and the line end cut from both ends.
char* Trim(char* text) {
    text += strspn(text, " \t");
    size_t n = strlen(text);
    while (n > 0 && strchr(" \t\r\n", text[n - 1])) text[--n] = '\0';
    return text;
}

void Set(const char* key, const char* value) {
    static const char* const ENDS[] = {"remove", "none", "stale"};
    if (!strcmp(key, "heartbeat")) C.Heartbeat = atoi(value) != 0;
    if (!strcmp(key, "status")) C.StatusByte = static_cast<int>(strtol(value, nullptr, 0));
    if (!strcmp(key, "hold")) C.HoldMs = atol(value);
    for (int i = 0; i < 3; i++)
        if (!strcmp(key, "ends") && !strcmp(value, ENDS[i])) C.Ends = static_cast<ProgramSettings::Ending>(i);
    if (!strcmp(key, "fresh_after_finish")) C.FreshAfterFinishMs = atol(value);
    if (!strcmp(key, "quit_after")) C.QuitAfterMs = atol(value);
    if (!strcmp(key, "exit_code")) C.ExitCode = atoi(value);
    if (!strcmp(key, "tick")) C.TickMs = atol(value);
}

void ReadConfig() {
    FILE* f = fopen(CONFIG_FILE, "rb");
    if (!f) return;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        char* equals = strchr(line, '=');
        if (!equals) continue;
        *equals = '\0';
        Set(Trim(line), Trim(equals + 1));
    }
    fclose(f);
}

}  // namespace

int main() {
    Started = GetTickCount();
    ReadConfig();
    ProgramState state;
    StartProgram(C, &state, Trace);
    while (StepProgram(C, &state, Elapsed(), Trace)) Sleep(static_cast<DWORD>(C.TickMs));
    return state.Quit ? C.ExitCode : 0;
}
