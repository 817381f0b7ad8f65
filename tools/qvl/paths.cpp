// Paths made absolute and long, a folder from what it holds, and a file written whole.
#include "tools/qvl/paths.h"

#include <string.h>

#include "host/entry.h"
#include "tools/qvl/config.h"
#include "tools/qvl/door.h"
#include "tools/qvl/text.h"

namespace {

void DropEndSeparator(char* path) {
    size_t n = strlen(path);
    bool root = n == 3 && path[1] == ':';
    if (n > 1 && !root && (path[n - 1] == '\\' || path[n - 1] == '/')) path[n - 1] = '\0';
}

// What path is, without following a link; false when it cannot be opened.
bool Look(const char* path, door::Info* info) {
    door::File f;
    const door::Opening how = {door::RIGHT_READ_ATTRIBUTES, door::SHARE_READ | door::SHARE_WRITE | door::SHARE_DELETE,
                               door::DISPOSE_OPEN_EXISTING, door::KIND_ANY, nullptr};
    if (door::Open(nullptr, path, how, &f)) return false;
    bool described = door::Describe(f, info) == door::OK;
    door::Close(f);
    return described;
}

}  // namespace

bool IsFile(const char* path) {
    door::Info info;
    return Look(path, &info) && !(info.Attributes & door::ATTRIBUTE_DIRECTORY);
}

bool Exists(const char* path) {
    door::Info info;
    return Look(path, &info);
}

bool ParentFolder(const char* path, char* out, int size) {
    if (!ProgramDirectory(path, out, size)) return false;
    DropEndSeparator(out);
    return out[0] && strcmp(out, path) != 0;
}

bool ModuleFolder(char* out, int size) {
    char path[PATH_TEXT];
    return door::ModulePath(path, sizeof path) == door::OK && ParentFolder(path, out, size);
}

bool FullFolder(const char* folder, char* out, int size) {
    if (door::FullPath(folder, out, size)) return false;
    DropEndSeparator(out);
    return true;
}

void BinaryFolder(const char* binaryPath, char* out, int size) {
    char program[PATH_TEXT];
    BinaryProgram(binaryPath, program, sizeof program);
    if (!ParentFolder(program, out, size)) out[0] = '\0';
}

void LongForm(const char* path, char* out, int size) {
    if (door::LongPath(path, out, size)) Format(out, size, "%s", path);
    DropEndSeparator(out);
}

const char* LastPart(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

os::DWORD WriteWhole(const char* path, const char* text) {
    char temporary[PATH_TEXT];
    if (!Format(temporary, sizeof temporary, "%s.tmp", path)) return door::ERR_FILENAME_EXCED_RANGE;
    // A temporary left by a run cut short goes first: the file is always made anew.
    door::Remove(nullptr, temporary);
    door::File f;
    const door::Opening how = {door::RIGHT_GENERIC_WRITE | door::RIGHT_DELETE, door::SHARE_NONE,
                               door::DISPOSE_CREATE_NEW, door::KIND_FILE, nullptr};
    os::DWORD e = door::Open(nullptr, temporary, how, &f);
    if (e) return e;
    e = door::Write(f, text, static_cast<os::DWORD>(strlen(text)), true);
    if (!e) e = door::Rename(f, LastPart(path), true);
    door::Close(f);
    if (e) door::Remove(nullptr, temporary);
    return e;
}
