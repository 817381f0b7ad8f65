// The two files shared with the supervised program: the status file it writes (a status byte
// and a heartbeat) and the command file the service writes (one command code). Every byte of
// both, for both sides, is packed and unpacked here and nowhere else.
#pragma once

#include <stdint.h>

const char* const STATUS_FILE = "ZARNQVL.ADR";
const char* const COMMAND_FILE = "ZARNQVL.STA";

// Status file layout: bytes 0 to 11 belong to the program; then the status byte, then the
// heartbeat as a 32-bit little-endian count of seconds since 1970 (unaligned).
const long STATUS_BYTE_OFFSET = 12;
const long HEARTBEAT_OFFSET = 13;
const int STATUS_FIELDS_SIZE = 5;   // status byte and heartbeat
const int STATUS_FILE_MIN_SIZE = 17;
const int COMMAND_SIZE = 4;         // at offset 0; later bytes are the program's

const int STATUS_ABSENT = -1;
const int STATUS_NONE = 0xFF;       // a status byte that reads as absent
const int STATUS_HOLD_BIT = 0x80;   // holds off the finish command while set
const int HEARTBEAT_MAX_AGE = 90;   // seconds; a heartbeat exactly this old is still fresh

const int32_t CMD_BEFORE_LAUNCH = 0x8000;
const int32_t CMD_STOP_BEGIN = 1;
const int32_t CMD_STOP_FINISH = 10;

// Why the program's side ended a run: the service-specific exit code the host's last report
// carries, with ERROR_SERVICE_SPECIFIC_ERROR. A requested stop carries no code, a failed launch
// the launch's own error.
const uint32_t END_STATUS_GONE = 1;      // the status file could not be opened or read
const uint32_t END_STATUS_SHORT = 2;     // the status file ends before a whole heartbeat
const uint32_t END_STATUS_NONE = 3;      // the status byte was STATUS_NONE
const uint32_t END_HEARTBEAT_STALE = 4;  // the heartbeat was over HEARTBEAT_MAX_AGE old
const uint32_t END_NEVER_HEARTBEAT = 5;  // no read since the launch ever found the program there

// Little-endian 32-bit values, as both files store them.
void PutLE32(unsigned char* to, uint32_t value);
uint32_t GetLE32(const unsigned char* from);

// What the status file holds past the program's own 12 bytes.
struct StatusRecord {
    int Bytes;           // read from the status byte on: 0 to STATUS_FIELDS_SIZE
    int StatusByte;      // -1 when the file ends before it
    uint32_t Heartbeat;  // as the program wrote it; valid only when Bytes is STATUS_FIELDS_SIZE
};

// The host's side.

// Unpacks n bytes (at most STATUS_FIELDS_SIZE) read from STATUS_BYTE_OFFSET on.
void UnpackStatusRecord(const unsigned char* fields, int n, StatusRecord* record);

// Reads the status record; 0 when the file cannot be opened or read.
int ReadStatusRecord(StatusRecord* record);

// Seconds from heartbeat to now, negative for a heartbeat ahead. The heartbeat is taken as the
// time nearest to now whose low 32 bits it holds, so the age stays right after January 2038.
int64_t HeartbeatAge(uint32_t heartbeat, int64_t now);

// Why a status reads as absent, or that it does not.
enum Absence {
    PRESENT,
    ABSENT_MISSING,    // the file cannot be opened or read
    ABSENT_SHORT,      // it ends before a whole heartbeat
    ABSENT_NO_STATUS,  // status byte STATUS_NONE
    ABSENT_STALE,      // heartbeat over HEARTBEAT_MAX_AGE old
};

// A folder's status as the host judges it: everyone who reads a status file reads this.
struct StatusView {
    StatusRecord Record;
    int64_t Now;     // the clock, read before the file
    int64_t Age;     // seconds since the heartbeat, negative when ahead; 0 without a whole record
    int Answer;      // the status byte (0 to 254), or STATUS_ABSENT
    Absence Why;
};

// Judges a record read at now; opened false: the file could not be read.
void ViewStatus(bool opened, const StatusRecord& record, int64_t now, StatusView* view);

// Reads the clock, then the status file in the current directory, and judges it.
void ReadStatusView(StatusView* view);

// Whether the view holds a whole record, so a status byte and a heartbeat age to show.
bool HasHeartbeat(const StatusView& view);

// The code of a run that ended because the status read as absent for this reason (not PRESENT).
uint32_t EndCode(Absence why);

// Why a status reads as absent, in a few words ("no status file"), and as what the program did
// ("status file removed"); "" when it does not.
const char* AbsenceWords(Absence why);
const char* AbsenceDoneWords(Absence why);

// The status byte (0 to 254) when the status file holds one backed by a fresh heartbeat;
// STATUS_ABSENT otherwise. Reopens the file at every call and keeps nothing between calls.
int ReadProgramStatus();

// Writes code at offset 0 of the command file, creating it if needed and keeping any later
// bytes. A command that cannot be written is lost silently.
void WriteProgramCommand(int32_t code);

// The program's side.

// The status byte and heartbeat (its low 32 bits) as the file holds them at STATUS_BYTE_OFFSET.
void PackStatusFields(unsigned char* fields, int statusByte, int64_t heartbeat);

// Writes the status byte and heartbeat in place, in one write, never truncating: the host may
// read at any moment. Bytes 0 to 11 are left as they are (zeros in a new file). Non-zero when
// all were written.
int WriteProgramStatus(int statusByte, int64_t heartbeat);

// Reads the command file: the count of bytes it has up to COMMAND_SIZE, with the code in *code
// when all are there; -1 when it cannot be opened.
int ReadCommandFile(int32_t* code);

// The file keeps the last code written, so a command is a change of code. A code already in the
// file when the program starts is left from before: it is noted, never obeyed.
struct CommandWatch {
    bool Seen;     // a whole code has been read
    int32_t Last;
};

// At the program's start: notes the code already there; true, with it in *leftover, if any.
bool StartCommandWatch(CommandWatch* watch, int32_t* leftover);

// True, with the code, when the file holds a code other than the last one noted.
bool NextCommand(CommandWatch* watch, int32_t* code);
