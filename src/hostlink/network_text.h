#pragma once
// Text that arrives from the network (chat lines, callsigns, station names) is a stranger's: before it
// is spoken, shown or sent on, its control characters become blanks and it is cut to a length that
// keeps a transmission short. A callsign the program works with (to look it up, to drop that station,
// to tell a conference by its "*") is kept whole; only what is spoken or shown of it is cut.

#include <cstddef>
#include <string>

namespace tarnwick {

// What is spoken of a chat line.
inline constexpr std::size_t kNetChatMax = 256;
// What a pane keeps of a received line: a conference server's user listing or statistics run long.
inline constexpr std::size_t kNetPaneLineMax = 4096;
// What is spoken or shown of a callsign and of a station's name.
inline constexpr std::size_t kNetCallsignMax = 16;
inline constexpr std::size_t kNetNameMax = 32;
// A callsign as the program uses it: as much as a settings value holds (its 256-character buffer less one).
inline constexpr std::size_t kNetIdentityMax = 255;

// The text as UTF-8 without control characters, cut to at most maxChars characters:
// - control characters (C0, DEL and C1), the bidirectional controls that would show a text reversed,
//   and the line and paragraph separators become blanks;
// - each byte or broken sequence that is not UTF-8 becomes one U+FFFD, and the bytes after it are
//   read afresh, so a broken sequence cannot carry a control character past the cleaner;
// - the cut counts characters and never falls inside one.
std::string cleanNetworkText(const std::string& text, std::size_t maxChars);

// The number of characters of UTF-8 text, as the operator counts them (continuation bytes are no
// characters): the cleaner's output, a box's text.
std::size_t textCharacters(const std::string& text);

}  // namespace tarnwick
