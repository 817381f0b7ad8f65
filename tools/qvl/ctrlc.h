// Ctrl-C for the verbs that wait: it ends the wait, never the process, so a verb can say where it
// left the service or the trial.
#pragma once

// From the first call on, Ctrl-C and Ctrl-Break no longer end the process; CtrlPressed is true
// once for each press since its last call.
void CatchCtrlC();
bool CtrlPressed();
