// The process entry: the executable's own directory as the current directory, then the service
// dispatcher for the one service this executable holds.
#pragma once

#include <cstddef>

const char* const SERVICE_NAME = "QVLService";
const char* const HOST_FILE = "qvlsvce.exe";  // this executable, as shipped and installed
const size_t PATH_SIZE = 260;  // the longest directory path taken, terminator included

// Writes the drive and directory of path (up to and including its last separator) into out,
// which holds size bytes. Returns false, leaving out empty, when they would not fit. The one cut
// of a path at its last separator, for the host and its tools alike.
bool ProgramDirectory(const char* path, char* out, size_t size = PATH_SIZE);

// The whole life of the process: returns its exit status.
int RunProcess(int argc, char** argv);
