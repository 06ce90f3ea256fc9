#pragma once
// The DTMF control window on virtual time with an in-process host and stand-ins for the speech tool
// and the conference controller, whose "Stay Con" switches and receive indicator it uses.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/fake_tools.h"
#include "support/ini_text.h"
#include "dtmf/dtmf_control.h"
#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "support/temp_dir.h"
#include "toolbox/conference_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

using testing::FakeSpeech;

struct FakeConference : Tool, ConferenceFace {
    explicit FakeConference(ToolContext& c) : Tool(c, "Form6") {}
    void Form_Load() override {}
};

class DtmfTest : public ::testing::Test {
protected:
    DtmfTest() {
        // Monday 14 December 2026, 10:00:00.500.
        rt.setLocalTime(2026, 12, 14, 10, 0, 0, 500);
        tools.add(speech);
        tools.add(form4);
        tools.add(conference);
        // The speech tool's clock restarts the acceptance delay at every tick without receive.
        speechClock.onTick = [this] {
            if (!host.state().receiving()) form4.DTMFDelay.setEnabled(true);
        };
    }

    // Writes dtmfctrl.ini before start().
    void writeIni(const std::string& body) { std::ofstream(dir + "/dtmfctrl.ini") << "[SETTINGS]\n" << body; }
    std::string readIni() const { return testing::iniText(dir + "/dtmfctrl.ini"); }
    bool iniExists() const { return std::ifstream(dir + "/dtmfctrl.ini").good(); }

    // Loads the window as the launcher does and forgets what its start-up called.
    void start() {
        form4.load();
        speechClock.setEnabled(true);
        rt.runPending();
        host.state().clearLog();
    }

    // Raises a host event (as `tarnwick-host CMD ARGS` does) and lets it reach the tools.
    void raise(const std::string& cmd, const std::vector<std::string>& args = {}) {
        host.raise(cmd, args);
        rt.runPending();
    }
    void dtmf(const std::string& digits) {
        host.raiseEvent({"DTMFString", {digits}});
        rt.runPending();
    }
    // Stations the node has before a test's first step; their connect events are forgotten.
    void connect(const std::vector<std::string>& calls) {
        for (const auto& c : calls) raise("connected", {c});
        host.state().clearLog();
    }

    // The window's host calls in order, as "Op arg arg"; failed calls end with " !". Without queries
    // the "Is..." questions are left out; with times each call starts with the day and second it was
    // made at ("14T20:00:15").
    std::vector<std::string> calls(bool withQueries = true, bool withTimes = false) const {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls()) {
            if (e.link != "Form4" || (!withQueries && e.op.rfind("Is", 0) == 0)) continue;
            std::string line = withTimes ? e.time.substr(8, 11) + " " + e.op : e.op;
            for (const HostValue& a : e.args) {
                if (auto b = std::get_if<bool>(&a)) line += *b ? " true" : " false";
                if (auto s = std::get_if<std::string>(&a)) line += " " + *s;
            }
            if (!e.error.empty()) line += " !";
            out.push_back(line);
        }
        return out;
    }
    std::vector<std::string> timedCalls() const { return calls(false, true); }
    void forget() { host.state().clearLog(); }

    void runTo(int h, int m, int s, int weekday = 0) { ASSERT_TRUE(rt.runUntil(h, m, s, weekday)); }
    void seconds(int n) { rt.advance(n * 1000LL); }

    testing::TempDir tmp;
    std::string dir = tmp.path();
    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, dir};
    Timer speechClock{rt, 1000};

    FakeSpeech speech{ctx};
    Form4 form4{ctx};
    FakeConference conference{ctx};
};

}  // namespace tarnwick::test
