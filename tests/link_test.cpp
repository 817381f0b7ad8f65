// The status and command files: what every status file reads as, and the bytes a command leaves.
#include <cstdint>
#include <random>

#include "link/link.h"
#include "platform/sim.h"
#include "tests/support.h"

namespace {

const int64_t NOW = 1700000000;

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
        WriteBytes(STATUS_FILE, StatusFileBytes(c.statusByte, c.heartbeat));
        EXPECT_EQ(ReadProgramStatus(), c.expected)
            << "status byte " << c.statusByte << ", heartbeat now" << c.heartbeat - NOW;
    }
}

TEST_F(StatusFile, EveryLengthFromEmptyToTwenty) {
    for (size_t size = 0; size <= 20; size++) {
        WriteBytes(STATUS_FILE, StatusFileBytes(0x42, NOW, size));
        int expected = size >= static_cast<size_t>(STATUS_FILE_MIN_SIZE) ? 0x42 : STATUS_ABSENT;
        EXPECT_EQ(ReadProgramStatus(), expected) << size << " bytes";
    }
}

TEST_F(StatusFile, OnlyTheStatusByteAndHeartbeatAreRead) {
    Bytes b = StatusFileBytes(0x07, NOW, 64);
    for (int i = 0; i < STATUS_BYTE_OFFSET; i++) b[i] = 0xFF;
    for (size_t i = STATUS_FILE_MIN_SIZE; i < b.size(); i++) b[i] = 0xFF;
    WriteBytes(STATUS_FILE, b);
    EXPECT_EQ(ReadProgramStatus(), 0x07);
}

TEST_F(StatusFile, HeartbeatNearThe32BitLimitDoesNotWrap) {
    struct Case {
        int64_t now;
        int64_t heartbeat;
        int expected;
    } cases[] = {
        {INT32_MAX, INT32_MAX - HEARTBEAT_MAX_AGE, 0},  // heartbeat + 90 overflows 32 bits
        {INT32_MAX, INT32_MAX - HEARTBEAT_MAX_AGE - 1, STATUS_ABSENT},
        {INT32_MAX, INT32_MAX, 0},
        {NOW, INT32_MAX, 0},
        {NOW, INT32_MIN, STATUS_ABSENT},
        {INT32_MIN + 10, INT32_MIN, 0},
        {int64_t(INT32_MAX) + 100, INT32_MAX, STATUS_ABSENT},  // past 2038 the heartbeat is stale
    };
    for (const Case& c : cases) {
        sim::SetTime(c.now);
        WriteBytes(STATUS_FILE, StatusFileBytes(0, c.heartbeat));
        EXPECT_EQ(ReadProgramStatus(), c.expected) << "now " << c.now << " heartbeat " << c.heartbeat;
    }
}

TEST_F(StatusFile, RandomBytesFollowTheLayoutRules) {
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; round++) {
        Bytes b(random() % 24);
        for (unsigned char& x : b) x = static_cast<unsigned char>(random());
        // Heartbeats near now on some rounds, so fresh answers are exercised too.
        if (b.size() >= 17 && round % 2) {
            uint32_t hb = static_cast<uint32_t>(NOW - 100 + random() % 200);
            for (int i = 0; i < 4; i++) b[HEARTBEAT_OFFSET + i] = static_cast<unsigned char>(hb >> (8 * i));
        }
        WriteBytes(STATUS_FILE, b);
        int expected = STATUS_ABSENT;
        if (b.size() >= 17) {
            int32_t hb = static_cast<int32_t>(b[13] | b[14] << 8 | b[15] << 16 | uint32_t(b[16]) << 24);
            if (b[12] != 0xFF && NOW <= int64_t(hb) + 90) expected = b[12];
        }
        ASSERT_EQ(ReadProgramStatus(), expected) << "round " << round;
    }
}

TEST_F(StatusFile, DirectoryInItsPlaceReadsAbsent) {
    std::filesystem::create_directory(STATUS_FILE);
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
}

TEST_F(StatusFile, EveryCallSeesTheLatestWrite) {
    WriteBytes(STATUS_FILE, StatusFileBytes(0x80, NOW));
    EXPECT_EQ(ReadProgramStatus(), 0x80);
    WriteBytes(STATUS_FILE, StatusFileBytes(0x00, NOW));
    EXPECT_EQ(ReadProgramStatus(), 0x00);
    std::filesystem::remove(STATUS_FILE);
    EXPECT_EQ(ReadProgramStatus(), STATUS_ABSENT);
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

}  // namespace
