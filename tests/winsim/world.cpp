// The simulated file system and its handles: names resolved as Windows resolves them, links
// followed in every part but the last one asked for, an access check at each open and never
// after, sharing kept only by handles with data rights, renames and deletes through handles.
#include <algorithm>
#include <cstdio>

#include "tests/winsim/world.h"

namespace winsim {

World W;

namespace {

const int HOPS_MAX = 31;  // links followed in one resolution, as the system allows
bool IsLink(const Object& o) {
    return o.Tag == TAG_SYMLINK || o.Tag == TAG_JUNCTION;
}

int Fail(uint32_t error) {
    W.LastError = error;
    return 0;
}

// Entries that pass from a folder's access list to an object made in it.
std::vector<Ace> Inherited(const Descriptor& parent, bool folder, const std::string& owner) {
    std::vector<Ace> out;
    for (const Ace& a : parent.Dacl) {
        bool toFiles = a.Flags & ACE_OI, toFolders = a.Flags & ACE_CI;
        if (folder ? !(toFiles || toFolders) : !toFiles) continue;
        Ace c = a;
        bool creator = a.Sid == SID_CREATOR_OWNER;
        if (!folder || (a.Flags & ACE_NP)) {
            c.Flags = ACE_ID;
            if (creator) c.Sid = owner;
            out.push_back(c);
            continue;
        }
        // A folder passes it on further; where it names CREATOR OWNER, or reaches only files, it
        // holds it for what it passes on alone.
        c.Flags = (a.Flags & (ACE_OI | ACE_CI)) | ACE_ID | (toFolders && !creator ? 0 : ACE_IO);
        out.push_back(c);
        if (creator && toFolders) {
            Ace own = a;
            own.Flags = ACE_ID;
            own.Sid = owner;
            out.push_back(own);
        }
    }
    return out;
}

bool SharingAllows(int object, Mask access, uint32_t share) {
    if (!(access & DATA_RIGHTS)) return true;
    for (const Handle& h : W.Handles) {
        if (!h.Open || h.Object != object || !(h.Access & DATA_RIGHTS)) continue;
        if ((access & (READ_DATA | EXECUTE)) && !(h.Share & SHARE_READ)) return false;
        if ((access & (WRITE_DATA | APPEND_DATA)) && !(h.Share & SHARE_WRITE)) return false;
        if ((access & DELETE) && !(h.Share & SHARE_DELETE)) return false;
        if ((h.Access & (READ_DATA | EXECUTE)) && !(share & SHARE_READ)) return false;
        if ((h.Access & (WRITE_DATA | APPEND_DATA)) && !(share & SHARE_WRITE)) return false;
        if ((h.Access & DELETE) && !(share & SHARE_DELETE)) return false;
    }
    return true;
}

int NewObject(bool folder, int parent, const std::string& name, const std::string& sddl) {
    const Token& who = Caller();
    Object o;
    o.Folder = folder;
    o.Parent = parent;
    o.Names = 1;
    o.Written = W.NowMs;
    Descriptor given;
    if (!sddl.empty() && !ParseSddl(sddl, &given)) return Fail(1338);  // the system's "invalid descriptor"
    if (!given.Owner.empty() && !who.Has(given.Owner) && !(who.PrivilegesOn && who.MayRestore))
        return Fail(E_INVALID_OWNER);
    o.Security = given;
    if (o.Security.Owner.empty()) o.Security.Owner = who.DefaultOwner;
    if (sddl.empty() || !given.HasDacl) o.Security.HasDacl = true;
    if (!given.Protected) {
        std::vector<Ace> more = Inherited(W.Objects[parent].Security, folder, o.Security.Owner);
        o.Security.Dacl.insert(o.Security.Dacl.end(), more.begin(), more.end());
    }
    W.Objects.push_back(o);
    int id = static_cast<int>(W.Objects.size()) - 1;
    W.Objects[parent].Children[Upper(name)] = id;
    W.Objects[parent].Spelling[Upper(name)] = name;
    W.Named.push_back({parent, name});
    return id;
}

void Unname(int parent, const std::string& name) {
    W.Objects[parent].Children.erase(Upper(name));
    W.Objects[parent].Spelling.erase(Upper(name));
}

}  // namespace

std::string Upper(const std::string& s) {
    std::string u = s;
    for (char& c : u) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return u;
}

std::vector<std::string> PathParts(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    if (p.compare(0, 4, "\\\\?\\") == 0) p = p.substr(4);
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= p.size()) {
        size_t at = p.find('\\', from);
        std::string part = p.substr(from, at == std::string::npos ? std::string::npos : at - from);
        if (!part.empty() && part != ".") {
            if (part == ".." && parts.size() > 1) parts.pop_back();
            else if (part != "..") parts.push_back(part);
        }
        if (at == std::string::npos) break;
        from = at + 1;
    }
    return parts;
}

const Token& Caller() {
    return W.Acting ? W.User : W.Tool;
}

void AsUser(const std::function<void()>& body) {
    bool was = W.Acting;
    uint32_t error = W.LastError;
    W.Acting = true;
    body();
    W.Acting = was;
    W.LastError = error;  // the tool's last error is its own
}

void Called(const char* name) {
    if (W.Acting) return;
    W.Calls++;
    W.CallNames.push_back(name);
}

void RunDue() {
    if (W.Acting) return;
    for (Script& s : W.Scripts)
        if (s.After == W.Calls && s.Run) {
            auto run = s.Run;
            s.Run = nullptr;
            AsUser(run);
        }
}

Object* ObjectOf(int id) {
    return id > 0 && id < static_cast<int>(W.Objects.size()) && !W.Objects[id].Gone ? &W.Objects[id] : nullptr;
}

Handle* HandleOf(int handle) {
    return handle > 0 && handle <= static_cast<int>(W.Handles.size()) && W.Handles[handle - 1].Open
               ? &W.Handles[handle - 1]
               : nullptr;
}

int Resolve(const std::string& path, bool openLink, int* parent, std::string* name, uint32_t* error) {
    std::vector<std::string> parts = PathParts(path);
    *parent = 0;
    name->clear();
    for (int hop = 0; hop <= HOPS_MAX; hop++) {
        if (parts.empty() || !W.Drives.count(Upper(parts[0]))) return *error = E_PATH_NOT_FOUND, 0;
        int at = W.Drives[Upper(parts[0])];
        *parent = 0;
        *name = parts[0];
        bool followed = false;
        for (size_t i = 1; i < parts.size(); i++) {
            Object& folder = W.Objects[at];
            if (!folder.Folder) return *error = E_PATH_NOT_FOUND, 0;
            auto found = folder.Children.find(Upper(parts[i]));
            bool last = i + 1 == parts.size();
            *parent = at;
            *name = parts[i];
            if (found == folder.Children.end()) return *error = last ? E_FILE_NOT_FOUND : E_PATH_NOT_FOUND, 0;
            const Object& o = W.Objects[found->second];
            if (IsLink(o) && !(last && openLink)) {
                std::vector<std::string> next = PathParts(o.Target);
                next.insert(next.end(), parts.begin() + i + 1, parts.end());
                parts = next;
                followed = true;
                break;
            }
            at = found->second;
        }
        if (!followed) return at;
    }
    return *error = E_CANT_RESOLVE, 0;
}

std::string PathOf(int object) {
    std::string path;
    for (int at = object; at;) {
        const Object& o = W.Objects[at];
        int parent = o.Parent;
        if (!parent) {
            for (const auto& d : W.Drives)
                if (d.second == at) path = d.first + (path.empty() ? "\\" : path);
            return path;
        }
        std::string name;
        for (const auto& c : W.Objects[parent].Children)
            if (c.second == at) name = W.Objects[parent].Spelling[c.first];
        path = "\\" + name + path;
        at = parent;
    }
    return path;
}

Mask RightsNow(int object, int parent, const Token& who) {
    Mask g = Granted(W.Objects[object].Security, who, W.Windows);
    if (parent) {
        Mask p = Granted(W.Objects[parent].Security, who, W.Windows);
        if (p & DELETE_CHILD) g |= DELETE;
        if (p & LIST_FOLDER) g |= READ_ATTRIBUTES;
    }
    if (who.PrivilegesOn) {
        if (who.MayBackup) g |= READ_CONTROL | FILE_READ | TRAVERSE;
        if (who.MayRestore) g |= WRITE_DAC | WRITE_OWNER | DELETE | FILE_WRITE | DELETE_CHILD | ADD_FOLDER;
        if (who.MayTakeOwnership) g |= WRITE_OWNER;
    }
    return g | SYNCHRONIZE;
}

int OpenIn(int parent, const std::string& name, int id, uint32_t error, Mask access, uint32_t share, int disposition,
           bool folder, const std::string& sddl) {
    Mask desired = MapFileGeneric(access & ~MAXIMUM_ALLOWED) & ~SYNCHRONIZE;
    bool created = false;
    if (!id) {
        if (error != E_FILE_NOT_FOUND || disposition == OPEN_EXISTING) return Fail(error);
        if (!(RightsNow(parent, W.Objects[parent].Parent, Caller()) & (folder ? ADD_FOLDER : ADD_FILE)))
            return Fail(E_ACCESS_DENIED);
        id = NewObject(folder, parent, name, sddl);
        if (!id) return 0;
        created = true;
        desired |= access & MAXIMUM_ALLOWED ? FILE_ALL : 0;  // the maker gets what it asked for
    } else {
        if (disposition == CREATE_NEW) return Fail(W.Objects[id].Folder ? E_ALREADY_EXISTS : E_FILE_EXISTS);
        Mask now = RightsNow(id, parent, Caller());
        if (access & MAXIMUM_ALLOWED) desired |= now & ~SYNCHRONIZE;
        if (desired & ~now) return Fail(E_ACCESS_DENIED);
        if (!SharingAllows(id, desired, share)) return Fail(E_SHARING_VIOLATION);
        if (disposition == CREATE_ALWAYS) {
            if (W.Objects[id].Folder) return Fail(E_ACCESS_DENIED);
            W.Objects[id].Data.clear();
            W.Objects[id].Written = W.NowMs;
        }
    }
    Handle h;
    h.Object = id;
    h.Parent = parent;
    h.Name = name;
    h.Access = desired;
    h.Share = share;
    h.Tool = !W.Acting;
    h.Open = true;
    W.Handles.push_back(h);
    W.LastError = created || disposition == CREATE_NEW || disposition == OPEN_EXISTING ? 0 : E_ALREADY_EXISTS;
    return static_cast<int>(W.Handles.size());
}

int Open(const std::string& path, Mask access, uint32_t share, int disposition, bool openLink, bool folder,
         const std::string& sddl) {
    int parent;
    std::string name;
    uint32_t error = 0;
    int id = Resolve(path, openLink, &parent, &name, &error);
    return OpenIn(parent, name, id, error, access, share, disposition, folder, sddl);
}

bool Close(int handle) {
    Handle* h = HandleOf(handle);
    if (!h) {
        if (!W.Acting) W.Violations.push_back("closed a handle that was not open");
        return Fail(E_INVALID_HANDLE);
    }
    h->Open = false;
    return true;
}

int MakeFolder(const std::string& path, const std::string& sddl) {
    int h = Open(path, READ_CONTROL, SHARE_READ | SHARE_WRITE | SHARE_DELETE, CREATE_NEW, true, true, sddl);
    if (!h) return 0;
    int id = HandleOf(h)->Object;
    Close(h);
    return id;
}

int MakeFile(const std::string& path, const std::string& data, const std::string& sddl) {
    int h = Open(path, WRITE_DATA, 0, CREATE_NEW, true, false, sddl);
    if (!h) return 0;
    int id = HandleOf(h)->Object;
    W.Objects[id].Data = data;
    Close(h);
    return id;
}

bool MakeHardLink(const std::string& path, const std::string& existing) {
    int parent, other;
    std::string name, ignored;
    uint32_t error = 0;
    int id = Resolve(existing, true, &other, &ignored, &error);
    if (!id || W.Objects[id].Folder) return Fail(id ? E_ACCESS_DENIED : error);
    if (Resolve(path, true, &parent, &name, &error)) return Fail(E_ALREADY_EXISTS);
    if (error != E_FILE_NOT_FOUND) return Fail(error);
    if (!(RightsNow(parent, W.Objects[parent].Parent, Caller()) & ADD_FILE)) return Fail(E_ACCESS_DENIED);
    W.Objects[parent].Children[Upper(name)] = id;
    W.Objects[parent].Spelling[Upper(name)] = name;
    W.Objects[id].Names++;
    return true;
}

int MakeReparse(const std::string& path, uint32_t tag, const std::string& target, bool folder) {
    int h = Open(path, WRITE_DATA, 0, CREATE_NEW, true, folder);
    if (!h) return 0;
    int id = HandleOf(h)->Object;
    W.Objects[id].Tag = tag;
    W.Objects[id].Target = target;
    Close(h);
    return id;
}

namespace {

bool Inside(int object, int folder) {
    for (int at = W.Objects[object].Parent; at; at = W.Objects[at].Parent)
        if (at == folder) return true;
    return false;
}

}  // namespace

bool RenameInto(int handle, int parent, const std::string& name, bool replace) {
    Handle* h = HandleOf(handle);
    if (!h) return Fail(E_INVALID_HANDLE);
    if (!(h->Access & DELETE)) return Fail(E_ACCESS_DENIED);
    Object& o = W.Objects[h->Object];
    if (!W.Objects[parent].Folder || (o.Folder && (parent == h->Object || Inside(parent, h->Object))))
        return Fail(E_ACCESS_DENIED);
    if (!(RightsNow(parent, W.Objects[parent].Parent, Caller()) & (o.Folder ? ADD_FOLDER : ADD_FILE)))
        return Fail(E_ACCESS_DENIED);
    // A folder with anything inside it open, not sharing deletion, keeps its name.
    if (o.Folder)
        for (const Handle& other : W.Handles)
            if (other.Open && !(other.Share & SHARE_DELETE) && Inside(other.Object, h->Object)) return Fail(E_ACCESS_DENIED);
    auto taken = W.Objects[parent].Children.find(Upper(name));
    int there = taken == W.Objects[parent].Children.end() ? 0 : taken->second;
    if (there == h->Object) return true;
    if (there) {
        if (!replace) return Fail(o.Folder ? E_ALREADY_EXISTS : E_FILE_EXISTS);
        if (W.Objects[there].Folder || !(RightsNow(there, parent, Caller()) & DELETE) ||
            !SharingAllows(there, DELETE, SHARE_READ | SHARE_WRITE | SHARE_DELETE))
            return Fail(E_ACCESS_DENIED);
        if (--W.Objects[there].Names == 0) W.Objects[there].Gone = true;
        Unname(parent, name);
    }
    int from = h->Parent;
    std::string old = h->Name;
    Unname(from, old);
    W.Objects[parent].Children[Upper(name)] = h->Object;
    W.Objects[parent].Spelling[Upper(name)] = name;
    W.Named.push_back({parent, name});
    if (o.Folder || o.Parent == from) o.Parent = parent;
    for (Handle& other : W.Handles)
        if (other.Object == h->Object && other.Parent == from && Upper(other.Name) == Upper(old))
            other.Parent = parent, other.Name = name;
    return true;
}

bool RenameByHandle(int handle, const std::string& to, bool replace) {
    int parent;
    std::string name;
    uint32_t error = 0;
    if (!Resolve(to, true, &parent, &name, &error) && error != E_FILE_NOT_FOUND) return Fail(error);
    return RenameInto(handle, parent, name, replace);
}

bool DeleteByHandle(int handle) {
    Handle* h = HandleOf(handle);
    if (!h) return Fail(E_INVALID_HANDLE);
    if (!(h->Access & DELETE)) return Fail(E_ACCESS_DENIED);
    Object& o = W.Objects[h->Object];
    if (o.Folder && !o.Children.empty()) return Fail(E_DIR_NOT_EMPTY);
    Unname(h->Parent, h->Name);
    if (--o.Names == 0) o.Gone = true;
    return true;
}

bool DeletePath(const std::string& path) {
    int h = Open(path, DELETE, SHARE_READ | SHARE_WRITE | SHARE_DELETE, OPEN_EXISTING, true);
    if (!h) return false;
    bool done = DeleteByHandle(h);
    uint32_t e = W.LastError;
    Close(h);
    W.LastError = e;
    return done;
}

bool WriteByHandle(int handle, const std::string& data) {
    Handle* h = HandleOf(handle);
    if (!h) return Fail(E_INVALID_HANDLE);
    if (!(h->Access & (WRITE_DATA | APPEND_DATA))) return Fail(E_ACCESS_DENIED);
    W.Objects[h->Object].Data = data;
    W.Objects[h->Object].Written = W.NowMs;
    return true;
}

bool SetSecurityByHandle(int handle, const std::string& sddl, bool owner, bool dacl) {
    Handle* h = HandleOf(handle);
    if (!h) return Fail(E_INVALID_HANDLE);
    Descriptor d;
    if (!ParseSddl(sddl, &d)) return Fail(1338);
    const Token& who = Caller();
    Descriptor& s = W.Objects[h->Object].Security;
    if (owner && !d.Owner.empty()) {
        if (!(h->Access & WRITE_OWNER)) return Fail(E_ACCESS_DENIED);
        if (!who.Has(d.Owner) && !(who.PrivilegesOn && who.MayRestore)) return Fail(E_INVALID_OWNER);
        s.Owner = d.Owner;
    }
    if (dacl) {
        if (!(h->Access & WRITE_DAC)) return Fail(E_ACCESS_DENIED);
        s.HasDacl = d.HasDacl;
        s.Protected = d.Protected;
        s.Dacl = d.Dacl;
    }
    return true;
}

}  // namespace winsim
