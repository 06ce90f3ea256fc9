#pragma once
// Reading a settings file's text in tests.

#include <sstream>
#include <string>
#include <vector>

namespace tarnwick::testing {

// The keys of a settings file, in the order they stand.
inline std::vector<std::string> keysOf(const std::string& ini) {
    std::vector<std::string> keys;
    std::istringstream in(ini);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) keys.push_back(line.substr(0, eq));
    return keys;
}

}  // namespace tarnwick::testing
