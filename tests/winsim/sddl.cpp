// The simulation's own reading of SDDL and its own access check: written from the system's rules,
// never from the product's judgment, so that each holds the other to account.
#include <cstdlib>
#include <cstring>

#include "tests/winsim/world.h"

namespace winsim {

const char* const SID_SYSTEM = "S-1-5-18";
const char* const SID_ADMINISTRATORS = "S-1-5-32-544";
const char* const SID_USERS = "S-1-5-32-545";
const char* const SID_AUTHENTICATED = "S-1-5-11";
const char* const SID_EVERYONE = "S-1-1-0";
const char* const SID_INTERACTIVE = "S-1-5-4";
const char* const SID_OWNER_RIGHTS = "S-1-3-4";
const char* const SID_CREATOR_OWNER = "S-1-3-0";
const char* const SID_POWER_USERS = "S-1-5-32-547";
const char* const SID_ADMIN_ACCOUNT = "S-1-5-21-1111-2222-3333-500";
const char* const SID_LOCAL_USER = "S-1-5-21-1111-2222-3333-1001";

namespace {

const struct {
    const char* Letters;
    const char* Sid;
} ALIASES[] = {
    {"SY", "S-1-5-18"}, {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"AU", "S-1-5-11"}, {"WD", "S-1-1-0"},
    {"IU", "S-1-5-4"},  {"OW", "S-1-3-4"},      {"CO", "S-1-3-0"},      {"CG", "S-1-3-1"},  {"PU", "S-1-5-32-547"},
    {"BG", "S-1-5-32-546"}, {"PS", "S-1-5-10"}, {"SU", "S-1-5-6"},      {"LS", "S-1-5-19"}, {"NS", "S-1-5-20"},
};

const struct {
    const char* Letters;
    Mask Rights;
} RIGHTS[] = {
    {"GA", GENERIC_ALL}, {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE}, {"SD", DELETE},
    {"RC", READ_CONTROL}, {"WD", WRITE_DAC}, {"WO", WRITE_OWNER}, {"FA", FILE_ALL}, {"FR", FILE_READ},
    {"FW", FILE_WRITE}, {"FX", FILE_RUN}, {"CC", 0x1}, {"DC", 0x2}, {"LC", 0x4}, {"SW", 0x8}, {"RP", 0x10},
    {"WP", 0x20}, {"DT", 0x40}, {"LO", 0x80}, {"CR", 0x100}, {"KA", 0xf003f}, {"KR", 0x20019}, {"KW", 0x20006},
};

const struct {
    const char* Letters;
    uint32_t Flag;
} FLAGS[] = {{"OI", ACE_OI}, {"CI", ACE_CI}, {"NP", ACE_NP}, {"IO", ACE_IO}, {"ID", ACE_ID}};

bool TakeSid(const std::string& s, size_t* at, std::string* sid) {
    if (s.compare(*at, 2, "S-") == 0) {
        size_t end = s.find_first_not_of("S-0123456789", *at);
        if (end == std::string::npos) end = s.size();
        // "S:" after a numeric SID starts the next part.
        if (end > *at && s[end - 1] == 'S' && end < s.size() && s[end] == ':') end--;
        *sid = s.substr(*at, end - *at);
        *at = end;
        return true;
    }
    for (const auto& a : ALIASES)
        if (s.compare(*at, 2, a.Letters) == 0) {
            *sid = a.Sid;
            *at += 2;
            return true;
        }
    return false;
}

bool TakeRights(const std::string& text, Mask* rights) {
    *rights = 0;
    if (!text.empty() && isdigit(static_cast<unsigned char>(text[0]))) {
        char* end;
        *rights = static_cast<Mask>(strtoul(text.c_str(), &end, 0));
        return *end == '\0';
    }
    for (size_t i = 0; i + 1 < text.size() + 1 && i < text.size(); i += 2) {
        bool known = false;
        for (const auto& r : RIGHTS)
            if (text.compare(i, 2, r.Letters) == 0) *rights |= r.Rights, known = true;
        if (!known) return false;
    }
    return true;
}

std::vector<std::string> Split(const std::string& s, char by) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t at = s.find(by, from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

bool TakeAce(const std::string& text, Descriptor* d) {
    std::vector<std::string> f = Split(text, ';');
    if (f.size() != 6 || (f[0] != "A" && f[0] != "D")) return false;
    Ace a;
    a.Allow = f[0] == "A";
    for (size_t i = 0; i + 1 < f[1].size() + 1 && i < f[1].size(); i += 2) {
        bool known = false;
        for (const auto& fl : FLAGS)
            if (f[1].compare(i, 2, fl.Letters) == 0) a.Flags |= fl.Flag, known = true;
        if (!known) return false;
    }
    if (!TakeRights(f[2], &a.Rights)) return false;
    size_t at = 0;
    if (!TakeSid(f[5], &at, &a.Sid) || at != f[5].size()) return false;
    d->Dacl.push_back(a);
    return true;
}

}  // namespace

bool ParseSddl(const std::string& s, Descriptor* d) {
    *d = Descriptor();
    size_t at = 0;
    while (at < s.size()) {
        if (at + 1 >= s.size() || s[at + 1] != ':') return false;
        char part = s[at];
        at += 2;
        std::string sid;
        if (part == 'O' || part == 'G') {
            if (!TakeSid(s, &at, &sid)) return false;
            if (part == 'O') d->Owner = sid;
        } else if (part == 'D') {
            d->HasDacl = true;
            size_t open = s.find('(', at);
            size_t next = s.find(':', at);
            std::string flags = s.substr(at, std::min(open, next == std::string::npos ? s.size() : next - 1) - at);
            if (flags.find("NO_ACCESS_CONTROL") != std::string::npos) d->HasDacl = false;
            d->Protected = flags.find('P') != std::string::npos && flags.find("NO_ACCESS_CONTROL") == std::string::npos;
            at += flags.size();
            while (at < s.size() && s[at] == '(') {
                size_t close = s.find(')', at);
                if (close == std::string::npos || !TakeAce(s.substr(at + 1, close - at - 1), d)) return false;
                at = close + 1;
            }
        } else if (part == 'S') {
            at = s.size();  // the audit list grants nothing
        } else {
            return false;
        }
    }
    return true;
}

std::string SddlOf(const Descriptor& d) {
    std::string s;
    if (!d.Owner.empty()) s += "O:" + d.Owner;
    if (!d.HasDacl) return s + "D:NO_ACCESS_CONTROL";
    s += "D:";
    if (d.Protected) s += "P";
    for (const Ace& a : d.Dacl) {
        s += a.Allow ? "(A;" : "(D;";
        for (const auto& f : FLAGS)
            if (a.Flags & f.Flag) s += f.Letters;
        char rights[16];
        snprintf(rights, sizeof rights, "0x%x", a.Rights);
        s += std::string(";") + rights + ";;;" + a.Sid + ")";
    }
    return s;
}

bool Token::Has(const std::string& sid) const {
    if (sid == User) return true;
    for (const auto& g : Groups)
        if (g == sid) return true;
    return false;
}

Token AdministratorToken() {
    Token t;
    t.User = SID_ADMIN_ACCOUNT;
    t.Groups = {SID_ADMINISTRATORS, SID_USERS, SID_AUTHENTICATED, SID_EVERYONE, SID_INTERACTIVE};
    t.DefaultOwner = SID_ADMINISTRATORS;
    t.MayBackup = t.MayRestore = t.MayTakeOwnership = true;
    return t;
}

Token UserToken() {
    Token t;
    t.User = SID_LOCAL_USER;
    t.Groups = {SID_USERS, SID_AUTHENTICATED, SID_EVERYONE, SID_INTERACTIVE};
    t.DefaultOwner = SID_LOCAL_USER;
    return t;
}

Mask MapFileGeneric(Mask m) {
    Mask out = m & 0x0fffffff;
    if (m & GENERIC_READ) out |= FILE_READ;
    if (m & GENERIC_WRITE) out |= FILE_WRITE;
    if (m & GENERIC_EXECUTE) out |= FILE_RUN;
    if (m & GENERIC_ALL) out |= FILE_ALL;
    return out;
}

Mask Granted(const Descriptor& d, const Token& t, const Version& v) {
    if (!d.HasDacl) return FILE_ALL;
    bool ownerRights = false;
    if (v.Vista())
        for (const Ace& a : d.Dacl) ownerRights |= !(a.Flags & ACE_IO) && a.Sid == SID_OWNER_RIGHTS;
    bool owner = !d.Owner.empty() && t.Has(d.Owner);
    Mask granted = owner && !ownerRights ? READ_CONTROL | WRITE_DAC : 0, denied = 0;
    for (const Ace& a : d.Dacl) {
        if (a.Flags & ACE_IO) continue;
        bool applies = t.Has(a.Sid) || (owner && v.Vista() && a.Sid == SID_OWNER_RIGHTS);
        if (!applies) continue;
        Mask m = MapFileGeneric(a.Rights);
        if (a.Allow) granted |= m & ~denied;
        else denied |= m & ~granted;
    }
    return granted;
}

}  // namespace winsim
