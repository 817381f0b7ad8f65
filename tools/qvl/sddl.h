// The SDDL reader: a security descriptor's text, as Windows writes it, turned into its owner and
// the access list's entries that can grant or deny, every right as a number. Pure, like the
// judgment that reads what it gives.
#pragma once

#include <stdint.h>

const int SID_TEXT = 192;

// The accounts the judgment itself tells apart, as S-1-... text.
const char SID_SYSTEM[] = "S-1-5-18", SID_ADMINISTRATORS[] = "S-1-5-32-544", SID_USERS[] = "S-1-5-32-545";
const char SID_GUESTS[] = "S-1-5-32-546", SID_EVERYONE[] = "S-1-1-0", SID_AUTHENTICATED_USERS[] = "S-1-5-11";
const char SID_INTERACTIVE[] = "S-1-5-4", SID_NETWORK[] = "S-1-5-2", SID_SELF[] = "S-1-5-10";
const char SID_CREATOR_OWNER[] = "S-1-3-0", SID_CREATOR_GROUP[] = "S-1-3-1", SID_OWNER_RIGHTS[] = "S-1-3-4";
const char SID_CREATOR_OWNER_SERVER[] = "S-1-3-2", SID_CREATOR_GROUP_SERVER[] = "S-1-3-3";
const char SID_TRUSTED_INSTALLER[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Relative to the machine's or the domain's own SID, which the text does not give: each stands
// for itself.
const char SID_LOCAL_ADMINISTRATOR[] = "(local Administrator)", SID_LOCAL_GUEST[] = "(local Guest)";
const char SID_DOMAIN_ADMINS[] = "(Domain Admins)";

struct Ace {
    bool Allow;        // else a deny that binds whoever holds Sid
    bool InheritOnly;  // passed on, not applied to the object itself
    bool ToFiles;      // passed on to files made inside a folder
    uint32_t Mask;     // as written: generic rights not yet mapped
    char Sid[SID_TEXT];
};

struct Descriptor {
    char Owner[SID_TEXT];  // empty when the text names none
    bool NullDacl;         // no access list at all: everyone may do everything
    int Count;
    Ace* Aces;  // Count entries, from the heap
};

// False, holding nothing, when sddl cannot be read as Windows would. An entry whose condition or
// object type is not ours to know is read at its most open: an allow as granting, a deny as
// binding nobody. Audit, alarm, label and attribute entries grant nothing and are left out.
bool ReadSddl(const char* sddl, Descriptor* d);
void FreeDescriptor(Descriptor* d);

// The SID at *p (letters or S-1-...) as S-1-... in out (SID_TEXT bytes), *p moved past it; false
// when it is neither.
bool TakeSid(const char** p, char* out);

// An account's name where it is well known, else the SID itself.
const char* AccountName(const char* sid);
