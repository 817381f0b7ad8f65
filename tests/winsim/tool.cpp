// The verbs' runs and the user's moves, on the simulated Windows.
#include "tests/winsim/tool.h"

#include <gtest/gtest.h>

#include "tools/qvl/paths.h"
#include "tools/qvl/qvl.h"
#include "tools/qvl/verbs.h"

namespace winsim {

namespace {

const char USER_HOST[] = "the user's own host";
const char OPEN_TO_ALL[] = "D:(A;OICI;FA;;;WD)";

}  // namespace

Ran Qvl(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"qvl"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    Options o;
    char why[512];
    Ran r;
    if (!ParseOptions(static_cast<int>(words.size()), argv.data(), &o, why, sizeof why)) {
        r.Exit = 99;
        r.Said = why;
        return r;
    }
    if (Service* s = ServiceOf(o.Name)) r.PathBefore = s->BinaryPath;
    ::testing::internal::CaptureStdout();
    char folder[PATH_TEXT] = "";
    bool found = o.Folder ? FullFolder(o.Folder, folder, sizeof folder) : ModuleFolder(folder, sizeof folder);
    if (!found) {
        r.Exit = 98;
    } else {
        switch (o.Verb) {
        case VERB_INSTALL: r.Exit = RunInstall(o, folder); break;
        case VERB_UNINSTALL: r.Exit = RunUninstall(o, folder); break;
        case VERB_START: r.Exit = RunStart(o, folder); break;
        case VERB_STOP: r.Exit = RunStop(o, folder); break;
        case VERB_AUDIT: r.Exit = RunAudit(o, folder); break;
        case VERB_CHECK: r.Exit = RunCheck(o, folder); break;
        case VERB_STATUS: r.Exit = RunStatus(o, folder); break;
        default: r.Exit = 97;
        }
    }
    r.Said = ::testing::internal::GetCapturedStdout();
    return r;
}

int ToolHandlesOpen() {
    int open = W.ServiceHandles;
    for (const Handle& h : W.Handles) open += h.Open && h.Tool;
    return open;
}

int KeepHandle(const std::string& path) {
    int h = Open(path, MAXIMUM_ALLOWED, SHARE_READ | SHARE_WRITE | SHARE_DELETE, OPEN_EXISTING, true);
    if (h) return h;
    int parent;
    std::string name;
    uint32_t error;
    int id = Resolve(path, true, &parent, &name, &error);
    if (!id) return 0;
    Mask unshared = RightsNow(id, parent, Caller()) & (WRITE_DAC | WRITE_OWNER | READ_CONTROL);
    return unshared ? Open(path, unshared, SHARE_READ | SHARE_WRITE | SHARE_DELETE, OPEN_EXISTING, true) : 0;
}

bool KeepServiceHandle(const std::string& name) {
    Service* s = ServiceOf(name);
    Descriptor d;
    if (!s || !ParseSddl(s->Security, &d)) return false;
    Mask granted = Granted(d, W.User, W.Windows);
    if (!(granted & SERVICE_TAKEOVER)) return false;
    W.UserServiceHandles.push_back({name, granted});
    return true;
}

void UseKeptHandles() {
    AsUser([] {
        for (const auto& kept : W.UserServiceHandles) {
            Service* s = ServiceOf(kept.first);
            // A service marked for deletion takes no change, through any handle.
            if (s && !s->MarkedForDelete && (kept.second & 0x2)) s->BinaryPath = "\"C:\\Users\\Public\\own.exe\"";
        }
        for (size_t i = 0; i < W.Handles.size(); i++) {
            Handle h = W.Handles[i];
            int id = static_cast<int>(i) + 1;
            if (!h.Open || h.Tool || !ObjectOf(h.Object)) continue;
            const Object& o = W.Objects[h.Object];
            if (o.Folder && (h.Access & DELETE)) {
                std::string was = PathOf(h.Object);
                if (RenameByHandle(id, was + "-gone", false) && MakeFolder(was, OPEN_TO_ALL))
                    MakeFile(was + "\\qvlsvce.exe", USER_HOST);
            }
            if (!o.Folder && (h.Access & WRITE_DATA)) WriteByHandle(id, USER_HOST);
            if (h.Access & WRITE_DAC) SetSecurityByHandle(id, OPEN_TO_ALL, false, true);
        }
    });
}

std::string ServicePath(const std::string& name) {
    Service* s = ServiceOf(name);
    return s ? s->BinaryPath : "";
}

std::string DataAt(const std::string& path) {
    int parent;
    std::string name;
    uint32_t error;
    int id = Resolve(path, false, &parent, &name, &error);
    return id && !W.Objects[id].Folder ? W.Objects[id].Data : "(none)";
}

}  // namespace winsim
