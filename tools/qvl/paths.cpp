// Paths made absolute and long, and a service's folder from its binary path.
#include "tools/qvl/paths.h"

#include <string.h>

#include "host/entry.h"
#include "tools/qvl/config.h"
#include "tools/qvl/text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

void DropEndSeparator(char* path) {
    size_t n = strlen(path);
    bool root = n == 3 && path[1] == ':';
    if (n > 1 && !root && (path[n - 1] == '\\' || path[n - 1] == '/')) path[n - 1] = '\0';
}

}  // namespace

bool IsFile(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const char* path) {
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ModuleFolder(char* out, int size) {
    char path[PATH_TEXT];
    DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path || !ProgramDirectory(path, out, size) || !out[0]) return false;
    DropEndSeparator(out);
    return true;
}

bool FullFolder(const char* folder, char* out, int size) {
    DWORD n = ::GetFullPathNameA(folder, size, out, nullptr);
    if (n == 0 || n >= static_cast<DWORD>(size)) return false;
    DropEndSeparator(out);
    return true;
}

void BinaryFolder(const char* binaryPath, char* out, int size) {
    char program[PATH_TEXT];
    BinaryProgram(binaryPath, program, sizeof program);
    ProgramDirectory(program, out, size);
    DropEndSeparator(out);
}

void LongForm(const char* path, char* out, int size) {
    DWORD n = ::GetLongPathNameA(path, out, size);
    if (n == 0 || n >= static_cast<DWORD>(size)) Format(out, size, "%s", path);
    DropEndSeparator(out);
}
