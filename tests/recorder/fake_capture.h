#pragma once
// A capture source under the test's hand: devices with a mixer each, streams the test fills, and
// switches that make each step of opening a device fail.

#include <map>
#include <string>
#include <vector>

#include "recorder/capture_source.h"

namespace tarnwick::test {

// A mixer with a wave-in destination (unless told otherwise) whose source lines the test lists.
class FakeMixer : public CaptureMixer {
public:
    struct Line {
        std::string name;
        std::uint32_t type = kLineSrcMicrophone;
        int channels = 2;
        bool hasVolume = true;
        std::int32_t volume[2] = {0, 0};
    };
    std::vector<Line> lines;
    bool waveIn = true;
    int waveInIndex = 1;  // destinations before the wave-in one are playback
    bool hasSelector = true;
    std::vector<std::int32_t> selector;  // item i is line (count - 1 - i)
    std::vector<std::string> calls;

    int destinationCount() override { return waveInIndex + 1; }
    bool destination(int index, MixerLineInfo& out) override {
        if (index < 0 || index > waveInIndex) return false;
        out = {};
        out.componentType = (waveIn && index == waveInIndex) ? kLineDstWaveIn : 4;
        out.connections = static_cast<int>(lines.size());
        return true;
    }
    bool source(int dest, int index, MixerLineInfo& out) override {
        if (dest != waveInIndex || index < 0 || index >= static_cast<int>(lines.size())) return false;
        out.name = lines[static_cast<std::size_t>(index)].name;
        out.componentType = lines[static_cast<std::size_t>(index)].type;
        out.channels = lines[static_cast<std::size_t>(index)].channels;
        out.lineId = static_cast<std::uint32_t>(100 + index);
        return true;
    }
    bool selectorItems(int, int& count) override {
        if (!hasSelector) return false;
        if (selector.size() != lines.size()) selector.resize(lines.size(), 0);
        count = static_cast<int>(selector.size());
        return true;
    }
    bool readSelector(int, std::vector<std::int32_t>& values) override {
        values = selector;
        return true;
    }
    bool writeSelector(int, const std::vector<std::int32_t>& values) override {
        calls.push_back("writeSelector");
        selector = values;
        return true;
    }
    std::uint32_t volumeControl(std::uint32_t lineId) override {
        const Line& l = lines.at(lineId - 100);
        return l.hasVolume ? lineId + 1000 : 0;
    }
    bool readVolume(std::uint32_t control, int channels, std::int32_t* values) override {
        const Line& l = lines.at(control - 1100);
        for (int c = 0; c < channels; ++c) values[c] = l.volume[c];
        return true;
    }
    bool writeVolume(std::uint32_t control, int channels, const std::int32_t* values) override {
        calls.push_back("writeVolume " + std::to_string(channels));
        Line& l = lines.at(control - 1100);
        for (int c = 0; c < channels; ++c) l.volume[c] = values[c];
        return true;
    }
};

class FakeStream : public CaptureStream {
public:
    FakeStream(CaptureNotify notify, bool startOk, int prepareLimit)
        : CaptureStream(std::move(notify)), startOk_(startOk), prepareLimit_(prepareLimit) {}
    using CaptureStream::deliver;
    using CaptureStream::flushPartial;
    using CaptureStream::reportFilled;
    // One read of the device: the samples, then the filled buffers reported as the read ends.
    void read(const std::int16_t* samples, std::size_t count) {
        deliver(samples, count);
        reportFilled();
    }
    bool prepare(CaptureHeader& h) override {
        if (prepareLimit_ >= 0 && prepared_ >= prepareLimit_) return false;
        ++prepared_;
        return CaptureStream::prepare(h);
    }

protected:
    bool onStart() override { return startOk_; }
    void onStop() override {}

private:
    bool startOk_;
    int prepareLimit_;
    int prepared_ = 0;
};

class FakeCapture : public CaptureSource {
public:
    std::vector<std::string> names{"Card One", "Card Two"};
    std::map<int, FakeMixer> mixers;  // devices without an entry have no mixer
    bool openOk = true, startOk = true;
    int prepareLimit = -1;  // buffers that prepare before one fails; -1: all
    FakeStream* stream = nullptr;  // the last stream opened, while it lives
    int opens = 0;
    int lastDevice = -2, lastRate = 0, lastChannels = 0;

    int deviceCount() override { return static_cast<int>(names.size()); }
    std::string deviceName(int index) override {
        return index >= 0 && index < deviceCount() ? names[static_cast<std::size_t>(index)] : "";
    }
    std::unique_ptr<CaptureStream> open(int device, int rate, int channels, CaptureNotify notify) override {
        ++opens;
        lastDevice = device;
        lastRate = rate;
        lastChannels = channels;
        if (!openOk) return nullptr;
        auto s = std::make_unique<Tracked>(std::move(notify), startOk, prepareLimit, this);
        stream = s.get();
        return s;
    }
    std::unique_ptr<CaptureMixer> openMixer(int device) override {
        auto it = mixers.find(device);
        if (it == mixers.end()) return nullptr;
        return std::make_unique<Borrowed>(it->second);
    }

private:
    struct Tracked : FakeStream {
        Tracked(CaptureNotify n, bool ok, int limit, FakeCapture* owner)
            : FakeStream(std::move(n), ok, limit), owner(owner) {}
        ~Tracked() override {
            if (owner->stream == this) owner->stream = nullptr;
        }
        FakeCapture* owner;
    };
    // The recorder owns its mixer; the test keeps the state behind it.
    struct Borrowed : CaptureMixer {
        explicit Borrowed(FakeMixer& m) : m(m) {}
        FakeMixer& m;
        int destinationCount() override { return m.destinationCount(); }
        bool destination(int i, MixerLineInfo& o) override { return m.destination(i, o); }
        bool source(int d, int i, MixerLineInfo& o) override { return m.source(d, i, o); }
        bool selectorItems(int d, int& c) override { return m.selectorItems(d, c); }
        bool readSelector(int d, std::vector<std::int32_t>& v) override { return m.readSelector(d, v); }
        bool writeSelector(int d, const std::vector<std::int32_t>& v) override { return m.writeSelector(d, v); }
        std::uint32_t volumeControl(std::uint32_t id) override { return m.volumeControl(id); }
        bool readVolume(std::uint32_t c, int n, std::int32_t* v) override { return m.readVolume(c, n, v); }
        bool writeVolume(std::uint32_t c, int n, const std::int32_t* v) override { return m.writeVolume(c, n, v); }
    };
};

}  // namespace tarnwick::test
