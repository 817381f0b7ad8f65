// qvl status: what the host would conclude of a service folder right now, read through the host's
// own status-file code. It only reads: neither shared file is ever written.
#pragma once

const int REPORT_PRESENT = 0; // exit status: the host would take the program as there
const int REPORT_ABSENT = 1;      // exit status: the host would take it as gone
const int REPORT_NO_FOLDER = 2;   // exit status: the folder cannot be read
const int REPORT_LOG_LINES = 5;   // log lines shown, the last ones
const int REPORT_SIZE = 8192; // the whole report, terminator included; longer is cut

// Makes folder the current directory, as the host's file names are relative to it: every verb
// that reads the shared files enters the folder here. False when it cannot be entered (not
// there, a file, or not readable).
bool EnterFolder(const char* folder);

// Writes the report on folder into out (size bytes, terminated); returns the exit status.
// Enters folder.
int ShowStatus(const char* folder, char* out, int size);
