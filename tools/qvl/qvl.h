// What qvl's verbs share: the command line, parsed once for all of them, the exit statuses of
// a refusal, and what the service manager may answer about the service.
#pragma once

#include "platform/platform.h"

enum VerbName { VERB_HELP, VERB_STATUS, VERB_TRIAL, VERB_INSTALL, VERB_UNINSTALL, VERB_START, VERB_STOP, VERB_AUDIT,
            VERB_CHECK };

struct Options {
    VerbName Verb;
    const char* Folder;  // null: the folder that holds qvl.exe
    const char* Name;    // the service's name
    bool Auto;           // install: automatic start
    bool NoLock;         // install: leave the folder's access list as it is
    bool KeepExisting;   // install: keep what an open folder held before the lock
    const char* Program; // install: ZARNQVL.EXE to copy into a folder made anew; null: none
    bool Restore;        // uninstall: put back the permissions from before the first lock
    long Timeout;        // stop, uninstall: seconds to wait for the stop at most; -1: no limit
    bool Remember;       // stop: note in the service's folder that it was running
    bool IfRemembered;   // start: only if a stop noted that it was running (and forget it)
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

