// Ctrl-C counted by the console's handler thread and taken, one press at a time, by the waiting one.
#include "tools/qvl/ctrlc.h"

#include <atomic>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::atomic<int> CtrlCount(0);

BOOL WINAPI OnCtrl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    CtrlCount++;
    return TRUE;
}

}  // namespace

void CatchCtrlC() {
    ::SetConsoleCtrlHandler(OnCtrl, TRUE);
}

bool CtrlPressed() {
    int seen = CtrlCount.load();
    return seen > 0 && CtrlCount.compare_exchange_strong(seen, seen - 1);
}
