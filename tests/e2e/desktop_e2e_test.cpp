// The program on a desktop as an operator meets it: on a small screen scaled up every window opens with
// its title bar and close box on the screen, the launcher's task-bar entry reads the program's name, and
// a second copy's refusal has the keyboard.

#include <gtest/gtest.h>

#include <sstream>

#include "support/desktop.h"
#include "support/node.h"

namespace tarnwick::testing {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// The numbers after a label in a tool's output ("Absolute upper-left X:  34").
long numberAfter(const std::string& text, const std::string& label) {
    const auto at = text.find(label);
    return at == std::string::npos ? -1 : std::stol(text.substr(at + label.size()));
}

TEST(DesktopEndToEnd, OnASmallScreenScaledUpEveryWindowOpensWithItsTitleBarOnTheScreen) {
    NEED_DESKTOP(desktop);
    Node node;
    auto env = desktop.appEnv();
    env["QT_SCALE_FACTOR"] = "1.5";
    Process& app = node.start("", env);
    ASSERT_TRUE(node.started()) << app.err();
    auto shown = [&] { return desktop.shownWindows("^Tarnwick"); };
    ASSERT_TRUE(eventually([&] { return shown().size() == 1; })) << app.err();
    const std::string launcher = shown().front();
    const std::string names = desktop.run({"/usr/bin/xprop", "-id", launcher, "WM_CLASS", "_NET_WM_ICON_NAME"});
    EXPECT_NE(names.find("\"tarnwick\", \"Tarnwick\""), std::string::npos) << names;
    EXPECT_NE(names.find("_NET_WM_ICON_NAME(UTF8_STRING) = \"Tarnwick\""), std::string::npos) << names;

    // Each of the twelve tool buttons in turn, by the keyboard: Tab to the next one, Space.
    auto focused = [&] { return lines(desktop.run({"/usr/bin/xdotool", "getwindowfocus"})); };
    for (std::size_t opened = 1; opened <= 12; ++opened) {
        ASSERT_TRUE(eventually([&] {
            desktop.run({"/usr/bin/xdotool", "windowactivate", "--sync", launcher});
            return focused() == std::vector<std::string>{launcher};
        }, std::chrono::seconds(15))) << "the launcher takes the keyboard";
        desktop.run({"/usr/bin/xdotool", "key", "Tab", "space"});
        ASSERT_TRUE(eventually([&] { return shown().size() == opened + 1; }, std::chrono::seconds(15)))
            << "tool button " << opened << " opened no window\n"
            << app.err();
    }
    for (const std::string& id : shown()) {
        // The window manager may take a moment to frame the last one.
        std::string geometry, props;
        eventually([&] {
            geometry = desktop.run({"/usr/bin/xwininfo", "-id", id});
            props = desktop.run({"/usr/bin/xprop", "-id", id, "_NET_FRAME_EXTENTS", "_NET_WM_STATE"});
            return props.find("_NET_FRAME_EXTENTS(CARDINAL) = ") != std::string::npos;
        });
        const std::string name = desktop.run({"/usr/bin/xdotool", "getwindowname", id});
        EXPECT_EQ(props.find("FULLSCREEN"), std::string::npos) << name;
        long left = 0, right = 0, top = 0, bottom = 0;
        const auto extents = props.find("_NET_FRAME_EXTENTS(CARDINAL) = ");
        ASSERT_NE(extents, std::string::npos) << name << props;
        std::sscanf(props.c_str() + extents, "_NET_FRAME_EXTENTS(CARDINAL) = %ld, %ld, %ld, %ld", &left, &right,
                    &top, &bottom);
        EXPECT_GT(top, 0) << name << ": a title bar";
        const long x = numberAfter(geometry, "Absolute upper-left X:");
        const long y = numberAfter(geometry, "Absolute upper-left Y:");
        const long w = numberAfter(geometry, "Width:"), h = numberAfter(geometry, "Height:");
        EXPECT_GE(x - left, 0) << name;
        EXPECT_GE(y - top, 0) << name << ": the title bar on the screen";
        EXPECT_LE(x + w + right, 1024) << name << ": the close box on the screen";
        EXPECT_LE(y + h + bottom, 768) << name;
    }
    EXPECT_TRUE(app.running()) << app.err();
}

TEST(DesktopEndToEnd, TheSecondCopysRefusalHasTheKeyboardSoEnterAnswersIt) {
    NEED_DESKTOP(desktop);
    Node node;
    Process& first = node.start("", desktop.appEnv());
    ASSERT_TRUE(node.started()) << first.err();
    auto shown = [&] { return desktop.shownWindows("^Tarnwick$"); };
    ASSERT_TRUE(eventually([&] { return shown().size() == 1; })) << first.err();
    desktop.run({"/usr/bin/xdotool", "windowactivate", "--sync", shown().front()});

    Process& second = node.start("", desktop.appEnv());
    ASSERT_TRUE(eventually([&] { return second.err().find("Program is already running.") != std::string::npos; }))
        << second.err();
    const std::string mine = std::to_string(second.pid());
    EXPECT_TRUE(eventually([&] {
        const std::string focus = lines(desktop.run({"/usr/bin/xdotool", "getwindowfocus"})).front();
        return lines(desktop.run({"/usr/bin/xdotool", "getwindowpid", focus})) == std::vector<std::string>{mine};
    }, std::chrono::seconds(15))) << "the box has the keyboard";
    desktop.run({"/usr/bin/xdotool", "key", "Return"});
    EXPECT_EQ(second.wait(std::chrono::seconds(15)), 1) << second.err();
    EXPECT_TRUE(first.running()) << first.err();
}

}  // namespace
}  // namespace tarnwick::testing
