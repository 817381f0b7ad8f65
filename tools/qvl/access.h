// Files and folders as qvl walks them: each entry of a folder opened relative to its folder's
// handle, without following a link, and held open while it is looked at.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/door.h"
#include "tools/qvl/paths.h"

// One entry of the walk, open while its visit runs.
struct Entry {
    char Path[PATH_TEXT];
    const char* Name;      // the last part of Path
    int Depth;             // 0: the folder walked itself
    os::DWORD Error;       // 0, or why it could not be opened or listed (then Handle is 0)
    bool Folder;
    bool Link;             // a reparse point other than a file's own (junction, symbolic link): never entered
    os::DWORD Names;       // its hard links
    char Written[24];      // its last write, local time
    door::File Handle;     // a visit that keeps it sets it to null; the walk closes it otherwise
};

typedef bool (*Visit)(Entry& entry, void* context);

// Visits folder, then what it holds, depth first, each entry open for its descriptor, its
// attributes and its data (a folder's listing). Each entry is opened relative to its folder's
// handle, and each folder is held open without sharing its deletion while what it holds is
// visited, so that it cannot be renamed, removed or replaced by a link meanwhile; links are
// never entered. A listing that fails is visited as an error. True when every visit returned true.
bool WalkFolder(const char* folder, Visit visit, void* context);
