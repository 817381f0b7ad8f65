// The judgment of access lists: each account an entry names, held by the users who are not
// administrators that could hold it, each one's effective rights found entry by entry as Windows
// does, and what counts named in plain words.
#include "tools/qvl/security.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "tools/qvl/sddl.h"
#include "tools/qvl/text.h"

const char* const LOCK_SDDL = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char* const LOCK_INSIDE_FOLDER_SDDL = "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)";
const char* const LOCK_INSIDE_FILE_SDDL = "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";

namespace {

// Members of Administrators, or of the machine itself: they could change anything anyway.
const char* const TRUSTED[] = {SID_SYSTEM, SID_ADMINISTRATORS, SID_TRUSTED_INSTALLER, SID_LOCAL_ADMINISTRATOR,
                               SID_DOMAIN_ADMINS};
// Accounts no user's logon holds: the creator's stand for someone only in what is passed on,
// OWNER RIGHTS is whoever owns the object, and SELF is a directory object's own account.
const char* const NEVER_HELD[] = {SID_CREATOR_OWNER, SID_CREATOR_GROUP, SID_CREATOR_OWNER_SERVER,
                                  SID_CREATOR_GROUP_SERVER, SID_OWNER_RIGHTS, SID_SELF};

// What each logon of a user who is not an administrator holds for certain; any other account it
// may also hold is one an administrator put a user in, or the user himself.
struct Logon {
    bool Guest;  // the Guest account, in no other group
    const char* Sids[4];
};
const Logon LOGONS[] = {
    {false, {SID_EVERYONE, SID_AUTHENTICATED_USERS, SID_USERS, SID_INTERACTIVE}},
    {false, {SID_EVERYONE, SID_AUTHENTICATED_USERS, SID_USERS, SID_NETWORK}},
    {true, {SID_LOCAL_GUEST, SID_EVERYONE, SID_GUESTS, SID_INTERACTIVE}},
    {true, {SID_LOCAL_GUEST, SID_EVERYONE, SID_GUESTS, SID_NETWORK}},
};
// Accounts that come only with a logon above: no user is put in one beside it.
const char* const BY_LOGON[] = {SID_EVERYONE, SID_AUTHENTICATED_USERS, SID_USERS, SID_INTERACTIVE,
                                SID_NETWORK, SID_GUESTS, SID_LOCAL_GUEST};

// One user: a logon, and an account beside it (nullptr for none).
struct User {
    const Logon* On;
    const char* Also;
};

// Generic read, write, execute and all, as files and folders, services and registry keys map them.
const uint32_t FILE_GENERIC[4] = {0x120089, 0x120116, 0x1200a0, 0x1f01ff};
const uint32_t SERVICE_GENERIC[4] = {0x2008d, 0x20002, 0x20170, 0xf01ff};
const uint32_t KEY_GENERIC[4] = {0x20019, 0x20006, 0x20019, 0xf003f};

const uint32_t DELETE = 0x10000, WRITE_DAC = 0x40000, WRITE_OWNER = 0x80000;
const uint32_t FILE_WRITE_DATA = 0x2, FILE_APPEND_DATA = 0x4, FILE_DELETE_CHILD = 0x40;
const uint32_t SERVICE_CHANGE_CONFIG = 0x2;
const uint32_t KEY_SET_VALUE = 0x2, KEY_CREATE_SUB_KEY = 0x4;

struct RightName {
    uint32_t Mask;
    const char* Words;
};
// What counts for each concern, in words, in the order they are said.
const RightName WORDS[][6] = {
    {{FILE_WRITE_DATA, "add files"}, {FILE_APPEND_DATA, "add folders"}, {FILE_DELETE_CHILD, "delete what it holds"},
     {DELETE, "delete or rename it"}, {WRITE_DAC, "change its permissions"}, {WRITE_OWNER, "take ownership"}},
    {{FILE_WRITE_DATA, "write"}, {FILE_APPEND_DATA, "append"}, {DELETE, "delete or rename it"},
     {WRITE_DAC, "change its permissions"}, {WRITE_OWNER, "take ownership"}},
    {{SERVICE_CHANGE_CONFIG, "change its configuration"}, {WRITE_DAC, "change its permissions"},
     {WRITE_OWNER, "take ownership"}},
    {{DELETE, "delete or rename it"}, {WRITE_DAC, "change its permissions"}, {WRITE_OWNER, "take ownership"}},
    {{FILE_DELETE_CHILD, "delete or rename what it holds"}},
    {{KEY_SET_VALUE, "set its values"}, {KEY_CREATE_SUB_KEY, "add subkeys"}, {DELETE, "delete it"},
     {WRITE_DAC, "change its permissions"}, {WRITE_OWNER, "take ownership"}},
};

template <int N>
bool OneOf(const char* sid, const char* const (&list)[N]) {
    for (const char* s : list)
        if (!strcmp(sid, s)) return true;
    return false;
}

bool Trusted(const char* sid) {
    return OneOf(sid, TRUSTED);
}

// Whether a user who is not an administrator may hold sid.
bool Holdable(const char* sid) {
    return !Trusted(sid) && !OneOf(sid, NEVER_HELD);
}

bool Holds(const User& u, const char* sid) {
    return OneOf(sid, u.On->Sids) || (u.Also && !strcmp(u.Also, sid));
}

// The users who hold sid: each logon that comes with it, or else each user's logon with sid
// beside it.
int UsersHolding(const char* sid, User* users) {
    int n = 0;
    bool byLogon = OneOf(sid, BY_LOGON);
    for (const Logon& l : LOGONS)
        if (OneOf(sid, l.Sids)) users[n++] = {&l, nullptr};
        else if (!byLogon && !l.Guest) users[n++] = {&l, sid};
    return n;
}

uint32_t MapGeneric(uint32_t mask, Concern concern) {
    const uint32_t* map = concern == CONCERN_SERVICE ? SERVICE_GENERIC : concern == CONCERN_KEY ? KEY_GENERIC : FILE_GENERIC;
    const uint32_t generic[4] = {0x80000000, 0x40000000, 0x20000000, 0x10000000};
    uint32_t out = mask & 0x0fffffff;
    for (int i = 0; i < 4; i++)
        if (mask & generic[i]) out |= map[i];
    return out;
}

// Whether an entry on the object itself names OWNER RIGHTS: where Windows knows it, the owner then
// holds what the entries give it, no more.
bool OwnerRightsNamed(const Descriptor& d, WindowsRules rules) {
    if (rules == RULES_XP_2003) return false;
    for (int i = 0; i < d.Count; i++)
        if (!d.Aces[i].InheritOnly && !strcmp(d.Aces[i].Sid, SID_OWNER_RIGHTS)) return true;
    return false;
}

// The rights u holds through allow entries for by (or OWNER RIGHTS, for the owner): each right
// is decided by the first entry for an account u holds that names it, and every allow that comes
// before a deny of it gives it, whichever account that allow names.
uint32_t RightsThrough(const Descriptor& d, const User& u, const char* by, WindowsRules rules, Concern concern) {
    bool owner = d.Owner[0] && Holds(u, d.Owner);
    bool ownerRights = owner && OwnerRightsNamed(d, rules);
    uint32_t granted = 0, denied = 0, through = 0;
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        bool isOwnerRights = !strcmp(a.Sid, SID_OWNER_RIGHTS);
        if (a.InheritOnly || !(isOwnerRights ? ownerRights : Holds(u, a.Sid))) continue;
        uint32_t mask = MapGeneric(a.Mask, concern);
        if (!a.Allow) {
            denied |= mask & ~granted;
            continue;
        }
        granted |= mask & ~denied;
        if (!strcmp(a.Sid, by) || (isOwnerRights && !strcmp(by, d.Owner))) through |= mask & ~denied;
    }
    return through;
}

// What the users who hold by may do through its entries, as the rights that count; *guestOnly
// says whether only the Guest account could.
uint32_t Through(const Descriptor& d, const char* by, WindowsRules rules, Concern concern, uint32_t counts,
                 bool* guestOnly) {
    User users[sizeof LOGONS / sizeof LOGONS[0]];
    int n = UsersHolding(by, users);
    uint32_t rights = 0, notAsGuest = 0;
    for (int i = 0; i < n; i++) {
        uint32_t r = RightsThrough(d, users[i], by, rules, concern) & counts;
        rights |= r;
        if (!users[i].On->Guest) notAsGuest |= r;
    }
    *guestOnly = rights && !notAsGuest;
    return rights;
}

void Words(const RightName* words, uint32_t mask, Text* t) {
    bool first = true;
    for (int i = 0; i < 6 && words[i].Words; i++)
        if (mask & words[i].Mask) {
            Add(t, "%s%s", first ? "" : ", ", words[i].Words);
            first = false;
        }
}

void AddFindingV(Findings* f, const char* format, va_list args) {
    if (f->Count == FINDINGS_MAX) return void(f->More++);
    Text t = StartText(f->Lines[f->Count++], FINDING_SIZE);
    t.Length += os::FormatV(t.Out, t.Size, format, args);
}

}  // namespace

WindowsRules RulesOf(unsigned major) {
    return major >= 6 ? RULES_VISTA_ON : RULES_XP_2003;
}

void OwnerName(const char* sddl, char* out, int size) {
    char sid[SID_TEXT];
    const char* p = sddl;
    bool named = !strncmp(p, "O:", 2) && (p += 2, TakeSid(&p, sid));
    Format(out, size, "%s", named ? AccountName(sid) : "(none)");
}

void AddFinding(Findings* findings, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddFindingV(findings, format, args);
    va_end(args);
}

namespace {

uint32_t Counted(Concern concern) {
    uint32_t counts = 0;
    for (int i = 0; i < 6 && WORDS[concern][i].Words; i++) counts |= WORDS[concern][i].Mask;
    return counts;
}

void AddRights(Findings* f, Concern concern, uint32_t rights, bool guestOnly, const char* what, const char* who,
               const char* fix) {
    char list[200];
    Text t = StartText(list, sizeof list);
    Words(WORDS[concern], rights, &t);
    // A deny for Authenticated Users or Users does not reach the Guest account.
    AddFinding(f, "%s: %s%s may %s; %s", what, who, guestOnly ? " (as the Guest account, where it is enabled)" : "",
               list, fix);
}

// An owner may always read and rewrite the access list, unless an OWNER RIGHTS entry says what
// it may instead; then it holds what the entries give it, in the folder holding another too.
// True when the owner's own entries were judged with it.
bool JudgeOwner(const Descriptor& d, Concern concern, WindowsRules rules, const char* what, const char* fix,
                Findings* f) {
    if (!d.Owner[0] || !Holdable(d.Owner)) return true;
    if (d.NullDacl || !OwnerRightsNamed(d, rules)) {
        // Rewriting the access list is judged of a folder above, not of the same folder as holder.
        if (concern == CONCERN_PARENT) return false;
        AddFinding(f, "%s: owned by %s, who can always rewrite its permissions; %s", what, AccountName(d.Owner), fix);
        return true;
    }
    bool guestOnly;
    uint32_t rights = Through(d, d.Owner, rules, concern, Counted(concern), &guestOnly);
    if (!rights) return true;
    char who[SID_TEXT + 20];
    Format(who, sizeof who, "its owner %s", AccountName(d.Owner));
    AddRights(f, concern, rights, guestOnly, what, who, fix);
    return true;
}

// One finding per account a user who is not an administrator may hold, at its first allow
// entry, when a right that counts comes to such a user through its entries; the owner's, unless
// judged with the owner.
void JudgeEntries(const Descriptor& d, Concern concern, WindowsRules rules, bool ownerJudged, const char* what,
                  const char* fix, Findings* f) {
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        if (!a.Allow || a.InheritOnly || !Holdable(a.Sid)) continue;
        if (ownerJudged && !strcmp(a.Sid, d.Owner)) continue;
        bool named = false;
        for (int j = 0; j < i; j++) named |= d.Aces[j].Allow && !d.Aces[j].InheritOnly && !strcmp(d.Aces[j].Sid, a.Sid);
        if (named) continue;
        bool guestOnly;
        uint32_t rights = Through(d, a.Sid, rules, concern, Counted(concern), &guestOnly);
        if (rights) AddRights(f, concern, rights, guestOnly, what, AccountName(a.Sid), fix);
    }
}

// What a file the service makes inside the folder later gets from it: the entries passed on to
// files, and the service's own account as owner.
bool InheritedByFiles(const Descriptor& folder, Descriptor* file) {
    *file = {};
    file->Aces = static_cast<Ace*>(calloc(folder.Count + 1, sizeof(Ace)));
    if (!file->Aces) return false;
    strcpy(file->Owner, SID_SYSTEM);
    for (int i = 0; i < folder.Count; i++)
        if (folder.Aces[i].ToFiles) {
            file->Aces[file->Count] = folder.Aces[i];
            file->Aces[file->Count++].InheritOnly = false;
        }
    return true;
}

}  // namespace

bool JudgeSecurity(const char* sddl, Concern concern, const char* what, const char* fix, Findings* findings,
                   WindowsRules rules) {
    Descriptor d;
    if (!ReadSddl(sddl, &d)) return false;
    bool ownerJudged = JudgeOwner(d, concern, rules, what, fix, findings);
    if (d.NullDacl)
        AddFinding(findings, "%s: no access list at all: everyone may do everything to it; %s", what, fix);
    else
        JudgeEntries(d, concern, rules, ownerJudged, what, fix, findings);
    Descriptor files;
    if (concern == CONCERN_FOLDER && !d.NullDacl && InheritedByFiles(d, &files)) {
        // The service makes its status, command and log files there later: they get these.
        char made[FINDING_SIZE];
        Format(made, sizeof made, "%s (files made in it later, as the log is)", what);
        JudgeEntries(files, CONCERN_FILE, rules, true, made, fix, findings);
        FreeDescriptor(&files);
    }
    FreeDescriptor(&d);
    return true;
}

bool OwnedByAdministratorsOr(const char* sddl, const char* account) {
    Descriptor d;
    if (!ReadSddl(sddl, &d)) return false;
    bool owned = d.Owner[0] && (Trusted(d.Owner) || (account && !strcmp(d.Owner, account)));
    FreeDescriptor(&d);
    return owned;
}
