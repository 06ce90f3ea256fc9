#include "hostlink/network_text.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(NetworkText, ControlCharactersBecomeBlanksAndTheTextIsCutByCharacters) {
    struct Case {
        std::string in;
        std::size_t max;
        std::string out;
    };
    const Case cases[] = {
        {"hello", 16, "hello"},
        {"a\x1b[31mb\r\n\t\x7f" + std::string(1, '\0') + "z", 32, "a [31mb     z"},
        {std::string(10000, 'x'), 256, std::string(256, 'x')},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xc3\xa9"},  // never cut inside a character
        {"Q0ABC", 0, ""},
        // C1 controls (U+0085 NEL, U+009B CSI), the bidirectional controls and the line separators.
        {"a\xc2\x85" "b\xc2\x9b" "c\xc2\xa0", 16, "a b c\xc2\xa0"},
        {"SPEAK \xe2\x80\xae" "exe.txt", 32, "SPEAK  exe.txt"},
        {"\xe2\x80\x8e\xe2\x80\x8f\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xd8\x9c", 16, "       "},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9|\xe2\x80\xa8\xe2\x80\xa9|\xe2\x80\x8b", 16,
         "    |  |\xe2\x80\x8b"},  // a zero-width space is text
        // A broken sequence is one replacement character; what follows it is cleaned like any other byte.
        {"\xc3\x1b[2J", 16, kFffd + " [2J"},
        {"ok\xf0\r\n\x1b", 16, "ok" + kFffd + "   "},
        {"\xe2\x82" "A", 16, kFffd + "A"},
        {"\xf0\x9f\x98", 16, kFffd},
        {"\x80\xbf", 16, kFffd + kFffd},
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8 either.
        {"\xc0\xaf|\xe0\x80\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xff", 32,
         kFffd + kFffd + "|" + kFffd + kFffd + kFffd + "|" + kFffd + kFffd + kFffd + "|" + kFffd + kFffd + kFffd +
             kFffd + "|" + kFffd},
        {"\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", 16, "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
        // A replaced byte counts as one character.
        {"\xff\xff\xff", 2, kFffd + kFffd},
    };
    for (const Case& c : cases) EXPECT_EQ(cleanNetworkText(c.in, c.max), c.out) << c.in.substr(0, 20);
}

// Every code point of C0, DEL and C1 one at a time, and the printable ones at their edges.
TEST(NetworkText, EveryControlCodeBecomesABlankAndThePrintableOnesBesideThemStay) {
    for (unsigned cp = 0; cp < 0xC0; ++cp) {
        const std::string in = cp < 0x80 ? std::string(1, static_cast<char>(cp))
                                         : std::string{'\xC2', static_cast<char>(cp)};
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        EXPECT_EQ(cleanNetworkText("<" + in + ">", 16), "<" + (control ? std::string(" ") : in) + ">") << "U+" << cp;
    }
}

TEST(NetworkText, CleanTextIsCleanedToItselfAndItsCharactersCount) {
    const std::string text = cleanNetworkText("\xc3\xa9\xe2\x80\xae\xff" + std::string(300, 'x') + "\x01", 1000);
    EXPECT_EQ(cleanNetworkText(text, 1000), text);
    EXPECT_EQ(textCharacters(text), 304u);
    EXPECT_EQ(textCharacters(cleanNetworkText(text, 16)), 16u);
}

}  // namespace
}  // namespace tarnwick
