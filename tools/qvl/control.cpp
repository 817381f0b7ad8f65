// qvl start, qvl stop and qvl uninstall: each an action on the service and a wait until it is
// done, in one wait loop that shows, once a second, the service's state and the program's status.
// Ctrl-C ends the wait, not the action: the service is left where it stands, and said so.
#include <string.h>

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tools/qvl/audit.h"
#include "tools/qvl/config.h"
#include "tools/qvl/ctrlc.h"
#include "tools/qvl/door.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/paths.h"
#include "tools/qvl/status.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"
#include "tools/qvl/words.h"

using os::DWORD;
using door::Service;
using os::SERVICE_RUNNING;
using os::SERVICE_START_PENDING;
using os::SERVICE_STOP_PENDING;
using os::SERVICE_STOPPED;

namespace {

const DWORD SHOW_EVERY_MS = 1000;
const DWORD POLL_MS = 100;
const DWORD SETTLE_MS = 5000;  // the host takes a stop at its next pass, about a second
// A start is done at the end of the host's pause after the launch; this allows a slow machine.
const DWORD START_WAIT_MS = LAUNCH_PAUSE_MS + 20000;

enum WaitEnd { DONE, TIMED_OUT, INTERRUPTED, FAILED };

char ServiceFolder[PATH_TEXT];  // the service's, from its binary path; empty when not known
bool InFolder;           // it is the current directory, so the program's status can be read
bool Missing;            // the service is not installed

void ShowProgress(const Options& o, DWORD ms, DWORD state) {
    StatusView v;
    ReadStatusView(&v);
    Say("%4lu s  %s %-13s  ", static_cast<unsigned long>(ms / 1000), o.Name, StateName(state));
    char words[300];
    Text t = StartText(words, sizeof words);
    if (InFolder) AddStatusWords(&t, v, STATUS_IN_PROGRESS);
    Say("%s\n", InFolder ? words : "(its folder is not known)");
}

// Polls until the state is want; until then it may be keep (when keep is not 0), or, for the
// first SETTLE_MS, anything. Ends early on Ctrl-C, or at limitMs (0: none). Shows the state
// once a second.
WaitEnd WaitFor(const Options& o, Service service, DWORD want, DWORD keep, DWORD limitMs, DWORD* last) {
    DWORD start = door::Ticks(), next = 0;
    for (;;) {
        DWORD ms = door::Ticks() - start;
        *last = StateOf(service);
        if (!*last) return FAILED;
        if (ms >= next) {
            ShowProgress(o, ms, *last);
            next = ms / SHOW_EVERY_MS * SHOW_EVERY_MS + SHOW_EVERY_MS;
        }
        if (*last == want) return DONE;
        // Just after a request the manager may still show the state from before it.
        if (keep && *last != keep && ms >= SETTLE_MS) return FAILED;
        if (CtrlPressed()) return INTERRUPTED;
        if (limitMs && ms >= limitMs) return TIMED_OUT;
        door::Sleep(POLL_MS);
    }
}

// Opens the service with access, and enters its folder so the program's status can be shown.
Service OpenForControl(const Options& o, DWORD access) {
    bool reached;
    Service service;
    DWORD e = OpenServiceFor(o.Name, access | door::SVC_QUERY_STATUS, &service, &reached);
    if (!reached) {
        Tell(MARK_FAIL, "the service manager cannot be opened: error %lu\n", static_cast<unsigned long>(e));
        return nullptr;
    }
    if (!service) {
        Missing = e == door::ERR_SERVICE_DOES_NOT_EXIST;
        if (Missing && o.Verb == VERB_STOP) Tell(MARK_OK, "%s is not installed: nothing to stop\n", o.Name);
        else if (Missing) Tell(MARK_FAIL, "%s is not installed\n", o.Name);
        else if (e == door::ERR_ACCESS_DENIED) Tell(MARK_FAIL, "%s may be controlled by administrators only: use an elevated prompt\n", o.Name);
        else Tell(MARK_FAIL, "%s cannot be opened: error %lu\n", o.Name, static_cast<unsigned long>(e));
        return nullptr;
    }
    ServiceConfig config;
    if (QueryConfig(o.Name, &config) && config.Found) {
        BinaryFolder(config.BinaryPath, ServiceFolder, sizeof ServiceFolder);
        InFolder = EnterFolder(ServiceFolder);
    }
    return service;
}

const char* Standing(DWORD state) {
    return state == SERVICE_STOP_PENDING ? "the stop goes on" : "it is left so";
}

// Starts the service; while the manager's database is locked (by an installer at work, say), tries
// again once a second for as long as a start may take.
DWORD StartWhenFree(Service service) {
    DWORD begin = door::Ticks(), e;
    while ((e = door::ServiceStart(service)) != door::OK) {
        if (e != door::ERR_SERVICE_DATABASE_LOCKED || door::Ticks() - begin >= START_WAIT_MS) return e;
        door::Sleep(SHOW_EVERY_MS);
    }
    return door::OK;
}

// The mark in the service's folder that it was running before a stop; its path, or false.
bool RememberedPath(char* path, int size) {
    return ServiceFolder[0] && JoinPath(ServiceFolder, WAS_RUNNING_FILE, path, size);
}

// Notes whether the service ran before this stop, so that the note always says the last stop's truth.
void Remember(bool running) {
    char path[PATH_TEXT];
    if (!RememberedPath(path, sizeof path)) return Tell(MARK_WARN, "the service's folder is not known: nothing was noted\n");
    door::Remove(nullptr, path);
    if (!running) return;
    door::File f;
    const door::Opening how = {door::RIGHT_GENERIC_WRITE, door::SHARE_NONE, door::DISPOSE_CREATE_NEW, door::KIND_FILE,
                               nullptr};
    if (door::Open(nullptr, path, how, &f) == door::OK) door::Close(f), Tell(MARK_STEP, "noted that it was running, in %s\n", path);
    else Tell(MARK_WARN, "could not note that it was running: qvl start --if-remembered will not start it\n");
}

// What is left of a limit of limitMs (0: none) begun at begin; at least 1 ms.
DWORD Left(DWORD limitMs, DWORD begin) {
    if (!limitMs) return 0;
    DWORD spent = door::Ticks() - begin;
    return spent < limitMs ? limitMs - spent : 1;
}

// Stops the service and waits until it has stopped, for o.Timeout seconds at most; 0 when it has.
int StopAndWait(const Options& o, Service service) {
    DWORD state = StateOf(service), begin = door::Ticks();
    DWORD limitMs = o.Timeout > 0 ? static_cast<DWORD>(o.Timeout) * 1000 : 0;
    bool wasRunning = state == SERVICE_RUNNING || state == SERVICE_START_PENDING;
    if (o.Remember) Remember(false);
    if (state == SERVICE_STOPPED) return Tell(MARK_OK, "%s is already stopped\n", o.Name), 0;
    WaitEnd end = DONE;
    // Windows refuses a stop while the service is start pending: wait until it runs.
    if (state == SERVICE_START_PENDING)
        end = WaitFor(o, service, SERVICE_RUNNING, SERVICE_START_PENDING, Left(limitMs, begin), &state);
    if (end == DONE && state != SERVICE_STOP_PENDING && state != SERVICE_STOPPED) {
        door::Status s;
        if (DWORD e = door::ServiceControl(service, os::SERVICE_CONTROL_STOP, &s)) {
            Tell(MARK_FAIL, "%s refused the stop: error %lu\n", o.Name, static_cast<unsigned long>(e));
            return 1;
        }
    }
    if (end == DONE) end = WaitFor(o, service, SERVICE_STOPPED, SERVICE_STOP_PENDING, Left(limitMs, begin), &state);
    if (end == DONE) {
        Tell(MARK_OK, "%s stopped\n", o.Name);
        if (o.Remember && wasRunning) Remember(true);
        return 0;
    }
    if (end == INTERRUPTED)
        Tell(MARK_INTERRUPTED, "%s is %s; %s\n", o.Name, StateName(state), Standing(state));
    else if (end == TIMED_OUT)
        Tell(MARK_TIMEOUT, "%s is still %s after %ld s; %s\n", o.Name, StateName(state), o.Timeout, Standing(state));
    else
        Tell(MARK_FAIL, "%s is %s, not stopping\n", o.Name, StateName(state));
    return 1;
}

}  // namespace

int RunStart(const Options& o, const char*) {
    Service service = OpenForControl(o, door::SVC_START);
    if (!service) return EXIT_REFUSED;
    char mark[PATH_TEXT];
    if (o.IfRemembered && !(RememberedPath(mark, sizeof mark) && door::Remove(nullptr, mark) == door::OK)) {
        Tell(MARK_OK, "%s was not noted as running before: it is left as it is\n", o.Name);
        door::ServiceClose(service);
        return 0;
    }
    // An installer may start the service only once the program is in place; a folder not known
    // is no proof of a missing program, so the start goes on and says what it finds.
    char program[PATH_TEXT];
    if (o.IfReady && ServiceFolder[0] && JoinPath(ServiceFolder, PROGRAM_FILE, program, sizeof program) && !IsFile(program)) {
        Tell(MARK_WARN, "%s is not started: there is no %s in %s yet; put it there, then qvl start\n", o.Name,
             PROGRAM_FILE, ServiceFolder);
        door::ServiceClose(service);
        return 0;
    }
    CatchCtrlC();
    DWORD state = StateOf(service);
    int status = 1;
    if (state == SERVICE_RUNNING) {
        Tell(MARK_OK, "%s is already running\n", o.Name);
        status = 0;
    } else if (DWORD e = state != SERVICE_START_PENDING ? StartWhenFree(service) : door::OK) {
        Tell(MARK_FAIL, "%s did not start: error %lu\n", o.Name, static_cast<unsigned long>(e));
    } else {
        WaitEnd end = WaitFor(o, service, SERVICE_RUNNING, SERVICE_START_PENDING, START_WAIT_MS, &state);
        if (end == DONE) Tell(MARK_OK, "%s running\n", o.Name), status = 0;
        else if (end == INTERRUPTED) Tell(MARK_INTERRUPTED, "%s is %s; it is left so\n", o.Name, StateName(state));
        else if (end == TIMED_OUT) Tell(MARK_TIMEOUT, "%s still %s after %lu s\n", o.Name, StateName(state),
                                        static_cast<unsigned long>(START_WAIT_MS / 1000));
        else Tell(MARK_FAIL, "%s is %s: see the log %s in its folder\n", o.Name, StateName(state), LOG_FILE);
    }
    door::ServiceClose(service);
    return status;
}

int RunStop(const Options& o, const char*) {
    Service service = OpenForControl(o, door::SVC_STOP);
    if (!service) return Missing ? 0 : EXIT_REFUSED;
    CatchCtrlC();
    int status = StopAndWait(o, service);
    door::ServiceClose(service);
    return status;
}

int RunUninstall(const Options& o, const char*) {
    Service service = OpenForControl(o, door::SVC_STOP | door::RIGHT_DELETE);
    if (!service) return EXIT_REFUSED;
    CatchCtrlC();
    int status = StopAndWait(o, service);
    if (status != 0) {
        Tell(MARK_FAIL, "%s was not deleted: it has not stopped\n", o.Name);
    } else if (DWORD e = door::ServiceDelete(service)) {
        Tell(MARK_FAIL, "%s was not deleted: error %lu\n", o.Name, static_cast<unsigned long>(e));
        status = 1;
    } else {
        Tell(MARK_OK, "%s deleted; its folder and the log stay\n", o.Name);
    }
    door::ServiceClose(service);
    return status;
}
