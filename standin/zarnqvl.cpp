// A stand-in for the supervised program ZARNQVL.EXE: it keeps the program's side of the
// status and command files, with its behaviour read from ZARNQVL.CFG beside it, and writes
// what it saw and did to ZARNQVL.TRC so that tests and the demo can show it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char* const STATUS_FILE = "ZARNQVL.ADR";
const char* const COMMAND_FILE = "ZARNQVL.STA";
const char* const CONFIG_FILE = "ZARNQVL.CFG";
const char* const TRACE_FILE = "ZARNQVL.TRC";
const int HOLD_BIT = 0x80;
const int NO_STATUS = 0xFF;
const int CMD_STOP_BEGIN = 1;
const int CMD_STOP_FINISH = 10;

struct Config {
    int heartbeat = 1;              // 0: never writes the status file
    int status = 0;                 // the status byte while running
    long hold = 2000;               // ms the hold bit stays set after stop-begin; 0 never set
    char ends[16] = "remove";       // after stop-finish: remove, none (byte 0xFF) or stale
    long freshAfterFinish = 0;      // ms it keeps beating after stop-finish
    long quitAfter = -1;            // ms after start it quits without a word; -1 never
    long tick = 250;                // ms between rounds
} C;

DWORD Started;

long Elapsed() {
    return static_cast<long>(GetTickCount() - Started);
}

void Trace(const char* what, long value) {
    FILE* f = fopen(TRACE_FILE, "ab");
    if (!f) return;
    fprintf(f, "%ld %s %ld\r\n", Elapsed(), what, value);
    fclose(f);
}

void ReadConfig() {
    FILE* f = fopen(CONFIG_FILE, "rb");
    if (!f) return;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        char key[32], value[32];
        if (sscanf(line, " %31[a-z_] = %31s", key, value) != 2) continue;
        if (!strcmp(key, "heartbeat")) C.heartbeat = atoi(value);
        if (!strcmp(key, "status")) C.status = static_cast<int>(strtol(value, nullptr, 0));
        if (!strcmp(key, "hold")) C.hold = atol(value);
        if (!strcmp(key, "ends")) snprintf(C.ends, sizeof C.ends, "%s", value);
        if (!strcmp(key, "fresh_after_finish")) C.freshAfterFinish = atol(value);
        if (!strcmp(key, "quit_after")) C.quitAfter = atol(value);
        if (!strcmp(key, "tick")) C.tick = atol(value);
    }
    fclose(f);
}

// Writes the 17 bytes in place, never truncating: the service may read at any moment, and an
// emptied file would read as a program that has gone.
void WriteStatus(int statusByte) {
    unsigned char b[17];
    memset(b, 0, 12);
    memcpy(b, "ZARNQVL-SIM", 11);
    b[12] = static_cast<unsigned char>(statusByte);
    uint32_t now = static_cast<uint32_t>(time(nullptr));
    for (int i = 0; i < 4; i++) b[13 + i] = static_cast<unsigned char>(now >> (8 * i));
    FILE* f = fopen(STATUS_FILE, "r+b");
    if (!f) f = fopen(STATUS_FILE, "wb");
    if (!f) return;
    fwrite(b, 1, sizeof b, f);
    fclose(f);
}

bool ReadCommand(long* code) {
    FILE* f = fopen(COMMAND_FILE, "rb");
    if (!f) return false;
    unsigned char b[4];
    bool whole = fread(b, 1, 4, f) == 4;
    fclose(f);
    if (whole) *code = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    return whole;
}

void End() {
    if (!strcmp(C.ends, "remove")) remove(STATUS_FILE);
    if (!strcmp(C.ends, "none")) WriteStatus(NO_STATUS);
    Trace(C.ends, 0);
}

}  // namespace

int main() {
    Started = GetTickCount();
    ReadConfig();
    long last = 0;
    bool seen = ReadCommand(&last);
    Trace("start", seen ? last : -1);
    if (seen) Trace("command", last);
    bool holding = false, finishing = false;
    long holdUntil = 0, finishedAt = 0;
    for (;;) {
        long now = Elapsed();
        if (C.quitAfter >= 0 && now >= C.quitAfter) {
            Trace("quit", 0);
            return 0;
        }
        long code;
        // Only a change counts: the file keeps the last command until the next is written.
        if (ReadCommand(&code) && (!seen || code != last)) {
            seen = true;
            last = code;
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
        if (C.heartbeat) WriteStatus(holding ? C.status | HOLD_BIT : C.status);
        Sleep(static_cast<DWORD>(C.tick));
    }
}
