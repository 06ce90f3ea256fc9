#pragma once
// The recorder window on virtual time: an in-process host, a capture fed from WAV files the test
// writes, a format chooser and dialogs that answer at once, and a player that only notes its calls.

#include <gtest/gtest.h>

#include <fstream>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "platform/sndfile/file_capture.h"
#include "recorder/recorder.h"
#include "runtime/virtual_runtime.h"
#include "support/temp_dir.h"
#include "support/wav.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

using testing::ramp;
using testing::writeWav;

// A player that renders any file of one second and notes what it was asked.
class NotingPlayer : public MediaPlayer {
public:
    explicit NotingPlayer(std::vector<std::string>& calls) : calls_(calls) {}
    bool render(const std::string&, std::string&) override {
        calls_.push_back("render");
        loaded_ = true;
        return true;
    }
    bool loaded() const override { return loaded_; }
    void run() override { calls_.push_back("run"); }
    void pause() override {}
    void stop() override { calls_.push_back("stop"); }
    double position() override { return 0.4; }
    void setPosition(double s) override { calls_.push_back("position " + std::to_string(static_cast<int>(s))); }
    double duration() override { return 61.6; }
    void setVolume(int) override {}
    int volume() const override { return 0; }
    bool ended(std::string*) override { return false; }
    void release() override {
        calls_.push_back("release");
        loaded_ = false;
    }

private:
    std::vector<std::string>& calls_;
    bool loaded_ = false;
};

struct RecorderRig {
    // Each file is one capture device.
    explicit RecorderRig(std::vector<std::string> captureFiles = {}, CaptureSourceFactory capture = {},
                         CodecLibraries codecs = {})
        : host(rt, "N0CALL-L"), hub(rt, host), ctx{rt, hub, registry, dir.path()} {
        hub.afterClosing = [this] { rt.endProcess(0); };
        RecorderBackends b;
        b.codecs = std::move(codecs);
        b.capture = capture ? capture : [files = std::move(captureFiles)](Runtime& r) {
            return std::make_unique<FileCaptureSource>(r, files);
        };
        b.mediaPlayer = [this] { return std::make_unique<NotingPlayer>(player); };
        b.openFile = [this](const std::string& filter, const std::string&) {
            dialogs.push_back("open " + filter);
            return openAnswer;
        };
        b.outputFile = [this](const std::string& filter, const std::string&) {
            dialogs.push_back("output " + filter);
            return outputAnswer;
        };
        b.formatChooser = [this](const std::vector<FormatChoice>& choices, int current, const std::string& title,
                                 const Window* owner) {
            dialogs.push_back(title + (owner == form.get() ? " over Form11" : ""));
            if (chooserAnswer == kSourcePcm)
                for (std::size_t i = 0; i < choices.size(); ++i) {
                    const WaveFormat& f = choices[i].format;
                    if (f.formatTag == wave_tags::kPcm && f.bitsPerSample == 16 &&
                        f.samplesPerSec == static_cast<std::uint32_t>(form->effects() ? lastRate() : 0) &&
                        f.channels == (form->chkStereo.ticked() ? 2 : 1))
                        return static_cast<int>(i);
                }
            return chooserAnswer < 0 ? -1 : (chooserAnswer < static_cast<int>(choices.size()) ? chooserAnswer : current);
        };
        form = std::make_unique<Form11>(ctx, std::move(b));
        registry.add(*form);
        form->load();
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& b : rt.boxes) out.push_back(b.text);
        return out;
    }
    std::vector<std::string> hostCalls(const std::string& op) {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls(op)) {
            std::string a = e.link + " " + e.op;
            for (const auto& v : e.args)
                if (auto* b = std::get_if<bool>(&v)) a += *b ? " true" : " false";
            out.push_back(a);
        }
        return out;
    }
    // The rate in the window's rate box.
    std::uint32_t lastRate() const { return static_cast<std::uint32_t>(std::atoi(form->cboSamplerate.text().c_str())); }
    // Makes the window's target 16-bit PCM of its rate box and channels, as the chooser offers it.
    void chooseSourcePcm() {
        chooserAnswer = kSourcePcm;
        form->cmdSelFmt.click();
        chooserAnswer = -1;
    }
    std::string read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testing::TempDir dir;
    VirtualRuntime rt;
    LocalHostTransport host;
    HostHub hub;
    ToolRegistry registry;
    ToolContext ctx;
    std::vector<std::string> player, dialogs;
    std::string openAnswer, outputAnswer;
    static constexpr int kSourcePcm = -2;
    int chooserAnswer = -1;  // -1: cancel; kSourcePcm: the PCM of the window's rate and channels
    std::unique_ptr<Form11> form;
};

}  // namespace tarnwick::test
