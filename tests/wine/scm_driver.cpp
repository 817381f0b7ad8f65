// Drives one scenario against a real service control manager: installs qvlsvce.exe from the
// given folder as QVLService, starts it, watches every state it reports, sends at most one stop,
// and judges the log, the states, the commands the stand-in program saw and the command file.
// Usage: scm_driver SCENARIO FOLDER [--show]   (exit status 0 when every check held)
//        scm_driver config SERVICE             (the configuration the manager reports)
//        scm_driver short PATH                 (the path's short 8.3 form, as this system makes it)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "link/link.h"
#include "log/log.h"

namespace {

const char* const SERVICE = "QVLService";
const DWORD POLL_MS = 50;

int Failures;
bool Show;

void Check(bool ok, const char* format, ...) {
    if (ok) return;
    Failures++;
    va_list args;
    va_start(args, format);
    printf("FAIL: ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
}

const char* StateName(DWORD s) {
    switch (s) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    }
    return "OTHER";
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

struct Seen {
    DWORD ms;
    DWORD state;
};

struct Sample {
    DWORD ms;
    double cpuMs;      // kernel and user time the host's process has used
};

struct Run {
    std::vector<Seen> states;  // each change of state, with ms since the start request
    DWORD stopSentMs = 0;
    std::vector<Sample> samples;  // every SAMPLE_MS while the service runs
    DWORD win32Exit = 99999, specificExit = 99999;  // as the manager reports them once stopped
};

// Called at every poll while the service has not stopped, with the ms since the start request,
// the state and the host's process id (0 until known); false ends the watch there.
typedef std::function<bool(DWORD ms, DWORD state, DWORD pid)> During;

const DWORD SAMPLE_MS = 10000;

bool Measure(DWORD pid, DWORD ms, Sample* out) {
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!p) return false;
    FILETIME created, exited, kernel, user;
    bool ok = GetProcessTimes(p, &created, &exited, &kernel, &user);
    CloseHandle(p);
    auto ms100ns = [](const FILETIME& f) { return (double(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e4; };
    *out = {ms, ms100ns(kernel) + ms100ns(user)};
    return ok;
}

// Every status the manager hands back must carry the host's fixed fields; only a stopped one
// may carry exit codes, which each scenario judges.
void CheckRecord(const SERVICE_STATUS_PROCESS& s) {
    Check(s.dwServiceType == 0x110, "service type 0x%lx", s.dwServiceType);
    if (s.dwCurrentState == SERVICE_STOPPED) return;
    Check(s.dwWin32ExitCode == 0 && s.dwServiceSpecificExitCode == 0, "exit codes %lu/%lu in %s",
          s.dwWin32ExitCode, s.dwServiceSpecificExitCode, StateName(s.dwCurrentState));
    Check(s.dwControlsAccepted == SERVICE_ACCEPT_STOP, "controls accepted %lu in %s", s.dwControlsAccepted,
          StateName(s.dwCurrentState));
    Check(s.dwWaitHint == 120000, "wait hint %lu in %s", s.dwWaitHint, StateName(s.dwCurrentState));
    Check(s.dwCheckPoint == 0, "check point %lu", s.dwCheckPoint);
}

// One line of the live timeline, once a second in --show mode: the state, the last command in
// the command file, and the status byte and heartbeat age in the status file. Also appended
// to timeline.csv in the folder, for drawing.
void TimelineLine(const std::string& folder, DWORD ms, DWORD state) {
    std::string command = Read(folder + "\\" + COMMAND_FILE), status = Read(folder + "\\" + STATUS_FILE);
    long code = -1, byte = -1, age = -1;
    auto bytes = [](const std::string& s, size_t from) { return reinterpret_cast<const unsigned char*>(s.data()) + from; };
    if (command.size() >= COMMAND_SIZE) code = static_cast<int32_t>(GetLE32(bytes(command, 0)));
    if (status.size() >= STATUS_FILE_MIN_SIZE) {
        StatusRecord record;
        UnpackStatusRecord(bytes(status, STATUS_BYTE_OFFSET), STATUS_FIELDS_SIZE, &record);
        byte = record.StatusByte;
        age = static_cast<long>(HeartbeatAge(record.Heartbeat, time(nullptr)));
    }
    std::string c = code < 0 ? "-" : std::to_string(code), b = "-", a = age < 0 ? "-" : std::to_string(age) + " s";
    if (byte >= 0) {
        char hex[8];
        snprintf(hex, sizeof hex, "0x%02lX", byte);
        b = hex;
    }
    printf("%6.1f s  %-13s  command %-5s  status %-4s  heartbeat age %s\n", ms / 1000.0, StateName(state), c.c_str(),
           b.c_str(), a.c_str());
    fflush(stdout);
    FILE* csv = fopen((folder + "\\timeline.csv").c_str(), "ab");
    if (!csv) return;
    fprintf(csv, "%lu,%s,%ld,%ld,%ld\n", ms, StateName(state), code, byte, age);
    fclose(csv);
}

// Wine's manager may still hold a service deleted by the scenario before: wait until it is gone.
void DeleteIfPresent(SC_HANDLE scm) {
    for (int tries = 0; tries < 50; tries++) {
        SC_HANDLE old = OpenServiceA(scm, SERVICE, SERVICE_ALL_ACCESS);
        if (!old) return;
        DeleteService(old);
        CloseServiceHandle(old);
        Sleep(100);
    }
}

// Creates the service and starts it, *t0 the moment of the start. Wine's manager has been seen to answer a start of a service
// it had just created with 1060 (no such service) while it still removed a namesake deleted
// before: that start is tried once more with the service made anew; nothing of the host has run.
SC_HANDLE CreateAndStart(SC_HANDLE scm, const std::string& path, DWORD* t0) {
    for (int attempt = 0;; attempt++) {
        DeleteIfPresent(scm);
        SC_HANDLE svc = CreateServiceA(scm, SERVICE, "QVL Service", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
        Check(svc != nullptr, "CreateService error %lu", GetLastError());
        if (!svc) return nullptr;
        *t0 = GetTickCount();
        if (StartServiceA(svc, 0, nullptr)) return svc;
        DWORD e = GetLastError();
        if (e == ERROR_SERVICE_DOES_NOT_EXIST && attempt == 0) {
            printf("StartService error 1060 on a service just made: made again\n");
            CloseServiceHandle(svc);
            Sleep(1000);
            continue;
        }
        Check(false, "StartService error %lu", e);
        return svc;
    }
}

// Installs, starts and watches the service until it reports stopped; stopAtMs < 0 sends no stop.
Run RunService(const std::string& folder, long stopAtMs, DWORD limitMs, const During& during = nullptr) {
    Run run;
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    Check(scm != nullptr, "OpenSCManager error %lu", GetLastError());
    if (!scm) return run;
    std::string path = "\"" + folder + "\\qvlsvce.exe\"";
    DWORD t0 = 0;
    SC_HANDLE svc = CreateAndStart(scm, path, &t0);
    if (!svc) return run;
    DWORD pid = 0;
    bool stopSent = false;
    DWORD nextLineMs = 0;
    for (;;) {
        SERVICE_STATUS_PROCESS s;
        DWORD needed;
        if (!QueryServiceStatusEx(svc, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed)) {
            Check(false, "QueryServiceStatusEx error %lu", GetLastError());
            break;
        }
        DWORD ms = GetTickCount() - t0;
        if (s.dwProcessId) pid = s.dwProcessId;
        bool changed = run.states.empty() || run.states.back().state != s.dwCurrentState;
        if (changed) {
            run.states.push_back({ms, s.dwCurrentState});
            CheckRecord(s);
        }
        if (Show && (ms >= nextLineMs || changed)) {
            TimelineLine(folder, ms, s.dwCurrentState);
            nextLineMs = ms / 1000 * 1000 + 1000;
        }
        if (s.dwCurrentState == SERVICE_STOPPED) {
            run.win32Exit = s.dwWin32ExitCode;
            run.specificExit = s.dwServiceSpecificExitCode;
            if (Show) printf("%6.1f s  exit codes %lu and %lu\n", ms / 1000.0, run.win32Exit, run.specificExit);
            break;
        }
        if (during && !during(ms, s.dwCurrentState, pid)) break;
        Sample sample;
        if (s.dwCurrentState == SERVICE_RUNNING && pid &&
            (run.samples.empty() || ms >= run.samples.back().ms + SAMPLE_MS) && Measure(pid, ms, &sample)) {
            run.samples.push_back(sample);
            if (Show) printf("%6.1f s  host: %.0f ms of CPU\n", ms / 1000.0, sample.cpuMs);
        }
        if (ms > limitMs) {
            Check(false, "not stopped after %lu ms", limitMs);
            break;
        }
        if (stopAtMs >= 0 && !stopSent && ms >= static_cast<DWORD>(stopAtMs)) {
            SERVICE_STATUS ignored;
            Check(ControlService(svc, SERVICE_CONTROL_STOP, &ignored) != 0, "ControlService error %lu",
                  GetLastError());
            stopSent = true;
            run.stopSentMs = ms;
            if (Show) printf("%6.1f s  stop requested\n", ms / 1000.0);
        }
        Sleep(POLL_MS);
    }
    // The host writes its last line after reporting stopped; wait for its process to end.
    HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (process) {
        Check(WaitForSingleObject(process, 15000) == WAIT_OBJECT_0, "host process still alive");
        CloseHandle(process);
    }
    DeleteService(svc);
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return run;
}

std::string States(const Run& run) {
    std::string out;
    for (const Seen& s : run.states) out += std::string(out.empty() ? "" : " ") + StateName(s.state);
    return out;
}

DWORD FirstSeen(const Run& run, DWORD state) {
    for (const Seen& s : run.states)
        if (s.state == state) return s.ms;
    return 0;
}

// The log's messages; every line must have the 30-character time prefix and end in CR LF.
std::vector<std::string> LogMessages(const std::string& folder) {
    std::string all = Read(folder + "\\" + LOG_FILE);
    if (Show) printf("--- ZARNQVL.ERR\n%s---\n", all.c_str());
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = all.substr(start, end - start);
        bool shaped = line.size() > 30 && line.compare(19, 11, " : SVCE  : ") == 0;
        const char* pattern = "AAA 99 AAA 99:99:99";  // A: a letter, 9: a digit
        for (int i = 0; shaped && pattern[i]; i++) {
            char c = line[i], p = pattern[i];
            shaped = p == 'A' ? isalpha(static_cast<unsigned char>(c)) != 0
                   : p == '9' ? isdigit(static_cast<unsigned char>(c)) != 0 : c == p;
        }
        Check(shaped, "log line without its prefix: [%s]", line.c_str());
        out.push_back(line.size() > 30 ? line.substr(30) : line);
    }
    Check(start == all.size(), "log ends in an unterminated line");
    return out;
}

std::string Join(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : " | ") + s;
    return out;
}

// The commands the stand-in saw, in order.
std::string Commands(const std::string& folder) {
    std::string trace = Read(folder + "\\ZARNQVL.TRC");
    if (Show) printf("--- ZARNQVL.TRC (the stand-in's ms since its start, what it saw or did)\n%s---\n", trace.c_str());
    std::istringstream in(trace);
    std::string out, line;
    while (std::getline(in, line)) {
        long ms, value;
        char what[32];
        if (sscanf(line.c_str(), "%ld %31s %ld", &ms, what, &value) != 3) continue;
        if (!strcmp(what, "command")) out += (out.empty() ? "" : " ") + std::to_string(value);
        Check(strcmp(what, "finish-while-holding") != 0, "stop-finish reached the program while it held");
    }
    return out;
}

void ExpectLog(const std::string& folder, const std::vector<std::string>& expected) {
    std::string got = Join(LogMessages(folder)), want = Join(expected);
    Check(got == want, "log\n   got: %s\n  want: %s", got.c_str(), want.c_str());
}

void ExpectEq(const std::string& got, const std::string& want, const char* what) {
    Check(got == want, "%s\n   got: %s\n  want: %s", what, got.c_str(), want.c_str());
}

// The exit codes the manager reports for the stopped service.
void ExpectExit(const Run& run, DWORD win32, DWORD specific) {
    Check(run.win32Exit == win32 && run.specificExit == specific, "exit codes %lu and %lu, not %lu and %lu",
          run.win32Exit, run.specificExit, win32, specific);
}

void ExpectCommandFile(const std::string& folder, const std::string& bytes) {
    Check(Read(folder + "\\" + COMMAND_FILE) == bytes, "command file bytes");
}

const std::string FINISH_BYTES("\x0A\x00\x00\x00", 4);

int Normal(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "hold=4000\r\nends=remove\r\n");
    Run run = RunService(folder, 15000, 60000);
    ExpectEq(States(run), "START_PENDING RUNNING STOP_PENDING STOPPED", "states");
    DWORD running = FirstSeen(run, SERVICE_RUNNING), pending = FirstSeen(run, SERVICE_STOP_PENDING);
    Check(running >= 9500 && running <= 12500, "RUNNING first seen at %lu ms", running);
    Check(pending >= run.stopSentMs && pending <= run.stopSentMs + 2000, "STOP_PENDING %lu ms after the stop",
          pending - run.stopSentMs);
    Check(FirstSeen(run, SERVICE_STOPPED) >= pending + 4000, "stopped before the hold ended");
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "Stop request received",
                       "QVL Service stopped"});
    ExpectEq(Commands(folder), "32768 1 10", "commands seen by the program");
    ExpectCommandFile(folder, FINISH_BYTES);
    ExpectExit(run, 0, 0);
    Check(!Exists(folder + "\\" + STATUS_FILE), "status file left behind");
    return Failures;
}

int StopDuringPause(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "hold=0\r\nends=remove\r\n");
    Run run = RunService(folder, 4000, 60000);
    ExpectEq(States(run), "START_PENDING STOP_PENDING STOPPED", "states");
    Check(FirstSeen(run, SERVICE_STOP_PENDING) >= 9500, "STOP_PENDING before the pause ended");
    ExpectExit(run, 0, 0);
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "Stop request received",
                       "QVL Service stopped"});
    ExpectEq(Commands(folder), "32768 1 10", "commands seen by the program");
    return Failures;
}

int NoHeartbeat(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "heartbeat=0\r\nquit_after=30000\r\n");
    Run run = RunService(folder, -1, 60000);
    // RUNNING lasts only from its report to the first status read, too short to be sure of
    // catching between two polls.
    std::string states = States(run);
    Check(states == "START_PENDING RUNNING STOPPED" || states == "START_PENDING STOPPED", "states %s",
          states.c_str());
    DWORD stopped = FirstSeen(run, SERVICE_STOPPED);
    Check(stopped >= 9500 && stopped <= 13000, "STOPPED at %lu ms", stopped);
    ExpectExit(run, ERROR_SERVICE_SPECIFIC_ERROR, END_NEVER_HEARTBEAT);
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "QVL unloaded",
                       "QVL Service stopped"});
    ExpectEq(Commands(folder), "32768", "commands seen by the program");
    return Failures;
}

int NoProgram(const std::string& folder) {
    DeleteFileA((folder + "\\ZARNQVL.EXE").c_str());
    Run run = RunService(folder, -1, 60000);
    ExpectEq(States(run), "START_PENDING STOP_PENDING STOPPED", "states");
    DWORD stopped = FirstSeen(run, SERVICE_STOPPED);
    Check(stopped >= 12500 && stopped <= 16000, "STOPPED at %lu ms", stopped);
    ExpectExit(run, ERROR_FILE_NOT_FOUND, 0);
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "ZARNQVL not started! error=2",
                       "QVL Service stopped"});
    ExpectCommandFile(folder, FINISH_BYTES);
    return Failures;
}

// The program found at the first read, then gone at the next (40 s) in the way given: it quits at
// 12 s without a word, and the driver leaves its status file as the program would have.
int ProgramGoes(const std::string& folder, const std::string& statusLeft, DWORD specific) {
    Write(folder + "\\ZARNQVL.CFG", "quit_after=12000\r\n");
    bool left = false;
    Run run = RunService(folder, -1, 90000, [&](DWORD ms, DWORD, DWORD) {
        if (!left && ms >= 15000) {
            Write(folder + "\\" + STATUS_FILE, statusLeft);
            left = true;
        }
        return true;
    });
    ExpectEq(States(run), "START_PENDING RUNNING STOPPED", "states");
    DWORD stopped = FirstSeen(run, SERVICE_STOPPED);
    Check(stopped >= 39500 && stopped <= 43000, "STOPPED at %lu ms", stopped);
    ExpectExit(run, ERROR_SERVICE_SPECIFIC_ERROR, specific);
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "QVL unloaded",
                       "QVL Service stopped"});
    return Failures;
}

std::string StatusBytes(int statusByte, int64_t heartbeat) {
    std::string status(STATUS_FILE_MIN_SIZE, '\0');
    PackStatusFields(reinterpret_cast<unsigned char*>(&status[STATUS_BYTE_OFFSET]), statusByte, heartbeat);
    return status;
}

int StatusNone(const std::string& folder) {
    return ProgramGoes(folder, StatusBytes(STATUS_NONE, time(nullptr)), END_STATUS_NONE);
}

int HeartbeatStale(const std::string& folder) {
    return ProgramGoes(folder, StatusBytes(0, time(nullptr) - HEARTBEAT_MAX_AGE - 60), END_HEARTBEAT_STALE);
}

// The running copies of the program, on the whole system: this driver runs one scenario at a time.
int ProgramsRunning() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        n += _stricmp(entry.szExeFile, "ZARNQVL.EXE") == 0;
    CloseHandle(snapshot);
    return n;
}

// Waits up to limitMs for the count of running programs to become n; the count last seen.
int AwaitPrograms(int n, DWORD limitMs) {
    DWORD t0 = GetTickCount();
    int seen;
    while ((seen = ProgramsRunning()) != n && GetTickCount() - t0 < limitMs) Sleep(POLL_MS);
    return seen;
}

// The host killed from outside while its program runs, then the service started again: one
// program at a time, never two. With byScript, the host's Wine process is killed by the scenario's
// script (kill -9) once the driver asks for it in a file; else the driver ends it as
// "taskkill /f" does.
int HostKilled(const std::string& folder, bool byScript) {
    Write(folder + "\\ZARNQVL.CFG", "hold=0\r\nends=remove\r\n");
    std::string ask = folder + "\\kill-host.now";
    bool killed = false;
    // Wine 8's manager never notices its service's process ending, and keeps showing it running:
    // the watch ends once the host's process has.
    RunService(folder, -1, 60000, [&](DWORD ms, DWORD state, DWORD pid) {
        if (state != SERVICE_RUNNING || ms < 12000 || !pid) return true;
        HANDLE host = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        Check(host != nullptr, "could not open the host: %lu", GetLastError());
        if (!host) return false;
        Check(ProgramsRunning() == 1, "%d programs before the kill", ProgramsRunning());
        killed = true;
        if (Show) printf("%6.1f s  host killed (%s)\n", ms / 1000.0, byScript ? "kill -9" : "TerminateProcess");
        if (byScript)
            Write(ask, "");
        else
            Check(TerminateProcess(host, 1) != 0, "could not end the host: %lu", GetLastError());
        Check(WaitForSingleObject(host, 15000) == WAIT_OBJECT_0, "the host outlived its kill");
        CloseHandle(host);
        return false;
    });
    Check(killed, "the host was never killed");
    int left = AwaitPrograms(0, 10000);
    Check(left == 0, "%d programs still running after the host was killed", left);
    if (Show) printf("programs running once the host was gone: %d\n", left);
    // Started again, as the manager's recovery would: one program, and the run ends as any.
    int most = 0;
    Run second = RunService(folder, 20000, 60000, [&](DWORD, DWORD, DWORD) {
        most = std::max(most, ProgramsRunning());
        return true;
    });
    ExpectEq(States(second), "START_PENDING RUNNING STOP_PENDING STOPPED", "states of the second run");
    Check(most == 1, "%d programs at once in the second run", most);
    ExpectExit(second, 0, 0);
    Check(AwaitPrograms(0, 10000) == 0, "a program left after the second run");
    return Failures;
}

int HostKilledByTerminate(const std::string& folder) {
    return HostKilled(folder, false);
}

int HostKilledUnix(const std::string& folder) {
    return HostKilled(folder, true);
}

int FreshZero(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "hold=0\r\nends=none\r\n");
    // A fresh status byte 0 left by an earlier run.
    std::string status(STATUS_FILE_MIN_SIZE, '\0');
    PackStatusFields(reinterpret_cast<unsigned char*>(&status[STATUS_BYTE_OFFSET]), 0, time(nullptr));
    Write(folder + "\\" + STATUS_FILE, status);
    Run run = RunService(folder, 13000, 60000);
    ExpectEq(States(run), "START_PENDING RUNNING STOP_PENDING STOPPED", "states");
    ExpectExit(run, 0, 0);
    ExpectEq(Commands(folder), "1 10", "commands seen by the program");
    ExpectCommandFile(folder, FINISH_BYTES);
    return Failures;
}

// A few minutes of supervision; prints the host's CPU use. (scenario.sh watches its descriptors:
// this Wine gives no handle count for another process.)
int LongRun(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "hold=0\r\nends=remove\r\ntick=1000\r\n");
    Run run = RunService(folder, 160000, 240000);
    ExpectEq(States(run), "START_PENDING RUNNING STOP_PENDING STOPPED", "states");
    ExpectExit(run, 0, 0);
    Check(run.samples.size() >= 10, "only %zu samples", run.samples.size());
    if (run.samples.size() < 2) return Failures;
    const Sample &first = run.samples.front(), &last = run.samples.back();
    double hours = (last.ms - first.ms) / 3600000.0;
    printf("host CPU: %.0f ms over %.0f s of running: %.0f ms per hour\n", last.cpuMs - first.cpuMs,
           (last.ms - first.ms) / 1000.0, (last.cpuMs - first.cpuMs) / hours);
    return Failures;
}

// Twenty runs, each stopped once it runs: how long from the stop request to STOP_PENDING.
int StopDelays(const std::string& folder) {
    Write(folder + "\\ZARNQVL.CFG", "hold=0\r\nends=remove\r\n");
    std::vector<DWORD> delays;
    for (int i = 0; i < 20; i++) {
        DeleteFileA((folder + "\\" + STATUS_FILE).c_str());
        Run run = RunService(folder, 11000, 60000);
        DWORD pending = FirstSeen(run, SERVICE_STOP_PENDING);
        Check(pending >= run.stopSentMs, "no STOP_PENDING after the stop");
        delays.push_back(pending - run.stopSentMs);
    }
    std::sort(delays.begin(), delays.end());
    printf("stop request to STOP_PENDING over %zu stops: min %lu ms, median %lu ms, max %lu ms\n", delays.size(),
           delays.front(), delays[delays.size() / 2], delays.back());
    return Failures;
}

// No program beside the host, but one planted in the system folder, which is on the search
// path: the host must not run it.
int PlantedOnSearchPath(const std::string& folder) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    std::string planted = std::string(system) + "\\ZARNQVL.EXE";
    Check(MoveFileExA((folder + "\\ZARNQVL.EXE").c_str(), planted.c_str(), MOVEFILE_REPLACE_EXISTING) != 0,
          "could not plant the program: %lu", GetLastError());
    Run run = RunService(folder, -1, 60000);
    DeleteFileA(planted.c_str());
    ExpectEq(States(run), "START_PENDING STOP_PENDING STOPPED", "states");
    ExpectExit(run, ERROR_FILE_NOT_FOUND, 0);
    ExpectLog(folder, {"Starting QVL service QVLService", "QVL Service started", "ZARNQVL not started! error=2",
                       "QVL Service stopped"});
    // The stand-in traces its start in its current directory, which is the host's folder.
    Check(!Exists(folder + "\\ZARNQVL.TRC"), "the planted program was started");
    return Failures;
}

// Run by hand from another directory: the dispatcher cannot connect, nothing is written anywhere.
int CommandPrompt(const std::string& folder) {
    std::string elsewhere = folder + "\\elsewhere";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    std::string cmd = "\"" + folder + "\\qvlsvce.exe\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, elsewhere.c_str(), &si, &pi)) {
        Check(false, "could not start qvlsvce.exe: %lu", GetLastError());
        return Failures;
    }
    DWORD t0 = GetTickCount();
    Check(WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0, "still running after 60 s");
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    if (Show) printf("exited with %lu after %.1f s\n", code, (GetTickCount() - t0) / 1000.0);
    Check(code == 0, "exit status %lu", code);
    for (const char* name : {LOG_FILE, COMMAND_FILE, STATUS_FILE}) {
        Check(!Exists(folder + "\\" + name), "%s created beside the executable", name);
        Check(!Exists(elsewhere + "\\" + name), "%s created in the current directory", name);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return Failures;
}

struct Scenario {
    const char* name;
    int (*run)(const std::string& folder);
} SCENARIOS[] = {
    {"normal", Normal},         {"stop-during-pause", StopDuringPause}, {"no-heartbeat", NoHeartbeat},
    {"no-program", NoProgram},  {"fresh-zero", FreshZero},              {"command-prompt", CommandPrompt},
    {"planted-on-search-path", PlantedOnSearchPath}, {"long-run", LongRun}, {"stop-delays", StopDelays},
    {"status-none", StatusNone},  {"heartbeat-stale", HeartbeatStale},  {"host-killed", HostKilledByTerminate},
    {"host-killed-unix", HostKilledUnix},
};

// The service's configuration as the manager reports it, a field a line; 1 when there is none.
int PrintConfig(const char* name) {
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = scm ? OpenServiceA(scm, name, SERVICE_QUERY_CONFIG) : nullptr;
    std::vector<char> buffer(8192);
    auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed;
    bool ok = service && QueryServiceConfigA(service, c, static_cast<DWORD>(buffer.size()), &needed);
    if (ok)
        printf("type 0x%lX\nstart %lu\nbinary %s\naccount %s\ndisplay %s\n", c->dwServiceType, c->dwStartType,
               c->lpBinaryPathName, c->lpServiceStartName, c->lpDisplayName);
    if (service) CloseServiceHandle(service);
    if (scm) CloseServiceHandle(scm);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !strcmp(argv[1], "config")) return PrintConfig(argv[2]);
    char shortPath[MAX_PATH];
    if (argc == 3 && !strcmp(argv[1], "short"))
        return GetShortPathNameA(argv[2], shortPath, MAX_PATH) ? (printf("%s\n", shortPath), 0) : 1;
    if (argc < 3) {
        fprintf(stderr, "usage: scm_driver SCENARIO FOLDER [--show] | scm_driver config SERVICE\n");
        return 2;
    }
    Show = argc > 3 && !strcmp(argv[3], "--show");
    for (const Scenario& s : SCENARIOS) {
        if (strcmp(s.name, argv[1]) != 0) continue;
        int failures = s.run(argv[2]);
        printf("%s: %s\n", s.name, failures ? "FAILED" : "passed");
        return failures ? 1 : 0;
    }
    fprintf(stderr, "no scenario %s\n", argv[1]);
    return 2;
}
