#include "hostlink/network_text.h"

namespace tarnwick {

std::string cleanNetworkText(const std::string& text, std::size_t maxChars) {
    std::string out;
    out.reserve(text.size() < 4 * maxChars ? text.size() : 4 * maxChars);
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        // The length of this character: a lead byte tells it; a stray continuation byte counts alone.
        std::size_t len = 1;
        if (c >= 0xF0 && c < 0xF8) len = 4;
        else if (c >= 0xE0) len = c < 0xF0 ? 3 : 1;
        else if (c >= 0xC0) len = 2;
        if (i + len > text.size()) len = text.size() - i;
        if (chars == maxChars) break;
        if (len == 1 && (c < 32 || c == 127))
            out += ' ';
        else
            out.append(text, i, len);
        ++chars;
        i += len;
    }
    return out;
}

}  // namespace tarnwick
