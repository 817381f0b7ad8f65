// Folders born locked, and the files put in them, made anew from judged handles.
#include "tools/qvl/born.h"

#include <string.h>

#include "tools/qvl/config.h"
#include "tools/qvl/security.h"
#include "tools/qvl/text.h"

namespace {

const os::DWORD CHUNK = 16384;

const door::Opening READ_SOURCE = {door::RIGHT_GENERIC_READ | door::RIGHT_READ_ATTRIBUTES | door::RIGHT_READ_CONTROL,
                                   door::SHARE_READ, door::DISPOSE_OPEN_EXISTING, door::KIND_ANY, nullptr};

bool Refuse(const char* path, const char* why, os::DWORD error) {
    if (error) Tell(MARK_FAIL, "%s %s: error %lu\n", path, why, static_cast<unsigned long>(error));
    else Tell(MARK_FAIL, "%s %s\n", path, why);
    return false;
}

}  // namespace

bool KeepSource(const char* path, const char* name, door::File handle, Sources* s) {
    if (s->Count >= SOURCES_MAX) return door::Close(handle), Refuse(path, "is one file too many to copy", 0);
    Source& one = s->List[s->Count++];
    Format(one.Name, sizeof one.Name, "%s", name);
    Format(one.From, sizeof one.From, "%s", path);
    one.Handle = handle;
    return true;
}

bool AddSource(door::File folder, const char* path, const char* name, Sources* s) {
    door::File f;
    door::Info info;
    os::DWORD e = door::Open(folder, folder ? name : path, READ_SOURCE, &f);
    if (e) return Refuse(path, "cannot be read to copy it", e);
    e = door::Describe(f, &info);
    const char* why = e ? "cannot be read to copy it"
                      : (info.Attributes & door::ATTRIBUTE_DIRECTORY) ? "is a folder, not a file"
                      : (info.Attributes & door::ATTRIBUTE_REPARSE_POINT) && ReparseIsLink(info.Tag)
                          ? "is a link: never followed; copy the file itself"
                      : info.Links > 1 ? "has more than one name (hard links): copy the file itself" : nullptr;
    if (why) return door::Close(f), Refuse(path, why, e);
    // Who could have written it is said, not refused: it is the operator's own copy to vouch for.
    static Findings ways;
    static char sddl[door::SDDL_TEXT];
    ways.Count = ways.More = 0;
    if (door::Security(f, sddl, sizeof sddl) || !JudgeSecurity(sddl, CONCERN_FILE, path, "", &ways) || ways.Count)
        Tell(MARK_WARN, "%s could have been written by users: check it against its maker's hash or signature\n", path);
    return KeepSource(path, name, f, s);
}

bool HasSource(const Sources& s, const char* name) {
    for (int i = 0; i < s.Count; i++)
        if (SamePath(s.List[i].Name, name)) return true;
    return false;
}

void CloseSources(Sources* s) {
    for (int i = 0; i < s->Count; i++) door::Close(s->List[i].Handle);
    s->Count = 0;
}

os::DWORD CopyNew(door::File folder, const char* name, door::File from) {
    const door::Opening how = {door::RIGHT_GENERIC_WRITE | door::RIGHT_DELETE, door::SHARE_NONE,
                               door::DISPOSE_CREATE_NEW, door::KIND_FILE, LOCK_INSIDE_FILE_SDDL};
    door::File to;
    os::DWORD e = door::Open(folder, name, how, &to);
    if (e) return e;
    static char buffer[CHUNK];
    os::DWORD got = 0;
    while (!(e = door::Read(from, buffer, CHUNK, &got)) && got) {
        e = door::Write(to, buffer, got, false);
        if (e) break;
    }
    if (!e) e = door::Write(to, buffer, 0, true);
    door::Close(to);
    // Half a file is never left to be taken for the whole.
    if (e) door::Remove(folder, name);
    return e;
}

bool MakeBornLocked(const char* folder, const Sources& s, Made* made) {
    memset(made, 0, sizeof *made);
    Format(made->Path, sizeof made->Path, "%s", folder);
    // Not sharing deletion: no one renames it away while it is filled and read back.
    const door::Opening how = {door::RIGHT_READ_CONTROL | door::RIGHT_READ_ATTRIBUTES | door::RIGHT_READ_DATA |
                                   door::RIGHT_WRITE_DATA | door::RIGHT_APPEND_DATA,
                               door::SHARE_READ | door::SHARE_WRITE, door::DISPOSE_CREATE_NEW, door::KIND_FOLDER, LOCK_SDDL};
    if (os::DWORD e = door::Open(nullptr, folder, how, &made->Folder))
        return Refuse(folder, e == door::ERR_ALREADY_EXISTS || e == door::ERR_FILE_EXISTS
                                  ? "is there already: install makes it new; move it away, then run qvl install again"
                                  : "cannot be made",
                      e == door::ERR_ALREADY_EXISTS || e == door::ERR_FILE_EXISTS ? 0 : e);
    Tell(MARK_STEP, "made %s, locked from the start: owner Administrators; SYSTEM and Administrators full control, "
         "Users read and run; nothing inherited from above\n", folder);
    for (int i = 0; i < s.Count; i++) {
        const Source& one = s.List[i];
        if (os::DWORD e = CopyNew(made->Folder, one.Name, one.Handle)) {
            char path[PATH_TEXT];
            JoinPath(folder, one.Name, path, sizeof path);
            return Refuse(path, "could not be made anew", e);
        }
        Format(made->Names[made->Count++], NAME_TEXT, "%s", one.Name);
        Tell(MARK_STEP, "copied %s into %s\n", one.From, folder);
    }
    return true;
}

bool Reopen(const Made& made, Sources* s) {
    s->Count = 0;
    for (int i = 0; i < made.Count; i++) {
        char path[PATH_TEXT];
        JoinPath(made.Path, made.Names[i], path, sizeof path);
        if (!AddSource(made.Folder, path, made.Names[i], s)) return CloseSources(s), false;
    }
    return true;
}

void TakeBack(Made* made) {
    // Nothing made, nothing taken: a name found taken is someone else's.
    if (!made->Folder) return;
    bool all = true;
    for (int i = 0; i < made->Count; i++) all &= door::Remove(made->Folder, made->Names[i]) == door::OK;
    door::Close(made->Folder);
    made->Folder = nullptr;
    if (all && door::Remove(nullptr, made->Path) == door::OK)
        Tell(MARK_STEP, "removed %s, which it had made\n", made->Path);
    else
        Tell(MARK_WARN, "%s, which it had made, could not all be removed: it stays locked; remove it\n", made->Path);
    made->Count = 0;
}
