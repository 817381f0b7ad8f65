// The machine a test starts from, as each Windows makes it, and the service manager's clock.
#include <cstring>

#include "tests/winsim/world.h"

namespace winsim {

namespace {

const char ROOT_SDDL[] = "O:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)"
                         "(A;;LC;;;AU)";
// XP's and 2003's: Users add folders to the root and own what they make there.
const char ROOT_XP_SDDL[] = "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;LC;;;BU)"
                            "(A;CIIO;DC;;;BU)(A;;0x1200a9;;;WD)";
// Their Program Files, which Power Users may modify.
const char PROGRAM_FILES_XP_SDDL[] = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;PU)"
                                     "(A;OICI;0x1200a9;;;BU)";
const char CLOSED_SDDL[] = "O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

}  // namespace

Service* ServiceOf(const std::string& name) {
    auto found = W.Services.find(Upper(name));
    return found == W.Services.end() ? nullptr : &found->second;
}

void Advance(int64_t ms) {
    W.NowMs += ms;
    for (auto it = W.Services.begin(); it != W.Services.end();) {
        Service& s = it->second;
        if (s.PendingUntil && W.NowMs >= s.PendingUntil) {
            s.State = s.PendingTo;
            s.PendingUntil = 0;
        }
        if (s.MarkedForDelete && s.State == 1 && s.OpenHandles == 0) it = W.Services.erase(it);
        else ++it;
    }
}

void Reset(const Version& windows) {
    W = World();
    W.Windows = windows;
    W.Objects.resize(1);
    W.Objects.push_back(Object());
    W.Objects[1].Folder = true;
    W.Objects[1].Names = 1;
    ParseSddl(windows.Vista() ? ROOT_SDDL : ROOT_XP_SDDL, &W.Objects[1].Security);
    W.Drives["C:"] = 1;
    W.Environment = {{"ProgramFiles", "C:\\Program Files"}, {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
                     {"ProgramW6432", "C:\\Program Files"}, {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
                     {"ProgramData", "C:\\ProgramData"}, {"ALLUSERSPROFILE", "C:\\ProgramData"},
                     {"PUBLIC", "C:\\Users\\Public"}, {"USERPROFILE", "C:\\Users\\admin"},
                     {"SystemRoot", "C:\\Windows"}, {"windir", "C:\\Windows"}};
    // The system's own folders, and the kit the operator unpacked, closed as Program Files is;
    // made as the system would, owning them.
    W.Tool.PrivilegesOn = true;
    for (const char* folder : {"C:\\Windows", "C:\\Program Files", "C:\\Program Files (x86)", "C:\\ProgramData",
                               "C:\\Users", "C:\\Users\\admin", "C:\\Users\\Public", "C:\\Kit"})
        MakeFolder(folder, !windows.Vista() && !strcmp(folder, "C:\\Program Files") ? PROGRAM_FILES_XP_SDDL : CLOSED_SDDL);
    for (const char* file : {"qvlsvce.exe", "qvl.exe", "ZARNQVL.EXE"})
        MakeFile(std::string("C:\\Kit\\") + file, std::string("shipped ") + file);
    W.Tool.PrivilegesOn = false;
}

}  // namespace winsim
