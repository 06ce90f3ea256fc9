#include "recorder/dsp/spectrum.h"

#include <chrono>
#include <cmath>

#include "recorder/dsp/sample_math.h"
#include "recorder/recorder_error.h"

namespace tarnwick {

namespace {

std::int64_t counterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
constexpr double kCounterFrequency = 1e9;

}  // namespace

clsFourier::clsFourier() : pi_(4.0 * std::atan(1.0)), twoPi_(2.0 * pi_), values_(1) {}

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
    values_.assign(static_cast<std::size_t>(n), {0.0, 0.0});
    lastIndex_ = n - 1;
    bits_ = static_cast<std::int32_t>(roundEven(std::log(double(n)) / std::log(2.0)));
    sizeNotSet_ = false;
    inputsChanged_ = true;
}

void clsFourier::checkIndex(std::int32_t index) const {
    if (sizeNotSet_ || index < 1 || index > lastIndex_ + 1)
        throw RecorderError(recorder_errors::kInvalidIndex, "Index out of range or number of samples unknown");
}

std::int32_t clsFourier::slot(std::int32_t index) const { return ReverseBits(index - 1, bits_); }

void clsFourier::RealIn(std::int32_t index, double value) {
    checkIndex(index);
    double v;
    if (withTimeWindow_) {
        const double theta = twoPi_ * (index - 1) / lastIndex_;
        v = value * (0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta));
    } else {
        v = value / 2.0;
    }
    values_[slot(index)] = {v, 0.0};
    inputsChanged_ = true;
}

void clsFourier::ImagIn(std::int32_t index, double value) {
    checkIndex(index);
    values_[slot(index)].imag(value);
    inputsChanged_ = true;
}

double clsFourier::RealOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    return values_[index - 1].real();
}

double clsFourier::ImagOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    return values_[index - 1].imag();
}

double clsFourier::ComplexOut(std::int32_t index) {
    checkIndex(index);
    transformIfChanged();
    const double re = values_[index - 1].real(), im = values_[index - 1].imag();
    return std::sqrt(re * re + im * im);
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
    const std::int32_t n = lastIndex_ + 1;
    // The twiddle factor turns by a recurrence, so each stage costs two sines.
    for (std::int32_t span = 1; span < n; span *= 2) {
        const double theta = pi_ / span;
        const double half = std::sin(theta / 2.0);
        const double alpha = 2.0 * half * half;
        const double beta = std::sin(theta);
        for (std::int32_t k = 0; k < n; k += 2 * span) {
            double wRe = 1.0, wIm = 0.0;
            for (std::int32_t m = k; m < k + span; ++m) {
                const double oRe = values_[m + span].real(), oIm = values_[m + span].imag();
                const double tRe = wRe * oRe - wIm * oIm;
                const double tIm = wRe * oIm + wIm * oRe;
                const double eRe = values_[m].real(), eIm = values_[m].imag();
                values_[m + span] = {eRe - tRe, eIm - tIm};
                values_[m] = {eRe + tRe, eIm + tIm};
                const double nextRe = wRe - (alpha * wRe + beta * wIm);
                wIm = wIm - (alpha * wIm - beta * wRe);
                wRe = nextRe;
            }
        }
    }
    counterEnd_ = counterNow();
}

}  // namespace tarnwick
