// Reads and writes the supervised program's status file and the command file, byte for byte in
// the shared little-endian layout whatever this machine's byte order.
#include "link/link.h"

#include "platform/platform.h"

// Both files are packed byte by byte, so no field depends on the machine's sizes, alignment or
// byte order; what the packing itself relies on, on every build:
static_assert(HEARTBEAT_OFFSET == STATUS_BYTE_OFFSET + 1, "the heartbeat follows the status byte");
static_assert(STATUS_FIELDS_SIZE == 1 + 4, "a status byte and a 32-bit heartbeat");
static_assert(STATUS_FILE_MIN_SIZE == STATUS_BYTE_OFFSET + STATUS_FIELDS_SIZE, "the file ends after the heartbeat");
static_assert(COMMAND_SIZE == sizeof(int32_t) && sizeof(uint32_t) == 4, "a 32-bit command code");
static_assert(sizeof(int64_t) == 8, "times past 2038");

void PutLE32(unsigned char* to, uint32_t value) {
    for (int i = 0; i < 4; i++) to[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t GetLE32(const unsigned char* from) {
    return from[0] | uint32_t(from[1]) << 8 | uint32_t(from[2]) << 16 | uint32_t(from[3]) << 24;
}

void UnpackStatusRecord(const unsigned char* fields, int n, StatusRecord* record) {
    record->Bytes = n;
    record->StatusByte = n >= 1 ? fields[0] : -1;
    record->Heartbeat = n >= STATUS_FIELDS_SIZE ? GetLE32(fields + (HEARTBEAT_OFFSET - STATUS_BYTE_OFFSET)) : 0;
}

int ReadStatusRecord(StatusRecord* record) {
    UnpackStatusRecord(nullptr, 0, record);
    int fd = os::FileOpen(STATUS_FILE, os::FILE_READ);
    if (fd < 0) return 0;
    unsigned char fields[STATUS_FIELDS_SIZE];
    int n = -1;
    if (os::FileSeek(fd, STATUS_BYTE_OFFSET) == 0) n = os::FileRead(fd, fields, sizeof fields);
    os::FileClose(fd);
    if (n < 0) return 0;
    UnpackStatusRecord(fields, n, record);
    return 1;
}

int64_t HeartbeatAge(uint32_t heartbeat, int64_t now) {
    // The difference of the low 32 bits, read as signed: exact for any heartbeat within 68
    // years of now, and the same as the plain difference for every time before 2038.
    uint32_t d = static_cast<uint32_t>(now) - heartbeat;
    return d < 0x80000000u ? int64_t(d) : int64_t(d) - 0x100000000LL;
}

void ViewStatus(bool opened, const StatusRecord& record, int64_t now, StatusView* view) {
    view->Record = record;
    view->Now = now;
    bool whole = opened && record.Bytes == STATUS_FIELDS_SIZE;
    view->Age = whole ? HeartbeatAge(record.Heartbeat, now) : 0;
    // A status byte without a whole heartbeat behind it proves nothing about the program.
    view->Why = !opened                              ? ABSENT_MISSING
                : !whole                             ? ABSENT_SHORT
                : record.StatusByte == STATUS_NONE   ? ABSENT_NO_STATUS
                : view->Age > HEARTBEAT_MAX_AGE      ? ABSENT_STALE
                                                     : PRESENT;
    view->Answer = view->Why == PRESENT ? record.StatusByte : STATUS_ABSENT;
}

void ReadStatusView(StatusView* view) {
    // The clock is read first: a heartbeat written while the file is read can only look newer.
    int64_t now = os::time();
    StatusRecord record;
    bool opened = ReadStatusRecord(&record) != 0;
    ViewStatus(opened, record, now, view);
}

bool HasHeartbeat(const StatusView& view) {
    return view.Why != ABSENT_MISSING && view.Why != ABSENT_SHORT;
}

// Each absence's code is its own number, so the mapping costs nothing on the host's way out.
static_assert(END_STATUS_GONE == ABSENT_MISSING && END_STATUS_SHORT == ABSENT_SHORT &&
                  END_STATUS_NONE == ABSENT_NO_STATUS && END_HEARTBEAT_STALE == ABSENT_STALE,
              "an end code for each absence");

uint32_t EndCode(Absence why) {
    return static_cast<uint32_t>(why);
}

namespace {

// Each way a status reads as absent, as found, and as what the program did to make it so.
const struct {
    const char* Found;
    const char* Done;
} ABSENCE_WORDS[] = {
    {"", ""},
    {"no status file", "status file removed"},
    {"a status file too short", "status file cut short"},
    {"status byte 0xFF", "status byte 0xFF written"},
    {"a stale heartbeat", "heartbeat left to go stale"},
};
static_assert(sizeof ABSENCE_WORDS / sizeof ABSENCE_WORDS[0] == ABSENT_STALE + 1, "words for each absence");

}  // namespace

const char* AbsenceWords(Absence why) {
    return ABSENCE_WORDS[why].Found;
}

const char* AbsenceDoneWords(Absence why) {
    return ABSENCE_WORDS[why].Done;
}

int ReadProgramStatus() {
    StatusView view;
    ReadStatusView(&view);
    return view.Answer;
}

void WriteProgramCommand(int32_t code) {
    int fd = os::FileOpen(COMMAND_FILE, os::FILE_WRITE);
    if (fd < 0) return;
    unsigned char b[COMMAND_SIZE];
    PutLE32(b, static_cast<uint32_t>(code));
    // A short or failed write is not retried: the program sees the next command instead.
    os::FileWrite(fd, b, sizeof b);
    os::FileClose(fd);
}

void PackStatusFields(unsigned char* fields, int statusByte, int64_t heartbeat) {
    fields[0] = static_cast<unsigned char>(statusByte);
    PutLE32(fields + (HEARTBEAT_OFFSET - STATUS_BYTE_OFFSET), static_cast<uint32_t>(heartbeat));
}

int WriteProgramStatus(int statusByte, int64_t heartbeat) {
    unsigned char fields[STATUS_FIELDS_SIZE];
    PackStatusFields(fields, statusByte, heartbeat);
    int fd = os::FileOpen(STATUS_FILE, os::FILE_WRITE);
    if (fd < 0) return 0;
    int n = os::FileSeek(fd, STATUS_BYTE_OFFSET) == 0 ? os::FileWrite(fd, fields, sizeof fields) : -1;
    os::FileClose(fd);
    return n == static_cast<int>(sizeof fields);
}

int ReadCommandFile(int32_t* code) {
    int fd = os::FileOpen(COMMAND_FILE, os::FILE_READ);
    if (fd < 0) return -1;
    unsigned char b[COMMAND_SIZE];
    int n = os::FileRead(fd, b, sizeof b);
    os::FileClose(fd);
    if (n == COMMAND_SIZE) *code = static_cast<int32_t>(GetLE32(b));
    return n < 0 ? 0 : n;
}

bool StartCommandWatch(CommandWatch* watch, int32_t* leftover) {
    watch->Seen = ReadCommandFile(&watch->Last) == COMMAND_SIZE;
    if (watch->Seen) *leftover = watch->Last;
    return watch->Seen;
}

bool NextCommand(CommandWatch* watch, int32_t* code) {
    int32_t now;
    if (ReadCommandFile(&now) != COMMAND_SIZE || (watch->Seen && now == watch->Last)) return false;
    watch->Seen = true;
    watch->Last = *code = now;
    return true;
}
