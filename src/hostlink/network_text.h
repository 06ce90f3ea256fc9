#pragma once
// Text that arrives from the network (chat lines, callsigns, station names) is a stranger's: before it
// is spoken, shown or sent on, its control characters become blanks and it is cut to a length that
// keeps a transmission short.

#include <cstddef>
#include <string>

namespace tarnwick {

inline constexpr std::size_t kNetChatMax = 256;
inline constexpr std::size_t kNetCallsignMax = 16;
inline constexpr std::size_t kNetNameMax = 32;

// Control characters (below 32, and 127) become blanks; the text is cut to at most maxChars characters,
// never inside a UTF-8 sequence.
std::string cleanNetworkText(const std::string& text, std::size_t maxChars);

}  // namespace tarnwick
