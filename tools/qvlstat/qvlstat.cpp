// The diagnostics report: status byte, heartbeat and its age, the host's answer, the last
// command, and the last lines of the log.
#include "tools/qvlstat/qvlstat.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>

#include "link/link.h"
#include "log/log.h"
#include "platform/platform.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string LocalTime(int64_t seconds) {
    struct tm local;
    char text[64] = "(not a time)";
    if (os::LocalTime(seconds, &local)) strftime(text, sizeof text, "%a %d %b %Y %X", &local);
    return text;
}

const char* CommandName(int32_t code) {
    switch (code) {
    case CMD_BEFORE_LAUNCH: return "before launch";
    case CMD_STOP_BEGIN: return "stop begun";
    case CMD_STOP_FINISH: return "stop finish";
    }
    return "not a command of the host's";
}

std::string Status(const StatusRecord& r, bool opened) {
    if (!opened) return Format("status      %s cannot be opened or read\n", STATUS_FILE);
    if (r.Bytes < STATUS_FILE_MIN_SIZE - STATUS_BYTE_OFFSET) {
        std::error_code error;
        auto size = std::filesystem::file_size(STATUS_FILE, error);
        // Reached only for a file shorter than the layout, so its size fits an int.
        return Format("status      %s has %d bytes; %d are needed\n", STATUS_FILE,
                      static_cast<int>(error ? 0 : size), STATUS_FILE_MIN_SIZE);
    }
    const char* meaning = r.StatusByte == STATUS_NONE        ? "no status: read as absent"
                          : (r.StatusByte & STATUS_HOLD_BIT) ? "hold bit set: the finish command is held off"
                          : r.StatusByte == 0                ? "all well"
                                                             : "flags set";
    return Format("status      0x%02X (%s)\n", r.StatusByte, meaning);
}

std::string Heartbeat(const StatusRecord& r, int64_t now) {
    if (r.Bytes < STATUS_FILE_MIN_SIZE - STATUS_BYTE_OFFSET) return "";
    int64_t age = now - r.Heartbeat;
    bool fresh = age <= HEARTBEAT_MAX_AGE;
    return Format("heartbeat   %s, %" PRId64 " s %s: %s (stale when over %d s old)\n", LocalTime(r.Heartbeat).c_str(),
                  age < 0 ? -age : age, age < 0 ? "ahead" : "ago", fresh ? "fresh" : "stale", HEARTBEAT_MAX_AGE);
}

std::string Command() {
    std::ifstream in(COMMAND_FILE, std::ios::binary);
    if (!in) return Format("command     none: %s cannot be opened\n", COMMAND_FILE);
    unsigned char b[4];
    in.read(reinterpret_cast<char*>(b), 4);
    if (in.gcount() < 4)
        return Format("command     %s has %d bytes; 4 are needed\n", COMMAND_FILE, static_cast<int>(in.gcount()));
    int32_t code = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    return Format("command     %" PRId32 " (%s)\n", code, CommandName(code));
}

std::string LastLogLines() {
    std::ifstream in(LOG_FILE, std::ios::binary);
    if (!in) return Format("log         none: %s cannot be opened\n", LOG_FILE);
    std::deque<std::string> last;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        last.push_back(line);
        if (last.size() > static_cast<size_t>(QVLSTAT_LOG_LINES)) last.pop_front();
    }
    std::string out = Format("log         last lines of %s:\n", LOG_FILE);
    for (const std::string& line : last) out += "  " + line + "\n";
    return out;
}

}  // namespace

int ShowStatus(const std::string& folder, std::string* out) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error) || (std::filesystem::current_path(folder, error), error)) {
        *out = Format("qvlstat: cannot read the folder %s\n", folder.c_str());
        return QVLSTAT_NO_FOLDER;
    }
    // The clock first, as the host reads it.
    int64_t now = os::time();
    StatusRecord record;
    bool opened = ReadStatusRecord(&record) != 0;
    int answer = opened ? StatusAnswer(record, now) : STATUS_ABSENT;
    *out = Format("folder      %s\n", std::filesystem::current_path(error).string().c_str());
    *out += Status(record, opened) + Heartbeat(record, now);
    *out += answer == STATUS_ABSENT ? "answer      -1: the host would take the program as gone\n"
                                    : Format("answer      %d: the host would take the program as there\n", answer);
    *out += Command() + LastLogLines();
    return answer == STATUS_ABSENT ? QVLSTAT_ABSENT : QVLSTAT_PRESENT;
}
