// The log's lock. The Windows runtime appends by seeking to the end and then writing, so two
// threads' lines could land on one spot; opening for append-only access does not help under
// every Windows implementation. A lock held around each line's open, write and close does,
// everywhere. A critical section rather than anything newer: it exists on every Windows.
#include "platform/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace os {

#ifdef _WIN32

namespace {
// Set up before main, so before any second thread: never torn down, as a thread may still log
// while the process ends.
struct Section {
    CRITICAL_SECTION Lock;
    Section() { ::InitializeCriticalSection(&Lock); }
} Log;
}  // namespace

void EnterLogLock() {
    ::EnterCriticalSection(&Log.Lock);
}

void LeaveLogLock() {
    ::LeaveCriticalSection(&Log.Lock);
}

#else

namespace {
pthread_mutex_t Log = PTHREAD_MUTEX_INITIALIZER;
}

void EnterLogLock() {
    pthread_mutex_lock(&Log);
}

void LeaveLogLock() {
    pthread_mutex_unlock(&Log);
}

#endif

}  // namespace os
