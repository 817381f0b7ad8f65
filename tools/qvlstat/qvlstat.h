// qvlstat: what the host would conclude of a service folder right now, read through the host's
// own status-file code. It only reads: neither shared file is ever written.
#pragma once

#include <string>

const int QVLSTAT_PRESENT = 0;     // exit status: the host would take the program as there
const int QVLSTAT_ABSENT = 1;      // exit status: the host would take it as gone
const int QVLSTAT_NO_FOLDER = 2;   // exit status: the folder cannot be read
const int QVLSTAT_LOG_LINES = 5;   // log lines shown, the last ones

// Writes the report on folder to out; returns the exit status. Changes the current directory
// to folder, as the host's file names are relative to it.
int ShowStatus(const std::string& folder, std::string* out);
