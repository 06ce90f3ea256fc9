// A multi-line text box used as a log pane: lines appended in place, the oldest leaving from the top.

#include <gtest/gtest.h>

#include <string>

#include "controls/controls.h"

namespace tarnwick {
namespace {

TEST(LogPane, KeepsItsNewestLinesWhateverTheirLineEnds) {
    struct Case {
        const char* name;
        std::vector<std::string> appends;
        std::string kept;
        std::size_t trimmedLines;
    } cases[] = {
        {"CrLf", {"a\r\n", "b\r\n", "c\r\n", "d\r\n"}, "b\r\nc\r\nd\r\n", 1},
        {"SeveralAtOnce", {"a\r\nb\r\nc\r\nd\r\ne\r\n"}, "c\r\nd\r\ne\r\n", 2},
        {"BareCrAndLf", {"a\rb\nc\rd\n"}, "b\nc\rd\n", 1},
        // A CR LF split over two appends is one line end.
        {"SplitCrLf", {"a\r", "\nb\r", "\nc\r", "\n"}, "a\r\nb\r\nc\r\n", 0},
        {"SplitCrLfTrimmed", {"a\r", "\nb\r", "\nc\r", "\nd\r", "\n"}, "b\r\nc\r\nd\r\n", 1},
        // An unfinished last line counts as one, and goes on where it stopped.
        {"Unfinished", {"a\r\nb\r\nc\r\nd"}, "b\r\nc\r\nd", 1},
        {"Continued", {"a\r\nb\r\nc", "c\r\n", "d"}, "b\r\ncc\r\nd", 1},
        {"EmptyLines", {"\r\n\r\n\r\n\r\nx"}, "\r\n\r\nx", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextBox pane("Pane", "", "", TypingStyle::Any, true);
        pane.setLineLimit(3);
        int changes = 0;
        pane.onChange = [&] { ++changes; };
        std::string all;
        for (const std::string& a : c.appends) {
            pane.append(a);
            all += a;
        }
        EXPECT_EQ(pane.text(), c.kept);
        EXPECT_EQ(changes, static_cast<int>(c.appends.size()));
        EXPECT_EQ(pane.trimmedLines(), c.trimmedLines);
        // What left is the start of what was appended.
        EXPECT_EQ(all.substr(pane.trimmedBytes()), c.kept);
        EXPECT_EQ(pane.textResets(), 0u);
    }
}

TEST(LogPane, ARunThatOutlastsTheLimitKeepsTheNewestAndTheCaretFollowsWhatStays) {
    TextBox pane("Pane", "Incoming Text\r\n", "", TypingStyle::Any, true);
    pane.setLineLimit(kLogPaneLines);
    for (int i = 0; i < 10'000; ++i) {
        pane.append("line " + std::to_string(i) + "\r\n");
        if (i == 9'000) pane.setSelStart(static_cast<int>(pane.text().size()) - 6);
    }
    std::string want;
    for (int i = 10'000 - static_cast<int>(kLogPaneLines); i < 10'000; ++i) want += "line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(pane.text(), want);
    EXPECT_EQ(pane.trimmedLines(), 10'001 - kLogPaneLines);
    // The caret stood at "9000" and stays there as lines leave above it.
    EXPECT_EQ(pane.text().substr(static_cast<std::size_t>(pane.selStart()), 6), "9000\r\n");

    // Clear empties the pane: a new text, counted afresh.
    pane.setText("");
    EXPECT_EQ(pane.text(), "");
    EXPECT_EQ(pane.textResets(), 1u);
    EXPECT_EQ(pane.trimmedLines(), 0u);
    EXPECT_EQ(pane.trimmedBytes(), 0u);
    pane.append("again\r\n");
    EXPECT_EQ(pane.text(), "again\r\n");
    // A text set whole is held to the limit too.
    pane.setText(std::string(kLogPaneLines + 5, '\n'));
    EXPECT_EQ(pane.text(), std::string(kLogPaneLines, '\n'));
}

TEST(LogPane, WithoutALimitNothingLeaves) {
    TextBox box("Box", "", "", TypingStyle::Any, true);
    for (int i = 0; i < 3000; ++i) box.append("x\r\n");
    EXPECT_EQ(box.text().size(), 3000u * 3);
    EXPECT_EQ(box.trimmedLines(), 0u);
}

}  // namespace
}  // namespace tarnwick
