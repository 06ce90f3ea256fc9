#pragma once
// The recorder's live displays as numbers: the level bars' rectangles, the waveform trace, the
// 22-bar spectrum with peak hold and decay, the moving average that smooths the level bars, the
// three-stop colour gradient, and the equalizer's response curve of the effects dialog. Everything
// is drawn into a Picture; a view paints it.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "controls/controls.h"
#include "recorder/dsp/picture.h"
#include "recorder/dsp/spectrum.h"

namespace tarnwick {

class clsDraw {
public:
    static constexpr int kBars = 22;

    // Fills the rectangle with a solid colour.
    void DrawRect(Picture& picture, std::int32_t left, std::int32_t top, std::int32_t right,
                  std::int32_t bottom, Colour colour);
    // The waveform trace of the samples: about one column per pixel, positive values below the
    // middle line; the previous trace is erased by a black fill of the whole picture.
    void DrawAmplitudes(std::span<const std::int16_t> samples, Picture& picture);
    // The 22-bar spectrum of the first 1024 samples; fewer samples draw nothing and keep the peaks.
    void DrawFrequencies(std::span<const std::int16_t> samples, Picture& picture);

    // The bar peaks, 0 to 1, kept between calls.
    const std::array<double, kBars>& peaks() const { return peaks_; }

private:
    std::array<double, kBars> peaks_{};
    std::unique_ptr<clsFourier> fourier_;
    // The spectrum's bins of the last samples transformed, 0 to 1 each.
    std::array<std::int16_t, 1024> binsInput_{};
    std::array<float, 513> bins_{};
    bool binsValid_ = false;
};

// A moving average over the last few values.
class clsSmooth {
public:
    // Starts an empty ring of size values.
    void SmoothNew(std::int32_t size);
    void SmoothAdd(float value);
    // The mean of the stored values (of all of them while fewer than size were added); 0 when
    // none was added.
    float SmoothGetMax() const;

private:
    std::vector<float> ring_;
    std::int32_t count_ = 0;
    std::int32_t position_ = 0;
};

// Colours as 0xBBGGRR.
constexpr Colour rgbColour(int red, int green, int blue) {
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) | (static_cast<Colour>(blue) << 16);
}

// Interpolates from low at 0 through mid at range / 2 to high at range. A value outside 0 to range
// gives components limited to 0 to 255.
Colour GradientColour(float range, float value, Colour low, Colour mid, Colour high);

// The equalizer's response curve: one point per band slider value (-12 at the top, +12 at the
// bottom, as the band sliders read), joined by a cosine-interpolated line of five segments per pixel,
// over vertical grid lines, on a dark background. The picture is cleared first.
void DrawEqualizerCurve(Picture& picture, const std::vector<int>& sliderValues);

}  // namespace tarnwick
