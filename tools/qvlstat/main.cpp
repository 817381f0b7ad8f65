// qvlstat [FOLDER]: prints what the host would conclude of FOLDER (by default the current one).
#include <cstdio>

#include "tools/qvlstat/qvlstat.h"

int main(int argc, char** argv) {
    if (argc > 2) {
        fprintf(stderr, "usage: qvlstat [FOLDER]\n");
        return QVLSTAT_NO_FOLDER;
    }
    std::string report;
    int status = ShowStatus(argc == 2 ? argv[1] : ".", &report);
    fputs(report.c_str(), status == QVLSTAT_NO_FOLDER ? stderr : stdout);
    return status;
}
