#include "recorder/dsp/draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "recorder/dsp/sample_math.h"

namespace tarnwick {

namespace {

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr float kTwoPi = 6.2831855f;
constexpr int kSpectrumSize = 1024;

int whole(double v) { return static_cast<int>(roundEven(v)); }

// How much of its neighbourhood each bar takes in: low at both ends of the spectrum, near 1 in the middle.
float barWeight(int x) {
    return (1.0f - static_cast<float>(std::cos(double(kTwoPi * static_cast<float>(x) / 25.0f)))) / 2.0f;
}

// Each bar's factor (1 + barWeight(bar + 3)) / 3 never changes: worked out once, not on every tick.
struct BarFactors {
    std::array<float, clsDraw::kBars> of{};
    BarFactors() {
        for (int l = 0; l < clsDraw::kBars; ++l) of[l] = 1.0f + barWeight(l + 3);
    }
};

}  // namespace

void clsDraw::DrawRect(Picture& picture, std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom, Colour colour) {
    picture.fillRect(left, top, right, bottom, colour);
}

void clsDraw::DrawAmplitudes(std::span<const std::int16_t> samples, Picture& picture) {
    const int w = whole(picture.scaleWidth());
    const int h = whole(picture.scaleHeight());
    const int mid = h / 2;
    picture.setPen(kBlack);
    picture.fillRect(0, 0, w, h, kBlack);
    picture.setPen(kWhite);
    picture.moveTo(0, mid);

    const double lastIndex = static_cast<double>(samples.size()) - 1.0;
    const long long perColumn = std::max(0LL, roundEven(lastIndex / picture.scaleWidth()));
    const int columns = whole(picture.scaleWidth() - 3.0);
    std::size_t next = 0;
    for (int j = 1; j <= columns; ++j) {
        // A column past the end of the buffer (a picture wider than the buffer has samples) lies on the line.
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(perColumn), samples.size() - next);
        double sum = 0.0;
        for (std::size_t i = 0; i < take; ++i) sum += samples[next + i];
        next += take;
        double a = take ? sum / static_cast<double>(take) / 32767.0 : 0.0;
        a = std::clamp(a, -1.0, 1.0);
        picture.lineTo(j, whole((mid - 2) * a + mid));
    }
    picture.lineTo(columns + 1, mid);
    picture.lineTo(columns + 2, mid);
}

void clsDraw::DrawFrequencies(std::span<const std::int16_t> samples, Picture& picture) {
    if (samples.size() < kSpectrumSize) return;
    if (!fourier_) {
        fourier_ = std::make_unique<clsFourier>();
        fourier_->setNumberOfSamples(kSpectrumSize);
        fourier_->setWithTimeWindow(true);
    }
    // The display ticks faster than buffers arrive: the same samples give the same bins again.
    std::array<float, kSpectrumSize / 2 + 1>& m = bins_;
    if (!binsValid_ || std::memcmp(binsInput_.data(), samples.data(), sizeof binsInput_) != 0) {
        std::memcpy(binsInput_.data(), samples.data(), sizeof binsInput_);
        fourier_->RealInAll(samples.data());
        std::array<double, kSpectrumSize / 2 + 1> magnitude;
        fourier_->ComplexOutRange(magnitude.data(), kSpectrumSize / 2 + 1);
        for (int k = 0; k <= kSpectrumSize / 2; ++k) {
            float v = static_cast<float>(magnitude[k] / 256.0 / 32767.0);
            if (v > 0.2f) v = 0.2f;
            m[k] = v / 0.2f;
        }
        binsValid_ = true;
    }

    for (double& peak : peaks_) {
        peak -= 0.07;
        if (peak < 0.0) peak = 0.0;
    }

    // Each bar adds four bins to what the bars below it carried over.
    static const BarFactors factors;
    float v = 0.0f;
    for (int l = 0; l < kBars; ++l) {
        v = v + m[5 * l + 1] + m[5 * l + 2] + m[5 * l + 3] + m[5 * l + 4];
        v = v * factors.of[l] / 3.0f;
        if (static_cast<float>(peaks_[l]) < v) peaks_[l] = v;
        if (peaks_[l] > 1.0) peaks_[l] = 1.0;
    }

    picture.clear();
    const double h = picture.scaleHeight();
    for (int bar = 0; bar < kBars; ++bar) {
        const double peak = peaks_[bar];
        const int top = std::max(2, static_cast<int>(std::min(roundEven(h), roundEven(h - h * peak))) - 2);
        DrawRect(picture, 4 * bar + 4, top, 4 * bar + 7, whole(h - 2.0), rgbColour(255, whole(peak * 255.0), 50));
    }
}

void clsSmooth::SmoothNew(std::int32_t size) {
    ring_.assign(static_cast<std::size_t>(std::max<std::int32_t>(size, 1)), 0.0f);
    count_ = 0;
    position_ = 0;
}

void clsSmooth::SmoothAdd(float value) {
    if (ring_.empty()) SmoothNew(1);
    ring_[position_] = value;
    ++position_;
    count_ = std::max(count_, position_);
    if (position_ >= static_cast<std::int32_t>(ring_.size())) position_ = 0;
}

float clsSmooth::SmoothGetMax() const {
    if (count_ == 0) return 0.0f;
    float sum = 0.0f;
    for (std::int32_t i = 0; i < count_; ++i) sum += ring_[i];
    return sum / static_cast<float>(count_);
}

Colour GradientColour(float range, float value, Colour low, Colour mid, Colour high) {
    const float half = range / 2.0f;
    Colour from = mid, to = high;
    float d = value - half;
    if (value < half) {
        from = low;
        to = mid;
        d = value;
    }
    Colour result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const float start = static_cast<float>((from >> shift) & 0xFF);
        const float end = static_cast<float>((to >> shift) & 0xFF);
        float c = start + (end - start) / half * d;
        if (!std::isfinite(c)) c = start;
        // Values outside 0 .. range would leave the colour's own byte.
        const long long byte = std::clamp(roundEven(c), 0LL, 255LL);
        result |= static_cast<Colour>(byte) << shift;
    }
    return result;
}

void DrawEqualizerCurve(Picture& picture, const std::vector<int>& sliderValues) {
    picture.clear();
    const int h = whole(picture.scaleHeight());
    const int w = whole(picture.scaleWidth());
    picture.setBackground(rgbColour(24, 31, 44));
    const int n = static_cast<int>(sliderValues.size());
    if (n == 0) return;

    const int step = whole(double(w - 10) / n);
    std::vector<double> xs(n), ys(n);
    for (int i = 0; i < n; ++i) {
        xs[i] = double(step) * (i + 1) - 4.0;
        ys[i] = h / 2.0 + (sliderValues[i] / 12.0) * h / 2.0;
    }

    picture.clear();
    picture.setPen(rgbColour(94, 88, 66));
    for (int i = 0; i < n; ++i) {
        picture.moveTo(whole(xs[i]), 2);
        picture.lineTo(whole(xs[i]), h - 2);
    }

    picture.setPen(rgbColour(167, 158, 131));
    picture.setPixel(whole(xs[0]), whole(ys[0]));
    const double pi = 3.14159265358979;
    for (int k = 0; k + 1 < n; ++k) {
        for (int s = 0; s <= 5 * step; ++s) {
            const double t = (s / 5.0) / step;
            const double f = (1.0 - std::cos(t * pi)) / 2.0;
            const double y = ys[k] * (1.0 - f) + ys[k + 1] * f;
            const int Y = whole(y - 0.5);
            picture.setPen(GradientColour(static_cast<float>(h), static_cast<float>(Y), rgbColour(188, 34, 1),
                                          rgbColour(225, 168, 34), rgbColour(0, 204, 0)));
            picture.lineTo(whole(xs[k] + s / 5.0), Y);
        }
    }
}

}  // namespace tarnwick
