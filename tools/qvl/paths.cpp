// Paths made absolute and long, a folder from what it holds, and a file written whole.
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

bool ParentFolder(const char* path, char* out, int size) {
    if (!ProgramDirectory(path, out, size)) return false;
    DropEndSeparator(out);
    return out[0] && strcmp(out, path) != 0;
}

bool ModuleFolder(char* out, int size) {
    char path[PATH_TEXT];
    DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    return n > 0 && n < sizeof path && ParentFolder(path, out, size);
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
    if (!ParentFolder(program, out, size)) out[0] = '\0';
}

void LongForm(const char* path, char* out, int size) {
    DWORD n = ::GetLongPathNameA(path, out, size);
    if (n == 0 || n >= static_cast<DWORD>(size)) Format(out, size, "%s", path);
    DropEndSeparator(out);
}

bool WriteWhole(const char* path, const char* text) {
    char temporary[PATH_TEXT];
    if (!Format(temporary, sizeof temporary, "%s.tmp", path)) return ::SetLastError(ERROR_FILENAME_EXCED_RANGE), false;
    HANDLE h = ::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD size = static_cast<DWORD>(strlen(text)), written = 0;
    bool ok = ::WriteFile(h, text, size, &written, nullptr) && written == size && ::FlushFileBuffers(h);
    ok = ::CloseHandle(h) && ok;
    if (ok) ok = ::MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (ok) return true;
    DWORD e = ::GetLastError();
    ::DeleteFileA(temporary);
    ::SetLastError(e);
    return false;
}
