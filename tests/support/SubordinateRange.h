// A range of /etc/subuid for a test's throwaway account (what its containers would run as),
// removed again when the test ends.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

struct SubordinateRange {
    SubordinateRange(const std::string& name, uid_t uid)
        : first(3000000000U + (uid % 4096) * 65536U),
          line(name + ":" + std::to_string(first) + ":65536") {
        std::ofstream("/etc/subuid", std::ios::app) << line << "\n";
    }
    ~SubordinateRange() {
        std::ifstream in("/etc/subuid");
        std::stringstream kept;
        for (std::string l; std::getline(in, l);)
            if (l != line) kept << l << "\n";
        in.close();
        std::ofstream("/etc/subuid") << kept.str();
    }
    SubordinateRange(const SubordinateRange&) = delete;
    SubordinateRange& operator=(const SubordinateRange&) = delete;

    uid_t first;
    std::string line;
};

}  // namespace testing_support
