// The judgment of access lists: SDDL parsed into entries, generic rights mapped, each account's
// effective rights found entry by entry as Windows does, and what counts named in plain words.
#include "tools/qvl/security.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "tools/qvl/text.h"

const char* const LOCK_SDDL = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char* const LOCK_INSIDE_FOLDER_SDDL = "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)";
const char* const LOCK_INSIDE_FILE_SDDL = "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";

namespace {

const int SID_TEXT = 192;
const int ACES_MAX = 64;

const char SYSTEM[] = "S-1-5-18", ADMINISTRATORS[] = "S-1-5-32-544", USERS[] = "S-1-5-32-545";
const char EVERYONE[] = "S-1-1-0", AUTHENTICATED_USERS[] = "S-1-5-11", INTERACTIVE[] = "S-1-5-4";
const char CREATOR_OWNER[] = "S-1-3-0", CREATOR_GROUP[] = "S-1-3-1", OWNER_RIGHTS[] = "S-1-3-4";
const char TRUSTED_INSTALLER[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char LOCAL_ADMINISTRATOR[] = "(local Administrator)", DOMAIN_ADMINS[] = "(Domain Admins)";

// Accounts by their SDDL letters, their SIDs and their names.
const struct {
    const char* Letters;
    const char* Sid;
    const char* Name;
} ACCOUNTS[] = {
    {"SY", SYSTEM, "SYSTEM"},
    {"BA", ADMINISTRATORS, "Administrators"},
    {"BU", USERS, "Users"},
    {"BG", "S-1-5-32-546", "Guests"},
    {"PU", "S-1-5-32-547", "Power Users"},
    {"BO", "S-1-5-32-551", "Backup Operators"},
    {"RD", "S-1-5-32-555", "Remote Desktop Users"},
    {"WD", EVERYONE, "Everyone"},
    {"AU", AUTHENTICATED_USERS, "Authenticated Users"},
    {"IU", INTERACTIVE, "INTERACTIVE"},
    {"SU", "S-1-5-6", "SERVICE"},
    {"AN", "S-1-5-7", "ANONYMOUS LOGON"},
    {"LS", "S-1-5-19", "LOCAL SERVICE"},
    {"NS", "S-1-5-20", "NETWORK SERVICE"},
    {"NU", "S-1-5-2", "NETWORK"},
    {"CO", CREATOR_OWNER, "CREATOR OWNER"},
    {"CG", CREATOR_GROUP, "CREATOR GROUP"},
    {"OW", OWNER_RIGHTS, "OWNER RIGHTS"},
    {"AC", "S-1-15-2-1", "ALL APPLICATION PACKAGES"},
    {"AO", "S-1-5-32-548", "Account Operators"},
    {"SO", "S-1-5-32-549", "Server Operators"},
    {"PO", "S-1-5-32-550", "Print Operators"},
    {"RE", "S-1-5-32-552", "Replicator"},
    {"RU", "S-1-5-32-554", "Pre-Windows 2000 Compatible Access"},
    {"NO", "S-1-5-32-556", "Network Configuration Operators"},
    {"MU", "S-1-5-32-558", "Performance Monitor Users"},
    {"LU", "S-1-5-32-559", "Performance Log Users"},
    {"IS", "S-1-5-32-568", "IIS_IUSRS"},
    {"CY", "S-1-5-32-569", "Cryptographic Operators"},
    {"ER", "S-1-5-32-573", "Event Log Readers"},
    {"RM", "S-1-5-32-580", "Remote Management Users"},
    {"ED", "S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS"},
    {"PS", "S-1-5-10", "SELF"},
    {"RC", "S-1-5-12", "RESTRICTED"},
    {"WR", "S-1-5-33", "WRITE RESTRICTED"},
    // Relative to the machine's or the domain's own SID, which the text does not give: each
    // stands for itself.
    {"LA", LOCAL_ADMINISTRATOR, "the local Administrator"},
    {"LG", "(local Guest)", "the local Guest"},
    {"DA", DOMAIN_ADMINS, "Domain Admins"},
    {"DU", "(Domain Users)", "Domain Users"},
    {"DG", "(Domain Guests)", "Domain Guests"},
    {"DC", "(Domain Computers)", "Domain Computers"},
    {"DD", "(Domain Controllers)", "Domain Controllers"},
    {"CA", "(Cert Publishers)", "Cert Publishers"},
    {"SA", "(Schema Admins)", "Schema Admins"},
    {"EA", "(Enterprise Admins)", "Enterprise Admins"},
    {"PA", "(Group Policy Creator Owners)", "Group Policy Creator Owners"},
    {"RS", "(RAS and IAS Servers)", "RAS and IAS Servers"},
    {"CN", "(Cloneable Domain Controllers)", "Cloneable Domain Controllers"},
    {"RO", "(Enterprise Read-only Domain Controllers)", "Enterprise Read-only Domain Controllers"},
    {nullptr, TRUSTED_INSTALLER, "TrustedInstaller"},
};

// Every signed-in user, by whatever logon, is a member of these, so a deny entry for one binds
// them all. Not INTERACTIVE: a network or batch logon is not in it.
const char* const EVERY_USER[] = {EVERYONE, AUTHENTICATED_USERS, USERS};
// Members of Administrators, or of the machine itself: they could change anything anyway.
const char* const TRUSTED[] = {SYSTEM, ADMINISTRATORS, TRUSTED_INSTALLER, LOCAL_ADMINISTRATOR, DOMAIN_ADMINS};

const struct {
    const char* Letters;
    uint32_t Mask;
} RIGHTS[] = {
    {"GA", 0x10000000}, {"GX", 0x20000000}, {"GW", 0x40000000}, {"GR", 0x80000000}, {"SD", 0x10000},
    {"RC", 0x20000},    {"WD", 0x40000},    {"WO", 0x80000},    {"CC", 0x1},        {"DC", 0x2},
    {"LC", 0x4},        {"SW", 0x8},        {"RP", 0x10},       {"WP", 0x20},       {"DT", 0x40},
    {"LO", 0x80},       {"CR", 0x100},      {"FA", 0x1f01ff},   {"FR", 0x120089},   {"FW", 0x120116},
    {"FX", 0x1200a0},   {"KA", 0xf003f},    {"KR", 0x20019},    {"KW", 0x20006},    {"KX", 0x20019},
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

struct Ace {
    bool Allow;
    bool InheritOnly;
    bool ToFiles;  // passed on to files made inside a folder
    uint32_t Mask;
    char Sid[SID_TEXT];
};

struct Descriptor {
    char Owner[SID_TEXT];  // empty when the text names none
    bool NullDacl;
    int Count;
    Ace Aces[ACES_MAX];
};

// Copies the SID at p (letters or S-1-...) into out as S-1-...; false when it is neither.
bool TakeSid(const char** p, char* out) {
    const char* s = *p;
    if (s[0] == 'S' && s[1] == '-') {
        size_t n = strspn(s, "S-0123456789");
        if (n >= SID_TEXT) return false;
        memcpy(out, s, n);
        out[n] = '\0';
        *p = s + n;
        return true;
    }
    for (const auto& a : ACCOUNTS)
        if (a.Letters && !strncmp(s, a.Letters, 2)) {
            strcpy(out, a.Sid);
            *p = s + 2;
            return true;
        }
    return false;
}

// Rights as letters, 0x... or a decimal number, up to the next ';'.
bool TakeRights(const char* s, const char* end, uint32_t* mask) {
    *mask = 0;
    if (s < end && s[0] >= '0' && s[0] <= '9') {
        char* stop;
        *mask = static_cast<uint32_t>(strtoul(s, &stop, 0));
        return stop == end;
    }
    if ((end - s) % 2) return false;
    for (; s < end; s += 2) {
        bool known = false;
        for (const auto& r : RIGHTS)
            if (!strncmp(s, r.Letters, 2)) *mask |= r.Mask, known = true;
        if (!known) return false;
    }
    return true;
}

const char* Field(const char* s, const char* end, int n) {
    for (; n > 0 && s && s < end; n--) {
        s = static_cast<const char*>(memchr(s, ';', end - s));
        if (s) s++;
    }
    return s && s <= end ? s : nullptr;
}

// One entry: (type;flags;rights;object;inherited object;sid), with p just past its '('.
bool TakeAce(const char* p, const char* end, Descriptor* d) {
    const char* flags = Field(p, end, 1);
    const char* rights = Field(p, end, 2);
    const char* sid = Field(p, end, 5);
    if (!flags || !rights || !sid) return false;
    // A conditional allow may grant: its condition is not ours to know, so it counts as if it
    // held. A conditional deny may not hold, so it binds nobody. Audit, label and object entries
    // grant nothing on a file, a folder, a service or a key.
    bool allow = !strncmp(p, "A;", 2) || !strncmp(p, "XA;", 3), deny = !strncmp(p, "D;", 2);
    if (!allow && !deny) return true;
    if (d->Count == ACES_MAX) return false;
    Ace& a = d->Aces[d->Count];
    a.Allow = allow;
    a.InheritOnly = a.ToFiles = false;
    for (const char* f = flags; f + 1 < rights - 1; f += 2) {
        if (!strncmp(f, "IO", 2)) a.InheritOnly = true;
        if (!strncmp(f, "OI", 2)) a.ToFiles = true;
    }
    const char* rightsEnd = static_cast<const char*>(memchr(rights, ';', end - rights));
    if (!TakeRights(rights, rightsEnd, &a.Mask)) return false;
    const char* s = sid;
    if (!TakeSid(&s, a.Sid) || (s != end && *s != ';')) return false;
    d->Count++;
    return true;
}

// The ')' that closes the '(' at s; conditions in callback entries nest.
const char* Closing(const char* s) {
    int depth = 0;
    for (; *s; s++) {
        depth += *s == '(';
        if (*s == ')' && --depth == 0) return s;
    }
    return nullptr;
}

// The access list after "D:": its flags, then its entries; p is left past it.
bool TakeDacl(const char** p, Descriptor* d) {
    const char* s = *p;
    if (!strncmp(s, "NO_ACCESS_CONTROL", 17)) d->NullDacl = true;
    while (*s && *s != '(' && !(s[1] == ':' && strchr("OGDS", s[0]))) s++;
    while (*s == '(') {
        const char* close = Closing(s);
        if (!close || !TakeAce(s + 1, close, d)) return false;
        s = close + 1;
    }
    *p = s;
    return true;
}

bool Parse(const char* sddl, Descriptor* d) {
    memset(d, 0, sizeof *d);
    bool dacl = false;
    const char* p = sddl;
    while (*p) {
        if (p[1] != ':') return false;
        char part = p[0];
        p += 2;
        char group[SID_TEXT];
        if (part == 'O' && !TakeSid(&p, d->Owner)) return false;
        if (part == 'G' && !TakeSid(&p, group)) return false;
        if (part == 'D') {
            dacl = true;
            if (!TakeDacl(&p, d)) return false;
        }
        if (part == 'S') {
            Descriptor ignored;
            if (!TakeDacl(&p, &ignored)) return false;
        }
        if (!strchr("OGDS", part)) return false;
    }
    if (!dacl) d->NullDacl = true;  // no access list at all: everyone may do everything
    return true;
}

template <int N>
bool OneOf(const char* sid, const char* const (&list)[N]) {
    for (const char* s : list)
        if (!strcmp(sid, s)) return true;
    return false;
}

bool Trusted(const char* sid) {
    return OneOf(sid, TRUSTED);
}

bool EveryUser(const char* sid) {
    return OneOf(sid, EVERY_USER);
}

const char* NameOf(const char* sid) {
    for (const auto& a : ACCOUNTS)
        if (!strcmp(sid, a.Sid)) return a.Name;
    return sid;
}

uint32_t MapGeneric(uint32_t mask, Concern concern) {
    const uint32_t* map = concern == CONCERN_SERVICE ? SERVICE_GENERIC : concern == CONCERN_KEY ? KEY_GENERIC : FILE_GENERIC;
    const uint32_t generic[4] = {0x80000000, 0x40000000, 0x20000000, 0x10000000};
    uint32_t out = mask & 0x0fffffff;
    for (int i = 0; i < 4; i++)
        if (mask & generic[i]) out |= map[i];
    return out;
}

// What sid holds of the object: each bit decided by the first entry that names it, an allow for
// sid itself or a deny for sid or for a group every user is in. The owner is also whom OWNER
// RIGHTS entries name.
uint32_t EffectiveRights(const Descriptor& d, const char* sid, bool owner, Concern concern) {
    uint32_t granted = 0, denied = 0;
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        if (a.InheritOnly) continue;
        bool self = !strcmp(a.Sid, sid) || (owner && !strcmp(a.Sid, OWNER_RIGHTS));
        uint32_t mask = MapGeneric(a.Mask, concern) & ~(granted | denied);
        if (a.Allow && self) granted |= mask;
        if (!a.Allow && (self || EveryUser(a.Sid))) denied |= mask;
    }
    return granted;
}

// Whether an entry names OWNER RIGHTS: then the owner holds what the entries give it, no more.
bool OwnerRightsLimited(const Descriptor& d) {
    for (int i = 0; i < d.Count; i++)
        if (!d.Aces[i].InheritOnly && !strcmp(d.Aces[i].Sid, OWNER_RIGHTS)) return true;
    return false;
}

// What a file made inside the folder later gets from it: the entries passed on to files.
void InheritedByFiles(const Descriptor& folder, Descriptor* file) {
    memset(file, 0, sizeof *file);
    for (int i = 0; i < folder.Count; i++)
        if (folder.Aces[i].ToFiles) {
            file->Aces[file->Count] = folder.Aces[i];
            file->Aces[file->Count++].InheritOnly = false;
        }
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

void OwnerName(const char* sddl, char* out, int size) {
    char sid[SID_TEXT];
    const char* p = sddl;
    bool named = !strncmp(p, "O:", 2) && (p += 2, TakeSid(&p, sid));
    Format(out, size, "%s", named ? NameOf(sid) : "(none)");
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

void AddRights(Findings* f, Concern concern, uint32_t rights, const char* what, const char* who, const char* fix) {
    char list[200];
    Text t = StartText(list, sizeof list);
    Words(WORDS[concern], rights, &t);
    AddFinding(f, "%s: %s may %s; %s", what, who, list, fix);
}

// An owner may always read and rewrite the access list, unless an OWNER RIGHTS entry says what
// it may instead; then it holds what the entries give it.
void JudgeOwner(const Descriptor& d, Concern concern, const char* what, const char* fix, Findings* f) {
    if (concern == CONCERN_PARENT || !d.Owner[0] || Trusted(d.Owner)) return;
    if (!OwnerRightsLimited(d)) {
        AddFinding(f, "%s: owned by %s, who can always rewrite its permissions; %s", what, NameOf(d.Owner), fix);
        return;
    }
    uint32_t rights = EffectiveRights(d, d.Owner, true, concern) & Counted(concern);
    if (!rights) return;
    char who[SID_TEXT + 20];
    Format(who, sizeof who, "its owner %s", NameOf(d.Owner));
    AddRights(f, concern, rights, what, who, fix);
}

// One finding per account but the trusted ones that holds a right that counts, at its first
// allow entry. CREATOR OWNER and CREATOR GROUP stand for someone only in what is passed on;
// OWNER RIGHTS is the owner, judged with it.
void JudgeEntries(const Descriptor& d, Concern concern, const char* what, const char* fix, Findings* f) {
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        if (!a.Allow || a.InheritOnly || Trusted(a.Sid)) continue;
        if (!strcmp(a.Sid, CREATOR_OWNER) || !strcmp(a.Sid, CREATOR_GROUP) || !strcmp(a.Sid, OWNER_RIGHTS)) continue;
        if (concern != CONCERN_PARENT && !strcmp(a.Sid, d.Owner)) continue;
        bool named = false;
        for (int j = 0; j < i; j++) named |= d.Aces[j].Allow && !d.Aces[j].InheritOnly && !strcmp(d.Aces[j].Sid, a.Sid);
        if (named) continue;
        uint32_t rights = EffectiveRights(d, a.Sid, false, concern) & Counted(concern);
        if (rights) AddRights(f, concern, rights, what, NameOf(a.Sid), fix);
    }
}

}  // namespace

bool JudgeSecurity(const char* sddl, Concern concern, const char* what, const char* fix, Findings* findings) {
    static Descriptor d, files;
    if (!Parse(sddl, &d)) return false;
    JudgeOwner(d, concern, what, fix, findings);
    if (d.NullDacl) {
        AddFinding(findings, "%s: no access list at all: everyone may do everything to it; %s", what, fix);
        return true;
    }
    JudgeEntries(d, concern, what, fix, findings);
    if (concern == CONCERN_FOLDER) {
        // The service makes its status, command and log files there later: they get these.
        char made[FINDING_SIZE];
        Format(made, sizeof made, "%s (files made in it later, as the log is)", what);
        InheritedByFiles(d, &files);
        JudgeEntries(files, CONCERN_FILE, made, fix, findings);
    }
    return true;
}
