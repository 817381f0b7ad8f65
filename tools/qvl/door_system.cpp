// The door's system on Windows: its version, the environment and the Windows folder, qvl.exe's
// own path, paths' full and long forms, time, and the registry key's descriptor.
#include "tools/qvl/door.h"

#include <string.h>

#include "tools/qvl/text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace door {
namespace {

// A length a system call gave for out (size bytes): 0 for a failure, size or more for too long.
DWORD Got(::DWORD n, char* out, int size) {
    if (n == 0) {
        DWORD e = ::GetLastError();
        return out[0] = '\0', e ? e : ERR_FILE_NOT_FOUND;
    }
    return n >= static_cast<::DWORD>(size) ? (out[0] = '\0', ERR_INSUFFICIENT_BUFFER) : OK;
}

}  // namespace

Version WindowsVersion() {
    OSVERSIONINFOEXA v;
    memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    Version out = {0, 0, false};
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) return out;
    out.Major = v.dwMajorVersion;
    out.Minor = v.dwMinorVersion;
    out.Server = v.wProductType != VER_NT_WORKSTATION;
    return out;
}

DWORD Variable(const char* name, char* out, int size) {
    ::SetLastError(ERROR_SUCCESS);
    ::DWORD n = ::GetEnvironmentVariableA(name, out, size);
    if (n == 0 && ::GetLastError() == ERROR_SUCCESS) return out[0] = '\0', OK;  // set, and empty
    return Got(n, out, size);
}

DWORD UserSid(char* out, int size) {
    HANDLE token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
    static union { TOKEN_USER User; char Bytes[256]; } buffer;
    ::DWORD needed;
    char* text = nullptr;
    ::DWORD e = ::GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &needed) &&
                        ::ConvertSidToStringSidA(buffer.User.User.Sid, &text)
                    ? OK
                    : ::GetLastError();
    ::CloseHandle(token);
    if (e) return e;
    e = Format(out, size, "%s", text) ? OK : ERR_INSUFFICIENT_BUFFER;
    ::LocalFree(text);
    return e;
}

DWORD WindowsFolder(char* out, int size) {
    return Got(::GetWindowsDirectoryA(out, size), out, size);
}

DWORD ModulePath(char* out, int size) {
    return Got(::GetModuleFileNameA(nullptr, out, size), out, size);
}

DWORD FullPath(const char* path, char* out, int size) {
    return Got(::GetFullPathNameA(path, size, out, nullptr), out, size);
}

DWORD LongPath(const char* path, char* out, int size) {
    return Got(::GetLongPathNameA(path, out, size), out, size);
}

DWORD Ticks() {
    return ::GetTickCount();
}

void Sleep(DWORD ms) {
    ::Sleep(ms);
}

DWORD KeySecurity(const char* key, char* out, int size) {
    char name[1024];
    out[0] = '\0';
    if (!Format(name, sizeof name, "MACHINE\\%s", key)) return ERR_FILENAME_EXCED_RANGE;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD e = ::GetNamedSecurityInfoA(name, SE_REGISTRY_KEY, what, nullptr, nullptr, nullptr, nullptr, &sd);
    if (e != ERROR_SUCCESS) return e;
    char* sddl;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &sddl, nullptr)) {
        e = ::GetLastError();
    } else {
        e = static_cast<int>(strlen(sddl)) < size ? (strcpy(out, sddl), OK) : ERR_INSUFFICIENT_BUFFER;
        ::LocalFree(sddl);
    }
    ::LocalFree(sd);
    return e;
}

}  // namespace door
