// The status and command files: what every status file reads as, the bytes a command leaves,
// and the program's side: its status writes and the rule for the commands it reads.
#include <cstdint>
#include <cstdio>

#include "link/link.h"
#include "platform/platform.h"
#include "tests/sim/sim.h"
#include "tests/support.h"

namespace {

const int64_t NOW = 1700000000;
const int64_t WRAP = int64_t(1) << 31;  // 2038-01-19 03:14:08 UTC

// The status file as the program would write it, packed here independently of link/: twelve
// bytes of its own, the status byte, the heartbeat's low 32 bits least significant first.
Bytes File(int statusByte, int64_t heartbeat, size_t size = 17) {
    uint64_t low = static_cast<uint64_t>(heartbeat) % 4294967296u;
    Bytes b = {'o', 'w', 'n', 'b', 'y', 't', 'e', 's', '.', '.', '.', '.', static_cast<unsigned char>(statusByte)};
    for (int i = 0; i < 4; i++, low /= 256) b.push_back(static_cast<unsigned char>(low % 256));
    b.resize(size, 0);
    return b;
}

class StatusFile : public InScratchDir {
protected:
    void SetUp() override {
        InScratchDir::SetUp();
        sim::SetTime(NOW);
    }
};

TEST_F(StatusFile, MissingReadsAbsent) {
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
}

TEST_F(StatusFile, StatusByteAndHeartbeatAge) {
    struct Case {
        int statusByte;
        int64_t heartbeat;
        int expected;
    } cases[] = {
        {0x00, NOW, 0},
        {0x80, NOW, 128},
        {0xFE, NOW, 254},
        {0xFF, NOW, STATUS_ABSENT},
        {0x01, NOW - HEARTBEAT_MAX_AGE, 1},
        {0x01, NOW - HEARTBEAT_MAX_AGE - 1, STATUS_ABSENT},
        {0x80, NOW - 3600, STATUS_ABSENT},
        {0x00, NOW + 3600, 0},  // a heartbeat in the future is fresh
        {0xFF, NOW + 3600, STATUS_ABSENT},
        {0x00, 0, STATUS_ABSENT},
    };
    for (const Case& c : cases) {
        WriteBytes(STATUS_FILE, File(c.statusByte, c.heartbeat));
        EXPECT_EQ(ReadProgramStatus(), c.expected)
            << "status byte " << c.statusByte << ", heartbeat now" << c.heartbeat - NOW;
    }
}

TEST_F(StatusFile, EveryLengthFromEmptyToTwenty) {
    for (size_t size = 0; size <= 20; size++) {
        WriteBytes(STATUS_FILE, File(0x42, NOW, size));
        int expected = size >= static_cast<size_t>(STATUS_FILE_MIN_SIZE) ? 0x42 : STATUS_ABSENT;
        EXPECT_EQ(ReadProgramStatus(), expected) << size << " bytes";
    }
}

TEST_F(StatusFile, OnlyTheStatusByteAndHeartbeatAreRead) {
    Bytes b = File(0x07, NOW, 64);
    for (int i = 0; i < STATUS_BYTE_OFFSET; i++) b[i] = 0xFF;
    for (size_t i = STATUS_FILE_MIN_SIZE; i < b.size(); i++) b[i] = 0xFF;
    WriteBytes(STATUS_FILE, b);
    EXPECT_EQ(ReadProgramStatus(), 0x07);
}

TEST_F(StatusFile, AProgramWritingTheLowBitsOfTheTimeStaysFreshPast2038) {
    const int64_t YEAR = 365 * 86400LL, Y2100 = 4102444800;
    struct Case {
        int64_t now;
        int64_t heartbeat;  // as the program has it; the file holds its low 32 bits
        int expected;
    } cases[] = {
        {WRAP - YEAR, WRAP - YEAR - HEARTBEAT_MAX_AGE, 0},
        {WRAP - YEAR, WRAP - YEAR - HEARTBEAT_MAX_AGE - 1, STATUS_ABSENT},
        {WRAP - 1, WRAP - 1, 0},
        {WRAP, WRAP - 1, 0},
        {WRAP + 1, WRAP, 0},
        {WRAP + 89, WRAP - 1, 0},
        {WRAP + HEARTBEAT_MAX_AGE - 1, WRAP - 1, 0},
        {WRAP + HEARTBEAT_MAX_AGE, WRAP - 1, STATUS_ABSENT},
        {WRAP - 5, WRAP + 5, 0},  // ahead, across the wrap: fresh
        {WRAP + YEAR, WRAP + YEAR - HEARTBEAT_MAX_AGE, 0},
        {WRAP + YEAR, WRAP + YEAR - HEARTBEAT_MAX_AGE - 1, STATUS_ABSENT},
        {WRAP + YEAR, WRAP - 100, STATUS_ABSENT},
        {Y2100, Y2100 - 30, 0},
        {Y2100, Y2100 - 91, STATUS_ABSENT},
        {Y2100, Y2100 - YEAR, STATUS_ABSENT},
    };
    for (const Case& c : cases) {
        sim::SetTime(c.now);
        WriteBytes(STATUS_FILE, File(0, c.heartbeat));
        EXPECT_EQ(ReadProgramStatus(), c.expected) << "now " << c.now << " heartbeat " << c.heartbeat;
    }
}

TEST_F(StatusFile, DirectoryInItsPlaceReadsAbsent) {
    std::filesystem::create_directory(STATUS_FILE);
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
}

TEST_F(StatusFile, EveryCallSeesTheLatestWrite) {
    WriteBytes(STATUS_FILE, File(0x80, NOW));
    EXPECT_EQ(ReadProgramStatus(), 0x80);
    WriteBytes(STATUS_FILE, File(0x00, NOW));
    EXPECT_EQ(ReadProgramStatus(), 0x00);
    std::filesystem::remove(STATUS_FILE);
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
}

// The program removes its status file once told to finish, and an operator may delete the log,
// at any moment: one of our reads or writes in flight must not make that fail (on Windows, a
// handle opened without delete sharing does). Real files and the real runtime, under Wine too.
TEST_F(StatusFile, ItsFilesCanBeRemovedWhileWeHoldThemOpen) {
    for (os::FileMode mode : {os::FILE_READ, os::FILE_WRITE, os::FILE_APPEND}) {
        WriteBytes(STATUS_FILE, File(0, NOW));
        int fd = os::FileOpen(STATUS_FILE, mode);
        ASSERT_GE(fd, 0) << "mode " << mode;
        EXPECT_EQ(std::remove(STATUS_FILE), 0) << "mode " << mode;
        os::FileClose(fd);
        EXPECT_FALSE(std::filesystem::exists(STATUS_FILE)) << "mode " << mode;
        std::filesystem::remove(STATUS_FILE);
    }
}

typedef InScratchDir CommandFile;

TEST_F(CommandFile, NewFileHoldsTheCodeLittleEndian) {
    struct Case {
        int32_t code;
        Bytes bytes;
    } cases[] = {
        {CMD_STOP_BEGIN, {0x01, 0x00, 0x00, 0x00}},
        {CMD_STOP_FINISH, {0x0A, 0x00, 0x00, 0x00}},
        {CMD_BEFORE_LAUNCH, {0x00, 0x80, 0x00, 0x00}},
        {-2, {0xFE, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(COMMAND_FILE);
        WriteProgramCommand(c.code);
        EXPECT_EQ(ReadBytes(COMMAND_FILE), c.bytes) << c.code;
    }
}

TEST_F(CommandFile, LongerFileKeepsItsTail) {
    WriteBytes(COMMAND_FILE, {0x0A, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04});
    WriteProgramCommand(CMD_BEFORE_LAUNCH);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x00, 0x80, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}));
    WriteProgramCommand(CMD_STOP_BEGIN);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}));
}

TEST_F(CommandFile, ShorterFileIsOverwrittenFromTheStart) {
    WriteBytes(COMMAND_FILE, {0x55, 0x66});
    WriteProgramCommand(CMD_STOP_FINISH);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), Bytes({0x0A, 0x00, 0x00, 0x00}));
}

#ifndef _WIN32
TEST_F(CommandFile, CreatedForItsOwnerOnly) {
    WriteProgramCommand(CMD_STOP_BEGIN);
    auto perms = std::filesystem::status(COMMAND_FILE).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}
#endif

TEST_F(CommandFile, DirectoryInItsPlaceIsSkippedSilently) {
    std::filesystem::create_directory(COMMAND_FILE);
    WriteProgramCommand(CMD_STOP_BEGIN);
    EXPECT_TRUE(std::filesystem::is_directory(COMMAND_FILE));
    EXPECT_TRUE(std::filesystem::is_empty(COMMAND_FILE));
}

// The program's side: the status it writes and the commands it reads.
typedef InScratchDir ProgramSide;

TEST_F(ProgramSide, StatusIsWrittenInPlaceKeepingTheProgramsOwnBytes) {
    ASSERT_TRUE(WriteProgramStatus(0x80, 0x65544332));
    EXPECT_EQ(ReadBytes(STATUS_FILE), Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x32, 0x43, 0x54, 0x65}));
    Bytes longer = File(0x00, 0, 20);
    WriteBytes(STATUS_FILE, longer);
    ASSERT_TRUE(WriteProgramStatus(0x01, WRAP + 0x10));  // past 2038: the low 32 bits
    Bytes expected = longer;
    expected[12] = 0x01;
    expected[13] = 0x10, expected[14] = 0x00, expected[15] = 0x00, expected[16] = 0x80;
    EXPECT_EQ(ReadBytes(STATUS_FILE), expected);
}

TEST_F(ProgramSide, ALeftoverCommandIsNotedButOnlyAChangeIsACommand) {
    WriteBytes(COMMAND_FILE, {0x0A, 0x00, 0x00, 0x00});
    CommandWatch watch;
    int32_t code = 0;
    ASSERT_TRUE(StartCommandWatch(&watch, &code));
    EXPECT_EQ(code, CMD_STOP_FINISH);
    EXPECT_FALSE(NextCommand(&watch, &code));
    WriteBytes(COMMAND_FILE, {0x01, 0x00, 0x00, 0x00});
    ASSERT_TRUE(NextCommand(&watch, &code));
    EXPECT_EQ(code, CMD_STOP_BEGIN);
    EXPECT_FALSE(NextCommand(&watch, &code));

    std::filesystem::remove(COMMAND_FILE);
    EXPECT_FALSE(StartCommandWatch(&watch, &code));
    WriteBytes(COMMAND_FILE, {0x01, 0x00, 0x00, 0x00});
    ASSERT_TRUE(NextCommand(&watch, &code));  // none at the start: the first code is new
    EXPECT_EQ(code, CMD_STOP_BEGIN);
}

}  // namespace
