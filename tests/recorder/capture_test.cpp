#include <gtest/gtest.h>

#include <numeric>

#include "recorder/fake_capture.h"
#include "recorder/wave_in_recorder.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick::test {
namespace {

// A recorder on a fake card: device 0 has a mixer with three lines, device 1 none.
struct Rig {
    explicit Rig(int maxWindows = 10000) : windows(rt, maxWindows) {
        FakeMixer m;
        m.lines = {{"Microphone"}, {"Line In", kLineSrcLine}, {"CD Audio", kLineSrcCompactDisc}};
        m.lines[0].volume[0] = 1000;
        m.lines[0].volume[1] = 2000;
        m.lines[1].hasVolume = false;
        cap.mixers[0] = m;
        rec.GotData = [this](std::vector<std::int16_t>& b, std::int32_t& n) {
            EXPECT_EQ(b.size(), static_cast<std::size_t>(rec.BufferSize() / 2));
            got.emplace_back(b[0], n);
        };
    }
    VirtualRuntime rt;
    WindowSystem windows;
    FakeCapture cap;
    WaveInRecorder rec{cap, windows, rt};
    std::vector<std::pair<std::int16_t, std::int32_t>> got;  // first sample, bytes

    // n samples counting up from `from`, captured now in one read of the device.
    void capture(int n, int from = 1) {
        std::vector<std::int16_t> s(static_cast<std::size_t>(n));
        std::iota(s.begin(), s.end(), static_cast<std::int16_t>(from));
        ASSERT_NE(cap.stream, nullptr);
        cap.stream->read(s.data(), s.size());
    }
};

struct Capture : Rig, ::testing::Test {};

TEST_F(Capture, DevicesAndDefaults) {
    EXPECT_EQ(rec.BufferSize(), 10240);
    EXPECT_EQ(rec.BufferCount(), 5);
    EXPECT_EQ(rec.SelectedDevice(), -1);
    cap.names = {"Card One", std::string(40, 'x')};
    EXPECT_EQ(rec.DeviceCount(), 2);
    EXPECT_EQ(rec.DeviceName(0), "Card One");
    EXPECT_EQ(rec.DeviceName(1), std::string(31, 'x'));
    EXPECT_EQ(rec.DeviceName(2), "");
    EXPECT_EQ(rec.DeviceName(-1), "");
    // Without a device nothing of a mixer answers.
    EXPECT_EQ(rec.MixerLineCount(), 0);
    EXPECT_EQ(rec.MixerLineName(0), "");
    EXPECT_FALSE(rec.SelectMixerLine(0));
    EXPECT_EQ(rec.MixerLineType(-1), 0);
    EXPECT_EQ(rec.MixerLineVolume(), 0);
    rec.setMixerLineVolume(5);

    ASSERT_TRUE(rec.SelectDevice(0));
    EXPECT_FALSE(rec.SelectDevice(2));
    EXPECT_FALSE(rec.SelectDevice(-1));
    EXPECT_EQ(rec.SelectedDevice(), 0);
    EXPECT_FALSE(rec.SelectDevice(1));  // no mixer: no device at all
    EXPECT_EQ(rec.SelectedDevice(), -1);
}

TEST_F(Capture, LinesAreSelectedThroughTheReversedSelector) {
    ASSERT_TRUE(rec.SelectDevice(0));
    FakeMixer& m = cap.mixers[0];
    EXPECT_EQ(rec.MixerLineCount(), 3);
    EXPECT_EQ(rec.MixerLineName(1), "Line In");
    EXPECT_EQ(rec.MixerLineName(3), "");
    // Nothing switched on reads as item 0: the last line.
    EXPECT_EQ(rec.SelectedMixerLine(), 2);
    ASSERT_TRUE(rec.SelectMixerLine(0));
    EXPECT_EQ(m.selector, (std::vector<std::int32_t>{0, 0, 1}));
    EXPECT_EQ(rec.SelectedMixerLine(), 0);
    EXPECT_EQ(rec.MixerLineType(-1), static_cast<std::int32_t>(kLineSrcMicrophone));
    ASSERT_TRUE(rec.SelectMixerLine(2));
    EXPECT_EQ(m.selector, (std::vector<std::int32_t>{1, 0, 0}));
    EXPECT_EQ(rec.SelectedMixerLine(), 2);
    EXPECT_EQ(rec.MixerLineType(1), static_cast<std::int32_t>(kLineSrcLine));
    // A line the device does not have changes nothing.
    m.calls.clear();
    EXPECT_FALSE(rec.SelectMixerLine(3));
    EXPECT_FALSE(rec.SelectMixerLine(-1));
    EXPECT_TRUE(m.calls.empty());
    EXPECT_EQ(rec.SelectedMixerLine(), 2);

    m.hasSelector = false;
    EXPECT_FALSE(rec.SelectMixerLine(0));
    m.hasSelector = true;
    m.waveIn = false;
    EXPECT_EQ(rec.MixerLineCount(), 0);
    EXPECT_FALSE(rec.SelectMixerLine(0));
}

TEST_F(Capture, VolumeReadsTheFirstChannelAndSetsEvery) {
    ASSERT_TRUE(rec.SelectDevice(0));
    FakeMixer& m = cap.mixers[0];
    ASSERT_TRUE(rec.SelectMixerLine(0));
    EXPECT_EQ(rec.MixerLineVolume(), 1000);
    rec.setMixerLineVolume(40000);
    EXPECT_EQ(m.lines[0].volume[0], 40000);
    EXPECT_EQ(m.lines[0].volume[1], 40000);
    m.lines[0].channels = 1;
    rec.setMixerLineVolume(7);
    EXPECT_EQ(m.calls.back(), "writeVolume 1");
    // A line without a volume control reads 0 and takes no write.
    ASSERT_TRUE(rec.SelectMixerLine(1));
    m.calls.clear();
    EXPECT_EQ(rec.MixerLineVolume(), 0);
    rec.setMixerLineVolume(100);
    EXPECT_TRUE(m.calls.empty());
}

TEST_F(Capture, FilledBuffersComeBackThroughGotDataAndAreQueuedAgain) {
    rec.setBufferSize(8);  // four samples
    rec.setBufferCount(2);
    ASSERT_TRUE(rec.StartRecord(8000, 2));
    EXPECT_TRUE(rec.IsRecording());
    EXPECT_EQ(cap.lastDevice, -1);  // no choice: the default device
    EXPECT_EQ(cap.lastRate, 8000);
    EXPECT_EQ(cap.lastChannels, 2);
    EXPECT_EQ(cap.stream->queuedCount(), 2u);
    // A read that fills both buffers; two samples are lost with none queued. The buffers come back
    // as the read ends, not from the middle of it...
    std::vector<std::int16_t> ten(10);
    std::iota(ten.begin(), ten.end(), std::int16_t{1});
    cap.stream->deliver(ten.data(), ten.size());
    EXPECT_EQ(cap.stream->queuedCount(), 0u);
    EXPECT_TRUE(got.empty());
    // ...and are taken there and then, in the same turn of the loop, and queued again.
    cap.stream->reportFilled();
    EXPECT_EQ(got, (std::vector<std::pair<std::int16_t, std::int32_t>>{{1, 8}, {5, 8}}));
    EXPECT_EQ(cap.stream->queuedCount(), 2u);
    capture(2, 20);
    cap.stream->flushPartial();  // a partly filled buffer
    cap.stream->reportFilled();
    EXPECT_EQ(got.back(), (std::pair<std::int16_t, std::int32_t>{20, 4}));

    // The stop gives every buffer back, and none of them reaches GotData.
    capture(3, 30);
    ASSERT_TRUE(rec.StopRecord());
    EXPECT_FALSE(rec.IsRecording());
    rt.runPending();
    EXPECT_EQ(got.size(), 3u);
    EXPECT_TRUE(rt.boxes.empty());
    // Each recording leaves its hidden window behind.
    ASSERT_TRUE(rec.StartRecord(8000, 1));
    ASSERT_TRUE(rec.StopRecord());
    EXPECT_EQ(windows.windowCount(), 2u);
    EXPECT_TRUE(rec.StopRecord());  // not recording: still true
}

TEST_F(Capture, EveryFailedStartUndoesItsWork) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
        int opens;
        int maxWindows = 10000;
    };
    const std::vector<Case> cases = {
        {"device refuses the format", [](Rig& c) { c.cap.openOk = false; }, 1},
        {"third buffer cannot be prepared", [](Rig& c) { c.cap.prepareLimit = 2; }, 1},
        {"device does not start", [](Rig& c) { c.cap.startOk = false; }, 1},
        {"no window for the notifications", [](Rig&) {}, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Rig c(k.maxWindows);
        k.arrange(c);
        EXPECT_FALSE(c.rec.StartRecord(44100, 2));
        EXPECT_FALSE(c.rec.IsRecording());
        EXPECT_EQ(c.cap.opens, k.opens);
        EXPECT_EQ(c.cap.stream, nullptr);  // opened and closed again
        EXPECT_EQ(c.rec.notifyWindow(), 0);
        if (!k.opens) {
            ASSERT_EQ(c.rt.boxes.size(), 1u);
            EXPECT_EQ(c.rt.boxes[0].title + ": " + c.rt.boxes[0].text,
                      "Error in WaveInRecorder.sc_Subclass: Invalid window handle.");
        }
        c.rt.runPending();
        EXPECT_TRUE(c.got.empty());
        // A later start works as if nothing had happened.
        c.cap.openOk = c.cap.startOk = true;
        c.cap.prepareLimit = -1;
        if (k.opens) {
            EXPECT_TRUE(c.rec.StartRecord(44100, 2));
            EXPECT_TRUE(c.rec.StopRecord());
        }
    }
}

// A stop from inside GotData ends the delivery at once. The device is still inside the read that
// reported the buffer, so it is closed but kept, even while a box opened from GotData runs the loop
// one deeper; the next recording finds it gone.
TEST_F(Capture, StopFromInsideGotDataEndsDeliveryAtOnce) {
    rec.setBufferSize(4);
    rec.setBufferCount(3);
    ASSERT_TRUE(rec.StartRecord(8000, 1));
    FakeStream* reading = cap.stream;
    bool aliveAfterBox = false;
    rt.whileBoxOpen = [this](const RecordedBox&) {
        rt.runPending();
        rt.advance(100);
    };
    rec.GotData = [&](std::vector<std::int16_t>& b, std::int32_t& n) {
        got.emplace_back(b[0], n);
        rec.StopRecord();
        rt.messageBox("Tarnwick", "Write error (no disk space left?)!");
        aliveAfterBox = cap.stream == reading;
    };
    capture(6, 1);
    EXPECT_EQ(got.size(), 1u);
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_TRUE(aliveAfterBox) << "the device went while its read was under way";
    ASSERT_EQ(cap.stream, reading);
    EXPECT_FALSE(reading->running());
    EXPECT_EQ(reading->queuedCount(), 0u);
    rt.runPending();
    EXPECT_EQ(got.size(), 1u);
    rec.GotData = [this](std::vector<std::int16_t>& b, std::int32_t& n) { got.emplace_back(b[0], n); };
    ASSERT_TRUE(rec.StartRecord(8000, 1));
    EXPECT_EQ(cap.stream->queuedCount(), 3u);
    EXPECT_EQ(cap.opens, 2);
}

}  // namespace
}  // namespace tarnwick::test
