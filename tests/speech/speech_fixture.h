#pragma once
// A speech tool on virtual time with an in-process host, a recording voice and small stand-ins for
// the neighbouring tools it reads (players, DTMF control, station info, greetings).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "support/fake_tools.h"
#include "support/temp_dir.h"
#include "speech/dtmf_help.h"
#include "speech/speech_settings.h"
#include "speech/speech_tool.h"
#include "toolbox/conference_face.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

using testing::FakeDtmfControl;
using testing::FakeSeries;

// What the voice was asked to do.
struct VoiceLog {
    struct Spoken {
        std::string text;
        bool keyed;  // the host's transmitter was keyed while it was spoken
        int rate, volume;
    };
    std::vector<Spoken> sync;
    std::vector<std::string> async;
    int rate = -99, volume = -1;
    int speechMs = 1500;
    bool fail = false;
    // Runs inside each synchronous speech (the thread is held there).
    std::function<void(const std::string&)> onSpeak;

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : sync) out.push_back(s.text);
        return out;
    }
};

class FakeVoice : public SpeechVoice {
public:
    FakeVoice(VoiceLog& log, VirtualRuntime& rt, LocalHostTransport& host) : log_(log), rt_(rt), host_(host) {}
    void setRate(int r) override { log_.rate = r; }
    void setVolume(int v) override { log_.volume = v; }
    void speakSync(const std::string& text) override {
        if (log_.fail) throw std::runtime_error("voice failed");
        log_.sync.push_back({text, host_.state().ptt(), log_.rate, log_.volume});
        if (log_.onSpeak) log_.onSpeak(text);
        // The thread is held for the whole speech, with the upkeep the real voice runs every tenth
        // of a second.
        for (int left = log_.speechMs; left > 0; left -= 100) {
            rt_.blockingDelay(std::min(left, 100));
            if (whileSpeaking) whileSpeaking();
        }
    }
    void speakAsync(const std::string& text) override { log_.async.push_back(text); }
    void purge() override {}

private:
    VoiceLog& log_;
    VirtualRuntime& rt_;
    LocalHostTransport& host_;
};

// Hands every call to the in-process host, after an optional hook (to change the host's state at an
// exact call).
class HookedTransport : public HostTransport {
public:
    explicit HookedTransport(LocalHostTransport& inner) : inner_(inner) {
        inner_.eventSink = [this](HostEvent ev) {
            if (eventSink) eventSink(std::move(ev));
        };
    }
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        if (before) before(link, op);
        return inner_.call(link, op, args);
    }
    void keepUp() override {
        if (onKeepUp) onKeepUp();
    }
    std::function<void(const std::string& link, const std::string& op)> before;
    // Runs at each upkeep of the host link (from inside work that holds the thread).
    std::function<void()> onKeepUp;

private:
    LocalHostTransport& inner_;
};

using testing::FakePlayer;

struct FakeStationInfo : Tool, StationInfoFace {
    explicit FakeStationInfo(ToolContext& c) : Tool(c, "Form9") {}
    void Form_Load() override {}
    void Navigate(const std::string& url) override { pages.push_back(url); }
    bool SaveData2() override { return true; }
    std::vector<std::string> pages;
};

struct FakeGreetings : Tool, GreetingsFace {
    explicit FakeGreetings(ToolContext& c) : Tool(c, "Form10") {}
    void Form_Load() override {}
};

class SpeechTest : public ::testing::Test {
public:
    SpeechTest() {
        // Monday 14 December 2026, 10:00:00.500.
        rt.setLocalTime(2026, 12, 14, 10, 0, 0, 500);
        for (Tool* t : std::initializer_list<Tool*>{&player, &form3, &dtmf, &form7, &form8, &info, &greet, &series})
            tools.add(*t);
    }
    // Writes a settings file of the speech tools before start().
    void writeIni(const std::string& file, const std::string& body) {
        std::ofstream(dir + "/" + file) << "[SETTINGS]\n" << body;
    }
    std::string readIni(const std::string& file) {
        std::ifstream in(dir + "/" + file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // Loads every tool as the launcher does and runs what their start-up posted.
    void start() {
        for (Tool* t : tools.all()) t->load();
        rt.runPending();
        host.state().clearLog();
    }

    // Sets the clock to the given moment of the current day (or a later day) and runs up to it.
    void runTo(int h, int m, int s, int weekday = 0) { ASSERT_TRUE(rt.runUntil(h, m, s, weekday)); }

    // Sets the wall clock to a moment of December 2026 (the 14th is a Monday) without running the
    // hours between; the clocks carry on from there.
    void jumpTo(int day, int h, int m, int s, int ms = 500) {
        rt.setLocalTime(2026, 12, day, h, m, s, ms);
        rt.advance(0);
    }

    std::vector<bool> pttCalls(const std::string& link = "Form3") const {
        std::vector<bool> out;
        for (const auto& e : host.state().calls("SetPTT"))
            if (e.link == link && e.error.empty()) out.push_back(std::get<bool>(e.args.at(0)));
        return out;
    }
    std::vector<std::string> textCalls(const std::string& op) const {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls(op)) {
            if (!e.error.empty()) continue;
            for (const HostValue& a : e.args)
                if (const auto* s = std::get_if<std::string>(&a)) out.push_back(*s);
        }
        return out;
    }
    void raise(const std::string& cmd, const std::vector<std::string>& args = {}) {
        host.raise(cmd, args);
        rt.runPending();
    }

    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HookedTransport transport{host};
    HostHub hub{rt, transport};
    ToolRegistry tools;
    testing::TempDir tmp;
    std::string dir = tmp.path();
    ToolContext ctx{rt, hub, tools, dir};
    VoiceLog voice;

    FakePlayer player{ctx};
    Form3 form3{ctx, [this] { return std::make_unique<FakeVoice>(voice, rt, host); }};
    FakeDtmfControl dtmf{ctx};
    Form7 form7{ctx};
    Form8 form8{ctx};
    FakeStationInfo info{ctx};
    FakeGreetings greet{ctx};
    FakeSeries series{ctx};
};

}  // namespace tarnwick::test
