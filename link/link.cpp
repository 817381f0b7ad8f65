// Reads the supervised program's status file and writes its command file, byte for byte in the
// shared little-endian layout whatever this machine's byte order.
#include "link/link.h"

#include "platform/platform.h"

int ReadStatusRecord(StatusRecord* record) {
    *record = StatusRecord();
    int fd = os::FileOpen(STATUS_FILE, os::FILE_READ);
    if (fd < 0) return 0;
    unsigned char b[STATUS_FILE_MIN_SIZE - STATUS_BYTE_OFFSET];
    int n = -1;
    if (os::FileSeek(fd, STATUS_BYTE_OFFSET) == 0) n = os::FileRead(fd, b, sizeof b);
    os::FileClose(fd);
    if (n < 0) return 0;
    record->Bytes = n;
    if (n >= 1) record->StatusByte = b[0];
    if (n == static_cast<int>(sizeof b)) {
        uint32_t raw = b[1] | uint32_t(b[2]) << 8 | uint32_t(b[3]) << 16 | uint32_t(b[4]) << 24;
        record->Heartbeat = static_cast<int32_t>(raw);
    }
    return 1;
}

int StatusAnswer(const StatusRecord& record, int64_t now) {
    // A status byte without a whole heartbeat behind it proves nothing about the program.
    if (record.Bytes != STATUS_FILE_MIN_SIZE - STATUS_BYTE_OFFSET) return STATUS_ABSENT;
    if (record.StatusByte == STATUS_NONE) return STATUS_ABSENT;
    // In 64 bits, so that a heartbeat near the 32-bit limit cannot wrap round to stale.
    if (now > record.Heartbeat + HEARTBEAT_MAX_AGE) return STATUS_ABSENT;
    return record.StatusByte;
}

int ReadProgramStatus() {
    // The clock is read first: a heartbeat written while the file is read can only look newer.
    int64_t now = os::time();
    StatusRecord record;
    if (!ReadStatusRecord(&record)) return STATUS_ABSENT;
    return StatusAnswer(record, now);
}

void WriteProgramCommand(int32_t code) {
    int fd = os::FileOpen(COMMAND_FILE, os::FILE_WRITE);
    if (fd < 0) return;
    uint32_t u = static_cast<uint32_t>(code);
    unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    // A short or failed write is not retried: the program sees the next command instead.
    os::FileWrite(fd, b, sizeof b);
    os::FileClose(fd);
}
