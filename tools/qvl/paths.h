// Paths as qvl handles them on Windows, through the door: the folders it works in made absolute, the program a
// service runs, and a path's one spelling, so that refusals compare what a path is; and a small
// file written whole.
#pragma once

#include "platform/platform.h"

const int PATH_TEXT = 1024;  // a folder or file path as qvl handles it, terminator included

// Whether path names a file (not a folder), or anything at all.
bool IsFile(const char* path);
bool Exists(const char* path);

// The folder that holds qvl.exe; folder itself made absolute, with no separator at its end
// except a drive's root. False when it would not fit.
bool ModuleFolder(char* out, int size);
bool FullFolder(const char* folder, char* out, int size);

// The folder that holds path, with no separator at its end except a drive's root; false when
// path is a root already (or the folder would not fit).
bool ParentFolder(const char* path, char* out, int size);

// The folder of the program file a service's binary path names.
void BinaryFolder(const char* binaryPath, char* out, int size);

// path in its long form (no 8.3 short names), as far as it exists; the path as given otherwise.
void LongForm(const char* path, char* out, int size);

// The last part of a path: what follows its last separator.
const char* LastPart(const char* path);

// Writes text as the whole of path: into a file made anew under a temporary name, then renamed
// over it, so that path is never left half written. 0, or the system's error.
os::DWORD WriteWhole(const char* path, const char* text);
