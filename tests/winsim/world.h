// The simulated Windows that qvl's verbs run against in the native tests: a tree of files and
// folders in memory (hard links, reparse points), each with an owner and an access list, handles
// that keep what an access check granted when they were opened, sharing as Windows applies it,
// the service manager and the registry keys the verbs read, the environment, the Windows version
// and a virtual clock. Two callers act in it: the tool (an elevated administrator) and a local
// user, the attacker, whose scripts run between the tool's calls. Everything is one World below;
// Reset() makes a fresh one. This access check is the tests' own: it never asks the product's
// judgment (tools/qvl/security.cpp) what a descriptor allows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace winsim {

typedef uint32_t Mask;

// Rights, as the system numbers them.
const Mask READ_DATA = 0x1, WRITE_DATA = 0x2, APPEND_DATA = 0x4, READ_EA = 0x8, WRITE_EA = 0x10, EXECUTE = 0x20,
           DELETE_CHILD = 0x40, READ_ATTRIBUTES = 0x80, WRITE_ATTRIBUTES = 0x100;
const Mask LIST_FOLDER = READ_DATA, ADD_FILE = WRITE_DATA, ADD_FOLDER = APPEND_DATA, TRAVERSE = EXECUTE;
const Mask DELETE = 0x10000, READ_CONTROL = 0x20000, WRITE_DAC = 0x40000, WRITE_OWNER = 0x80000, SYNCHRONIZE = 0x100000;
const Mask MAXIMUM_ALLOWED = 0x02000000;
const Mask GENERIC_ALL = 0x10000000, GENERIC_EXECUTE = 0x20000000, GENERIC_WRITE = 0x40000000, GENERIC_READ = 0x80000000;
const Mask FILE_ALL = 0x1f01ff, FILE_READ = 0x120089, FILE_WRITE = 0x120116, FILE_RUN = 0x1200a0;
// What makes a handle count for sharing: without any of these, no sharing is asked or kept.
const Mask DATA_RIGHTS = READ_DATA | WRITE_DATA | APPEND_DATA | EXECUTE | DELETE;
// What lets a holder change an object or what it holds: the attacker's prize.
const Mask TAKEOVER_RIGHTS = WRITE_DATA | APPEND_DATA | DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

const uint32_t SHARE_READ = 1, SHARE_WRITE = 2, SHARE_DELETE = 4;

// Reparse tags: the two kinds of link, and tags that are not links.
const uint32_t TAG_SYMLINK = 0xA000000C, TAG_JUNCTION = 0xA0000003, TAG_DEDUP = 0x80000013, TAG_WOF = 0x80000017,
               TAG_CLOUD = 0x9000001A, TAG_APPEXECLINK = 0x8000001B, TAG_UNKNOWN = 0x80000099;

// The system's error numbers the simulation gives.
const uint32_t E_FILE_NOT_FOUND = 2, E_PATH_NOT_FOUND = 3, E_ACCESS_DENIED = 5, E_INVALID_HANDLE = 6,
               E_NO_MORE_FILES = 18, E_SHARING_VIOLATION = 32, E_FILE_EXISTS = 80, E_INVALID_PARAMETER = 87,
               E_DIR_NOT_EMPTY = 145, E_ALREADY_EXISTS = 183, E_NOT_ALL_ASSIGNED = 1300, E_INVALID_OWNER = 1307,
               E_SERVICE_DOES_NOT_EXIST = 1060, E_SERVICE_NOT_ACTIVE = 1062, E_SERVICE_EXISTS = 1073,
               E_SERVICE_MARKED_FOR_DELETE = 1072, E_SERVICE_ALREADY_RUNNING = 1056, E_SERVICE_DISABLED = 1058, E_CANT_RESOLVE = 1921,
               E_NOT_A_REPARSE_POINT = 4390, E_NETWORK = 59;

// Accounts the world knows.
extern const char* const SID_SYSTEM;
extern const char* const SID_ADMINISTRATORS;
extern const char* const SID_USERS;
extern const char* const SID_AUTHENTICATED;
extern const char* const SID_EVERYONE;
extern const char* const SID_INTERACTIVE;
extern const char* const SID_OWNER_RIGHTS;
extern const char* const SID_CREATOR_OWNER;
extern const char* const SID_POWER_USERS;
extern const char* const SID_ADMIN_ACCOUNT;  // the operator who runs the tool
extern const char* const SID_LOCAL_USER;     // the attacker

// An access list entry and a descriptor, parsed from SDDL by the simulation's own reader.
const uint32_t ACE_OI = 1, ACE_CI = 2, ACE_NP = 4, ACE_IO = 8, ACE_ID = 0x10;
struct Ace {
    bool Allow = true;
    uint32_t Flags = 0;
    Mask Rights = 0;
    std::string Sid;
};
struct Descriptor {
    std::string Owner;  // S-1-..., empty when none was given
    bool HasDacl = false;
    bool Protected = false;
    std::vector<Ace> Dacl;
};
// False for text this reader does not take (it takes what the tests and the tool write).
bool ParseSddl(const std::string& text, Descriptor* d);
std::string SddlOf(const Descriptor& d);

// Who acts: the groups and privileges of a token.
struct Token {
    std::string User;
    std::vector<std::string> Groups;
    std::string DefaultOwner;
    bool MayBackup = false, MayRestore = false, MayTakeOwnership = false;  // held
    bool PrivilegesOn = false;                                             // enabled
    bool Has(const std::string& sid) const;
};
Token AdministratorToken();
Token UserToken();

// Which Windows the world is: XP and 2003 know no OWNER RIGHTS.
struct Version {
    int Major = 10, Minor = 0;
    bool Vista() const { return Major >= 6; }
};

// The rights a descriptor grants a token, with the generic ones mapped for files (test code:
// first entry naming a right decides it, the owner reads and rewrites the list unless OWNER
// RIGHTS is named on Vista and later, a NULL list grants everything).
Mask Granted(const Descriptor& d, const Token& t, const Version& v);
Mask MapFileGeneric(Mask m);

struct Object {
    bool Folder = false;
    std::string Data;
    Descriptor Security;
    uint32_t Tag = 0;            // 0: no reparse point
    std::string Target;          // where a link points, an absolute path
    std::map<std::string, int> Children;  // by upper-cased name: the object's id
    std::map<std::string, std::string> Spelling;  // upper-cased name: as it was made
    int Names = 0;               // hard links (a folder has one)
    int Parent = 0;              // a folder's (0 for a root); a file's first
    int64_t Written = 0;         // virtual ms
    bool Gone = false;
};

struct Handle {
    int Object = 0;
    int Parent = 0;              // the folder it was opened through, and the name
    std::string Name;
    Mask Access = 0;             // what the check granted at the open
    uint32_t Share = 0;
    bool Tool = true;            // the tool's, or the attacker's
    bool Open = false;
    size_t Position = 0;         // where the next read or write goes
};

// The service manager's record of one service, and the service's behaviour when started.
struct Service {
    std::string Name;            // as it was made; the key upper-cased when empty
    std::string Display, Description, BinaryPath, Account = "LocalSystem";
    uint32_t Type = 0x110, Start = 3, ErrorControl = 1;
    uint32_t State = 1;          // SERVICE_STOPPED
    uint32_t ExitCode = 0, SpecificExitCode = 0;
    std::string Security = "O:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
                           "(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)";
    std::string KeySecurity = "O:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)";
    // Recovery: each action's type and delay, the reset period, the command a run-command
    // action runs, and the flag (kept from Vista on only).
    bool FailureActionsOnNonCrash = false;
    std::vector<std::pair<uint32_t, uint32_t>> FailureActions;
    uint32_t FailureResetSeconds = 0;
    std::string FailureCommand;
    bool MarkedForDelete = false;
    int OpenHandles = 0;
    // Behaviour: how long a start and a stop take, and what a start ends in.
    int64_t StartMs = 500, StopMs = 500;
    bool StartFails = false;     // ends stopped with ExitCode 1067 instead of running
    bool NeverStops = false;     // stays stop pending
    bool StopBounces = false;    // goes back to running instead of stopping
    bool RefusesStop = false;    // the control is refused
    bool SecurityUnread = false; // its descriptor cannot be read
    bool KeyMissing = false;     // its registry key is not there
    int64_t PendingUntil = 0;    // when the pending state ends
    uint32_t PendingTo = 0;
};

// Every call of the door is counted; a script may be put after any count.
struct Script {
    int After;                   // runs once the tool's call with this number (from 1) returned
    std::function<void()> Run;
};

struct World {
    std::vector<Object> Objects;  // by id; 0 unused
    std::map<std::string, int> Drives;  // "C:": its root
    std::vector<Handle> Handles;  // by id - 1
    std::map<std::string, Service> Services;  // by upper-cased name
    std::map<std::string, std::string> Environment;
    Version Windows;
    Token Tool = AdministratorToken(), User = UserToken();
    bool Acting = false;         // the attacker is acting: calls are its own, not counted
    int64_t NowMs = 0;
    std::string ModulePath = "C:\\Kit\\qvl.exe";
    std::string CurrentFolder = "C:\\";
    bool CanMakeServices = true; // false: the tool is not elevated
    int Calls = 0;               // the tool's door calls so far
    std::vector<std::string> CallNames;  // each call's name, in order
    std::vector<Script> Scripts;
    std::vector<std::string> Violations;  // misuse of the door: closing what is not open, and the like
    // Each service path the manager was given, with whether a user could write its folder then.
    std::vector<std::pair<std::string, bool>> PathsGiven;
    std::vector<std::pair<int, std::string>> Named;
    // The user's handles on services, by the service's name: what its descriptor granted then.
    std::vector<std::pair<std::string, Mask>> UserServiceHandles;  // every name given, made or renamed to: its folder and name
    std::map<int, int> FailListingAfter;  // folder id: entries a listing gives before it fails
    bool KeepsAccessLists = true;  // false: a volume like FAT
    bool KeepsFailureActions = true;  // false: a manager that knows no failure actions at all
    bool RefusesFailureFlag = false;  // true: one that takes the actions and refuses their flag
    int64_t LockedUntilMs = 0;   // the manager's database is locked by an installer until then
    int ServiceHandles = 0;
    int64_t CtrlAtMs = -1;
    // Faults, off by default: an object whose descriptor cannot be read (by id: the error), one
    // whose descriptor reads as this text, the manager or a service that cannot be opened.
    std::map<int, uint32_t> SecurityFails;
    std::map<int, std::string> SecurityText;
    uint32_t ManagerError = 0, ServiceOpenError = 0;
    int FailCall = 0;            // the tool's call with this number fails (access denied); 0: none       // Ctrl-C is pressed once the clock reaches it; -1: never      // the tool's open manager and service handles
    uint32_t LastError = 0;
};

extern World W;

// A fresh world: C:\ as that Windows makes it (users add folders, which they own; on XP and 2003
// they add folders to every folder made there, and Power Users modify Program Files), C:\Kit
// holding the shipped qvlsvce.exe, qvl.exe and ZARNQVL.EXE, closed as Program Files is on Vista
// and later; no services.
void Reset(const Version& windows = Version());

// The door's bookkeeping: each call the tool makes is counted here, and the scripts due after it
// run as the user. Calls the attacker makes are not counted.
void Called(const char* name);
void RunDue();

// Runs body as the local user, then goes back to the tool.
void AsUser(const std::function<void()>& body);
const Token& Caller();

// Paths. Resolve follows links in every part but, when openLink, the last; 0 with the error.
int Resolve(const std::string& path, bool openLink, int* parent, std::string* name, uint32_t* error);
std::string Upper(const std::string& s);
std::vector<std::string> PathParts(const std::string& path);  // its parts, the drive first
std::string PathOf(int object);  // its first name's path

// Making things (as the caller): a folder or a file, with sddl or inheriting; a hard link; a link.
// 0 / false with the error in W.LastError.
int MakeFolder(const std::string& path, const std::string& sddl = "");
int MakeFile(const std::string& path, const std::string& data, const std::string& sddl = "");
bool MakeHardLink(const std::string& path, const std::string& existing);
int MakeReparse(const std::string& path, uint32_t tag, const std::string& target, bool folder);

// Handles (as the caller). Create: 1 new only, 2 always, 3 existing only, 4 open or make.
const int CREATE_NEW = 1, CREATE_ALWAYS = 2, OPEN_EXISTING = 3, OPEN_ALWAYS = 4;
int Open(const std::string& path, Mask access, uint32_t share, int disposition, bool openLink, bool folder = false,
         const std::string& sddl = "");
// The same in a folder already found: id the object named there, or 0 with the error found.
int OpenIn(int parent, const std::string& name, int id, uint32_t error, Mask access, uint32_t share, int disposition,
           bool folder, const std::string& sddl);
bool Close(int handle);
Handle* HandleOf(int handle);
Object* ObjectOf(int id);
bool RenameByHandle(int handle, const std::string& to, bool replace);
bool RenameInto(int handle, int parent, const std::string& name, bool replace);
bool DeleteByHandle(int handle);  // needs DELETE on the handle; the object goes when its last name does
bool WriteByHandle(int handle, const std::string& data);
bool SetSecurityByHandle(int handle, const std::string& sddl, bool owner, bool dacl);
bool DeletePath(const std::string& path);

// The rights the caller would be granted on the object now, with its folder's say (delete child,
// list) counted, and privileges where enabled; the attacker's view unless the tool acts.
Mask RightsNow(int object, int parent, const Token& who);

// What a local user can take over of the objects the service runs: every way in, one line each;
// empty when none. Looks at the service's folder, all it holds, the folders above, and the user's
// kept handles on any of them.
std::vector<std::string> UserWaysIn(const std::string& binaryPath);

// Services.
Service* ServiceOf(const std::string& name);
void Advance(int64_t ms);  // the clock, and the services' pending states with it

}  // namespace winsim
