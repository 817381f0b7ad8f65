#!/usr/bin/python3
"""The judgment of access lists held to an independent access check: Samba's.

Random descriptors (seeded) are made here field by field, each written twice: as SDDL text for
qvl's reader, and as a Samba descriptor built from numbers (Samba's own SDDL reader is wrong in
places, so it is never used). For each Windows family and each concern, Samba is asked what
plausible users who are not administrators are granted, and the judgment (tests' judge_lines)
whether it finds a way in; the two must agree.

Samba follows the rules of Vista and later. For XP and 2003, which know no OWNER RIGHTS, the
descriptor Samba gets names, where the text says OWNER RIGHTS, an account nobody holds: the owner
then keeps its implicit rights, as it does there.

Exit 77 (skipped) where python3-samba is not installed; run with Debian's /usr/bin/python3.
"""
import argparse
import random
import subprocess
import sys

try:
    from samba import security as samba_security
    from samba.dcerpc import security
except ImportError:
    print("SKIP: python3-samba is not installed (apt-get install python3-samba, or scripts/install-deps.sh): "
          "the judgment of access lists was not held to Samba's access check")
    sys.exit(77)

DOMAIN = "S-1-5-21-1004336348-1177238915-682003330"
USER, OTHER_USER, POWER_USER, GUEST = DOMAIN + "-1001", DOMAIN + "-1002", DOMAIN + "-1003", DOMAIN + "-501"
UNNAMED_USER = DOMAIN + "-1004"  # no descriptor names this one
NOBODY = "S-1-5-21-0-0-0-4242"  # an account no token here holds
TRUSTED_INSTALLER = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"

# Accounts a descriptor may name: SDDL letters (None: only as S-1-...) and the SID.
ACCOUNTS = {
    "SYSTEM": ("SY", "S-1-5-18"), "Administrators": ("BA", "S-1-5-32-544"),
    "TrustedInstaller": (None, TRUSTED_INSTALLER), "Everyone": ("WD", "S-1-1-0"),
    "Authenticated Users": ("AU", "S-1-5-11"), "Users": ("BU", "S-1-5-32-545"),
    "INTERACTIVE": ("IU", "S-1-5-4"), "NETWORK": ("NU", "S-1-5-2"), "Guests": ("BG", "S-1-5-32-546"),
    "Power Users": ("PU", "S-1-5-32-547"), "Guest": ("LG", GUEST), "user": (None, USER),
    "other user": (None, OTHER_USER), "CREATOR OWNER": ("CO", "S-1-3-0"), "CREATOR GROUP": ("CG", "S-1-3-1"),
    "OWNER RIGHTS": ("OW", "S-1-3-4"), "SELF": ("PS", "S-1-5-10"),
    # Groups an administrator may put a user in, by the letters newer Windows writes for them.
    "Remote Desktop Users": ("RD", "S-1-5-32-555"), "Hyper-V Administrators": ("HA", "S-1-5-32-578"),
    "Access Control Assistance Operators": ("AA", "S-1-5-32-579"), "RDS Remote Access Servers": ("RA", "S-1-5-32-575"),
    "USER MODE DRIVERS": ("UD", "S-1-5-84-0-0-0-0-0"),
}
GROUPS = ["Remote Desktop Users", "Hyper-V Administrators", "Access Control Assistance Operators",
          "RDS Remote Access Servers", "USER MODE DRIVERS"]
OWNER_RIGHTS = ACCOUNTS["OWNER RIGHTS"][1]
SID = {name: sid for name, (_, sid) in ACCOUNTS.items()}

# Plausible users who are not administrators, by each logon: what Windows puts in their tokens.
def tokens():
    out = []
    for logon in ("INTERACTIVE", "NETWORK"):
        plain = [SID["Everyone"], SID["Authenticated Users"], SID["Users"], SID[logon]]
        out.append(("user, " + logon, [USER] + plain))
        out.append(("other user, " + logon, [OTHER_USER] + plain))
        out.append(("unnamed user, " + logon, [UNNAMED_USER] + plain))
        out.append(("power user, " + logon, [POWER_USER, SID["Power Users"]] + plain))
        out.append(("Guest, " + logon, [GUEST, SID["Everyone"], SID["Guests"], SID[logon]]))
        for n, group in enumerate(GROUPS):
            out.append(("member of %s, %s" % (group, logon), ["%s-%d" % (DOMAIN, 1100 + n), SID[group]] + plain))
    return out

TOKENS = tokens()

# Rights, as numbers: the letters SDDL writes, the generic rights and each object's mapping.
LETTERS = {
    "GA": 0x10000000, "GX": 0x20000000, "GW": 0x40000000, "GR": 0x80000000, "SD": 0x10000, "RC": 0x20000,
    "WD": 0x40000, "WO": 0x80000, "CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8, "RP": 0x10, "WP": 0x20, "DT": 0x40,
    "LO": 0x80, "CR": 0x100, "FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0, "KA": 0xF003F,
    "KR": 0x20019, "KW": 0x20006,
}
GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE, GENERIC_ALL = 0x80000000, 0x40000000, 0x20000000, 0x10000000
MAPPINGS = {  # read, write, execute, all
    "file": (0x120089, 0x120116, 0x1200A0, 0x1F01FF),
    "service": (0x2008D, 0x20002, 0x20170, 0xF01FF),
    "key": (0x20019, 0x20006, 0x20019, 0xF003F),
}
DELETE, WRITE_DAC, WRITE_OWNER = 0x10000, 0x40000, 0x80000
FILE_WRITE_DATA, FILE_APPEND_DATA, FILE_DELETE_CHILD = 0x2, 0x4, 0x40
# What lets a user take the service over, per concern, and on which object's mapping.
CONCERNS = {
    "folder": ("file", FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER),
    "file": ("file", FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER),
    "service": ("service", 0x2 | WRITE_DAC | WRITE_OWNER),  # SERVICE_CHANGE_CONFIG
    "above": ("file", DELETE | WRITE_DAC | WRITE_OWNER),
    "parent": ("file", FILE_DELETE_CHILD),
    "key": ("key", 0x2 | 0x4 | DELETE | WRITE_DAC | WRITE_OWNER),  # KEY_SET_VALUE, KEY_CREATE_SUB_KEY
}
FILES_LATER = CONCERNS["file"][1]
MAXIMUM_ALLOWED = 0x02000000

OBJECT_INHERIT, CONTAINER_INHERIT, NO_PROPAGATE, INHERIT_ONLY, INHERITED = 0x1, 0x2, 0x4, 0x8, 0x10
FLAG_LETTERS = {"OI": OBJECT_INHERIT, "CI": CONTAINER_INHERIT, "NP": NO_PROPAGATE, "IO": INHERIT_ONLY, "ID": INHERITED}

# Entry types, and what each is to an access check with no object types: an allow, a deny, or
# nothing (a conditional deny, whose condition may not hold). A condition counts as holding; the
# object entries made here name no object type, so they apply to the object itself (Samba's
# check would pass over an object allow: it is given Samba as a plain one).
TYPES = {"A": "allow", "XA": "allow", "OA": "allow", "ZA": "allow", "D": "deny", "OD": "deny", "XD": None}
CONDITIONS = ['(Member_of {SID(BA)})', '(@User.Dept == "R)D")', '(@Resource.Tag == "a(b")', '(Exists @User.Title)']


class Entry:
    def __init__(self, kind, flags, mask, sid, text):
        self.kind, self.flags, self.mask, self.sid, self.text = kind, flags, mask, sid, text


class Case:
    """One random descriptor: its SDDL text, and its parts as numbers."""

    def __init__(self, rng):
        names = list(ACCOUNTS)
        self.owner = rng.choice(["user", "other user", "Users", "Authenticated Users", "Everyone", "Power Users",
                                 "INTERACTIVE", "Guest", "CREATOR OWNER"] + ["Administrators", "SYSTEM",
                                                                            "TrustedInstaller"] * 5)
        text = ""
        if rng.random() < 0.95:
            text = "O:" + self.sid_text(rng, self.owner)
        else:
            self.owner = None
        if rng.random() < 0.5:
            text += "G:" + self.sid_text(rng, rng.choice(["user", "Users", "SYSTEM", "Administrators"]))
        self.null = False
        self.entries = []
        shape = rng.random()
        if shape < 0.04:
            self.null = True  # no access list at all
        elif shape < 0.09:
            self.null = True
            text += "D:" + rng.choice(["", "P", "PAI", "AI", "PAR"]) + "NO_ACCESS_CONTROL"
        else:
            text += "D:" + rng.choice(["", "P", "AI", "PAI", "AR", "PAIAR"])
            count = rng.randint(65, 80) if rng.random() < 0.02 else rng.randint(0, 8)
            for _ in range(count):
                self.entries.append(self.entry(rng, names))
                text += self.entries[-1].text
        if rng.random() < 0.3:
            text += "S:" + rng.choice(["", "AI", "P"]) + "".join(
                rng.choice(["(ML;;NW;;;LW)", "(AU;SAFA;FA;;;WD)", "(ML;OICI;NWNR;;;HI)", "(AL;FA;0x1f01ff;;;AU)"])
                for _ in range(rng.randint(1, 2)))
        self.text = text

    @staticmethod
    def sid_text(rng, name):
        letters, sid = ACCOUNTS[name]
        # The local Guest's SID is the machine's own: the text can only name it by letters.
        return letters if letters and (name == "Guest" or rng.random() < 0.6) else sid

    def entry(self, rng, names):
        kind = rng.choices(list(TYPES), weights=[40, 6, 6, 6, 25, 6, 6])[0]
        flags = [f for f in FLAG_LETTERS if rng.random() < 0.2]
        rng.shuffle(flags)
        if rng.random() < 0.5:
            mask = 0
            letters = rng.sample(list(LETTERS), rng.randint(1, 3))
            rights = "".join(letters)
            for l in letters:
                mask |= LETTERS[l]
        else:
            mask = rng.choice([0, 0, 0, GENERIC_ALL, GENERIC_WRITE, GENERIC_READ, GENERIC_EXECUTE])
            for bit in (0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x10000, 0x20000, 0x40000, 0x80000):
                mask |= bit if rng.random() < 0.12 else 0
            rights = hex(mask) if rng.random() < 0.7 else str(mask)
        name = rng.choice(names + ["SYSTEM", "Administrators", "TrustedInstaller"] * 4)
        sid = self.sid_text(rng, name)
        text = "(%s;%s;%s;;;%s" % (kind, "".join(flags), rights, sid)
        if kind in ("XA", "XD", "ZA"):
            text += ";" + rng.choice(CONDITIONS)
        text += ")"
        bits = 0
        for f in flags:
            bits |= FLAG_LETTERS[f]
        return Entry(TYPES[kind], bits, mask, SID[name], text)


def mapped(mask, mapping):
    read, write, execute, everything = MAPPINGS[mapping]
    out = mask & 0x0FFFFFFF
    for bit, to in ((GENERIC_READ, read), (GENERIC_WRITE, write), (GENERIC_EXECUTE, execute), (GENERIC_ALL, everything)):
        if mask & bit:
            out |= to
    return out


def samba_descriptor(owner, entries, null, mapping, rules):
    d = security.descriptor()
    d.revision = 1
    d.type = security.SEC_DESC_SELF_RELATIVE | security.SEC_DESC_DACL_PRESENT
    d.owner_sid = security.dom_sid(owner or NOBODY)
    if null:
        d.dacl = None
        return d
    aces = []
    for e in entries:
        if e.kind is None:
            continue
        a = security.ace()
        a.type = security.SEC_ACE_TYPE_ACCESS_ALLOWED if e.kind == "allow" else security.SEC_ACE_TYPE_ACCESS_DENIED
        a.flags = e.flags
        a.access_mask = mapped(e.mask, mapping)
        a.trustee = security.dom_sid(NOBODY if rules == "xp" and e.sid == OWNER_RIGHTS else e.sid)
        aces.append(a)
    acl = security.acl()
    acl.revision = security.SECURITY_ACL_REVISION_NT4
    acl.aces = aces
    acl.num_aces = len(aces)
    d.dacl = acl
    return d


def files_later(case):
    """What a file the service (LocalSystem) makes in the folder gets: the entries passed on to
    files, the creator's accounts standing for SYSTEM; SYSTEM owns it."""
    out = []
    for e in case.entries:
        if e.flags & OBJECT_INHERIT:
            sid = SID["SYSTEM"] if e.sid in (SID["CREATOR OWNER"], SID["CREATOR GROUP"]) else e.sid
            out.append(Entry(e.kind, 0, e.mask, sid, ""))
    return out


def samba_token(sids):
    t = security.token()
    t.sids = [security.dom_sid(s) for s in sids]
    t.num_sids = len(sids)
    return t


SAMBA_TOKENS = [(name, samba_token(sids)) for name, sids in TOKENS]


def granted(d, token, wanted):
    # Samba's maximum-allowed mode gives a NULL access list's owner its implicit rights only, so
    # there each right is asked for on its own.
    if d.dacl is None:
        out = 0
        for bit in range(32):
            if wanted & (1 << bit):
                try:
                    samba_security.access_check(d, token, 1 << bit)
                    out |= 1 << bit
                except Exception:
                    pass
        return out
    try:
        return samba_security.access_check(d, token, MAXIMUM_ALLOWED) & wanted
    except Exception:
        return 0


def samba_verdicts(case, rules):
    """Per concern: which token is granted which right that counts, or None."""
    descriptors = {m: samba_descriptor(case.owner and SID[case.owner], case.entries, case.null, m, rules)
                   for m in MAPPINGS}
    later = None if case.null else samba_descriptor(SID["SYSTEM"], files_later(case), False, "file", rules)
    out = {}
    for concern, (mapping, counts) in CONCERNS.items():
        found = None
        for name, token in SAMBA_TOKENS:
            g = granted(descriptors[mapping], token, counts)
            if not g and concern == "folder" and later is not None:
                g = granted(later, token, FILES_LATER)
                name += " (files made later)"
            if g:
                found = "%s: 0x%x" % (name, g)
                break
        out[concern] = found
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--judge", required=True, help="the judge_lines program")
    parser.add_argument("--seed", type=int, action="append", help="seed (repeatable)")
    parser.add_argument("--count", type=int, default=2000, help="descriptors per seed")
    args = parser.parse_args()
    failures = 0
    for seed in args.seed or [1]:
        rng = random.Random(seed)
        cases = [Case(rng) for _ in range(args.count)]
        asks = [(c, rules, concern) for c in cases for rules in ("xp", "vista") for concern in CONCERNS]
        request = "".join("%s %s %s\n" % (rules, concern, c.text) for c, rules, concern in asks)
        judged = subprocess.run([args.judge], input=request, capture_output=True, text=True, check=True)
        answers = judged.stdout.split("\n")[:-1]
        if len(answers) != len(asks):
            print("the judgment answered %d of %d lines: %s" % (len(answers), len(asks), judged.stderr))
            return 1
        samba = {}
        ways = 0
        for (c, rules, concern), answer in zip(asks, answers):
            key = (id(c), rules)
            if key not in samba:
                samba[key] = samba_verdicts(c, rules)
            reference = samba[key][concern]
            ways += reference is not None
            if answer == ("way" if reference else "none"):
                continue
            failures += 1
            if failures <= 20:
                print("seed %d, %s rules, %s: the judgment says %s, Samba %s\n  %s" %
                      (seed, rules, concern, answer, reference or "no way in", c.text))
        print("seed %d: %d descriptors, %d judgments, %d ways in by Samba" % (seed, len(cases), len(asks), ways))
    if failures:
        print("%d disagreements" % failures)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
