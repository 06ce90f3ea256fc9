#include "recorder/dsp/dsp.h"

#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "recorder/dsp/sample_math.h"
#include "recorder/recorder_error.h"

namespace tarnwick {

namespace {

// The float values of pi, 2 pi and ln 2 the designs are made with.
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kLn2 = 0.6931472f;

// Transcendental functions are evaluated in double and kept as float.
float fpow(float base, float exponent) { return static_cast<float>(std::pow(double(base), double(exponent))); }

[[noreturn]] void refuse(const char* what) {
    throw RecorderError(recorder_errors::kApplicationDefined, recorder_errors::kApplicationDefinedText, what);
}

// One echo step: the sample plus what the line holds, limited to 16 bits, and that scaled back into the line.
inline void echoSample(std::int16_t& sample, std::int16_t& stored, float factor) {
    const std::int32_t sum = std::int32_t(sample) + std::int32_t(stored);
    const std::int16_t s = sum > 32767 ? 32767 : sum < -32768 ? -32768 : static_cast<std::int16_t>(sum);
    sample = s;
    stored = toSample16(static_cast<float>(s) * factor);
}

#if defined(__SSE2__)
// Eight samples times f, each made a sample exactly as toSample16 makes it: the limits by minimum and
// maximum (which keep a NaN, the product of silence and an infinite factor), then NaN to 0, then
// rounding in the default mode, halves to even.
inline __m128i scaledEight(__m128i eight, __m128 f) {
    const __m128 full = _mm_set1_ps(32767.0f), lowest = _mm_set1_ps(-32768.0f);
    auto scaled = [&](__m128i wide) {
        __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(wide), f);
        v = _mm_max_ps(lowest, _mm_min_ps(full, v));
        return _mm_cvtps_epi32(_mm_and_ps(v, _mm_cmpord_ps(v, v)));
    };
    const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(eight, eight), 16);
    const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(eight, eight), 16);
    return _mm_packs_epi32(scaled(low), scaled(high));
}
#endif

// echoSample over a stretch of samples and the stretch of the line beside it.
void echoRun(std::int16_t* data, std::int16_t* line, std::size_t count, float factor) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight samples at a time, each exactly as echoSample makes it: the sum limited to 16 bits by a
    // saturating addition; the stored echo scaled as toSample16 does.
    const __m128 f = _mm_set1_ps(factor);
    for (; i + 8 <= count; i += 8) {
        auto* at = reinterpret_cast<__m128i*>(data + i);
        auto* stored = reinterpret_cast<__m128i*>(line + i);
        const __m128i sum = _mm_adds_epi16(_mm_loadu_si128(at), _mm_loadu_si128(stored));
        _mm_storeu_si128(at, sum);
        _mm_storeu_si128(stored, scaledEight(sum, f));
    }
#endif
    for (; i < count; ++i) echoSample(data[i], line[i], factor);
}

// One sample of one channel through the phaser's four all-pass stages with coefficient a.
inline std::int16_t phaserSample(std::array<float, 4>& in, std::array<float, 4>& out, float a, std::int16_t sample,
                                 float feedback, float wet, float dry) {
    const float x = unitFromSample(sample);
    float u = x + out[3] * feedback;
    for (int k = 0; k < 4; ++k) {
        const float o = a * (u + out[k]) - in[k];
        in[k] = u;
        out[k] = o;
        u = o;
    }
    // A chain that ran away (an unstable setting) starts again from silence.
    if (!std::isfinite(u)) [[unlikely]] {
        in.fill(0.0f);
        out.fill(0.0f);
        u = 0.0f;
    }
    return toSample16((u * wet + x * dry) * 32767.0f);
}

// One equalizer band's coefficients and history for each channel, side by side.
template <int Lanes>
struct EqualizerBand {
    double b0[Lanes], b1[Lanes], b2[Lanes], a1[Lanes], a2[Lanes];
    double x1[Lanes], x2[Lanes], y1[Lanes], y2[Lanes];
    bool enabled[Lanes];
};

// Band b + 1 runs this many frames behind band b, so a band's result is ready long before the
// next band takes it, and the bands' recursions overlap instead of waiting on one another.
constexpr std::ptrdiff_t kBandLag = 4;

// The skewed equalizer's middle steps [from, to), where band b takes whole frame step - b * kBandLag.
// The arithmetic, and its order, is IIRFilter::processOne's.
template <int Lanes, int Bands>
void equalizeMiddle(EqualizerBand<Lanes>* band, std::int16_t* data, std::ptrdiff_t from, std::ptrdiff_t to) {
    EqualizerBand<Lanes> k[Bands];
    for (int b = 0; b < Bands; ++b) k[b] = band[b];
    for (std::ptrdiff_t step = from; step < to; ++step) {
#pragma GCC unroll 10
        for (int b = 0; b < Bands; ++b) {
            std::int16_t* s = data + (step - b * kBandLag) * Lanes;
            for (int c = 0; c < Lanes; ++c) {
                const double x = unitFromSample(s[c]);
                const double feedForward = k[b].b0[c] * x + k[b].b1[c] * k[b].x1[c] + k[b].b2[c] * k[b].x2[c];
                const float y = static_cast<float>(feedForward - k[b].a2[c] * k[b].y2[c] - k[b].a1[c] * k[b].y1[c]);
                k[b].x2[c] = k[b].x1[c];
                k[b].x1[c] = x;
                k[b].y2[c] = k[b].y1[c];
                k[b].y1[c] = y;
                s[c] = IIRFilter::clippedSample(y);
            }
        }
    }
    for (int b = 0; b < Bands; ++b) band[b] = k[b];
}

#if defined(__SSE2__) && defined(__GNUC__)
// The bands' coefficients and history laid out for registers of Width doubles: Width / 2 neighbouring
// bands, both channels each, per register; [field][register][band in register * 2 + channel], the
// fields b0, b1, b2, a1, a2, x1, x2, y1, y2. Places of bands above the count stay 0.
template <int Bands, int Width>
constexpr int kRegisters = (Bands + Width / 2 - 1) / (Width / 2);

template <int Bands, int Width>
void holdBands(const EqualizerBand<2>* band, double (&held)[9][kRegisters<Bands, Width>][Width]) {
    for (int b = 0; b < Bands; ++b) {
        const EqualizerBand<2>& k = band[b];
        for (int c = 0; c < 2; ++c) {
            const int g = b / (Width / 2), i = b % (Width / 2) * 2 + c;
            held[0][g][i] = k.b0[c], held[1][g][i] = k.b1[c], held[2][g][i] = k.b2[c];
            held[3][g][i] = k.a1[c], held[4][g][i] = k.a2[c];
            held[5][g][i] = k.x1[c], held[6][g][i] = k.x2[c], held[7][g][i] = k.y1[c], held[8][g][i] = k.y2[c];
        }
    }
}

// The history back into the bands.
template <int Bands, int Width>
void releaseBands(EqualizerBand<2>* band, const double (&held)[9][kRegisters<Bands, Width>][Width]) {
    for (int b = 0; b < Bands; ++b) {
        for (int c = 0; c < 2; ++c) {
            const int g = b / (Width / 2), i = b % (Width / 2) * 2 + c;
            band[b].x1[c] = held[5][g][i], band[b].x2[c] = held[6][g][i];
            band[b].y1[c] = held[7][g][i], band[b].y2[c] = held[8][g][i];
        }
    }
}

// Stereo on processors with 256-bit registers: two neighbouring bands, both channels each, in one
// register of four doubles. Each operation is the scalar one on each lane (same rounding, same
// order); float conversions and rounding to whole numbers use the default rounding mode, to
// nearest with halves to even, as std::lrint does. An odd band count gets a silent band on top
// that reads and writes nothing.
template <int Bands>
__attribute__((target("avx"))) void equalizeMiddleWide(EqualizerBand<2>* band, std::int16_t* data,
                                                       std::ptrdiff_t from, std::ptrdiff_t to) {
    constexpr int Groups = kRegisters<Bands, 4>;
    double held[9][Groups][4] = {};
    holdBands<Bands, 4>(band, held);
    __m256d b0[Groups], b1[Groups], b2[Groups], a1[Groups], a2[Groups], x1[Groups], x2[Groups], y1[Groups], y2[Groups];
    for (int g = 0; g < Groups; ++g) {
        b0[g] = _mm256_loadu_pd(held[0][g]), b1[g] = _mm256_loadu_pd(held[1][g]), b2[g] = _mm256_loadu_pd(held[2][g]);
        a1[g] = _mm256_loadu_pd(held[3][g]), a2[g] = _mm256_loadu_pd(held[4][g]);
        x1[g] = _mm256_loadu_pd(held[5][g]), x2[g] = _mm256_loadu_pd(held[6][g]);
        y1[g] = _mm256_loadu_pd(held[7][g]), y2[g] = _mm256_loadu_pd(held[8][g]);
    }
    const __m256d toUnit = _mm256_set1_pd(1.0 / 32767.0);
    const __m128 full = _mm_set1_ps(32767.0f), lowest = _mm_set1_ps(-32768.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    for (std::ptrdiff_t step = from; step < to; ++step) {
#pragma GCC unroll 10
        for (int g = 0; g < Groups; ++g) {
            constexpr bool padded = Bands % 2 != 0;
            const bool upper = !(padded && g == Groups - 1);
            std::int16_t* lower = data + (step - 2 * g * kBandLag) * 2;
            std::int16_t* higher = data + (step - (2 * g + 1) * kBandLag) * 2;
            std::int32_t pairs[2] = {0, 0};
            std::memcpy(&pairs[0], lower, 4);
            if (upper) std::memcpy(&pairs[1], higher, 4);
            const __m128i packed = _mm_set_epi32(0, 0, pairs[1], pairs[0]);
            const __m128i in = _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);  // sign-extended
            const __m256d x = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(in), toUnit)));
            const __m256d feedForward = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(b0[g], x), _mm256_mul_pd(b1[g], x1[g])),
                                                      _mm256_mul_pd(b2[g], x2[g]));
            const __m128 y = _mm256_cvtpd_ps(
                _mm256_sub_pd(_mm256_sub_pd(feedForward, _mm256_mul_pd(a2[g], y2[g])), _mm256_mul_pd(a1[g], y1[g])));
            x2[g] = x1[g];
            x1[g] = x;
            y2[g] = y1[g];
            y1[g] = _mm256_cvtps_pd(y);
            // IIRFilter::clippedSample on each lane.
            // Above 1, y * 32767 is above 32767 too, so a minimum clips that side; it keeps a NaN
            // (minps gives its second operand when either is one), which is then made 0.
            __m128 v = _mm_min_ps(full, _mm_mul_ps(y, full));
            const __m128 under = _mm_cmplt_ps(y, minusOne);
            v = _mm_or_ps(_mm_and_ps(under, lowest), _mm_andnot_ps(under, v));
            v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
            const __m128i out = _mm_packs_epi32(_mm_cvtps_epi32(v), _mm_setzero_si128());
            const std::int32_t lowPair = _mm_cvtsi128_si32(out);
            std::memcpy(lower, &lowPair, 4);
            if (upper) {
                const std::int32_t highPair = _mm_cvtsi128_si32(_mm_srli_si128(out, 4));
                std::memcpy(higher, &highPair, 4);
            }
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm256_storeu_pd(held[5][g], x1[g]), _mm256_storeu_pd(held[6][g], x2[g]);
        _mm256_storeu_pd(held[7][g], y1[g]), _mm256_storeu_pd(held[8][g], y2[g]);
    }
    releaseBands<Bands, 4>(band, held);
}

// The same on processors with 512-bit registers: four neighbouring bands, both channels each, in one
// register of eight doubles, so that seven bands take two registers where they took four. Each
// operation is again the scalar one on each lane; bands above the count are silent and read and write
// nothing.
// GCC 12's 512-bit conversion intrinsics start from an undefined register, which it then warns of.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <int Bands>
__attribute__((target("avx,avx2,avx512f"))) void equalizeMiddleWide8(EqualizerBand<2>* band, std::int16_t* data,
                                                                    std::ptrdiff_t from, std::ptrdiff_t to) {
    constexpr int Groups = kRegisters<Bands, 8>;
    double held[9][Groups][8] = {};
    holdBands<Bands, 8>(band, held);
    __m512d b0[Groups], b1[Groups], b2[Groups], a1[Groups], a2[Groups], x1[Groups], x2[Groups], y1[Groups], y2[Groups];
    for (int g = 0; g < Groups; ++g) {
        b0[g] = _mm512_loadu_pd(held[0][g]), b1[g] = _mm512_loadu_pd(held[1][g]), b2[g] = _mm512_loadu_pd(held[2][g]);
        a1[g] = _mm512_loadu_pd(held[3][g]), a2[g] = _mm512_loadu_pd(held[4][g]);
        x1[g] = _mm512_loadu_pd(held[5][g]), x2[g] = _mm512_loadu_pd(held[6][g]);
        y1[g] = _mm512_loadu_pd(held[7][g]), y2[g] = _mm512_loadu_pd(held[8][g]);
    }
    const __m512d toUnit = _mm512_set1_pd(1.0 / 32767.0);
    const __m256 full = _mm256_set1_ps(32767.0f), lowest = _mm256_set1_ps(-32768.0f);
    const __m256 minusOne = _mm256_set1_ps(-1.0f);
    for (std::ptrdiff_t step = from; step < to; ++step) {
#pragma GCC unroll 3
        for (int g = 0; g < Groups; ++g) {
            // The frames the group's bands are on, and whether each band is there at all.
            std::int16_t* at[4];
            bool there[4];
            std::int32_t pairs[4] = {0, 0, 0, 0};
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j) {
                there[j] = 4 * g + j < Bands;
                at[j] = data + (step - (4 * g + j) * kBandLag) * 2;
                if (there[j]) std::memcpy(&pairs[j], at[j], 4);
            }
            const __m128i packed = _mm_setr_epi32(pairs[0], pairs[1], pairs[2], pairs[3]);
            const __m512d x = _mm512_cvtps_pd(
                _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm256_cvtepi16_epi32(packed)), toUnit)));
            const __m512d feedForward = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(b0[g], x), _mm512_mul_pd(b1[g], x1[g])),
                                                      _mm512_mul_pd(b2[g], x2[g]));
            const __m256 y = _mm512_cvtpd_ps(
                _mm512_sub_pd(_mm512_sub_pd(feedForward, _mm512_mul_pd(a2[g], y2[g])), _mm512_mul_pd(a1[g], y1[g])));
            x2[g] = x1[g];
            x1[g] = x;
            y2[g] = y1[g];
            y1[g] = _mm512_cvtps_pd(y);
            // IIRFilter::clippedSample on each lane, as in the 256-bit version.
            __m256 v = _mm256_min_ps(full, _mm256_mul_ps(y, full));
            const __m256 under = _mm256_cmp_ps(y, minusOne, _CMP_LT_OS);
            v = _mm256_or_ps(_mm256_and_ps(under, lowest), _mm256_andnot_ps(under, v));
            v = _mm256_and_ps(v, _mm256_cmp_ps(v, v, _CMP_ORD_Q));
            const __m256i whole = _mm256_cvtps_epi32(v);
            const __m128i out = _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1));
            std::int32_t outPairs[4];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(outPairs), out);
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                if (there[j]) std::memcpy(at[j], &outPairs[j], 4);
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm512_storeu_pd(held[5][g], x1[g]), _mm512_storeu_pd(held[6][g], x2[g]);
        _mm512_storeu_pd(held[7][g], y1[g]), _mm512_storeu_pd(held[8][g], y2[g]);
    }
    releaseBands<Bands, 8>(band, held);
}
#pragma GCC diagnostic pop
#endif

template <int Lanes>
void equalizeFull(EqualizerBand<Lanes>* band, int bands, std::int16_t* data, std::ptrdiff_t from, std::ptrdiff_t to) {
#if defined(__SSE2__) && defined(__GNUC__)
    if constexpr (Lanes == 2) {
        static const bool widest = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2");
        if (widest) {
            switch (bands) {
            case 1: return equalizeMiddleWide8<1>(band, data, from, to);
            case 2: return equalizeMiddleWide8<2>(band, data, from, to);
            case 3: return equalizeMiddleWide8<3>(band, data, from, to);
            case 4: return equalizeMiddleWide8<4>(band, data, from, to);
            case 5: return equalizeMiddleWide8<5>(band, data, from, to);
            case 6: return equalizeMiddleWide8<6>(band, data, from, to);
            case 7: return equalizeMiddleWide8<7>(band, data, from, to);
            case 8: return equalizeMiddleWide8<8>(band, data, from, to);
            case 9: return equalizeMiddleWide8<9>(band, data, from, to);
            default: return equalizeMiddleWide8<10>(band, data, from, to);
            }
        }
        static const bool wide = __builtin_cpu_supports("avx");
        if (wide) {
            switch (bands) {
            case 1: return equalizeMiddleWide<1>(band, data, from, to);
            case 2: return equalizeMiddleWide<2>(band, data, from, to);
            case 3: return equalizeMiddleWide<3>(band, data, from, to);
            case 4: return equalizeMiddleWide<4>(band, data, from, to);
            case 5: return equalizeMiddleWide<5>(band, data, from, to);
            case 6: return equalizeMiddleWide<6>(band, data, from, to);
            case 7: return equalizeMiddleWide<7>(band, data, from, to);
            case 8: return equalizeMiddleWide<8>(band, data, from, to);
            case 9: return equalizeMiddleWide<9>(band, data, from, to);
            default: return equalizeMiddleWide<10>(band, data, from, to);
            }
        }
    }
#endif
    switch (bands) {
    case 1: return equalizeMiddle<Lanes, 1>(band, data, from, to);
    case 2: return equalizeMiddle<Lanes, 2>(band, data, from, to);
    case 3: return equalizeMiddle<Lanes, 3>(band, data, from, to);
    case 4: return equalizeMiddle<Lanes, 4>(band, data, from, to);
    case 5: return equalizeMiddle<Lanes, 5>(band, data, from, to);
    case 6: return equalizeMiddle<Lanes, 6>(band, data, from, to);
    case 7: return equalizeMiddle<Lanes, 7>(band, data, from, to);
    case 8: return equalizeMiddle<Lanes, 8>(band, data, from, to);
    case 9: return equalizeMiddle<Lanes, 9>(band, data, from, to);
    default: return equalizeMiddle<Lanes, 10>(band, data, from, to);
    }
}

}  // namespace

// ---- IIRFilter ----

void IIRFilter::setBandwidth(float octaves) {
    bandwidth_ = octaves;
    redesign();
}

void IIRFilter::setGainDB(float dB) {
    gainDB_ = dB;
    redesign();
}

void IIRFilter::setFrequency(float hz) {
    frequency_ = hz;
    redesign();
}

void IIRFilter::setSamplerate(std::int32_t hz) {
    samplerate_ = hz;
    redesign();
}

void IIRFilter::redesign() {
    if (samplerate_ > 0) CreateBiquadIIR(type_, gainDB_, frequency_, static_cast<float>(samplerate_), bandwidth_);
}

void IIRFilter::CreateBiquadIIR(std::int32_t type, float gainDB, float frequency, float samplerate, float bandwidth) {
    samplerate_ = static_cast<std::int32_t>(roundEven(samplerate));
    frequency_ = frequency;
    bandwidth_ = bandwidth;
    gainDB_ = gainDB;
    type_ = type;

    const float A = fpow(10.0f, gainDB / 40.0f);
    const float w0 = kTwoPi * frequency / samplerate;
    const float sn = static_cast<float>(std::sin(double(w0)));
    const float cs = static_cast<float>(std::cos(double(w0)));
    const float x = kLn2 / 2.0f * bandwidth * w0 / sn;
    const float sinhX = (static_cast<float>(std::exp(double(x))) - static_cast<float>(std::exp(double(-x)))) / 2.0f;
    const float alpha = sn * sinhX;

    float b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
    switch (type) {
    case LowPass:
        b0 = (1.0f - cs) / 2.0f;
        b1 = 1.0f - cs;
        b2 = (1.0f - cs) / 2.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case HighPass:
        b0 = (1.0f + cs) / 2.0f;
        b1 = -(1.0f + cs);
        b2 = (1.0f + cs) / 2.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case BandPass:
        b0 = alpha;
        b1 = 0.0f;
        b2 = -alpha;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case Peaking:
        b0 = 1.0f + alpha * A;
        b1 = -2.0f * cs;
        b2 = 1.0f - alpha * A;
        a0 = 1.0f + alpha / A;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha / A;
        break;
    default:
        break;
    }

    x1_ = x2_ = y1_ = y2_ = 0.0;
    if (a0 == 0.0f) throw RecorderError(recorder_errors::kDivisionByZero, recorder_errors::kDivisionByZeroText);
    b0_ = b0 / a0;  // each divided as floats, then held exactly
    b1_ = b1 / a0;
    b2_ = b2 / a0;
    a1_ = a1 / a0;
    a2_ = a2 / a0;
}

void IIRFilter::ProcessStrided16(std::int16_t* data, std::size_t count, std::size_t stride) {
    if (!enabled_) return;
    for (std::size_t i = 0; i < count; ++i) data[i * stride] = processOne(data[i * stride]);
}

void IIRFilter::ProcessSamples_16bit(std::span<std::int16_t> samples) {
    ProcessStrided16(samples.data(), samples.size(), 1);
}

void IIRFilter::ProcessSamples_8bit(std::span<std::uint8_t> samples) {
    if (!enabled_) return;
    for (std::uint8_t& s : samples) {
        const float y = step((static_cast<float>(s) - 128.0f) / 127.0f);
        if (y > 1.0f)
            s = 255;
        else if (y < -1.0f)
            s = 0;
        else
            s = static_cast<std::uint8_t>(roundEven(y * 127.0f + 128.0f));
    }
}

// ---- clsDSP ----

clsDSP::clsDSP() {
    gains_.assign(bands_, 0.0f);
    for (auto& lane : filters_) lane.assign(bands_, IIRFilter());
}

void clsDSP::setSamplerate(std::int32_t hz) {
    if (hz < 1 || hz > 96000) refuse("invalid samplerate");
    samplerate_ = hz;
    fullRebuild();
}

void clsDSP::setChannels(std::int16_t channels) {
    if (channels != 1 && channels != 2) refuse("invalid channels");
    channels_ = channels;
    halfFrame_ = false;
    fullRebuild();
}

void clsDSP::fullRebuild() {
    if (!ready()) return;
    rebuildEcho();
    recomputeSweep();
    designBands();
}

void clsDSP::setEchoLength(std::int32_t ms) {
    echoLength_ = ms;
    rebuildEcho();
}

void clsDSP::setEchoAmp(float factor) {
    echoAmp_ = factor > 0.9f ? 0.9f : factor;
    rebuildEcho();
}

void clsDSP::rebuildEcho() {
    if (samplerate_ == 0) return;
    // The delay counts frames, so a stereo echo comes after the same time as a mono one. A delay
    // shorter than one frame leaves no line, and the echo then passes the samples unchanged.
    const long long frames = roundEven(static_cast<float>(samplerate_) / 1000.0f * static_cast<float>(echoLength_));
    echoLine_.assign(frames > 0 ? 2 * static_cast<std::size_t>(frames) : 0, 0);
    echoPosition_ = 0;
    echoFactorInUse_ = echoAmp_;
}

void clsDSP::setPhaseShiftWet(float v) {
    wet_ = v;
    recomputeSweep();
}

void clsDSP::setPhaseShiftDry(float v) {
    dry_ = v;
    recomputeSweep();
}

void clsDSP::setPhaseShiftFeedback(float v) {
    feedback_ = v;
    recomputeSweep();
}

void clsDSP::setPhaseShiftSweepRate(float v) {
    sweepRatePerSecond_ = v;
    recomputeSweep();
}

void clsDSP::setPhaseShiftSweepRange(float v) {
    sweepRangeOctaves_ = v;
    recomputeSweep();
}

void clsDSP::setPhaseShiftFrequency(float hz) {
    // Below 0 Hz the all-pass coefficient exceeds 1 and the stages grow without bound.
    frequency_ = hz >= 0.0f ? hz : 0.0f;
    recomputeSweep();
}

void clsDSP::recomputeSweep() {
    if (samplerate_ == 0) return;
    const float rate = static_cast<float>(samplerate_);
    const float span = fpow(2.0f, sweepRangeOctaves_);
    sweepMin_ = frequency_ * kPi / rate;
    sweepMax_ = frequency_ * kPi * span / rate;
    sweepRate_ = fpow(span, 2.0f * sweepRatePerSecond_ / rate);
    sweepFactor_ = sweepRate_;
    sweepValue_ = sweepMin_;
}

void clsDSP::checkBand(std::int32_t band) const {
    if (band < 0 || band >= bands_)
        throw RecorderError(recorder_errors::kSubscriptOutOfRange, recorder_errors::kSubscriptText);
}

std::int32_t clsDSP::EqualizerBandFrequency(std::int32_t band) const {
    checkBand(band);
    return static_cast<std::int32_t>(roundEven(filters_[0][band].Frequency()));
}

float clsDSP::EqualizerBandGainDB(std::int32_t band) const {
    checkBand(band);
    return gains_[band];
}

void clsDSP::setEqualizerBandGainDB(std::int32_t band, float dB) {
    checkBand(band);
    gains_[band] = dB;
    designBands();
}

void clsDSP::setEqualizerBands(std::int32_t bands) {
    if (bands < 1 || bands > 10) refuse("Out Of Bounds!");
    bands_ = bands;
    gains_.assign(bands_, 0.0f);
    for (auto& lane : filters_) lane.assign(bands_, IIRFilter());
    designBands();
}

void clsDSP::designBands() {
    if (samplerate_ == 0) return;
    const float rate = static_cast<float>(samplerate_);
    const float fmax = static_cast<float>(roundEven(rate / 3.0f));
    const float bandwidth = static_cast<float>(std::log(double(fmax / 80.0f))) / 4.0f;
    for (std::int32_t i = 0; i < bands_; ++i) {
        // Evenly spaced on a logarithmic scale from 80 Hz to fmax; a single band sits at 80 Hz.
        const float f = bands_ == 1 ? 80.0f
                                    : 80.0f * fpow(fmax / 80.0f, static_cast<float>(i) / static_cast<float>(bands_ - 1));
        for (auto& lane : filters_) lane[i].CreateBiquadIIR(IIRFilter::Peaking, gains_[i], f, rate, bandwidth);
    }
}

void clsDSP::ProcessSamples(std::span<std::int16_t> samples) {
    if (!ready()) return;
    const bool stereo = lanes() == 2;
    if (stereo && halfFrame_ && !samples.empty()) {
        // The last buffer ended on a left sample: this one starts with the right sample of that frame.
        completeFrame(samples[0]);
        samples = samples.subspan(1);
        halfFrame_ = false;
    }
    if (effectsUsed_ & Amplify) amplify(samples);
    if (effectsUsed_ & Echo) stereo ? echo<2>(samples) : echo<1>(samples);
    if (effectsUsed_ & Phaser) stereo ? phaser<2>(samples) : phaser<1>(samples);
    if (effectsUsed_ & Equalizer) stereo ? equalize<2>(samples) : equalize<1>(samples);
    if (stereo) halfFrame_ = samples.size() % 2 != 0;
}

void clsDSP::completeFrame(std::int16_t& sample) {
    // Each effect as it treats a right sample inside a buffer, then the frame's end: the echo line
    // and the phaser's sweep move on.
    if (effectsUsed_ & Amplify) amplify({&sample, 1});
    if ((effectsUsed_ & Echo) && echoFrames() > 0) {
        echoSample(sample, echoLine_[2 * static_cast<std::size_t>(echoPosition_) + 1], echoFactorInUse_);
        if (++echoPosition_ >= echoFrames()) echoPosition_ = 0;
    }
    if (effectsUsed_ & Phaser) {
        float w = sweepValue_;
        sample = phaserSample(stageIn_[1], stageOut_[1], (1.0f - w) / (1.0f + w), sample, feedback_, wet_, dry_);
        turnSweep(w, sweepFactor_);
        sweepValue_ = w;
    }
    if (effectsUsed_ & Equalizer)
        for (IIRFilter& band : filters_[1]) sample = band.processOne(sample);
}

void clsDSP::amplify(std::span<std::int16_t> samples) const {
    const float factor = fpow(10.0f, static_cast<float>(amplifyDB_) / 20.0f);
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight samples at a time, each exactly as the scalar step below makes it.
    const __m128 f = _mm_set1_ps(factor);
    for (; i + 8 <= samples.size(); i += 8) {
        auto* at = reinterpret_cast<__m128i*>(samples.data() + i);
        _mm_storeu_si128(at, scaledEight(_mm_loadu_si128(at), f));
    }
#endif
    for (; i < samples.size(); ++i) samples[i] = toSample16(static_cast<float>(samples[i]) * factor);
}

// The effects below walk the buffer frame by frame, the channels of a frame side by side; a last
// sample short of a whole frame belongs to the first channel.

template <int Lanes>
void clsDSP::echo(std::span<std::int16_t> samples) {
    const std::int32_t length = echoFrames();
    if (length == 0) return;
    const float factor = echoFactorInUse_;
    // Whole frames in runs that end where the line wraps: within a run, each sample meets its own
    // place in the line, so a run is one stretch of samples beside one stretch of the line.
    std::int16_t* data = samples.data();
    std::size_t framesLeft = samples.size() / Lanes;
    while (framesLeft > 0) {
        const std::size_t run = std::min<std::size_t>(framesLeft, static_cast<std::size_t>(length - echoPosition_));
        echoRun(data, echoLine_.data() + static_cast<std::size_t>(echoPosition_) * Lanes, run * Lanes, factor);
        data += run * Lanes;
        framesLeft -= run;
        echoPosition_ += static_cast<std::int32_t>(run);
        if (echoPosition_ >= length) echoPosition_ = 0;
    }
    // A last sample short of a frame: the first channel, and the line does not move on.
    if (samples.size() % Lanes != 0)
        echoSample(samples.back(), echoLine_[static_cast<std::size_t>(echoPosition_) * Lanes], factor);
}

template <int Lanes>
void clsDSP::phaser(std::span<std::int16_t> samples) {
    // The stage memories live in locals for the loop: the recursion then runs in registers.
    std::array<std::array<float, 4>, Lanes> in, out;
    for (int c = 0; c < Lanes; ++c) {
        for (int k = 0; k < 4; ++k) {
            in[c][k] = stageIn_[c][k];
            out[c][k] = stageOut_[c][k];
        }
    }
    const float feedback = feedback_, wet = wet_, dry = dry_;
    float w = sweepValue_, factor = sweepFactor_;
    std::size_t i = 0;
#if defined(__SSE2__)
    if constexpr (Lanes == 2) {
        // Whole frames with both channels side by side (lane 0 left, lane 1 right), each lane
        // exactly as phaserSample computes it.
        const std::size_t whole = samples.size() / 2 * 2;
        if (whole > 0) {
            auto lanes = [](float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); };
            __m128 sin[4], sout[4];
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) {
                sin[k] = lanes(in[0][k], in[1][k]);
                sout[k] = lanes(out[0][k], out[1][k]);
            }
            const __m128 fb = _mm_set1_ps(feedback), wetv = _mm_set1_ps(wet), dryv = _mm_set1_ps(dry);
            const __m128 full = _mm_set1_ps(32767.0f), lowest = _mm_set1_ps(-32768.0f);
            const __m128d toUnit = _mm_set1_pd(1.0 / 32767.0);
            std::int16_t* data = samples.data();
            for (; i < whole; i += 2) {
                const __m128 a = _mm_set1_ps((1.0f - w) / (1.0f + w));
                std::int32_t pair;
                std::memcpy(&pair, data + i, 4);
                const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(_mm_cvtsi32_si128(pair), _mm_cvtsi32_si128(pair)), 16);
                const __m128 x = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(wide), toUnit));
                __m128 u = _mm_add_ps(x, _mm_mul_ps(sout[3], fb));
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) {
                    const __m128 o = _mm_sub_ps(_mm_mul_ps(a, _mm_add_ps(u, sout[k])), sin[k]);
                    sin[k] = u;
                    sout[k] = o;
                    u = o;
                }
                // A lane whose chain ran away (u - u is not 0 for an infinity or NaN) starts again from silence.
                const int runaway = _mm_movemask_ps(_mm_cmpunord_ps(_mm_sub_ps(u, u), _mm_sub_ps(u, u))) & 3;
                if (runaway != 0) [[unlikely]] {
                    const __m128 keep = _mm_castsi128_ps(_mm_setr_epi32(runaway & 1 ? 0 : -1, runaway & 2 ? 0 : -1, 0, 0));
#pragma GCC unroll 4
                    for (int k = 0; k < 4; ++k) {
                        sin[k] = _mm_and_ps(sin[k], keep);
                        sout[k] = _mm_and_ps(sout[k], keep);
                    }
                    u = _mm_and_ps(u, keep);
                }
                // toSample16 on each lane: the limits by minimum and maximum (which keep a NaN), then
                // NaN to 0, then rounding.
                __m128 v = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(u, wetv), _mm_mul_ps(x, dryv)), full);
                v = _mm_max_ps(lowest, _mm_min_ps(full, v));
                v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
                pair = _mm_cvtsi128_si32(_mm_packs_epi32(_mm_cvtps_epi32(v), _mm_setzero_si128()));
                std::memcpy(data + i, &pair, 4);
                turnSweep(w, factor);
            }
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) {
                float inLanes[4], outLanes[4];
                _mm_storeu_ps(inLanes, sin[k]);
                _mm_storeu_ps(outLanes, sout[k]);
                in[0][k] = inLanes[0], in[1][k] = inLanes[1];
                out[0][k] = outLanes[0], out[1][k] = outLanes[1];
            }
        }
    }
#endif
    for (; i < samples.size(); i += Lanes) {
        const int present = static_cast<int>(std::min<std::size_t>(Lanes, samples.size() - i));
        const float a = (1.0f - w) / (1.0f + w);
        for (int c = 0; c < present; ++c) samples[i + c] = phaserSample(in[c], out[c], a, samples[i + c], feedback, wet, dry);
        if (present < Lanes) break;
        // One sweep for both channels: it moves once per frame.
        turnSweep(w, factor);
    }
    sweepValue_ = w;
    sweepFactor_ = factor;
    for (int c = 0; c < Lanes; ++c) {
        for (int k = 0; k < 4; ++k) {
            stageIn_[c][k] = in[c][k];
            stageOut_[c][k] = out[c][k];
        }
    }
}

template <int Lanes>
void clsDSP::equalize(std::span<std::int16_t> samples) {
    // Band after band over the whole buffer, as the chain is defined, but skewed: in each step band b
    // takes the frame that band b - 1 finished kBandLag steps before. The result is the same (a band only
    // sees its input up to the frame it is on), and the bands' recursions run side by side. The
    // filters' state is worked on in a local copy laid out channel by channel, so that the channels
    // of a frame go through each band together.
    using Band = EqualizerBand<Lanes>;
    const std::ptrdiff_t bands = bands_;
    std::array<Band, 10> band;
    for (std::ptrdiff_t b = 0; b < bands; ++b) {
        for (int c = 0; c < Lanes; ++c) {
            const IIRFilter& f = filters_[c][b];
            band[b].b0[c] = f.b0_, band[b].b1[c] = f.b1_, band[b].b2[c] = f.b2_;
            band[b].a1[c] = f.a1_, band[b].a2[c] = f.a2_;
            band[b].x1[c] = f.x1_, band[b].x2[c] = f.x2_, band[b].y1[c] = f.y1_, band[b].y2[c] = f.y2_;
            band[b].enabled[c] = f.enabled_;
        }
    }

    // The same arithmetic as IIRFilter::processOne.
    auto one = [](Band& k, int c, std::int16_t sample) -> std::int16_t {
        if (!k.enabled[c]) return sample;
        const double x = unitFromSample(sample);
        const double feedForward = k.b0[c] * x + k.b1[c] * k.x1[c] + k.b2[c] * k.x2[c];
        const float y = static_cast<float>(feedForward - k.a2[c] * k.y2[c] - k.a1[c] * k.y1[c]);
        k.x2[c] = k.x1[c];
        k.x1[c] = x;
        k.y2[c] = k.y1[c];
        k.y1[c] = y;
        return IIRFilter::clippedSample(y);
    };

    const std::ptrdiff_t whole = static_cast<std::ptrdiff_t>(samples.size() / Lanes);
    const std::ptrdiff_t frames = whole + (samples.size() % Lanes != 0 ? 1 : 0);
    std::int16_t* data = samples.data();
    // Steps in [from, to) band by band with every check: the ends of the skew, where not every
    // band has a frame, and the last frame when it is short of a channel.
    auto skewed = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
        for (std::ptrdiff_t step = from; step < to; ++step) {
            for (std::ptrdiff_t b = 0; b < bands; ++b) {
                const std::ptrdiff_t frame = step - b * kBandLag;
                if (frame < 0 || frame >= frames) continue;
                std::int16_t* s = data + frame * Lanes;
                if (frame < whole) {
                    for (int c = 0; c < Lanes; ++c) s[c] = one(band[b], c, s[c]);
                } else {
                    s[0] = one(band[b], 0, s[0]);
                }
            }
        }
    };
    const std::ptrdiff_t steps = frames + (bands - 1) * kBandLag;
    // From step (bands - 1) * kBandLag to whole - 1 every band has a whole frame: there the bands
    // run without checks.
    const std::ptrdiff_t fullFrom = (bands - 1) * kBandLag;
    const std::ptrdiff_t fullTo = std::max(fullFrom, whole);
    bool allEnabled = true;
    for (std::ptrdiff_t b = 0; b < bands; ++b)
        for (int c = 0; c < Lanes; ++c) allEnabled = allEnabled && band[b].enabled[c];
    if (!allEnabled) {
        skewed(0, steps);
    } else {
        skewed(0, fullFrom);
        equalizeFull<Lanes>(band.data(), static_cast<int>(bands), data, fullFrom, fullTo);
        skewed(fullTo, steps);
    }

    for (std::ptrdiff_t b = 0; b < bands; ++b) {
        for (int c = 0; c < Lanes; ++c) {
            IIRFilter& f = filters_[c][b];
            f.x1_ = band[b].x1[c], f.x2_ = band[b].x2[c], f.y1_ = band[b].y1[c], f.y2_ = band[b].y2[c];
        }
    }
}

}  // namespace tarnwick
