// qvl's command line: which verb, which of its options, and the refusals of anything else.
#include <stdlib.h>
#include <string.h>

#include "host/entry.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/text.h"

#define QVL_VERB_USAGE(name, run, word, takes, usage) usage
const char* const USAGE =
    "usage: qvl VERB [FOLDER] [OPTIONS]   (FOLDER: by default the folder that holds qvl.exe)\n" QVL_VERBS(QVL_VERB_USAGE);
#undef QVL_VERB_USAGE

namespace {

#define QVL_VERB_ROW(name, run, word, takes, usage) {word, VERB_##name, takes},
const struct {
    const char* Word;
    VerbName Verb;
    int Takes;
} VERBS[] = {QVL_VERBS(QVL_VERB_ROW)};
#undef QVL_VERB_ROW

const struct {
    const char* Word;
    int Bit;
} OPTIONS[] = {
    {"--name", TAKES_NAME}, {"--auto", TAKES_AUTO}, {"--no-lock", TAKES_NO_LOCK}, {"--stop-after", TAKES_STOP_AFTER},
    {"-w", TAKES_WARN},     {"-c", TAKES_CRIT},     {"--prom", TAKES_PROM},
    {"--keep-existing", TAKES_KEEP_EXISTING}, {"--program", TAKES_PROGRAM}, {"--made-locked", TAKES_MADE_LOCKED},
    {"--timeout", TAKES_TIMEOUT}, {"--remember", TAKES_REMEMBER}, {"--if-remembered", TAKES_IF_REMEMBERED},
    {"--restart-on-failure", TAKES_RESTART}, {"--if-ready", TAKES_IF_READY},
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
    if (bit == TAKES_AUTO) return o->Auto = true;
    if (bit == TAKES_NO_LOCK) return o->NoLock = true;
    if (bit == TAKES_KEEP_EXISTING) return o->KeepExisting = true;
    if (bit == TAKES_MADE_LOCKED) return o->MadeLocked = true;
    if (bit == TAKES_REMEMBER) return o->Remember = true;
    if (bit == TAKES_IF_REMEMBERED) return o->IfRemembered = true;
    if (bit == TAKES_IF_READY) return o->IfReady = true;
    if (*i + 1 >= argc) return Add(why, "%s needs a value", option), false;
    const char* value = argv[++*i];
    bool ok = true;
    switch (bit) {
    case TAKES_NAME: ok = *value != '\0' && strlen(value) < 256; o->Name = value; break;
    case TAKES_STOP_AFTER: ok = Seconds(value, SECONDS_MAX, &o->StopAfter); break;
    case TAKES_WARN: ok = Seconds(value, SECONDS_MAX, &o->Warn); break;
    case TAKES_CRIT: ok = Seconds(value, SECONDS_MAX, &o->Crit); break;
    case TAKES_PROM: ok = *value != '\0'; o->Prom = value; break;
    case TAKES_PROGRAM: ok = *value != '\0'; o->Program = value; break;
    case TAKES_TIMEOUT: ok = Seconds(value, SECONDS_MAX, &o->Timeout) && o->Timeout > 0; break;
    case TAKES_RESTART: ok = Seconds(value, SECONDS_MAX, &o->RestartAfter) && o->RestartAfter > 0; break;
    }
    if (!ok) Add(why, "%s takes %s, not \"%s\"", option, bit == TAKES_NAME || bit == TAKES_PROM || bit == TAKES_PROGRAM ? "a name" : "whole seconds", value);
    return ok;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, char* why, int size) {
    Text t = StartText(why, size);
    memset(o, 0, sizeof *o);
    o->Verb = VERB_HELP;  // qvl alone
    o->Name = SERVICE_NAME;
    o->StopAfter = -1;
    o->Timeout = -1;
    o->RestartAfter = -1;
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
        } else if ((takes & TAKES_FOLDER) && !o->Folder) {
            o->Folder = argv[i];
        } else {
            return Add(&t, "qvl %s: unexpected \"%s\"", argv[1], argv[i]), false;
        }
    }
    return true;
}
