// The least that a service host's running loop must do, written plainly in C against Win32,
// for comparing the host's CPU use with: report running once a second, read the status file's
// five bytes every 30 passes, and stop when asked. Installed in the host's place by
// scripts/bench.sh; never shipped.
#include <string.h>

#include "host/entry.h"
#include "link/link.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static SERVICE_STATUS_HANDLE Handle;
static SERVICE_STATUS Status = {SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, 0, SERVICE_ACCEPT_STOP,
                                0, 0, 0, 120000};
static volatile LONG Stop;

static void Report(DWORD state) {
    Status.dwCurrentState = state;
    SetServiceStatus(Handle, &Status);
}

static void WINAPI Handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) InterlockedExchange(&Stop, 1);
}

static void ReadStatus(void) {
    unsigned char fields[STATUS_FIELDS_SIZE];
    DWORD n;
    HANDLE h = CreateFileA(STATUS_FILE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return;
    SetFilePointer(h, STATUS_BYTE_OFFSET, NULL, FILE_BEGIN);
    ReadFile(h, fields, sizeof fields, &n, NULL);
    CloseHandle(h);
}

static void WINAPI Main(DWORD argc, LPSTR* argv) {
    int pass;
    (void)argc;
    Handle = RegisterServiceCtrlHandlerA(argv[0], Handler);
    Report(SERVICE_START_PENDING);
    Sleep(1000);  // so that a poll of the manager sees the state
    for (pass = 0; !Stop; pass = (pass + 1) % 30) {
        Report(SERVICE_RUNNING);
        if (pass == 0) ReadStatus();
        Sleep(1000);
    }
    Report(SERVICE_STOP_PENDING);
    Sleep(1000);
    Report(SERVICE_STOPPED);
}

int main(int argc, char** argv) {
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(SERVICE_NAME), Main}, {NULL, NULL}};
    char directory[MAX_PATH];
    char* slash;
    (void)argc;
    // Its own folder, as the host's: the status file is read there.
    strncpy(directory, argv[0], sizeof directory - 1);
    directory[sizeof directory - 1] = '\0';
    slash = strrchr(directory, '\\');
    if (slash) {
        slash[1] = '\0';
        SetCurrentDirectoryA(directory);
    }
    return !StartServiceCtrlDispatcherA(table);
}
