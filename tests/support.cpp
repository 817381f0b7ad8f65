// Scratch directories and file helpers for the tests.
#include "tests/support.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "host/service.h"
#include "link/link.h"
#include "log/log.h"
#include "tests/sim/sim.h"

namespace fs = std::filesystem;

namespace {

long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

}  // namespace

void InScratchDir::SetUp() {
    static std::atomic<int> serial(0);
    Previous = fs::current_path();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process's id too: two runs of the suite at once (two builds, say) never share a folder.
    std::string name = std::string("qvl-") + info->test_suite_name() + "-" + info->name() + "-" +
                       std::to_string(ProcessId()) + "-" + std::to_string(std::time(nullptr)) + "-" +
                       std::to_string(serial++);
    for (char& c : name)
        if (c == '/') c = '_';
    Dir = fs::temp_directory_path() / name;
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    fs::current_path(Dir);
    sim::Reset();
    StopRequested = 0;
    UseTimeZone("UTC0");
}

void InScratchDir::TearDown() {
    // Every descriptor and handle the code under test opened, it closed: one left per call runs
    // a service out of them in weeks.
    EXPECT_EQ(sim::FilesOpen(), 0) << "a file descriptor was left open";
    EXPECT_EQ(sim::W.HandlesOpen, 0) << "a process or thread handle was left open";
    fs::current_path(Previous);
    std::error_code ignored;
    fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(Dir, ignored);
}

void UseTimeZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    return fs::exists(path);
}

std::vector<std::string> LogLines() {
    Bytes b = ReadBytes(LOG_FILE);
    std::string all(b.begin(), b.end());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = all.find(LOG_LINE_END, start)) != std::string::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    if (start != all.size()) lines.push_back("<unterminated>" + all.substr(start));
    return lines;
}

Bytes StatusFileBytes(int statusByte, int64_t heartbeat, size_t size) {
    Bytes b(STATUS_FILE_MIN_SIZE, 'x');
    PackStatusFields(&b[STATUS_BYTE_OFFSET], statusByte, heartbeat);
    b.resize(size, 0);
    return b;
}
