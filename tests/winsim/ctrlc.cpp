// Ctrl-C in the simulated world: pressed once when the virtual clock reaches the time a test set.
#include "tests/winsim/world.h"
#include "tools/qvl/ctrlc.h"

void CatchCtrlC() {}

bool CtrlPressed() {
    if (winsim::W.CtrlAtMs < 0 || winsim::W.NowMs < winsim::W.CtrlAtMs) return false;
    winsim::W.CtrlAtMs = -1;
    return true;
}
