// The service's states by name, and the trial's live line.
#include "tools/qvl/words.h"

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

void LiveLine(char* out, int size, int64_t ms, uint32_t state, const Observation& look, bool alive) {
    Text t = StartText(out, size);
    Add(&t, "%7.1f s  %-13s  command ", ms / 1000.0, StateName(state));
    if (look.CommandBytes == COMMAND_SIZE)
        Add(&t, "%-5ld", static_cast<long>(look.Command));
    else
        Add(&t, "%-5s", "-");
    if (HasHeartbeat(look.Status))
        Add(&t, "  status 0x%02X  heartbeat %3ld s old", look.Status.Record.StatusByte,
            static_cast<long>(look.Status.Age));
    else
        Add(&t, "  status -     heartbeat -");
    Add(&t, "  %s %s", PROGRAM_FILE, alive ? "running" : "not running");
}

