// The service's log: one line per event appended to a text file in the current directory.
#pragma once

const char* const LOG_FILE = "ZARNQVL.ERR";

// Local time of the event, formatted by strftime, always 30 characters in the default locale.
const char* const LOG_PREFIX_FORMAT = "%a %d %b %X : SVCE  : ";
const int LOG_PREFIX_SIZE = 32;   // buffer, terminator included
const int LOG_MESSAGE_SIZE = 256; // buffer, terminator included; longer messages are cut
const char LOG_LINE_END[] = "\r\n";

// Appends one line: the time prefix, the printf-style message, then "\r\n". The line goes out
// in one write under the log's lock, so lines from two threads never interleave. A line that
// cannot be written is dropped silently.
void LogMessage(const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
