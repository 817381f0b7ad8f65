// Formats and appends the log's lines; the file is opened and closed for every line, so a log
// removed while the service runs is started afresh by the next line.
#include "log/log.h"

#include <string.h>

#include "platform/platform.h"

void LogMessage(const char* format, ...) {
    char message[LOG_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    int msg = os::FormatV(message, sizeof message, format, args);
    va_end(args);
    int64_t now = os::time();

    struct tm local;
    if (!os::LocalTime(now, &local)) memset(&local, 0, sizeof local);
    char line[LOG_PREFIX_SIZE + LOG_MESSAGE_SIZE + sizeof LOG_LINE_END];
    size_t len = strftime(line, LOG_PREFIX_SIZE, LOG_PREFIX_FORMAT, &local);
    memcpy(line + len, message, msg);
    memcpy(line + len + msg, LOG_LINE_END, sizeof LOG_LINE_END - 1);

    os::EnterLogLock();
    int fd = os::FileOpen(LOG_FILE, os::FILE_APPEND);
    if (fd >= 0) {
        // Failed or short writes go unnoticed: there is nowhere else to report them.
        os::FileWrite(fd, line, static_cast<int>(len + msg + sizeof LOG_LINE_END - 1));
        os::FileClose(fd);
    }
    os::LeaveLogLock();
}
