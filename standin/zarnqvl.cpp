// A stand-in for the supervised program ZARNQVL.EXE: it keeps the program's side of the
// status and command files, with its behaviour read from ZARNQVL.CFG beside it, and writes
// what it saw and did to ZARNQVL.TRC so that tests and the demo can show it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "link/link.h"
#include "platform/platform.h"

// After the seam: the system headers define its constant names as macros.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

const char* const CONFIG_FILE = "ZARNQVL.CFG";
const char* const TRACE_FILE = "ZARNQVL.TRC";

struct Config {
    int heartbeat = 1;              // 0: never writes the status file
    int status = 0;                 // the status byte while running
    long hold = 2000;               // ms the hold bit stays set after stop-begin; 0 never set
    char ends[16] = "remove";       // after stop-finish: remove, none (byte 0xFF) or stale
    long freshAfterFinish = 0;      // ms it keeps beating after stop-finish
    long quitAfter = -1;            // ms after start it quits without a word; -1 never
    int exitCode = 0;               // its exit code when it quits
    long tick = 250;                // ms between rounds
} C;

DWORD Started;

int Format(char* buffer, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = os::FormatV(buffer, size, format, args);
    va_end(args);
    return n;
}

long Elapsed() {
    return static_cast<long>(GetTickCount() - Started);
}

void Trace(const char* what, long value) {
    int fd = os::FileOpen(TRACE_FILE, os::FILE_APPEND);
    if (fd < 0) return;
    char line[96];
    int n = Format(line, sizeof line, "%ld %s %ld\r\n", Elapsed(), what, value);
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

void ReadConfig() {
    FILE* f = fopen(CONFIG_FILE, "rb");
    if (!f) return;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        char* equals = strchr(line, '=');
        if (!equals) continue;
        *equals = '\0';
        char* key = Trim(line);
        char* value = Trim(equals + 1);
        if (!strcmp(key, "heartbeat")) C.heartbeat = atoi(value);
        if (!strcmp(key, "status")) C.status = static_cast<int>(strtol(value, nullptr, 0));
        if (!strcmp(key, "hold")) C.hold = atol(value);
        if (!strcmp(key, "ends")) Format(C.ends, sizeof C.ends, "%s", value);
        if (!strcmp(key, "fresh_after_finish")) C.freshAfterFinish = atol(value);
        if (!strcmp(key, "quit_after")) C.quitAfter = atol(value);
        if (!strcmp(key, "exit_code")) C.exitCode = atoi(value);
        if (!strcmp(key, "tick")) C.tick = atol(value);
    }
    fclose(f);
}

void WriteStatus(int statusByte) {
    WriteProgramStatus(statusByte, os::time());
}

void End() {
    if (!strcmp(C.ends, "remove")) remove(STATUS_FILE);
    if (!strcmp(C.ends, "none")) WriteStatus(STATUS_NONE);
    Trace(C.ends, 0);
}

}  // namespace

int main() {
    Started = GetTickCount();
    ReadConfig();
    CommandWatch watch;
    int32_t leftover;
    bool seen = StartCommandWatch(&watch, &leftover);
    Trace("start", seen ? leftover : -1);
    if (seen) Trace("command", leftover);
    bool holding = false, finishing = false;
    long holdUntil = 0, finishedAt = 0;
    for (;;) {
        long now = Elapsed();
        if (C.quitAfter >= 0 && now >= C.quitAfter) {
            Trace("quit", C.exitCode);
            return C.exitCode;
        }
        int32_t code;
        if (NextCommand(&watch, &code)) {
            Trace("command", code);
            if (code == CMD_STOP_BEGIN && !finishing && C.hold > 0) {
                holding = true;
                holdUntil = now + C.hold;
                Trace("hold", C.hold);
            }
            if (code == CMD_STOP_FINISH && !finishing) {
                if (holding) Trace("finish-while-holding", 0);
                finishing = true;
                finishedAt = now;
            }
        }
        if (holding && now >= holdUntil) {
            holding = false;
            Trace("released", 0);
        }
        if (finishing && now >= finishedAt + C.freshAfterFinish) {
            End();
            return 0;
        }
        if (C.heartbeat) WriteStatus(holding ? C.status | STATUS_HOLD_BIT : C.status);
        Sleep(static_cast<DWORD>(C.tick));
    }
}
