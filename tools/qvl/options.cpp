// qvl's command line: which verb, which of its options, and the refusals of anything else.
#include <stdlib.h>
#include <string.h>

#include "host/entry.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/text.h"

const char* const USAGE =
    "usage: qvl VERB [FOLDER] [OPTIONS]   (FOLDER: by default the folder that holds qvl.exe)\n"
    "  qvl status [FOLDER]                          what the host would conclude of the folder now\n"
    "  qvl trial [FOLDER] [--stop-after SECONDS] [--name NAME]   run the host's supervision here, then a verdict\n"
    "  qvl install [FOLDER] [--name NAME] [--auto] [--no-lock] [--keep-existing] [--program PATH]\n"
    "                                               lock the folder (made anew if not there) and make the service\n"
    "  qvl uninstall [--name NAME] [--restore] [--timeout SECONDS]   stop the service and delete it; the folder stays\n"
    "  qvl start [--name NAME] [--if-remembered]    start the service and wait until it runs\n"
    "  qvl stop [--name NAME] [--timeout SECONDS] [--remember]   stop the service and wait until it has stopped\n"
    "  qvl audit [FOLDER] [--name NAME]             what a user who is not an administrator could take over\n"
    "  qvl check [FOLDER] [--name NAME] [-w SECONDS] [-c SECONDS] [--prom FILE]   a monitoring check\n"
    "  qvl help                                     this list\n";

namespace {

// What each verb takes: a folder, and the options named by these bits.
enum { FOLDER = 1, NAME = 2, AUTO = 4, NO_LOCK = 8, STOP_AFTER = 16, WARN = 32, CRIT = 64, PROM = 128,
       KEEP_EXISTING = 256, PROGRAM = 512, RESTORE = 1024, TIMEOUT = 2048, REMEMBER = 4096, IF_REMEMBERED = 8192 };

const struct {
    const char* Word;
    VerbName Verb;
    int Takes;
} VERBS[] = {
    {"help", VERB_HELP, 0},
    {"status", VERB_STATUS, FOLDER},
    {"trial", VERB_TRIAL, FOLDER | NAME | STOP_AFTER},
    {"install", VERB_INSTALL, FOLDER | NAME | AUTO | NO_LOCK | KEEP_EXISTING | PROGRAM},
    {"uninstall", VERB_UNINSTALL, NAME | RESTORE | TIMEOUT},
    {"start", VERB_START, NAME | IF_REMEMBERED},
    {"stop", VERB_STOP, NAME | TIMEOUT | REMEMBER},
    {"audit", VERB_AUDIT, FOLDER | NAME},
    {"check", VERB_CHECK, FOLDER | NAME | WARN | CRIT | PROM},
};

const struct {
    const char* Word;
    int Bit;
} OPTIONS[] = {
    {"--name", NAME}, {"--auto", AUTO}, {"--no-lock", NO_LOCK}, {"--stop-after", STOP_AFTER},
    {"-w", WARN},     {"-c", CRIT},     {"--prom", PROM},
    {"--keep-existing", KEEP_EXISTING}, {"--program", PROGRAM}, {"--restore", RESTORE},
    {"--timeout", TIMEOUT}, {"--remember", REMEMBER}, {"--if-remembered", IF_REMEMBERED},
};

bool Seconds(const char* text, long max, long* out) {
    char* end;
    long n = strtol(text, &end, 10);
    if (end == text || *end || n < 0 || n > max) return false;
    *out = n;
    return true;
}

// Takes argv[*i]'s option and, where it has one, its value; false with why.
bool TakeOption(int bit, int argc, char** argv, int* i, Options* o, Text* why) {
    const char* option = argv[*i];
    if (bit == AUTO) return o->Auto = true;
    if (bit == NO_LOCK) return o->NoLock = true;
    if (bit == KEEP_EXISTING) return o->KeepExisting = true;
    if (bit == RESTORE) return o->Restore = true;
    if (bit == REMEMBER) return o->Remember = true;
    if (bit == IF_REMEMBERED) return o->IfRemembered = true;
    if (*i + 1 >= argc) return Add(why, "%s needs a value", option), false;
    const char* value = argv[++*i];
    bool ok = true;
    switch (bit) {
    case NAME: ok = *value != '\0' && strlen(value) < 256; o->Name = value; break;
    case STOP_AFTER: ok = Seconds(value, SECONDS_MAX, &o->StopAfter); break;
    case WARN: ok = Seconds(value, SECONDS_MAX, &o->Warn); break;
    case CRIT: ok = Seconds(value, SECONDS_MAX, &o->Crit); break;
    case PROM: ok = *value != '\0'; o->Prom = value; break;
    case PROGRAM: ok = *value != '\0'; o->Program = value; break;
    case TIMEOUT: ok = Seconds(value, SECONDS_MAX, &o->Timeout) && o->Timeout > 0; break;
    }
    if (!ok) Add(why, "%s takes %s, not \"%s\"", option, bit == NAME || bit == PROM || bit == PROGRAM ? "a name" : "whole seconds", value);
    return ok;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, char* why, int size) {
    Text t = StartText(why, size);
    memset(o, 0, sizeof *o);
    o->Name = SERVICE_NAME;
    o->StopAfter = -1;
    o->Timeout = -1;
    o->Warn = CHECK_WARN_DEFAULT;
    o->Crit = CHECK_CRIT_DEFAULT;
    if (argc < 2) return true;  // help
    int takes = -1;
    for (const auto& v : VERBS)
        if (!strcmp(argv[1], v.Word)) o->Verb = v.Verb, takes = v.Takes;
    if (takes < 0) return Add(&t, "qvl: unknown verb \"%s\"", argv[1]), false;
    for (int i = 2; i < argc; i++) {
        int bit = 0;
        for (const auto& option : OPTIONS)
            if (!strcmp(argv[i], option.Word)) bit = option.Bit;
        if (bit && (takes & bit)) {
            if (!TakeOption(bit, argc, argv, &i, o, &t)) return false;
        } else if (bit || argv[i][0] == '-') {
            return Add(&t, "qvl %s: unknown option \"%s\"", argv[1], argv[i]), false;
        } else if ((takes & FOLDER) && !o->Folder) {
            o->Folder = argv[i];
        } else {
            return Add(&t, "qvl %s: unexpected \"%s\"", argv[1], argv[i]), false;
        }
    }
    return true;
}
