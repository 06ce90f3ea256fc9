// The capture backends end to end through the recorder: a source fed from a WAV file on virtual
// time, and ALSA against its file plugin in a configuration written here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/alsa/alsa_capture.h"
#include "platform/sndfile/file_capture.h"
#include "recorder/wave_in_recorder.h"
#include "runtime/virtual_runtime.h"
#include "support/temp_dir.h"
#include "support/wav.h"

namespace tarnwick::test {
namespace {

using testing::ramp;
using testing::writeWav;

struct Received {
    std::vector<std::int16_t> samples;
    std::vector<std::int32_t> lengths;
    std::vector<std::int64_t> times;
};

void collect(WaveInRecorder& rec, Runtime& rt, Received& r) {
    rec.GotData = [&r, &rt](std::vector<std::int16_t>& b, std::int32_t& n) {
        r.samples.insert(r.samples.end(), b.begin(), b.begin() + n / 2);
        r.lengths.push_back(n);
        r.times.push_back(rt.monotonicMs());
    };
}

// A device configuration in which a file PCM reads `sound` (written into dir as raw samples) through
// the null device.
std::string fileDeviceConfig(testing::TempDir& dir, const std::string& name, const std::vector<std::int16_t>& sound) {
    std::ofstream raw(dir.file("in.raw"), std::ios::binary);
    raw.write(reinterpret_cast<const char*>(sound.data()), static_cast<std::streamsize>(sound.size() * 2));
    return "pcm." + name + " {\n type file\n slave { pcm { type null } }\n file \"/dev/null\"\n infile \"" +
           dir.file("in.raw") + "\"\n format \"raw\"\n}\n";
}

// Records 8 kHz stereo from the selected device in buffers of 1024 bytes until `count` samples came,
// at most two seconds.
Received recordSamples(WaveInRecorder& rec, VirtualRuntime& rt, std::size_t count) {
    Received r;
    collect(rec, rt, r);
    rec.setBufferSize(1024);
    EXPECT_TRUE(rec.StartRecord(8000, 2));
    for (int i = 0; i < 200 && r.samples.size() < count; ++i) rt.advance(10);
    EXPECT_TRUE(rec.StopRecord());
    rec.GotData = nullptr;
    return r;
}

TEST(FileCapture, HandsOutTheFileBufferByBufferOnTheClockThenFallsSilent) {
    testing::TempDir dir;
    const auto sound = ramp(44100 * 2);  // one second of stereo
    writeWav(dir.file("one.wav"), sound, 44100, 2);
    VirtualRuntime rt;
    WindowSystem windows(rt);
    FileCaptureSource source(rt, {dir.file("one.wav"), dir.file("missing.wav")});
    WaveInRecorder rec(source, windows, rt);
    EXPECT_EQ(rec.DeviceCount(), 2);
    EXPECT_EQ(rec.DeviceName(0), "one.wav");
    ASSERT_TRUE(rec.SelectDevice(0));
    EXPECT_EQ(rec.MixerLineCount(), 0);
    Received r;
    collect(rec, rt, r);
    ASSERT_TRUE(rec.StartRecord(44100, 2));
    rt.advance(57);
    EXPECT_TRUE(r.lengths.empty());  // a buffer holds 58 ms
    rt.advance(2000);
    EXPECT_EQ(r.samples, sound);
    ASSERT_EQ(r.lengths.size(), 18u);  // 17 full buffers and what was left
    EXPECT_EQ(r.lengths[0], 10240);
    EXPECT_EQ(r.lengths.back(), static_cast<std::int32_t>(44100 * 4 - 17 * 10240));
    EXPECT_NEAR(static_cast<double>(r.times[9]), 10 * 58.05, 12);
    EXPECT_TRUE(rec.StopRecord());

    // The file's rate is the device's only one; a missing file opens nothing.
    EXPECT_FALSE(rec.StartRecord(22050, 2));
    ASSERT_TRUE(rec.SelectDevice(1));
    EXPECT_FALSE(rec.StartRecord(44100, 2));
}

// A file stands in for a card in tests: an owner held up longer than its buffers last (a busy
// machine) gets the rest of the file late, never loses it.
TEST(FileCapture, AnOwnerHeldUpPastItsBuffersLosesNoSound) {
    testing::TempDir dir;
    const auto sound = ramp(44100 * 2);
    writeWav(dir.file("one.wav"), sound, 44100, 2);
    VirtualRuntime rt;
    WindowSystem windows(rt);
    FileCaptureSource source(rt, {dir.file("one.wav")});
    WaveInRecorder rec(source, windows, rt);
    ASSERT_TRUE(rec.SelectDevice(0));
    Received r;
    collect(rec, rt, r);
    ASSERT_TRUE(rec.StartRecord(44100, 2));
    rt.advance(100);
    rt.blockingDelay(700);  // five buffers last 290 ms
    rt.advance(2000);
    EXPECT_TRUE(r.samples == sound) << r.samples.size() << " of " << sound.size() << " samples";
    EXPECT_TRUE(rec.StopRecord());
}

TEST(FileCapture, MonoFilesRecordAsStereoAndStereoFilesAsMono) {
    testing::TempDir dir;
    writeWav(dir.file("mono.wav"), {100, 200, 300, 400}, 8000, 1);
    writeWav(dir.file("stereo.wav"), {100, 300, -5, 6}, 8000, 2);
    VirtualRuntime rt;
    WindowSystem windows(rt);
    FileCaptureSource source(rt, {dir.file("mono.wav"), dir.file("stereo.wav")});
    WaveInRecorder rec(source, windows, rt);
    Received r;
    collect(rec, rt, r);
    ASSERT_TRUE(rec.SelectDevice(0));
    ASSERT_TRUE(rec.StartRecord(8000, 2));
    rt.advance(1000);
    rec.StopRecord();
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{100, 100, 200, 200, 300, 300, 400, 400}));
    r = {};
    ASSERT_TRUE(rec.SelectDevice(1));
    ASSERT_TRUE(rec.StartRecord(8000, 1));
    rt.advance(1000);
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{200, 0}));
}

TEST(AlsaCapture, RecordsWhatTheFilePluginReadsAndFailsCleanlyWithoutACard) {
    testing::TempDir dir;
    const auto sound = ramp(8000);  // half a second of 8 kHz stereo
    const std::string config = fileDeviceConfig(dir, "tarnwick_test", sound);
    VirtualRuntime rt;
    WindowSystem windows(rt);
    AlsaCaptureSource source(rt, {{"Test capture through the file plugin", "tarnwick_test", "", config}},
                             "tarnwick_no_such_device");
    WaveInRecorder rec(source, windows, rt);
    EXPECT_EQ(rec.DeviceName(0), "Test capture through the file p");
    // The default device does not exist here: the start fails and leaves nothing running.
    EXPECT_FALSE(rec.StartRecord(8000, 2));
    EXPECT_FALSE(rec.IsRecording());

    ASSERT_TRUE(rec.SelectDevice(0));
    EXPECT_EQ(rec.MixerLineCount(), 0);
    EXPECT_EQ(rec.MixerLineVolume(), 0);
    const Received r = recordSamples(rec, rt, sound.size());
    ASSERT_GE(r.samples.size(), sound.size());
    std::size_t firstDiff = sound.size();
    for (std::size_t i = 0; i < sound.size(); ++i)
        if (r.samples[i] != sound[i]) {
            firstDiff = i;
            break;
        }
    EXPECT_EQ(firstDiff, sound.size()) << r.samples[firstDiff] << " " << r.samples.size();
    for (std::int32_t n : r.lengths) EXPECT_EQ(n, 1024);

    // Without a sound card the system's own default device is listed first all the same; it opens no
    // capture, and the start fails cleanly.
    if (AlsaCaptureSource::cardDevices().empty()) {
        AlsaCaptureSource none(rt);
        WaveInRecorder plain(none, windows, rt);
        ASSERT_GE(plain.DeviceCount(), 1);
        EXPECT_EQ(plain.DeviceName(0), "default");
        ASSERT_TRUE(plain.SelectDevice(0));
        EXPECT_FALSE(plain.StartRecord(44100, 2));
        EXPECT_FALSE(plain.IsRecording());
    }
}

// A device that keeps no time (a file read through the null device) is read at the recording's rate
// by the clock, not as fast as the loop can take it.
TEST(AlsaCapture, ADeviceThatKeepsNoTimeIsReadAtTheRecordingsRate) {
    testing::TempDir dir;
    const auto sound = ramp(8000 * 2 * 3);  // three seconds of 8 kHz stereo
    const std::string config = fileDeviceConfig(dir, "tarnwick_test", sound);
    VirtualRuntime rt;
    WindowSystem windows(rt);
    AlsaCaptureSource source(rt, {{"Test capture through the file plugin", "tarnwick_test", "", config}});
    WaveInRecorder rec(source, windows, rt);
    ASSERT_TRUE(rec.SelectDevice(0));
    Received r;
    collect(rec, rt, r);
    rec.setBufferSize(1024);
    ASSERT_TRUE(rec.StartRecord(8000, 2));
    // The loop comes round every 10 ms, as a busy one would.
    auto run = [&](int ms) {
        for (int t = 0; t < ms; t += 10) rt.advance(10);
    };
    run(1000);
    const double first = r.samples.size() / 16000.0;
    EXPECT_GE(first, 0.8);
    EXPECT_LE(first, 1.4) << "seconds of sound after one second";
    run(1000);
    const double second = r.samples.size() / 16000.0 - first;
    EXPECT_NEAR(second, 1.0, 0.15) << "seconds of sound in the next second";
    ASSERT_TRUE(rec.StopRecord());
    ASSERT_LE(r.samples.size(), sound.size());
    EXPECT_TRUE(std::equal(r.samples.begin(), r.samples.end(), sound.begin()));
}

// Descriptors this process holds open on a file.
int openDescriptorsOn(const std::string& path) {
    int n = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(fd.path(), ec) == path) ++n;
    }
    return n;
}

// A recording stopped from the buffer its device has just given (a full disk) gives the sound card
// or file back at once, though the device is inside its read until the report is over.
TEST(CaptureDevices, AStopFromAReportedBufferGivesTheDeviceBackAtOnce) {
    testing::TempDir dir;
    const auto sound = ramp(8000 * 2);
    writeWav(dir.file("one.wav"), sound, 8000, 2);
    const std::string config = fileDeviceConfig(dir, "tarnwick_test", sound);
    for (bool alsa : {false, true}) {
        SCOPED_TRACE(alsa ? "ALSA file plugin" : "file capture");
        VirtualRuntime rt;
        WindowSystem windows(rt);
        std::unique_ptr<CaptureSource> source;
        if (alsa)
            source = std::make_unique<AlsaCaptureSource>(
                rt, std::vector<AlsaCaptureDevice>{{"Test capture", "tarnwick_test", "", config}});
        else
            source = std::make_unique<FileCaptureSource>(rt, std::vector<std::string>{dir.file("one.wav")});
        const std::string input = alsa ? dir.file("in.raw") : dir.file("one.wav");
        WaveInRecorder rec(*source, windows, rt);
        ASSERT_TRUE(rec.SelectDevice(0));
        rec.setBufferSize(1024);
        int buffers = 0;
        rec.GotData = [&](std::vector<std::int16_t>&, std::int32_t&) {
            ++buffers;
            rec.StopRecord();
        };
        ASSERT_TRUE(rec.StartRecord(8000, 2));
        EXPECT_EQ(openDescriptorsOn(input), 1);
        for (int i = 0; i < 100 && buffers == 0; ++i) rt.advance(10);
        EXPECT_EQ(buffers, 1);
        EXPECT_FALSE(rec.IsRecording());
        EXPECT_EQ(openDescriptorsOn(input), 0) << "the stopped device still holds its input";
    }
}

// The devices the system offers, in a configuration of the operator's own: its default device first
// (here a file PCM, so a machine without a card records), then the PCMs it names with a description,
// then the cards' devices; a PCM without a description is not offered, nor one that only plays.
TEST(AlsaCapture, ListsTheDefaultDeviceThenDescribedPcmsAndRecordsFromTheDefault) {
    testing::TempDir dir;
    const auto sound = ramp(8000);
    std::ofstream(dir.file("asound.conf"))
        << fileDeviceConfig(dir, "!default", sound)
        << "pcm.tarnwick_described {\n type null\n hint { show on\n description \"Described capture\" }\n}\n"
        << "pcm.tarnwick_undescribed {\n type null\n}\n"
        << "namehint.pcm {\n plays \"tarnwick_plays|Plays only|IOIDOutput\"\n"
           " records \"tarnwick_records|Records only|IOIDInput\"\n}\n";
    struct ConfigPath {
        explicit ConfigPath(const std::string& path) { setenv("ALSA_CONFIG_PATH", path.c_str(), 1); }
        ~ConfigPath() { unsetenv("ALSA_CONFIG_PATH"); }
    } config(dir.file("asound.conf"));

    const auto devices = AlsaCaptureSource::systemDevices();
    std::vector<std::string> names;
    for (const auto& d : devices) names.push_back(d.pcm);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "default");
    EXPECT_EQ(names[1], "tarnwick_described");
    EXPECT_EQ(std::count(names.begin(), names.end(), "tarnwick_undescribed"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "tarnwick_plays"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "tarnwick_records"), 1);
    EXPECT_EQ(names.size(), 3 + AlsaCaptureSource::cardDevices().size());

    VirtualRuntime rt;
    WindowSystem windows(rt);
    AlsaCaptureSource source(rt);
    WaveInRecorder rec(source, windows, rt);
    EXPECT_EQ(rec.DeviceName(0), "default");
    EXPECT_EQ(rec.DeviceName(1), "tarnwick_described");
    ASSERT_TRUE(rec.SelectDevice(0));
    EXPECT_EQ(rec.MixerLineCount(), 0);
    const Received r = recordSamples(rec, rt, sound.size());
    ASSERT_GE(r.samples.size(), sound.size());
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), r.samples.begin()));
}

}  // namespace
}  // namespace tarnwick::test
