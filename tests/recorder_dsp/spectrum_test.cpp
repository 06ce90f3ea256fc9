// The Fourier transform: its refusals, bit reversal, and its outputs against a direct sum.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

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
    for (int k = 0; k < n; ++k) {
        std::complex<long double> sum = 0;
        for (int j = 0; j < n; ++j) {
            const long double angle = 2.0L * 3.14159265358979323846L * ((static_cast<long long>(j) * k) % n) / n;
            sum += std::complex<long double>(x[j].real(), x[j].imag()) * std::polar(1.0L, angle);
        }
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
