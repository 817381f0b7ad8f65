// Reads an executable's version resource back, as the file's properties show it, and checks
// it. Usage: version_check EXE DESCRIPTION VERSION FILENAME
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: version_check EXE DESCRIPTION VERSION FILENAME\n");
        return 2;
    }
    DWORD ignored;
    DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
    std::vector<char> data(size);
    if (!size || !GetFileVersionInfoA(argv[1], 0, size, data.data())) {
        printf("FAIL: no version resource in %s (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    int failures = 0;
    const char* fields[][2] = {{"FileDescription", argv[2]}, {"ProductVersion", argv[3]}, {"OriginalFilename", argv[4]}};
    for (auto& field : fields) {
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + field[0];
        char* value = nullptr;
        UINT length = 0;
        bool found = VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value;
        printf("%s: %s\n", field[0], found ? value : "(none)");
        if (!found || strcmp(value, field[1]) != 0) {
            printf("FAIL: %s should be %s\n", field[0], field[1]);
            failures++;
        }
    }
    return failures ? 1 : 0;
}
