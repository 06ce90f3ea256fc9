#include "hostlink/network_text.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

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
    };
    for (const Case& c : cases) EXPECT_EQ(cleanNetworkText(c.in, c.max), c.out) << c.in.substr(0, 20);
}

}  // namespace
}  // namespace tarnwick
