// Runs the service on the simulated platform for a given number of running-loop passes, for
// counting the instructions one pass costs. Usage: pass_bench PASSES
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "host/service.h"
#include "tests/sim/sim.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: pass_bench PASSES\n");
        return 2;
    }
    long passes = atol(argv[1]);
    char dir[] = "/tmp/qvl-bench-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) return 1;
    sim::Reset();
    sim::W.KeepReports = false;
    sim::W.LimitMs = (passes + 1000) * 1000LL;
    sim::W.Script.TickMs = 60000;  // the program's own writes stay out of the count
    sim::W.Script.HoldMs = 0;
    sim::W.Script.Ends = sim::Program::REMOVES_FILE;
    sim::ScheduleControl(LAUNCH_PAUSE_MS + passes * PASS_SLEEP_MS - 500, os::SERVICE_CONTROL_STOP);
    char name[] = "QVLService";
    char* args[] = {name, nullptr};
    ServiceMain(1, args);
    printf("%lld reports\n", static_cast<long long>(sim::W.ReportCount));
    return 0;
}
