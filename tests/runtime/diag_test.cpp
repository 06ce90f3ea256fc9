// Diagnostic lines: safe for a terminal, and one failure that keeps happening does not flood it.

#include <gtest/gtest.h>

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
