// The evidence of a trial, its verdict, and whether a trial may start at all.
#include "tools/qvl/verdict.h"

#include <string.h>

#include "host/service.h"
#include "platform/platform.h"
#include "tools/qvl/text.h"

namespace {

double Seconds(int64_t ms) {
    return ms / 1000.0;
}

bool Present(const Observation& o) {
    return o.Status.Answer != STATUS_ABSENT;
}

void ObserveReport(Evidence* e, const Observation& o) {
    uint32_t state = o.Value;
    if (e->PauseEndMs < 0 && e->State == os::SERVICE_START_PENDING && state != os::SERVICE_START_PENDING)
        e->PauseEndMs = o.Ms;
    if (state == os::SERVICE_STOP_PENDING && e->StopPendingMs < 0) e->StopPendingMs = o.Ms;
    if (state == os::SERVICE_STOPPED && e->StoppedMs < 0) e->StoppedMs = o.Ms;
    e->State = state;
}

// A read of the running loop: the first is the end of the pause; the rest must find the program.
void ObserveHostRead(Evidence* e, const Observation& o) {
    if (e->RunningReports++ % STATUS_READ_EVERY != 0 || e->RunningReports == 1) return;
    e->Reads++;
    if (!Present(o)) {
        if (e->BadReadMs < 0) e->BadReadMs = o.Ms, e->BadRead = o;
    } else if (o.Status.Age > e->OldestReadAge) {
        e->OldestReadAge = o.Status.Age;
    }
}

void ObserveStop(Evidence* e, const Observation& o) {
    if (o.CommandBytes == COMMAND_SIZE) {
        if (o.Command == CMD_STOP_BEGIN && e->StopPendingMs >= 0 && e->BeginMs < 0) e->BeginMs = o.Ms;
        if (o.Command == CMD_STOP_FINISH && e->BeginMs >= 0 && e->FinishMs < 0) e->FinishMs = o.Ms;
    }
    bool holding = Present(o) && (o.Status.Answer & STATUS_HOLD_BIT);
    if (e->BeginMs >= 0 && e->HoldSetMs < 0 && holding) e->HoldSetMs = o.Ms;
    if (e->HoldSetMs >= 0 && e->HoldClearMs < 0 && !holding) e->HoldClearMs = o.Ms;
    if (e->FinishMs >= 0 && e->GoneMs < 0 && !Present(o)) {
        e->GoneMs = o.Ms;
        e->GoneHow = o.Status.Why;
    }
}

void ObserveLook(Evidence* e, const Observation& o) {
    if (Present(o) && e->FirstFreshMs < 0) e->FirstFreshMs = o.Ms;
    const StatusRecord& r = o.Status.Record;
    if (HasHeartbeat(o.Status)) {
        if (e->HaveHeartbeat && r.Heartbeat != e->LastHeartbeat) {
            int64_t gap = HeartbeatAge(e->LastHeartbeat, r.Heartbeat);  // the newer less the older
            if (gap > e->LongestGap) e->LongestGap = gap;
        }
        e->HaveHeartbeat = true;
        e->LastHeartbeat = r.Heartbeat;
    }
    ObserveStop(e, o);
}

}  // namespace

Observation Look(ObservationKind kind, int64_t ms, const StatusView& status, int commandBytes, int32_t command) {
    Observation o;
    memset(&o, 0, sizeof o);
    o.Kind = kind;
    o.Ms = ms;
    o.Status = status;
    o.CommandBytes = commandBytes;
    o.Command = command;
    return o;
}

void StartEvidence(Evidence* e) {
    memset(e, 0, sizeof *e);
    e->LaunchMs = e->PauseEndMs = e->StopPendingMs = e->StoppedMs = e->FirstFreshMs = -1;
    e->BadReadMs = e->BeginMs = e->HoldSetMs = e->HoldClearMs = e->FinishMs = e->GoneMs = e->ExitMs = -1;
}

void Observe(Evidence* e, const Observation& o) {
    switch (o.Kind) {
    case LAUNCHED: e->LaunchMs = o.Ms; break;
    case LAUNCH_FAILED: e->LaunchFailed = true, e->LaunchError = o.Value; break;
    case REPORT: ObserveReport(e, o); break;
    case HOST_READ: ObserveHostRead(e, o); break;
    case LOOK: ObserveLook(e, o); break;
    case EXITED:
        if (e->ExitMs < 0) e->ExitMs = o.Ms, e->ExitCode = o.Value;
        break;
    case GAVE_UP: e->GaveUp = true; break;
    }
}

bool TimeToGiveUp(const Evidence& e, int64_t ms) {
    if (e.StoppedMs >= 0) return false;
    if (e.FinishMs >= 0) return e.GoneMs < 0 && ms - e.FinishMs >= GIVE_UP_MS;
    return e.BeginMs >= 0 && ms - e.BeginMs >= GIVE_UP_MS;
}

bool TrialOver(const Evidence& e, bool serviceReturned, int64_t ms) {
    if (e.GaveUp) return true;
    if (!serviceReturned) return false;
    return e.ExitMs >= 0 || e.LaunchMs < 0 || (e.StoppedMs >= 0 && ms - e.StoppedMs >= PROCESS_GRACE_MS);
}

namespace {

const char* Name() {
    return PROGRAM_FILE;
}

bool JudgeStart(const Evidence& e, Text* t) {
    Add(t, "1. fresh heartbeat by the end of the %u s pause: ", LAUNCH_PAUSE_MS / 1000);
    if (e.LaunchFailed) {
        Add(t, "BROKEN: %s could not be launched (error %u). The host logs \"ZARNQVL not started!\" and stops "
               "the service after about 13 s. Put a working %s in the folder.", Name(), e.LaunchError, Name());
        return true;
    }
    int64_t pauseEnd = e.PauseEndMs >= 0 ? e.PauseEndMs : e.LaunchMs + LAUNCH_PAUSE_MS;
    if (e.FirstFreshMs >= 0 && e.FirstFreshMs <= pauseEnd) {
        Add(t, "kept, fresh from %.1f s.", Seconds(e.FirstFreshMs));
        return false;
    }
    if (e.FirstFreshMs >= 0)
        Add(t, "BROKEN: first fresh at %.1f s, after the pause ended at %.1f s.", Seconds(e.FirstFreshMs),
            Seconds(pauseEnd));
    else if (e.ExitMs >= 0)
        Add(t, "BROKEN: %s exited with code %u after %.1f s, before writing any status.", Name(), e.ExitCode,
            Seconds(e.ExitMs - e.LaunchMs));
    else
        Add(t, "BROKEN: no fresh heartbeat was ever written.");
    Add(t, " The host logs \"QVL unloaded\" and stops the service at the end of the pause. Write the status "
           "byte and a fresh heartbeat within %u s of the start.", LAUNCH_PAUSE_MS / 1000);
    return true;
}

bool JudgeRunning(const Evidence& e, Text* t) {
    Add(t, "2. fresh heartbeat at every read while running: ");
    if (e.Reads == 0) {
        Add(t, "not reached: the service made no read after its first.");
        return false;
    }
    if (e.BadReadMs < 0) {
        Add(t, "kept, %d reads; the oldest heartbeat at a read was %ld s old; the longest gap between two "
               "heartbeats was %ld s.", e.Reads, static_cast<long>(e.OldestReadAge), static_cast<long>(e.LongestGap));
        return false;
    }
    const Observation& o = e.BadRead;
    Add(t, "BROKEN: the read at %.1f s found ", Seconds(e.BadReadMs));
    if (o.Status.Why == ABSENT_STALE)
        Add(t, "the heartbeat %ld s old", static_cast<long>(o.Status.Age));
    else
        Add(t, "%s", AbsenceWords(o.Status.Why));
    Add(t, "; the longest gap between two heartbeats was %ld s. The host logs \"QVL unloaded\" and stops the "
           "service. Refresh the heartbeat well within %d s, until told to finish.", static_cast<long>(e.LongestGap),
        HEARTBEAT_MAX_AGE);
    return true;
}

bool JudgeHold(const Evidence& e, Text* t) {
    Add(t, "3. hold bit after command %d: ", static_cast<int>(CMD_STOP_BEGIN));
    if (e.BeginMs < 0) {
        Add(t, "not reached: no stop was requested.");
        return false;
    }
    if (e.HoldSetMs < 0) {
        Add(t, "kept, never set: the host sent the finish command at its first read, %u s after.",
            HOLD_POLL_MS / 1000);
        return false;
    }
    if (e.HoldClearMs < 0) {
        Add(t, "BROKEN: set %.1f s after the command and never cleared in %ld s: the service would stay "
               "STOP_PENDING. Clear the hold bit once the program may be told to finish.",
            Seconds(e.HoldSetMs - e.BeginMs), static_cast<long>(GIVE_UP_MS / 1000));
        return true;
    }
    if (e.FinishMs >= 0 && e.HoldSetMs > e.FinishMs) {
        Add(t, "BROKEN: set %.1f s after the command, after the finish command had come. The host reads %u s "
               "after command %d and sends the finish command if the bit is clear. Set it within %u s.",
            Seconds(e.HoldSetMs - e.BeginMs), HOLD_POLL_MS / 1000, static_cast<int>(CMD_STOP_BEGIN),
            HOLD_POLL_MS / 1000);
        return true;
    }
    Add(t, "kept, set %.1f s and cleared %.1f s after the command.", Seconds(e.HoldSetMs - e.BeginMs),
        Seconds(e.HoldClearMs - e.BeginMs));
    return false;
}

bool JudgeFinish(const Evidence& e, Text* t) {
    Add(t, "4. status gone after command %d: ", static_cast<int>(CMD_STOP_FINISH));
    if (e.FinishMs < 0) {
        Add(t, "not reached: the finish command was not sent.");
        return false;
    }
    if (e.GoneMs < 0) {
        Add(t, "BROKEN: the heartbeat was still fresh %ld s after the command: the service would stay "
               "STOP_PENDING. Once told to finish, remove the status file, write status byte 0xFF, or stop beating.",
            static_cast<long>(GIVE_UP_MS / 1000));
        return true;
    }
    Add(t, "kept, %s, %.1f s after the command.", AbsenceDoneWords(e.GoneHow), Seconds(e.GoneMs - e.FinishMs));
    return false;
}

bool JudgeExit(const Evidence& e, Text* t) {
    Add(t, "5. %s ended after the stop: ", Name());
    if (e.LaunchMs < 0) {
        Add(t, "not reached: it was never launched.");
        return false;
    }
    if (e.ExitMs >= 0 && e.StopPendingMs >= 0 && e.ExitMs >= e.StopPendingMs) {
        Add(t, "kept, exit code %u at %.1f s, %.1f s after the stop began.", e.ExitCode, Seconds(e.ExitMs),
            Seconds(e.ExitMs - e.StopPendingMs));
        return false;
    }
    if (e.ExitMs >= 0) {
        Add(t, "BROKEN: it exited by itself with code %u at %.1f s, before any stop was asked. The host takes it "
               "as gone at its next read and never restarts it.", e.ExitCode, Seconds(e.ExitMs));
        return true;
    }
    if (e.StoppedMs >= 0)
        Add(t, "BROKEN: still running %ld s after the service reported STOPPED.",
            static_cast<long>(PROCESS_GRACE_MS / 1000));
    else
        Add(t, "BROKEN: still running when the trial gave up.");
    Add(t, " The host never ends it: it runs on unsupervised, and the next start launches another. End it "
           "once its status is gone; end this one by hand.");
    return true;
}

}  // namespace

int Judge(const Evidence& e, Verdict* v) {
    bool (*const clauses[VERDICT_CLAUSES])(const Evidence&, Text*) = {JudgeStart, JudgeRunning, JudgeHold,
                                                                       JudgeFinish, JudgeExit};
    int broken = 0;
    for (int i = 0; i < VERDICT_CLAUSES; i++) {
        Text t = StartText(v->Lines[i], VERDICT_LINE_SIZE);
        v->Broken[i] = clauses[i](e, &t);
        broken += v->Broken[i];
    }
    return broken ? 1 : 0;
}

bool Refusal(const Folder& f, const char* folder, const char* service, char* out, int size) {
    Text t = StartText(out, size);
    if (!f.Entered)
        Add(&t, "qvl trial: cannot enter the folder %s", folder);
    else if (!f.HasProgram)
        Add(&t, "qvl trial: there is no %s in %s", Name(), folder);
    else if (!f.Writable)
        Add(&t, "qvl trial: %s, or its log or command file, cannot be written: the host's commands and log lines "
                "would be lost", folder);
    else if (f.Answer != STATUS_ABSENT)
        Add(&t, "qvl trial: a program already runs in %s: its status file holds a fresh heartbeat", folder);
    else if (f.Service != SERVICE_NOT_INSTALLED && f.Service != SERVICE_UNKNOWN &&
             f.Service != static_cast<int>(os::SERVICE_STOPPED))
        Add(&t, "qvl trial: the service %s is installed and not stopped (state %d); stop it before a trial",
            service, f.Service);
    return t.Length > 0;
}
