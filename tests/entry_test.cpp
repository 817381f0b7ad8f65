// The process entry: which directory it makes current, what it hands the dispatcher, and the
// exit status it returns.
#include <cstring>
#include <string>

#include "host/entry.h"
#include "log/log.h"
#include "tests/sim/sim.h"
#include "tests/support.h"

namespace {

using sim::W;

TEST(ProgramDirectory, KeepsDriveAndDirectoryWithTheTrailingSeparator) {
    struct Case {
        const char* path;
        const char* directory;
    } cases[] = {
        {"C:\\APPS\\SVC\\qvlsvce.exe", "C:\\APPS\\SVC\\"},
        {"C:\\qvlsvce.exe", "C:\\"},
        {"C:qvlsvce.exe", "C:"},
        {"qvlsvce.exe", ""},
        {"", ""},
        {"\\\\server\\share\\svc\\qvlsvce.exe", "\\\\server\\share\\svc\\"},
        {"D:/mixed\\seps/qvlsvce.exe", "D:/mixed\\seps/"},
        {"C:\\APPS\\SVC\\", "C:\\APPS\\SVC\\"},
    };
    for (const Case& c : cases) {
        char out[PATH_SIZE];
        EXPECT_TRUE(ProgramDirectory(c.path, out)) << c.path;
        EXPECT_STREQ(out, c.directory) << c.path;
    }
}

TEST(ProgramDirectory, RefusesADirectoryTooLongForItsBufferWithoutWritingPastIt) {
    for (size_t length : {PATH_SIZE - 2, PATH_SIZE - 1, PATH_SIZE, PATH_SIZE + 500}) {
        std::string directory = "C:\\" + std::string(length - 4, 'd') + "\\";
        std::string path = directory + "qvlsvce.exe";
        char out[PATH_SIZE + 16];
        memset(out, '#', sizeof out);
        bool fits = length < PATH_SIZE;
        EXPECT_EQ(ProgramDirectory(path.c_str(), out, PATH_SIZE), fits) << length;
        EXPECT_EQ(std::string(out), fits ? directory : "") << length;
        for (size_t i = PATH_SIZE; i < sizeof out; i++) ASSERT_EQ(out[i], '#') << length;
    }
}

typedef InScratchDir Entry;

TEST_F(Entry, EntersItsOwnDirectoryThenDispatchesTheOneService) {
    W.Script.Heartbeat = false;
    char path[] = "C:\\APPS\\SVC\\qvlsvce.exe";
    char extra[] = "--ignored";
    char* argv[] = {path, extra, nullptr};
    EXPECT_EQ(RunProcess(2, argv), 1);
    EXPECT_EQ(W.DirectoryChanges, std::vector<std::string>({"C:\\APPS\\SVC\\"}));
    EXPECT_EQ(W.DispatchedNames, std::vector<std::string>({"QVLService"}));
    EXPECT_EQ(W.RegisteredName, "QVLService");
    EXPECT_EQ(W.Violations, std::vector<std::string>());
}

TEST_F(Entry, AnUnusablePathStillDispatches) {
    std::string tooLong = "C:\\" + std::string(PATH_SIZE, 'd') + "\\qvlsvce.exe";
    struct Case {
        const char* path;
        std::vector<std::string> changes;
    } cases[] = {
        {"qvlsvce.exe", {""}},  // no directory: the change fails and the inherited one stays
        {tooLong.c_str(), {}},
    };
    for (const Case& c : cases) {
        sim::Reset();
        W.Script.Heartbeat = false;
        std::string copy = c.path;
        char* argv[] = {&copy[0], nullptr};
        EXPECT_EQ(RunProcess(1, argv), 1);
        EXPECT_EQ(W.DirectoryChanges, c.changes);
        EXPECT_EQ(W.DispatchedNames, std::vector<std::string>({"QVLService"}));
    }
}

TEST_F(Entry, WithoutAManagerExitsZeroAndWritesNothing) {
    W.Fault.NoManager = true;
    char path[] = "C:\\APPS\\SVC\\qvlsvce.exe";
    char* argv[] = {path, nullptr};
    EXPECT_EQ(RunProcess(1, argv), 0);
    EXPECT_TRUE(W.Launches.empty());
    EXPECT_TRUE(std::filesystem::is_empty(Dir));
}

}  // namespace
