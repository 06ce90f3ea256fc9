// Diagnostic lines: safe for a terminal, and one failure that keeps happening does not flood it.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

TEST(Diagnostics, ControlCharactersAndBrokenBytesAreWrittenAsEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\r\nb", "a\\r\\nb"},
        {"tab\tstays", "tab\tstays"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\x1b[2J\x1b]0;owned\x07", "\\x1B[2J\\x1B]0;owned\\x07"},
        {"del\x7f", "del\\x7F"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xbb", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xbb"},  // é € 📻
        {"c1 \xc2\x9b" "2J", "c1 \\xC2\\x9B2J"},                                               // U+009B, a CSI
        {"ansi \xe9 lone \x9b", "ansi \\xE9 lone \\x9B"},                                      // not UTF-8
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"overlong \xc0\xaf surrogate \xed\xa0\x80", "overlong \\xC0\\xAF surrogate \\xED\\xA0\\x80"},
    };
    for (const Case& c : cases) EXPECT_EQ(escapeDiagnostic(c.in), c.out) << c.out;
}

std::string hex(unsigned b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", b);
    return buf;
}

// Every code of C0, DEL and C1, and the printable codes at their edges, one at a time: as an ASCII
// byte, as a code point written in UTF-8 (U+0080 to U+00BF) and as a lone byte that is not UTF-8.
TEST(Diagnostics, EveryControlCodeIsEscapedAndThePrintableOnesBesideThemAreNot) {
    for (unsigned b = 0; b < 0x80; ++b) {
        const std::string in(1, static_cast<char>(b));
        const std::string out = b == '\r' ? "\\r" : b == '\n' ? "\\n" : b == '\t' || (b >= 0x20 && b <= 0x7E) ? in : hex(b);
        EXPECT_EQ(escapeDiagnostic("<" + in + ">"), "<" + out + ">") << "byte " << hex(b);
    }
    for (unsigned cp = 0x80; cp < 0xC0; ++cp) {
        const std::string utf8 = {'\xC2', static_cast<char>(cp)};
        const std::string out = cp < 0xA0 ? hex(0xC2) + hex(cp) : utf8;
        EXPECT_EQ(escapeDiagnostic("<" + utf8 + ">"), "<" + out + ">") << "U+00" << hex(cp).substr(2);
        EXPECT_EQ(escapeDiagnostic("<" + std::string(1, static_cast<char>(cp)) + ">"), "<" + hex(cp) + ">")
            << "lone byte " << hex(cp);
    }
    // The ERROR line itself, with and without a runtime at hand, escapes the whole range.
    std::string c1, escaped;
    for (unsigned cp = 0x80; cp < 0xA0; ++cp) {
        c1 += {'\xC2', static_cast<char>(cp)};
        escaped += hex(0xC2) + hex(cp);
    }
    ::testing::internal::CaptureStderr();
    diagError("chat", c1);
    {
        VirtualRuntime rt;
        rt.error("chat", c1);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR chat: " + escaped + "\nERROR chat: " + escaped + "\n");
}

std::vector<std::string> linesOf(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(Diagnostics, ARepeatedErrorIsWrittenOnceThenOnceAMinuteWithItsCount) {
    VirtualRuntime rt;
    ::testing::internal::CaptureStderr();
    // Ten a second for two and a half minutes, with another failure and a spoken line in between.
    for (int i = 0; i < 1500; ++i) {
        rt.error("Form3.Timer4", "the host went away");
        if (i == 5) rt.error("Form1 SetPTT", "the host went away");
        if (i == 7) rt.diag("SPEAK", "Hello");
        rt.blockingDelay(100);
    }
    // It stops; the next line a minute later brings its last count.
    rt.blockingDelay(60'000);
    rt.diag("SPEAK", "Back");
    rt.error("Form3.Timer4", "the host went away");
    EXPECT_EQ(linesOf(::testing::internal::GetCapturedStderr()),
              (std::vector<std::string>{
                  "ERROR Form3.Timer4: the host went away",
                  "ERROR Form1 SetPTT: the host went away",
                  "SPEAK Hello",
                  "ERROR Form3.Timer4: the host went away (repeated 600 times)",
                  "ERROR Form3.Timer4: the host went away (repeated 600 times)",
                  "ERROR Form3.Timer4: the host went away (repeated 299 times)",
                  "SPEAK Back",
                  "ERROR Form3.Timer4: the host went away",
              }));
}

}  // namespace
}  // namespace tarnwick
