// The log: exact bytes of a line, appending, recreation, silence on failure, whole lines from
// two threads.
#include <string>
#include <thread>

#include "log/log.h"
#include "tests/sim/sim.h"
#include "tests/support.h"

namespace {

const int64_t TUESDAY = 1700000000;  // Tue 14 Nov 2023 22:13:20 UTC

typedef InScratchDir Log;

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

TEST_F(Log, LineIsPrefixMessageAndCarriageReturnLineFeed) {
    sim::SetTime(TUESDAY);
    LogMessage("Starting QVL service %s", "QVLService");
    LogMessage("QVL Service start failed error=%X", 0x427u);
    LogMessage("ZARNQVL not started! error=%d", 2);
    EXPECT_EQ(Text(ReadBytes(LOG_FILE)),
              "Tue 14 Nov 22:13:20 : SVCE  : Starting QVL service QVLService\r\n"
              "Tue 14 Nov 22:13:20 : SVCE  : QVL Service start failed error=427\r\n"
              "Tue 14 Nov 22:13:20 : SVCE  : ZARNQVL not started! error=2\r\n");
}

TEST_F(Log, PrefixIsLocalTimeWithTwoDigitFields) {
    struct Case {
        const char* zone;
        int64_t seconds;
        const char* prefix;
    } cases[] = {
        {"UTC0", TUESDAY, "Tue 14 Nov 22:13:20 : SVCE  : "},
        {"EST5", TUESDAY, "Tue 14 Nov 17:13:20 : SVCE  : "},
        {"JST-9", TUESDAY, "Wed 15 Nov 07:13:20 : SVCE  : "},
        {"UTC0", 1704070861, "Mon 01 Jan 01:01:01 : SVCE  : "},
        {"UTC0", 0, "Thu 01 Jan 00:00:00 : SVCE  : "},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(LOG_FILE);
        UseTimeZone(c.zone);
        sim::SetTime(c.seconds);
        LogMessage("QVL unloaded");
        EXPECT_EQ(Text(ReadBytes(LOG_FILE)), std::string(c.prefix) + "QVL unloaded\r\n") << c.zone;
    }
}

TEST_F(Log, AppendsToAnExistingFileAndNeverShortensIt) {
    WriteBytes(LOG_FILE, {'o', 'l', 'd', '\n', 0x00, 0xFF});
    sim::SetTime(TUESDAY);
    LogMessage("QVL Service started");
    EXPECT_EQ(Text(ReadBytes(LOG_FILE)), std::string("old\n\0\xFF", 6) +
                                             "Tue 14 Nov 22:13:20 : SVCE  : QVL Service started\r\n");
}

TEST_F(Log, DeletedBetweenTwoLinesIsStartedAfresh) {
    LogMessage("QVL Service started");
    std::filesystem::remove(LOG_FILE);
    LogMessage("QVL Service stopped");
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(30), "QVL Service stopped");
}

TEST_F(Log, LongMessageIsCutTo255Characters) {
    std::string name(1000, 'n');
    LogMessage("Starting QVL service %s", name.c_str());
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    std::string message = lines[0].substr(30);
    EXPECT_EQ(message.size(), static_cast<size_t>(LOG_MESSAGE_SIZE - 1));
    EXPECT_EQ(message, ("Starting QVL service " + name).substr(0, LOG_MESSAGE_SIZE - 1));
}

TEST_F(Log, LogPathThatIsADirectoryIsSkippedSilently) {
    std::filesystem::create_directory(LOG_FILE);
    LogMessage("QVL Service started");
    EXPECT_TRUE(std::filesystem::is_empty(LOG_FILE));
}

#ifndef _WIN32
TEST_F(Log, CreatedForItsOwnerOnly) {
    LogMessage("QVL Service started");
    auto perms = std::filesystem::status(LOG_FILE).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}
#endif

TEST_F(Log, TwoThreadsNeverInterleaveOrLoseLines) {
#ifdef _WIN32
    const int PER_THREAD = 20000;  // the emulated file calls are slow; the race is the same
#else
    const int PER_THREAD = 100000;
#endif
    auto write = [](const char* who) {
        for (int i = 0; i < PER_THREAD; i++) LogMessage("%s line %d", who, i);
    };
    std::thread a(write, "service");
    std::thread b(write, "handler");
    a.join();
    b.join();
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 2u * PER_THREAD);
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        std::string message = line.substr(30);
        int who = message.rfind("service line ", 0) == 0 ? 0 : message.rfind("handler line ", 0) == 0 ? 1 : -1;
        ASSERT_NE(who, -1) << line;
        // Each thread's lines appear whole and in the order it wrote them.
        ASSERT_EQ(message.substr(13), std::to_string(next[who])) << line;
        next[who]++;
    }
}

}  // namespace
