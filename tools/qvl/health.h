// The monitoring check's judgment: from the service's state and the folder's status, one line
// in the plugin convention monitoring systems share, its exit status, and the same figures as
// Prometheus text. Pure, so every case is tested natively.
#pragma once

#include "link/link.h"

enum CheckResult { CHECK_OK, CHECK_WARNING, CHECK_CRITICAL, CHECK_UNKNOWN };

struct Health {
    const char* Name;    // the service's
    int Service;         // its state, SERVICE_NOT_INSTALLED or SERVICE_UNKNOWN
    bool FolderRead;
    StatusView Status;   // when FolderRead
    long Warn, Crit;     // heartbeat ages, seconds
    uint32_t Win32Exit;  // the exit codes of its last report: how a stopped service ended
    uint32_t SpecificExit;
};

// Writes "QVL OK - ... | perfdata" (no line end) into out; returns the exit status.
CheckResult JudgeHealth(const Health& h, char* out, int size);

// The same figures, and the result, as a Prometheus text file's contents.
void PrometheusText(const Health& h, CheckResult result, char* out, int size);
