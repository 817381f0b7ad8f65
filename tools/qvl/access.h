// Owners and access lists of files and folders on Windows: each entry of a folder opened without
// following a link and held open while it is looked at or changed, and descriptors read and set
// through that handle, as SDDL text.
#pragma once

#include "platform/platform.h"
#include "tools/qvl/paths.h"

// Switches on what an administrator holds but has off: reading any descriptor (backup), setting
// any owner (restore) and taking ownership.
void EnablePrivileges();

// One entry of the walk, open while its visit runs.
struct Entry {
    char Path[PATH_TEXT];
    const char* Name;      // the last part of Path
    int Depth;             // 0: the folder walked itself
    os::DWORD Error;       // 0, or why it could not be opened or listed (then Handle is 0)
    bool Folder;
    bool Link;             // a reparse point (junction, symbolic link): never followed or entered
    os::DWORD Names;       // its hard links
    char Written[24];      // its last write, local time
    os::HANDLE Handle;
};

enum Access { ACCESS_READ, ACCESS_SET };  // ACCESS_SET: the owner and access list may be set

typedef bool (*Visit)(const Entry& entry, void* context);

// Visits folder, then what it holds, depth first. Each folder is listed only while it is held
// open without sharing its deletion, so that it cannot be renamed, removed or replaced by a link
// meanwhile; links are never entered. True when every visit returned true.
bool WalkFolder(const char* folder, Access access, Visit visit, void* context);

// The owner and access list as SDDL text, of an open entry or, following links, of a path (for
// the folders above). False when they cannot be read. Released with FreeText.
bool HandleSecurityText(os::HANDLE handle, char** sddl);
bool FileSecurityText(const char* path, char** sddl);
// The same of a registry key under HKEY_LOCAL_MACHINE, such as SYSTEM\CurrentControlSet\Services\X.
bool KeySecurityText(const char* key, char** sddl);
void FreeText(char* text);

// Sets the owner (where the text names one), then the access list, through an open entry, as
// the text has them. Passed on to what a folder holds only when asked: the system does that by
// name, and so would follow a link put there meanwhile. 0, or the system's error.
os::DWORD SetSecurityText(os::HANDLE handle, const char* sddl, bool passOn);
