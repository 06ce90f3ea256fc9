#pragma once
// The news player on virtual time: an in-process host, a media player whose position follows
// virtual time, real files under a drive folder and small stand-ins for the neighbouring tools.
// Everything the player does outside itself lands in one ordered event list.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "player/news_player.h"
#include "runtime/virtual_runtime.h"
#include "support/fake_tools.h"
#include "support/temp_dir.h"
#include "toolbox/download_face.h"
#include "toolbox/dtmf_face.h"
#include "toolbox/series_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

using testing::FakeDtmfControl;
using testing::FakeSeries;

using Events = std::vector<std::string>;

// Plays for as long as its file lasts, on virtual time.
class FakeMedia : public MediaPlayer {
public:
    FakeMedia(VirtualRuntime& rt, Events& events, const std::map<std::string, double>& durations)
        : rt_(rt), events_(events), durations_(durations) {}

    bool render(const std::string& path, std::string& error) override {
        events_.push_back("render " + std::filesystem::path(path).filename().string());
        auto it = durations_.find(std::filesystem::path(path).filename().string());
        if (it == durations_.end()) {
            error = "no decoder";
            return false;
        }
        loaded_ = true;
        running_ = false;
        duration_ = it->second;
        pos_ = 0;
        return true;
    }
    bool loaded() const override { return loaded_; }
    void run() override {
        need();
        events_.push_back("run");
        if (!running_) startMs_ = rt_.monotonicMs() - static_cast<std::int64_t>(pos_ * 1000);
        running_ = true;
    }
    void pause() override { stop(); }
    void stop() override {
        need();
        events_.push_back("stop");
        pos_ = position();
        running_ = false;
    }
    double position() override {
        need();
        if (!running_) return pos_;
        double p = (rt_.monotonicMs() - startMs_) / 1000.0;
        return std::min(p, duration_);
    }
    void setPosition(double s) override {
        need();
        events_.push_back("position " + std::to_string(static_cast<int>(s)));
        pos_ = s;
        startMs_ = rt_.monotonicMs() - static_cast<std::int64_t>(s * 1000);
    }
    double duration() override {
        need();
        return duration_;
    }
    void setVolume(int v) override {
        need();
        events_.push_back("volume " + std::to_string(v));
        volume_ = v;
    }
    int volume() const override { return volume_; }
    bool ended(std::string* error) override {
        if (!running_) return false;
        if (failAfter >= 0 && position() >= failAfter) {
            if (error) *error = "stream error";
            return true;
        }
        if (endAfter >= 0 && position() >= endAfter) return true;
        return position() >= duration_;
    }
    void release() override {
        events_.push_back("release");
        loaded_ = false;
        running_ = false;
    }

    // Playback fails, or the stream ends cleanly, this many seconds in (-1: never).
    double failAfter = -1;
    double endAfter = -1;

private:
    void need() const {
        if (!loaded_) throw std::runtime_error("no file loaded");
    }
    VirtualRuntime& rt_;
    Events& events_;
    const std::map<std::string, double>& durations_;
    bool loaded_ = false, running_ = false;
    double duration_ = 0, pos_ = 0;
    std::int64_t startMs_ = 0;
    int volume_ = 0;
};

// Hands every call to the in-process host and notes the player's calls in the event list.
class RecordingTransport : public HostTransport {
public:
    RecordingTransport(LocalHostTransport& inner, Events& events) : inner_(inner), events_(events) {
        inner_.eventSink = [this](HostEvent ev) {
            if (eventSink) eventSink(std::move(ev));
        };
    }
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        if (link == "Form1" && op != "Hello" && op != "GetCallsign" && op != "IsCarrierDetected" &&
            op != "IsConnectedTo") {
            std::string line = op;
            for (const HostValue& a : args) {
                if (auto b = std::get_if<bool>(&a)) line += *b ? " true" : " false";
                if (auto n = std::get_if<long long>(&a)) line += " " + std::to_string(*n);
                if (auto s = std::get_if<std::string>(&a)) line += " " + *s;
            }
            events_.push_back(line);
        }
        return inner_.call(link, op, args);
    }

private:
    LocalHostTransport& inner_;
    Events& events_;
};

struct FakeSpeech : Tool, SpeechFace {
    FakeSpeech(ToolContext& c, Events& e) : Tool(c, "Form3"), SpeechFace(c.rt), events(e) {}
    void Form_Load() override {}
    void SpeakTheText() override {}
    void kellow() override { events.push_back("kellow"); }
    void SayEndOfFile() override { events.push_back("SayEndOfFile"); }
    void FanOn() override { events.push_back("FanOn"); }
    Events& events;
};

struct FakeDownloader : Tool, DownloaderFace {
    explicit FakeDownloader(ToolContext& c) : Tool(c, "Form13"), DownloaderFace(c.rt) {}
    void Form_Load() override { ++shown; }
    int shown = 0;
};

class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() {
        // Monday 7 December 2026, 09:00:00.
        rt.setLocalTime(2026, 12, 7, 9, 0, 0);
        setenv("TARNWICK_DRIVES", (dir + "/drives").c_str(), 1);
        std::filesystem::create_directories(dir + "/drives/c");
        addFile("News1.mp3", 125.7);
        addFile("News2.mp3", 60);
        addFile("News3.mp3", 30);
        addFile("News4.mp3", 20);
        addFile("Beacon.wav", 5);
        for (Tool* t : std::initializer_list<Tool*>{&speech, &dtmf, &series, &downloader}) tools.add(*t);
        // The timers the player pauses run, as they do once their tools have loaded.
        speech.Beacon3.setEnabled(true);
        downloader.Beacon4.setEnabled(true);
    }
    ~PlayerTest() override {
        player.reset();
    }

    // A file under drive C: that the fake player can play for `seconds`.
    void addFile(const std::string& name, double seconds) {
        std::ofstream(dir + "/drives/c/" + name) << "audio";
        durations[name] = seconds;
    }

    // Writes brannock.ini before start().
    void writeIni(const std::string& body) { std::ofstream(dir + "/brannock.ini") << "[SETTINGS]\n" << body; }
    std::string readIni() {
        std::ifstream in(dir + "/brannock.ini");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // Builds and loads the player as the launcher does, then forgets what its start-up did.
    void start() {
        player = std::make_unique<Form1>(
            ctx, [this] { return std::make_unique<FakeMedia>(rt, events, durations); },
            [this](const std::string&, const std::string&) {
                ++dialogs;
                return dialogAnswer;
            });
        tools.add(*player);
        player->load();
        rt.runPending();
        events.clear();
        rt.boxes.clear();
    }

    FakeMedia& media() { return *static_cast<FakeMedia*>(player->media()); }

    // The events that start with one of the given words, in order.
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
    int count(const std::string& event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }

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
    RecordingTransport transport{host, events};
    HostHub hub{rt, transport};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, dir};

    FakeSpeech speech{ctx, events};
    FakeDtmfControl dtmf{ctx};
    FakeSeries series{ctx};
    FakeDownloader downloader{ctx};
    std::unique_ptr<Form1> player;
};

}  // namespace tarnwick::test
