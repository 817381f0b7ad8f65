// qvl's one door to Windows: every call its verbs make to the system, as plain functions in
// namespace door. The Windows implementation (door_*.cpp) is thin and is linked only in the
// Windows build; the native tests link a simulated Windows in its place, so each call here says
// what it does, what it returns and which error it gives, and nothing more is assumed of it.
//
// Conventions, for every call unless it says otherwise:
// - A call that can fail returns an os::DWORD: 0 (OK) when it did what it says, otherwise the
//   system's error code, one of the ERR_ values below where the contract names one. Nothing is
//   left for a GetLastError: what failed is in the answer.
// - Names are the system's with a prefix of their own (ERR_ for ERROR_, RIGHT_, DISPOSE_, SVC_),
//   as the system's headers make its names macros: the implementation includes both.
// - Handles are opaque. A call given a null handle where one is required returns
//   ERR_INVALID_HANDLE. Every handle a call gives out is released with its Close.
// - Text goes into the caller's buffer (out, size bytes), always terminated; when it does not fit,
//   the call returns ERR_INSUFFICIENT_BUFFER and out holds the empty string.
// - Paths are absolute Windows paths ("C:\QVL"), or names relative to an open folder.
// - Descriptors are SDDL text: owner and DACL only ("O:BAD:P(A;OICI;FA;;;SY)..."), "P" after
//   "D:" when the DACL is protected (nothing inheritable from above is merged in).
#pragma once

#include <stdint.h>

#include "platform/platform.h"

namespace door {

using os::DWORD;

// Errors the verbs tell apart; the values are the system's.
const DWORD OK = 0;
const DWORD ERR_FILE_NOT_FOUND = 2;
const DWORD ERR_PATH_NOT_FOUND = 3;
const DWORD ERR_ACCESS_DENIED = 5;
const DWORD ERR_INVALID_HANDLE = 6;
const DWORD ERR_NO_MORE_FILES = 18;
const DWORD ERR_SHARING_VIOLATION = 32;
const DWORD ERR_NOT_SUPPORTED = 50;
const DWORD ERR_FILE_EXISTS = 80;
const DWORD ERR_INVALID_PARAMETER = 87;
const DWORD ERR_BUFFER_OVERFLOW = 111;
const DWORD ERR_INSUFFICIENT_BUFFER = 122;
const DWORD ERR_INVALID_LEVEL = 124;
const DWORD ERR_DIR_NOT_EMPTY = 145;
const DWORD ERR_ALREADY_EXISTS = 183;
const DWORD ERR_ENVVAR_NOT_FOUND = 203;
const DWORD ERR_FILENAME_EXCED_RANGE = 206;
const DWORD ERR_SERVICE_DATABASE_LOCKED = 1055;
const DWORD ERR_SERVICE_ALREADY_RUNNING = 1056;
const DWORD ERR_SERVICE_DOES_NOT_EXIST = 1060;
const DWORD ERR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
const DWORD ERR_SERVICE_NOT_ACTIVE = 1062;
const DWORD ERR_SERVICE_MARKED_FOR_DELETE = 1072;
const DWORD ERR_SERVICE_EXISTS = 1073;
const DWORD ERR_DUPLICATE_SERVICE_NAME = 1078;
const DWORD ERR_INVALID_SECURITY_DESCR = 1338;
const DWORD ERR_REPARSE_TAG_INVALID = 4393;

// ---------------------------------------------------------------------------------------------
// Files and folders

struct Object;  // an open file or folder
typedef Object* File;

// Access rights (the system's values). On a folder, READ_DATA lists it and WRITE_DATA and
// APPEND_DATA add files and folders to it.
const DWORD RIGHT_READ_DATA = 0x0001;
const DWORD RIGHT_WRITE_DATA = 0x0002;
const DWORD RIGHT_APPEND_DATA = 0x0004;
const DWORD RIGHT_DELETE_CHILD = 0x0040;
const DWORD RIGHT_READ_ATTRIBUTES = 0x0080;
const DWORD RIGHT_WRITE_ATTRIBUTES = 0x0100;
const DWORD RIGHT_DELETE = 0x00010000;
const DWORD RIGHT_READ_CONTROL = 0x00020000;
const DWORD RIGHT_WRITE_DAC = 0x00040000;
const DWORD RIGHT_WRITE_OWNER = 0x00080000;
const DWORD RIGHT_SYNCHRONIZE = 0x00100000;
const DWORD RIGHT_GENERIC_WRITE = 0x40000000;
const DWORD RIGHT_GENERIC_READ = 0x80000000;

// What others may do while a handle is open. As on Windows, sharing binds only handles opened for
// data (read, write, append, execute) or DELETE; READ_CONTROL, WRITE_DAC, WRITE_OWNER and the
// attributes are never refused for sharing.
const DWORD SHARE_NONE = 0;
const DWORD SHARE_READ = 1;
const DWORD SHARE_WRITE = 2;
const DWORD SHARE_DELETE = 4;

// How an object is found or made.
const DWORD DISPOSE_CREATE_NEW = 1;     // made anew; ERR_FILE_EXISTS (a file) or ERR_ALREADY_EXISTS
                                // (a folder) when the name is taken, by anything, a link included
const DWORD DISPOSE_OPEN_EXISTING = 3;  // ERR_FILE_NOT_FOUND, or ERR_PATH_NOT_FOUND for a missing folder on the way

// What Open opens or makes.
enum Kind {
    KIND_FILE,    // a file; ERR_ACCESS_DENIED when the name is a folder
    KIND_FOLDER,  // a folder; ERR_PATH_NOT_FOUND (or ERR_ACCESS_DENIED) when a file
    KIND_ANY,     // DISPOSE_OPEN_EXISTING only: whichever it is
};

struct Opening {
    DWORD Access;       // RIGHT_ bits
    DWORD Share;        // SHARE_ bits
    DWORD Disposition;  // DISPOSE_CREATE_NEW or DISPOSE_OPEN_EXISTING
    Kind What;
    const char* Sddl;   // DISPOSE_CREATE_NEW: the descriptor the object is made with, whole (null: what
                        // its folder passes on); ignored when opening
};

// Opens or makes name: in the open folder (name one component, no separator), or, with folder
// null, the absolute path name. A link (a reparse point of any kind: symbolic link, junction,
// or anything else with a tag) is never followed: the link itself is opened, as with
// FILE_FLAG_OPEN_REPARSE_POINT; folders on the way to an absolute path are resolved as Windows
// resolves them. Rights are checked here, once: a handle keeps what it was opened with whatever
// changes afterwards. *out is the handle, or null on failure. Errors: ERR_FILE_NOT_FOUND,
// ERR_PATH_NOT_FOUND, ERR_ACCESS_DENIED, ERR_SHARING_VIOLATION, ERR_FILE_EXISTS,
// ERR_ALREADY_EXISTS, ERR_FILENAME_EXCED_RANGE, ERR_INVALID_SECURITY_DESCR (Sddl unreadable).
DWORD Open(File folder, const char* name, const Opening& how, File* out);
void Close(File f);

// Reparse tags (the system's values), in Info.Tag when ATTRIBUTE_REPARSE_POINT is set.
const DWORD TAG_MOUNT_POINT = 0xA0000003;  // a junction
const DWORD TAG_SYMLINK = 0xA000000C;
const DWORD TAG_DEDUP = 0x80000013;        // data deduplication: the file's data is elsewhere on the volume
const DWORD TAG_WOF = 0x80000017;          // compressed by the overlay filter (compact.exe /exe)
const DWORD TAG_APPEXECLINK = 0x8000001B;  // an app-execution alias: acts as a link
const DWORD TAG_CLOUD = 0x9000001A;        // a cloud placeholder (and 0x9000X01A): a provider supplies its data

const DWORD ATTRIBUTE_DIRECTORY = 0x10;
const DWORD ATTRIBUTE_REPARSE_POINT = 0x400;

struct Info {
    DWORD Attributes;  // ATTRIBUTE_ bits
    DWORD Tag;         // reparse tag, 0 when not a reparse point
    DWORD Links;       // hard links (names) of a file; 1 for a folder
    DWORD Volume;      // volume serial number
    uint64_t Id;       // file id on that volume: Volume and Id name the object
    int64_t Written;   // last write, seconds since 1970 UTC
    uint64_t Size;     // bytes of data (0 for a folder)
};

// What the open object is. Needs RIGHT_READ_ATTRIBUTES on the handle (else ERR_ACCESS_DENIED).
DWORD Describe(File f, Info* out);

// Reads up to size bytes from the current position; *got is 0 at the end. Needs RIGHT_READ_DATA.
DWORD Read(File f, void* buffer, DWORD size, DWORD* got);
// Writes all of size bytes at the current position, then has it on disk when flush. Needs
// RIGHT_WRITE_DATA.
DWORD Write(File f, const void* data, DWORD size, bool flush);

// Calls visit with each name in the open folder (never "." or ".."), in the system's order,
// until visit returns false. The folder was opened at path (the same folder: the Windows build
// lists through the handle where the system can, from Vista on, and by path before; the folder's
// handle, held without SHARE_DELETE, keeps the name on it). Returns OK when every name was visited (or visit
// stopped it), the error that ended the listing otherwise: never ERR_NO_MORE_FILES, and an
// empty folder is OK. Needs RIGHT_READ_DATA on the folder.
typedef bool (*Listed)(const char* name, void* context);
DWORD List(File folder, const char* path, Listed visit, void* context);

// Renames the open object (opened with RIGHT_DELETE) to name (one component) in the folder that
// holds it. Without replace, never over what is there: ERR_ALREADY_EXISTS (or ERR_FILE_EXISTS)
// when the name is taken; with replace, a file of that name is replaced (a folder never is:
// ERR_ACCESS_DENIED). The handle stays open on the object under its new name. ERR_ACCESS_DENIED
// without the right to add it to its folder; ERR_SHARING_VIOLATION (or ERR_ACCESS_DENIED) while
// another handle without SHARE_DELETE is open on it, on what it replaces, or, for a folder, on
// anything inside it.
DWORD Rename(File f, const char* name, bool replace);

// Deletes the file, or the empty folder, name in the open folder (folder null: name is an
// absolute path); a link is deleted itself, never what it points to. ERR_FILE_NOT_FOUND when
// there is none, ERR_DIR_NOT_EMPTY for a folder that holds anything, ERR_SHARING_VIOLATION (or
// ERR_ACCESS_DENIED) while a handle without SHARE_DELETE is open on it.
DWORD Remove(File folder, const char* name);

// The descriptor of the open object (needs RIGHT_READ_CONTROL), and of an absolute path,
// following links on the way (for the folders above the service's: read, never changed).
const int SDDL_TEXT = 8192;  // room for any descriptor qvl reads, terminator included
DWORD Security(File f, char* out, int size);
DWORD PathSecurity(const char* path, char* out, int size);

// Sets the owner (where sddl names one; needs RIGHT_WRITE_OWNER) and then the DACL (needs
// RIGHT_WRITE_DAC), protected when sddl says "P", through the handle only: nothing is passed
// on to what a folder holds. ERR_INVALID_SECURITY_DESCR when sddl cannot be read or has no DACL.
DWORD SetSecurity(File f, const char* sddl);

// Switches on what an elevated administrator holds but has off: reading any descriptor (backup),
// setting any owner (restore), taking ownership. Those it cannot switch on stay off, silently:
// what they would have allowed then fails with ERR_ACCESS_DENIED where it is tried.
void EnablePrivileges();

// ---------------------------------------------------------------------------------------------
// The system

struct Version {
    DWORD Major, Minor;  // 5.1 is XP, 5.2 Server 2003 and XP x64, 6.0 Vista, 10.0 Windows 10 and 11
    bool Server;         // a server edition (or a domain controller)
};
Version WindowsVersion();

// The account qvl runs as, as S-1-... text: the operator, whose own files are theirs to vouch for.
DWORD UserSid(char* out, int size);

// The environment variable's value into out; ERR_ENVVAR_NOT_FOUND when unset.
DWORD Variable(const char* name, char* out, int size);
// The Windows folder ("C:\Windows"), and qvl.exe's own path.
DWORD WindowsFolder(char* out, int size);
DWORD ModulePath(char* out, int size);
// path made absolute (against the current directory), as GetFullPathName makes it; and in its
// long form (no 8.3 names) as far as it exists, ERR_FILE_NOT_FOUND when no part of it does.
DWORD FullPath(const char* path, char* out, int size);
DWORD LongPath(const char* path, char* out, int size);

// Milliseconds since some fixed moment (wraps after 49 days), and a wait: in the tests both run
// in virtual time, so a wait of minutes takes none.
DWORD Ticks();
void Sleep(DWORD ms);

// ---------------------------------------------------------------------------------------------
// The service manager

struct ServiceObject;  // the manager, or one service
typedef ServiceObject* Service;

const DWORD MANAGER_CONNECT = 0x0001;
const DWORD MANAGER_CREATE_SERVICE = 0x0002;
const DWORD MANAGER_ENUMERATE_SERVICE = 0x0004;

const DWORD SVC_QUERY_CONFIG = 0x0001;
const DWORD SVC_CHANGE_CONFIG = 0x0002;
const DWORD SVC_QUERY_STATUS = 0x0004;
const DWORD SVC_START = 0x0010;
const DWORD SVC_STOP = 0x0020;
const DWORD SVC_ALL_ACCESS = 0xF01FF;  // with RIGHT_DELETE, RIGHT_READ_CONTROL, WRITE_DAC, WRITE_OWNER

const DWORD START_AUTO = 2;
const DWORD START_DEMAND = 3;
const DWORD START_DISABLED = 4;

// Opens the manager with access (MANAGER_ bits). ERR_ACCESS_DENIED when this process may not
// (MANAGER_CREATE_SERVICE needs an elevated administrator).
DWORD ManagerOpen(DWORD access, Service* out);
// Opens the service name with access (SVC_ and RIGHT_ bits) through an open manager.
// ERR_SERVICE_DOES_NOT_EXIST, ERR_ACCESS_DENIED.
DWORD ServiceOpen(Service manager, const char* name, DWORD access, Service* out);
void ServiceClose(Service s);

// Calls visit with the name of every Win32 service the manager holds (opened with
// MANAGER_ENUMERATE_SERVICE), until visit returns false. OK when all were visited.
typedef bool (*ServiceListed)(const char* name, void* context);
DWORD ServicesList(Service manager, ServiceListed visit, void* context);

struct Status {
    DWORD State;         // os::SERVICE_STOPPED and the like
    DWORD Win32Exit;     // dwWin32ExitCode: how it last ended (1066: see SpecificExit)
    DWORD SpecificExit;  // dwServiceSpecificExitCode
};
// Needs SVC_QUERY_STATUS.
DWORD ServiceQueryStatus(Service s, Status* out);

const int DISPLAY_TEXT = 256;
struct Config {
    DWORD Type;   // os::SERVICE_WIN32_OWN_PROCESS and the like
    DWORD Start;  // START_AUTO and the like
    char BinaryPath[1024];
    char Account[DISPLAY_TEXT];  // "LocalSystem" for the local system account
    char Display[DISPLAY_TEXT];
};
// Needs SVC_QUERY_CONFIG.
DWORD ServiceQueryConfig(Service s, Config* out);

// What a service is made with; the account is always LocalSystem, the error control normal.
struct Making {
    const char* Display;
    DWORD Type;
    DWORD Start;
    const char* BinaryPath;  // quoted
};
// Creates the service name through a manager opened with MANAGER_CREATE_SERVICE, and opens it
// with SVC_ALL_ACCESS. ERR_SERVICE_EXISTS, ERR_DUPLICATE_SERVICE_NAME (the display name
// is another's), ERR_SERVICE_MARKED_FOR_DELETE, ERR_ACCESS_DENIED.
DWORD ServiceCreate(Service manager, const char* name, const Making& m, Service* out);
// Sets an existing service's configuration to m, the account back to LocalSystem. Needs
// SVC_CHANGE_CONFIG. ERR_DUPLICATE_SERVICE_NAME, ERR_SERVICE_MARKED_FOR_DELETE.
DWORD ServiceChange(Service s, const Making& m);
// Sets the description. Needs SVC_CHANGE_CONFIG.
DWORD ServiceDescribe(Service s, const char* text);
// Marks the service for deletion (gone once every handle on it is closed). Needs RIGHT_DELETE.
// ERR_SERVICE_MARKED_FOR_DELETE when it already is.
DWORD ServiceDelete(Service s);
// Asks the manager to start it. Needs SVC_START. ERR_SERVICE_ALREADY_RUNNING,
// ERR_SERVICE_DATABASE_LOCKED (an installer holds the database: try again later).
DWORD ServiceStart(Service s);
// Sends a control (os::SERVICE_CONTROL_STOP needs SVC_STOP); *out is the status after it.
// ERR_SERVICE_NOT_ACTIVE, ERR_SERVICE_CANNOT_ACCEPT_CTRL.
DWORD ServiceControl(Service s, DWORD control, Status* out);

// The service's own descriptor (who may query, change, start, stop or re-permit it): needs
// RIGHT_READ_CONTROL.
DWORD ServiceSecurity(Service s, char* out, int size);

// What the manager does when the service ends without reporting itself stopped.
const DWORD FAILURE_NONE = 0;
const DWORD FAILURE_RESTART = 1;
const DWORD FAILURE_REBOOT = 2;
const DWORD FAILURE_RUN_COMMAND = 3;
const int FAILURE_ACTIONS_MAX = 8;  // qvl reads this many; a service with more reports the count only
struct FailureAction {
    DWORD Type;     // FAILURE_
    DWORD DelayMs;  // after the failure
};
struct Failures {
    DWORD ResetSeconds;  // failures counted back to none after this long without one
    int Count;           // actions, the last repeated for every later failure (may exceed FAILURE_ACTIONS_MAX)
    FailureAction Actions[FAILURE_ACTIONS_MAX];
    char Command[1024];  // what FAILURE_RUN_COMMAND runs, empty when none
    // The failure-actions flag (Vista and later): the actions also follow a stop the service
    // reported with a non-zero exit code. FlagKnown false where the system has none.
    bool Flag;
    bool FlagKnown;
};
// Needs SVC_QUERY_CONFIG. ERR_INVALID_LEVEL where the manager keeps no failure actions at all.
DWORD ServiceFailures(Service s, Failures* out);
// Sets the actions (Count of them, at most FAILURE_ACTIONS_MAX; Command is left as the service had it
// when empty) and, where the system has it, the flag. Needs SVC_CHANGE_CONFIG, and SVC_START
// for a restart action. ERR_NOT_SUPPORTED for the flag before Vista when f.Flag is true; any other
// error the flag met is the system's own.
DWORD ServiceSetFailures(Service s, const Failures& f);

// ---------------------------------------------------------------------------------------------
// The registry, as far as the verbs read it

// The descriptor of the key HKEY_LOCAL_MACHINE\key (such as SYSTEM\CurrentControlSet\Services\X).
// ERR_FILE_NOT_FOUND when there is no such key.
DWORD KeySecurity(const char* key, char* out, int size);

}  // namespace door
