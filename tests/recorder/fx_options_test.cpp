#include "recorder/fx_options.h"

#include <gtest/gtest.h>

#include "recorder/dsp/dsp.h"

namespace tarnwick::test {
namespace {

struct Dialog : ::testing::Test {
    Dialog() {
        dsp.setSamplerate(44100);
        dsp.setChannels(2);
    }
    clsDSP dsp;
    frmFXOpts dlg;
    Window owner;
};

TEST_F(Dialog, OpensOnTheChainsValuesWithoutWritingThemBack) {
    dsp.setEchoAmp(0.45f);  // shown as 4 (4.5 rounds to even), kept as 0.45
    dlg.ShowEx(dsp, &owner);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.windowCaption(), "effects settings");
    EXPECT_EQ(dlg.owner(), &owner);
    const std::vector<int> shown{dlg.sldReverbAmp.value(),  dlg.sldReverbLen.value(), dlg.sldShDry.value(),
                                 dlg.sldShWet.value(),      dlg.sldShFb.value(),      dlg.sldShFreq.value(),
                                 dlg.sldShSwpRange.value(), dlg.sldShSwpRate.value(), dlg.sldAmplDB.value()};
    EXPECT_EQ(shown, (std::vector<int>{4, 100, 10, 10, 5, 100, 40, 10, 3}));
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.45f);
    EXPECT_EQ(dlg.lblAmplDB.caption(), "3 dB");
    ASSERT_EQ(dlg.bandCount(), 7);
    std::vector<std::string> labels;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(dlg.sldEQ(i).value(), 0);
        labels.push_back(dlg.lblEQID(i).caption());
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"80 Hz", "191 Hz", "455 Hz", "1 kHz", "2 kHz", "6 kHz", "14 kHz"}));
    EXPECT_FALSE(dlg.picEQAmp.ops().empty());

    // Every slider, the bands' too, moves by 1 on an arrow and by 5 on a click on its track.
    std::vector<ScrollBar*> sliders{&dlg.sldReverbLen, &dlg.sldReverbAmp, &dlg.sldShDry,        &dlg.sldShWet,
                                    &dlg.sldShFb,      &dlg.sldShSwpRate, &dlg.sldShSwpRange, &dlg.sldShFreq,
                                    &dlg.sldAmplDB};
    for (int i = 0; i < 7; ++i) sliders.push_back(&dlg.sldEQ(i));
    for (const ScrollBar* s : sliders) {
        EXPECT_EQ(s->smallChange(), 1) << s->name();
        EXPECT_EQ(s->largeChange(), 5) << s->name();
    }

    // Closed and opened again: one slider per band, and the values the chain holds now.
    ASSERT_TRUE(dlg.onCloseRequest());
    EXPECT_FALSE(dlg.isVisible());
    dsp.setEqualizerBandGainDB(2, -6);
    dlg.ShowEx(dsp, &owner);
    EXPECT_EQ(dlg.bandCount(), 7);
    EXPECT_EQ(dlg.sldEQ(2).value(), 6);
}

TEST_F(Dialog, EverySliderWritesItsParameter) {
    dlg.ShowEx(dsp, &owner);
    struct Case {
        ScrollBar* slider;
        int value;
        std::function<float()> read;
        float expected;
    };
    const std::vector<Case> cases = {
        {&dlg.sldReverbLen, 1, [&] { return float(dsp.EchoLength()); }, 1},
        {&dlg.sldReverbAmp, 9, [&] { return dsp.EchoAmp(); }, 0.9f},
        {&dlg.sldShDry, -10, [&] { return dsp.PhaseShiftDry(); }, -1.0f},
        {&dlg.sldShWet, 3, [&] { return dsp.PhaseShiftWet(); }, 0.3f},
        {&dlg.sldShFb, -9, [&] { return dsp.PhaseShiftFeedback(); }, -0.9f},
        {&dlg.sldShSwpRate, 15, [&] { return dsp.PhaseShiftSweepRate(); }, 1.5f},
        {&dlg.sldShSwpRange, 60, [&] { return dsp.PhaseShiftSweepRange(); }, 6.0f},
        {&dlg.sldShFreq, 150, [&] { return dsp.PhaseShiftFrequency(); }, 150.0f},
        {&dlg.sldShFreq, -10, [&] { return dsp.PhaseShiftFrequency(); }, 0.0f},  // no phaser below 0 Hz
        {&dlg.sldAmplDB, -12, [&] { return float(dsp.AmplifyDB()); }, -12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slider->name() + " " + std::to_string(c.value));
        c.slider->scroll(c.value);
        EXPECT_FLOAT_EQ(c.read(), c.expected);
    }
    EXPECT_EQ(dlg.lblAmplDB.caption(), "-12 dB");
    // A click without a move writes the slider's value too.
    dsp.setPhaseShiftSweepRate(0.7f);
    dlg.sldShSwpRate.scroll(dlg.sldShSwpRate.value());
    EXPECT_FLOAT_EQ(dsp.PhaseShiftSweepRate(), 1.5f);
}

TEST_F(Dialog, BandSlidersSetGainsUpsideDownAndTheRightButtonResets) {
    dlg.ShowEx(dsp, &owner);
    const auto before = dlg.picEQAmp.ops();
    dlg.sldEQ(3).scroll(-12);  // knob at the top
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(3), 12.0f);
    EXPECT_NE(dlg.picEQAmp.ops(), before);
    dlg.sldEQ_MouseDown(3, 1);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(3), 12.0f);
    dlg.sldEQ_MouseDown(3, 2);
    EXPECT_EQ(dlg.sldEQ(3).value(), 0);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(3), 0.0f);
    EXPECT_EQ(dlg.picEQAmp.ops(), before);
}

}  // namespace
}  // namespace tarnwick::test
