// The service's states by name, every wording of the program's status, and the trial's live line.
#include "tools/qvl/words.h"

#include <time.h>

#include "host/service.h"
#include "platform/platform.h"
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

