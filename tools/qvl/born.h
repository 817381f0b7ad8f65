// A folder born locked: made with the lock's descriptor given at its creation, and filled only
// with files made anew, each read from the one handle through which install judged its source.
#pragma once

#include "tools/qvl/door.h"
#include "tools/qvl/paths.h"

const int SOURCES_MAX = 40;
const int NAME_TEXT = 260;

struct Source {
    char Name[NAME_TEXT];  // its name in the folder made
    char From[PATH_TEXT];  // where it is read from, for what install says
    door::File Handle;     // open for reading; no other handle may write it meanwhile
};

struct Sources {
    int Count;
    Source List[SOURCES_MAX];
};

// Opens path (in folder, or absolute when folder is null) as the source of name: a file that is no
// link and has one name, no other handle writing it. Refused ones are said, with why; false then.
bool AddSource(door::File folder, const char* path, const char* name, Sources* sources);
// Takes a handle a walk opened (and judged) as the source of its own name.
bool KeepSource(const char* path, const char* name, door::File handle, Sources* sources);
bool HasSource(const Sources& sources, const char* name);
void CloseSources(Sources* sources);

// What install made, so that it can be taken back.
struct Made {
    door::File Folder;  // held open while it is filled and read back
    char Path[PATH_TEXT];
    int Count;
    char Names[SOURCES_MAX][NAME_TEXT];
};

// Makes folder new, with the lock's descriptor, and in it each source as a new file with the
// lock's descriptor for a file, its data read from the source's handle. Says each step; false,
// said, on failure, with what was made in *made.
bool MakeBornLocked(const char* folder, const Sources& sources, Made* made);

// Makes name anew in the open folder from the source's handle, with the lock's descriptor for a
// file; 0 or the system's error.
os::DWORD CopyNew(door::File folder, const char* name, door::File from);

// The files made, each opened anew by name through the folder's handle, as sources.
bool Reopen(const Made& made, Sources* sources);

// Deletes what was made (its files, then the folder), and says so; what cannot go is said.
// Nothing when no folder was made.
void TakeBack(Made* made);
