// The verbs of qvl, one file each, as the list of verbs names them: each takes the parsed command
// line and the folder (absolute; start, stop and uninstall find the service's own) and returns
// the exit status.
#pragma once

#include "tools/qvl/qvl.h"

typedef int (*VerbRun)(const Options& o, const char* folder);
#define QVL_VERB_DECLARE(name, run, word, takes, usage) int Run##run(const Options& o, const char* folder);
QVL_VERBS(QVL_VERB_DECLARE)
#undef QVL_VERB_DECLARE
