#include "hostlink/network_text.h"

namespace tarnwick {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Characters that change how the text around them is shown or spoken rather than being text.
bool blanked(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) ||         // C0, DEL, C1
           cp == 0x061C || cp == 0x200E || cp == 0x200F ||      // bidirectional marks
           (cp >= 0x202A && cp <= 0x202E) ||                    // embeddings and overrides
           (cp >= 0x2066 && cp <= 0x2069) ||                    // isolates
           cp == 0x2028 || cp == 0x2029;                        // line and paragraph separators
}

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::string cleanNetworkText(const std::string& text, std::size_t maxChars) {
    std::string out;
    out.reserve(text.size() < 4 * maxChars ? text.size() : 4 * maxChars);
    std::size_t chars = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n && chars < maxChars; ++chars) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += blanked(c) ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        // A lead byte says how many continuation bytes follow and what the first of them may be, so
        // that overlong forms, surrogates and values past U+10FFFF are refused too.
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        }
        std::size_t j = i + 1;
        if (len > 0) {
            for (; j < i + len && j < n; ++j) {
                const auto b = static_cast<unsigned char>(text[j]);
                if (!continuation(b) || b < lo || b > hi) break;
                lo = 0x80;
                hi = 0xBF;
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        if (len == 0 || j != i + len) {
            // Not UTF-8: the lead byte and the continuation bytes it did take are one broken character.
            out += kReplacement;
        } else if (blanked(cp)) {
            out += ' ';
        } else {
            out.append(text, i, len);
        }
        i = j;
    }
    return out;
}

std::size_t textCharacters(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += continuation(static_cast<unsigned char>(c)) ? 0 : 1;
    return count;
}

}  // namespace tarnwick
