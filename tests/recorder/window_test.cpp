#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "recorder/display_text.h"
#include "recorder/dsp/dsp.h"
#include "recorder/encoder_wav.h"
#include "recorder/fake_capture.h"
#include "recorder/recorder_fixture.h"
#include "recorder/wave_in_recorder.h"
#include "platform/soxr/soxr_rate_converter.h"

namespace tarnwick::test {
namespace {

std::uint32_t le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// A window with one second of 44.1 kHz stereo on its first device, recording into out.wav.
struct Recording : ::testing::Test {
    Recording() : sound(ramp(44100 * 2)), rig({[this] {
                                               writeWav(tmp.file("one.wav"), sound, 44100, 2);
                                               return tmp.file("one.wav");
                                           }(),
                                           tmp.file("missing.wav")}) {}
    void chooseDeviceAndFile() {
        rig.form->cboDev.setListIndex(0);
        rig.form->txtFile.setText(rig.dir.file("out.wav"));
    }
    testing::TempDir tmp;
    std::vector<std::int16_t> sound;
    RecorderRig rig;
};

TEST_F(Recording, StartsWithItsDefaults) {
    Form11& f = *rig.form;
    EXPECT_EQ(f.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   Sound Recorder");
    EXPECT_EQ(f.cboDev.items(), (std::vector<std::string>{"one.wav", "missing.wav"}));
    EXPECT_EQ(f.cboDev.listIndex(), -1);
    EXPECT_EQ(f.cboSamplerate.text(), "44100");
    EXPECT_EQ(f.cboSamplerate.items(), (std::vector<std::string>{"44100", "22050", "11025", "8000"}));
    EXPECT_TRUE(f.chkStereo.ticked());
    EXPECT_EQ(f.txtWAVFmt.text(), f.encoder()->FormatTag() + " - " + f.encoder()->FormatID());
    EXPECT_EQ(f.txtWAVFmt.text(), "PCM - 44.1 kHz 16 Bit Stereo");
    EXPECT_EQ(f.effects()->samplerate(), 44100);
    EXPECT_EQ(f.effects()->Channels(), 2);
    EXPECT_EQ(f.sampleBlock().size(), 1024u);
    EXPECT_EQ(f.cmdDo.caption(), "Record");
    EXPECT_FALSE(f.sldVol.enabled());
    EXPECT_TRUE(rig.dialogs.empty());  // set-up opens no chooser
    EXPECT_TRUE(rig.rt.boxes.empty());
    EXPECT_TRUE(rig.hostCalls("SetPTT").empty());
}

TEST_F(Recording, OneSecondOfStereoMakesTheExactFile) {
    Form11& f = *rig.form;
    chooseDeviceAndFile();
    f.cmdDo.click();
    ASSERT_TRUE(f.IsRecording()) << ::testing::PrintToString(rig.boxes());
    EXPECT_EQ(f.cmdDo.caption(), "Stop recording");
    EXPECT_FALSE(f.cboDev.enabled());
    EXPECT_FALSE(f.txtFile.enabled());
    EXPECT_FALSE(f.cboSamplerate.enabled());
    EXPECT_TRUE(f.chkFX2.enabled());
    rig.rt.advance(600);
    // The status line follows the file as it grows.
    const auto shownSize = [&] { return "Filesize: " + FormatFileSize(std::filesystem::file_size(rig.dir.file("out.wav"))); };
    EXPECT_NE(f.sbarPanel1.text(), "Filesize: 0 Bytes");
    EXPECT_EQ(f.sbarPanel1.text(), shownSize());
    EXPECT_EQ(f.sbarPanel2.text(), "Length: 0:01");  // ten buffers: 580 ms
    rig.rt.advance(300);
    EXPECT_EQ(f.sbarPanel1.text(), shownSize());
    rig.rt.advance(700);
    EXPECT_EQ(f.recordedLength(), 17 * 58 + 13);  // every buffer's share rounded on its own
    f.cmdDo.click();
    EXPECT_FALSE(f.IsRecording());
    EXPECT_EQ(f.cmdDo.caption(), "Start recording");
    EXPECT_TRUE(f.cboDev.enabled());
    EXPECT_EQ(f.sbarPanel1.text(), "Filesize: 0 Bytes");
    EXPECT_EQ(f.sbarPanel2.text(), "Length: 0:00");

    const std::string file = rig.read(rig.dir.file("out.wav"));
    ASSERT_EQ(file.size(), 176446u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(file, 4), 176438u);
    EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(file, 16), 18u);
    const std::string fmt = file.substr(20, 18);
    EXPECT_EQ(fmt, std::string("\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00\x00\x00", 18));
    EXPECT_EQ(file.substr(38, 4), "data");
    EXPECT_EQ(le32(file, 42), 176400u);
    EXPECT_EQ(file.substr(46), std::string(reinterpret_cast<const char*>(sound.data()), sound.size() * 2));
    EXPECT_TRUE(rig.rt.boxes.empty());
}

TEST_F(Recording, StartChecksComeInOrderAndFailuresLeaveTheWindowIdle) {
    Form11& f = *rig.form;
    f.cmdDo.click();
    f.txtFile.setText(rig.dir.file("out.wav"));
    f.cmdDo.click();
    EXPECT_EQ(rig.boxes(), (std::vector<std::string>{"Output file missing!", "No Sound Card Selected!"}));
    EXPECT_EQ(rig.rt.boxes[0].title, "Tarnwick");
    EXPECT_EQ(rig.rt.boxes[0].icon, MsgIcon::Exclamation);

    f.cboDev.setListIndex(0);
    rig.rt.boxes.clear();
    for (const char* rate : {"0", ""}) {
        f.cboSamplerate.setText(rate);
        f.cmdDo.click();
    }
    EXPECT_EQ(rig.boxes(), (std::vector<std::string>{"Could not init the encoder!", "Could not init the encoder!"}));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("out.wav")));
    f.txtFile.setText(rig.dir.file("no/such/folder/out.wav"));
    f.cboSamplerate.setText("44100");
    rig.rt.boxes.clear();
    f.cmdDo.click();
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Could not init the encoder!"});

    // The second device cannot open (its file is missing): the start fails and leaves an empty WAV file.
    f.txtFile.setText(rig.dir.file("out.wav"));
    f.cboDev.setListIndex(1);
    rig.rt.boxes.clear();
    f.cmdDo.click();
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Could not start recording!"});
    EXPECT_EQ(rig.read(rig.dir.file("out.wav")).size(), 46u);
    EXPECT_EQ(f.cmdDo.caption(), "Record");
    EXPECT_TRUE(f.cboDev.enabled());
    EXPECT_FALSE(f.encoder()->isOpen());
}

TEST_F(Recording, ClosingTheWindowFinishesTheFileAndEndsTheProgram) {
    Form11& f = *rig.form;
    chooseDeviceAndFile();
    f.cmdDo.click();
    rig.rt.advance(300);
    ASSERT_TRUE(f.onCloseRequest());
    EXPECT_TRUE(rig.rt.processEnded());
    EXPECT_FALSE(f.IsRecording());
    const std::string file = rig.read(rig.dir.file("out.wav"));
    ASSERT_GT(file.size(), 46u);
    EXPECT_EQ(le32(file, 4), file.size() - 8);
    EXPECT_EQ(le32(file, 42), file.size() - 46);
    EXPECT_EQ(rig.hostCalls("SetPTT"), std::vector<std::string>{"Form11 SetPTT false"});
    EXPECT_EQ(rig.hostCalls("SetBusy"), std::vector<std::string>{"Form11 SetBusy false"});
    EXPECT_TRUE(rig.rt.boxes.empty());
}

TEST_F(Recording, FinishingAtTheProgramsEndLeavesACompleteFile) {
    Form11& f = *rig.form;
    chooseDeviceAndFile();
    f.cmdDo.click();
    rig.rt.advance(200);
    f.FinishRecording();
    f.FinishRecording();
    const std::string file = rig.read(rig.dir.file("out.wav"));
    EXPECT_EQ(le32(file, 42), file.size() - 46);
    EXPECT_GT(file.size(), 46u);
}

TEST_F(Recording, RateBoxTakesFiveDigitsAndListChoicesOpenTheChooser) {
    Form11& f = *rig.form;
    f.cboSamplerate.setText("4410");
    f.cboSamplerate.setText("44100");
    f.cboSamplerate.setText("441000");  // a sixth digit
    EXPECT_EQ(f.cboSamplerate.text(), "44100");
    f.cboSamplerate.setText("4410x");
    EXPECT_EQ(f.cboSamplerate.text(), "44100");
    f.cboSamplerate.setText("4410");  // backspace
    EXPECT_EQ(f.cboSamplerate.text(), "4410");
    f.cboSamplerate.setText("22050");  // typed: nothing opens
    EXPECT_TRUE(rig.dialogs.empty());
    EXPECT_EQ(f.effects()->samplerate(), 44100);

    f.cboSamplerate.setListIndex(3);  // chosen from the list
    EXPECT_EQ(rig.dialogs, std::vector<std::string>{"Select WAV output format over Form11"});
    EXPECT_EQ(f.effects()->samplerate(), 8000);
    EXPECT_EQ(f.txtWAVFmt.text(), "PCM - 44.1 kHz 16 Bit Stereo");  // cancelled: the old target stays
    f.chkStereo.click();
    EXPECT_EQ(rig.dialogs.size(), 2u);
    EXPECT_EQ(f.effects()->Channels(), 1);
    rig.chooserAnswer = 0;
    f.cmdSelFmt.click();
    EXPECT_EQ(f.txtWAVFmt.text(), f.encoder()->FormatTag() + " - " + f.encoder()->FormatID());
}

TEST_F(Recording, BrowsingAddsTheExtensionAndEffectsSwitchBits) {
    Form11& f = *rig.form;
    struct Case {
        std::string answer, shown;
    };
    for (const Case& c : std::vector<Case>{{"/tmp/take", "/tmp/take.wav"},
                                           {"/tmp/TAKE.WAV", "/tmp/TAKE.WAV"},
                                           {"/tmp/a.wav.mp3", "/tmp/a.wav.mp3.wav"},
                                           {"", "/tmp/a.wav.mp3.wav"}}) {
        rig.outputAnswer = c.answer;
        f.cmdBrowse.click();
        EXPECT_EQ(f.txtFile.text(), c.shown);
    }
    EXPECT_EQ(rig.dialogs.front(), "output Wave ACM Encoder (*.wav)|*.wav");

    f.chkFX(1).click();
    f.chkFX(3).click();
    EXPECT_EQ(f.effects()->EffectsUsed(), 2 | 8);
    f.chkFX(1).click();
    f.chkFX(2).click();
    EXPECT_EQ(f.effects()->EffectsUsed(), 8 | 4);
    f.cmdFXOpts.click();
    EXPECT_TRUE(f.fxOptions().isVisible());
    EXPECT_EQ(f.fxOptions().owner(), &f);
}

TEST_F(Recording, EffectsReachTheFileAndTheDisplays) {
    Form11& f = *rig.form;
    chooseDeviceAndFile();
    f.chkFX(2).click();  // amplifier, +3 dB
    f.cmdDo.click();
    rig.rt.advance(100);
    const auto& block = f.sampleBlock();
    ASSERT_EQ(block.size(), 5120u);
    EXPECT_EQ(block[100], static_cast<std::int16_t>(std::rint(700 * std::pow(10.0f, 3 / 20.0f))));
    // The level bars: the stereo peaks, each as wide as its share of the picture.
    EXPECT_FALSE(f.picVUL.ops().empty());
    EXPECT_FALSE(f.picAmpl.ops().empty());
    f.cmdDo.click();
    const std::string file = rig.read(rig.dir.file("out.wav"));
    std::int16_t s100 = 0;
    std::memcpy(&s100, file.data() + 46 + 200, 2);
    EXPECT_EQ(s100, block[100]);
}

TEST(RecorderWindow, MonoBarsShowOneLevelAndSilenceLeavesThemEmpty) {
    testing::TempDir tmp;
    std::vector<std::int16_t> sound(8000, 0);
    for (std::size_t i = 4000; i < sound.size(); ++i) sound[i] = (i % 2) ? 16384 : -16384;
    writeWav(tmp.file("m.wav"), sound, 8000, 1);
    RecorderRig rig({tmp.file("m.wav")});
    Form11& f = *rig.form;
    f.chkStereo.click();
    f.cboSamplerate.setText("8000");
    rig.chooseSourcePcm();
    f.cboDev.setListIndex(0);
    f.txtFile.setText(rig.dir.file("m-out.wav"));
    f.cmdDo.click();
    ASSERT_TRUE(f.IsRecording());
    rig.rt.advance(400);  // silence so far
    auto barWidth = [](const Picture& p) {
        int w = 0;
        for (const auto& op : p.ops())
            if (op.kind == PictureOp::Kind::Fill) w = std::max(w, op.x2 - op.x1);
        return w;
    };
    EXPECT_EQ(barWidth(f.picVUL), 0);
    rig.rt.advance(900);
    EXPECT_EQ(barWidth(f.picVUL), barWidth(f.picVUR));
    EXPECT_EQ(barWidth(f.picVUL), static_cast<int>(f.picVUL.scaleWidth() / 2));
}

TEST(RecorderWindow, LowRatesRecordWhateverTheBufferHolds) {
    testing::TempDir tmp;
    // Three seconds at 4 kHz mono, converted to the default target: each 10240-byte capture buffer
    // holds more than a second of this rate.
    writeWav(tmp.file("low.wav"), ramp(12000), 4000, 1);
    RecorderRig rig({tmp.file("low.wav")}, {}, {makeSoxrRateConverter, {}});
    Form11& f = *rig.form;
    f.chkStereo.click();
    f.cboSamplerate.setText("4000");
    f.cboDev.setListIndex(0);
    f.txtFile.setText(rig.dir.file("low-out.wav"));
    f.cmdDo.click();
    ASSERT_TRUE(f.IsRecording()) << ::testing::PrintToString(rig.boxes());
    rig.rt.advance(4000);
    f.cmdDo.click();
    const std::string file = rig.read(rig.dir.file("low-out.wav"));
    EXPECT_NEAR(static_cast<double>(file.size()), 46 + 3 * 176400, 176400 * 0.03);
    EXPECT_TRUE(rig.rt.boxes.empty());
}

// Recording into a file whose disk takes no more.
struct FullDisk : Recording {
    void startRecording() {
        rig.form->cboDev.setListIndex(0);
        rig.form->txtFile.setText("/dev/full");
        rig.form->cmdDo.click();
    }
};

TEST_F(FullDisk, StopsTheRecordingWithItsMessage) {
    Form11& f = *rig.form;
    startRecording();
    rig.rt.advance(2000);
    if (f.IsRecording()) f.cmdDo.click();
    EXPECT_FALSE(f.IsRecording());
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Write error (no disk space left?)!"});
    EXPECT_EQ(f.cmdDo.caption(), "Start recording");
}

// The program ends while a recording is under way: finishing the file on the way out fails, and that
// is said on an ERROR line (no box can be answered any more).
TEST_F(FullDisk, AFailureToFinishTheRecordingAtTheProgramsEndIsReported) {
    Form11& f = *rig.form;
    startRecording();
    ASSERT_TRUE(f.IsRecording()) << ::testing::PrintToString(rig.boxes());
    ::testing::internal::CaptureStderr();
    rig.rt.endProcess(0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(rig.rt.processEnded());
    EXPECT_FALSE(f.IsRecording());
    EXPECT_NE(err.find("ERROR Form11: Write error (no disk space left?)!\n"), std::string::npos) << err;
    EXPECT_TRUE(rig.rt.boxes.empty());
}

TEST(RecorderWindow, DeviceLineAndGain) {
    FakeCapture* cap = nullptr;
    RecorderRig rig({}, [&cap](Runtime&) {
        auto c = std::make_unique<FakeCapture>();
        FakeMixer m;
        m.lines = {{"Microphone"}, {"Line In", kLineSrcLine}};
        m.lines[0].volume[0] = 13107;
        m.selector = {0, 1};  // line 0 on
        c->mixers[0] = m;
        cap = c.get();
        return c;
    });
    Form11& f = *rig.form;
    EXPECT_EQ(f.cboDev.items(), (std::vector<std::string>{"Card One", "Card Two"}));
    f.cboDev.setListIndex(0);
    EXPECT_EQ(f.cboRecLine.items(), (std::vector<std::string>{"Microphone", "Line In"}));
    EXPECT_EQ(f.cboRecLine.listIndex(), 0);
    EXPECT_TRUE(f.sldVol.enabled());
    EXPECT_EQ(f.sldVol.value(), 13107);
    EXPECT_EQ(f.lblVolPer.caption(), "20%");
    f.sldVol.scroll(65535);
    EXPECT_EQ(cap->mixers[0].lines[0].volume[1], 65535);
    EXPECT_EQ(f.lblVolPer.caption(), "100%");
    f.cboRecLine.setListIndex(1);
    EXPECT_EQ(cap->mixers[0].selector, (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(f.sldVol.value(), 0);
    EXPECT_EQ(f.lblVolPer.caption(), "0%");
    EXPECT_TRUE(rig.rt.boxes.empty());

    f.cboDev.setListIndex(1);  // a card whose mixer cannot be opened
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Couldn't select device!"});
    EXPECT_TRUE(f.cboRecLine.items().empty());
    EXPECT_FALSE(f.sldVol.enabled());
}

TEST(RecorderWindow, PlaybackTabPlaysLocallyAndRecordingStopsIt) {
    testing::TempDir tmp;
    writeWav(tmp.file("one.wav"), ramp(100), 44100, 1);
    RecorderRig rig;
    Form11& f = *rig.form;
    f.Command3.click();  // the design text names no file
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Please select a file"});
    EXPECT_EQ(rig.rt.boxes[0].title, "Error");
    rig.openAnswer = tmp.file("one.wav");
    f.Command4.click();
    EXPECT_EQ(f.txtFile2.text(), tmp.file("one.wav"));
    EXPECT_EQ(rig.dialogs.back(), "open *.wav, *.mp2, *.mp3, *.avi, *.mid|*.wav;*.mp2;*.mp3;*.avi;*.mid");
    EXPECT_EQ(f.Text3.text(), "00:01:01");
    EXPECT_EQ(f.H1.max(), 62);
    EXPECT_EQ(rig.player, std::vector<std::string>{"render"});
    f.Command3.click();
    EXPECT_EQ(rig.player, (std::vector<std::string>{"render", "release", "render", "run", "position 0"}));
    rig.rt.advance(20);
    EXPECT_EQ(f.Text2.text(), "00:00:00");
    EXPECT_EQ(f.Text4.text(), "00:01:01");
    f.cmdDo.click();  // the record button releases the playback first
    EXPECT_EQ(rig.player.back(), "release");
    // Playback keys nothing.
    EXPECT_TRUE(rig.hostCalls("SetPTT").empty());
}

}  // namespace
}  // namespace tarnwick::test
