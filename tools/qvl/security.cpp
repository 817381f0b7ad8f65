// The judgment of access lists: SDDL parsed into entries, generic rights mapped, each account's
// effective rights found entry by entry as Windows does, and what counts named in plain words.
#include "tools/qvl/security.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "tools/qvl/text.h"

const char* const LOCK_SDDL = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

namespace {

const int SID_TEXT = 192;
const int ACES_MAX = 64;

const char SYSTEM[] = "S-1-5-18", ADMINISTRATORS[] = "S-1-5-32-544", USERS[] = "S-1-5-32-545";
const char EVERYONE[] = "S-1-1-0", AUTHENTICATED_USERS[] = "S-1-5-11", INTERACTIVE[] = "S-1-5-4";
const char CREATOR_OWNER[] = "S-1-3-0", CREATOR_GROUP[] = "S-1-3-1", OWNER_RIGHTS[] = "S-1-3-4";
const char TRUSTED_INSTALLER[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

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
    {nullptr, TRUSTED_INSTALLER, "TrustedInstaller"},
};

// Every signed-in user is a member of these, so a deny entry for one binds them all.
const char* const EVERY_USER[] = {EVERYONE, AUTHENTICATED_USERS, USERS, INTERACTIVE};

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

// Generic read, write, execute and all, as files and folders, and services, map them.
const uint32_t FILE_GENERIC[4] = {0x120089, 0x120116, 0x1200a0, 0x1f01ff};
const uint32_t SERVICE_GENERIC[4] = {0x2008d, 0x20002, 0x20170, 0xf01ff};

const uint32_t DELETE = 0x10000, WRITE_DAC = 0x40000, WRITE_OWNER = 0x80000;
const uint32_t FILE_WRITE_DATA = 0x2, FILE_APPEND_DATA = 0x4, FILE_DELETE_CHILD = 0x40;
const uint32_t SERVICE_CHANGE_CONFIG = 0x2;

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
};

struct Ace {
    bool Allow;
    bool InheritOnly;
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
    bool allow = !strncmp(p, "A;", 2), deny = !strncmp(p, "D;", 2);
    if (!allow && !deny) return true;  // audit, label, object and callback entries grant nothing here
    if (d->Count == ACES_MAX) return false;
    Ace& a = d->Aces[d->Count];
    a.Allow = allow;
    a.InheritOnly = false;
    for (const char* f = flags; f + 1 < rights - 1; f += 2)
        if (!strncmp(f, "IO", 2)) a.InheritOnly = true;
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

bool Trusted(const char* sid) {
    return !strcmp(sid, SYSTEM) || !strcmp(sid, ADMINISTRATORS) || !strcmp(sid, TRUSTED_INSTALLER);
}

bool EveryUser(const char* sid) {
    for (const char* s : EVERY_USER)
        if (!strcmp(sid, s)) return true;
    return false;
}

const char* NameOf(const char* sid) {
    for (const auto& a : ACCOUNTS)
        if (!strcmp(sid, a.Sid)) return a.Name;
    return sid;
}

uint32_t MapGeneric(uint32_t mask, Concern concern) {
    const uint32_t* map = concern == CONCERN_SERVICE ? SERVICE_GENERIC : FILE_GENERIC;
    const uint32_t generic[4] = {0x80000000, 0x40000000, 0x20000000, 0x10000000};
    uint32_t out = mask & 0x0fffffff;
    for (int i = 0; i < 4; i++)
        if (mask & generic[i]) out |= map[i];
    return out;
}

// What sid holds of the object: each bit decided by the first entry that names it, an allow for
// sid itself or a deny for sid or for a group every user is in.
uint32_t EffectiveRights(const Descriptor& d, const char* sid, Concern concern) {
    uint32_t granted = 0, denied = 0;
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        if (a.InheritOnly) continue;
        uint32_t mask = MapGeneric(a.Mask, concern) & ~(granted | denied);
        if (a.Allow && !strcmp(a.Sid, sid)) granted |= mask;
        if (!a.Allow && (!strcmp(a.Sid, sid) || EveryUser(a.Sid))) denied |= mask;
    }
    return granted;
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
    if (f->Count == FINDINGS_MAX) return;
    Text t = StartText(f->Lines[f->Count++], FINDING_SIZE);
    t.Length += os::FormatV(t.Out, t.Size, format, args);
}

}  // namespace

void AddFinding(Findings* findings, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddFindingV(findings, format, args);
    va_end(args);
}

bool JudgeSecurity(const char* sddl, Concern concern, const char* what, const char* fix, Findings* findings) {
    static Descriptor d;
    if (!Parse(sddl, &d)) return false;
    const RightName* words = WORDS[concern];
    uint32_t counts = 0;
    for (int i = 0; i < 6 && words[i].Words; i++) counts |= words[i].Mask;
    if (concern != CONCERN_PARENT && d.Owner[0] && !Trusted(d.Owner))
        AddFinding(findings, "%s: owned by %s, who can always rewrite its permissions; %s", what, NameOf(d.Owner), fix);
    if (d.NullDacl) {
        AddFinding(findings, "%s: no access list at all: everyone may do everything to it; %s", what, fix);
        return true;
    }
    for (int i = 0; i < d.Count; i++) {
        const Ace& a = d.Aces[i];
        if (!a.Allow || a.InheritOnly || Trusted(a.Sid)) continue;
        bool named = false;  // each account once, at its first allow entry
        for (int j = 0; j < i; j++) named |= d.Aces[j].Allow && !d.Aces[j].InheritOnly && !strcmp(d.Aces[j].Sid, a.Sid);
        // CREATOR OWNER and CREATOR GROUP stand for someone only in what is inherited; OWNER RIGHTS
        // is the owner, judged above.
        if (named || !strcmp(a.Sid, CREATOR_OWNER) || !strcmp(a.Sid, CREATOR_GROUP)) continue;
        if (!strcmp(a.Sid, OWNER_RIGHTS) && (!d.Owner[0] || Trusted(d.Owner))) continue;
        uint32_t rights = EffectiveRights(d, a.Sid, concern) & counts;
        if (!rights) continue;
        char list[200];
        Text t = StartText(list, sizeof list);
        Words(words, rights, &t);
        AddFinding(findings, "%s: %s may %s; %s", what, NameOf(a.Sid), list, fix);
    }
    return true;
}
