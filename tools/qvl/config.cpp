// Paths as Windows compares them (case and separator aside), and what follows from them.
#include "tools/qvl/config.h"

#include <string.h>

#include "host/service.h"
#include "tools/qvl/door.h"

void BinaryProgram(const char* binaryPath, char* out, int size) {
    const char* from = binaryPath;
    const char* end;
    if (*from == '"') {
        end = strchr(++from, '"');
        if (!end) end = from + strlen(from);
    } else {
        const char* exe = from;
        for (; *exe && !(exe[0] == '.' && (exe[1] | 0x20) == 'e' && (exe[2] | 0x20) == 'x' && (exe[3] | 0x20) == 'e');
             exe++) {
        }
        end = *exe ? exe + 4 : from + strlen(from);
    }
    int n = static_cast<int>(end - from);
    if (n >= size) n = 0;
    memcpy(out, from, n);
    out[n] = '\0';
}

bool ReparseIsLink(uint32_t tag) {
    return tag != door::TAG_DEDUP && tag != door::TAG_WOF;
}

bool SamePath(const char* a, const char* b) {
    for (; *a && *b; a++, b++) {
        char x = *a == '/' ? '\\' : *a, y = *b == '/' ? '\\' : *b;
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return *a == *b;
}

bool JoinPath(const char* folder, const char* name, char* out, int size) {
    size_t f = strlen(folder), n = strlen(name);
    bool separated = f > 0 && (folder[f - 1] == '\\' || folder[f - 1] == '/');
    size_t total = f + (separated ? 0 : 1) + n;
    if (total >= static_cast<size_t>(size)) return false;
    memcpy(out, folder, f);
    if (!separated) out[f++] = '\\';
    memcpy(out + f, name, n + 1);
    return true;
}

namespace {

// The path without the prefix that only tells Windows to take it as it stands.
const char* Plain(const char* path) {
    return !strncmp(path, "\\\\?\\", 4) ? path + 4 : path;
}

}  // namespace

const char* WhyNotLock(const char* folder, const char* windowsFolder, const char* const* systemFolders, int count) {
    folder = Plain(folder);
    windowsFolder = Plain(windowsFolder);
    size_t n = strlen(folder);
    if (n <= 3) return "it is a drive's root";
    size_t w = strlen(windowsFolder);
    char head[1024];
    if (w > 0 && w < sizeof head && n >= w && (folder[w] == '\0' || folder[w] == '\\')) {
        memcpy(head, folder, w);
        head[w] = '\0';
        if (SamePath(head, windowsFolder)) return "it is the Windows folder or inside it";
    }
    for (int i = 0; i < count; i++)
        if (systemFolders[i] && systemFolders[i][0] && SamePath(folder, Plain(systemFolders[i])))
            return "it is a system folder that others share";
    return nullptr;
}

bool RunsProgram(const char* binaryPath, const char* expected) {
    char program[1024];
    BinaryProgram(binaryPath, program, sizeof program);
    return SamePath(program, expected);
}

void JudgeServiceConfig(const char* binaryPath, uint32_t type, const char* expected, Findings* findings) {
    if (binaryPath[0] != '"' && strchr(binaryPath, ' '))
        AddFinding(findings, "service: its binary path %s is not quoted and holds a blank: Windows may start a "
                   "program from a shorter path first; run qvl install to set it quoted", binaryPath);
    char program[1024];
    BinaryProgram(binaryPath, program, sizeof program);
    if (!SamePath(program, expected))
        AddFinding(findings, "service: it runs %s, not %s; run qvl install in the right folder, or audit that one",
                   program, expected);
    if (type != SERVICE_TYPE)
        AddFinding(findings, "service: its type is 0x%X, not own-process and interactive (0x%X); run qvl install "
                   "to set it", static_cast<unsigned>(type), static_cast<unsigned>(SERVICE_TYPE));
}
