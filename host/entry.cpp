// The process entry. Every file the service uses is named relative to the current directory,
// so the entry makes that the executable's own before the dispatcher starts the service.
#include "host/entry.h"

#include <cstring>

#include "host/service.h"
#include "platform/platform.h"

bool ProgramDirectory(const char* path, char* out, size_t size) {
    out[0] = '\0';
    size_t keep = 0;
    // A drive prefix such as "C:" belongs to the directory even with no separator after it.
    if (path[0] != '\0' && path[1] == ':') keep = 2;
    for (size_t i = 0; path[i] != '\0'; i++)
        if (path[i] == '\\' || path[i] == '/') keep = i + 1;
    if (keep >= size) return false;
    memcpy(out, path, keep);
    out[keep] = '\0';
    return true;
}

int RunProcess(int argc, char** argv) {
    static const os::SERVICE_TABLE_ENTRY table[] = {
        {SERVICE_NAME, ServiceMain},
        {nullptr, nullptr},
    };
    char directory[PATH_SIZE];
    // A failed change, or an argv[0] with no directory in it, leaves the inherited directory:
    // the service can still run, with its files wherever that is.
    if (argc > 0 && argv[0] && ProgramDirectory(argv[0], directory)) os::SetCurrentDirectoryA(directory);
    return os::StartServiceCtrlDispatcherA(table);
}
