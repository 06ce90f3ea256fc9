#include "player/player_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace tarnwick {

namespace {

std::string trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::optional<long long> wholeNumber(const std::string& text, bool allowSign) {
    std::string t = trimmed(text);
    bool negative = false;
    if (allowSign && !t.empty() && t[0] == '-') {
        negative = true;
        t.erase(0, 1);
    }
    if (t.empty() || t.size() > 15) return std::nullopt;
    long long v = 0;
    for (unsigned char c : t) {
        if (!std::isdigit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

std::optional<double> decimalNumber(const std::string& text) {
    std::string t = trimmed(text);
    if (t.empty() || t.size() > 32) return std::nullopt;
    for (unsigned char c : t)
        if (!std::isdigit(c) && c != '-' && c != '+' && c != '.') return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

long long positiveWhole(const std::string& text) {
    auto v = wholeNumber(text);
    return v && *v > 0 ? *v : 0;
}

std::optional<long long> roundedNumber(const std::string& text) {
    auto v = decimalNumber(text);
    if (!v || std::fabs(*v) > 1e15) return std::nullopt;
    return static_cast<long long>(std::nearbyint(*v));
}

}  // namespace tarnwick
