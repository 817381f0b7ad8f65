// The diagnostics report: status byte, heartbeat and its age, the host's answer, the last
// command, and the last lines of the log.
#include "tools/qvl/status.h"

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <direct.h>
#define chdir _chdir
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

#include "link/link.h"
#include "log/log.h"
#include "platform/platform.h"
#include "tools/qvl/text.h"
#include "tools/qvl/words.h"

namespace {

const int LOG_TAIL_BYTES = 4096;  // read from the log's end: more than its last lines need
const int LINE_SHOWN = 400;       // a longer log line is cut

const char* CommandName(int32_t code) {
    switch (code) {
    case CMD_BEFORE_LAUNCH: return "before launch";
    case CMD_STOP_BEGIN: return "stop begun";
    case CMD_STOP_FINISH: return "stop finish";
    }
    return "not a command of the host's";
}

long FileSize(const char* name) {
    FILE* f = fopen(name, "rb");
    if (!f) return 0;
    long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : 0;
    fclose(f);
    return size;
}

void AddStatus(Text* r, const StatusView& view) {
    if (view.Why == ABSENT_MISSING) return Add(r, "status      %s cannot be opened or read\n", STATUS_FILE);
    if (view.Why == ABSENT_SHORT)
        return Add(r, "status      %s has %ld bytes; %d are needed\n", STATUS_FILE, FileSize(STATUS_FILE),
                   STATUS_FILE_MIN_SIZE);
    AddStatusWords(r, view, STATUS_IN_REPORT);
}

void AddCommand(Text* r) {
    int32_t code;
    int n = ReadCommandFile(&code);
    if (n < 0) return Add(r, "command     none: %s cannot be opened\n", COMMAND_FILE);
    if (n < COMMAND_SIZE) return Add(r, "command     %s has %d bytes; %d are needed\n", COMMAND_FILE, n, COMMAND_SIZE);
    Add(r, "command     %ld (%s)\n", static_cast<long>(code), CommandName(code));
}

const char* NextLine(const char* p, const char* end) {
    const char* stop = static_cast<const char*>(memchr(p, '\n', end - p));
    return stop ? stop + 1 : end;
}

// The last lines of the log, from its tail alone, so a log of any length is read at once.
void AddLogLines(Text* r) {
    FILE* f = fopen(LOG_FILE, "rb");
    if (!f) return Add(r, "log         none: %s cannot be opened\n", LOG_FILE);
    static char tail[LOG_TAIL_BYTES + 1];
    long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : 0;
    long from = size > LOG_TAIL_BYTES ? size - LOG_TAIL_BYTES : 0;
    size_t n = fseek(f, from, SEEK_SET) == 0 ? fread(tail, 1, LOG_TAIL_BYTES, f) : 0;
    fclose(f);
    tail[n] = '\0';
    // Lines end at "\n"; a last line without one still counts, one cut by the tail's start not.
    const char* p = tail;
    const char* end = tail + n;
    if (from > 0) p = NextLine(p, end);
    struct { const char* Start; int Length; } last[REPORT_LOG_LINES];
    int count = 0;
    for (; p < end; p = NextLine(p, end)) {
        if (count == REPORT_LOG_LINES) memmove(last, last + 1, sizeof last[0] * --count);
        const char* stop = static_cast<const char*>(memchr(p, '\n', end - p));
        int length = static_cast<int>((stop ? stop : end) - p);
        if (length > 0 && p[length - 1] == '\r') length--;
        last[count++] = {p, length < LINE_SHOWN ? length : LINE_SHOWN};
    }
    Add(r, "log         last lines of %s:\n", LOG_FILE);
    for (int i = 0; i < count; i++) Add(r, "  %.*s\n", last[i].Length, last[i].Start);
}

}  // namespace

bool EnterFolder(const char* folder) {
    return chdir(folder) == 0;
}

int ShowStatus(const char* folder, char* out, int size) {
    Text r = StartText(out, size);
    // Entering it is the test: a file, or a folder that cannot be read, cannot be entered.
    if (!EnterFolder(folder)) {
        Add(&r, "qvl status: cannot read the folder %s\n", folder);
        return REPORT_NO_FOLDER;
    }
    StatusView view;
    ReadStatusView(&view);
    int answer = view.Answer;
    char here[1024];
    Add(&r, "folder      %s\n", getcwd(here, sizeof here) ? here : folder);
    AddStatus(&r, view);
    if (answer == STATUS_ABSENT)
        Add(&r, "answer      -1: the host would take the program as gone\n");
    else
        Add(&r, "answer      %d: the host would take the program as there\n", answer);
    AddCommand(&r);
    AddLogLines(&r);
    return answer == STATUS_ABSENT ? REPORT_ABSENT : REPORT_PRESENT;
}
