// The service's states by name, every wording of the program's status, and the trial's live line.
#include "tools/qvl/words.h"

#include <time.h>

#include "host/service.h"
#include "platform/platform.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/text.h"

const char* StateName(uint32_t state) {
    switch (state) {
    case os::SERVICE_STOPPED: return "STOPPED";
    case os::SERVICE_START_PENDING: return "START_PENDING";
    case os::SERVICE_STOP_PENDING: return "STOP_PENDING";
    case os::SERVICE_RUNNING: return "RUNNING";
    }
    return "-";
}

namespace {

const char* ByteMeaning(int byte) {
    return byte == STATUS_NONE        ? "no status: read as absent"
           : (byte & STATUS_HOLD_BIT) ? "hold bit set: the finish command is held off"
           : byte == 0                ? "all well"
                                      : "flags set";
}

void AddReport(Text* t, const StatusView& v) {
    Add(t, "status      0x%02X (%s)\n", v.Record.StatusByte, ByteMeaning(v.Record.StatusByte));
    // Within 68 years either way, so it fits a long on every system.
    long age = static_cast<long>(v.Age);
    struct tm local;
    char when[64] = "(not a time)";
    if (os::LocalTime(v.Now - age, &local)) strftime(when, sizeof when, "%a %d %b %Y %X", &local);
    Add(t, "heartbeat   %s, %ld s %s: %s (stale when over %d s old)\n", when, age < 0 ? -age : age,
        age < 0 ? "ahead" : "ago", v.Why == ABSENT_STALE ? "stale" : "fresh", HEARTBEAT_MAX_AGE);
}

}  // namespace

void AddStatusWords(Text* t, const StatusView& v, StatusLayout layout) {
    const unsigned byte = v.Record.StatusByte;
    const long age = static_cast<long>(v.Age);
    if (!HasHeartbeat(v)) {
        if (layout == STATUS_IN_PROGRESS) Add(t, "%s", AbsenceWords(v.Why));
        if (layout == STATUS_IN_LIVE_LINE) Add(t, "status -     heartbeat -");
        return;
    }
    switch (layout) {
    case STATUS_IN_REPORT: return AddReport(t, v);
    case STATUS_IN_CHECK: return Add(t, "heartbeat %ld s old, status 0x%02X", age, byte);
    case STATUS_IN_PROGRESS:
        return Add(t, "status 0x%02X, heartbeat %ld s old%s", byte, age,
                   v.Answer == STATUS_ABSENT ? ": the host would take the program as gone" : "");
    case STATUS_IN_LIVE_LINE: return Add(t, "status 0x%02X  heartbeat %3ld s old", byte, age);
    }
}

namespace {

// What each of the host's own codes says of the program, as the guide lists them.
const struct {
    uint32_t Code;
    const char* Words;
} END_WORDS[] = {
    {END_STATUS_GONE, "the status file was gone or could not be read"},
    {END_STATUS_SHORT, "the status file was too short to hold a heartbeat"},
    {END_STATUS_NONE, "the program set its status byte to 0xFF (no status)"},
    {END_HEARTBEAT_STALE, "the program's heartbeat went stale"},
    {END_NEVER_HEARTBEAT, "the program never wrote a heartbeat"},
};

}  // namespace

bool EndedOnFailure(uint32_t win32Exit, uint32_t specificExit) {
    return win32Exit != 0 || specificExit != 0;
}

void AddEndWords(Text* t, uint32_t win32Exit, uint32_t specificExit) {
    if (!EndedOnFailure(win32Exit, specificExit)) return Add(t, "on request");
    if (win32Exit == os::ERROR_PROCESS_ABORTED)
        return Add(t, "on a failure: the host's process ended without saying so (killed, or it crashed)");
    if (win32Exit != os::ERROR_SERVICE_SPECIFIC_ERROR)
        return Add(t, "on a failure: the launch of %s failed: error %lu", PROGRAM_FILE, static_cast<unsigned long>(win32Exit));
    for (const auto& end : END_WORDS)
        if (end.Code == specificExit) return Add(t, "on a failure: %s", end.Words);
    Add(t, "on a failure: service-specific code %lu, not one of the host's", static_cast<unsigned long>(specificExit));
}

void AddServiceWords(Text* t, const char* name, int state, uint32_t win32Exit, uint32_t specificExit) {
    Add(t, "service     ");
    if (state == SERVICE_NOT_INSTALLED) return Add(t, "%s is not installed\n", name);
    if (state == SERVICE_UNKNOWN) return Add(t, "the service manager will not say how %s is\n", name);
    Add(t, "%s %s", name, StateName(static_cast<uint32_t>(state)));
    if (state == static_cast<int>(os::SERVICE_STOPPED)) {
        Add(t, "; it last ended ");
        AddEndWords(t, win32Exit, specificExit);
    }
    Add(t, "\n");
}

void LiveLine(char* out, int size, int64_t ms, uint32_t state, const Observation& look, bool alive) {
    Text t = StartText(out, size);
    Add(&t, "%7.1f s  %-13s  command ", ms / 1000.0, StateName(state));
    if (look.CommandBytes == COMMAND_SIZE)
        Add(&t, "%-5ld", static_cast<long>(look.Command));
    else
        Add(&t, "%-5s", "-");
    Add(&t, "  ");
    AddStatusWords(&t, look.Status, STATUS_IN_LIVE_LINE);
    Add(&t, "  %s %s", PROGRAM_FILE, alive ? "running" : "not running");
}

