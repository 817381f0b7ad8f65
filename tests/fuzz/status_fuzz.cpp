// Fuzz target for the status file: the input's first 8 bytes set the clock, the rest become
// the status file. The answer must be STATUS_ABSENT or 0 to 254, and exactly what the layout
// says: the byte at 12, unless the file is shorter than 17 bytes, the byte is 0xFF, or the
// heartbeat at 13, taken as the time nearest to now with those
// low 32 bits, is more than 90 seconds old. The target works in a scratch directory of its
// own, so corpus folders must be given by absolute path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "link/link.h"
#include "tests/sim/sim.h"

namespace {

void EnterScratchDir() {
    static bool entered = false;
    if (entered) return;
    char dir[] = "/tmp/qvl-fuzz-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) abort();
    entered = true;
}

int Expected(int64_t now, const uint8_t* file, size_t size) {
    if (size < 17 || file[12] == 0xFF) return STATUS_ABSENT;
    int64_t heartbeat = file[13] + 256 * (file[14] + 256 * (file[15] + 256 * int64_t(file[16])));
    // The heartbeat stands for the time nearest to now with the same low 32 bits.
    int64_t age = ((now - heartbeat) % 4294967296 + 4294967296) % 4294967296;
    if (age >= 2147483648) age -= 4294967296;
    return age > 90 ? STATUS_ABSENT : file[12];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnterScratchDir();
    if (size < 8) return 0;
    uint64_t raw;
    memcpy(&raw, data, 8);
    // Any clock within a million years or so of 1970 either way, far past the 32-bit range.
    int64_t now = static_cast<int64_t>(raw % (uint64_t(1) << 45)) - (int64_t(1) << 44);
    sim::Reset();
    sim::SetTime(now);
    FILE* f = fopen(STATUS_FILE, "wb");
    if (!f) abort();
    if (size > 8 && fwrite(data + 8, 1, size - 8, f) != size - 8) abort();
    fclose(f);
    int answer = ReadProgramStatus();
    if (answer < STATUS_ABSENT || answer > 254) abort();
    if (answer != Expected(now, data + 8, size - 8)) abort();
    return 0;
}
