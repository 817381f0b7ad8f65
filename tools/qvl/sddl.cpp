// Reading SDDL text: accounts by their letters, rights by their letters or number, the access
// list's flags and entries, conditions skipped as a whole.
#include "tools/qvl/sddl.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Accounts by their SDDL letters, their SIDs and their names.
const struct {
    const char* Letters;
    const char* Sid;
    const char* Name;
} ACCOUNTS[] = {
    {"SY", SID_SYSTEM, "SYSTEM"},
    {"BA", SID_ADMINISTRATORS, "Administrators"},
    {"BU", SID_USERS, "Users"},
    {"BG", SID_GUESTS, "Guests"},
    {"PU", "S-1-5-32-547", "Power Users"},
    {"BO", "S-1-5-32-551", "Backup Operators"},
    {"RD", "S-1-5-32-555", "Remote Desktop Users"},
    {"WD", SID_EVERYONE, "Everyone"},
    {"AU", SID_AUTHENTICATED_USERS, "Authenticated Users"},
    {"IU", SID_INTERACTIVE, "INTERACTIVE"},
    {"SU", "S-1-5-6", "SERVICE"},
    {"AN", "S-1-5-7", "ANONYMOUS LOGON"},
    {"LS", "S-1-5-19", "LOCAL SERVICE"},
    {"NS", "S-1-5-20", "NETWORK SERVICE"},
    {"NU", SID_NETWORK, "NETWORK"},
    {"CO", SID_CREATOR_OWNER, "CREATOR OWNER"},
    {"CG", SID_CREATOR_GROUP, "CREATOR GROUP"},
    {"OW", SID_OWNER_RIGHTS, "OWNER RIGHTS"},
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
    {"CD", "S-1-5-32-574", "Certificate Service DCOM Access"},
    {"RA", "S-1-5-32-575", "RDS Remote Access Servers"},
    {"HA", "S-1-5-32-578", "Hyper-V Administrators"},
    {"AA", "S-1-5-32-579", "Access Control Assistance Operators"},
    {"RM", "S-1-5-32-580", "Remote Management Users"},
    {"UD", "S-1-5-84-0-0-0-0-0", "USER MODE DRIVERS"},
    {"ED", "S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS"},
    {"PS", SID_SELF, "SELF"},
    {"RC", "S-1-5-12", "RESTRICTED"},
    {"WR", "S-1-5-33", "WRITE RESTRICTED"},
    {"AS", "S-1-18-1", "Authentication authority asserted identity"},
    {"SS", "S-1-18-2", "Service asserted identity"},
    {"LW", "S-1-16-4096", "Low Mandatory Level"},
    {"ME", "S-1-16-8192", "Medium Mandatory Level"},
    {"MP", "S-1-16-8448", "Medium Plus Mandatory Level"},
    {"HI", "S-1-16-12288", "High Mandatory Level"},
    {"SI", "S-1-16-16384", "System Mandatory Level"},
    {"LA", SID_LOCAL_ADMINISTRATOR, "the local Administrator"},
    {"LG", SID_LOCAL_GUEST, "the local Guest"},
    {"DA", SID_DOMAIN_ADMINS, "Domain Admins"},
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
    {"AP", "(Protected Users)", "Protected Users"},
    {"KA", "(Key Admins)", "Key Admins"},
    {"EK", "(Enterprise Key Admins)", "Enterprise Key Admins"},
    {nullptr, SID_TRUSTED_INSTALLER, "TrustedInstaller"},
};

const struct {
    const char* Letters;
    uint32_t Mask;
} RIGHTS[] = {
    {"GA", 0x10000000}, {"GX", 0x20000000}, {"GW", 0x40000000}, {"GR", 0x80000000}, {"SD", 0x10000},
    {"RC", 0x20000},    {"WD", 0x40000},    {"WO", 0x80000},    {"CC", 0x1},        {"DC", 0x2},
    {"LC", 0x4},        {"SW", 0x8},        {"RP", 0x10},       {"WP", 0x20},       {"DT", 0x40},
    {"LO", 0x80},       {"CR", 0x100},      {"FA", 0x1f01ff},   {"FR", 0x120089},   {"FW", 0x120116},
    {"FX", 0x1200a0},   {"KA", 0xf003f},    {"KR", 0x20019},    {"KW", 0x20006},    {"KX", 0x20019},
    {"NR", 0x2},        {"NW", 0x1},        {"NX", 0x4},
};

// Entry types by their letters. Object entries count whatever object type they name: a file, a
// folder, a service or a key has none, and a grant the judgment cannot place is a grant.
enum Effect { GRANTS, DENIES, DENIES_UNLESS_TYPED, BINDS_NOBODY, NOTHING };
const struct {
    const char* Letters;
    Effect Does;
} TYPES[] = {
    {"A", GRANTS},  {"XA", GRANTS},  {"OA", GRANTS},  {"ZA", GRANTS},  {"D", DENIES},   {"OD", DENIES_UNLESS_TYPED},
    {"XD", BINDS_NOBODY}, {"AU", NOTHING}, {"AL", NOTHING}, {"OU", NOTHING}, {"OL", NOTHING}, {"ML", NOTHING},
    {"XU", NOTHING}, {"ZU", NOTHING}, {"RA", NOTHING}, {"SP", NOTHING}, {"TL", NOTHING}, {"FL", NOTHING},
};

// Rights as letters, 0x... or a decimal number, from s to end.
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

// The n fields of an entry from s to end, each at its start and ending at the next ';' or end.
bool Fields(const char* s, const char* end, const char** field, int n) {
    for (int i = 0; i < n; i++) {
        field[i] = s;
        const char* semi = static_cast<const char*>(memchr(s, ';', end - s));
        s = semi ? semi + 1 : end + 1;
        if (i + 1 < n && !semi) return false;
    }
    return true;
}

bool Is(const char* field, const char* letters) {
    size_t n = strlen(letters);
    return !strncmp(field, letters, n) && field[n] == ';';
}

// One entry, (type;flags;rights;object;inherited object;sid[;condition]), from p, just past its
// '(', to end, its ')'; added to d when it grants or denies.
bool TakeAce(const char* p, const char* end, Descriptor* d) {
    const char* f[6];
    if (!Fields(p, end, f, 6)) return false;
    const Effect* does = nullptr;
    for (const auto& t : TYPES)
        if (Is(f[0], t.Letters)) does = &t.Does;
    if (!does) return false;
    Ace a = {};
    a.Allow = *does == GRANTS;
    for (const char* g = f[1]; g + 1 < f[2] - 1; g += 2) {
        if (!strncmp(g, "IO", 2)) a.InheritOnly = true;
        if (!strncmp(g, "OI", 2)) a.ToFiles = true;
    }
    if (!TakeRights(f[2], f[3] - 1, &a.Mask)) return false;
    const char* s = f[5];
    if (!TakeSid(&s, a.Sid) || (s != end && *s != ';')) return false;
    bool typed = f[4] - 1 > f[3];
    if (*does == NOTHING || *does == BINDS_NOBODY || (*does == DENIES_UNLESS_TYPED && typed)) return true;
    if (d) d->Aces[d->Count++] = a;
    return true;
}

// The ')' that closes the '(' at s: conditions nest, and a quoted string in one may hold either.
const char* Closing(const char* s) {
    int depth = 0;
    bool quoted = false;
    for (; *s; s++) {
        if (*s == '"') quoted = !quoted;
        if (quoted) continue;
        depth += *s == '(';
        if (*s == ')' && --depth == 0) return s;
    }
    return nullptr;
}

// An access list after "D:" or "S:": its flags, then its entries, into d where it is given; p is
// left past it.
bool TakeAcl(const char** p, Descriptor* d) {
    const char* s = *p;
    const char* const FLAGS[] = {"NO_ACCESS_CONTROL", "P", "AI", "AR"};
    while (*s && *s != '(' && s[1] != ':') {
        size_t n = 0;
        for (const char* flag : FLAGS)
            if (!strncmp(s, flag, strlen(flag))) n = strlen(flag);
        if (!n) return false;
        if (d && n == strlen(FLAGS[0])) d->NullDacl = true;
        s += n;
    }
    while (*s == '(') {
        const char* close = Closing(s);
        if (!close || !TakeAce(s + 1, close, d)) return false;
        s = close + 1;
    }
    *p = s;
    return true;
}

bool Parse(const char* sddl, Descriptor* d) {
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
            if (!TakeAcl(&p, d)) return false;
        }
        if (part == 'S' && !TakeAcl(&p, nullptr)) return false;
        if (!strchr("OGDS", part)) return false;
    }
    if (!dacl) d->NullDacl = true;  // no access list at all: everyone may do everything
    return true;
}

}  // namespace

bool TakeSid(const char** p, char* out) {
    const char* s = *p;
    if (s[0] == 'S' && s[1] == '-') {
        // Digits and dashes only: an 'S' after it starts the next part.
        size_t n = 2 + strspn(s + 2, "-0123456789");
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

const char* AccountName(const char* sid) {
    for (const auto& a : ACCOUNTS)
        if (!strcmp(sid, a.Sid)) return a.Name;
    return sid;
}

bool ReadSddl(const char* sddl, Descriptor* d) {
    memset(d, 0, sizeof *d);
    // Every entry opens with a '(': no more entries than those.
    int most = 1;
    for (const char* s = sddl; *s; s++) most += *s == '(';
    d->Aces = static_cast<Ace*>(calloc(most, sizeof(Ace)));
    if (d->Aces && Parse(sddl, d)) return true;
    FreeDescriptor(d);
    return false;
}

void FreeDescriptor(Descriptor* d) {
    free(d->Aces);
    memset(d, 0, sizeof *d);
}
