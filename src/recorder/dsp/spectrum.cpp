#include "recorder/dsp/spectrum.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "recorder/dsp/sample_math.h"
#include "recorder/recorder_error.h"

namespace tarnwick {

namespace {

std::int64_t counterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
constexpr double kCounterFrequency = 1e9;

// Four doubles side by side, at any address; each operation is the scalar one on each of them, in
// the same order.
typedef double Four __attribute__((vector_size(32), aligned(8), may_alias));

// Every stage of the transform over the bit-reversed values. In each block a stage's twiddle factor
// turns through the same sequence, taken from the table; the butterfly is t = w * b, b = a - t,
// a = a + t. Processors with 256-bit registers take four butterflies in one step.
__attribute__((target_clones("avx", "default"))) void butterflies(double* re, double* im, std::int32_t n,
                                                                  const double* twiddleRe,
                                                                  const double* twiddleIm) {
    for (std::int32_t span = 1; span < n; span *= 2) {
        const double* wRe = twiddleRe + (span - 1);
        const double* wIm = twiddleIm + (span - 1);
        for (std::int32_t k = 0; k < n; k += 2 * span) {
            double* aRe = re + k;
            double* aIm = im + k;
            double* bRe = re + k + span;
            double* bIm = im + k + span;
            if (span >= 4) {
                for (std::int32_t m = 0; m < span; m += 4) {
                    const Four wr = *reinterpret_cast<const Four*>(wRe + m), wi = *reinterpret_cast<const Four*>(wIm + m);
                    const Four oRe = *reinterpret_cast<const Four*>(bRe + m), oIm = *reinterpret_cast<const Four*>(bIm + m);
                    const Four tRe = wr * oRe - wi * oIm;
                    const Four tIm = wr * oIm + wi * oRe;
                    const Four eRe = *reinterpret_cast<const Four*>(aRe + m), eIm = *reinterpret_cast<const Four*>(aIm + m);
                    *reinterpret_cast<Four*>(bRe + m) = eRe - tRe;
                    *reinterpret_cast<Four*>(bIm + m) = eIm - tIm;
                    *reinterpret_cast<Four*>(aRe + m) = eRe + tRe;
                    *reinterpret_cast<Four*>(aIm + m) = eIm + tIm;
                }
            } else {
                for (std::int32_t m = 0; m < span; ++m) {
                    const double oRe = bRe[m], oIm = bIm[m];
                    const double tRe = wRe[m] * oRe - wIm[m] * oIm;
                    const double tIm = wRe[m] * oIm + wIm[m] * oRe;
                    const double eRe = aRe[m], eIm = aIm[m];
                    bRe[m] = eRe - tRe;
                    bIm[m] = eIm - tIm;
                    aRe[m] = eRe + tRe;
                    aIm[m] = eIm + tIm;
                }
            }
        }
    }
}

}  // namespace

clsFourier::clsFourier() : pi_(4.0 * std::atan(1.0)), twoPi_(2.0 * pi_), re_(1), im_(1) {}

std::int32_t clsFourier::ReverseBits(std::int32_t v, std::int32_t bits) {
    std::uint32_t in = static_cast<std::uint32_t>(v), out = 0;
    for (std::int32_t i = 0; i < bits; ++i) {
        out = (out << 1) | (in & 1u);
        in >>= 1;
    }
    return static_cast<std::int32_t>(out);
}

void clsFourier::setNumberOfSamples(std::int32_t n) {
    if (n < 2 || (n & (n - 1)) != 0)
        throw RecorderError(recorder_errors::kInvalidProperty,
                            "Number of samples must be a positive value of the form 2 ^ n");
    const std::size_t size = static_cast<std::size_t>(n);
    re_.assign(size, 0.0);
    im_.assign(size, 0.0);
    lastIndex_ = n - 1;
    bits_ = static_cast<std::int32_t>(roundEven(std::log(double(n)) / std::log(2.0)));

    slot_.resize(size);
    window_.resize(size);
    for (std::int32_t i = 0; i < n; ++i) {
        slot_[static_cast<std::size_t>(i)] = ReverseBits(i, bits_);
        const double theta = twoPi_ * i / lastIndex_;
        window_[static_cast<std::size_t>(i)] = 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta);
    }
    // Each stage's twiddle factor starts at 1 in every block and turns by theta through the
    // recurrence, so each stage costs two sines.
    twiddleRe_.resize(size);
    twiddleIm_.resize(size);
    for (std::int32_t span = 1; span < n; span *= 2) {
        const double theta = pi_ / span;
        const double half = std::sin(theta / 2.0);
        const double alpha = 2.0 * half * half;
        const double beta = std::sin(theta);
        double wRe = 1.0, wIm = 0.0;
        for (std::int32_t m = 0; m < span; ++m) {
            twiddleRe_[static_cast<std::size_t>(span - 1 + m)] = wRe;
            twiddleIm_[static_cast<std::size_t>(span - 1 + m)] = wIm;
            const double nextRe = wRe - (alpha * wRe + beta * wIm);
            wIm = wIm - (alpha * wIm - beta * wRe);
            wRe = nextRe;
        }
    }
    sizeNotSet_ = false;
    inputsChanged_ = true;
}

void clsFourier::checkIndex(std::int32_t index) const {
    if (sizeNotSet_ || index < 1 || index > lastIndex_ + 1)
        throw RecorderError(recorder_errors::kInvalidIndex, "Index out of range or number of samples unknown");
}

void clsFourier::RealIn(std::int32_t index, double value) {
    checkIndex(index);
    const std::size_t i = static_cast<std::size_t>(index - 1);
    const std::size_t at = static_cast<std::size_t>(slot_[i]);
    re_[at] = withTimeWindow_ ? value * window_[i] : value / 2.0;
    im_[at] = 0.0;
    inputsChanged_ = true;
}

void clsFourier::RealInAll(const std::int16_t* samples) {
    checkIndex(1);
    const std::size_t n = static_cast<std::size_t>(lastIndex_) + 1;
    const std::int32_t* slot = slot_.data();
    if (withTimeWindow_) {
        for (std::size_t i = 0; i < n; ++i) re_[static_cast<std::size_t>(slot[i])] = samples[i] * window_[i];
    } else {
        for (std::size_t i = 0; i < n; ++i) re_[static_cast<std::size_t>(slot[i])] = samples[i] / 2.0;
    }
    std::fill(im_.begin(), im_.end(), 0.0);
    inputsChanged_ = true;
}

void clsFourier::ImagIn(std::int32_t index, double value) {
    checkIndex(index);
    im_[static_cast<std::size_t>(slot_[static_cast<std::size_t>(index - 1)])] = value;
    inputsChanged_ = true;
}

double clsFourier::RealOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    return re_[static_cast<std::size_t>(index - 1)];
}

double clsFourier::ImagOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    return im_[static_cast<std::size_t>(index - 1)];
}

double clsFourier::ComplexOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    const double re = re_[static_cast<std::size_t>(index - 1)], im = im_[static_cast<std::size_t>(index - 1)];
    return std::sqrt(re * re + im * im);
}

void clsFourier::ComplexOutRange(double* out, std::int32_t count) {
    checkIndex(count);
    transformIfChanged();
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) out[k] = std::sqrt(re_[k] * re_[k] + im_[k] * im_[k]);
}

float clsFourier::Timing() const {
    return static_cast<float>(double(counterEnd_ - counterStart_) / kCounterFrequency * 1000.0);
}

void clsFourier::transformIfChanged() {
    if (inputsChanged_) transform();
}

void clsFourier::transform() {
    inputsChanged_ = false;
    counterStart_ = counterNow();
    butterflies(re_.data(), im_.data(), lastIndex_ + 1, twiddleRe_.data(), twiddleIm_.data());
    counterEnd_ = counterNow();
}

}  // namespace tarnwick
