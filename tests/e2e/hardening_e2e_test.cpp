// The node stays safe when things go wrong: refused unkeys, tools on air at once, signals, modal
// boxes, a host that goes away, a settings folder that cannot be made, strangers on the socket.

#include <gtest/gtest.h>

#include "support/node.h"
#include "support/wav.h"

namespace tarnwick::testing {
namespace {

const std::string kPlayerKey = R"("link":"Form1","op":"SetPTT","args":[true])";
const std::string kUnkey = R"("op":"SetPTT","args":[false])";

// A node whose Audio File 1 (DTMF "AA") is a tone of the given length.
struct PlayNode : Node {
    explicit PlayNode(double seconds, const std::string& extraKeys = "") {
        wav = drivePath("c", "News1.wav");
        writeToneWav(wav, seconds);
        writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\News1.wav\n" + extraKeys);
    }
    // The host's state as one JSON line.
    std::string state() {
        if (hostCommand({"state"}) != 0) return {};
        return Process::slurp(dir().file("cli.err.out"));
    }
    bool keyed() { return state().find("\"ptt\":true") != std::string::npos; }
    bool unkeyed() { return state().find("\"ptt\":false") != std::string::npos; }
    // Accepted unkeys (from any link) logged after the given sequence number.
    std::vector<std::string> unkeysAfter(long long seq) {
        std::vector<std::string> out;
        for (const auto& l : lines({kUnkey}))
            if (seqOf(l) > seq && l.find("\"error\"") == std::string::npos) out.push_back(l);
        return out;
    }
    std::string wav;
};

TEST(HardeningEndToEnd, ARefusedUnkeyIsRetriedUntilTheHostShowsPttOff) {
    PlayNode node(1.5);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kPlayerKey}).empty(); })) << node.log();
    ASSERT_EQ(node.hostCommand({"set", "fail", "SetPTT"}), 0);
    // The wrap-up's unkey is refused, and so are its retries while the fault lasts.
    ASSERT_TRUE(eventually([&] { return node.lines({R"("link":"Form1")", kUnkey, "\"error\""}).size() >= 2; }))
        << node.log();
    EXPECT_TRUE(node.keyed());
    ASSERT_EQ(node.hostCommand({"set", "fail", "none"}), 0);
    EXPECT_TRUE(eventually([&] { return node.unkeyed(); }, std::chrono::seconds(2))) << node.log();
    EXPECT_TRUE(app.running());
}

TEST(HardeningEndToEnd, ADtmfPlayThatStartsDuringKeyedSpeechStaysKeyedToItsEnd) {
    PlayNode node(2.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "*1*"}), 0);  // "Auto Connects Enabled." is spoken, keyed
    ASSERT_TRUE(eventually([&] { return app.err().find("SPEAK ") != std::string::npos; })) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);  // reaches the tools while the speech holds the thread
    ASSERT_TRUE(eventually([&] { return !node.lines({kPlayerKey}).empty(); })) << node.log();
    const std::string key = node.lines({kPlayerKey}).front();
    ASSERT_TRUE(eventually([&] { return !node.unkeysAfter(Node::seqOf(key)).empty(); })) << node.log();
    const std::string unkey = node.unkeysAfter(Node::seqOf(key)).front();
    EXPECT_NE(unkey.find(R"("link":"Form1")"), std::string::npos) << "the play was cut: " << unkey;
    EXPECT_GE(Node::timeOf(unkey) - Node::timeOf(key), 2000) << node.log();
}

TEST(HardeningEndToEnd, SigtermDuringAPlayLeavesTheHostUnkeyedWithDtrDown) {
    PlayNode node(20.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    // On air, the transmitter fan's serial line up.
    ASSERT_TRUE(eventually([&] {
        const std::string s = node.state();
        return s.find("\"ptt\":true") != std::string::npos && s.find("\"dtr\":true") != std::string::npos;
    })) << node.state() << node.log();
    app.terminate();
    EXPECT_EQ(app.wait(std::chrono::seconds(5)), 0) << app.err();
    const std::string s = node.state();
    EXPECT_NE(s.find("\"ptt\":false"), std::string::npos) << s;
    EXPECT_NE(s.find("\"dtr\":false"), std::string::npos) << s;
}

}  // namespace
}  // namespace tarnwick::testing
