// The judgment of access lists as a filter, for the differential test: each line in is
// "xp|vista CONCERN SDDL", each line out "way", "none" or "unread", in order.
#include <stdlib.h>

#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "tools/qvl/security.h"

int main() {
    const std::map<std::string, Concern> concerns = {
        {"folder", CONCERN_FOLDER}, {"file", CONCERN_FILE},     {"service", CONCERN_SERVICE},
        {"above", CONCERN_ABOVE},   {"parent", CONCERN_PARENT}, {"key", CONCERN_KEY},
    };
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string rules, concern, sddl;
        in >> rules >> concern;
        in.get();
        std::getline(in, sddl);  // a condition in it may hold blanks
        auto c = concerns.find(concern);
        if (c == concerns.end() || (rules != "xp" && rules != "vista")) {
            std::cerr << "not a request: " << line << "\n";
            return 2;
        }
        Findings f = {};
        bool read = JudgeSecurity(sddl.c_str(), c->second, "X", "fix", &f, rules == "xp" ? RULES_XP_2003 : RULES_VISTA_ON);
        if (getenv("JUDGE_SAY"))  // to see why, when the differential test shows a disagreement
            for (int i = 0; i < f.Count; i++) std::cerr << f.Lines[i] << "\n";
        std::cout << (!read ? "unread" : f.Count || f.More ? "way" : "none") << "\n";
    }
    return 0;
}
