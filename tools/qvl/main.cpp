// qvl VERB [FOLDER] [OPTIONS]: the operator's one tool. Parses the command line, finds the
// folder (by default the one that holds qvl.exe, beside qvlsvce.exe) and runs the verb.
#include <stdio.h>

#include "platform/platform.h"
#include "tools/qvl/health.h"
#include "tools/qvl/status.h"
#include "tools/qvl/text.h"
#include "tools/qvl/paths.h"
#include "tools/qvl/verbs.h"

int RunHelp(const Options&, const char*) {
    fputs(USAGE, stdout);
    return 0;
}

int main(int argc, char** argv) {
    Options o;
    char why[512];
    if (!ParseOptions(argc, argv, &o, why, sizeof why)) {
        // Monitoring reads the check's first line and its status: a bad argument is UNKNOWN.
        if (o.Verb == VERB_CHECK) return Say("QVL UNKNOWN - %s\n", why), fputs(USAGE, stderr), CHECK_UNKNOWN;
        Complain("%s\n", why);
        fputs(USAGE, stderr);
        return EXIT_REFUSED;
    }
    char folder[PATH_TEXT] = "";
    if (o.Verb != VERB_HELP &&
        !(o.Folder ? FullFolder(o.Folder, folder, sizeof folder) : ModuleFolder(folder, sizeof folder))) {
        Complain("qvl: the folder's path cannot be found or is too long\n");
        return EXIT_REFUSED;
    }
#define QVL_VERB_RUN(name, run, word, takes, usage) Run##run,
    static const VerbRun RUN[] = {QVL_VERBS(QVL_VERB_RUN)};
#undef QVL_VERB_RUN
    return RUN[o.Verb](o, folder);
}
