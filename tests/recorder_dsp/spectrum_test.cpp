// The Fourier transform: its refusals, bit reversal, and its outputs against a direct sum.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "recorder/dsp/spectrum.h"
#include "recorder/recorder_error.h"

namespace tarnwick {
namespace {

int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RecorderError& e) {
        return e.number();
    }
    return 0;
}

TEST(Fourier, SizeMustBeAPowerOfTwoOfAtLeastTwo) {
    clsFourier f;
    for (int bad : {0, 1, 3, 1000, -4}) {
        try {
            f.setNumberOfSamples(bad);
            ADD_FAILURE() << bad << " accepted";
        } catch (const RecorderError& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_STREQ(e.what(), "Number of samples must be a positive value of the form 2 ^ n");
        }
    }
    f.setNumberOfSamples(8);
    EXPECT_EQ(errorOf([&] { f.setNumberOfSamples(1000); }), 380);
    // The refused size left the 8 points in place.
    EXPECT_EQ(errorOf([&] { f.RealIn(8, 1.0); }), 0);
    EXPECT_EQ(errorOf([&] { f.RealIn(9, 1.0); }), 381);
    f.setNumberOfSamples(1024);
    EXPECT_EQ(errorOf([&] { f.RealIn(1024, 1.0); }), 0);
}

TEST(Fourier, IndexOutsideOneToNOrBeforeASizeIsRefused) {
    clsFourier unset;
    EXPECT_EQ(errorOf([&] { unset.RealIn(1, 1.0); }), 381);
    EXPECT_EQ(errorOf([&] { unset.ComplexOut(1); }), 381);
    clsFourier f;
    f.setNumberOfSamples(1024);
    for (int index : {0, 1025, -1}) {
        try {
            f.RealIn(index, 1.0);
            ADD_FAILURE() << index;
        } catch (const RecorderError& e) {
            EXPECT_EQ(e.number(), 381);
            EXPECT_STREQ(e.what(), "Index out of range or number of samples unknown");
        }
        EXPECT_EQ(errorOf([&] { f.ImagIn(index, 1.0); }), 381);
        EXPECT_EQ(errorOf([&] { f.RealOut(index); }), 381);
        EXPECT_EQ(errorOf([&] { f.ImagOut(index); }), 381);
    }
}

TEST(Fourier, ReverseBitsTurnsTheLowBitsAround) {
    struct Case {
        int v, bits, out;
    } cases[] = {{1, 10, 512}, {3, 10, 768}, {0, 10, 0}, {1023, 10, 1023}, {6, 3, 3}, {1, 1, 1}, {5, 4, 10}};
    for (const auto& c : cases) EXPECT_EQ(clsFourier::ReverseBits(c.v, c.bits), c.out) << c.v << "/" << c.bits;
}

TEST(Fourier, ConstantInputGivesOnlyTheZeroBinHalved) {
    clsFourier f;
    f.setNumberOfSamples(8);
    for (int i = 1; i <= 8; ++i) f.RealIn(i, 1.0);
    EXPECT_DOUBLE_EQ(f.ComplexOut(1), 4.0);
    for (int k = 2; k <= 8; ++k) EXPECT_LT(f.ComplexOut(k), 1e-12) << k;
}

// The transform's definition: X_k = sum of x_j e^(+2 pi i j k / n), inputs halved or windowed.
void expectDirectSum(int n, bool window, unsigned seed) {
    clsFourier f;
    f.setNumberOfSamples(n);
    f.setWithTimeWindow(window);
    std::vector<std::complex<double>> x(n);
    unsigned state = seed;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return static_cast<double>((state >> 8) & 0xFFFF) - 32768.0;
    };
    for (int j = 0; j < n; ++j) {
        const double re = next(), im = next();
        f.RealIn(j + 1, re);
        f.ImagIn(j + 1, im);
        const double theta = 2 * M_PI * j / (n - 1);
        const double w = window ? 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2 * theta) : 0.5;
        x[j] = {re * w, im};
    }
    double scale = 0;
    std::vector<std::complex<double>> expected(n);
    // The n turns the sum takes, each worked out once.
    std::vector<std::complex<long double>> turn(n);
    for (int m = 0; m < n; ++m) turn[m] = std::polar(1.0L, 2.0L * 3.14159265358979323846L * m / n);
    for (int k = 0; k < n; ++k) {
        std::complex<long double> sum = 0;
        for (int j = 0; j < n; ++j)
            sum += std::complex<long double>(x[j].real(), x[j].imag()) * turn[(static_cast<long long>(j) * k) % n];
        expected[k] = {static_cast<double>(sum.real()), static_cast<double>(sum.imag())};
        scale = std::max(scale, std::abs(expected[k]));
    }
    for (int k = 0; k < n; ++k) {
        ASSERT_NEAR(f.RealOut(k + 1), expected[k].real(), 1e-9 * scale) << "n " << n << " bin " << k;
        ASSERT_NEAR(f.ImagOut(k + 1), expected[k].imag(), 1e-9 * scale) << "n " << n << " bin " << k;
        ASSERT_NEAR(f.ComplexOut(k + 1), std::abs(expected[k]), 1e-9 * scale) << "n " << n << " bin " << k;
    }
}

TEST(Fourier, OutputsMatchTheDirectSum) {
    expectDirectSum(2, false, 1);
    expectDirectSum(16, false, 2);
    expectDirectSum(1024, false, 3);
    expectDirectSum(1024, true, 4);
    expectDirectSum(4096, false, 5);
}

// The transform as defined, step by step: window (two cosines an input) or halving, bit-reversed
// order, and in every block of every stage the twiddle factor turned by its recurrence from 1.
std::vector<std::complex<double>> definedTransform(const std::vector<double>& in, const std::vector<double>& imag,
                                                   bool window) {
    const int n = static_cast<int>(in.size());
    const double pi = 4.0 * std::atan(1.0);
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    std::vector<std::complex<double>> v(n);
    for (int j = 0; j < n; ++j) {
        const double theta = 2.0 * pi * j / (n - 1);
        const double re = window ? in[j] * (0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta)) : in[j] / 2.0;
        v[clsFourier::ReverseBits(j, bits)] = {re, imag[j]};
    }
    for (int span = 1; span < n; span *= 2) {
        const double theta = pi / span, half = std::sin(theta / 2.0);
        const double alpha = 2.0 * half * half, beta = std::sin(theta);
        for (int k = 0; k < n; k += 2 * span) {
            double wRe = 1.0, wIm = 0.0;
            for (int m = k; m < k + span; ++m) {
                const double oRe = v[m + span].real(), oIm = v[m + span].imag();
                const double tRe = wRe * oRe - wIm * oIm, tIm = wRe * oIm + wIm * oRe;
                const double eRe = v[m].real(), eIm = v[m].imag();
                v[m + span] = {eRe - tRe, eIm - tIm};
                v[m] = {eRe + tRe, eIm + tIm};
                const double nextRe = wRe - (alpha * wRe + beta * wIm);
                wIm = wIm - (alpha * wIm - beta * wRe);
                wRe = nextRe;
            }
        }
    }
    return v;
}

// Tables made once per size must give every output bit for bit, through each way of writing inputs.
TEST(Fourier, OutputsAreExactlyThoseOfTheDefinedSteps) {
    for (int n : {2, 4, 8, 64, 1024}) {
        for (bool window : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "n " << n << (window ? " windowed" : ""));
            std::vector<std::int16_t> samples(n);
            std::vector<double> in(n), imag(n, 0.0);
            for (int j = 0; j < n; ++j) {
                samples[j] = static_cast<std::int16_t>((j * 7919) % 65536 - 32768);
                in[j] = samples[j];
            }
            const auto expected = definedTransform(in, imag, window);
            clsFourier one, all;
            for (clsFourier* f : {&one, &all}) {
                f->setNumberOfSamples(n);
                f->setWithTimeWindow(window);
            }
            for (int j = 0; j < n; ++j) one.RealIn(j + 1, in[j]);
            all.RealInAll(samples.data());
            std::vector<double> magnitudes(n);
            all.ComplexOutRange(magnitudes.data(), n);
            for (int k = 0; k < n; ++k) {
                ASSERT_EQ(one.RealOut(k + 1), expected[k].real()) << k;
                ASSERT_EQ(one.ImagOut(k + 1), expected[k].imag()) << k;
                ASSERT_EQ(all.RealOut(k + 1), expected[k].real()) << k;
                ASSERT_EQ(all.ImagOut(k + 1), expected[k].imag()) << k;
                const double re = expected[k].real(), im = expected[k].imag();
                ASSERT_EQ(one.ComplexOut(k + 1), std::sqrt(re * re + im * im)) << k;
                ASSERT_EQ(magnitudes[k], std::sqrt(re * re + im * im)) << k;
            }
        }
    }
    // Imaginary inputs take their slot too.
    clsFourier f;
    f.setNumberOfSamples(16);
    std::vector<double> in(16), imag(16);
    for (int j = 0; j < 16; ++j) {
        in[j] = j * 3.0 - 20.0;
        imag[j] = 100.0 - j * j;
        f.RealIn(j + 1, in[j]);
        f.ImagIn(j + 1, imag[j]);
    }
    const auto expected = definedTransform(in, imag, false);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(f.RealOut(k + 1), expected[k].real()) << k;
        EXPECT_EQ(f.ImagOut(k + 1), expected[k].imag()) << k;
    }
}

TEST(Fourier, TimingIsMeasuredOnTheTransform) {
    clsFourier f;
    EXPECT_EQ(f.Timing(), 0.0f);
    f.setNumberOfSamples(1024);
    for (int i = 1; i <= 1024; ++i) f.RealIn(i, i % 7);
    f.ComplexOut(3);
    EXPECT_GE(f.Timing(), 0.0f);
    EXPECT_LT(f.Timing(), 1000.0f);
}

}  // namespace
}  // namespace tarnwick
