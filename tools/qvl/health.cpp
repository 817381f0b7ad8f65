// The check's line and its Prometheus figures.
#include "tools/qvl/health.h"

#include <string.h>

#include "host/service.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verdict.h"
#include "tools/qvl/words.h"

namespace {

const char* const RESULT_WORDS[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

bool HasHeartbeat(const Health& h) {
    return h.FolderRead && HasHeartbeat(h.Status);
}

// Never negative: a heartbeat ahead of the clock is said as such, and counts as none old.
long Age(const Health& h) {
    return h.Status.Age > 0 ? static_cast<long>(h.Status.Age) : 0;
}

CheckResult Reason(const Health& h, Text* t) {
    if (h.Service == SERVICE_UNKNOWN)
        return Add(t, "the service manager cannot be asked about %s", h.Name), CHECK_UNKNOWN;
    if (h.Service == SERVICE_NOT_INSTALLED) return Add(t, "%s is not installed", h.Name), CHECK_CRITICAL;
    if (h.Service == static_cast<int>(os::SERVICE_START_PENDING) ||
        h.Service == static_cast<int>(os::SERVICE_STOP_PENDING))
        return Add(t, "%s is %s", h.Name, StateName(h.Service)), CHECK_WARNING;
    if (h.Service != static_cast<int>(os::SERVICE_RUNNING)) {
        Add(t, "%s is not running (%s)", h.Name, StateName(h.Service));
        if (h.Service == static_cast<int>(os::SERVICE_STOPPED) && EndedOnFailure(h.Win32Exit, h.SpecificExit)) {
            Add(t, ": it ended ");
            AddEndWords(t, h.Win32Exit, h.SpecificExit);
        }
        return CHECK_CRITICAL;
    }
    if (!h.FolderRead) return Add(t, "%s runs, but its folder cannot be read", h.Name), CHECK_UNKNOWN;
    const StatusView& v = h.Status;
    if (v.Why != PRESENT && v.Why != ABSENT_STALE) {
        Add(t, "%s runs, but the host would take %s as gone: %s", h.Name, PROGRAM_FILE, AbsenceWords(v.Why));
        return CHECK_CRITICAL;
    }
    // The host takes a heartbeat from the future as fresh, and would until the clock caught up
    // with it, however long ago the program stopped.
    if (v.Age < 0)
        return Add(t, "heartbeat %ld s ahead of this machine's clock", static_cast<long>(-v.Age)), CHECK_WARNING;
    if (v.Why == ABSENT_STALE || v.Age > h.Crit)
        return Add(t, "heartbeat %ld s old (critical over %ld s)", static_cast<long>(v.Age), h.Crit), CHECK_CRITICAL;
    if (v.Age > h.Warn)
        return Add(t, "heartbeat %ld s old (warning over %ld s)", static_cast<long>(v.Age), h.Warn), CHECK_WARNING;
    Add(t, "%s running, ", h.Name);
    AddStatusWords(t, v, STATUS_IN_CHECK);
    return CHECK_OK;
}

// A label's value: backslash, double quote and line end escaped.
void AddLabel(Text* t, const char* value) {
    for (const char* p = value; *p; p++)
        Add(t, "%s%c", *p == '\\' || *p == '"' ? "\\" : *p == '\n' ? "\\" : "", *p == '\n' ? 'n' : *p);
}

void AddGauge(Text* t, const char* name, const char* help, const char* service, long value) {
    Add(t, "# HELP %s %s\n# TYPE %s gauge\n%s{service=\"", name, help, name, name);
    AddLabel(t, service);
    Add(t, "\"} %ld\n", value);
}

}  // namespace

CheckResult JudgeHealth(const Health& h, char* out, int size) {
    char reason[300];
    Text r = StartText(reason, sizeof reason);
    CheckResult result = Reason(h, &r);
    Text t = StartText(out, size);
    Add(&t, "QVL %s - %s | heartbeat_age=", RESULT_WORDS[result], reason);
    if (HasHeartbeat(h))
        Add(&t, "%lds", static_cast<long>(Age(h)));
    else
        Add(&t, "U");
    Add(&t, ";%ld;%ld;0 status=%d service_state=%d", h.Warn, h.Crit, h.FolderRead ? h.Status.Answer : STATUS_ABSENT,
        h.Service);
    return result;
}

void PrometheusText(const Health& h, CheckResult result, char* out, int size) {
    Text t = StartText(out, size);
    AddGauge(&t, "qvl_check_result", "The check's result: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.", h.Name, result);
    AddGauge(&t, "qvl_service_state", "The service's state: 1 stopped, 2 start pending, 3 stop pending, 4 running; "
             "0 not installed, -1 unknown.", h.Name, h.Service);
    AddGauge(&t, "qvl_status", "What the host concludes of the status file: the status byte, or -1 when absent.",
             h.Name, h.FolderRead ? h.Status.Answer : STATUS_ABSENT);
    if (HasHeartbeat(h))
        AddGauge(&t, "qvl_heartbeat_age_seconds", "Seconds since the program's last heartbeat (0 when ahead of the clock).",
                 h.Name, Age(h));
}
