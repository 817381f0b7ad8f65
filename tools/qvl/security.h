// Whether a user who is not an administrator could take the service over, judged from security
// descriptors written as SDDL text, as Windows gives them. Pure: no system calls, so every
// judgment is tested on real descriptors wherever the tests run.
#pragma once

#include <stdint.h>

// What install sets on the service's folder: owner Administrators; SYSTEM and Administrators
// full control, Users read and run; inherited by everything inside; nothing from above.
extern const char* const LOCK_SDDL;
// What the lock passes on to a folder and to a file inside, each owned by Administrators: set on
// each through its own handle, so that nothing is set by name or passed on through a link.
extern const char* const LOCK_INSIDE_FOLDER_SDDL;
extern const char* const LOCK_INSIDE_FILE_SDDL;

// Whose access check the judgment follows. XP and 2003 know no OWNER RIGHTS (S-1-3-4): an owner
// there may always rewrite the access list, whatever an entry for OWNER RIGHTS says; Vista and
// later let such an entry say what the owner may instead.
enum WindowsRules {
    RULES_XP_2003,   // NT 5.x
    RULES_VISTA_ON,  // NT 6.0 and later
};

// The rules of the Windows whose major version (as GetVersionEx gives it) is major.
WindowsRules RulesOf(unsigned major);

// What is at stake in an object, and so which rights of others count.
enum Concern {
    CONCERN_FOLDER,    // the service's folder: adding, deleting or renaming what it holds, or re-permitting it
    CONCERN_FILE,      // a file in it: changing, deleting or re-permitting it
    CONCERN_SERVICE,   // the service: changing its configuration or its access list
    CONCERN_ABOVE,     // a folder above: deleting or renaming it, or changing its access list
    CONCERN_PARENT,    // the folder holding another: deleting or renaming what it holds
    CONCERN_KEY,       // the service's registry key: setting its values, or re-permitting it
};

const int FINDINGS_MAX = 40;
const int FINDING_SIZE = 400;

struct Findings {
    int Count;
    int More;  // lines that did not fit
    char Lines[FINDINGS_MAX][FINDING_SIZE];
};

// Adds one line per finding on the object named what (owner, no access list, each account but
// SYSTEM, Administrators and TrustedInstaller through which a user who is not an administrator
// holds a right that counts), each ending with fix; for a folder, also what files made in it
// later would inherit. Such a user is judged as each logon makes him: any user is in Everyone,
// Authenticated Users and Users, and INTERACTIVE or NETWORK; the Guest account, where it is
// enabled, in Everyone, Guests and one of the two only. Deny entries bind whoever holds their
// account, in order; a conditional allow counts as granted, a conditional deny as binding nobody.
// Without rules, those of XP and 2003, under which an owner always finds a way: what is safe
// there is safe on every Windows. False, adding nothing, when sddl cannot be read.
bool JudgeSecurity(const char* sddl, Concern concern, const char* what, const char* fix, Findings* findings,
                   WindowsRules rules = RULES_XP_2003);

// Whether the owner sddl names is SYSTEM, Administrators, TrustedInstaller or the account given
// (the operator's own): false when it names another, or none, or cannot be read.
bool OwnedByAdministratorsOr(const char* sddl, const char* account);

// The owner an SDDL text names, by name where it is a well-known account; "(none)" without one.
void OwnerName(const char* sddl, char* out, int size);

// Adds one finding line of the caller's own, printf-style.
void AddFinding(Findings* findings, const char* format, ...) __attribute__((format(printf, 2, 3)));
