#pragma once
// frmFXOpts: the effects settings dialog of the sound recorder. One panel per effect with a slider
// per parameter; every move writes the parameter into the running effects chain at once. The
// equalizer panel has one slider per band and draws the equalizer's response curve.

#include <memory>
#include <vector>

#include "controls/controls.h"
#include "recorder/dsp/picture.h"

namespace tarnwick {

class clsDSP;

class frmFXOpts : public Window {
public:
    frmFXOpts();
    ~frmFXOpts() override;

    // Shows the dialog for the chain over its owner, which it belongs to. The dialog keeps the chain
    // until it is shown for another one; the chain must outlive it.
    void ShowEx(clsDSP& dsp, Window* owner);
    // A mouse button pressed on band slider i (1 left, 2 right): the right one resets the band.
    void sldEQ_MouseDown(int i, int button);

    // Echo.
    Label lblReverbLen{"lblReverbLen", "Length (ms):"};
    ScrollBar sldReverbLen{"sldReverbLen", 1, 1000, 1};
    Label lbl1ms{"lbl1ms", "1 ms"};
    Label lbl1000ms{"lbl1000ms", "1000 ms"};
    Label lblReverbFactor{"lblReverbFactor", "Amplifier:"};
    ScrollBar sldReverbAmp{"sldReverbAmp", 1, 9, 1};
    // Phase shift.
    Label lblShDry{"lblShDry", "Dry:"};
    ScrollBar sldShDry{"sldShDry", -10, 10, 0};
    Label lblShWet{"lblShWet", "Wet:"};
    ScrollBar sldShWet{"sldShWet", -10, 10, 0};
    Label lblShFb{"lblShFb", "Feedback:"};
    ScrollBar sldShFb{"sldShFb", -9, 9, 0};
    Label lblSwpRt{"lblSwpRt", "Sweep Rate:"};
    ScrollBar sldShSwpRate{"sldShSwpRate", 1, 15, 1};
    Label lblShSwpRange{"lblShSwpRange", "Sweep Range:"};
    ScrollBar sldShSwpRange{"sldShSwpRange", 30, 60, 30};
    Label lblShFreq{"lblShFreq", "Frequency:"};
    ScrollBar sldShFreq{"sldShFreq", -10, 150, 0};
    // Equalizer.
    Label lbl12DB{"lbl12DB", "[-12;12] dB"};
    Picture picEQAmp{"picEQAmp", 240, 60, 0};
    // Amplifier.
    Label lblAmplBy{"lblAmplBy", "Amplify by:"};
    ScrollBar sldAmplDB{"sldAmplDB", -12, 12, 0};
    Label lblAmplDB{"lblAmplDB", "dB"};

    // The band sliders and their frequency labels, one per band (made at the first ShowEx).
    ScrollBar& sldEQ(int i) { return *bandSliders_.at(static_cast<std::size_t>(i)); }
    Label& lblEQID(int i) { return *bandLabels_.at(static_cast<std::size_t>(i)); }
    int bandCount() const { return static_cast<int>(bandSliders_.size()); }

private:
    void buildBands();
    void drawCurve();
    // Runs a slider's action: the parameter into the chain.
    void bind(ScrollBar& slider, std::function<void(int)> write);

    clsDSP* dsp_ = nullptr;
    bool loading_ = false;
    std::vector<std::unique_ptr<ScrollBar>> bandSliders_;
    std::vector<std::unique_ptr<Label>> bandLabels_;
};

}  // namespace tarnwick
