// What a local user could take over of what a service runs: the check every install test ends
// with, made from the world's own access check, never from the product's judgment.
#include <cstdio>

#include "tests/winsim/world.h"

namespace winsim {

std::vector<std::string> UserWaysIn(const std::string& binaryPath) {
    std::vector<std::string> ways;
    std::string program = binaryPath;
    if (!program.empty() && program[0] == '"') program = program.substr(1, program.find('"', 1) - 1);
    std::vector<std::string> parts = PathParts(program);
    if (parts.size() < 2 || !W.Drives.count(Upper(parts[0]))) return {"the service's path is not a full path: " + binaryPath};
    auto way = [&](int id, const std::string& why) { ways.push_back(PathOf(id) + ": " + why); };
    auto kept = [&](int id, Mask counts) {
        for (const Handle& h : W.Handles)
            if (h.Open && !h.Tool && h.Object == id && (h.Access & counts)) {
                char rights[16];
                snprintf(rights, sizeof rights, "0x%x", h.Access & counts);
                way(id, std::string("the user holds a handle with ") + rights);
            }
    };
    const Token& user = W.User;
    const Mask aboveCounts = DELETE | WRITE_DAC | WRITE_OWNER;
    const Mask folderCounts = ADD_FILE | ADD_FOLDER | DELETE_CHILD | aboveCounts;
    const Mask fileCounts = WRITE_DATA | APPEND_DATA | aboveCounts;
    // The folders down to the service's, as the manager would walk them.
    int at = W.Drives[Upper(parts[0])], parent = 0;
    for (size_t i = 1; i + 1 < parts.size(); i++) {
        auto found = W.Objects[at].Children.find(Upper(parts[i]));
        if (found == W.Objects[at].Children.end()) return {"the service's folder is not there: " + binaryPath};
        parent = at;
        at = found->second;
        if (W.Objects[at].Tag) way(at, "a reparse point on the service's path");
        Mask m = RightsNow(at, parent, user) & (i + 2 == parts.size() ? folderCounts : aboveCounts);
        if (m) way(at, "the user may change it: " + std::to_string(m));
        kept(at, i + 2 == parts.size() ? folderCounts : aboveCounts);
    }
    // All the service's folder holds.
    std::vector<std::pair<int, int>> inside;
    for (const auto& c : W.Objects[at].Children) inside.push_back({c.second, at});
    for (size_t i = 0; i < inside.size(); i++) {
        int id = inside[i].first;
        const Object& o = W.Objects[id];
        if (o.Tag == TAG_SYMLINK || o.Tag == TAG_JUNCTION) way(id, "a link in the service's folder");
        Mask counts = o.Folder ? folderCounts : fileCounts;
        Mask m = RightsNow(id, inside[i].second, user) & counts;
        if (m) way(id, "the user may change it: " + std::to_string(m));
        kept(id, counts);
        if (o.Folder && !o.Tag)
            for (const auto& c : o.Children) inside.push_back({c.second, id});
    }
    return ways;
}

}  // namespace winsim
