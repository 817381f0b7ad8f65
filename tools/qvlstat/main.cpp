// qvlstat [FOLDER]: prints what the host would conclude of FOLDER (by default the current one).
#include <stdio.h>

#include "tools/qvlstat/qvlstat.h"

int main(int argc, char** argv) {
    if (argc > 2) {
        fputs("usage: qvlstat [FOLDER]\n", stderr);
        return QVLSTAT_NO_FOLDER;
    }
    static char report[QVLSTAT_REPORT_SIZE];
    int status = ShowStatus(argc == 2 ? argv[1] : ".", report, sizeof report);
    fputs(report, status == QVLSTAT_NO_FOLDER ? stderr : stdout);
    return status;
}
