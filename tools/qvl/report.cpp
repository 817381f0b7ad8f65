// qvl status [FOLDER] [--name NAME]: the folder's report, then how the service stands and how its
// last run ended: the first says what the host would do now, the second what it did.
#include <stdio.h>

#include "tools/qvl/manager.h"
#include "tools/qvl/status.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"
#include "tools/qvl/words.h"

int RunStatus(const Options& o, const char* folder) {
    static char report[REPORT_SIZE];
    int status = ShowStatus(folder, report, sizeof report);
    fputs(report, status == REPORT_NO_FOLDER ? stderr : stdout);
    door::Status end;
    int state = ServiceStateAndEnd(o.Name, &end);
    char line[400];
    Text t = StartText(line, sizeof line);
    AddServiceWords(&t, o.Name, state, end.Win32Exit, end.SpecificExit);
    fputs(line, stdout);
    return status;
}

