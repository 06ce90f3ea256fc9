// The live displays as numbers: the waveform trace, the spectrum's bars, peaks and decay, the level
// smoothing, the colour gradient, the equalizer curve and the status texts.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "recorder/display_text.h"
#include "recorder/dsp/draw.h"

namespace tarnwick {
namespace {

using Kind = PictureOp::Kind;
using Samples = std::vector<std::int16_t>;

std::vector<PictureOp> opsOf(const Picture& p, Kind kind) {
    std::vector<PictureOp> out;
    for (const auto& op : p.ops())
        if (op.kind == kind) out.push_back(op);
    return out;
}

// ---- waveform ----

TEST(Waveform, ColumnsAverageTheirSamplesWithPositiveValuesBelowTheMiddle) {
    Picture pic("picAmpl", 100, 40);
    Samples samples(5120, 0);
    // 5119 / 100 rounds to 51 samples per column; 97 columns.
    for (int i = 0; i < 51; ++i) samples[i] = 32767;
    for (int i = 51; i < 102; ++i) samples[i] = -32768;
    for (int i = 102; i < 153; ++i) samples[i] = 16384;
    clsDraw draw;
    draw.DrawAmplitudes(samples, pic);

    ASSERT_EQ(pic.ops().size(), 1u + 97 + 2);
    EXPECT_EQ(pic.ops()[0], (PictureOp{Kind::Fill, 0, 0, 100, 40, 0}));
    const auto lines = opsOf(pic, Kind::Line);
    EXPECT_EQ(lines[0], (PictureOp{Kind::Line, 0, 20, 1, 38, 0xFFFFFF}));  // full positive: mid + 18
    EXPECT_EQ(lines[1].y2, 2);                                              // full negative, clamped: mid - 18
    EXPECT_EQ(lines[2].y2, 29);                                             // half: 18 * 0.50002 + 20
    EXPECT_EQ(lines[3].y2, 20);
    EXPECT_EQ(lines[96].x2, 97);
    EXPECT_EQ(lines[97], (PictureOp{Kind::Line, 97, 20, 98, 20, 0xFFFFFF}));
    EXPECT_EQ(lines[98], (PictureOp{Kind::Line, 98, 20, 99, 20, 0xFFFFFF}));

    // The next trace erases this one: the list does not grow.
    draw.DrawAmplitudes(samples, pic);
    EXPECT_EQ(pic.ops().size(), 1u + 97 + 2);
}

TEST(Waveform, APictureWiderThanTheBufferDrawsTheRestOnTheLine) {
    Picture pic("picAmpl", 100, 40);
    Samples samples(30, 32767);
    clsDraw draw;
    draw.DrawAmplitudes(samples, pic);  // 29 / 100 rounds to 0 samples per column
    for (const auto& line : opsOf(pic, Kind::Line)) EXPECT_EQ(line.y2, 20);
    Samples none;
    EXPECT_NO_THROW(draw.DrawAmplitudes(none, pic));
}

TEST(Waveform, APictureTellsItsViewOncePerPaint) {
    Picture pic("picAmpl", 100, 40);
    int told = 0;
    pic.viewChanged = [&] { ++told; };
    clsDraw draw;
    draw.DrawAmplitudes(Samples(5120, 100), pic);
    EXPECT_EQ(told, 1);
    pic.painted();
    draw.DrawAmplitudes(Samples(5120, 100), pic);
    EXPECT_EQ(told, 2);
}

// ---- spectrum ----

Samples tone(double bin, double amplitude, int count = 1024) {
    Samples s(count);
    for (int i = 0; i < count; ++i) s[i] = static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * M_PI * bin * i / 1024)));
    return s;
}

TEST(Spectrum, ALoudToneFillsItsBarAndTheBarsAboveLeanOnIt) {
    Picture pic("picFreq", 100, 50);
    clsDraw draw;
    draw.DrawFrequencies(tone(12, 32767), pic);  // bin 12 belongs to bar 2 (bins 11 to 14)
    const auto& peaks = draw.peaks();
    EXPECT_LT(peaks[0], 0.05);
    EXPECT_LT(peaks[1], 0.05);
    EXPECT_EQ(peaks[2], 1.0);
    for (int bar = 3; bar < clsDraw::kBars; ++bar) EXPECT_LE(peaks[bar], peaks[bar - 1]) << bar;
    EXPECT_LT(peaks[3], 1.0);

    // Bar 2 reaches from 2 to h - 2 in yellow; 3 pixels wide with a gap.
    bool found = false;
    for (const auto& op : opsOf(pic, Kind::Fill)) {
        if (op.x1 != 12) continue;
        found = true;
        EXPECT_EQ(op, (PictureOp{Kind::Fill, 12, 2, 15, 48, rgbColour(255, 255, 50)}));
    }
    EXPECT_TRUE(found);
}

TEST(Spectrum, PeaksFallBySevenHundredthsPerCallAndAFullBarEmptiesOnTheFifteenth) {
    Picture pic("picFreq", 100, 50);
    clsDraw draw;
    draw.DrawFrequencies(tone(12, 32767), pic);
    ASSERT_EQ(draw.peaks()[2], 1.0);

    const Samples silence(1024, 0);
    for (int call = 1; call <= 6; ++call) draw.DrawFrequencies(silence, pic);
    // Peak 0.58: top round(50 - 29) - 2, green round(0.58 * 255).
    bool found = false;
    for (const auto& op : opsOf(pic, Kind::Fill)) {
        if (op.x1 != 12) continue;
        found = true;
        EXPECT_EQ(op, (PictureOp{Kind::Fill, 12, 19, 15, 48, rgbColour(255, 148, 50)}));
    }
    EXPECT_TRUE(found);

    for (int call = 7; call <= 14; ++call) draw.DrawFrequencies(silence, pic);
    EXPECT_GT(draw.peaks()[2], 0.0);
    draw.DrawFrequencies(silence, pic);
    for (double p : draw.peaks()) EXPECT_EQ(p, 0.0);
    EXPECT_TRUE(opsOf(pic, Kind::Fill).empty());  // empty bars fill nothing
}

// The bars from a direct Blackman-windowed transform: bins scaled to 0..1 (full at a fifth of full
// scale), four bins to a bar, each bar carrying the ones below it, weighted towards the middle.
std::array<double, clsDraw::kBars> modelPeaks(const Samples& s) {
    std::array<double, 513> m{};
    for (int k = 0; k <= 512; ++k) {
        std::complex<double> sum = 0;
        for (int j = 0; j < 1024; ++j) {
            const double t = 2 * M_PI * j / 1023;
            sum += s[j] * (0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2 * t)) * std::polar(1.0, 2 * M_PI * j * k / 1024);
        }
        m[k] = std::min(std::abs(sum) / 256 / 32767, 0.2) / 0.2;
    }
    std::array<double, clsDraw::kBars> peaks{};
    double v = 0;
    for (int l = 0; l < clsDraw::kBars; ++l) {
        v = (v + m[5 * l + 1] + m[5 * l + 2] + m[5 * l + 3] + m[5 * l + 4]) * (1 + (1 - std::cos(2 * M_PI * (l + 3) / 25)) / 2) / 3;
        peaks[l] = std::min(v, 1.0);
    }
    return peaks;
}

TEST(Spectrum, BarsFollowADirectTransformOfTheWindowedSamples) {
    Samples mix(1024);
    for (int i = 0; i < 1024; ++i)
        mix[i] = static_cast<std::int16_t>(std::lrint(3000 * std::sin(2 * M_PI * 33.3 * i / 1024) +
                                                      1500 * std::sin(2 * M_PI * 71 * i / 1024) +
                                                      800 * std::sin(2 * M_PI * 4.5 * i / 1024)));
    Picture pic("picFreq", 100, 50);
    clsDraw draw;
    draw.DrawFrequencies(mix, pic);
    const auto expected = modelPeaks(mix);
    for (int bar = 0; bar < clsDraw::kBars; ++bar) EXPECT_NEAR(draw.peaks()[bar], expected[bar], 1e-5) << bar;
}

TEST(Spectrum, FewerThan1024SamplesDrawNothingAndKeepThePeaks) {
    Picture pic("picFreq", 100, 50);
    clsDraw draw;
    draw.DrawFrequencies(tone(40, 20000), pic);
    const auto peaks = draw.peaks();
    const auto ops = pic.ops();
    draw.DrawFrequencies(tone(40, 20000, 1023), pic);
    EXPECT_EQ(draw.peaks(), peaks);
    EXPECT_EQ(pic.ops(), ops);
}

// ---- level bars ----

TEST(LevelSmoothing, MeanOfTheLastValuesOrOfFewerAtTheStart) {
    clsSmooth smooth;
    smooth.SmoothNew(3);
    EXPECT_EQ(smooth.SmoothGetMax(), 0.0f);
    smooth.SmoothAdd(5);
    EXPECT_EQ(smooth.SmoothGetMax(), 5.0f);
    smooth.SmoothNew(3);
    for (float v : {3.0f, 6.0f, 9.0f}) smooth.SmoothAdd(v);
    EXPECT_EQ(smooth.SmoothGetMax(), 6.0f);
    smooth.SmoothAdd(12);
    EXPECT_EQ(smooth.SmoothGetMax(), 9.0f);
    smooth.SmoothAdd(0);
    smooth.SmoothAdd(0);
    EXPECT_EQ(smooth.SmoothGetMax(), 4.0f);
}

TEST(LevelColours, GradientRunsThroughThreeStops) {
    const Colour green = rgbColour(0, 255, 0), amber = rgbColour(225, 168, 34), red = rgbColour(255, 0, 0);
    struct Case {
        float value;
        Colour expected;
    } cases[] = {
        {0.0f, green},
        {0.25f, rgbColour(112, 212, 17)},  // 112.5 and 211.5 go to the even neighbours
        {0.5f, amber},
        {0.75f, rgbColour(240, 84, 17)},
        {1.0f, red},
        {2.0f, red},  // beyond the range: limited to the byte
        {-1.0f, rgbColour(0, 255, 0)},
    };
    for (const auto& c : cases) EXPECT_EQ(GradientColour(1, c.value, green, amber, red), c.expected) << c.value;
}

TEST(LevelColours, BarIsAFilledRectangle) {
    Picture pic("picVUL", 100, 12);
    clsDraw draw;
    draw.DrawRect(pic, 0, 0, 37, 12, rgbColour(112, 212, 17));
    ASSERT_EQ(pic.ops().size(), 1u);
    EXPECT_EQ(pic.ops()[0], (PictureOp{Kind::Fill, 0, 0, 37, 12, rgbColour(112, 212, 17)}));
}

// ---- equalizer curve ----

TEST(EqualizerCurve, PointsSitByTheirSlidersWithGridLinesBehind) {
    Picture pic("picEQAmp", 80, 40);
    DrawEqualizerCurve(pic, {0, 0, 0, -12, 0, 0, 12});
    EXPECT_EQ(pic.background(), rgbColour(24, 31, 44));
    // step = round(70 / 7) = 10; point i at x = 10 i - 4.
    const auto& ops = pic.ops();
    ASSERT_GE(ops.size(), 8u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ops[i], (PictureOp{Kind::Line, 10 * (i + 1) - 4, 2, 10 * (i + 1) - 4, 38, rgbColour(94, 88, 66)}));
    EXPECT_EQ(ops[7], (PictureOp{Kind::Pixel, 6, 20, 6, 20, rgbColour(167, 158, 131)}));
    // Five segments per pixel between neighbours, 51 per pair.
    ASSERT_EQ(ops.size(), 8u + 6 * 51);
    auto endOfPair = [&](int pair) { return ops[8 + 51 * pair + 50]; };
    EXPECT_EQ(endOfPair(2).x2, 36);  // point 4, boosted to the top
    EXPECT_EQ(endOfPair(2).y2, 0);
    EXPECT_EQ(endOfPair(2).colour, rgbColour(188, 34, 1));
    EXPECT_EQ(endOfPair(5).x2, 66);  // point 7, cut to the bottom
    EXPECT_EQ(endOfPair(5).y2, 40);
    EXPECT_EQ(endOfPair(5).colour, rgbColour(0, 204, 0));
    EXPECT_EQ(endOfPair(0).y2, 20);  // flat between points 1 and 2, amber (y 20 of 40 is the middle)
    EXPECT_EQ(endOfPair(0).colour, rgbColour(225, 168, 34));
    // The cosine leaves each point flat: just after point 4 the curve is still at the top.
    EXPECT_EQ(ops[8 + 51 * 3 + 1].y2, 0);
}

// ---- status texts ----

TEST(StatusTexts, FileSizesLengthsAndBandLabels) {
    struct Size {
        std::int64_t bytes;
        const char* text;
    } sizes[] = {{0, "0 bytes"},      {1023, "1023 bytes"},   {1024, "1 KB"},        {1536, "2 KB"},
                 {2560, "2 KB"},      {1048575, "1024 KB"},    {1048576, "1.0 MB"},   {1572864, "1.5 MB"},
                 {1073741824, "1.0 GB"}, {4294967295LL, "4.0 GB"}, {-1, ""}};
    for (const auto& s : sizes) EXPECT_EQ(FormatFileSize(s.bytes), s.text) << s.bytes;

    struct Length {
        std::int64_t ms;
        const char* text;
    } lengths[] = {{0, "0:00"}, {2500, "0:02"}, {3500, "0:04"}, {65000, "1:05"}, {3700000, "61:40"}};
    for (const auto& l : lengths) EXPECT_EQ(FormatMinutesSeconds(l.ms), l.text) << l.ms;

    struct Label {
        int hz;
        const char* text;
    } labels[] = {{80, "80 Hz"}, {455, "455 Hz"}, {1000, "1000 Hz"}, {1001, "1 kHz"}, {14700, "14 kHz"}};
    for (const auto& l : labels) EXPECT_EQ(EqualizerBandLabel(l.hz), l.text) << l.hz;
}

}  // namespace
}  // namespace tarnwick
