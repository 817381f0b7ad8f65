// Runs qvl's verbs against the simulated Windows as the operator would type them, with what they
// said and their exit status; and the local user's moves that the attacker's scripts are made of.
#pragma once

#include <string>
#include <vector>

#include "tests/winsim/world.h"

namespace winsim {

struct Ran {
    int Exit = -1;
    std::string Said;  // standard output
    std::string PathBefore;  // the binary path of the service named, before the verb ran; empty: none
};

// qvl ARGS..., the folder made absolute as main makes it. Exits 99 on a usage error.
Ran Qvl(const std::vector<std::string>& args);

// The tool's handles still open (files and the service manager's): every verb closes all it opened.
int ToolHandlesOpen();

// The user's handle on path with the most it may hold now: every right the check grants, or,
// where a tool's handle shares less, every right that sharing never refuses. 0 when none.
int KeepHandle(const std::string& path);

// The user's handle on the service name with all its descriptor grants the user now, kept when
// it holds a right that changes the service; false when none.
bool KeepServiceHandle(const std::string& name);
// Rights on a service that change what it runs or who may change it.
const Mask SERVICE_TAKEOVER = 0x2 | DELETE | WRITE_DAC | WRITE_OWNER;  // the second: change its configuration

// What a user who kept handles does once the tool is done: renames kept folders away and puts a
// folder of its own, with its own host, in their place; writes through kept file handles; opens
// every kept handle's object to Everyone; points every service it kept a handle on at a program
// of its own.
void UseKeptHandles();

// The service's binary path, empty when there is no such service.
std::string ServicePath(const std::string& name);

// The data of the file at path (following links on the way), or "(none)".
std::string DataAt(const std::string& path);

}  // namespace winsim
