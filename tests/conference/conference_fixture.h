#pragma once
// The conference windows on virtual time with an in-process host and small stand-ins for the tools
// they read: the news player, the speech tool's mailbox and the series player.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "support/ini_text.h"
#include "conference/conference_tools.h"
#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "support/fake_tools.h"
#include "support/temp_dir.h"
#include "toolbox/player_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

using FakeNews = testing::FakePlayer;

using testing::FakeSpeech;

class ConferenceTest : public ::testing::Test {
public:
    ConferenceTest() {
        // Monday 14 December 2026, 09:05:00.500.
        rt.setLocalTime(2026, 12, 14, 9, 5, 0, 500);
        for (Tool* t : std::initializer_list<Tool*>{&news, &speech, &form6, &form9, &form10, &series}) tools.add(*t);
        form6Prompt = [this](const std::string& q, const std::string& title) {
            prompts.push_back(title + ": " + q);
            if (answers.empty()) return std::string();
            std::string a = answers.front();
            answers.pop_front();
            return a;
        };
    }
    void writeIni(const std::string& file, const std::string& body) {
        std::ofstream(dir + "/" + file) << "[SETTINGS]\n" << body;
    }
    std::string readIni(const std::string& file) { return testing::iniText(dir + "/" + file); }
    // Loads the windows as the launcher does and forgets the start-up's host calls.
    void start() {
        for (Tool* t : tools.all()) t->load();
        rt.runPending();
        host.state().clearLog();
    }
    void raise(const std::string& cmd, const std::vector<std::string>& args = {}) {
        host.raise(cmd, args);
        rt.runPending();
    }
    // A chat line as the host hands it over, control characters included.
    void chatIn(const std::string& text) {
        host.raiseEvent({"ChatTextReceived", {text}});
        rt.runPending();
    }
    // Links a conference (or station) to the node without any tool asking.
    void link(const std::string& call, const std::string& name = {}) {
        host.raiseEvent({"connected", {call, name, std::string()}});
        rt.runPending();
    }
    // The chat lines sent, by link.
    std::vector<std::string> chat(const std::string& link = "Form6") const {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls("SendChatText"))
            if (e.link == link && e.error.empty()) out.push_back(std::get<std::string>(e.args.at(0)));
        return out;
    }
    std::vector<std::string> calls(const std::string& op, const std::string& link = "Form6") const {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls(op))
            if (e.link == link && e.error.empty())
                out.push_back(e.args.empty() ? std::string() : std::get<std::string>(e.args.at(0)));
        return out;
    }

    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    testing::TempDir tmp;
    std::string dir = tmp.path();
    ToolContext ctx{rt, hub, tools, dir};
    std::vector<std::string> prompts;
    std::deque<std::string> answers;
    InputPrompt form6Prompt;

    FakeNews news{ctx};
    FakeSpeech speech{ctx};
    Form6 form6{ctx, [this](const std::string& q, const std::string& t) { return form6Prompt(q, t); }};
    Form9 form9{ctx};
    Form10 form10{ctx};
    testing::FakeSeries series{ctx};
};

}  // namespace tarnwick::test
