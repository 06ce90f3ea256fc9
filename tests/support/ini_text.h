#pragma once
// Reading a settings file's text in tests.

#include <fstream>
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

// A settings file's text with its CR LF line ends read as LF, so checks of keys and values hold whatever
// the line ends (the settings tests check the line ends themselves). Empty when the file is missing.
inline std::string iniText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str(), out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

}  // namespace tarnwick::testing
