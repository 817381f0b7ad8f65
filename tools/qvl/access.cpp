// The walk by handle: each entry opened through its folder's handle, never through a link.
#include "tools/qvl/access.h"

#include <string.h>
#include <time.h>

#include "tools/qvl/config.h"
#include "tools/qvl/text.h"

namespace {

const int DEPTH_MAX = 32;

struct Walker {
    Visit Call;
    void* Context;
};

struct Listing {
    const Walker* W;
    door::File Folder;
    const char* Path;
    int Depth;
    bool Ok;
};

void WhenWritten(int64_t seconds, char* out, int size) {
    struct tm t;
    if (os::LocalTime(seconds, &t))
        Format(out, size, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    else
        Format(out, size, "(unknown)");
}

// Visits what could not be opened or listed at path, with the reason; the walk has then failed.
bool Unvisited(const Walker& w, const char* path, int depth, os::DWORD error) {
    Entry e = {};
    Format(e.Path, sizeof e.Path, "%s", path);
    e.Name = e.Path;
    e.Depth = depth;
    e.Error = error;
    w.Call(e, w.Context);
    return false;
}

bool VisitEntry(const Walker& w, door::File folder, const char* path, int depth);

bool EachListed(const char* name, void* context) {
    Listing* l = static_cast<Listing*>(context);
    char path[PATH_TEXT];
    if (JoinPath(l->Path, name, path, sizeof path)) {
        l->Ok &= VisitEntry(*l->W, l->Folder, path, l->Depth);
    } else {
        Format(path, sizeof path, "%s\\%s", l->Path, name);  // named as far as it fits
        l->Ok = Unvisited(*l->W, path, l->Depth, door::ERR_FILENAME_EXCED_RANGE);
    }
    return true;
}

// Opens path (relative to folder when there is one), visits it, and, for a folder, what it holds.
bool VisitEntry(const Walker& w, door::File folder, const char* path, int depth) {
    Entry e = {};
    Format(e.Path, sizeof e.Path, "%s", path);
    e.Name = folder ? LastPart(e.Path) : e.Path;
    e.Depth = depth;
    const door::Opening how = {door::RIGHT_READ_CONTROL | door::RIGHT_READ_ATTRIBUTES | door::RIGHT_READ_DATA,
                               door::SHARE_READ | door::SHARE_WRITE, door::DISPOSE_OPEN_EXISTING, door::KIND_ANY, nullptr};
    door::Info info;
    e.Error = door::Open(folder, folder ? e.Name : path, how, &e.Handle);
    if (!e.Error) e.Error = door::Describe(e.Handle, &info);
    if (!e.Error) {
        e.Folder = (info.Attributes & door::ATTRIBUTE_DIRECTORY) != 0;
        e.Link = (info.Attributes & door::ATTRIBUTE_REPARSE_POINT) && ReparseIsLink(info.Tag);
        e.Names = info.Links;
        WhenWritten(info.Written, e.Written, sizeof e.Written);
    }
    door::File h = e.Handle;
    bool ok = w.Call(e, w.Context) && !e.Error;
    if (h && e.Folder && !e.Link) {
        if (depth >= DEPTH_MAX) {
            // Nested deeper than any folder the service needs: not entered, and said.
            ok &= Unvisited(w, path, depth, door::ERR_BUFFER_OVERFLOW);
        } else {
            Listing l = {&w, h, path, depth + 1, true};
            os::DWORD listed = door::List(h, path, EachListed, &l);
            ok &= l.Ok && (!listed || Unvisited(w, path, depth, listed));
        }
    }
    // A visit that kept the handle closes it itself.
    if (e.Handle) door::Close(e.Handle);
    return ok;
}

}  // namespace

bool WalkFolder(const char* folder, Visit visit, void* context) {
    Walker w = {visit, context};
    return VisitEntry(w, nullptr, folder, 0);
}
