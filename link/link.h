// The two files shared with the supervised program: the status file it writes (a status byte
// and a heartbeat) and the command file the service writes (one command code).
#pragma once

#include <cstdint>

const char* const STATUS_FILE = "ZARNQVL.ADR";
const char* const COMMAND_FILE = "ZARNQVL.STA";

// Status file layout: bytes 0 to 11 belong to the program; then the status byte, then the
// heartbeat as a signed 32-bit little-endian count of seconds since 1970 (unaligned).
const long STATUS_BYTE_OFFSET = 12;
const long HEARTBEAT_OFFSET = 13;
const int STATUS_FILE_MIN_SIZE = 17;

const int STATUS_ABSENT = -1;
const int STATUS_NONE = 0xFF;       // a status byte that reads as absent
const int STATUS_HOLD_BIT = 0x80;   // holds off the finish command while set
const int HEARTBEAT_MAX_AGE = 90;   // seconds; a heartbeat exactly this old is still fresh

const int32_t CMD_BEFORE_LAUNCH = 0x8000;
const int32_t CMD_STOP_BEGIN = 1;
const int32_t CMD_STOP_FINISH = 10;

// What the status file holds past the program's own 12 bytes.
struct StatusRecord {
    int Bytes = 0;          // read from the status byte on: 0 to 5
    int StatusByte = -1;    // -1 when the file ends before it
    int64_t Heartbeat = 0;  // valid only when all 5 bytes were read
};

// Reads the status record; 0 when the file cannot be opened or read.
int ReadStatusRecord(StatusRecord* record);

// What the host concludes from a record at time now: see ReadProgramStatus.
int StatusAnswer(const StatusRecord& record, int64_t now);

// The status byte (0 to 254) when the status file holds one backed by a fresh heartbeat;
// STATUS_ABSENT otherwise. Reopens the file at every call and keeps nothing between calls.
int ReadProgramStatus();

// Writes code at offset 0 of the command file, creating it if needed and keeping any later
// bytes. A command that cannot be written is lost silently.
void WriteProgramCommand(int32_t code);
