// The one door from the host to the outside world: every service-control, process, clock and
// file call the host makes, under the platform's own names, in namespace os. The real ones are
// here: the C runtime's (crt.cpp, clock.cpp, lock.cpp), Win32's (win32.cpp), and for service
// control and the launch the service manager's (win32_service.cpp); qvl's trial brings a console
// stand-in of its own (tools/qvl/console.cpp), and the tests a simulated platform. The host
// includes nothing else of the system's.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

namespace os {

typedef uint32_t DWORD;
typedef void* HANDLE;
typedef void* SERVICE_STATUS_HANDLE;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

typedef void (*SERVICE_MAIN_FUNCTION)(DWORD argc, char** argv);
typedef void (*HANDLER_FUNCTION)(DWORD control);

struct SERVICE_TABLE_ENTRY {
    const char* lpServiceName;
    SERVICE_MAIN_FUNCTION lpServiceProc;
};

// Laid out field for field as the system's own record, so it can be passed through unchanged.
struct STARTUPINFO {
    DWORD cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    uint16_t wShowWindow;
    uint16_t cbReserved2;
    unsigned char* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

const DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
const DWORD SERVICE_INTERACTIVE_PROCESS = 0x100;
const DWORD SERVICE_STOPPED = 1;
const DWORD SERVICE_START_PENDING = 2;
const DWORD SERVICE_STOP_PENDING = 3;
const DWORD SERVICE_RUNNING = 4;
const DWORD SERVICE_ACCEPT_STOP = 1;
const DWORD SERVICE_CONTROL_STOP = 1;
const DWORD SERVICE_CONTROL_INTERROGATE = 4;
const DWORD ERROR_SERVICE_SPECIFIC_ERROR = 1066;  // the exit code that says a service-specific one is set
const DWORD ERROR_PROCESS_ABORTED = 1067;         // the manager's, for a service process that died unreported

// The one limit the host sets on a job: ending the host's process, however it ends, closes its
// handles, and closing a job's last handle then ends every process in the job.
const DWORD JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE = 0x2000;
const int JobObjectExtendedLimitInformation = 9;
const DWORD CREATE_SUSPENDED = 4;

// Laid out field for field as the system's own records, on both builds.
struct JOBOBJECT_BASIC_LIMIT_INFORMATION {
    int64_t PerProcessUserTimeLimit;
    int64_t PerJobUserTimeLimit;
    DWORD LimitFlags;
    size_t MinimumWorkingSetSize;
    size_t MaximumWorkingSetSize;
    DWORD ActiveProcessLimit;
    uintptr_t Affinity;
    DWORD PriorityClass;
    DWORD SchedulingClass;
};

struct JOBOBJECT_EXTENDED_LIMIT_INFORMATION {
    JOBOBJECT_BASIC_LIMIT_INFORMATION BasicLimitInformation;
    uint64_t IoInfo[6];
    size_t ProcessMemoryLimit;
    size_t JobMemoryLimit;
    size_t PeakProcessMemoryUsed;
    size_t PeakJobMemoryUsed;
};

// Service control. Calls that fail return 0 and leave the reason for GetLastError.

// Connects the calling thread to the service control manager and runs table[0]'s service main
// on a thread of its own. Blocks until the service has ended and its service main has returned
// (non-zero; the wait for the return is bounded), or returns 0 when there is no manager to
// connect to. Only the table's first entry is served.
int StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRY* table);

// Registers handler for the service name; returns the handle for SetServiceStatus, or 0.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, HANDLER_FUNCTION handler);

// Hands the whole record to the service control manager; non-zero on success.
int SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

// Processes and threads.

// Fills info with the calling process's own start-up information.
void GetStartupInfoA(STARTUPINFO* info);

// Starts a process; non-zero when it was created, with its handles and ids in info.
int CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                   void* threadAttributes, int inheritHandles, DWORD creationFlags, void* environment,
                   const char* currentDirectory, STARTUPINFO* startupInfo, PROCESS_INFORMATION* info);

// Releases a handle; non-zero on success.
int CloseHandle(HANDLE handle);

// Lets a thread created suspended run; the count it was suspended, or (DWORD)-1 on failure.
DWORD ResumeThread(HANDLE thread);

// Ends a process at once, with the given exit code; non-zero on success.
int TerminateProcess(HANDLE process, unsigned exitCode);

// Jobs. Creates an unnamed job with no limits yet; 0 on failure.
HANDLE CreateJobObjectA(void* attributes, const char* name);

// Sets a job's limits; the host takes only JobObjectExtendedLimitInformation, with the record
// above. Non-zero on success.
int SetInformationJobObject(HANDLE job, int infoClass, void* info, DWORD size);

// Puts a process in a job, for the rest of its life; non-zero on success. Before Windows 8 a
// process already in a job cannot be put in another.
int AssignProcessToJobObject(HANDLE job, HANDLE process);

// The reason for the calling thread's last failed call, as the system's error number.
DWORD GetLastError();

// Blocks the calling thread for the given number of milliseconds.
void Sleep(DWORD milliseconds);

// Makes path the process's current directory; non-zero on success.
int SetCurrentDirectoryA(const char* path);

// Clock.

// Whole seconds since 1 January 1970 00:00:00 UTC.
int64_t time();

// Converts seconds since 1970 to local broken-down time; non-zero on success. Safe on any thread.
int LocalTime(int64_t seconds, struct tm* out);

// The process's one lock, which keeps the log's lines whole: EnterLogLock blocks until no other
// thread holds it. Usable from the start of the process, on any thread; not re-entrant.
void EnterLogLock();
void LeaveLogLock();

// Text.

// printf-style formatting into buffer, which holds size (> 0) bytes: the text is cut to size - 1
// characters and always terminated. Returns the length of what was written. Takes the C
// runtime's own conversions only (no %lld or %zu: old runtimes lack them).
int FormatV(char* buffer, int size, const char* format, va_list args);

// Files, by descriptor. A descriptor is >= 0; every call that fails returns -1.

enum FileMode {
    FILE_READ,    // read only
    FILE_WRITE,   // write only from offset 0, created (owner read/write on POSIX), never truncated
    FILE_APPEND,  // every write at the end, created (owner read/write on POSIX)
};

// Opens name, relative to the current directory, in binary mode (no newline translation). While
// it is open, others may still read, write, rename and delete the file; the program we launch
// does not inherit the descriptor. A file created takes what its folder passes on, on Windows.
int FileOpen(const char* name, FileMode mode);

// Moves to offset bytes from the start; 0 on success.
int FileSeek(int fd, long offset);

// Reads size bytes, or fewer where the file ends first; the count read.
int FileRead(int fd, void* buffer, int size);

// Writes size bytes; the count written.
int FileWrite(int fd, const void* buffer, int size);

// Releases the descriptor.
void FileClose(int fd);

}  // namespace os
