// The diagnostics tool: its answer and exit status for each kind of status file, and that it
// never writes a shared file.
#include <string>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include "link/link.h"
#include "log/log.h"
#include "tests/sim/sim.h"
#include "tests/support.h"
#include "tools/qvl/status.h"

namespace {

const int64_t NOW = 1700000000;

int ShowStatus(const std::string& folder, std::string* out) {
    std::vector<char> report(REPORT_SIZE);
    int status = ::ShowStatus(folder.c_str(), report.data(), REPORT_SIZE);
    *out = report.data();
    return status;
}

class StatusReport : public InScratchDir {
protected:
    void SetUp() override {
        InScratchDir::SetUp();
        sim::SetTime(NOW);
    }
    int Show(std::string* out) { return ShowStatus(Dir.string(), out); }
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(StatusReport, AnswersAsTheHostWould) {
    struct Case {
        const char* what;
        Bytes status;   // empty: no status file
        int exit;
        std::vector<std::string> says;
    } cases[] = {
        {"fresh", StatusFileBytes(0x00, NOW - 5), REPORT_PRESENT,
         {"status      0x00 (all well)", "5 s ago: fresh", "answer      0: the host would take the program as there"}},
        {"holding", StatusFileBytes(0x80, NOW), REPORT_PRESENT, {"0x80 (hold bit set", "answer      128"}},
        {"stale", StatusFileBytes(0x00, NOW - 91), REPORT_ABSENT,
         {"91 s ago: stale", "answer      -1: the host would take the program as gone"}},
        {"no status", StatusFileBytes(0xFF, NOW), REPORT_ABSENT, {"0xFF (no status: read as absent)", "answer      -1"}},
        {"missing", {}, REPORT_ABSENT, {"status      ZARNQVL.ADR cannot be opened or read", "answer      -1"}},
        {"short", StatusFileBytes(0x00, NOW, 15), REPORT_ABSENT,
         {"ZARNQVL.ADR has 15 bytes; 17 are needed", "answer      -1"}},
        {"shorter than the program's own bytes", StatusFileBytes(0x00, NOW, 5), REPORT_ABSENT,
         {"ZARNQVL.ADR has 5 bytes; 17 are needed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(STATUS_FILE);
        if (!c.status.empty()) WriteBytes(STATUS_FILE, c.status);
        std::string out;
        EXPECT_EQ(Show(&out), c.exit);
        for (const std::string& part : c.says) EXPECT_TRUE(Has(out, part)) << part << " in\n" << out;
    }
}

TEST_F(StatusReport, NamesTheLastCommandAndShowsTheLastLogLines) {
    WriteBytes(STATUS_FILE, StatusFileBytes(0x00, NOW));
    std::string out;
    Show(&out);
    EXPECT_TRUE(Has(out, "command     none: ZARNQVL.STA cannot be opened")) << out;
    EXPECT_TRUE(Has(out, "log         none: ZARNQVL.ERR cannot be opened")) << out;

    WriteBytes(COMMAND_FILE, {0x0A, 0x00, 0x00, 0x00, 0x99});
    for (int i = 1; i <= 8; i++) LogMessage("line %d", i);
    Show(&out);
    EXPECT_TRUE(Has(out, "command     10 (stop finish)")) << out;
    EXPECT_FALSE(Has(out, "line 3\n")) << out;
    EXPECT_TRUE(Has(out, "line 4\n  ") && Has(out, "line 8\n")) << out;
    EXPECT_FALSE(Has(out, "\r")) << out;

    WriteBytes(COMMAND_FILE, {0x01, 0x00});
    Show(&out);
    EXPECT_TRUE(Has(out, "command     ZARNQVL.STA has 2 bytes; 4 are needed")) << out;
}

TEST_F(StatusReport, NeverWritesTheSharedFiles) {
    Bytes status = StatusFileBytes(0x80, NOW), command = {0x01, 0x00, 0x00, 0x00};
    WriteBytes(STATUS_FILE, status);
    WriteBytes(COMMAND_FILE, command);
    std::string out;
    Show(&out);
    EXPECT_EQ(ReadBytes(STATUS_FILE), status);
    EXPECT_EQ(ReadBytes(COMMAND_FILE), command);
    EXPECT_FALSE(Exists(LOG_FILE));
}

TEST_F(StatusReport, FolderNamesWithATrailingSeparatorOrBeyondASCIIAreEntered) {
    // Named in the system's narrow encoding, as a command line hands it over.
#ifdef _WIN32
    const std::string separator = "\\", odd = Dir.string() + separator + "Zo\xEB \xE9t\xE9";
    _mkdir(odd.c_str());
#else
    const std::string separator = "/", odd = Dir.string() + separator + "Zo\xC3\xAB \xC3\xA9t\xC3\xA9";
    mkdir(odd.c_str(), 0700);
#endif
    WriteBytes(odd + separator + STATUS_FILE, StatusFileBytes(0x00, NOW));
    for (const std::string& folder : {Dir.string() + separator, odd, odd + separator}) {
        std::string out;
        EXPECT_EQ(ShowStatus(folder, &out), folder.find("Zo") == std::string::npos ? REPORT_ABSENT : REPORT_PRESENT)
            << folder << "\n" << out;
    }
}

TEST_F(StatusReport, AFolderThatCannotBeReadIsExitStatusTwo) {
    std::string out;
    EXPECT_EQ(ShowStatus((Dir / "no such folder").string(), &out), REPORT_NO_FOLDER);
    EXPECT_TRUE(Has(out, "qvl status: cannot read the folder")) << out;
    WriteBytes("a file", {});
    EXPECT_EQ(ShowStatus((Dir / "a file").string(), &out), REPORT_NO_FOLDER);
}

}  // namespace
