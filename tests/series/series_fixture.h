#pragma once
// The series player on virtual time: an in-process host, the news player's fake media player whose
// position follows virtual time, real files under a drive folder and stand-ins for the speech tool.
// The series player's host calls and the media player's calls land in one ordered event list.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/ini_text.h"
#include "player/player_fixture.h"
#include "series/series_player.h"

namespace tarnwick::test {

// Hands every call to the in-process host and notes the series player's calls, queries left out.
class SeriesTransport : public HostTransport {
public:
    SeriesTransport(LocalHostTransport& inner, Events& events, Runtime& rt) : inner_(inner), events_(events), rt_(rt) {
        inner_.eventSink = [this](HostEvent ev) {
            if (eventSink) eventSink(std::move(ev));
        };
    }
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        if (failOp == op) throw HostError(op + " refused");
        if (link == "Form12" && op != "Hello" && op != "GetCallsign" && op != "IsTransmitting" &&
            op != "IsCarrierDetected") {
            std::string line = op;
            for (const HostValue& a : args) {
                if (auto b = std::get_if<bool>(&a)) line += *b ? " true" : " false";
                if (auto n = std::get_if<long long>(&a)) line += " " + std::to_string(*n);
                if (auto s = std::get_if<std::string>(&a)) line += " " + *s;
            }
            events_.push_back(line);
            if (line == "SetPTT true") {
                static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
                const LocalTime t = rt_.localTime();
                keyedAt.push_back(std::string(days[(t.weekday + 6) % 7]) + " " + t.hms());
            }
        }
        return inner_.call(link, op, args);
    }
    // An operation every link's call of which fails.
    std::string failOp;
    // When the series player keyed the transmitter: "Mon 20:15:15".
    std::vector<std::string> keyedAt;

private:
    LocalHostTransport& inner_;
    Events& events_;
    Runtime& rt_;
};

class SeriesTest : public ::testing::Test {
protected:
    SeriesTest() {
        // Monday 7 December 2026, 09:00:00.
        rt.setLocalTime(2026, 12, 7, 9, 0, 0);
        setenv("TARNWICK_DRIVES", (dir + "/drives").c_str(), 1);
        std::filesystem::create_directories(dir + "/drives/c");
        for (int n = 1; n <= 9; ++n) addFile(std::to_string(n) + ".mp3", 60);
        for (Tool* t : std::initializer_list<Tool*>{&speech}) tools.add(*t);
    }
    ~SeriesTest() override { series.reset(); }

    // A file under drive C: that the fake player plays for `seconds`.
    void addFile(const std::string& name, double seconds) {
        std::ofstream(dir + "/drives/c/" + name) << "audio";
        durations[name] = seconds;
    }
    // seriesplayer.ini before start().
    void writeIni(const std::string& body) { std::ofstream(dir + "/seriesplayer.ini") << "[SETTINGS]\n" << body; }
    std::string readIni() { return testing::iniText(dir + "/seriesplayer.ini"); }

    // Builds and loads the window as the launcher does, then forgets what its start-up did.
    void start() {
        series = std::make_unique<Form12>(
            ctx, [this] { return std::make_unique<FakeMedia>(rt, events, durations); },
            [this](const std::string&, const std::string&) {
                ++dialogs;
                return dialogAnswer;
            });
        tools.add(*series);
        series->load();
        rt.runPending();
        events.clear();
        rt.boxes.clear();
    }
    // Start-up, then the clock's first tick (which copies the end number); events forgotten.
    void startTicked() {
        start();
        rt.advance(1100);
        events.clear();
    }
    // Keeps the idle release quiet, as the news player's first transmission does.
    void quietIdle() { series->Text3.setText("00 00 00"); }

    FakeMedia& media() { return *static_cast<FakeMedia*>(series->media()); }

    Events only(std::initializer_list<const char*> words) const {
        Events out;
        for (const auto& e : events)
            for (const char* w : words)
                if (e.rfind(w, 0) == 0) {
                    out.push_back(e);
                    break;
                }
        return out;
    }
    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
    // The files the steps put on air, in order.
    Events played() const {
        Events out;
        for (std::size_t i = 0; i + 1 < events.size(); ++i)
            if (events[i].rfind("render ", 0) == 0 && events[i + 1] == "SetPTT true") out.push_back(events[i].substr(7));
        return out;
    }
    void raise(const std::string& cmd, const std::vector<std::string>& args = {}) {
        host.raise(cmd, args);
        rt.runPending();
    }
    void runTo(int h, int m, int s, int weekday = 0) { ASSERT_TRUE(rt.runUntil(h, m, s, weekday)); }

    testing::TempDir tmp;
    std::string dir = tmp.path();
    Events events;
    std::map<std::string, double> durations;
    std::string dialogAnswer;
    int dialogs = 0;

    VirtualRuntime rt;
    LocalHostTransport host{rt};
    SeriesTransport transport{host, events, rt};
    HostHub hub{rt, transport};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, dir};

    FakeSpeech speech{ctx, events};
    std::unique_ptr<Form12> series;
};

}  // namespace tarnwick::test
