// What audit finds of a folder and the folders above it, shared with install, which judges what
// it copies from and what it made.
#pragma once

#include "tools/qvl/access.h"
#include "tools/qvl/security.h"
#include "tools/qvl/text.h"

// Left in the service's folder by qvl stop --remember when the service ran, for qvl start
// --if-remembered: an upgrade starts again only what was running before it.
const char WAS_RUNNING_FILE[] = "qvl-was-running";

struct FolderAudit {
    Findings Ways;      // ways a user who is not an administrator could take the service over
    Findings Notes;     // what the folder holds that the service does not need: owner, last write
    Findings Unread;    // what could not be read: while there is any, nothing can be called safe
    Findings Links;     // the links and files with more than one name among the ways in
    bool LoadedFirst;   // a note names a file a program loads from its folder before the system's
};

// Says each line of f, each begun with mark ("finding: ..."), and how many did not fit.
void SayAll(Mark mark, const Findings& f);

// The folder and everything in it, each entry opened without following links.
void AuditFolder(const char* folder, FolderAudit* audit);

// Every folder above folder, up to its root: whoever may rename, delete or re-permit one could
// put a path of their own in its place.
void AuditAbove(const char* folder, FolderAudit* audit);

// One entry of a walk judged, as AuditFolder judges each (context: the FolderAudit); true.
bool AuditEntry(Entry& entry, void* context);

// The service's own descriptor and its registry key's, judged.
void JudgeServiceSecurity(const char* name, FolderAudit* audit);
