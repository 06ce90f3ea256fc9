#pragma once
// A radix-2 fast Fourier transform of a power-of-two number of complex samples, in place, in
// double precision, with an optional Blackman window on real input. Inputs and outputs are indexed
// from 1 to n. The transform runs on the first output read after an input was written; there is no
// scaling, so output k + 1 holds the sum over j of x_j * e^(+2*pi*i*j*k/n).

#include <cstdint>
#include <vector>

namespace tarnwick {

class clsFourier {
public:
    clsFourier();

    // Magnitude, imaginary and real part of output index (transforms first when inputs changed).
    double ComplexOut(std::int32_t index);
    double ImagOut(std::int32_t index);
    double RealOut(std::int32_t index);
    // Real input: windowed when the window is on, else halved; its imaginary part becomes 0.
    void RealIn(std::int32_t index, double value);
    void ImagIn(std::int32_t index, double value);
    // A power of two of at least 2, else error 380; every size change discards all values.
    void setNumberOfSamples(std::int32_t n);
    // Duration of the last transform in milliseconds.
    float Timing() const;
    void setWithTimeWindow(bool on) { withTimeWindow_ = on; }

    // RealIn(1) to RealIn(n) from n samples at once, the same values; error 381 before a size is set.
    void RealInAll(const std::int16_t* samples);
    // ComplexOut(1) to ComplexOut(count) at once into out; error 381 for a count outside 1 to n.
    void ComplexOutRange(double* out, std::int32_t count);

    // The low `bits` bits of v in reverse order.
    static std::int32_t ReverseBits(std::int32_t v, std::int32_t bits);

private:
    void checkIndex(std::int32_t index) const;
    void transformIfChanged();
    void transform();

    std::int64_t counterStart_ = 0, counterEnd_ = 0;
    bool sizeNotSet_ = true;
    bool inputsChanged_ = false;
    bool withTimeWindow_ = false;
    std::int32_t lastIndex_ = 0;
    std::int32_t bits_ = 0;
    double pi_, twoPi_;
    // The values, real and imaginary parts apart: inputs in bit-reversed order, outputs in natural order.
    std::vector<double> re_, im_;
    // Made once per size, each entry the value the defining expression gives where it is used: the
    // input slot of each index, the window's factor of each index, and for each stage the sequence
    // of twiddle factors its recurrence runs through (the same sequence in every block of a stage).
    std::vector<std::int32_t> slot_;
    std::vector<double> window_;
    std::vector<double> twiddleRe_, twiddleIm_;
};

}  // namespace tarnwick
