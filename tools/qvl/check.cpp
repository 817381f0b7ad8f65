// qvl check [FOLDER] [--name NAME] [-w SECONDS] [-c SECONDS] [--prom FILE]: the monitoring check.
// One line and the exit status monitoring systems read; with --prom, the same figures as a
// Prometheus text file, written whole under a temporary name and renamed over FILE.
#include "tools/qvl/door.h"
#include "tools/qvl/health.h"
#include "tools/qvl/manager.h"
#include "tools/qvl/paths.h"
#include "tools/qvl/status.h"
#include "tools/qvl/text.h"
#include "tools/qvl/verbs.h"

const int PROM_SIZE = 4096;

int RunCheck(const Options& o, const char* folder) {
    // The file is named from where qvl was started, before the folder is entered.
    char prom[PATH_TEXT];
    if (!o.Prom || door::FullPath(o.Prom, prom, sizeof prom)) prom[0] = '\0';
    Health h = {};
    h.Name = o.Name;
    h.Service = ServiceState(o.Name);
    h.Warn = o.Warn;
    h.Crit = o.Crit;
    h.FolderRead = EnterFolder(folder);
    if (h.FolderRead) ReadStatusView(&h.Status);
    char line[600];
    CheckResult result = JudgeHealth(h, line, sizeof line);
    Say("%s\n", line);
    if (o.Prom) {
        static char text[PROM_SIZE];
        PrometheusText(h, result, text, sizeof text);
        if (!prom[0] || WriteWhole(prom, text)) Complain("qvl check: cannot write %s\n", o.Prom);
    }
    return result;
}
