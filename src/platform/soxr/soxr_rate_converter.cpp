#include "platform/soxr/soxr_rate_converter.h"

#include <soxr.h>

namespace tarnwick {

namespace {

class SoxrRateConverter : public RateConverter {
public:
    SoxrRateConverter(double inRate, double outRate, unsigned channels)
        : ratio_(outRate / inRate), channels_(channels) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_ = soxr_create(inRate, outRate, channels, &error, &io, &quality, nullptr);
        if (error) soxr_ = nullptr;
    }
    ~SoxrRateConverter() override {
        if (soxr_) soxr_delete(soxr_);
    }
    bool ok() const { return soxr_ != nullptr; }

    bool process(const float* in, std::size_t frames, std::vector<float>& out) override {
        return run(in, frames, out);
    }
    bool flush(std::vector<float>& out) override { return run(nullptr, 0, out); }

private:
    // Feeds all input (none to flush) and takes every frame the converter hands back.
    bool run(const float* in, std::size_t frames, std::vector<float>& out) {
        std::size_t fed = 0;
        for (;;) {
            const std::size_t room = static_cast<std::size_t>((frames - fed) * ratio_) + 256;
            const std::size_t start = out.size();
            out.resize(start + room * channels_);
            std::size_t used = 0, made = 0;
            soxr_error_t error = soxr_process(soxr_, in ? in + fed * channels_ : nullptr, frames - fed,
                                              in ? &used : nullptr, out.data() + start, room, &made);
            out.resize(start + made * channels_);
            if (error) return false;
            fed += used;
            // Input all taken and the converter had room to spare: nothing more is waiting.
            if (fed >= frames && made < room) return true;
        }
    }

    soxr_t soxr_ = nullptr;
    double ratio_;
    unsigned channels_;
};

}  // namespace

std::unique_ptr<RateConverter> makeSoxrRateConverter(double inRate, double outRate, unsigned channels) {
    auto converter = std::make_unique<SoxrRateConverter>(inRate, outRate, channels);
    if (!converter->ok()) return nullptr;
    return converter;
}

}  // namespace tarnwick
