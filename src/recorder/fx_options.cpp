#include "recorder/fx_options.h"

#include <cmath>

#include "recorder/display_text.h"
#include "recorder/dsp/draw.h"
#include "recorder/dsp/dsp.h"

namespace tarnwick {

namespace {
int rounded(float v) { return static_cast<int>(std::rint(v)); }
// Every slider moves by 1 on an arrow and by 5 on a click on its track.
constexpr int kSmallChange = 1;
constexpr int kLargeChange = 5;
}  // namespace

frmFXOpts::frmFXOpts() {
    setWindowCaption("effects settings");
    setModal(true);
    // Every slider writes its parameter on each move, whether dragged or clicked.
    bind(sldReverbLen, [this](int v) { dsp_->setEchoLength(v); });
    bind(sldReverbAmp, [this](int v) { dsp_->setEchoAmp(static_cast<float>(v / 10.0)); });
    bind(sldShDry, [this](int v) { dsp_->setPhaseShiftDry(static_cast<float>(v / 10.0)); });
    bind(sldShWet, [this](int v) { dsp_->setPhaseShiftWet(static_cast<float>(v / 10.0)); });
    bind(sldShFb, [this](int v) { dsp_->setPhaseShiftFeedback(static_cast<float>(v / 10.0)); });
    bind(sldShSwpRate, [this](int v) { dsp_->setPhaseShiftSweepRate(static_cast<float>(v / 10.0)); });
    bind(sldShSwpRange, [this](int v) { dsp_->setPhaseShiftSweepRange(static_cast<float>(v / 10.0)); });
    bind(sldShFreq, [this](int v) { dsp_->setPhaseShiftFrequency(static_cast<float>(v)); });
    bind(sldAmplDB, [this](int v) {
        dsp_->setAmplifyDB(v);
        lblAmplDB.setCaption(std::to_string(v) + " dB");
    });
    for (ScrollBar* s : {&sldReverbLen, &sldReverbAmp, &sldShDry, &sldShWet, &sldShFb, &sldShSwpRate, &sldShSwpRange,
                         &sldShFreq, &sldAmplDB})
        s->setSteps(kSmallChange, kLargeChange);
    onCloseRequest = [this] {
        setVisible(false);
        return true;
    };
}

frmFXOpts::~frmFXOpts() = default;

void frmFXOpts::bind(ScrollBar& slider, std::function<void(int)> write) {
    auto action = [this, &slider, write = std::move(write)] {
        if (loading_ || !dsp_) return;
        write(slider.value());
    };
    slider.onChange = action;
    slider.onScroll = action;
}

void frmFXOpts::ShowEx(clsDSP& dsp, Window* owner) {
    dsp_ = &dsp;
    setOwner(owner);
    // Loading the sliders shows the chain's values without writing them back.
    loading_ = true;
    sldReverbAmp.setValue(rounded(dsp.EchoAmp() * 10));
    sldReverbLen.setValue(dsp.EchoLength());
    sldShDry.setValue(rounded(dsp.PhaseShiftDry() * 10));
    sldShWet.setValue(rounded(dsp.PhaseShiftWet() * 10));
    sldShFb.setValue(rounded(dsp.PhaseShiftFeedback() * 10));
    sldShFreq.setValue(rounded(dsp.PhaseShiftFrequency()));
    sldShSwpRange.setValue(rounded(dsp.PhaseShiftSweepRange() * 10));
    sldShSwpRate.setValue(rounded(dsp.PhaseShiftSweepRate() * 10));
    sldAmplDB.setValue(dsp.AmplifyDB());
    loading_ = false;
    if (sldAmplDB.onChange) sldAmplDB.onChange();
    buildBands();
    setVisible(true);
}

void frmFXOpts::buildBands() {
    const int n = dsp_->EqualizerBands();
    const bool first = bandSliders_.empty();
    // The band sliders live as long as the dialog's view may show them: made once, never twice.
    while (bandCount() < n) {
        const int i = bandCount();
        auto slider = std::make_unique<ScrollBar>("sldEQ(" + std::to_string(i) + ")", -12, 12, 0);
        slider->onChange = [this, i] {
            if (loading_ || !dsp_) return;
            dsp_->setEqualizerBandGainDB(i, static_cast<float>(-sldEQ(i).value()));
            drawCurve();
        };
        slider->onScroll = slider->onChange;
        slider->setVertical(true);
        slider->setSteps(kSmallChange, kLargeChange);
        slider->onRightClick = [this, i] { sldEQ_MouseDown(i, 2); };
        bandSliders_.push_back(std::move(slider));
        bandLabels_.push_back(std::make_unique<Label>("lblEQID(" + std::to_string(i) + ")"));
    }
    loading_ = true;
    for (int i = 0; i < bandCount(); ++i) {
        const bool used = i < n;
        sldEQ(i).setVisible(used);
        lblEQID(i).setVisible(used);
        if (!used) continue;
        sldEQ(i).setValue(rounded(-dsp_->EqualizerBandGainDB(i)));
        lblEQID(i).setCaption(EqualizerBandLabel(dsp_->EqualizerBandFrequency(i)));
    }
    loading_ = false;
    drawCurve();
    if (first) {
        using namespace layout;
        std::vector<LayoutItem> bands;
        for (int i = 0; i < bandCount(); ++i) bands.push_back(frame("", {ctl(lblEQID(i)), ctl(sldEQ(i))}));
        layout_ = {tabs({tab("Echo", {row({ctl(lblReverbLen), ctl(lbl1ms), ctl(sldReverbLen), ctl(lbl1000ms)}),
                                      row({ctl(lblReverbFactor), ctl(sldReverbAmp)})}),
                         tab("Phase Shift", {row({ctl(lblShDry), ctl(sldShDry)}), row({ctl(lblShWet), ctl(sldShWet)}),
                                             row({ctl(lblShFb), ctl(sldShFb)}),
                                             row({ctl(lblSwpRt), ctl(sldShSwpRate)}),
                                             row({ctl(lblShSwpRange), ctl(sldShSwpRange)}),
                                             row({ctl(lblShFreq), ctl(sldShFreq)})}),
                         tab("Equalizer", {ctl(lbl12DB), row(bands), ctl(picEQAmp)}),
                         tab("Amplifier", {row({ctl(lblAmplBy), ctl(sldAmplDB), ctl(lblAmplDB)})})})};
    }
}

void frmFXOpts::sldEQ_MouseDown(int i, int button) {
    if (button != 2 || i < 0 || i >= bandCount()) return;
    ScrollBar& s = sldEQ(i);
    if (s.value() == 0) {
        if (s.onChange) s.onChange();
    } else {
        s.setValue(0);
    }
}

void frmFXOpts::drawCurve() {
    if (!dsp_) return;
    std::vector<int> values;
    for (int i = 0; i < dsp_->EqualizerBands() && i < bandCount(); ++i) values.push_back(sldEQ(i).value());
    DrawEqualizerCurve(picEQAmp, values);
}

}  // namespace tarnwick
