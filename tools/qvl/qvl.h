// What qvl's verbs share: the command line, parsed once for all of them, the exit statuses of
// a refusal, and what the service manager may answer about the service.
#pragma once

#include "platform/platform.h"

// What a verb takes: a folder, and the options named by these bits.
enum {
    TAKES_FOLDER = 1, TAKES_NAME = 2, TAKES_AUTO = 4, TAKES_NO_LOCK = 8, TAKES_STOP_AFTER = 16, TAKES_WARN = 32,
    TAKES_CRIT = 64, TAKES_PROM = 128, TAKES_KEEP_EXISTING = 256, TAKES_PROGRAM = 512, TAKES_MADE_LOCKED = 1024,
    TAKES_TIMEOUT = 2048, TAKES_REMEMBER = 4096, TAKES_IF_REMEMBERED = 8192, TAKES_RESTART = 16384,
    TAKES_IF_READY = 32768,
};

// The verbs, each once, in the order the usage lists them: its name, the function that runs it
// (Run followed by the name), its word, what it takes, and its usage line.
#define QVL_VERBS(VERB)                                                                                          \
    VERB(STATUS, Status, "status", TAKES_FOLDER | TAKES_NAME,                                                  \
         "  qvl status [FOLDER] [--name NAME]            what the host would conclude of the folder now, and how "\
         "the service last ended\n")                                                                            \
    VERB(TRIAL, Trial, "trial", TAKES_FOLDER | TAKES_NAME | TAKES_STOP_AFTER,                                    \
         "  qvl trial [FOLDER] [--stop-after SECONDS] [--name NAME]   run the host's supervision here, then a "  \
         "verdict\n")                                                                                           \
    VERB(INSTALL, Install, "install",                                                                            \
         TAKES_FOLDER | TAKES_NAME | TAKES_AUTO | TAKES_NO_LOCK | TAKES_KEEP_EXISTING | TAKES_PROGRAM |          \
             TAKES_MADE_LOCKED | TAKES_RESTART,                                                                  \
         "  qvl install [FOLDER] [--name NAME] [--auto] [--no-lock] [--keep-existing] [--program PATH] "         \
         "[--made-locked]\n"                                                                                    \
         "              [--restart-on-failure SECONDS]\n"                                                       \
         "                                               make the service, run from a folder no user could "     \
         "ever write\n")                                                                                        \
    VERB(UNINSTALL, Uninstall, "uninstall", TAKES_NAME | TAKES_TIMEOUT,                                          \
         "  qvl uninstall [--name NAME] [--timeout SECONDS]   stop the service and delete it; the folder "      \
         "stays\n")                                                                                             \
    VERB(START, Start, "start", TAKES_NAME | TAKES_IF_REMEMBERED | TAKES_IF_READY,                               \
         "  qvl start [--name NAME] [--if-remembered] [--if-ready]   start the service and wait until it runs\n") \
    VERB(STOP, Stop, "stop", TAKES_NAME | TAKES_TIMEOUT | TAKES_REMEMBER,                                        \
         "  qvl stop [--name NAME] [--timeout SECONDS] [--remember]   stop the service and wait until it has "   \
         "stopped\n")                                                                                           \
    VERB(AUDIT, Audit, "audit", TAKES_FOLDER | TAKES_NAME,                                                       \
         "  qvl audit [FOLDER] [--name NAME]             what a user who is not an administrator could take "    \
         "over\n")                                                                                              \
    VERB(CHECK, Check, "check", TAKES_FOLDER | TAKES_NAME | TAKES_WARN | TAKES_CRIT | TAKES_PROM,                \
         "  qvl check [FOLDER] [--name NAME] [-w SECONDS] [-c SECONDS] [--prom FILE]   a monitoring check\n")   \
    VERB(HELP, Help, "help", 0, "  qvl help                                     this list\n")

#define QVL_VERB_NAME(name, run, word, takes, usage) VERB_##name,
enum VerbName { QVL_VERBS(QVL_VERB_NAME) };
#undef QVL_VERB_NAME

struct Options {
    VerbName Verb;
    const char* Folder;  // null: the folder that holds qvl.exe
    const char* Name;    // the service's name
    bool Auto;           // install: automatic start
    bool NoLock;         // install: the service runs from the folder as it is; what stays open is reported
    bool KeepExisting;   // install: copy what an open folder held besides what the service runs
    const char* Program; // install: ZARNQVL.EXE to copy into the service's folder; null: none
    bool MadeLocked;     // install: the installer package made the folder locked in this transaction
    long RestartAfter;   // install: seconds before the manager restarts the service after a failure; -1: no recovery
    long Timeout;        // stop, uninstall: seconds to wait for the stop at most; -1: no limit
    bool Remember;       // stop: note in the service's folder that it was running
    bool IfRemembered;   // start: only if a stop noted that it was running (and forget it)
    bool IfReady;        // start: only if the service's folder holds the program
    long StopAfter;      // trial: seconds of running before a stop; -1: none
    long Warn, Crit;     // check: heartbeat ages, seconds
    const char* Prom;    // check: the Prometheus text file; null: none
};

const char TOOL_FILE[] = "qvl.exe";  // shipped beside the host
const int EXIT_REFUSED = 2;  // a usage error, or a verb that would not act: nothing changed
const int SERVICE_NOT_INSTALLED = 0;
const int SERVICE_UNKNOWN = -1;  // the service manager could not be asked
const long CHECK_WARN_DEFAULT = 60;
const long CHECK_CRIT_DEFAULT = 90;
const long SECONDS_MAX = 86400;  // the most any option in seconds takes

// The verbs, one line each.
extern const char* const USAGE;

// Parses argv[1..]; false, with one line on what is wrong in why, for an unknown verb or option,
// an option the verb does not take, a missing or malformed value, or a second folder.
bool ParseOptions(int argc, char** argv, Options* o, char* why, int size);

