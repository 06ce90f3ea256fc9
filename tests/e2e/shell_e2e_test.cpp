#include <gtest/gtest.h>

#include "support/node.h"

namespace tarnwick::testing {
namespace {

size_t count(const std::string& hay, const std::string& needle) {
    size_t n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

TEST(ShellEndToEnd, StartsQuicklyAnswersVersionAndEndsOnClosing) {
    Node node;
    auto t0 = std::chrono::steady_clock::now();
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    // A bound for gross faults only (start-up takes about 120 ms here); a machine busy with other
    // tests stretches it.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));

    ASSERT_EQ(node.hostCommand({"chat", "what /VER/ is it"}), 0);
    ASSERT_EQ(node.hostCommand({"chat", "what /ver/ is it"}), 0);
    ASSERT_TRUE(eventually([&] { return node.log().find("Tarnwick  v7.2.1") != std::string::npos; }));
    EXPECT_EQ(count(node.log(), R"("link":"Form5","op":"SendChatText","args":["Tarnwick  v7.2.1"])"), 1u);

    ASSERT_EQ(node.hostCommand({"closing"}), 0);
    EXPECT_EQ(app.wait(), 0) << app.err();
    std::string log = node.log();
    size_t closing = log.find(R"("event":"Closing")");
    ASSERT_NE(closing, std::string::npos);
    EXPECT_NE(log.find(R"("link":"Form5","op":"SetPTT","args":[false])", closing), std::string::npos);
    EXPECT_NE(node.settings("tarnwick.ini").find("CHECK1=0"), std::string::npos);
}

TEST(ShellEndToEnd, SecondCopyOnTheSameSettingsFolderIsRefused) {
    Node node;
    Process& first = node.start();
    ASSERT_TRUE(node.started());
    Process& second = node.start();
    EXPECT_NE(second.wait(), 0);
    EXPECT_NE(second.err().find("MSGBOX Tarnwick: Program is already running."), std::string::npos) << second.err();
    EXPECT_TRUE(first.running());
}

TEST(ShellEndToEnd, NodeNotInSysopModeIsRefusedWithTheWebSite) {
    Node node("N0CALL");
    Process& app = node.start();
    EXPECT_NE(app.wait(), 0);
    std::string err = app.err();
    EXPECT_NE(err.find("MSGBOX Tarnwick: " + std::string(20, ' ') +
                       "Tarnwick ONLY Runs in Sysop Mode\\r\\n\\r\\n Visit the Website for more information.  "
                       "https://tarnwick.example.org/"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("OPEN https://tarnwick.example.org/"), std::string::npos);
    EXPECT_EQ(node.log().find("Form1\""), std::string::npos);  // no tool was loaded
}

TEST(ShellEndToEnd, NoHostMeansEchoLinkIsNotRunning) {
    TempDir dir;
    Process app({TARNWICK_BIN},
                {{"TARNWICK_HOST", dir.file("none.sock")},
                 {"TARNWICK_CONFIG_DIR", dir.file("cfg")},
                 {"QT_QPA_PLATFORM", "offscreen"},
                 {"TARNWICK_ANSWER", "ok"}},
                dir.file("err"));
    EXPECT_NE(app.wait(), 0);
    EXPECT_NE(app.err().find("MSGBOX Tarnwick: EchoLink is not running."), std::string::npos) << app.err();
}

}  // namespace
}  // namespace tarnwick::testing
